#include "core/complex.h"

#include <cmath>
#include <utility>

#include <gtest/gtest.h>

namespace kelvora {
namespace {

TEST(Complex, ArithmeticMatchesHandValues) {
  const Complex a = MakeComplex(3, 4), b = MakeComplex(1, -2);
  EXPECT_EQ(Sum(a, b).re, 4);
  EXPECT_EQ(Sum(a, b).im, 2);
  // (3+4i)(1-2i) = 3 - 6i + 4i + 8 = 11 - 2i
  EXPECT_EQ(Product(a, b).re, 11);
  EXPECT_EQ(Product(a, b).im, -2);
  // (3+4i)/(1-2i) = (3+4i)(1+2i)/5 = (-5+10i)/5 = -1+2i
  EXPECT_NEAR(static_cast<double>(Quotient(a, b).re), -1.0, 1e-18);
  EXPECT_NEAR(static_cast<double>(Quotient(a, b).im), 2.0, 1e-18);
  EXPECT_EQ(Modulus(a), 5);
  EXPECT_EQ(Conjugate(a).im, -4);
}

TEST(Complex, PowerAndExpInPolarForm) {
  // (1+i)^5 = 4*sqrt(2)^... : (1+i)^2 = 2i, ^4 = -4, ^5 = -4-4i
  const Complex p = Power(MakeComplex(1, 1), 5);
  EXPECT_NEAR(static_cast<double>(p.re), -4.0, 1e-15);
  EXPECT_NEAR(static_cast<double>(p.im), -4.0, 1e-15);
  EXPECT_EQ(Power(MakeComplex(2, 3), 0).re, 1);
  const Complex e = Exp(MakeComplex(1, kPi / 2));
  EXPECT_NEAR(static_cast<double>(e.re), 0.0, 1e-15);
  EXPECT_NEAR(static_cast<double>(e.im), std::exp(1.0), 1e-15);
}

TEST(Complex, OperatorsAreTheNamedOperations) {
  const Complex a = MakeComplex(3, 4), b = MakeComplex(1, -2);
  for (const auto& [got, want] : {std::pair{a + b, Sum(a, b)}, std::pair{a * b, Product(a, b)},
                                   std::pair{a / b, Quotient(a, b)}, std::pair{a - b, MakeComplex(2, 6)},
                                   std::pair{-a, MakeComplex(-3, -4)}, std::pair{a * 2.0L, MakeComplex(6, 8)},
                                   std::pair{0.5L * a, MakeComplex(1.5, 2)}, std::pair{a / 2.0L, MakeComplex(1.5, 2)}}) {
    EXPECT_EQ(got.re, want.re);
    EXPECT_EQ(got.im, want.im);
  }
  Complex c = a;
  c += b;
  c -= b;
  c *= b;
  c /= b;
  EXPECT_NEAR(static_cast<double>(c.re), 3.0, 1e-18);
  EXPECT_NEAR(static_cast<double>(c.im), 4.0, 1e-18);
}

}  // namespace
}  // namespace kelvora
