#include "bench/old/core/chirp_dft.h"

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <utility>

namespace kelvora::old {
namespace {

// In-place radix-2 FFT of length L (a power of two): a[k] = sum a[n] e^{-i 2 pi k n / L} (forward), or with
// e^{+i ...} (inverse, unscaled). twRe/twIm hold e^{-i 2 pi j / L}, j < L/2.
void Radix2Fft(std::vector<long double>& re, std::vector<long double>& im, const std::vector<long double>& twRe,
               const std::vector<long double>& twIm, bool inverse) {
  const std::size_t length = re.size();
  for (std::size_t i = 1, j = 0; i < length; ++i) {
    std::size_t bit = length >> 1;
    for (; j & bit; bit >>= 1) j ^= bit;
    j ^= bit;
    if (i < j) {
      std::swap(re[i], re[j]);
      std::swap(im[i], im[j]);
    }
  }
  const long double sign = inverse ? -1.0L : 1.0L;
  for (std::size_t half = 1; half < length; half <<= 1) {
    const std::size_t stride = length / (2 * half);
    for (std::size_t start = 0; start < length; start += 2 * half) {
      for (std::size_t j = 0; j < half; ++j) {
        const long double wr = twRe[j * stride];
        const long double wi = sign * twIm[j * stride];
        const std::size_t a = start + j, b = a + half;
        const long double xr = re[b] * wr - im[b] * wi;
        const long double xi = re[b] * wi + im[b] * wr;
        re[b] = re[a] - xr;
        im[b] = im[a] - xi;
        re[a] += xr;
        im[a] += xi;
      }
    }
  }
}

}  // namespace

long long ChirpFftLength(long long length) {
  long long l = 1;
  while (l < 2 * length - 1) l <<= 1;
  return l;
}

bool ChirpDftIsCheaper(long long length, long long terms) {
  const long long l = ChirpFftLength(length);
  long long log2 = 0;
  while ((1LL << log2) < l) ++log2;
  // Three FFTs of L/2 log L butterflies, each about as dear as three plain multiply-adds, plus set-up.
  return terms > 5 * l * std::max(1LL, log2) + 20 * length;
}

std::vector<Complex> ChirpDft(const std::vector<Complex>& input, int sign) {
  const long long n = static_cast<long long>(input.size());
  if (n <= 1) return input;
  const long double s = sign < 0 ? -1.0L : 1.0L;
  const std::size_t length = static_cast<std::size_t>(ChirpFftLength(n));

  // Chirp c[m] = e^{s i pi m^2 / N}; m^2 is reduced modulo 2N exactly, so every angle lies in [0, 2 pi).
  std::vector<long double> chirpRe(static_cast<std::size_t>(n)), chirpIm(static_cast<std::size_t>(n));
  for (long long m = 0; m < n; ++m) {
    const long long j = (m * m) % (2 * n);
    const long double angle = kPi * static_cast<long double>(j) / static_cast<long double>(n);
    chirpRe[static_cast<std::size_t>(m)] = std::cos(angle);
    chirpIm[static_cast<std::size_t>(m)] = s * std::sin(angle);
  }

  std::vector<long double> twRe(length / 2), twIm(length / 2);
  for (std::size_t j = 0; j < length / 2; ++j) {
    const long double angle = kTwoPi * static_cast<long double>(j) / static_cast<long double>(length);
    twRe[j] = std::cos(angle);
    twIm[j] = -std::sin(angle);
  }

  // kn = (k^2 + n^2 - (k - n)^2) / 2: out[k] = c[k] sum_n (input[n] c[n]) conj(c[k - n]).
  std::vector<long double> aRe(length, 0.0L), aIm(length, 0.0L), bRe(length, 0.0L), bIm(length, 0.0L);
  for (long long m = 0; m < n; ++m) {
    const std::size_t i = static_cast<std::size_t>(m);
    const Complex x = input[i];
    aRe[i] = x.re * chirpRe[i] - x.im * chirpIm[i];
    aIm[i] = x.re * chirpIm[i] + x.im * chirpRe[i];
    bRe[i] = chirpRe[i];
    bIm[i] = -chirpIm[i];
    if (m > 0) {
      bRe[length - i] = chirpRe[i];
      bIm[length - i] = -chirpIm[i];
    }
  }
  Radix2Fft(aRe, aIm, twRe, twIm, false);
  Radix2Fft(bRe, bIm, twRe, twIm, false);
  for (std::size_t i = 0; i < length; ++i) {
    const long double r = aRe[i] * bRe[i] - aIm[i] * bIm[i];
    const long double q = aRe[i] * bIm[i] + aIm[i] * bRe[i];
    aRe[i] = r;
    aIm[i] = q;
  }
  Radix2Fft(aRe, aIm, twRe, twIm, true);

  const long double scale = 1.0L / static_cast<long double>(length);
  std::vector<Complex> out(static_cast<std::size_t>(n));
  for (long long k = 0; k < n; ++k) {
    const std::size_t i = static_cast<std::size_t>(k);
    const long double cr = aRe[i] * scale, ci = aIm[i] * scale;
    out[i] = Complex{cr * chirpRe[i] - ci * chirpIm[i], cr * chirpIm[i] + ci * chirpRe[i]};
  }
  return out;
}

}  // namespace kelvora::old
