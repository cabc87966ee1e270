#pragma once
// Plain direct evaluations of the transform and reconstruction sums, one complex exponential per term, used as
// the oracle for the FFT code. The phase 2 pi k n / N' is reduced as (k n mod N') before the cosine and sine:
// without that the angles reach 2 pi 10^8 and the oracle itself is off by up to 4e-10.
#include <vector>

#include "core/complex.h"

namespace kelvora::testing {

inline long double ReducedAngle(long long k, long long n, long long period) {
  return kTwoPi * static_cast<long double>((k * n) % period) / static_cast<long double>(period);
}

// C[k] = (1/N') sum_{n=0..N'} (padded[n], 0) * exp(0 - i 2 pi k n / N'). fs only sets f[k] = k fs / N', which the
// angle 2 pi f[k] t[n] = 2 pi k n / N' does not depend on.
inline Complex DirectCoefficient(const std::vector<double>& padded, int k, int /*fs*/) {
  const int last = static_cast<int>(padded.size()) - 1;
  Complex sum{};
  for (int n = 0; n <= last; ++n)
    sum += MakeComplex(padded[static_cast<std::size_t>(n)], 0) * Exp(MakeComplex(0, -ReducedAngle(k, n, last)));
  return sum / MakeComplex(last, 0);
}

// y[n] = c0 + sum_{k=lo..hi, kept} (d[k] e^{+i w t_n} + conj(d[k]) e^{-i w t_n}), w t_n = 2 pi k n / N'.
inline Complex DirectReconstruction(const std::vector<Complex>& d, const std::vector<unsigned char>& excluded, int lo,
                                    int hi, Complex c0, int last, int /*fs*/, int n) {
  Complex y{};
  for (int k = lo; k <= hi; ++k) {
    if (!excluded.empty() && excluded[static_cast<std::size_t>(k)]) continue;
    const long double angle = ReducedAngle(k, n, last);
    const Complex dk = d[static_cast<std::size_t>(k)];
    y += dk * Exp(MakeComplex(0, angle)) + Conjugate(dk) * Exp(MakeComplex(0, -angle));
  }
  return y + c0;
}

}  // namespace kelvora::testing
