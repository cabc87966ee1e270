#pragma once
// Summing band coefficients back in time: the reconstruction shared by the band filter and the Fourier
// conversions.
#include <cstdint>
#include <vector>

#include "core/complex.h"
#include "core/progress.h"

namespace kelvora {

// For n = 0 .. N' (N' = paddedLastIndex >= 1):
//   y[n] = c0 + sum over k = lowBin .. highBin with excluded[k] == 0 of
//          (d[k] e^{+i 2 pi k n / N'} + conj(d[k]) e^{-i 2 pi k n / N'}).
// d and excluded are indexed by bin k and must hold at least highBin + 1 entries when the range is not empty;
// an empty `excluded` keeps every bin. lowBin is taken as at least 1. The band filter passes d[k] = C[k]; the
// conversions pass g_k C[k] e^{i w_k tau_k}. Each pair of terms is real, so y[n].im is c0.im and y[n].re is
// c0.re + 2 Re sum d[k] e^{+i 2 pi k n / N'}, which is taken from one extended-precision inverse real FFT of
// length N' (sample N' has the phases of sample 0); it equals the direct evaluation to within a few units of
// extended-precision rounding of the largest term.
// Cost: O(N' log N') on the calling thread (about 2 ms for N' = 21,200), whatever the number of bins.
// Progress: range 0 .. N', position N' with "100%" when done, position back to 0 at the end. Any thread.
std::vector<Complex> ReconstructBand(const std::vector<Complex>& d, const std::vector<std::uint8_t>& excluded,
                                     int lowBin, int highBin, Complex c0, int paddedLastIndex,
                                     ProgressSink& progress = NullProgress());

}  // namespace kelvora
