// Wavelet filtration speed: Morlet and Paul, 3601 samples, the myogenic-to-endothelial band 0.005 .. 0.15 Hz
// (scale rows 6 .. 55), forward and reconstruction passes, on 1 and 2 worker threads.
#include <chrono>
#include <cmath>
#include <ctime>
#include <thread>
#include <vector>

#include <benchmark/benchmark.h>

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

WaveletEngine& SharedEngine() {
  static WaveletEngine engine;
  return engine;
}

void RunFiltration(benchmark::State& state, WaveletType type) {
  WaveletEngine& engine = SharedEngine();
  const std::vector<double> x = TestSignal(kWaveletMaxSamples);
  WaveletRunRequest request;
  request.band = WaveletBand{0.005, 0.15};
  request.type = type;
  request.threads = static_cast<int>(state.range(0));
  // CPU seconds of the whole process (all workers) per run, which a loaded machine does not inflate.
  double cpuSeconds = 0.0;
  for (auto _ : state) {
    engine.loadSignal(x, request.band);
    const std::clock_t before = std::clock();
    WaveletRunResult result = engine.run(request);
    cpuSeconds += static_cast<double>(std::clock() - before) / CLOCKS_PER_SEC;
    benchmark::DoNotOptimize(result.output.data());
  }
  state.counters["process_cpu_s"] = benchmark::Counter(cpuSeconds, benchmark::Counter::kAvgIterations);
}

void BM_MorletFiltration3601(benchmark::State& state) { RunFiltration(state, WaveletType::Morlet); }
void BM_PaulFiltration3601(benchmark::State& state) { RunFiltration(state, WaveletType::Paul); }

// A repeated run with the same band and type: the forward pass is skipped, the contributions are reused.
void BM_MorletRepeatedRun3601(benchmark::State& state) {
  WaveletEngine& engine = SharedEngine();
  const std::vector<double> x = TestSignal(kWaveletMaxSamples);
  WaveletRunRequest request;
  request.band = WaveletBand{0.005, 0.15};
  request.threads = static_cast<int>(state.range(0));
  engine.loadSignal(x, request.band);
  engine.run(request);
  for (auto _ : state) {
    WaveletRunResult result = engine.run(request);
    benchmark::DoNotOptimize(result.output.data());
  }
}

// Time from requestStop() to the return of a running Paul run over rows 1 .. 299 (the heaviest time points),
// stopped 50 ms after it started (while the kernels are tabulated) or 1500 ms after (in the forward pass).
void BM_StopLatency(benchmark::State& state) {
  WaveletEngine& engine = SharedEngine();
  const std::vector<double> x = TestSignal(kWaveletMaxSamples);
  WaveletRunRequest request;
  request.band = WaveletBand{0.0001, 2.0};
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
    state.SetIterationTime(std::chrono::duration<double>(returned - stopAt).count());
  }
}

BENCHMARK(BM_MorletFiltration3601)->Arg(1)->Arg(2)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_PaulFiltration3601)->Arg(1)->Arg(2)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_MorletRepeatedRun3601)->Arg(1)->Arg(2)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_StopLatency)
    ->Args({1, 50})
    ->Args({2, 50})
    ->Args({1, 1500})
    ->Args({2, 1500})
    ->Unit(benchmark::kMillisecond)
    ->UseManualTime()
    ->Iterations(5);

}  // namespace
}  // namespace kelvora
