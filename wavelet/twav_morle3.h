#pragma once
// `TWavMorle3`: the conversion reconstruction of one scale row, the scale moved through the thermal wave.
#include <span>

#include "wavelet/row_convolution.h"

namespace kelvora {

class TWavMorle3 {
 public:
  static constexpr const char* kThreadName = "TWavMorle3";

  // The row's contribution to every time point b = 0 .. N-1: sum over s = 1 .. N-1 of
  // Re(W[k][s] kappa_k(b, s)) G_k / a^m / D with the delayed kernel of `rule` (ThermalRowKernel) and the delay
  // and gain of the row, into `cacheRow` (N cells).
  static void Execute(RowConvolution& scratch, std::span<const WaveletComplex> coefficients, WaveletType type,
                      long double scale, long double delay, long double gain, WaveletDelayRule rule,
                      std::span<double> cacheRow);
};

}  // namespace kelvora
