#include "tests/said.h"
#include "core/fourier_conversion.h"

#include <cmath>
#include <vector>

#include <gtest/gtest.h>

#include "core/conversion_scaling.h"
#include "tests/core/direct_dft_reference.h"

namespace kelvora {
namespace {

constexpr double kPiD = 3.14159265358979323846;

// N = 2800, N' = 4000 at 2 Hz puts bin 100 at exactly 0.05 Hz (period 40 samples).
constexpr int kRate = 2;
constexpr int kLast = 2800;
constexpr double kBinFrequency = 0.05;

std::vector<double> Sinusoid(double amplitude, double frequency) {
  std::vector<double> x(kLast + 1);
  for (int i = 0; i <= kLast; ++i) x[i] = 0.5 + amplitude * std::sin(2 * kPiD * frequency * i / kRate);
  return x;
}

struct Fit {
  double amplitude;
  double phase;  // of amplitude * cos(w t + phase)
};

// Least-squares sinusoid of frequency f over samples [first, first + count), count a whole number of periods,
// where the discrete sine and cosine are exactly orthogonal.
Fit FitSinusoid(const std::vector<double>& v, int first, int count, double f) {
  double mean = 0;
  for (int i = first; i < first + count; ++i) mean += v[i];
  mean /= count;
  double c = 0, s = 0;
  for (int i = first; i < first + count; ++i) {
    const double wt = 2 * kPiD * f * i / kRate;
    c += (v[i] - mean) * std::cos(wt);
    s += (v[i] - mean) * std::sin(wt);
  }
  c *= 2.0 / count;
  s *= 2.0 / count;
  return {std::hypot(c, s), std::atan2(-s, c)};
}

double WrapPhase(double a) { return std::remainder(a, 2 * kPiD); }

FourierConversionOptions Absolute(ConversionModel model, double depthM) {
  FourierConversionOptions o;
  o.model = model;
  o.scaling = ScalingMode::Absolute;
  o.tissue.depthM = depthM;
  return o;
}

TEST(FurieT, ThermalWaveScalesAndShiftsASinusoidByTheWaveOfItsFrequency) {
  const std::vector<double> x = Sinusoid(0.05, kBinFrequency);
  BandTransform transform;
  transform.setBand(kTemperatureBandSlot, {kBinFrequency, kBinFrequency});  // one bin: a pure sinusoid
  const ConversionResult identity = FurieT(transform, x, 0.0, 1.0, kRate, Absolute(ConversionModel::ThermalWave, 0.0));
  const ConversionResult wave = FurieT(transform, x, 0.0, 1.0, kRate, Absolute(ConversionModel::ThermalWave, 0.002));
  ASSERT_TRUE(identity.ok()) << Said(identity.error);
  ASSERT_TRUE(wave.ok()) << Said(wave.error);

  const double rhoC = 1057.0 * 3780.0, lambda = 0.33, depth = 0.002, f = kBinFrequency;
  const double gain = std::exp(depth * std::sqrt(kPiD * rhoC * f / lambda));
  const double shift = depth / (2 * std::sqrt(kPiD * (lambda / rhoC) * f));
  const Fit in = FitSinusoid(identity.values, 400, 2000, f);
  const Fit out = FitSinusoid(wave.values, 400, 2000, f);
  EXPECT_NEAR(out.amplitude / in.amplitude, gain, gain * 1e-9);
  EXPECT_NEAR(WrapPhase(out.phase - in.phase), WrapPhase(2 * kPiD * f * shift), 1e-9);
  // The band-filtered input is the sinusoid itself, its amplitude shrunk by the padding to about N / N'.
  EXPECT_NEAR(in.amplitude, 0.05 * 2801 / 4000, 0.002);
}

TEST(FurieT, DerivativeScalesByTwoPiFAndShiftsAQuarterPeriod) {
  const std::vector<double> x = Sinusoid(0.05, kBinFrequency);
  BandTransform transform;
  transform.setBand(kTemperatureBandSlot, {kBinFrequency, kBinFrequency});
  const ConversionResult identity = FurieT(transform, x, 0.0, 1.0, kRate, Absolute(ConversionModel::ThermalWave, 0.0));
  const ConversionResult derivative = FurieT(transform, x, 0.0, 1.0, kRate, Absolute(ConversionModel::Derivative, 0.0));
  ASSERT_TRUE(derivative.ok());
  const Fit in = FitSinusoid(identity.values, 400, 2000, kBinFrequency);
  const Fit out = FitSinusoid(derivative.values, 400, 2000, kBinFrequency);
  EXPECT_NEAR(out.amplitude / in.amplitude, 2 * kPiD * kBinFrequency, 1e-9);
  EXPECT_NEAR(WrapPhase(out.phase - in.phase), kPiD / 2, 1e-9);
}

TEST(FurieBF, InvertsFurieTOnASmallBandLimitedSignal) {
  std::vector<double> x(1600);
  for (std::size_t i = 0; i < x.size(); ++i) {
    const double t = static_cast<double>(i) / kRate;
    x[i] = 0.5 + 0.02 * std::sin(2 * kPiD * (15.0 / 1399.5) * t) + 0.015 * std::cos(2 * kPiD * (43.0 / 1399.5) * t + 0.4);
  }
  BandTransform transform;
  // The low edge keeps out the lowest bins, where integrating the padding's steps dominates.
  transform.setBand(kTemperatureBandSlot, {0.005, 0.05});
  transform.setBand(kBloodFlowBandSlot, {0.005, 0.05});
  for (ConversionModel model : {ConversionModel::ThermalWave, ConversionModel::Derivative}) {
    FourierConversionOptions options;
    options.model = model;
    const ConversionResult bf = FurieT(transform, x, 0.0, 1.0, kRate, options);
    ASSERT_TRUE(bf.ok());
    transform.clearBloodFlowSlots();
    const ConversionResult back = FurieBF(transform, bf.values, kRate, options);
    ASSERT_TRUE(back.ok());
    // Away from the ends, where the padding of the second pass differs from the first.
    const std::vector<double> inner(x.begin() + 200, x.end() - 200);
    const std::vector<double> innerBack(back.values.begin() + 200, back.values.end() - 200);
    // Integration (1 / w) lifts the lowest bins of the second pass, where the new padding's kinks sit, so the
    // derivative round trip is the looser one.
    EXPECT_GT(*PearsonCorrelation(inner, innerBack), model == ConversionModel::ThermalWave ? 0.995 : 0.94)
        << static_cast<int>(model);
  }
}

// The conversion formula written out directly: C[k] by the direct sum, one exponential per term.
std::vector<double> DirectFurie(const std::vector<double>& x, double lowHz, double highHz, ConversionModel model,
                                bool toBloodFlow) {
  const std::vector<double> padded = PadSignal(x);
  const int last = static_cast<int>(padded.size()) - 1;
  const int hi = static_cast<int>(std::llrint(static_cast<long double>(last) * highHz / kRate));
  const int lo = std::max(1, static_cast<int>(std::llrint(static_cast<long double>(last) * lowHz / kRate)));
  const Complex c0 = testing::DirectCoefficient(padded, 0, kRate);
  const long double rhoC = 1057.0L * 3780.0L, lambda = 0.33L, depth = 0.002L;
  std::vector<double> out(x.size());
  std::vector<Complex> c(hi + 1);
  for (int k = lo; k <= hi; ++k) c[k] = testing::DirectCoefficient(padded, k, kRate);
  for (std::size_t i = 0; i < x.size(); ++i) {
    const long double tn = static_cast<long double>(600 + i) / kRate;
    Complex y{};
    for (int k = lo; k <= hi; ++k) {
      const long double f = static_cast<long double>(k) / last * kRate;
      const long double w = kTwoPi * f;
      long double tau, g;
      if (model == ConversionModel::ThermalWave) {
        tau = depth / (2 * std::sqrt(kPi * (lambda / rhoC) * f));
        g = std::exp(depth * std::sqrt(kPi * rhoC * f / lambda));
      } else {
        tau = 1 / (4 * f);
        g = w;
      }
      if (!toBloodFlow) {
        tau = -tau;
        g = 1 / g;
      }
      const Complex pair = Sum(Product(c[k], Exp(MakeComplex(0, w * (tn + tau)))),
                               Product(Conjugate(c[k]), Exp(MakeComplex(0, -w * (tn + tau)))));
      y = Sum(y, MakeComplex(g * pair.re, g * pair.im));
    }
    y = Sum(y, c0);
    out[i] = static_cast<double>(Modulus(y) - 2);
  }
  return out;
}

TEST(FurieT, AgreesWithTheDirectFormulaForBothModelsAndDirections) {
  std::vector<double> x(40);
  for (std::size_t i = 0; i < x.size(); ++i) x[i] = 0.5 + 0.3 * std::sin(0.37 * i) * std::cos(0.05 * i);
  for (ConversionModel model : {ConversionModel::ThermalWave, ConversionModel::Derivative}) {
    BandTransform transform;
    transform.setBand(kTemperatureBandSlot, {0.004, 0.12});
    transform.setBand(kBloodFlowBandSlot, {0.004, 0.12});
    FourierConversionOptions options = Absolute(model, 0.002);
    const ConversionResult t2bf = FurieT(transform, x, 0.0, 1.0, kRate, options);
    const ConversionResult bf2t = FurieBF(transform, x, kRate, options);
    ASSERT_TRUE(t2bf.ok());
    ASSERT_TRUE(bf2t.ok());
    const std::vector<double> expectedBF = DirectFurie(x, 0.004, 0.12, model, true);
    const std::vector<double> expectedT = DirectFurie(x, 0.004, 0.12, model, false);
    for (std::size_t i = 0; i < x.size(); ++i) {
      EXPECT_NEAR(t2bf.values[i], expectedBF[i], 1e-11 * (1 + std::fabs(expectedBF[i]))) << i;
      EXPECT_NEAR(bf2t.values[i], expectedT[i], 1e-11) << i;
    }
  }
}

TEST(FurieT, FullRangeTemperatureBandWorksOnZeroToFiveHundredths) {
  EXPECT_EQ(FurieTBand({0.0, 2.0}).high, 0.05);
  EXPECT_EQ(FurieTBand({0.0, 2.0}).low, 0.0);
  EXPECT_EQ(FurieTBand({0.01, 0.3}).high, 0.3);
  EXPECT_EQ(FurieTBand({0.01, 0.3}).low, 0.01);

  BandTransform transform;
  transform.setBand(kTemperatureBandSlot, {0.0, 2.0});
  ASSERT_TRUE(FurieT(transform, std::vector<double>(50, 0.5), 30, 31, kRate, {}).ok());
  EXPECT_EQ(transform.band(kFurieTSlot).high, 0.05);
  // FurieBF takes the BF band as it is, clamped to fs / 2 in its own slot.
  transform.setBand(kBloodFlowBandSlot, {0.0, 2.0});
  ASSERT_TRUE(FurieBF(transform, std::vector<double>(50, 0.5), kRate, {}).ok());
  EXPECT_EQ(transform.band(kFurieBFSlot).high, 1.0);
}

TEST(FurieT, AbsoluteKeepsTheUnitsOfTNormalizedSpansZeroToOne) {
  std::vector<double> x(300);
  for (std::size_t i = 0; i < x.size(); ++i) x[i] = 0.5 + 0.4 * std::sin(0.05 * i);
  BandTransform transform;
  transform.setBand(kTemperatureBandSlot, {0.0, 0.1});
  transform.setBand(kBloodFlowBandSlot, {0.0, 0.1});
  FourierConversionOptions normalized;
  const ConversionResult n = FurieT(transform, x, 30, 34, kRate, normalized);
  ASSERT_TRUE(n.ok());
  EXPECT_EQ(*std::min_element(n.values.begin(), n.values.end()), 0.0);
  EXPECT_EQ(*std::max_element(n.values.begin(), n.values.end()), 1.0);

  // Depth 0 reproduces the band-filtered T in degrees; FurieBF stays in the 0 .. 1 units of its input.
  const ConversionResult t = FurieT(transform, x, 30, 34, kRate, Absolute(ConversionModel::ThermalWave, 0.0));
  const ConversionResult b = FurieBF(transform, x, kRate, Absolute(ConversionModel::ThermalWave, 0.0));
  for (std::size_t i = 100; i < 200; ++i) {
    EXPECT_NEAR(t.values[i], 30 + 4 * x[i], 0.05) << i;
    EXPECT_NEAR(b.values[i], x[i], 0.0125) << i;
  }

  FourierConversionOptions scaled = Absolute(ConversionModel::ThermalWave, 0.0);
  scaled.scaling = ScalingMode::Scaled;
  scaled.a = 2;
  scaled.b = -1;
  const ConversionResult s = FurieT(transform, x, 30, 34, kRate, scaled);
  for (std::size_t i = 0; i < x.size(); ++i) EXPECT_NEAR(s.values[i], 2 * t.values[i] - 1, 1e-12);
}

TEST(FurieT, BandBelowTheFirstBinGivesAConstantAndNormalizedZeros) {
  std::vector<double> x(100);
  for (std::size_t i = 0; i < x.size(); ++i) x[i] = (i % 7) / 7.0;
  BandTransform transform;
  transform.setBand(kTemperatureBandSlot, {0.0, 0.0});
  const ConversionResult a = FurieT(transform, x, 20, 30, kRate, Absolute(ConversionModel::ThermalWave, 0.002));
  ASSERT_TRUE(a.ok());
  for (double v : a.values) EXPECT_EQ(v, a.values[0]);
  const ConversionResult n = FurieT(transform, x, 20, 30, kRate, {});
  ASSERT_TRUE(n.ok());
  for (double v : n.values) EXPECT_EQ(v, 0.0);
}

TEST(FurieT, NonlinearOnNonPositiveValuesStaysFinite) {
  // A T record below 0 °C: the power 1.5 keeps the sign instead of giving NaN.
  std::vector<double> x(100);
  for (std::size_t i = 0; i < x.size(); ++i) x[i] = (i % 10) / 10.0;
  BandTransform transform;
  transform.setBand(kTemperatureBandSlot, {0.0, 0.2});
  FourierConversionOptions options = Absolute(ConversionModel::ThermalWave, 0.0);
  options.nonlinear = true;
  const ConversionResult r = FurieT(transform, x, -10, -5, kRate, options);
  ASSERT_TRUE(r.ok());
  for (double v : r.values) {
    EXPECT_TRUE(std::isfinite(v));
    EXPECT_LT(v, 0.0);
  }
}

TEST(FurieT, BadInputIsRefused) {
  BandTransform transform;
  EXPECT_FALSE(FurieT(transform, {}, 0, 1, kRate, {}).ok());
  FourierConversionOptions noLambda;
  noLambda.tissue.lambda = 0;
  EXPECT_FALSE(FurieT(transform, {0.1, 0.2}, 0, 1, kRate, noLambda).ok());
  EXPECT_FALSE(FurieBF(transform, {0.1, std::nan("")}, kRate, {}).ok());
}

// A band of 5,599 bins is moved in blocks over the cores; at depth 0 every component moves by nothing, so
// FurieBF gives the record back: any bin left unmoved, or moved twice, would show. (N' = 11199; bins 1 .. 5599
// are all the distinct ones, bin 5600 would repeat bin 5599.)
TEST(FurieBF, FullBandAtDepthZeroGivesTheRecordBackThroughTheBlockedBins) {
  std::vector<double> x(10000);
  for (std::size_t i = 0; i < x.size(); ++i) x[i] = 0.5 + 0.3 * std::sin(0.013 * i) + 0.1 * std::sin(1.7 * i + 0.2);
  BandTransform transform;
  transform.setBand(kBloodFlowBandSlot, {0.0, 0.9999});
  const ConversionResult back = FurieBF(transform, x, kRate, Absolute(ConversionModel::ThermalWave, 0.0));
  ASSERT_TRUE(back.ok()) << Said(back.error);
  ASSERT_EQ(back.values.size(), x.size());
  for (std::size_t i = 0; i < x.size(); ++i) ASSERT_NEAR(back.values[i], x[i], 1e-12) << i;
}

}  // namespace
}  // namespace kelvora
