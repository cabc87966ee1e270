#include "wavelet/twav_morle1.h"

namespace kelvora {

void TWavMorle1::Execute(RowConvolution& scratch, std::span<const double> x, WaveletType type, long double scale,
                         std::span<WaveletComplex> row, KernelSpectrum* kept) {
  const double factor = type == WaveletType::Morlet ? static_cast<double>(1.0L / scale) : 1.0;
  scratch.correlate(x, RowKernel(type, scale), factor, row, kept);
}

}  // namespace kelvora
