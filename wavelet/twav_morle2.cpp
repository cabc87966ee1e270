#include "wavelet/twav_morle2.h"

#include <algorithm>
#include <cmath>

namespace kelvora {

double ReconstructionExponent(WaveletType type) { return type == WaveletType::Morlet ? 1.1 : 1.4; }

long double ReconstructionFactor(WaveletType type, long double scale, long double gain) {
  const long double divisor = type == WaveletType::Morlet ? 12.835L : 1000.0L;
  const long double scalePower = std::exp(static_cast<long double>(ReconstructionExponent(type)) * std::log(scale));
  return gain / scalePower / divisor;
}

void ReconstructRow(RowConvolution& scratch, std::span<const WaveletComplex> coefficients, const WaveletKernel& kernel,
                    long double factor, std::span<double> cacheRow, KernelSpectrum* kept) {
  if (coefficients.size() < 2) {
    std::fill(cacheRow.begin(), cacheRow.end(), 0.0);
    return;
  }
  scratch.correlateReal(coefficients, 1, kernel, static_cast<double>(factor), cacheRow, kept);
}

void TWavMorle2::Execute(RowConvolution& scratch, std::span<const WaveletComplex> coefficients, WaveletType type,
                         long double scale, std::span<double> cacheRow, KernelSpectrum* kept) {
  ReconstructRow(scratch, coefficients, RowKernel(type, scale), ReconstructionFactor(type, scale), cacheRow, kept);
}

}  // namespace kelvora
