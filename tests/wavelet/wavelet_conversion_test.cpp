#include "wavelet/wavelet_conversion.h"

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <fstream>
#include <memory>
#include <numeric>
#include <string>
#include <tuple>

#include <gtest/gtest.h>

#include "tests/wavelet/wavelet_test_support.h"

namespace kelvora {
namespace {

using wavelet_testing::DirectReconstruction;
using wavelet_testing::DirectShift;
using wavelet_testing::MixedSignal;
using wavelet_testing::RelativeDifference;

WaveletEngine& Engine() {
  static auto engine = std::make_unique<WaveletEngine>();
  return *engine;
}

TEST(WaveLetTBand, RaisesLowAndHighEdges) {
  // A T band of 0 .. 0.05 Hz runs on 0.005 .. 0.1 Hz.
  FrequencyBand band = WaveLetTBand({0.0, 0.05});
  EXPECT_DOUBLE_EQ(band.low, 0.005);
  EXPECT_DOUBLE_EQ(band.high, 0.1);
  band = WaveLetTBand({0.004999, 0.0999});
  EXPECT_DOUBLE_EQ(band.low, 0.005);
  EXPECT_DOUBLE_EQ(band.high, 0.1);
  band = WaveLetTBand({0.02, 0.15});
  EXPECT_DOUBLE_EQ(band.low, 0.02);
  EXPECT_DOUBLE_EQ(band.high, 0.15);
  // The Transform page's start band 0 .. 0.1 Hz.
  band = WaveLetTBand({0.0, 0.1});
  EXPECT_DOUBLE_EQ(band.low, 0.005);
  EXPECT_DOUBLE_EQ(band.high, 0.1);
}

TEST(WaveLetTShift, HandValuesAtScaleIndexOne) {
  // Scale 1 turns at F_1 = 0.79 / 2000 = 0.000395 Hz; lambda 0.33, rho c = 1057 * 3780 = 3995460; 2 Hz.
  // Thermal wave: 0.002 / (2 sqrt(pi F lambda / (rho c))) = 98.776 s = 197.55 samples; exp(0.002 sqrt(pi F rho c /
  // lambda)) = 1.27781.
  ThermalReconstruction params;
  ThermalShift shift = ThermalShiftOfScale(1, params);
  EXPECT_NEAR(static_cast<double>(shift.delay), 197.5527, 1e-3);
  EXPECT_NEAR(static_cast<double>(shift.gain), 1.277812, 1e-6);
  params.model = ConversionModel::Derivative;
  shift = ThermalShiftOfScale(1, params);
  EXPECT_NEAR(static_cast<double>(shift.delay), 1265.8228, 1e-4);  // a quarter period, 1 / (4 F) s, in samples
  EXPECT_NEAR(static_cast<double>(shift.gain), 0.00248186, 1e-8);  // 2 pi F
  // At 1 Hz the same delay is half as many samples.
  params.sampleRateHz = 1;
  EXPECT_NEAR(static_cast<double>(ThermalShiftOfScale(1, params).delay), 632.9114, 1e-4);
  // Twice the depth: twice the delay, the gain squared.
  params = ThermalReconstruction{};
  params.tissue.depthM = 0.004;
  shift = ThermalShiftOfScale(1, params);
  EXPECT_NEAR(static_cast<double>(shift.delay), 395.1054, 1e-3);
  EXPECT_NEAR(static_cast<double>(shift.gain), 1.632802, 1e-6);

  // The legacy rule: F_1 = 2 * 0.000395 Hz, the delay's seconds as they are, the depth fixed at 0.002 m.
  params.delays = WaveletDelayRule::Legacy;
  shift = ThermalShiftOfScale(1, params);
  EXPECT_NEAR(static_cast<double>(shift.delay), 69.84542, 1e-4);
  EXPECT_NEAR(static_cast<double>(shift.gain), 1.414382, 1e-6);
  params.model = ConversionModel::Derivative;
  shift = ThermalShiftOfScale(1, params);
  EXPECT_NEAR(static_cast<double>(shift.delay), 316.4557, 1e-4);
  EXPECT_NEAR(static_cast<double>(shift.gain), 0.00496372, 1e-8);
}

TEST(FinishWaveLetT, DenormalisesAndScales) {
  const std::vector<double> reconstruction{0.0, 0.5, 1.0};
  WaveLetTInput input;
  input.tMinimum = 30;
  input.tMaximum = 34;
  const auto finish = [&](const std::vector<double>& values) {
    const ConversionResult result = FinishConversion(values, WaveLetTFinish(input));
    EXPECT_TRUE(result.ok());
    return result.values;
  };

  input.scaling = ScalingMode::Absolute;
  EXPECT_EQ(finish(reconstruction), (std::vector<double>{30, 32, 34}));

  input.scaling = ScalingMode::Scaled;
  input.scaleA = 2;
  input.scaleB = 1;
  EXPECT_EQ(finish(reconstruction), (std::vector<double>{61, 65, 69}));

  input.scaling = ScalingMode::Normalized;
  std::vector<double> bf = finish(reconstruction);
  EXPECT_DOUBLE_EQ(bf[0], 0.0);
  EXPECT_DOUBLE_EQ(bf[1], 2.0 / (4.0 + 1e-8));
  EXPECT_DOUBLE_EQ(bf[2], 4.0 / (4.0 + 1e-8));

  // A constant result gives zeros, not a division by zero.
  bf = finish(std::vector<double>{0.25, 0.25});
  EXPECT_EQ(bf, (std::vector<double>{0.0, 0.0}));

  input.scaling = ScalingMode::Absolute;
  input.nonlinear = true;
  bf = finish(reconstruction);
  EXPECT_NEAR(bf[0], std::pow(30.0, 1.5), 1e-9);
  EXPECT_NEAR(bf[2], std::pow(34.0, 1.5), 1e-9);
  // Non-positive values keep their sign instead of becoming NaN.
  input.tMinimum = -1;
  input.tMaximum = 1;
  bf = finish(std::vector<double>{0.0, 0.5, 0.125});
  EXPECT_DOUBLE_EQ(bf[0], -1.0);
  EXPECT_DOUBLE_EQ(bf[1], 0.0);
  EXPECT_NEAR(bf[2], -std::pow(0.75, 1.5), 1e-12);
}

// The delays and gains of each rule written out from its own formulas.
DirectShift ShiftFor(const WaveLetTInput& input) {
  DirectShift shift;
  shift.thermal = true;
  shift.legacyPaul = input.delays == WaveletDelayRule::Legacy;
  shift.shift = [input](int k, long double& delay, long double& gain) {
    const long double pi = 3.1415926535897932385L;
    const long double lambda = input.tissue.lambda, rhoC = input.tissue.rhoC();
    if (input.delays == WaveletDelayRule::Corrected) {
      // The scale's centre frequency in Hz, the tissue's depth, delays in samples at 2 Hz.
      const long double f = 0.79L / (2000.0L * std::pow(static_cast<long double>(k), -1.48L));
      const long double x = input.tissue.depthM;
      if (input.model == ConversionModel::ThermalWave) {
        delay = 2.0L * x / (2.0L * std::sqrt(pi * (lambda / rhoC) * f));
        gain = std::exp(x * std::sqrt(pi * rhoC * f / lambda));
      } else {
        delay = 2.0L / (4.0L * f);
        gain = 2.0L * pi * f;
      }
    } else {
      // gerc 0.79 / (2000 k^-1.48) with gerc = 2, the depth 0.002 m, the delay's seconds used as samples.
      const long double f = 2.0L * 0.79L / (2000.0L * std::pow(static_cast<long double>(k), -1.48L));
      if (input.model == ConversionModel::ThermalWave) {
        delay = 0.002L / (2.0L * std::sqrt(pi * f * lambda / rhoC));
        gain = std::exp(0.002L * std::sqrt(pi * f * rhoC / lambda));
      } else {
        delay = 1.0L / (4.0L * f);
        gain = 2.0L * pi * f;
      }
    }
  };
  return shift;
}

struct DelayCase {
  WaveletType type;
  ConversionModel model;
  WaveletDelayRule rule;
  double depthM;
};

class WaveLetTDelayRules : public ::testing::TestWithParam<DelayCase> {};

// Each rule against a direct evaluation of its own formulas (the corrected rule transforms T less its mean, see
// CentredInputKeepsTheEdgesQuiet; the legacy one T as it is), to 1e-9 of the largest output.
TEST_P(WaveLetTDelayRules, MatchesDirectEvaluationOfItsOwnFormulas) {
  const DelayCase c = GetParam();
  const std::vector<double> t = MixedSignal(160);
  WaveLetTInput input;
  input.normalizedT = t;
  input.tMinimum = 30;
  input.tMaximum = 33;
  input.tBand = {0.05, 0.15};
  input.type = c.type;
  input.model = c.model;
  input.delays = c.rule;
  input.tissue.depthM = c.depthM;
  input.scaling = ScalingMode::Absolute;
  input.threads = 2;
  const WaveLetTResult result = WaveLetT(Engine(), input);
  ASSERT_TRUE(result.completed()) << (result.error ? result.error->message : "");
  EXPECT_EQ(result.stats.range, (ScaleRange{26, 55}));
  std::vector<double> reconstruction(result.bfStar.size());
  for (size_t i = 0; i < reconstruction.size(); ++i) reconstruction[i] = (result.bfStar[i] - 30.0) / 3.0;
  std::vector<double> input0 = t;
  if (c.rule == WaveletDelayRule::Corrected) {
    const double mean = std::accumulate(t.begin(), t.end(), 0.0) / static_cast<double>(t.size());
    for (double& v : input0) v -= mean;
  }
  const std::vector<double> direct = DirectReconstruction(input0, c.type, {26, 55}, ShiftFor(input));
  const double difference = RelativeDifference(reconstruction, direct);
  RecordProperty("relative_difference", std::to_string(difference * 1e12) + "e-12");
  EXPECT_LT(difference, 1e-9);
}

INSTANTIATE_TEST_SUITE_P(
    BothRules, WaveLetTDelayRules,
    ::testing::Values(
        DelayCase{WaveletType::Morlet, ConversionModel::ThermalWave, WaveletDelayRule::Corrected, 0.004},
        DelayCase{WaveletType::Paul, ConversionModel::Derivative, WaveletDelayRule::Corrected, 0.002},
        DelayCase{WaveletType::Paul, ConversionModel::ThermalWave, WaveletDelayRule::Legacy, 0.004},
        DelayCase{WaveletType::Morlet, ConversionModel::Derivative, WaveletDelayRule::Legacy, 0.002}));

// The corrected rule follows the depth, the legacy one keeps 0.002 m whatever the grid holds.
TEST(WaveLetT, DepthMovesTheCorrectedResultOnly) {
  const std::vector<double> t = MixedSignal(300);
  for (WaveletDelayRule rule : {WaveletDelayRule::Corrected, WaveletDelayRule::Legacy}) {
    std::vector<double> outputs[2];
    for (int i = 0; i < 2; ++i) {
      WaveLetTInput input;
      input.normalizedT = t;
      input.tMinimum = 30;
      input.tMaximum = 33;
      input.tBand = {0.02, 0.15};
      input.delays = rule;
      input.tissue.depthM = i == 0 ? 0.002 : 0.004;
      input.threads = 2;
      const WaveLetTResult result = WaveLetT(Engine(), input);
      ASSERT_TRUE(result.completed());
      outputs[i] = result.bfStar;
    }
    if (rule == WaveletDelayRule::Corrected) {
      EXPECT_GT(RelativeDifference(outputs[1], outputs[0]), 0.05);
    } else {
      EXPECT_EQ(outputs[1], outputs[0]);
    }
  }
}

// The phase advance, in seconds, of the 0.05 Hz component of x over samples [from, to) at 2 Hz.
double AdvanceAtTwentySeconds(const std::vector<double>& x, int from, int to) {
  const double w = 2.0 * 3.141592653589793 * 0.05 / 2.0;  // radians per sample
  double mean = 0.0;
  for (int i = from; i < to; ++i) mean += x[static_cast<size_t>(i)];
  mean /= to - from;
  double s = 0.0, c = 0.0;
  for (int i = from; i < to; ++i) {
    s += (x[static_cast<size_t>(i)] - mean) * std::sin(w * i);
    c += (x[static_cast<size_t>(i)] - mean) * std::cos(w * i);
  }
  return std::atan2(c, s) / (2.0 * 3.141592653589793 * 0.05);
}

// Regression: the scale's frequency was taken twice too high and the delay in seconds was added to a kernel
// argument in samples, so a component came out advanced by about a third of its thermal-wave delay (and Paul's
// went the other way). A 0.05 Hz sinusoid must come out advanced by 0.002 / (2 sqrt(pi (lambda / rho c) f)) =
// 8.78 s, as the Fourier conversion gives it, and a quarter period (5 s) in the derivative model.
TEST(WaveLetT, AdvancesASinusoidByItsThermalWaveDelay) {
  std::vector<double> t(1200);
  for (size_t i = 0; i < t.size(); ++i) t[i] = 0.5 + 0.5 * std::sin(2.0 * 3.141592653589793 * 0.05 * i / 2.0);
  for (auto [type, model, expected] :
       {std::tuple{WaveletType::Morlet, ConversionModel::ThermalWave, 8.78},
        std::tuple{WaveletType::Paul, ConversionModel::ThermalWave, 8.78},
        std::tuple{WaveletType::Morlet, ConversionModel::Derivative, 5.0}}) {
    WaveLetTInput input;
    input.normalizedT = t;
    input.tMinimum = 0;
    input.tMaximum = 1;
    input.tBand = {0.03, 0.08};
    input.type = type;
    input.model = model;
    input.scaling = ScalingMode::Absolute;
    input.threads = 2;
    const WaveLetTResult result = WaveLetT(Engine(), input);
    ASSERT_TRUE(result.completed());
    // Each scale near 0.05 Hz moves by its own delay, and the wider Paul scales reach further, so the sum's advance
    // lies within about 1.5 s of the single component's (measured: Morlet 8.47 s, Paul 7.56 s, derivative 4.73 s).
    EXPECT_NEAR(AdvanceAtTwentySeconds(result.bfStar, 300, 900), expected, 1.5)
        << static_cast<int>(type) << " " << static_cast<int>(model);
  }
}

// Regression: the level of T leaked through the cut-off kernels at both ends of the record and, lifted by the
// gains of the upper scales, became spikes that set the whole 0..1 range of a normalised BF*. The wavelets carry
// no zero frequency, so the conversion transforms T less its mean, which leaves the inside of the record as it
// was and the ends quiet.
TEST(WaveLetT, CentredInputKeepsTheEdgesQuiet) {
  std::vector<double> t(1200);
  for (size_t i = 0; i < t.size(); ++i) t[i] = 0.95 + 0.05 * std::sin(2.0 * 3.141592653589793 * 0.05 * i / 2.0);
  WaveLetTInput input;
  input.normalizedT = t;
  input.tMinimum = 0;
  input.tMaximum = 1;
  input.scaling = ScalingMode::Absolute;
  input.threads = 2;
  const WaveLetTResult result = WaveLetT(Engine(), input);
  ASSERT_TRUE(result.completed());
  double inside = 0.0, whole = 0.0;
  for (size_t i = 0; i < result.bfStar.size(); ++i) {
    whole = std::max(whole, std::fabs(result.bfStar[i]));
    if (i >= 300 && i < 900) inside = std::max(inside, std::fabs(result.bfStar[i]));
  }
  // Measured: 5.0 before the centring, 1.0005 after it.
  EXPECT_LT(whole, 1.5 * inside) << whole << " " << inside;
}

// Regression: the conversion ran only after a signal had once been loaded on the wavelet page, leaving BF* a
// constant on a fresh start.
TEST(WaveLetT, RunsOnAFreshEngineAndMarksNoRowReusable) {
  WaveletEngine engine;
  const std::vector<double> t = MixedSignal(300);
  WaveLetTInput input;
  input.normalizedT = t;
  input.tMinimum = 30;
  input.tMaximum = 33;
  input.tBand = {0.0, 0.1};  // runs on 0.005 .. 0.1 Hz
  const WaveLetTResult result = WaveLetT(engine, input);
  ASSERT_TRUE(result.completed());
  EXPECT_DOUBLE_EQ(result.workingBand.low, 0.005);
  EXPECT_DOUBLE_EQ(result.workingBand.high, 0.1);
  ASSERT_EQ(result.bfStar.size(), 300u);
  const auto [lo, hi] = std::minmax_element(result.bfStar.begin(), result.bfStar.end());
  EXPECT_NEAR(*lo, 0.0, 1e-12);
  EXPECT_NEAR(*hi, 1.0, 1e-8);
  // The delayed contributions are never taken for a later filtration.
  for (int k = 1; k <= kWaveletScaleCount; ++k) {
    EXPECT_FALSE(engine.savedRowComputed(WaveletType::Morlet, k)) << k;
  }
  // A second conversion computes everything again and gives the same.
  const WaveLetTResult again = WaveLetT(engine, input);
  ASSERT_TRUE(again.completed());
  EXPECT_EQ(again.stats.forwardRows, again.stats.range.size());
  EXPECT_EQ(again.bfStar, result.bfStar);
}

TEST(WaveLetT, RefusesLongRecordsAndBadParameters) {
  WaveletEngine& engine = Engine();
  const std::vector<double> t(3700, 0.5);
  WaveLetTInput input;
  input.normalizedT = t;
  input.tMinimum = 30;
  input.tMaximum = 31;
  input.tBand = {0.0, 0.1};
  WaveLetTResult result = WaveLetT(engine, input);
  EXPECT_EQ(result.status, WaveletRunStatus::Refused);
  ASSERT_TRUE(result.error.has_value());
  EXPECT_NE(result.error->message.find("3601"), std::string::npos);
  EXPECT_TRUE(result.bfStar.empty());

  const std::vector<double> shortT = MixedSignal(50);
  input.normalizedT = shortT;
  input.tissue.lambda = 0.0;
  result = WaveLetT(engine, input);
  EXPECT_EQ(result.status, WaveletRunStatus::Refused);
  ASSERT_TRUE(result.error.has_value());
  input.tissue.lambda = 0.33;
  input.tMaximum = NAN;
  EXPECT_EQ(WaveLetT(engine, input).status, WaveletRunStatus::Refused);
}

std::vector<double> ReadColumn(const std::string& path) {
  std::ifstream in(path);
  std::vector<double> values;
  for (std::string line; std::getline(in, line);) {
    if (!line.empty()) values.push_back(std::stod(line));
  }
  return values;
}

// A real skin-temperature recording (2 Hz, about 15 minutes): the conversion is finite, spans 0 .. 1 and does
// not depend on the worker count.
TEST(WaveLetT, RealTemperatureRecording) {
  const std::string path = std::string(KELVORA_SHARED_DATA_DIR) + "/skintemp_PREVAIL008_j1_1.txt";
  if (!std::filesystem::exists(path)) GTEST_SKIP() << "no shared recordings";
  const std::vector<double> t = ReadColumn(path);
  ASSERT_GT(t.size(), 1000u);
  ASSERT_LE(t.size(), static_cast<size_t>(kWaveletMaxSamples));
  const auto [lo, hi] = std::minmax_element(t.begin(), t.end());
  std::vector<double> normalized(t.size());
  for (size_t i = 0; i < t.size(); ++i) normalized[i] = (t[i] - *lo) / (*hi - *lo);

  WaveLetTInput input;
  input.normalizedT = normalized;
  input.tMinimum = *lo;
  input.tMaximum = *hi;
  input.tBand = {0.005, 0.02};  // endothelial band; runs on 0.005 .. 0.1 Hz
  std::vector<double> reference;
  for (int threads : {1, 2}) {
    input.threads = threads;
    const WaveLetTResult result = WaveLetT(Engine(), input);
    ASSERT_TRUE(result.completed());
    ASSERT_EQ(result.bfStar.size(), t.size());
    for (double v : result.bfStar) ASSERT_TRUE(std::isfinite(v) && v >= 0.0 && v <= 1.0) << v;
    if (reference.empty()) {
      reference = result.bfStar;
    } else {
      EXPECT_EQ(result.bfStar, reference);
    }
  }
}

}  // namespace
}  // namespace kelvora
