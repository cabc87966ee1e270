// The coherence under its modes: the coherence over time against a plain evaluation of its definition, the
// plain mode against AnalyzeCoherence, the MODA-style transform against a direct evaluation of its definitions,
// the rank rule and one-record surrogates against their definitions, the sinusoid forecast, and the two depths
// of a pair made by a pure thermal-wave filter.
#include "analysis/coherence_modes.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cmath>
#include <complex>
#include <cstdio>
#include <numbers>
#include <random>
#include <thread>

#include "analysis/coherence_over_time_output.h"
#include "analysis/iaaft_surrogate.h"
#include "analysis/moda_transform.h"
#include "analysis/sinusoid_forecast.h"
#include "core/fft.h"

namespace kelvora {
namespace {

using Complex = std::complex<double>;

double Gaussian(std::mt19937_64& rng) {
  const double u1 = (static_cast<double>(rng() >> 11) + 1.0) * 0x1.0p-53;
  const double u2 = static_cast<double>(rng() >> 11) * 0x1.0p-53;
  return std::sqrt(-2.0 * std::log(u1)) * std::cos(2.0 * std::numbers::pi * u2);
}

// A broadband flow with random Fourier components between lowHz and highHz (amplitude ~ 1/sqrt f), and the
// temperature a pure thermal wave from depth x makes of it: each component of frequency f attenuated by
// exp(-k x) and delayed by the phase k x, k = sqrt(pi f rho c / lambda); noise of `noise` times each record's
// spread added.
struct Pair {
  std::vector<double> t, bf;
};

Pair ThermalFilterPair(std::size_t n, double fs, double depthM, double lowHz, double highHz, double noise,
                       std::uint64_t seed, const ThermalWaveTissue& tissue = {}) {
  std::mt19937_64 rng(seed);
  std::vector<Complex> flow(n / 2 + 1), temp(n / 2 + 1);
  for (std::size_t k = 1; k < flow.size(); ++k) {
    const double f = static_cast<double>(k) * fs / static_cast<double>(n);
    if (f < lowHz || f > highHz) continue;
    flow[k] = Complex(Gaussian(rng), Gaussian(rng)) / std::sqrt(f);
    const double kx = depthM * std::sqrt(std::numbers::pi * f * tissue.rho * tissue.heatCapacity / tissue.lambda);
    temp[k] = 100.0 * flow[k] * std::exp(-kx) * std::polar(1.0, -kx);
  }
  Pair pair{std::vector<double>(n), std::vector<double>(n)};
  fft::BackwardReal(flow, pair.bf);
  fft::BackwardReal(temp, pair.t);
  for (std::vector<double>* x : {&pair.t, &pair.bf}) {
    double s = 0.0;
    for (const double v : *x) s += v * v;
    const double spread = std::sqrt(s / static_cast<double>(n));
    for (double& v : *x) v += noise * spread * Gaussian(rng);
  }
  return pair;
}

CoherenceModeOptions ShortOptions() {
  CoherenceModeOptions options;
  options.coherence.analysis.sampleRateHz = 2.0;
  options.coherence.analysis.minFrequencyHz = 0.02;
  options.coherence.analysis.maxFrequencyHz = 0.5;
  options.coherence.analysis.voicesPerOctave = 8;
  options.coherence.analysis.threads = 2;
  options.coherence.analysis.bands = {{"low", {0.02, 0.1}}, {"high", {0.1, 0.5}}};
  options.coherence.surrogatePairs = 0;
  return options;
}

// TPC(f, n) straight from its definition: the phases by std::arg, the window summed term by term.
TEST(CoherenceOverTime, AgreesWithThePlainEvaluationOfItsDefinition) {
  const Pair pair = ThermalFilterPair(1200, 2.0, 0.0015, 0.01, 0.6, 0.5, 11);
  for (const double cycles : {10.0, 3.0, 4.5}) {
    CoherenceModeOptions options = ShortOptions();
    options.overTime = true;
    options.windowCycles = cycles;
    options.overTimeColumns = 0;
    const CoherenceModeOutcome outcome = AnalyzeCoherenceModes(pair.t, pair.bf, options);
    ASSERT_TRUE(outcome.ok());
    const CoherenceOverTime& map = *outcome.result.overTime;
    const AnalysisOptions& analysis = options.coherence.analysis;
    const MorletTransform t = MakeAnalysisTransform(pair.t, analysis);
    const MorletTransform b = MakeAnalysisTransform(pair.bf, analysis);
    MorletWorkspace ws;
    double worst = 0.0;
    int defined = 0;
    for (std::size_t j = 0; j < map.frequenciesHz.size(); ++j) {
      std::vector<Complex> rt(1200), rb(1200);
      t.row(j, ws, rt);
      b.row(j, ws, rb);
      long long w = std::llround(cycles * 2.0 / map.frequenciesHz[j]);
      if (w % 2 == 0) ++w;
      ASSERT_EQ(map.windowSamples[j], w);
      const long long h = w / 2;
      const SampleRange valid = t.validRange(j);
      for (long long n = 0; n < 1200; ++n) {
        const bool inside = !valid.empty() && n - h >= valid.first && n + h <= valid.last;
        const double got = map.value(j, static_cast<int>(n));
        if (!inside) {
          ASSERT_TRUE(std::isnan(got)) << j << ' ' << n;
          continue;
        }
        Complex sum(0.0, 0.0);
        for (long long m = n - h; m <= n + h; ++m)
          sum += std::polar(1.0, std::arg(rb[static_cast<std::size_t>(m)]) - std::arg(rt[static_cast<std::size_t>(m)]));
        worst = std::max(worst, std::fabs(got - std::abs(sum) / static_cast<double>(w)));
        ++defined;
      }
    }
    EXPECT_GT(defined, 1000);
    EXPECT_LT(worst, 1e-12) << "cycles " << cycles;
    std::printf("[ figure ] TPC, %g cycles: %d values, largest difference from the definition %.3g\n", cycles,
                defined, worst);
  }
}

// With the analysis transform, both surrogates and the Weibull rule the modes give AnalyzeCoherence's numbers,
// for the whole records and for each segment (a short one, whose low bands get the segment notes).
TEST(CoherenceModes, PlainModeGivesTheCoherenceOfAnalyzeCoherence) {
  const Pair pair = ThermalFilterPair(900, 2.0, 0.0015, 0.01, 0.6, 1.0, 12);
  CoherenceModeOptions options = ShortOptions();
  options.coherence.surrogatePairs = 9;
  options.coherence.segments = {Segment{"rest", 0.0, 100.0}, Segment{"load", 100.0, 450.0}};
  const CoherenceModeOutcome modes = AnalyzeCoherenceModes(pair.t, pair.bf, options);
  const CoherenceOutcome plain = AnalyzeCoherence(pair.t, pair.bf, options.coherence);
  ASSERT_TRUE(modes.ok());
  ASSERT_TRUE(plain.ok());
  auto same = [](const std::vector<CoherencePoint>& got, const std::vector<CoherencePoint>& want) {
    ASSERT_EQ(got.size(), want.size());
    for (std::size_t j = 0; j < want.size(); ++j) {
      const CoherencePoint& a = got[j];
      const CoherencePoint& b = want[j];
      ASSERT_EQ(a.coherence.has_value(), b.coherence.has_value()) << j;
      if (!a.coherence) continue;
      EXPECT_NEAR(*a.coherence, *b.coherence, 1e-12);
      EXPECT_NEAR(*a.threshold, *b.threshold, 1e-12);
      EXPECT_NEAR(*a.lagSeconds, *b.lagSeconds, 1e-9);
      EXPECT_EQ(a.significant, b.significant);
    }
  };
  same(modes.result.coherence.points, plain.result.points);
  const std::vector<CoherenceSegmentResult>& segments = modes.result.coherence.segments;
  ASSERT_EQ(segments.size(), plain.result.segments.size());
  ASSERT_EQ(segments.size(), 2u);
  for (std::size_t q = 0; q < segments.size(); ++q) {
    EXPECT_EQ(segments[q].segment.name, plain.result.segments[q].segment.name);
    same(segments[q].points, plain.result.segments[q].points);
    ASSERT_EQ(segments[q].bands.size(), plain.result.segments[q].bands.size());
    for (std::size_t k = 0; k < segments[q].bands.size(); ++k)
      EXPECT_EQ(segments[q].bands[k].note, plain.result.segments[q].bands[k].note) << q << " " << k;
  }
}

// The rank rule is the K-th largest of N, K = floor((N + 1) / 20): for N = 39 the 2nd largest, which the Weibull
// position 0.95 (N + 1) = 38 also picks; for N = 19 the largest. One-record surrogates: with one pair, the
// threshold is the coherence of the measured T with that pair's BF surrogate.
TEST(CoherenceModes, RankRuleAndOneRecordSurrogatesFollowTheirDefinitions) {
  const Pair pair = ThermalFilterPair(600, 2.0, 0.0015, 0.01, 0.6, 2.0, 13);
  CoherenceModeOptions options = ShortOptions();
  options.coherence.surrogatePairs = 39;
  const CoherenceModeOutcome weibull = AnalyzeCoherenceModes(pair.t, pair.bf, options);
  options.thresholdRule = ThresholdRule::kRank;
  const CoherenceModeOutcome rank = AnalyzeCoherenceModes(pair.t, pair.bf, options);
  options.coherence.surrogatePairs = 18;  // K = 0: no threshold
  const CoherenceModeOutcome none = AnalyzeCoherenceModes(pair.t, pair.bf, options);
  ASSERT_TRUE(weibull.ok() && rank.ok() && none.ok());
  for (std::size_t j = 0; j < rank.result.coherence.points.size(); ++j) {
    const CoherencePoint& r = rank.result.coherence.points[j];
    if (!r.coherence) continue;
    EXPECT_EQ(*r.threshold, *weibull.result.coherence.points[j].threshold);
    EXPECT_FALSE(none.result.coherence.points[j].threshold.has_value());
  }

  options = ShortOptions();
  options.coherence.surrogatePairs = 1;
  options.surrogatesOf = SurrogatesOf::kBloodFlow;
  const CoherenceModeOutcome one = AnalyzeCoherenceModes(pair.t, pair.bf, options);
  ASSERT_TRUE(one.ok());
  const AnalysisOptions& analysis = options.coherence.analysis;
  const IaaftSurrogate s = MakeIaaftSurrogate(Detrended(pair.bf, analysis.detrend), SurrogateSeed(1, 1, 0));
  const MorletTransform t = MakeAnalysisTransform(pair.t, analysis);
  const MorletTransform b = MorletTransform(s.values, MakeAnalysisKernels(600, analysis));
  MorletWorkspace w1, w2;
  int compared = 0;
  for (std::size_t j = 0; j < t.frequencyCount(); ++j) {
    const SampleRange valid = t.validRange(j);
    if (valid.empty()) continue;
    const auto rt = t.row(j, w1);
    const auto rb = b.row(j, w2);
    Complex sum(0.0, 0.0);
    for (long long n = valid.first; n <= valid.last; ++n)
      sum += std::polar(1.0, std::arg(rb[static_cast<std::size_t>(n)]) - std::arg(rt[static_cast<std::size_t>(n)]));
    EXPECT_NEAR(*one.result.coherence.points[j].threshold, std::abs(sum) / static_cast<double>(valid.size()), 1e-12);
    ++compared;
  }
  EXPECT_GT(compared, 20);
}

// MODA's definitions evaluated directly, with plain DFTs of O(N^2): the cubic least-squares fit by its normal
// equations, the band-pass, zero padding to the power of two, the band-limited Morlet at the positive bins, the
// inverse DFT and the amplitude A/2.
TEST(ModaStyleTransform, AgreesWithADirectEvaluationOfItsDefinitions) {
  const std::size_t n = 160;
  const double fs = 2.0, f0 = 1.0, fmin = 0.1, fmax = 0.8;
  std::mt19937_64 rng(5);
  std::vector<double> x(n);
  for (std::size_t i = 0; i < n; ++i)
    x[i] = 3.0 + 0.01 * static_cast<double>(i) + std::cos(2.0 * std::numbers::pi * 0.3 * static_cast<double>(i) / fs) +
           0.5 * Gaussian(rng);
  ModaTransformParameters p;
  p.sampleRateHz = fs;
  p.centreFrequency = f0;
  p.frequenciesHz = {0.125, 0.2, 0.3, 0.5, 0.75};
  p.minFrequencyHz = fmin;
  p.maxFrequencyHz = fmax;
  p.form = {WaveletForm::kBandLimited, PreprocessingForm::kCubicAndBandPass, PaddingForm::kZero, AmplitudeScale::kHalf};
  const ModaStyleTransform transform(x, p);

  // The cubic by its normal equations (on a centred, scaled time axis: the same fit as on t = (1 .. N) / fs).
  std::vector<double> y = x;
  {
    long double g[4][5] = {};
    for (std::size_t i = 0; i < n; ++i) {
      const long double t = (static_cast<long double>(i) - (n - 1) / 2.0L) / ((n - 1) / 2.0L);
      const long double powers[4] = {1.0L, t, t * t, t * t * t};
      for (int a = 0; a < 4; ++a) {
        for (int b = 0; b < 4; ++b) g[a][b] += powers[a] * powers[b];
        g[a][4] += powers[a] * x[i];
      }
    }
    for (int c = 0; c < 4; ++c)
      for (int r = 0; r < 4; ++r) {
        if (r == c) continue;
        const long double f = g[r][c] / g[c][c];
        for (int k = 0; k < 5; ++k) g[r][k] -= f * g[c][k];
      }
    for (std::size_t i = 0; i < n; ++i) {
      const long double t = (static_cast<long double>(i) - (n - 1) / 2.0L) / ((n - 1) / 2.0L);
      y[i] -= static_cast<double>(g[0][4] / g[0][0] + g[1][4] / g[1][1] * t + g[2][4] / g[2][2] * t * t +
                                  g[3][4] / g[3][3] * t * t * t);
    }
  }
  auto dft = [](const std::vector<Complex>& in, int sign) {
    const std::size_t m = in.size();
    std::vector<Complex> out(m);
    for (std::size_t k = 0; k < m; ++k) {
      Complex s(0.0, 0.0);
      for (std::size_t i = 0; i < m; ++i)
        s += in[i] * std::polar(1.0, sign * 2.0 * std::numbers::pi * static_cast<double>((k * i) % m) / static_cast<double>(m));
      out[k] = s;
    }
    return out;
  };
  auto bandPass = [&](std::vector<Complex>& spectrum) {
    const std::size_t m = spectrum.size();
    for (std::size_t k = 0; k < m; ++k) {
      const double nu = (k <= m / 2 ? static_cast<double>(k) : static_cast<double>(k) - static_cast<double>(m)) * fs /
                        static_cast<double>(m);
      if (std::fabs(nu) <= std::max(fmin, fs / static_cast<double>(n)) || std::fabs(nu) >= fmax) spectrum[k] = 0.0;
    }
  };
  std::vector<Complex> spectrum = dft(std::vector<Complex>(y.begin(), y.end()), -1);
  bandPass(spectrum);
  const std::vector<Complex> filtered = dft(spectrum, 1);
  const double cone = std::ceil(2.576 * fs * f0 / 0.125);
  std::size_t nl = 1;
  while (static_cast<double>(nl) < static_cast<double>(n) + 2.0 * cone) nl *= 2;
  ASSERT_EQ(transform.paddedLength(), nl);
  const std::size_t left = (nl - n) / 2;
  std::vector<Complex> padded(nl, 0.0);
  for (std::size_t i = 0; i < n; ++i) padded[left + i] = filtered[i].real() / static_cast<double>(n);
  std::vector<Complex> fx = dft(padded, -1);
  const double w0 = 2.0 * std::numbers::pi * f0;
  double worst = 0.0, largest = 0.0;
  fft::AlignedVector<Complex> buffer;
  for (std::size_t j = 0; j < p.frequenciesHz.size(); ++j) {
    const double f = p.frequenciesHz[j];
    std::vector<Complex> product(nl, 0.0);
    for (std::size_t k = 1; k <= nl / 2; ++k) {
      const double nu = static_cast<double>(k) * fs / static_cast<double>(nl);
      if (nu <= std::max(fmin, fs / static_cast<double>(n)) || nu >= fmax) continue;
      const double xi = w0 * nu / f;  // the peak equals w0 to 1e-16 at f0 = 1
      product[k] = fx[k] * (std::exp(-0.5 * (w0 - xi) * (w0 - xi)) - std::exp(-0.5 * (w0 * w0 + xi * xi)));
    }
    const std::vector<Complex> w = dft(product, 1);
    const auto row = transform.row(j, buffer);
    for (std::size_t i = 0; i < n; ++i) {
      const Complex expected = w[left + i] / static_cast<double>(nl);
      worst = std::max(worst, std::abs(row[i] - expected));
      largest = std::max(largest, std::abs(expected));
    }
  }
  EXPECT_LT(worst, 1e-12 * largest);
  std::printf("[ figure ] MODA-style transform vs direct evaluation: largest difference %.3g of max |W| %.3g\n", worst,
              largest);
}

// A cosine of amplitude A: |W| = A / 2 in MODA's scale, A in the full one; the admissibility term makes
// psi^(0) = 0 and moves the peak above w0 where it matters.
TEST(ModaStyleTransform, AmplitudeScaleAndNoResponseAtZeroFrequency) {
  const std::size_t n = 2000;
  const double fs = 2.0, f = 0.25, amplitude = 3.0;
  std::vector<double> x(n);
  for (std::size_t i = 0; i < n; ++i) x[i] = amplitude * std::cos(2.0 * std::numbers::pi * f * static_cast<double>(i) / fs);
  ModaTransformParameters p;
  p.sampleRateHz = fs;
  p.frequenciesHz = {f};
  p.minFrequencyHz = 0.05;
  p.maxFrequencyHz = 0.6;
  p.detrend = DetrendMode::kNone;
  fft::AlignedVector<Complex> buffer;
  for (const AmplitudeScale scale : {AmplitudeScale::kHalf, AmplitudeScale::kFull}) {
    p.form = {WaveletForm::kBandLimited, PreprocessingForm::kDetrend, PaddingForm::kZero, scale};
    const ModaStyleTransform transform(x, p);
    const double expected = scale == AmplitudeScale::kHalf ? amplitude / 2.0 : amplitude;
    EXPECT_NEAR(std::abs(transform.row(0, buffer)[n / 2]), expected, 1e-6 * expected);
  }
  EXPECT_NEAR(BandLimitedMorlet(0.0, 1.0), 0.0, 1e-300);
  EXPECT_NEAR(BandLimitedMorletPeak(1.0), 2.0 * std::numbers::pi, 1e-12);
  EXPECT_GT(BandLimitedMorletPeak(0.5), std::numbers::pi);  // the admissibility term moves the peak up
}

// Two tones and an offset continue as they are (the forecast of a record that is its own model).
TEST(SinusoidForecast, ContinuesTheTonesOfTheRecord) {
  const double fs = 2.0;
  auto signal = [&](double i) {
    const double t = i / fs;
    return 0.7 + 2.0 * std::cos(2.0 * std::numbers::pi * 0.11 * t + 0.4) + 0.5 * std::sin(2.0 * std::numbers::pi * 0.31 * t);
  };
  std::vector<double> x(800);
  for (std::size_t i = 0; i < x.size(); ++i) x[i] = signal(static_cast<double>(i));
  SinusoidForecastOptions options;
  options.sampleRateHz = fs;
  options.lowHz = 0.01;
  options.highHz = 0.9;
  options.maxOrder = 10;
  const std::vector<double> forecast = ForecastSinusoids(x, {}, 100, options).value();
  double worst = 0.0;
  for (std::size_t i = 0; i < forecast.size(); ++i)
    worst = std::max(worst, std::fabs(forecast[i] - signal(static_cast<double>(800 + i))));
  EXPECT_LT(worst, 1e-4);
}

// A stop request ends a long forecast of many tones within half a second, with nothing, wherever in its fits
// it comes.
TEST(SinusoidForecast, StopsInsideTheFitsOfALongRecord) {
  const double fs = 40.0;
  std::mt19937 rng(3);
  std::normal_distribution<double> noise(0.0, 1.0);
  std::vector<double> x(400000);
  for (std::size_t i = 0; i < x.size(); ++i) {
    const double t = static_cast<double>(i) / fs;
    x[i] = 0.1 * noise(rng);
    for (int k = 1; k <= 40; ++k) x[i] += std::cos(2.0 * std::numbers::pi * 0.0137 * k * t + k) / k;
  }
  SinusoidForecastOptions options;
  options.sampleRateHz = fs;
  options.lowHz = 0.005;
  options.highHz = 2.0;
  options.maxOrder = 200;
  for (const int afterMs : {0, 100, 300}) {
    std::atomic<bool> stop{false};
    options.stop = &stop;
    std::chrono::steady_clock::time_point requested;
    std::thread requester([&] {
      std::this_thread::sleep_for(std::chrono::milliseconds(afterMs));
      requested = std::chrono::steady_clock::now();
      stop = true;
    });
    const std::optional<std::vector<double>> forecast = ForecastSinusoids(x, {}, 1000, options);
    const auto returned = std::chrono::steady_clock::now();
    requester.join();
    EXPECT_FALSE(forecast.has_value()) << afterMs;
    EXPECT_LT(std::chrono::duration<double>(returned - requested).count(), 0.5) << afterMs;
  }
}

// The known-depth pair: a broadband flow through the pure thermal-wave filter of 2 mm. Both depths come back in
// the bands where the lag is below half a period: the phase depth within 5 %, the amplitude depth within 10 %
// (|W| averages the random spectrum over the wavelet's band, so over other seeds and lengths it scatters by
// about 5 %); the MODA-style transform agrees.
TEST(CoherenceModes, BothDepthsOfAPureThermalWaveFilter) {
  const double depth = 0.002;
  const Pair pair = ThermalFilterPair(7200, 2.0, depth, 0.004, 0.2, 0.0, 21);
  CoherenceModeOptions options;
  options.coherence.analysis.sampleRateHz = 2.0;
  options.coherence.analysis.minFrequencyHz = 0.005;
  options.coherence.analysis.maxFrequencyHz = 0.1;
  options.coherence.analysis.threads = 2;
  options.coherence.analysis.bands = {{"endothelial", {0.01, 0.021}}, {"neurogenic", {0.021, 0.052}}};
  options.coherence.surrogatePairs = 19;
  for (const bool moda : {false, true}) {
    if (moda) {
      options.transform = ModaTransformForm();
      options.surrogatesOf = SurrogatesOf::kBloodFlow;
      options.transform.padding = PaddingForm::kZero;  // the forecast is tested above
    }
    const CoherenceModeOutcome outcome = AnalyzeCoherenceModes(pair.t, pair.bf, options);
    ASSERT_TRUE(outcome.ok());
    for (const CoherenceBandRow& row : outcome.result.coherence.bands) {
      ASSERT_TRUE(row.depthMm && row.depthAmpMm) << row.band.name;
      EXPECT_NEAR(*row.depthMm, 2.0, 0.1) << row.band.name << (moda ? " moda" : "");
      EXPECT_NEAR(*row.depthAmpMm, 2.0, 0.2) << row.band.name << (moda ? " moda" : "");
      std::printf("[ figure ] known 2 mm%s, %s: depth_mm %.6f, depth_amp_mm %.6f\n", moda ? " (moda)" : "",
                  row.band.name.c_str(), *row.depthMm, *row.depthAmpMm);
    }
  }
}

TEST(CoherenceModes, RefusesABadWindowAndWritesOnlyFiniteCells) {
  const Pair pair = ThermalFilterPair(600, 2.0, 0.0015, 0.01, 0.6, 1.0, 14);
  CoherenceModeOptions options = ShortOptions();
  options.overTime = true;
  for (const double cycles : {0.0, -1.0, std::nan(""), 1e6}) {
    options.windowCycles = cycles;
    const CoherenceModeOutcome outcome = AnalyzeCoherenceModes(pair.t, pair.bf, options);
    ASSERT_FALSE(outcome.ok());
    EXPECT_EQ(outcome.error->kind, CoherenceErrorKind::kBadWindow);
  }
  options.windowCycles = 10.0;
  options.coherence.surrogatePairs = 3;
  options.overTimeColumns = 50;
  const CoherenceModeOutcome outcome = AnalyzeCoherenceModes(pair.t, pair.bf, options);
  ASSERT_TRUE(outcome.ok());
  const std::string csv = CoherenceOverTimeCsv(*outcome.result.overTime);
  EXPECT_EQ(csv.find("nan"), std::string::npos);
  EXPECT_EQ(csv.find("inf"), std::string::npos);
  const RgbImage image = RenderCoherenceOverTime(*outcome.result.overTime, 2);
  EXPECT_EQ(image.width, 50);
  EXPECT_EQ(image.height, 2 * static_cast<int>(outcome.result.overTime->frequenciesHz.size()));
}

}  // namespace
}  // namespace kelvora

