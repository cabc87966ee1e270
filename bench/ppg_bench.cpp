// The envelope of the largest PPG the reader takes (2,000,000 samples at 50 Hz, 40,000 s), reading included.
#include <benchmark/benchmark.h>

#include <cmath>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>

#include "signals/ppg_envelope.h"
#include "formats/ppg_file.h"

namespace {

// Writes a 2,000,000-sample PPG file (pulses at 75 per minute, amplitude slowly modulated) once.
const std::string& LargestPpgFile() {
  static const std::string path = [] {
    const std::string p = (std::filesystem::temp_directory_path() / "kelvora_bench_ppg.txt").string();
    std::ofstream out(p, std::ios::binary);
    out << "PPG\n";
    char text[32];
    double phase = 0.0;
    for (int i = 0; i < kelvora::kMaxPpgSamples; ++i) {
      const double t = i / 50.0;
      phase += (75.0 + 5.0 * std::sin(0.5 * t)) / 60.0 / 50.0;
      const double u = phase - std::floor(phase);
      const double amplitude = 1.0 + 0.3 * std::sin(2 * 3.14159265358979 * t / 120.0);
      const double v = 2.0 + amplitude * (std::exp(-std::pow((u - 0.2) / 0.06, 2) / 2) +
                                          0.35 * std::exp(-std::pow((u - 0.45) / 0.08, 2) / 2));
      std::snprintf(text, sizeof text, "%.3f\n", v);
      out << text;
    }
    return p;
  }();
  return path;
}

void BM_PpgReadAndEnvelopeLargest(benchmark::State& state) {
  const std::string& path = LargestPpgFile();
  for (auto _ : state) {
    const kelvora::PpgReadResult read = kelvora::ReadPpgFile(path);
    kelvora::PpgEnvelopeParams params;
    params.durationS = read.signal.durationS;
    const kelvora::PpgEnvelopeResult result = kelvora::ComputePpgEnvelope(read.signal, params);
    if (!result.ok() || result.envelope.values.size() != 80000) state.SkipWithError("envelope failed");
    benchmark::DoNotOptimize(result.envelope.values.data());
  }
}
BENCHMARK(BM_PpgReadAndEnvelopeLargest)->Unit(benchmark::kMillisecond)->MinTime(2.0);

void BM_PpgEnvelopeOnlyLargest(benchmark::State& state) {
  const kelvora::PpgReadResult read = kelvora::ReadPpgFile(LargestPpgFile());
  kelvora::PpgEnvelopeParams params;
  params.durationS = read.signal.durationS;
  for (auto _ : state) {
    const kelvora::PpgEnvelopeResult result = kelvora::ComputePpgEnvelope(read.signal, params);
    benchmark::DoNotOptimize(result.envelope.values.data());
  }
}
BENCHMARK(BM_PpgEnvelopeOnlyLargest)->Unit(benchmark::kMillisecond);

}  // namespace
