#pragma once
// The implementation this program had before its transforms moved to FFTW, kept unchanged (namespace aside)
// only so that the benchmarks can measure old and new code in the same run. Nothing in the program uses it.
// The wavelet engine's large fixed-capacity arrays: the coefficient matrix and the reconstruction cache.
#include <vector>

#include "core/complex.h"
#include "wavelet/wavelet_types.h"

namespace kelvora::old {

// 500 scale rows x 3601 time points of extended-precision complex coefficients (row k - 1 holds scale index k).
// Allocated once (about 58 MB). Cells of different time points may be written from different threads.
class CoefficientMatrix {
 public:
  CoefficientMatrix() : m_cells(static_cast<size_t>(kWaveletRows) * kWaveletMaxSamples) {}
  // Row of scale index k (1 .. 500): kWaveletMaxSamples cells.
  Complex* row(int k) { return m_cells.data() + static_cast<size_t>(k - 1) * kWaveletMaxSamples; }
  const Complex* row(int k) const { return m_cells.data() + static_cast<size_t>(k - 1) * kWaveletMaxSamples; }
  Complex at(int k, int b) const { return row(k)[b]; }

 private:
  std::vector<Complex> m_cells;
};

// The same shape of double: per scale row and time point, that row's contribution to the reconstruction.
class ReconstructionCache {
 public:
  ReconstructionCache() : m_cells(static_cast<size_t>(kWaveletRows) * kWaveletMaxSamples, 0.0) {}
  double* row(int k) { return m_cells.data() + static_cast<size_t>(k - 1) * kWaveletMaxSamples; }
  const double* row(int k) const { return m_cells.data() + static_cast<size_t>(k - 1) * kWaveletMaxSamples; }
  double at(int k, int b) const { return row(k)[b]; }

 private:
  std::vector<double> m_cells;
};

}  // namespace kelvora::old
