#pragma once
// The wavelet kernels of one scale row as functions of the offset d = s - b (samples) between the summed sample
// s and the time point b, and their support.
//
// Every kernel of the engine is the mother wavelet of its type, taken at t = (d - centre) / a and conjugated or
// not:
//   Morlet psi(t) = 0.751 e^{i 5 t} e^{-t^2 / 2},   Paul psi(t) = 120 / (1 + i t)^5.
// The forward kernel (`TWavMorle1`: conj(psi((b - s) / a))) and the filter's reconstruction kernel
// (`TWavMorle2`: 0.751 e^{i 5 (s - b) / a} e^{-((b - s) / a)^2 / 2}, 120 i^4 / (1 + i (s - b) / a)^5) are both
// psi(d / a); the conversion's kernels (`TWavMorle3`) are psi moved by their delay.
#include <complex>

#include "wavelet/wavelet_types.h"

namespace kelvora {

using WaveletComplex = std::complex<double>;

struct WaveletKernel {
  WaveletType type = WaveletType::Morlet;
  double scale = 1.0;       // a, samples; > 0
  double centre = 0.0;      // the offset d at which the kernel peaks, samples
  bool conjugated = false;  // true: conj(psi)

  // The kernel at offset d, in double precision (a few units of rounding from the extended-precision formula).
  WaveletComplex operator()(double d) const;
};

// The offsets d within -(n - 1) .. n - 1 where the kernel can matter: for Morlet where its Gaussian factor is
// above 1e-18 (|t| <= 9.1), for Paul |t| <= 1000, where the 1/t^5 tail has fallen below 1e-13 of the peak in
// sum. Empty (first > last) when the support misses the range.
struct KernelSupport {
  int first = 0;
  int last = -1;
};
KernelSupport SupportOf(const WaveletKernel& kernel, int n);

// The kernel of the forward transform and of the filter's reconstruction of a row of scale a: psi(d / a).
WaveletKernel RowKernel(WaveletType type, long double scale);

// The conversion's kernel of a row of scale a with the delay tau (in units of the sample argument), u = b - s:
//   Morlet (both rules) 0.751 e^{-5i (u + tau) / a} e^{-((u + tau) / a)^2 / 2} = psi((d - tau) / a);
//   Paul, corrected     120 / (1 - i (u + tau) / a)^5 = psi((d - tau) / a), moved like the Morlet kernel;
//   Paul, legacy        120 / (1 + i (u - tau) / a)^5 = conj(psi((d + tau) / a)).
WaveletKernel ThermalRowKernel(WaveletType type, long double scale, long double delay, WaveletDelayRule rule);

}  // namespace kelvora
