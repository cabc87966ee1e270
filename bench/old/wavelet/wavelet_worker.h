#pragma once
// The implementation this program had before its transforms moved to FFTW, kept unchanged (namespace aside)
// only so that the benchmarks can measure old and new code in the same run. Nothing in the program uses it.
// What the three wavelet workers share: their fields and the run data they read and write.
#include <vector>

#include "bench/old/wavelet/coefficient_storage.h"
#include "bench/old/wavelet/wavelet_kernels.h"

namespace kelvora::old {

// The fields every worker gets before it starts, in the order the workers declare them.
struct WaveletWorkerFields {
  int b = 0;               // time point 0 .. N-1
  int firstIndex = 1;      // first scale index of the band
  int lastIndex = 0;       // last scale index of the band
  int n = 0;               // number of samples
  int slot = 1;            // worker slot 1 .. 32
  bool morlet = true;      // 1 = Morlet, 0 = Paul
  double exponent = 1.1;   // reconstruction exponent m: 1.1 Morlet, 1.4 Paul (`TWavMorle2`, `TWavMorle3`)
};

// The run's shared data. During a pass the input, the tables, the flags and the factors are read-only; a
// worker writes only column b of the matrix or of the cache and output cell b.
struct WaveletPassData {
  const double* input = nullptr;                // N samples
  CoefficientMatrix* matrix = nullptr;
  ReconstructionCache* cache = nullptr;
  double* output = nullptr;                     // N cells
  const unsigned char* rowComputed = nullptr;   // indexed by k
  const int* rowSign = nullptr;                 // indexed by k
  const std::vector<KernelTable>* tables = nullptr;  // indexed by k; filled for the rows the pass computes
  const std::vector<long double>* rowFactor = nullptr;  // indexed by k: what multiplies a row's sum
  // Coefficients of the rows the reconstruction computes, as real and imaginary parts in double, indexed by k.
  const std::vector<std::vector<double>>* coefficientRe = nullptr;
  const std::vector<std::vector<double>>* coefficientIm = nullptr;
};

}  // namespace kelvora::old
