#pragma once
// Complex numbers in 80-bit extended precision, as used by the Fourier and wavelet code.

namespace kelvora {

struct Complex {
  long double re = 0.0L;
  long double im = 0.0L;
};

inline constexpr long double kPi = 3.1415926535897932385L;
inline constexpr long double kTwoPi = 6.283185307179586477L;

Complex MakeComplex(long double re, long double im);
inline long double RealPart(Complex z) { return z.re; }
inline long double ImagPart(Complex z) { return z.im; }
Complex Conjugate(Complex z);
Complex Sum(Complex a, Complex b);
Complex Product(Complex a, Complex b);
// a / b; b must not be zero (the result is then non-finite).
Complex Quotient(Complex a, Complex b);
long double Modulus(Complex z);
// z^n in polar form: the modulus raised by repeated squaring, the angle multiplied by n.
// n = 0 gives (1, 0); negative n is treated as 0.
Complex Power(Complex z, int n);
// e^z = e^re * (cos im, sin im).
Complex Exp(Complex z);

}  // namespace kelvora
