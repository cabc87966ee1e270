// Phase coherence speed, memory and stop latency.
//
// BM_Coherence3600At2Hz: two 30-minute 2 Hz records (3,600 samples each), 0.005 .. 2/3 Hz at 32 voices, with
// and without 100 IAAFT surrogate pairs.
// BM_Coherence72000At40Hz: two 30-minute 40 Hz records (72,000 samples), 0.005 .. 2 Hz, 100 surrogate pairs on
// every core: the aim is a third of the 78 s the full-length rows took on a 2-core machine. It uses only
// AnalyzeCoherence, so the same file built against an older tree measures the older code beside it.
// BM_CoherenceLongRecordStop/0 (AnalyzeCoherence) and /1 (the window's AnalyzeCoherenceModes with the coherence
// over time): two 2,000,000-sample records at 500 Hz, 0.5 .. 5 Hz, 20 surrogate pairs with
// threads = 32: the peak resident memory of the run (bar 1.5 GB on 2 cores) and the time from a stop request to
// the return of the run, requested at 10 points spread over the measured pair and the first surrogate pair (the
// run repeats that work for every further pair). With KELVORA_BENCH_FULL_RUN=1 it also runs the whole 20 pairs
// once for its wall time. longest_progress_gap_s is the longest time between two position reports of any of the
// runs (from the start of each run to its stop or end): the progress must move at least once a second.
// process_cpu_s is the CPU time of all threads per run: on a machine shared with other work the wall time
// grows, while process_cpu_s / threads is what the run takes on idle cores.
#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <cstdlib>
#include <ctime>
#include <numbers>
#include <random>
#include <thread>
#include <vector>

#include <benchmark/benchmark.h>

#include "analysis/coherence_modes.h"
#include "analysis/coherence_progress.h"
#include "analysis/phase_coherence.h"
#include "bench/peak_memory.h"

namespace kelvora {
namespace {

// A flow of slow rhythms and noise, and a temperature that follows it late and smoothed, with its own noise.
struct Pair {
  std::vector<double> temperature, bloodFlow;
};

Pair TestPair(std::size_t n, double fs) {
  std::mt19937 rng(11);
  std::normal_distribution<double> noise(0.0, 1.0);
  Pair pair{std::vector<double>(n), std::vector<double>(n)};
  double smooth = 0.0;
  const double follow = std::exp(-1.0 / (25.0 * fs));  // a 25 s time constant
  for (std::size_t i = 0; i < n; ++i) {
    const double t = static_cast<double>(i) / fs;
    pair.bloodFlow[i] = 10.0 + 2.0 * std::sin(2 * std::numbers::pi * 0.01 * t) +
                        std::sin(2 * std::numbers::pi * 0.03 * t + 1.0) + 0.5 * std::sin(2 * std::numbers::pi * 0.1 * t) +
                        (fs > 4.0 ? 0.3 * std::sin(2 * std::numbers::pi * 1.1 * t) : 0.0) + 0.5 * noise(rng);
    smooth = follow * smooth + (1.0 - follow) * pair.bloodFlow[i];
    pair.temperature[i] = 30.0 + 0.1 * smooth + 0.01 * noise(rng);
  }
  return pair;
}

double CpuSeconds() { return static_cast<double>(std::clock()) / CLOCKS_PER_SEC; }

void RunCoherence(benchmark::State& state, const Pair& pair, const CoherenceOptions& options) {
  std::size_t frequencies = 0;
  const double start = CpuSeconds();
  for (auto _ : state) {
    const CoherenceOutcome outcome = AnalyzeCoherence(pair.temperature, pair.bloodFlow, options);
    if (!outcome.ok()) state.SkipWithError("the coherence failed");
    frequencies = outcome.result.points.size();
    benchmark::DoNotOptimize(outcome.result.points.data());
  }
  state.counters["process_cpu_s"] = (CpuSeconds() - start) / static_cast<double>(state.iterations());
  state.counters["frequencies"] = static_cast<double>(frequencies);
  state.counters["pairs"] = static_cast<double>(options.surrogatePairs);
}

void BM_Coherence3600At2Hz(benchmark::State& state) {
  const Pair pair = TestPair(3600, 2.0);
  CoherenceOptions options;
  options.surrogatePairs = static_cast<int>(state.range(0));
  RunCoherence(state, pair, options);
}
BENCHMARK(BM_Coherence3600At2Hz)->Arg(0)->Arg(100)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_Coherence72000At40Hz(benchmark::State& state) {
  const Pair pair = TestPair(72000, 40.0);
  CoherenceOptions options;
  options.analysis.sampleRateHz = 40.0;
  options.analysis.minFrequencyHz = 0.005;
  options.analysis.maxFrequencyHz = 2.0;
  options.surrogatePairs = static_cast<int>(state.range(0));
  RunCoherence(state, pair, options);
}
BENCHMARK(BM_Coherence72000At40Hz)->Arg(100)->Unit(benchmark::kSecond)->UseRealTime()->Iterations(1);

// Asks to stop once the position reaches `stopAt` and notes when; counts the position reports per second.
class StopAtPosition : public ProgressSink {
 public:
  // The gaps count from here: made just before the run starts.
  explicit StopAtPosition(long long stopAt) : m_stopAt(stopAt), m_last(std::chrono::steady_clock::now()) {}
  void setRange(long long, long long maximum) override { m_maximum = maximum; }
  void setPosition(long long position) override {
    const auto now = std::chrono::steady_clock::now();
    if (!m_stop.load()) m_longestGap = std::max(m_longestGap, std::chrono::duration<double>(now - m_last).count());
    m_last = now;
    if (position > 0) m_position = position;
    if (m_stopAt >= 0 && position >= m_stopAt && !m_stop.load()) {
      m_requested = now;
      m_stop = true;
    }
  }
  bool stopRequested() const override { return m_stop.load(); }

