#pragma once
// The implementation this program had before its transforms moved to FFTW, kept unchanged (namespace aside)
// only so that the benchmarks can measure old and new code in the same run. Nothing in the program uses it.
// Summing band coefficients back in time: the reconstruction shared by the band filter and the Fourier
// conversions.
#include <cstdint>
#include <vector>

#include "bench/old/core/chirp_dft.h"
#include "core/complex.h"
#include "core/progress.h"

namespace kelvora::old {

// For n = 0 .. N' (N' = paddedLastIndex >= 1):
//   y[n] = c0 + sum over k = lowBin .. highBin with excluded[k] == 0 of
//          (d[k] e^{+i 2 pi k n / N'} + conj(d[k]) e^{-i 2 pi k n / N'}).
// d and excluded are indexed by bin k and must hold at least highBin + 1 entries when the range is not empty;
// an empty `excluded` keeps every bin. lowBin is taken as at least 1. The band filter passes d[k] = C[k]; the
// conversions pass g_k C[k] e^{i w_k tau_k}. Each pair of terms is real, so y[n].im is c0.im and y[n].re is
// c0.re + 2 sum (d.re cos - d.im sin), equal to the direct evaluation up to rounding.
// Cost: (N' + 1) (highBin - lowBin + 1) multiply-adds over SpectralThreadCount() threads with one table of N'
// phasors, or one O(N' log N') chirp-z FFT when that is cheaper (`method` may force either).
// Progress: range 0 .. N', position the sample reached, text "42%" when the percentage changes, position back to 0
// at the end. Any thread may call it.
std::vector<Complex> ReconstructBand(const std::vector<Complex>& d, const std::vector<std::uint8_t>& excluded,
                                     int lowBin, int highBin, Complex c0, int paddedLastIndex,
                                     ProgressSink& progress = NullProgress(), SumMethod method = SumMethod::kAutomatic);

}  // namespace kelvora::old
