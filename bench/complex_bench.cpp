#include "core/complex.h"

#include <benchmark/benchmark.h>

namespace {

void BM_ComplexProductSum(benchmark::State& state) {
  kelvora::Complex acc{0, 0};
  const kelvora::Complex w = kelvora::Exp(kelvora::MakeComplex(0, 0.001L));
  for (auto _ : state) {
    acc = kelvora::Sum(kelvora::Product(acc, w), w);
    benchmark::DoNotOptimize(acc);
  }
}
BENCHMARK(BM_ComplexProductSum);

}  // namespace
