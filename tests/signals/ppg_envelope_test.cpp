#include "cli/problem_messages.h"
#include "signals/ppg_envelope.h"

#include <gtest/gtest.h>

#include <cmath>
#include <numeric>
#include <vector>

#include "core/math_utils.h"

namespace kelvora {
namespace {

constexpr double kPi = 3.14159265358979323846;

PpgSignal SignalOf(std::vector<double> values, double inRateHz) {
  PpgSignal s;
  s.values = std::move(values);
  s.inRateHz = inRateHz;
  FinishPpgSignal(s);
  return s;
}

// The Gaussian smoothing evaluated directly: every sum over all j = 1 .. n, times k / outRate seconds.
std::vector<double> DirectSmoothing(std::vector<double> v, double outRateHz) {
  const long n = static_cast<long>(v.size()) - 1;
  for (long k = 0; k <= n; ++k) {
    double num = 0.0, den = 0.0;
    for (long j = 1; j <= n; ++j) {
      const double g = Gauss((k / outRateHz - j / outRateHz) / 2.0);
      num += g * v[j];
      den += g;
    }
    if (den > 0.0) v[k] = num / den;
  }
  return v;
}

double Correlation(const std::vector<double>& a, const std::vector<double>& b) {
  const double n = static_cast<double>(a.size());
  const double ma = std::accumulate(a.begin(), a.end(), 0.0) / n, mb = std::accumulate(b.begin(), b.end(), 0.0) / n;
  double ab = 0.0, aa = 0.0, bb = 0.0;
  for (std::size_t i = 0; i < a.size(); ++i) {
    ab += (a[i] - ma) * (b[i] - mb);
    aa += (a[i] - ma) * (a[i] - ma);
    bb += (b[i] - mb) * (b[i] - mb);
  }
  return ab / std::sqrt(aa * bb);
}

TEST(PpgEnvelope, WindowsFromThePulseRates) {
  const PpgWindows d = PpgEnvelopeWindows(PpgEnvelopeParams{});
  EXPECT_EQ(d.window, 43);  // 60 / 69 * 50 = 43.48
  EXPECT_EQ(d.step, 14);
  EXPECT_EQ(d.dMax, 25);  // 60 / 120 * 50
  EXPECT_EQ(d.dMin, 24);  // 58 / 120 * 50 = 24.17
  PpgEnvelopeParams p;
  p.inRateHz = 100.0;
  p.lowestPulseBpm = 60;
  p.highestPulseBpm = 100;
  const PpgWindows w = PpgEnvelopeWindows(p);
  EXPECT_EQ(w.window, 100);
  EXPECT_EQ(w.step, 33);
  EXPECT_EQ(w.dMax, 60);
  EXPECT_EQ(w.dMin, 58);
}

// 10 Hz, pulse 60..120: W = 10, step = 3, Dmax = 5, Dmin = round(4.83) = 5; windows [0,3], [3,13], [6,16],
// [9,19], [12,22], [15,25], [18,28] over 30 samples (the next one would end at 31 > 29), so S = 28.
PpgEnvelopeParams SmallParams() {
  PpgEnvelopeParams p;
  p.inRateHz = 10.0;
  p.outRateHz = 2.0;
  p.durationS = 3;  // round(29 / 10), as the reader sets it
  p.lowestPulseBpm = 60;
  p.highestPulseBpm = 120;
  return p;
}

TEST(PpgEnvelope, HandWorkedScansKeepTheLargerOfCloseMaxima) {
  // Minimum 0 and maximum 10, so the scaled copy equals the samples.
  std::vector<double> s(30, 5.0);
  s[1] = 4, s[3] = 8, s[6] = 10, s[9] = 9, s[12] = 0, s[15] = 7, s[20] = 6, s[24] = 2, s[27] = 6.5;
  const PpgEnvelopeResult r = ComputePpgEnvelope(SignalOf(s, 10.0), SmallParams());
  ASSERT_TRUE(r.ok()) << cli::PpgEnvelopeText(r);
  EXPECT_EQ(r.envelope.scannedLength, 28);
  // Maxima: [0,3] gives 8 at 3; [3,13] gives 10 at 6, 3 samples later (< Dmax) and larger: it replaces it;
  // [9,19] gives 9 at 9, close to 6 and smaller: dropped; [12,22] gives 7 at 15; [18,28] gives 6.5 at 27
  // (6 at 20 never wins a window).
  ASSERT_EQ(r.envelope.maxima.size(), 3u);
  EXPECT_EQ(r.envelope.maxima[0].position, 6);
  EXPECT_EQ(r.envelope.maxima[0].value, 10.0);
  EXPECT_EQ(r.envelope.maxima[1].position, 15);
  EXPECT_EQ(r.envelope.maxima[2].position, 27);
  EXPECT_EQ(r.envelope.maxima[2].value, 6.5);
  // Minima (L starts at -5): 4 at 1, 0 at 12, 2 at 24, each followed by a rise.
  ASSERT_EQ(r.envelope.minima.size(), 3u);
  EXPECT_EQ(r.envelope.minima[0].position, 1);
  EXPECT_EQ(r.envelope.minima[1].position, 12);
  EXPECT_EQ(r.envelope.minima[1].value, 0.0);
  EXPECT_EQ(r.envelope.minima[2].position, 24);

  // Rescaling: factor ((3 * 2 - 1) * 10 / 28) / 2 = 25 / 28; points (0, 10), (6 f, 10), (15 f, 7), (27 f, 6.5),
  // (30, 6.5); output samples at x = 0, 5, 10, ..., 25.
  const double f = 25.0 / 28.0;
  const double p1 = 6 * f, p2 = 15 * f, p3 = 27 * f;
  std::vector<double> expected = {10.0,
                                  10.0,
                                  10.0 + (7.0 - 10.0) * (10.0 - p1) / (p2 - p1),
                                  7.0 + (6.5 - 7.0) * (15.0 - p2) / (p3 - p2),
                                  7.0 + (6.5 - 7.0) * (20.0 - p2) / (p3 - p2),
                                  6.5};
  expected = DirectSmoothing(expected, 2.0);
  ASSERT_EQ(r.envelope.values.size(), 6u);
  for (std::size_t k = 0; k < expected.size(); ++k) EXPECT_NEAR(r.envelope.values[k], expected[k], 1e-12) << k;
  EXPECT_DOUBLE_EQ(r.envelope.minutesAt(3), 1.5 / 60.0);
  EXPECT_DOUBLE_EQ(SignalOf(s, 10.0).minutesAt(29), 3.0 / 60.0);
}

TEST(PpgEnvelope, FallingSignalKeepsOnlyItsLowestMinimum) {
  std::vector<double> s(30);
  for (int i = 0; i < 30; ++i) s[i] = 10.0 - i * 10.0 / 29.0;
  const PpgEnvelopeResult r = ComputePpgEnvelope(SignalOf(s, 10.0), SmallParams());
  ASSERT_TRUE(r.ok()) << cli::PpgEnvelopeText(r);
  // Every window minimum sits at the window's end with a lower sample after it: never a real minimum, so
  // the first one is stored and each lower one replaces it.
  ASSERT_EQ(r.envelope.minima.size(), 1u);
  EXPECT_EQ(r.envelope.minima[0].position, 28);
  // Window maxima at 0, 3, 6, ..., 18: those at 3, 9, 15 are within Dmax of the one before and smaller.
  ASSERT_EQ(r.envelope.maxima.size(), 4u);
  for (int i = 0; i < 4; ++i) EXPECT_EQ(r.envelope.maxima[i].position, 6 * i);
}

TEST(PpgEnvelope, SmoothingMatchesTheDirectSumOnALongerEnvelope) {
  // A pulse train whose amplitude steps up and down, at an output rate where the kernel spans many samples.
  std::vector<double> s(50 * 120);
  for (std::size_t i = 0; i < s.size(); ++i) {
    const double t = i / 50.0;
    const double amplitude = (t > 40 && t < 80) ? 2.0 : 1.0;
    s[i] = amplitude * std::pow(std::sin(kPi * t * 1.2), 8);
  }
  PpgEnvelopeParams p;
  p.outRateHz = 5.0;
  p.durationS = 120;
  const PpgEnvelopeResult r = ComputePpgEnvelope(SignalOf(s, 50.0), p);
  ASSERT_TRUE(r.ok()) << cli::PpgEnvelopeText(r);
  ASSERT_EQ(r.envelope.values.size(), 600u);
  // Undo the smoothing's input: rebuild the interpolated envelope from the returned maxima.
  const double factor = ((120 * 5.0 - 1) * 50.0 / r.envelope.scannedLength) / 5.0;
  std::vector<std::pair<double, double>> table = {{0.0, r.envelope.maxima.front().value}};
  for (const PpgPeak& m : r.envelope.maxima) table.push_back({m.position * factor, m.value});
  table.push_back({120 * 50.0, r.envelope.maxima.back().value});
  std::vector<double> raw(600);
  for (int k = 0; k < 600; ++k) {
    const double x = k * 10.0;
    std::size_t j = 1;
    while (table[j].first <= x) ++j;
    const auto [x0, v0] = table[j - 1];
    const auto [x1, v1] = table[j];
    raw[k] = v0 + (v1 - v0) * (x - x0) / (x1 - x0);
  }
  const std::vector<double> expected = DirectSmoothing(raw, 5.0);
  for (int k = 0; k < 600; ++k) ASSERT_NEAR(r.envelope.values[k], expected[k], 1e-12) << k;
  // The beats are 1 / 1.2 s apart: one maximum each.
  EXPECT_NEAR(static_cast<double>(r.envelope.maxima.size()), 120 * 1.2, 2.0);
}

// A PPG at 50 Hz whose pulse amplitude follows `flow`: a sharp systolic peak and a dicrotic wave, heart
// rate 75 +- 6 beats per minute, a small baseline wander and noise from a fixed sequence.
std::vector<double> GeneratedPpg(int samples, double (*flow)(double)) {
  std::vector<double> ppg(samples);
  double phase = 0.0;
  unsigned state = 12345u;
  for (int i = 0; i < samples; ++i) {
    const double t = i / 50.0;
    phase += (75.0 + 6.0 * std::sin(2 * kPi * 0.25 * t)) / 60.0 / 50.0;
    const double u = phase - std::floor(phase);
    const double pulse =
        std::exp(-std::pow((u - 0.2) / 0.06, 2) / 2) + 0.35 * std::exp(-std::pow((u - 0.45) / 0.08, 2) / 2);
    state = state * 1664525u + 1013904223u;
    const double noise = (state >> 8) / 16777216.0 - 0.5;
    ppg[i] = 3.0 + 0.05 * std::sin(2 * kPi * 0.2 * t) + flow(t) * pulse + 0.02 * noise;
  }
  return ppg;
}

double SlowFlow(double t) {
  return 1.0 + 0.4 * std::sin(2 * kPi * t / 120.0) + 0.2 * std::sin(2 * kPi * t / 45.0 + 1.0);
}

TEST(PpgEnvelope, FollowsTheKnownModulationOfAGeneratedPpg) {
  const PpgSignal ppg = SignalOf(GeneratedPpg(50 * 600, SlowFlow), 50.0);
  PpgEnvelopeParams p;
  p.durationS = ppg.durationS;
  ASSERT_EQ(p.durationS, 600);
  const PpgEnvelopeResult r = ComputePpgEnvelope(ppg, p);
  ASSERT_TRUE(r.ok()) << cli::PpgEnvelopeText(r);
  ASSERT_EQ(r.envelope.values.size(), 1200u);
  std::vector<double> known(1200);
  for (int k = 0; k < 1200; ++k) known[k] = SlowFlow(k / 2.0);
  EXPECT_GT(Correlation(r.envelope.values, known), 0.95);
  // About one maximum per beat (75 per minute on average).
  EXPECT_NEAR(static_cast<double>(r.envelope.maxima.size()), 750.0, 10.0);
  for (double v : r.envelope.values) {
    EXPECT_GE(v, 0.0);
    EXPECT_LE(v, 10.0);
  }
}

TEST(PpgEnvelope, PeakTablesHoldEveryBeatOfTheLargestPpg) {
  // 2,000,000 samples, one identical pulse every 33 samples (about 91 per minute): a rise from 0 to the peak
  // 3 samples after the beat's start, then a slow fall.
  std::vector<double> s(kMaxPpgSamples);
  for (int i = 0; i < kMaxPpgSamples; ++i) {
    const int o = i % 33;
    s[i] = o <= 3 ? o / 3.0 : 1.0 - 0.9 * (o - 3) / 30.0;
  }
  const int beats = (kMaxPpgSamples - 4) / 33 + 1;
  PpgSignal ppg = SignalOf(std::move(s), 50.0);
  PpgEnvelopeParams p;
  p.durationS = ppg.durationS;
  const PpgEnvelopeResult r = ComputePpgEnvelope(ppg, p);
  ASSERT_TRUE(r.ok()) << cli::PpgEnvelopeText(r);
  EXPECT_GT(beats, 50000);
  // Every beat up to the last scanned sample, none lost; only the last beat may go unseen when it shares
  // the last window with an equal earlier beat (the earliest of equal maxima is kept).
  const int scannedBeats = (r.envelope.scannedLength - 3) / 33 + 1;
  const int found = static_cast<int>(r.envelope.maxima.size());
  ASSERT_GE(found, scannedBeats - 1);
  ASSERT_LE(found, scannedBeats);
  for (int b = 0; b < found; ++b) ASSERT_EQ(r.envelope.maxima[b].position, 3 + 33 * b) << b;
  ASSERT_GE(static_cast<int>(r.envelope.minima.size()), scannedBeats - 1);
  for (std::size_t b = 0; b < r.envelope.minima.size(); ++b)
    ASSERT_EQ(r.envelope.minima[b].position, 33 * static_cast<int>(b)) << b;
  ASSERT_EQ(r.envelope.values.size(), 80000u);
  for (double v : r.envelope.values) ASSERT_NEAR(v, 10.0, 1e-9);
}

TEST(PpgEnvelope, NothingToScanGivesAnEmptyEnvelopeAndAMessage) {
  // No samples.
  PpgEnvelopeResult r = ComputePpgEnvelope(PpgSignal{}, PpgEnvelopeParams{});
  EXPECT_EQ(r.status, PpgEnvelopeStatus::kNoSamples);
  EXPECT_TRUE(r.envelope.empty());
  EXPECT_FALSE(cli::PpgEnvelopeText(r).empty());

  // All samples equal: it cannot be scaled.
  r = ComputePpgEnvelope(SignalOf(std::vector<double>(500, 2.5), 50.0), PpgEnvelopeParams{});
  EXPECT_EQ(r.status, PpgEnvelopeStatus::kConstantSignal);
  EXPECT_NE(cli::PpgEnvelopeText(r).find("maximum = minimum"), std::string::npos);
  EXPECT_TRUE(r.envelope.empty());
  EXPECT_TRUE(r.envelope.maxima.empty());

  // The first window [0, 14] needs a last index above 14: 15 samples are too few, 16 are enough.
  std::vector<double> s(15);
  for (int i = 0; i < 15; ++i) s[i] = i % 5;
  r = ComputePpgEnvelope(SignalOf(s, 50.0), PpgEnvelopeParams{});
  EXPECT_EQ(r.status, PpgEnvelopeStatus::kTooShort);
  EXPECT_NE(cli::PpgEnvelopeText(r).find("16"), std::string::npos) << cli::PpgEnvelopeText(r);
  EXPECT_TRUE(r.envelope.empty());
  s.push_back(1.0);
  PpgEnvelopeParams p;
  p.durationS = 0;
  r = ComputePpgEnvelope(SignalOf(s, 50.0), p);
  EXPECT_EQ(r.status, PpgEnvelopeStatus::kNoOutput);
  p.durationS = 1;
  r = ComputePpgEnvelope(SignalOf(s, 50.0), p);
  ASSERT_TRUE(r.ok()) << cli::PpgEnvelopeText(r);
  EXPECT_EQ(r.envelope.scannedLength, 14);
  ASSERT_EQ(r.envelope.values.size(), 2u);
  EXPECT_EQ(r.envelope.maxima.size(), 1u);
}

TEST(PpgEnvelope, BadParametersAreRefusedBeforeAnyScan) {
  const PpgSignal ppg = SignalOf(GeneratedPpg(5000, SlowFlow), 50.0);
  const auto status = [&](auto change) {
    PpgEnvelopeParams p;
    p.durationS = 100;
    change(p);
    return ComputePpgEnvelope(ppg, p).status;
  };
  EXPECT_EQ(status([](PpgEnvelopeParams& p) { p.outRateHz = 0; }), PpgEnvelopeStatus::kBadParameters);
  EXPECT_EQ(status([](PpgEnvelopeParams& p) { p.inRateHz = -50; }), PpgEnvelopeStatus::kBadParameters);
  EXPECT_EQ(status([](PpgEnvelopeParams& p) { p.inRateHz = NAN; }), PpgEnvelopeStatus::kBadParameters);
  EXPECT_EQ(status([](PpgEnvelopeParams& p) { p.lowestPulseBpm = 0; }), PpgEnvelopeStatus::kBadParameters);
  EXPECT_EQ(status([](PpgEnvelopeParams& p) { p.highestPulseBpm = -1; }), PpgEnvelopeStatus::kBadParameters);
  EXPECT_EQ(status([](PpgEnvelopeParams& p) { p.durationS = -1; }), PpgEnvelopeStatus::kBadParameters);
  EXPECT_EQ(status([](PpgEnvelopeParams& p) { p.durationS = 2000000000; }), PpgEnvelopeStatus::kBadParameters);
  // W = round(60 / 69 * 2) = 2: step 0 would never move the window.
  EXPECT_EQ(status([](PpgEnvelopeParams& p) { p.inRateHz = 2; }), PpgEnvelopeStatus::kBadParameters);
}

class CountingProgress : public ProgressSink {
 public:
  void setRange(long long minimum, long long maximum) override { m_max = maximum; }
  void setPosition(long long position) override {
    ++m_positions;
    m_last = position;
  }
  bool stopRequested() const override { return m_stopAfter >= 0 && m_positions > m_stopAfter; }
  long long m_max = -1, m_last = -1;
  int m_positions = 0;
  int m_stopAfter = -1;
};

TEST(PpgEnvelope, ProgressRunsOverTheSmoothingAndStopEndsTheRun) {
  const PpgSignal ppg = SignalOf(GeneratedPpg(50 * 300, SlowFlow), 50.0);
  PpgEnvelopeParams p;
  p.durationS = 300;
  CountingProgress progress;
  ASSERT_TRUE(ComputePpgEnvelope(ppg, p, progress).ok());
  EXPECT_EQ(progress.m_max, 599);
  EXPECT_GE(progress.m_last, 594);       // 100 % is shown from about 99.5 % on
  EXPECT_LE(progress.m_positions, 102);  // only when the percentage changes

  CountingProgress stopping;
  stopping.m_stopAfter = 2;
  const PpgEnvelopeResult r = ComputePpgEnvelope(ppg, p, stopping);
  EXPECT_EQ(r.status, PpgEnvelopeStatus::kStopped);
  EXPECT_TRUE(r.envelope.empty());
}

}  // namespace
}  // namespace kelvora
