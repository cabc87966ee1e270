// Phase coherence of T and BF: the depth of a known thermal wave comes back, chance coherence stays at the
// surrogate level, Pi agrees with a plain evaluation of the transform, and the run is reproducible.
#include "analysis/phase_coherence.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <functional>
#include <cmath>
#include <fstream>
#include <limits>
#include <string>
#include <complex>
#include <numbers>
#include <random>

#include "analysis/coherence_modes.h"
#include "analysis/coherence_progress.h"
#include "core/fft.h"
#include "core/parallel_tasks.h"
#include "core/thermal_wave.h"

namespace kelvora {
namespace {

using Complex = std::complex<double>;

// A standard normal value from two uniform draws (Box-Muller), the same with every standard library.
double Gaussian(std::mt19937_64& rng) {
  const double u1 = (static_cast<double>(rng() >> 11) + 1.0) * 0x1.0p-53;
  const double u2 = static_cast<double>(rng() >> 11) * 0x1.0p-53;
  return std::sqrt(-2.0 * std::log(u1)) * std::cos(2.0 * std::numbers::pi * u2);
}

std::vector<double> WhiteNoise(std::size_t n, std::uint64_t seed, double sigma) {
  std::mt19937_64 rng(seed);
  std::vector<double> x(n);
  for (double& v : x) v = sigma * Gaussian(rng);
  return x;
}

// A periodic flow of n samples at fs with random Fourier components between lowHz and highHz, and the
// temperature it makes through the thermal wave at depth x: each component C e^{i w t} becomes g C e^{i w (t +
// tau)} with the BF -> T transfer of core/thermal_wave.h (tau < 0: T after BF). Both plus white noise.
struct ThermalPair {
  std::vector<double> temperature, bloodFlow;
};

ThermalPair ThermalWavePair(std::size_t n, double fs, double depthM, std::uint64_t seed) {
  std::mt19937_64 rng(seed);
  std::vector<Complex> flow(n / 2 + 1), temp(n / 2 + 1);
  ThermalWaveTissue tissue;
  tissue.depthM = depthM;
  for (std::size_t k = 1; k < flow.size(); ++k) {
    const double f = static_cast<double>(k) * fs / static_cast<double>(n);
    if (f < 0.004 || f > 0.06) continue;
    const Complex c(Gaussian(rng), Gaussian(rng));
    flow[k] = c / std::sqrt(f);
    const ComponentTransfer transfer = TransferOfComponent(ConversionModel::ThermalWave,
                                                           ConversionDirection::BloodFlowToTemperature, tissue, f);
    const double w = 2.0 * std::numbers::pi * f;
    temp[k] = static_cast<double>(transfer.gain) * flow[k] * std::polar(1.0, w * static_cast<double>(transfer.shiftSeconds));
  }
  ThermalPair pair{std::vector<double>(n), std::vector<double>(n)};
  fft::BackwardReal(flow, pair.bloodFlow);
  fft::BackwardReal(temp, pair.temperature);
  // White noise of a tenth of each record's standard deviation.
  auto deviation = [](const std::vector<double>& x) {
    double sum = 0.0;
    for (const double v : x) sum += v * v;
    return std::sqrt(sum / static_cast<double>(x.size()));
  };
  const std::vector<double> noiseT = WhiteNoise(n, seed + 1, 0.1 * deviation(pair.temperature));
  const std::vector<double> noiseBf = WhiteNoise(n, seed + 2, 0.1 * deviation(pair.bloodFlow));
  for (std::size_t i = 0; i < n; ++i) {
    pair.temperature[i] += noiseT[i];
    pair.bloodFlow[i] += noiseBf[i];
  }
  return pair;
}

const CoherenceBandRow& Band(const CoherenceResult& result, const std::string& name) {
  for (const CoherenceBandRow& row : result.bands)
    if (row.band.name == name) return row;
  throw std::runtime_error("no band " + name);
}

// The flow moved through the thermal wave at 2 mm: the median depth of the endothelial and neurogenic bands is
// 2 mm, and the coherence there is significant; above the flow's band it is not.
TEST(PhaseCoherence, ThermalWaveAtTwoMillimetresGivesItsDepth) {
  const ThermalPair pair = ThermalWavePair(3600, 2.0, 0.002, 7);
  CoherenceOptions options;
  options.surrogatePairs = 40;
  const CoherenceOutcome outcome = AnalyzeCoherence(pair.temperature, pair.bloodFlow, options);
  ASSERT_TRUE(outcome.ok());
  for (const char* name : {"endothelial", "neurogenic"}) {
    const CoherenceBandRow& row = Band(outcome.result, name);
    ASSERT_TRUE(row.depthMm.has_value()) << name;
    EXPECT_NEAR(*row.depthMm, 2.0, 0.3) << name;
    EXPECT_GE(row.significantShare, 0.9) << name;
    EXPECT_GT(*row.lagSeconds, 0.0) << name;
  }
  EXPECT_LE(Band(outcome.result, "respiratory").significantShare, 0.2);
}

// Independent noise records: about 5 % of the frequencies beat the 95th percentile of the surrogates.
TEST(PhaseCoherence, IndependentNoiseIsSignificantAtChanceLevel) {
  CoherenceOptions options;
  options.surrogatePairs = 40;
  int significant = 0, total = 0;
  for (std::uint64_t seed = 1; seed <= 3; ++seed) {
    const std::vector<double> t = WhiteNoise(3600, 100 + seed, 1.0);
    const std::vector<double> bf = WhiteNoise(3600, 200 + seed, 1.0);
    const CoherenceOutcome outcome = AnalyzeCoherence(t, bf, options);
    ASSERT_TRUE(outcome.ok());
    for (const CoherencePoint& p : outcome.result.points) {
      total += p.coherence.has_value();
      significant += p.significant;
    }
  }
  EXPECT_LE(static_cast<double>(significant) / total, 0.08) << significant << " of " << total;
}

// Pi and its angle against the transform evaluated as the plain sum of its definition, over the valid samples;
// the longer record is cut; the depth against the thermal wave's own delay.
TEST(PhaseCoherence, AgreesWithDirectEvaluationOfTheTransform) {
  const std::size_t n = 300;
  std::vector<double> t = WhiteNoise(n + 20, 5, 1.0);
  const std::vector<double> bf = WhiteNoise(n, 6, 1.0);
  for (std::size_t i = 1; i < n; ++i) t[i] += 0.8 * bf[i - 1];  // T follows BF by one sample, partly
  CoherenceOptions options;
  options.analysis.detrend = DetrendMode::kNone;
  options.analysis.minFrequencyHz = 0.1;
  options.analysis.voicesPerOctave = 3;
  options.surrogatePairs = 0;
  const CoherenceOutcome outcome = AnalyzeCoherence(t, bf, options);
  ASSERT_TRUE(outcome.ok());
  const CoherenceResult& result = outcome.result;
  EXPECT_EQ(result.sampleCount, static_cast<long long>(n));
  EXPECT_TRUE(result.truncated);
  EXPECT_EQ(result.droppedSamples, 20);
  EXPECT_EQ(result.longerRecord, 0);

  const double fs = 2.0, w0 = 2.0 * std::numbers::pi;
  auto direct = [&](const std::vector<double>& y, double f, long long m0) {
    const double a = fs / f;  // f0 = 1
    Complex sum = 0.0;
    for (long long m = 0; m < static_cast<long long>(n); ++m) {
      const double u = static_cast<double>(m - m0) / a;
      sum += y[static_cast<std::size_t>(m)] * std::polar(std::exp(-0.5 * u * u), -w0 * u);
    }
    return sum;
  };
  int checked = 0;
  for (const CoherencePoint& point : result.points) {
    EXPECT_FALSE(point.threshold.has_value());
    EXPECT_FALSE(point.significant);
    const SampleRange valid = ValidSamples(point.frequencyHz, 1.0, fs, static_cast<long long>(n));
    if (valid.empty()) {
      EXPECT_FALSE(point.coherence.has_value());
      continue;
    }
    Complex mean = 0.0;
    for (long long m = valid.first; m <= valid.last; ++m)
      mean += std::polar(1.0, std::arg(direct(bf, point.frequencyHz, m)) - std::arg(direct(t, point.frequencyHz, m)));
    mean /= static_cast<double>(valid.size());
    ASSERT_TRUE(point.coherence.has_value());
    EXPECT_NEAR(*point.coherence, std::abs(mean), 1e-9);
    EXPECT_NEAR(*point.lagSeconds, std::arg(mean) / (2 * std::numbers::pi * point.frequencyHz), 1e-9);
    ++checked;
  }
  EXPECT_GE(checked, 8);

  for (const double f : {0.007, 0.03, 0.05}) {
    ThermalWaveTissue tissue;
    const ComponentTransfer transfer = TransferOfComponent(ConversionModel::ThermalWave,
                                                           ConversionDirection::TemperatureToBloodFlow, tissue, f);
    EXPECT_NEAR(ThermalDepthMm(static_cast<double>(transfer.shiftSeconds), f, ThermalWaveTissue{}).value(), 2.0, 1e-9);
    EXPECT_FALSE(ThermalDepthMm(0.5 / f, f, ThermalWaveTissue{}).has_value());
    EXPECT_FALSE(ThermalDepthMm(-1.0, f, ThermalWaveTissue{}).has_value());
  }
}

// The surrogates come from the seed alone: one thread and two give the same thresholds, another seed others.
TEST(PhaseCoherence, ThresholdsDependOnTheSeedNotOnTheThreads) {
  const ThermalPair pair = ThermalWavePair(900, 2.0, 0.002, 11);
  CoherenceOptions options;
  options.analysis.minFrequencyHz = 0.02;
  options.surrogatePairs = 12;
  options.seed = 42;
  std::vector<std::vector<std::optional<double>>> thresholds;
  for (const auto& [threads, seed] : {std::pair{1, 42}, std::pair{2, 42}, std::pair{2, 43}}) {
    options.analysis.threads = threads;
    options.seed = static_cast<std::uint64_t>(seed);
    const CoherenceOutcome outcome = AnalyzeCoherence(pair.temperature, pair.bloodFlow, options);
    ASSERT_TRUE(outcome.ok());
    thresholds.emplace_back();
    for (const CoherencePoint& p : outcome.result.points) thresholds.back().push_back(p.threshold);
  }
  ASSERT_TRUE(thresholds[0].front().has_value());
  EXPECT_EQ(thresholds[0], thresholds[1]);
  EXPECT_NE(thresholds[1], thresholds[2]);
}

class StopAtOnce : public ProgressSink {
 public:
  bool stopRequested() const override { return true; }
};

// Each fault is refused with its kind (and for a record, which one and where); a stop request ends the run.
TEST(PhaseCoherence, RefusesBadOptionsAndRecords) {
  const std::vector<double> good = WhiteNoise(600, 1, 1.0);
  struct Case {
    const char* what;
    void (*change)(CoherenceOptions&);
    CoherenceErrorKind kind;
  };
  const Case cases[] = {
      {"lambda 0", [](CoherenceOptions& o) { o.tissue.lambda = 0.0; }, CoherenceErrorKind::kBadTissue},
      {"rho NaN", [](CoherenceOptions& o) { o.tissue.rho = std::nan(""); }, CoherenceErrorKind::kBadTissue},
      {"c negative", [](CoherenceOptions& o) { o.tissue.heatCapacity = -3780; }, CoherenceErrorKind::kBadTissue},
      {"c infinite", [](CoherenceOptions& o) { o.tissue.heatCapacity = INFINITY; }, CoherenceErrorKind::kBadTissue},
      {"-1 pairs", [](CoherenceOptions& o) { o.surrogatePairs = -1; }, CoherenceErrorKind::kBadSurrogateCount},
      {"too many pairs", [](CoherenceOptions& o) { o.surrogatePairs = kMaxSurrogatePairs + 1; },
       CoherenceErrorKind::kBadSurrogateCount},
      {"voices 0", [](CoherenceOptions& o) { o.analysis.voicesPerOctave = 0; }, CoherenceErrorKind::kAnalysis},
  };
  for (const Case& c : cases) {
    CoherenceOptions options;
    c.change(options);
    const CoherenceOutcome outcome = AnalyzeCoherence(good, good, options);
    ASSERT_FALSE(outcome.ok()) << c.what;
    EXPECT_EQ(outcome.error->kind, c.kind) << c.what;
    EXPECT_EQ(outcome.error->record, -1) << c.what;
  }
  std::vector<double> withNan = good;
  withNan[17] = std::nan("");
  const CoherenceOutcome nan = AnalyzeCoherence(good, withNan, {});
  ASSERT_FALSE(nan.ok());
  EXPECT_EQ(nan.error->kind, CoherenceErrorKind::kAnalysis);
  EXPECT_EQ(nan.error->analysis.kind, AnalysisErrorKind::kNonFiniteSample);
  EXPECT_EQ(nan.error->record, 1);
  EXPECT_EQ(nan.error->analysis.sample, 17);
  const CoherenceOutcome empty = AnalyzeCoherence({}, good, {});
  ASSERT_FALSE(empty.ok());
  EXPECT_EQ(empty.error->analysis.kind, AnalysisErrorKind::kNoSamples);
  EXPECT_EQ(empty.error->record, 0);
  StopAtOnce stop;
  const CoherenceOutcome stopped = AnalyzeCoherence(good, good, {}, stop);
  ASSERT_FALSE(stopped.ok());
  EXPECT_EQ(stopped.error->kind, CoherenceErrorKind::kStopped);
}

// Asks to stop once the position reaches `stopAt`; keeps every position reported and the largest thread count
// of the process seen while reporting.
class StopAtPosition : public ProgressSink {
 public:
  explicit StopAtPosition(long long stopAt) : m_stopAt(stopAt) {}
  void setPosition(long long position) override {
    positions.push_back(position);
    threads = std::max(threads, ProcessThreads());
    if (!m_stop && position >= m_stopAt) {
      m_stop = true;
      stoppedAt = position;
    }
  }
  bool stopRequested() const override { return m_stop; }

