#include "core/complex.h"

#include <cmath>

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

}  // namespace
}  // namespace kelvora
