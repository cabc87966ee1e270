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

// The operators are the named operations above, so that formulas read as written: a * b is Product(a, b),
// a / b is Quotient(a, b). A real operand s stands for (s, 0).
inline Complex operator+(Complex a, Complex b) { return Complex{a.re + b.re, a.im + b.im}; }
inline Complex operator-(Complex a, Complex b) { return Complex{a.re - b.re, a.im - b.im}; }
inline Complex operator-(Complex z) { return Complex{-z.re, -z.im}; }
inline Complex operator*(Complex a, Complex b) {
  return Complex{a.re * b.re - a.im * b.im, a.re * b.im + b.re * a.im};
}
inline Complex operator*(Complex z, long double s) { return Complex{z.re * s, z.im * s}; }
inline Complex operator*(long double s, Complex z) { return Complex{s * z.re, s * z.im}; }
inline Complex operator/(Complex a, Complex b) { return Quotient(a, b); }
inline Complex operator/(Complex z, long double s) { return Complex{z.re / s, z.im / s}; }
inline Complex& operator+=(Complex& a, Complex b) { return a = a + b; }
inline Complex& operator-=(Complex& a, Complex b) { return a = a - b; }
inline Complex& operator*=(Complex& a, Complex b) { return a = a * b; }
inline Complex& operator*=(Complex& a, long double s) { return a = a * s; }
inline Complex& operator/=(Complex& a, Complex b) { return a = a / b; }
inline Complex& operator/=(Complex& a, long double s) { return a = a / s; }

}  // namespace kelvora