  static int ProcessThreads() {
    std::ifstream status("/proc/self/status");
    for (std::string line; std::getline(status, line);)
      if (line.rfind("Threads:", 0) == 0) return std::stoi(line.substr(8));
    return 0;
  }

  std::vector<long long> positions;
  long long stoppedAt = -1;
  int threads = 0;

 private:
  long long m_stopAt;
  std::atomic<bool> m_stop{false};
};

// Regression: a stop while the surrogates ran was seen only between whole surrogate pairs (and long records
// took a minute per pair). Now the workers stop within the row or IAAFT round they are in: after the request
// at most one surrogate's share or one row per worker is counted, and no result comes back.
TEST(PhaseCoherence, StopDuringTheSurrogatesEndsWithinOneUnitPerWorker) {
  const ThermalPair pair = ThermalWavePair(3600, 2.0, 0.002, 3);
  CoherenceOptions options;
  options.surrogatePairs = kMaxSurrogatePairs;  // hours if the stop were not seen
  options.analysis.threads = 2;
  const auto rows = static_cast<long long>(AnalysisFrequencies(options.analysis).size()) * kCoherenceUnitsPerRow;
  const long long row = kCoherenceUnitsPerRow;
  const long long share = std::max(1LL, rows / row / 2) * row;
  const long long perPair = rows + 2 * share;
  StopAtPosition sink(rows + 3 * perPair);
  const CoherenceOutcome outcome = AnalyzeCoherence(pair.temperature, pair.bloodFlow, options, sink);
  ASSERT_TRUE(outcome.error.has_value());
  EXPECT_EQ(outcome.error->kind, CoherenceErrorKind::kStopped);
  EXPECT_TRUE(outcome.result.points.empty());
  EXPECT_TRUE(outcome.result.bands.empty());
  ASSERT_GE(sink.positions.size(), 2u);
  EXPECT_EQ(sink.positions.back(), 0);  // put back to the start
  const long long last = sink.positions[sink.positions.size() - 2];
  ASSERT_GE(sink.stoppedAt, rows + 3 * perPair);
  const long long workers = CappedThreadCount(options.analysis.threads);
  EXPECT_LE(last - sink.stoppedAt, workers * (share + row));
  EXPECT_GE(last, sink.stoppedAt);
}

// Counts the position reports inside the surrogates' part of the first pair and asks to stop at the
// `stopAfter`-th of them, noting when.
class StopInsideSurrogates : public ProgressSink {
 public:
  StopInsideSurrogates(long long from, long long to, int stopAfter) : m_from(from), m_to(to), m_stopAfter(stopAfter) {}
  void setPosition(long long position) override {
    if (m_stop) {
      if (position > 0) last = position;
      return;
    }
    if (position > m_from && position < m_to && ++inside == m_stopAfter) {
      asked = std::chrono::steady_clock::now();
      stoppedAt = position;
      m_stop = true;
    }
  }
  bool stopRequested() const override { return m_stop; }

