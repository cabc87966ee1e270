#pragma once
// `TWavMorle1`: the forward wavelet transform of one scale row.
#include <span>

#include "wavelet/row_convolution.h"

namespace kelvora {

class TWavMorle1 {
 public:
  static constexpr const char* kThreadName = "WavMorle1";

  // W[k][b] = f * sum over s = 0 .. N-1 of x[s] conj(psi((b - s) / a)) for b = 0 .. N-1, with f = 1/a for Morlet
  // and 1 for Paul, into `row` (N cells). Cost: one FFT convolution of the row (RowConvolution::correlate).
  // `kept` as RowConvolution::correlate.
  static void Execute(RowConvolution& scratch, std::span<const double> x, WaveletType type, long double scale,
                      std::span<WaveletComplex> row, KernelSpectrum* kept = nullptr);
};

}  // namespace kelvora
