#include "core/complex.h"

#include <cmath>

namespace kelvora {

Complex MakeComplex(long double re, long double im) { return Complex{re, im}; }

Complex Conjugate(Complex z) { return Complex{z.re, -z.im}; }

Complex Sum(Complex a, Complex b) { return a + b; }

Complex Product(Complex a, Complex b) { return a * b; }

Complex Quotient(Complex a, Complex b) {
  const long double d = 1.0L / (b.re * b.re + b.im * b.im);
  return Complex{d * (b.re * a.re + b.im * a.im), d * (b.re * a.im - b.im * a.re)};
}

long double Modulus(Complex z) { return std::sqrt(z.re * z.re + z.im * z.im); }

Complex Power(Complex z, int n) {
  if (n <= 0) return Complex{1.0L, 0.0L};
  long double base = Modulus(z);
  long double r = 1.0L;
  for (unsigned bits = static_cast<unsigned>(n); bits != 0; bits >>= 1) {
    if (bits & 1u) r *= base;
    base *= base;
  }
  const long double angle = std::atan2(z.im, z.re) * static_cast<long double>(n);
  return Complex{r * std::cos(angle), r * std::sin(angle)};
}

Complex Exp(Complex z) {
  const long double e = std::exp(z.re);
  return Complex{e * std::cos(z.im), e * std::sin(z.im)};
}

}  // namespace kelvora
