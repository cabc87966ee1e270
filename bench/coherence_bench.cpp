// Phase coherence speed: two 30-minute 2 Hz records (3,600 samples each), 0.005 .. 2/3 Hz at 32 voices (226
// frequencies), 100 IAAFT surrogate pairs, on every core (wall time); and the same without surrogates, the part
// the measured pair costs. The aim is at most 5 s for the run with surrogates on a 2-core machine.
// process_cpu_s is the CPU time of all threads per run: on a machine shared with other work the wall time
// grows, while process_cpu_s / threads is what the run takes on idle cores.
#include <cmath>
#include <ctime>
#include <numbers>
#include <random>
#include <vector>

#include <benchmark/benchmark.h>

#include "analysis/phase_coherence.h"

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
  for (std::size_t i = 0; i < n; ++i) {
    const double t = static_cast<double>(i) / fs;
    pair.bloodFlow[i] = 10.0 + 2.0 * std::sin(2 * std::numbers::pi * 0.01 * t) +
                        std::sin(2 * std::numbers::pi * 0.03 * t + 1.0) + 0.5 * std::sin(2 * std::numbers::pi * 0.1 * t) +
                        0.5 * noise(rng);
    smooth = 0.98 * smooth + 0.02 * pair.bloodFlow[i];
    pair.temperature[i] = 30.0 + 0.1 * smooth + 0.01 * noise(rng);
  }
  return pair;
}

void BM_Coherence3600At2Hz(benchmark::State& state) {
  const Pair pair = TestPair(3600, 2.0);
  CoherenceOptions options;
  options.surrogatePairs = static_cast<int>(state.range(0));
  std::size_t frequencies = 0;
  const std::clock_t start = std::clock();
  for (auto _ : state) {
    const CoherenceOutcome outcome = AnalyzeCoherence(pair.temperature, pair.bloodFlow, options);
    if (!outcome.ok()) state.SkipWithError("the coherence failed");
    frequencies = outcome.result.points.size();
    benchmark::DoNotOptimize(outcome.result.points.data());
  }
  state.counters["process_cpu_s"] = static_cast<double>(std::clock() - start) / CLOCKS_PER_SEC /
                                   static_cast<double>(state.iterations());
  state.counters["frequencies"] = static_cast<double>(frequencies);
  state.counters["pairs"] = static_cast<double>(options.surrogatePairs);
}

BENCHMARK(BM_Coherence3600At2Hz)->Arg(0)->Arg(100)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace
}  // namespace kelvora
