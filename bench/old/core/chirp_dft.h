#pragma once
// The implementation this program had before its transforms moved to FFTW, kept unchanged (namespace aside)
// only so that the benchmarks can measure old and new code in the same run. Nothing in the program uses it.
// A discrete Fourier transform of any length in extended precision: Bluestein's chirp-z over a power-of-two FFT.
//
// The band transform and the band reconstruction use it for large batches of bins; their numbers are the
// direct sums, and this reaches them to within extended-precision rounding.
#include <vector>

#include "core/complex.h"

namespace kelvora::old {

// How the spectral sums are evaluated: chosen by cost, or forced (for tests and benchmarks).
enum class SumMethod { kAutomatic, kPhasorSums, kChirpFft };

// out[k] = sum_{n=0..N-1} input[n] e^{sign i 2 pi k n / N} for k = 0 .. N-1, N = input.size(); sign is +1 or
// -1. Every phasor is computed directly from its own angle. Cost: three FFTs of the power of two L >= 2N - 1,
// O(L log L); memory a few arrays of L extended complex values. Any thread may call it.
std::vector<Complex> ChirpDft(const std::vector<Complex>& input, int sign);

// The FFT length ChirpDft uses for `length` points, and whether it beats `terms` plain multiply-adds.
long long ChirpFftLength(long long length);
bool ChirpDftIsCheaper(long long length, long long terms);

}  // namespace kelvora::old
