#include "tests/said.h"
#include "wavelet/wavelet_engine.h"

#include <cmath>
#include <algorithm>
#include <atomic>
#include <memory>
#include <thread>

#include <gtest/gtest.h>

#include "core/fft.h"
#include "tests/wavelet/wavelet_test_support.h"

namespace kelvora {
namespace {

using wavelet_testing::DirectCoefficient;
using wavelet_testing::DirectReconstruction;
using wavelet_testing::MaxAbs;
using wavelet_testing::MixedSignal;
using wavelet_testing::RecordingProgress;
using wavelet_testing::RelativeDifference;
using wavelet_testing::Sinusoid;

// The tests share two engines, whose rows are kept between runs as the program keeps them.
WaveletEngine& Engine() {
  static auto engine = std::make_unique<WaveletEngine>();
  return *engine;
}
WaveletEngine& FreshReference() {
  static auto engine = std::make_unique<WaveletEngine>();
  return *engine;
}

// 0.05 .. 0.15 Hz: scale rows 26 .. 55, scales of 32 down to 11 samples.
constexpr FrequencyBand kMyogenic{0.05, 0.15};

WaveletRunResult RunBand(WaveletEngine& engine, FrequencyBand band, WaveletType type, int threads = 2) {
  WaveletRunRequest request;
  request.band = band;
  request.type = type;
  request.threads = threads;
  return engine.run(request);
}

// The output of a freshly loaded engine: no reuse of anything.
std::vector<double> FreshOutput(const std::vector<double>& x, FrequencyBand band, WaveletType type) {
  WaveletEngine& engine = FreshReference();
  EXPECT_FALSE(engine.loadSignal(x, band).has_value());
  WaveletRunResult result = RunBand(engine, band, type);
  EXPECT_TRUE(result.completed());
  return result.output;
}

TEST(WaveletScales, TableFrequenciesAndBandIndices) {
  ScaleTable table;
  EXPECT_NEAR(static_cast<double>(table[1]), 4000.0, 1e-12);
  EXPECT_NEAR(static_cast<double>(table[10]), 4000.0 * std::pow(10.0, -1.48), 1e-10);
  EXPECT_NEAR(ScaleIndexFrequencyHz(1), 0.000395, 1e-15);
  EXPECT_NEAR(ScaleIndexFrequencyHz(6), 0.000395 * std::pow(6.0, 1.48), 1e-12);
  // 0.005 .. 0.15 Hz: rows 6 .. 55 (5.56 and 55.3 rounded).
  EXPECT_EQ(BandToScaleRange({0.005, 0.15}), (ScaleRange{6, 55}));
  EXPECT_EQ(BandToScaleRange(kMyogenic), (ScaleRange{26, 55}));
  // A lower index of 0 becomes 1; an upper index above 300 becomes 299, 300 itself stays.
  EXPECT_EQ(BandToScaleRange({0.0001, 0.02}).first, 1);
  EXPECT_EQ(BandToScaleRange({0.0, 0.02}).first, 1);
  EXPECT_EQ(BandToScaleRange({0.005, 2.0}).last, 299);
  EXPECT_EQ(FrequencyToScaleIndex(ScaleIndexFrequencyHz(300)), 300);
  EXPECT_EQ(BandToScaleRange({0.005, ScaleIndexFrequencyHz(300)}).last, 300);
  EXPECT_EQ(BandToScaleRange({0.005, ScaleIndexFrequencyHz(301)}).last, 299);
  // The previous-range formula: round((0.79 / (F 0.65))^0.826): 5.63 -> 6 and 93.45 -> 93; above 300 -> 200.
  EXPECT_EQ(PreviousRangeFromBand({0.005, 0.15}), (ScaleRange{6, 93}));
  EXPECT_EQ(PreviousRangeFromBand({0.0001, 2.0}), (ScaleRange{1, 200}));
}

TEST(WaveletScales, LowEdgeRuleReplacesOnlyZero) {
  EXPECT_DOUBLE_EQ(ApplyWaveletLowEdgeRule({0.0, 0.02}).low, 0.0001);
  // Regression: no 0.1 Hz replacement of low edges; the presets stay reachable.
  EXPECT_DOUBLE_EQ(ApplyWaveletLowEdgeRule({0.005, 0.02}).low, 0.005);
  EXPECT_DOUBLE_EQ(ApplyWaveletLowEdgeRule({0.05, 0.15}).low, 0.05);
  EXPECT_DOUBLE_EQ(ApplyWaveletLowEdgeRule({0.0001218, 0.02}).low, 0.0001218);
}

TEST(WaveletEngine, MatchesDirectEvaluationMorletAndPaul) {
  const std::vector<double> x = MixedSignal(160);
  for (WaveletType type : {WaveletType::Morlet, WaveletType::Paul}) {
    WaveletEngine& engine = Engine();
    ASSERT_FALSE(engine.loadSignal(x, kMyogenic).has_value());
    WaveletRunResult result = RunBand(engine, kMyogenic, type);
    ASSERT_TRUE(result.completed());
    ASSERT_EQ(result.output.size(), x.size());
    const ScaleRange range{26, 55};
    EXPECT_EQ(result.stats.range, range);
    const std::vector<double> direct = DirectReconstruction(x, type, range);
    const double difference = RelativeDifference(result.output, direct);
    RecordProperty(type == WaveletType::Morlet ? "morlet_relative_difference" : "paul_relative_difference",
                   std::to_string(difference * 1e15) + "e-15");
    EXPECT_LT(difference, 1e-9) << "type " << static_cast<int>(type);
    for (int k : {26, 40, 55}) {
      for (int b : {0, 77, 159}) {
        const wavelet_testing::Cx w = DirectCoefficient(x, type, k, b);
        const Complex got = engine.coefficients().at(k, b);
        EXPECT_NEAR(static_cast<double>(got.re), static_cast<double>(w.real()), 1e-12 * (1 + std::abs(w)));
        EXPECT_NEAR(static_cast<double>(got.im), static_cast<double>(w.imag()), 1e-12 * (1 + std::abs(w)));
      }
    }
  }
}

// Amplitude of the middle half of a filtered signal, away from the edges.
double MiddleAmplitude(const std::vector<double>& v) {
  double lo = 1e300, hi = -1e300;
  for (size_t i = v.size() / 4; i < 3 * v.size() / 4; ++i) {
    lo = std::min(lo, v[i]);
    hi = std::max(hi, v[i]);
  }
  return (hi - lo) / 2;
}

// Correlation of two series over the middle half.
double MiddleCorrelation(const std::vector<double>& a, const std::vector<double>& b) {
  const size_t from = a.size() / 4, to = 3 * a.size() / 4;
  double ma = 0, mb = 0;
  for (size_t i = from; i < to; ++i) ma += a[i], mb += b[i];
  ma /= static_cast<double>(to - from);
  mb /= static_cast<double>(to - from);
  double sab = 0, saa = 0, sbb = 0;
  for (size_t i = from; i < to; ++i) {
    sab += (a[i] - ma) * (b[i] - mb);
    saa += (a[i] - ma) * (a[i] - ma);
    sbb += (b[i] - mb) * (b[i] - mb);
  }
  return sab / std::sqrt(saa * sbb);
}

TEST(WaveletEngine, KeepsSinusoidInsideBandAndSuppressesOneOutside) {
  const int n = 512;
  const std::vector<double> inside = Sinusoid(n, 0.1);
  const std::vector<double> above = Sinusoid(n, 0.6);
  const std::vector<double> below = Sinusoid(n, 0.012);
  for (WaveletType type : {WaveletType::Morlet, WaveletType::Paul}) {
    const std::vector<double> kept = FreshOutput(inside, kMyogenic, type);
    const double keptAmplitude = MiddleAmplitude(kept);
    EXPECT_GT(MiddleCorrelation(kept, inside), 0.95) << static_cast<int>(type);
    EXPECT_GT(keptAmplitude, 0.0);
    EXPECT_LT(MiddleAmplitude(FreshOutput(above, kMyogenic, type)), keptAmplitude / 20) << static_cast<int>(type);
    EXPECT_LT(MiddleAmplitude(FreshOutput(below, kMyogenic, type)), keptAmplitude / 10) << static_cast<int>(type);
  }
}

TEST(WaveletEngine, RepeatedRunReusesEveryRow) {
  const std::vector<double> x = MixedSignal(300);
  WaveletEngine& engine = Engine();
  ASSERT_FALSE(engine.loadSignal(x, kMyogenic).has_value());
  const WaveletRunResult first = RunBand(engine, kMyogenic, WaveletType::Morlet);
  ASSERT_TRUE(first.completed());
  EXPECT_EQ(first.stats.forwardRows, 30);
  EXPECT_EQ(first.stats.reconstructedRows, 30);
  EXPECT_EQ(engine.computedRange(), (ScaleRange{26, 55}));
  for (int k = 26; k <= 55; ++k) EXPECT_TRUE(engine.savedRowComputed(WaveletType::Morlet, k)) << k;
  EXPECT_FALSE(engine.savedRowComputed(WaveletType::Morlet, 25));
  EXPECT_FALSE(engine.savedRowComputed(WaveletType::Paul, 30));

  RecordingProgress progress;
  WaveletRunRequest request;
  request.band = kMyogenic;
  request.threads = 2;
  const WaveletRunResult second = engine.run(request, progress);
  ASSERT_TRUE(second.completed());
  EXPECT_TRUE(second.stats.forwardSkipped);
  EXPECT_EQ(second.stats.forwardRows, 0);
  EXPECT_EQ(second.stats.reconstructedRows, 0);
  EXPECT_EQ(second.stats.reusedRows, 30);
  EXPECT_EQ(second.output, first.output);
  // Progress runs over 0 .. 2N; a skipped forward pass shows N; the bar is reset to 0 at the end.
  EXPECT_EQ(progress.rangeMin, 0);
  EXPECT_EQ(progress.rangeMax, 600);
  ASSERT_FALSE(progress.positions.empty());
  EXPECT_NE(std::find(progress.positions.begin(), progress.positions.end(), 300), progress.positions.end());
  EXPECT_EQ(progress.positions.back(), 0);
  for (long long p : progress.positions) EXPECT_TRUE(p >= 0 && p <= 600) << p;
}

TEST(WaveletEngine, SignBookkeepingFollowsShrinkingGrowingAndMovingBand) {
  const std::vector<double> x = MixedSignal(300);
  WaveletEngine& engine = Engine();
  ASSERT_FALSE(engine.loadSignal(x, kMyogenic).has_value());
  ASSERT_TRUE(RunBand(engine, kMyogenic, WaveletType::Morlet).completed());  // rows 26 .. 55

  // Shrink to 0.07 .. 0.15 Hz: rows 33 .. 55 are reused, 26 .. 32 leave the band with sign -1.
  const FrequencyBand shrunk{0.07, 0.15};
  ASSERT_EQ(BandToScaleRange(shrunk), (ScaleRange{33, 55}));
  WaveletRunResult result = RunBand(engine, shrunk, WaveletType::Morlet);
  ASSERT_TRUE(result.completed());
  EXPECT_EQ(result.stats.forwardRows, 0);
  EXPECT_EQ(result.stats.reconstructedRows, 0);
  EXPECT_EQ(result.stats.reusedRows, 23);
  for (int k = 26; k <= 32; ++k) {
    EXPECT_EQ(engine.rowSign(k), -1) << k;
    EXPECT_FALSE(engine.rowComputed(k)) << k;
  }
  for (int k = 33; k <= 55; ++k) EXPECT_EQ(engine.rowSign(k), 1) << k;
  EXPECT_LT(RelativeDifference(result.output, FreshOutput(x, shrunk, WaveletType::Morlet)), 1e-12);

  // Grow back: the coefficients of rows 26 .. 32 are still present, their contributions are computed afresh.
  result = RunBand(engine, kMyogenic, WaveletType::Morlet);
  ASSERT_TRUE(result.completed());
  EXPECT_EQ(result.stats.forwardRows, 0);
  EXPECT_EQ(result.stats.reconstructedRows, 7);
  EXPECT_EQ(result.stats.reusedRows, 23);
  for (int k = 26; k <= 55; ++k) EXPECT_EQ(engine.rowSign(k), 1) << k;
  EXPECT_LT(RelativeDifference(result.output, FreshOutput(x, kMyogenic, WaveletType::Morlet)), 1e-12);

  // Move up to 0.1 .. 0.25 Hz: rows 56 .. 78 are new, 42 .. 55 reused, 26 .. 41 leave.
  const FrequencyBand moved{0.1, 0.25};
  const ScaleRange movedRange = BandToScaleRange(moved);
  ASSERT_EQ(movedRange, (ScaleRange{42, 78}));
  result = RunBand(engine, moved, WaveletType::Morlet);
  ASSERT_TRUE(result.completed());
  EXPECT_EQ(result.stats.forwardRows, movedRange.last - 55);
  EXPECT_EQ(result.stats.reconstructedRows, movedRange.last - 55);
  EXPECT_EQ(result.stats.reusedRows, 14);
  for (int k = 26; k <= 41; ++k) EXPECT_EQ(engine.rowSign(k), -1) << k;
  EXPECT_LT(RelativeDifference(result.output, FreshOutput(x, moved, WaveletType::Morlet)), 1e-12);
}

TEST(WaveletEngine, SwitchingTypeDoesNotReuseTheOtherTypesRows) {
  const std::vector<double> x = MixedSignal(300);
  WaveletEngine& engine = Engine();
  const FrequencyBand low{0.05, 0.08};   // rows 26 .. 36
  const FrequencyBand high{0.1, 0.15};   // rows 41 .. 55
  ASSERT_FALSE(engine.loadSignal(x, kMyogenic).has_value());
  ASSERT_TRUE(RunBand(engine, low, WaveletType::Morlet).completed());
  WaveletRunResult paul = RunBand(engine, kMyogenic, WaveletType::Paul);
  ASSERT_TRUE(paul.completed());
  EXPECT_EQ(paul.stats.forwardRows, 30);  // nothing of Morlet is taken
  EXPECT_LT(RelativeDifference(paul.output, FreshOutput(x, kMyogenic, WaveletType::Paul)), 1e-12);
  for (int k = 26; k <= 55; ++k) {
    EXPECT_TRUE(engine.savedRowComputed(WaveletType::Paul, k));
    EXPECT_FALSE(engine.savedRowComputed(WaveletType::Morlet, k));
  }
  // Back to Morlet: Paul overwrote the rows, so they are computed again.
  WaveletRunResult morlet = RunBand(engine, low, WaveletType::Morlet);
  ASSERT_TRUE(morlet.completed());
  EXPECT_EQ(morlet.stats.forwardRows, 11);
  EXPECT_LT(RelativeDifference(morlet.output, FreshOutput(x, low, WaveletType::Morlet)), 1e-12);

  // Paul on the upper rows leaves Morlet's lower rows valid.
  ASSERT_TRUE(RunBand(engine, high, WaveletType::Paul).completed());
  morlet = RunBand(engine, low, WaveletType::Morlet);
  ASSERT_TRUE(morlet.completed());
  EXPECT_EQ(morlet.stats.forwardRows, 0);
  EXPECT_LT(RelativeDifference(morlet.output, FreshOutput(x, low, WaveletType::Morlet)), 1e-12);
}

TEST(WaveletEngine, FewerThanTwoSamplesGiveZeroReconstruction) {
  WaveletEngine& engine = Engine();
  ASSERT_FALSE(engine.loadSignal(std::vector<double>{0.7}, kMyogenic).has_value());
  WaveletRunResult result = RunBand(engine, kMyogenic, WaveletType::Morlet);
  ASSERT_TRUE(result.completed());
  EXPECT_EQ(result.output, std::vector<double>{0.0});
  // The forward coefficient of the only sample is still computed: 0.7 * 0.751 / a.
  EXPECT_NEAR(static_cast<double>(engine.coefficients().at(26, 0).re), 0.7 * 0.751 / (4000 * std::pow(26, -1.48)),
              1e-15);
  result = RunBand(engine, kMyogenic, WaveletType::Paul);
  ASSERT_TRUE(result.completed());
  EXPECT_EQ(result.output, std::vector<double>{0.0});
}

TEST(WaveletEngine, RefusesBadSignalsAndBandsAndKeepsState) {
  WaveletEngine& engine = Engine();
  const std::vector<double> x = MixedSignal(100);
  ASSERT_FALSE(engine.loadSignal(x, kMyogenic).has_value());
  ASSERT_TRUE(RunBand(engine, kMyogenic, WaveletType::Morlet).completed());

  EXPECT_TRUE(engine.loadSignal(std::vector<double>{}, kMyogenic).has_value());
  EXPECT_TRUE(engine.loadSignal(std::vector<double>{0.1, NAN}, kMyogenic).has_value());
  // Nothing changed: same signal, rows still present.
  EXPECT_EQ(engine.sampleCount(), 100);
  EXPECT_TRUE(engine.savedRowComputed(WaveletType::Morlet, 30));

  WaveletRunResult refused = RunBand(engine, FrequencyBand{NAN, 0.1}, WaveletType::Morlet);
  EXPECT_EQ(refused.status, WaveletRunStatus::Refused);
  EXPECT_TRUE(refused.error.has_value());
  EXPECT_TRUE(refused.output.empty());
  EXPECT_TRUE(engine.savedRowComputed(WaveletType::Morlet, 30));

  // The engine itself has no length limit (the wavelet page and the conversion keep theirs).
  EXPECT_FALSE(engine.loadSignal(std::vector<double>(3601, 0.5), kMyogenic).has_value());
  EXPECT_FALSE(engine.loadSignal(std::vector<double>(3602, 0.5), kMyogenic).has_value());
  EXPECT_EQ(engine.sampleCount(), 3602);
}

TEST(WaveletEngine, NotLoadedEngineRefusesToRun) {
  WaveletEngine engine;
  WaveletRunResult result = RunBand(engine, kMyogenic, WaveletType::Morlet);
  EXPECT_EQ(result.status, WaveletRunStatus::Refused);
  ASSERT_TRUE(result.error.has_value());
  EXPECT_EQ(Said(result.error), "No signal loaded");
}

TEST(WaveletEngine, SameResultOnOneTwoAndEightWorkers) {
  const std::vector<double> x = MixedSignal(400);
  for (WaveletType type : {WaveletType::Morlet, WaveletType::Paul}) {
    std::vector<double> reference;
    for (int threads : {1, 2, 8, 32, 0, 99}) {
      WaveletEngine& engine = Engine();
      ASSERT_FALSE(engine.loadSignal(x, kMyogenic).has_value());
      WaveletRunResult result = RunBand(engine, kMyogenic, type, threads);
      ASSERT_TRUE(result.completed());
      if (reference.empty()) {
        reference = result.output;
      } else {
        EXPECT_EQ(result.output, reference) << "threads " << threads;
      }
    }
  }
}

// Saves what a stop must leave untouched.
struct FlagSnapshot {
  explicit FlagSnapshot(const WaveletEngine& engine) {
    for (int k = 0; k <= kWaveletRows; ++k) {
      signs.push_back(engine.rowSign(k));
      morlet.push_back(engine.savedRowComputed(WaveletType::Morlet, k));
      paul.push_back(engine.savedRowComputed(WaveletType::Paul, k));
      working.push_back(engine.rowComputed(k));
    }
    computed = engine.computedRange();
    previous = engine.previousRange();
  }
  bool operator==(const FlagSnapshot&) const = default;
  std::vector<int> signs;
  std::vector<bool> morlet, paul, working;
  ScaleRange computed, previous;
};

TEST(WaveletEngine, StopInForwardPassLeavesNoResultAndNoFlags) {
  // Paul over 0.005 .. 2 Hz (rows 6 .. 299) on 1500 samples: long enough to be stopped half-way.
  const std::vector<double> x = MixedSignal(1500);
  WaveletEngine& engine = Engine();
  ASSERT_FALSE(engine.loadSignal(x, kMyogenic).has_value());
  ASSERT_TRUE(RunBand(engine, kMyogenic, WaveletType::Morlet).completed());
  const FlagSnapshot before(engine);

  RecordingProgress progress;
  progress.stopWhen = [](long long position) { return position > 0; };
  WaveletRunRequest request;
  request.band = FrequencyBand{0.005, 2.0};
  request.type = WaveletType::Paul;
  request.threads = 1;
  const WaveletRunResult stopped = engine.run(request, progress);
  EXPECT_EQ(stopped.status, WaveletRunStatus::Stopped);
  EXPECT_TRUE(stopped.output.empty());
  EXPECT_EQ(progress.positions.back(), 0);
  EXPECT_LT(progress.positions[progress.positions.size() - 2], 1500);  // stopped in the forward pass

  // The Morlet rows 26 .. 55 were being overwritten by Paul coefficients: no longer marked for Morlet. All else
  // is as before the run.
  FlagSnapshot after(engine);
  for (int k = 26; k <= 55; ++k) EXPECT_FALSE(engine.savedRowComputed(WaveletType::Morlet, k)) << k;
  for (int k = 26; k <= 55; ++k) {
    EXPECT_FALSE(engine.rowComputed(k)) << k;
    after.morlet[static_cast<size_t>(k)] = true;
    after.working[static_cast<size_t>(k)] = true;
  }
  EXPECT_TRUE(after == before);

  // A later run is correct.
  const WaveletRunResult again = RunBand(engine, kMyogenic, WaveletType::Morlet);
  ASSERT_TRUE(again.completed());
  EXPECT_EQ(again.stats.forwardRows, 30);
  EXPECT_LT(RelativeDifference(again.output, FreshOutput(x, kMyogenic, WaveletType::Morlet)), 1e-12);
}

TEST(WaveletEngine, StopInReconstructionKeepsFlagsSignsAndRanges) {
  const std::vector<double> x = MixedSignal(300);
  WaveletEngine& engine = Engine();
  ASSERT_FALSE(engine.loadSignal(x, kMyogenic).has_value());
  ASSERT_TRUE(RunBand(engine, kMyogenic, WaveletType::Paul).completed());
  const FlagSnapshot before(engine);

  // The band moves, so the signs change between the passes; the stop must undo that.
  RecordingProgress progress;
  // The forward pass ends by showing N; the stop is then seen before the reconstruction starts.
  progress.stopWhen = [](long long position) { return position >= 300; };
  WaveletRunRequest request;
  request.band = FrequencyBand{0.07, 2.0};
  request.type = WaveletType::Paul;
  request.threads = 2;
  const WaveletRunResult stopped = engine.run(request, progress);
  EXPECT_EQ(stopped.status, WaveletRunStatus::Stopped);
  EXPECT_TRUE(stopped.output.empty());
  EXPECT_TRUE(FlagSnapshot(engine) == before);

  // The stop request of the engine itself is cleared by the next run, which is correct.
  engine.requestStop();
  const FrequencyBand shrunk{0.07, 0.15};
  const WaveletRunResult again = RunBand(engine, shrunk, WaveletType::Paul);
  ASSERT_TRUE(again.completed());
  EXPECT_EQ(again.stats.reusedRows, 23);
  EXPECT_LT(RelativeDifference(again.output, FreshOutput(x, shrunk, WaveletType::Paul)), 1e-12);
}

// Also on 20,000 samples, where every row is a long FFT run: the stop ends the run between rows, with no output
// and no row marked.
TEST(WaveletEngine, RequestStopFromAnotherThreadEndsTheRun) {
  for (int n : {1500, 20000}) {
    const std::vector<double> x = MixedSignal(n);
    WaveletEngine& engine = Engine();
    ASSERT_FALSE(engine.loadSignal(x, kMyogenic).has_value());
    RecordingProgress progress;
    std::atomic<bool> started{false};
    progress.stopWhen = [&](long long position) {
      if (position > 0) started = true;
      return false;
    };
    std::thread stopper([&] {
      while (!started) std::this_thread::yield();
      engine.requestStop();
    });
    WaveletRunRequest request;
    request.band = FrequencyBand{n > 3601 ? 0.0001 : 0.005, 2.0};
    request.type = WaveletType::Paul;
    request.threads = 2;
    const WaveletRunResult stopped = engine.run(request, progress);
    stopper.join();
    EXPECT_EQ(stopped.status, WaveletRunStatus::Stopped);
    EXPECT_TRUE(stopped.output.empty());
    EXPECT_EQ(progress.positions.back(), 0);
    for (long long p : progress.positions) EXPECT_LT(p, n);  // stopped in the forward pass
    for (int k = 1; k <= 299; ++k) ASSERT_FALSE(engine.savedRowComputed(WaveletType::Paul, k)) << k;
    for (int k = 1; k <= 299; ++k) ASSERT_FALSE(engine.rowComputed(k)) << k;
  }
}

// Beyond the 3601 samples of the wavelet page: the engine takes any length. A forward-only pass over 5000
// samples gives the direct coefficients (rows of both far-reaching Paul and short Morlet kernels, time points at
// both ends and inside), marks nothing computed, and a second pass of the same length makes no new FFT plan.
TEST(WaveletEngine, LongSignalForwardPassMatchesDirectSumsAndReusesPlans) {
  const std::vector<double> x = MixedSignal(5000);
  for (WaveletType type : {WaveletType::Morlet, WaveletType::Paul}) {
    WaveletEngine engine;
    ASSERT_FALSE(engine.loadSignal(x, kMyogenic).has_value());
    WaveletRunRequest request;
    request.band = FrequencyBand{0.0001, 2.0};
    request.type = type;
    request.threads = 2;
    request.forwardOnly = true;
    RecordingProgress progress;
    const WaveletRunResult result = engine.run(request, progress);
    ASSERT_TRUE(result.completed());
    EXPECT_TRUE(result.output.empty());
    EXPECT_EQ(result.stats.forwardRows, 299);
    EXPECT_EQ(progress.rangeMax, 5000);
    for (int k : {1, 40, 299}) {
      EXPECT_FALSE(engine.savedRowComputed(type, k));
      for (int b : {0, 2500, 4999}) {
        const wavelet_testing::Cx w = DirectCoefficient(x, type, k, b);
        const Complex got = engine.coefficients().at(k, b);
        const double tolerance = 1e-12 * (1 + std::abs(w));
        EXPECT_NEAR(static_cast<double>(got.re), static_cast<double>(w.real()), tolerance) << k << " " << b;
        EXPECT_NEAR(static_cast<double>(got.im), static_cast<double>(w.imag()), tolerance) << k << " " << b;
      }
    }
    // 16 bytes per coefficient of the 299 rows, nothing for the cache.
    EXPECT_GE(engine.storageBytes(), 299u * 5000u * 16u);
    EXPECT_LT(engine.storageBytes(), 299u * 5000u * 16u * 11 / 10);
    const std::size_t plans = fft::PlanCount();
    ASSERT_TRUE(engine.run(request).completed());
    EXPECT_EQ(fft::PlanCount(), plans);
  }
}

}  // namespace
}  // namespace kelvora
