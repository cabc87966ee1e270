// Wavelet filtration speed: Morlet and Paul on 3601 samples over rows 6 .. 55 (0.005 .. 0.15 Hz) and rows
// 1 .. 299, forward and reconstruction passes, 1 and 2 workers. Then the engine's forward pass over 72,000
// samples x 299 rows, with its peak memory, and the stop latency.
#include <chrono>
#include <cmath>
#include <ctime>
#include <memory>
#include <thread>
#include <vector>

#include <benchmark/benchmark.h>

#include "bench/peak_memory.h"
#include "wavelet/wavelet_engine.h"

namespace kelvora {
namespace {

std::vector<double> TestSignal(int n) {
  std::vector<double> x(static_cast<size_t>(n));
  for (int i = 0; i < n; ++i) {
    const double t = i / 2.0;
    x[static_cast<size_t>(i)] =
        0.5 + 0.2 * std::sin(2 * M_PI * 0.01 * t) + 0.15 * std::sin(2 * M_PI * 0.1 * t) + 0.1 * std::sin(0.7 * t);
  }
  return x;
}

// 0.005 .. 0.15 Hz is rows 6 .. 55; 0.0001 .. 2 Hz is rows 1 .. 299.
constexpr FrequencyBand kRows6To55{0.005, 0.15};
constexpr FrequencyBand kRows1To299{0.0001, 2.0};

WaveletEngine& SharedEngine() {
  static auto engine = std::make_unique<WaveletEngine>();
  return *engine;
}

// Arguments: type (0 Morlet, 1 Paul), workers, band (0 rows 6 .. 55, 1 rows 1 .. 299). A fresh load every run,
// so both passes compute every row.
void BM_WaveletFiltration3601(benchmark::State& state) {
  WaveletEngine& engine = SharedEngine();
  const std::vector<double> x = TestSignal(kWaveletMaxSamples);
  WaveletRunRequest request;
  request.type = state.range(0) == 0 ? WaveletType::Morlet : WaveletType::Paul;
  request.threads = static_cast<int>(state.range(1));
  request.band = state.range(2) == 0 ? kRows6To55 : kRows1To299;
  // CPU seconds of the whole process (all workers) per run, which a loaded machine does not inflate.
  double cpuSeconds = 0.0;
  for (auto _ : state) {
    state.PauseTiming();
    engine.loadSignal(x, request.band);
    state.ResumeTiming();
    const std::clock_t before = std::clock();
    auto result = engine.run(request);
    cpuSeconds += static_cast<double>(std::clock() - before) / CLOCKS_PER_SEC;
    benchmark::DoNotOptimize(result.output.data());
  }
  state.counters["process_cpu_s"] = benchmark::Counter(cpuSeconds, benchmark::Counter::kAvgIterations);
}

// A repeated run with the same band and type: the forward pass is skipped, the contributions are reused.
void BM_MorletRepeatedRun3601(benchmark::State& state) {
  WaveletEngine& engine = SharedEngine();
  const std::vector<double> x = TestSignal(kWaveletMaxSamples);
  WaveletRunRequest request;
  request.band = kRows6To55;
  request.threads = static_cast<int>(state.range(0));
  engine.loadSignal(x, request.band);
  engine.run(request);
  for (auto _ : state) {
    WaveletRunResult result = engine.run(request);
    benchmark::DoNotOptimize(result.output.data());
  }
}

// The forward pass alone over 72,000 samples (10 hours at 2 Hz) x rows 1 .. 299, Morlet or Paul: what an
// analysis of a long record needs. Counters: the engine's row storage and the process's peak resident memory
// during the run (the coefficients of 299 rows x 72,000 samples are 344 MB in double).
void BM_EngineForwardPass72000(benchmark::State& state) {
  const std::vector<double> x = TestSignal(72000);
  WaveletRunRequest request;
  request.type = state.range(0) == 0 ? WaveletType::Morlet : WaveletType::Paul;
  request.threads = static_cast<int>(state.range(1));
  request.band = kRows1To299;
  request.forwardOnly = true;
  double storage = 0.0, peak = 0.0, cpuSeconds = 0.0;
  for (auto _ : state) {
    state.PauseTiming();
    auto engine = std::make_unique<WaveletEngine>();
    engine->loadSignal(x, request.band);
    bench::ResetPeakMemory();
    state.ResumeTiming();
    const std::clock_t before = std::clock();
    WaveletRunResult result = engine->run(request);
    cpuSeconds += static_cast<double>(std::clock() - before) / CLOCKS_PER_SEC;
    state.PauseTiming();
    if (!result.completed() || result.stats.forwardRows != 299) state.SkipWithError("forward pass failed");
    storage = static_cast<double>(engine->storageBytes());
    peak = std::max(peak, bench::PeakMemoryBytes());
    engine.reset();
    state.ResumeTiming();
  }
  state.counters["row_storage_MB"] = storage / 1e6;
  state.counters["peak_rss_MB"] = peak / 1e6;
  state.counters["process_cpu_s"] = benchmark::Counter(cpuSeconds, benchmark::Counter::kAvgIterations);
}

// Time from requestStop() to the return of a running Paul run over rows 1 .. 299, stopped 5 ms after it started
// (in the forward pass) or 25 ms after (in the reconstruction pass).
void BM_StopLatency(benchmark::State& state) {
  WaveletEngine& engine = SharedEngine();
  const std::vector<double> x = TestSignal(kWaveletMaxSamples);
  WaveletRunRequest request;
  request.band = kRows1To299;
  request.type = WaveletType::Paul;
  request.threads = static_cast<int>(state.range(0));
  for (auto _ : state) {
    engine.loadSignal(x, request.band);
    std::chrono::steady_clock::time_point stopAt;
    std::thread stopper([&] {
      std::this_thread::sleep_for(std::chrono::milliseconds(state.range(1)));
      stopAt = std::chrono::steady_clock::now();
      engine.requestStop();
    });
    engine.run(request);
    const auto returned = std::chrono::steady_clock::now();
    stopper.join();
    state.SetIterationTime(std::max(0.0, std::chrono::duration<double>(returned - stopAt).count()));
  }
}

void FiltrationArguments(benchmark::internal::Benchmark* b) {
  for (int band : {0, 1})
    for (int type : {0, 1})
      for (int workers : {1, 2}) b->Args({type, workers, band});
  b->ArgNames({"paul", "workers", "rows1to299"});
}

BENCHMARK(BM_WaveletFiltration3601)->Apply(FiltrationArguments)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_MorletRepeatedRun3601)->Arg(1)->Arg(2)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_EngineForwardPass72000)
    ->Args({0, 2})
    ->Args({1, 2})
    ->ArgNames({"paul", "workers"})
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime()
    ->Iterations(1);
BENCHMARK(BM_StopLatency)
    ->Args({1, 5})
    ->Args({2, 5})
    ->Args({1, 25})
    ->Args({2, 25})
    ->Unit(benchmark::kMillisecond)
    ->UseManualTime()
    ->Iterations(5);

}  // namespace
}  // namespace kelvora
