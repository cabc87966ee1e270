#pragma once
// Plain direct evaluations of the transform and reconstruction sums, one complex exponential per term, used as
// the oracle for the fast code.
#include <vector>

#include "core/complex.h"

namespace kelvora::testing {

// C[k] = (1/N') sum_{n=0..N'} (padded[n], 0) * exp(0 + i theta), theta = -2 pi f[k] t[n], f[k] = k fs / N',
// t[n] = n / fs.
inline Complex DirectCoefficient(const std::vector<double>& padded, int k, int fs) {
  const int last = static_cast<int>(padded.size()) - 1;
  const long double fk = static_cast<long double>(k) / last * fs;
  Complex sum{};
  for (int n = 0; n <= last; ++n) {
    const long double tn = static_cast<long double>(n) * (1.0L / fs);
    const long double theta = -kTwoPi * fk * tn;
    sum = Sum(sum, Product(MakeComplex(padded[static_cast<std::size_t>(n)], 0), Exp(MakeComplex(0, theta))));
  }
  return Quotient(sum, MakeComplex(last, 0));
}

// y[n] = c0 + sum_{k=lo..hi, kept} (d[k] e^{+i w t_n} + conj(d[k]) e^{-i w t_n}), w = 2 pi f[k].
inline Complex DirectReconstruction(const std::vector<Complex>& d, const std::vector<unsigned char>& excluded, int lo,
                                    int hi, Complex c0, int last, int fs, int n) {
  Complex y{};
  const long double tn = static_cast<long double>(n) * (1.0L / fs);
  for (int k = lo; k <= hi; ++k) {
    if (!excluded.empty() && excluded[static_cast<std::size_t>(k)]) continue;
    const long double w = kTwoPi * (static_cast<long double>(k) / last * fs);
    const Complex dk = d[static_cast<std::size_t>(k)];
    y = Sum(y, Sum(Product(dk, Exp(MakeComplex(0, w * tn))), Product(Conjugate(dk), Exp(MakeComplex(0, -w * tn)))));
  }
  return Sum(y, c0);
}

}  // namespace kelvora::testing
