#include "wavelet/twav_morle3.h"

#include "wavelet/twav_morle2.h"

namespace kelvora {

void TWavMorle3::Execute(RowConvolution& scratch, std::span<const WaveletComplex> coefficients, WaveletType type,
                         long double scale, long double delay, long double gain, WaveletDelayRule rule,
                         std::span<double> cacheRow) {
  ReconstructRow(scratch, coefficients, ThermalRowKernel(type, scale, delay, rule),
                 ReconstructionFactor(type, scale, gain), cacheRow);
}

}  // namespace kelvora