  long long maximum() const { return m_maximum; }
  long long position() const { return m_position; }
  bool stopped() const { return m_stop.load(); }
  std::chrono::steady_clock::time_point requested() const { return m_requested; }
  double longestGap() const { return m_longestGap; }

 private:
  long long m_stopAt;
  long long m_maximum = 0;
  long long m_position = 0;
  std::atomic<bool> m_stop{false};
  std::chrono::steady_clock::time_point m_last;
  std::chrono::steady_clock::time_point m_requested{};
  double m_longestGap = 0.0;
};

void BM_CoherenceLongRecordStop(benchmark::State& state) {
  const Pair pair = TestPair(2000000, 500.0);
  CoherenceOptions options;
  options.analysis.sampleRateHz = 500.0;
  options.analysis.minFrequencyHz = 0.5;
  options.analysis.maxFrequencyHz = 5.0;
  options.analysis.threads = 32;  // capped at the cores
  options.surrogatePairs = 20;
  // Argument 1: the window's computation, the coherence modes with the coherence over time.
  const bool windowModes = state.range(0) == 1;
  CoherenceModeOptions modes;
  modes.coherence = options;
  modes.overTime = true;
  auto run = [&](ProgressSink& sink) {
    return windowModes ? AnalyzeCoherenceModes(pair.temperature, pair.bloodFlow, modes, sink).error
                       : AnalyzeCoherence(pair.temperature, pair.bloodFlow, options, sink).error;
  };
  const std::size_t rows = AnalysisFrequencies(options.analysis).size();
  const auto j = static_cast<long long>(rows) * kCoherenceUnitsPerRow;  // progress units
  const long long perPair = j + 2 * std::max(1LL, j / kCoherenceUnitsPerRow / 2) * kCoherenceUnitsPerRow;
  // Positions in the measured rows, the first surrogates' rounds and the first pair's rows, and the second
  // pair's: the workers run two pairs at once on two cores.
  std::vector<long long> points;
  for (int k = 0; k < 10; ++k) points.push_back(j / 4 + static_cast<long long>(k) * (j + 2 * perPair) / 10);
  double worstLatency = 0.0, sumLatency = 0.0, peak = 0.0, longestGap = 0.0;
  int stoppedRuns = 0;
  const double cpuStart = CpuSeconds();
  for (auto _ : state) {
    for (std::size_t k = 0; k < points.size(); ++k) {
      bench::ResetPeakMemory();
      StopAtPosition sink(points[k]);
      const std::optional<CoherenceError> error = run(sink);
      const auto returned = std::chrono::steady_clock::now();
      peak = std::max(peak, bench::PeakMemoryBytes());
      longestGap = std::max(longestGap, sink.longestGap());
      if (!sink.stopped() || !error || error->kind != CoherenceErrorKind::kStopped) continue;
      const double latency = std::chrono::duration<double>(returned - sink.requested()).count();
      worstLatency = std::max(worstLatency, latency);
      sumLatency += latency;
      ++stoppedRuns;
      state.counters["stop" + std::to_string(k) + "_s"] = latency;
    }
    if (const char* full = std::getenv("KELVORA_BENCH_FULL_RUN"); full != nullptr && full[0] == '1') {
      bench::ResetPeakMemory();
      StopAtPosition sink(-1);
      const auto start = std::chrono::steady_clock::now();
      if (run(sink)) state.SkipWithError("the full run failed");
      state.counters["full_run_s"] = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
      peak = std::max(peak, bench::PeakMemoryBytes());
      longestGap = std::max(longestGap, sink.longestGap());
    }
  }
  state.counters["process_cpu_s"] = CpuSeconds() - cpuStart;
  state.counters["stopped_runs"] = stoppedRuns;
  state.counters["stop_worst_s"] = worstLatency;
  state.counters["stop_mean_s"] = stoppedRuns > 0 ? sumLatency / stoppedRuns : 0.0;
  state.counters["peak_rss_MB"] = peak / 1e6;
  state.counters["longest_progress_gap_s"] = longestGap;
  state.counters["cores"] = static_cast<double>(std::thread::hardware_concurrency());
  state.counters["frequencies"] = static_cast<double>(rows);
}
BENCHMARK(BM_CoherenceLongRecordStop)->Arg(0)->Arg(1)->Unit(benchmark::kSecond)->UseRealTime()->Iterations(1);

}  // namespace
}  // namespace kelvora
