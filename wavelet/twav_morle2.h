#pragma once
// `TWavMorle2`: the band reconstruction of one scale row (the filter).
#include <span>

#include "wavelet/row_convolution.h"

namespace kelvora {

// What multiplies a row's reconstruction sum: gain / a^m / D with m = 1.1, D = 12.835 for Morlet and m = 1.4,
// D = 1000 for Paul (a^m by the sign-preserving power, a > 0), in extended precision.
long double ReconstructionFactor(WaveletType type, long double scale, long double gain = 1.0L);

// The reconstruction exponent m of the type: 1.1 Morlet, 1.4 Paul.
double ReconstructionExponent(WaveletType type);

class TWavMorle2 {
 public:
  static constexpr const char* kThreadName = "TWavMorle2";

  // The row's contribution to every time point b = 0 .. N-1: ReconstructionFactor * sum over s = 1 .. N-1
  // (sample 0 is not used) of Re(W[k][s] psi((s - b) / a)), into `cacheRow` (N cells). N < 2 gives zeros.
  // `kept`: the row kernel's spectrum kept by this run's forward pass (the same kernel), or none.
  static void Execute(RowConvolution& scratch, std::span<const WaveletComplex> coefficients, WaveletType type,
                      long double scale, std::span<double> cacheRow, KernelSpectrum* kept = nullptr);
};

// The reconstruction of one row with any kernel and factor, shared by `TWavMorle2` and `TWavMorle3`.
void ReconstructRow(RowConvolution& scratch, std::span<const WaveletComplex> coefficients, const WaveletKernel& kernel,
                    long double factor, std::span<double> cacheRow, KernelSpectrum* kept = nullptr);

}  // namespace kelvora
