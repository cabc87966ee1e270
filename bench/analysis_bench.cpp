// Time-frequency analysis speed and peak memory: the band table of a 30-minute 2 Hz record, table and picture
// of a 30-minute 40 Hz record, and a 2,000,000-sample 500 Hz PPG over 0.5 .. 5 Hz at two frequency counts (its
// peak memory must not grow with them). Wall time (the rows run on every core). peak_MB is the process's resident
// high-water mark (VmHWM) during the runs, reset before each through /proc/self/clear_refs, and growth_MB the
// most it rose above the resident size before a run. Memory freed by one run stays with the allocator for the
// next, so only a process running a single case (--benchmark_filter=BM_AnalysisPpg2000000At500Hz/32) gives a
// peak_MB that is that case's own.
#include <cmath>
#include <fstream>
#include <numbers>
#include <random>
#include <string>
#include <vector>

#include <benchmark/benchmark.h>

#include "analysis/record_analysis.h"

namespace kelvora {
namespace {

// Slow physiological rhythms, a pulse-like component and noise.
std::vector<double> TestRecord(std::size_t n, double fs) {
  std::mt19937 rng(7);
  std::normal_distribution<double> noise(0.0, 0.1);
  std::vector<double> x(n);
  for (std::size_t i = 0; i < n; ++i) {
    const double t = static_cast<double>(i) / fs;
    x[i] = 30.0 + 0.5 * std::sin(2 * std::numbers::pi * 0.01 * t) + 0.3 * std::sin(2 * std::numbers::pi * 0.1 * t) +
           0.2 * std::sin(2 * std::numbers::pi * 0.3 * t) + 0.1 * std::sin(2 * std::numbers::pi * 1.2 * t) + noise(rng);
  }
  return x;
}

// VmHWM or VmRSS of this process in MB, from /proc/self/status; 0 where it cannot be read.
double StatusMegabytes(const std::string& field) {
  std::ifstream status("/proc/self/status");
  for (std::string line; std::getline(status, line);)
    if (line.rfind(field + ":", 0) == 0) return std::stod(line.substr(field.size() + 1)) / 1024.0;
  return 0.0;
}

// Sets the high-water mark back to the present resident size.
void ResetPeakMemory() { std::ofstream("/proc/self/clear_refs") << "5"; }

void RunAnalysis(benchmark::State& state, std::size_t samples, AnalysisOptions options) {
  const std::vector<double> record = TestRecord(samples, options.sampleRateHz);
  double peak = 0.0;
  double growth = 0.0;
  std::size_t frequencies = 0;
  for (auto _ : state) {
    ResetPeakMemory();
    const double before = StatusMegabytes("VmRSS");
    AnalysisOutcome outcome = AnalyzeRecord(record, options);
    const double high = StatusMegabytes("VmHWM");
    peak = std::max(peak, high);
    growth = std::max(growth, high - before);
    if (!outcome.ok()) state.SkipWithError("the analysis failed");
    frequencies = outcome.result.frequenciesHz.size();
    benchmark::DoNotOptimize(outcome.result.spectrum.data());
  }
  state.counters["peak_MB"] = peak;
  state.counters["growth_MB"] = growth;
  state.counters["frequencies"] = static_cast<double>(frequencies);
}

// 3,600 samples at 2 Hz, 0.005 .. 2/3 Hz, 32 voices (226 frequencies), the table only.
void BM_AnalysisTable3600At2Hz(benchmark::State& state) {
  AnalysisOptions options;
  options.sampleRateHz = 2.0;
  options.pictureColumns = 0;
  RunAnalysis(state, 3600, options);
}

// 72,000 samples at 40 Hz, 0.005 .. 2 Hz (277 frequencies), table and picture.
void BM_AnalysisPicture72000At40Hz(benchmark::State& state) {
  AnalysisOptions options;
  options.sampleRateHz = 40.0;
  RunAnalysis(state, 72000, options);
}

// 2,000,000 samples at 500 Hz, 0.5 .. 5 Hz, table and picture, at 16 and 32 voices per octave.
void BM_AnalysisPpg2000000At500Hz(benchmark::State& state) {
  AnalysisOptions options;
  options.sampleRateHz = 500.0;
  options.minFrequencyHz = 0.5;
  options.maxFrequencyHz = 5.0;
  options.voicesPerOctave = static_cast<int>(state.range(0));
  RunAnalysis(state, 2000000, options);
}

BENCHMARK(BM_AnalysisTable3600At2Hz)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_AnalysisPicture72000At40Hz)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_AnalysisPpg2000000At500Hz)->Arg(16)->Arg(32)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(1);

}  // namespace
}  // namespace kelvora