  int inside = 0;
  long long stoppedAt = -1, last = -1;
  std::chrono::steady_clock::time_point asked;

 private:
  long long m_from, m_to;
  int m_stopAfter;
  std::atomic<bool> m_stop{false};
};

// Regression: the surrogates of a long record moved the progress only between IAAFT rounds (and not at all
// after the twentieth), and the window's coherence modes only between whole surrogate pairs: a 2,000,000-sample
// run stood still for over a minute. Both runs now report the surrogates' progress while it is made, and a stop
// asked then ends the run within a round's step.
TEST(PhaseCoherence, LongRecordSurrogatesReportProgressAndStopInsideARound) {
  const std::size_t n = std::size_t{1} << 19;
  const std::vector<double> t = WhiteNoise(n, 3, 1.0), bf = WhiteNoise(n, 4, 1.0);
  CoherenceOptions options;
  options.analysis.sampleRateHz = 500.0;
  options.analysis.minFrequencyHz = 1.0;
  options.analysis.maxFrequencyHz = 5.0;
  options.analysis.voicesPerOctave = 4;
  options.analysis.threads = 2;
  // Few pairs, so that a pair's surrogates span many percents: the test must not hang on how many 250 ms
  // heartbeats fit into a surrogate on a fast machine.
  options.surrogatePairs = 2;
  const auto rows = static_cast<long long>(AnalysisFrequencies(options.analysis).size()) * kCoherenceUnitsPerRow;
  const long long share = std::max<long long>(1, rows / kCoherenceUnitsPerRow / 2) * kCoherenceUnitsPerRow;
  CoherenceModeOptions modes;
  modes.coherence = options;
  modes.overTime = true;
  const std::function<std::optional<CoherenceError>(ProgressSink&)> runs[] = {
      [&](ProgressSink& sink) { return AnalyzeCoherence(t, bf, options, sink).error; },
      [&](ProgressSink& sink) { return AnalyzeCoherenceModes(t, bf, modes, sink).error; }};
  for (int k = 0; k < 2; ++k) {
    // The third report inside the first pair's two surrogates: a few steps into their rounds.
    StopInsideSurrogates sink(rows, rows + 2 * share, 3);
    const std::optional<CoherenceError> error = runs[k](sink);
    const double latency = std::chrono::duration<double>(std::chrono::steady_clock::now() - sink.asked).count();
    ASSERT_TRUE(error.has_value()) << k;
    EXPECT_EQ(error->kind, CoherenceErrorKind::kStopped) << k;
    ASSERT_EQ(sink.inside, 3) << k;
    // At most a step of each worker's surrogate after the request (no surrogate's rest, no row).
    EXPECT_GE(sink.last, sink.stoppedAt) << k;
    EXPECT_LT(sink.last - sink.stoppedAt, share) << k;
    EXPECT_LT(latency, 5.0) << k;  // a sort pass or a transform; generous for a loaded machine
  }
}

// Regression: 32 worker threads asked for on a 2-core machine ran 32 workers, each with its own full-length
// buffers. The analysis and the coherence run at most one worker per core.
TEST(PhaseCoherence, ThirtyTwoThreadsAskedRunAtMostOneWorkerPerCore) {
#if !defined(__linux__)
  GTEST_SKIP() << "counts the threads in /proc/self/status";
#endif
  const int before = StopAtPosition::ProcessThreads();
  ASSERT_GT(before, 0);
  const ThermalPair pair = ThermalWavePair(1800, 2.0, 0.002, 5);
  CoherenceOptions options;
  options.analysis.threads = 32;
  options.surrogatePairs = 40;
  StopAtPosition coherenceSink(std::numeric_limits<long long>::max());
  ASSERT_TRUE(AnalyzeCoherence(pair.temperature, pair.bloodFlow, options, coherenceSink).ok());
  EXPECT_GT(coherenceSink.threads, before);
  EXPECT_LE(coherenceSink.threads, before + HardwareThreadCount());
  StopAtPosition analysisSink(std::numeric_limits<long long>::max());
  ASSERT_TRUE(AnalyzeRecord(pair.bloodFlow, options.analysis, analysisSink).ok());
  EXPECT_LE(analysisSink.threads, before + HardwareThreadCount());
  EXPECT_EQ(CappedThreadCount(32), std::min(32, HardwareThreadCount()));
  EXPECT_EQ(CappedThreadCount(0), HardwareThreadCount());
  EXPECT_EQ(CappedThreadCount(1), 1);
}

}  // namespace
}  // namespace kelvora
