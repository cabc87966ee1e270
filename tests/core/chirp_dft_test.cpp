#include "core/chirp_dft.h"

#include <gtest/gtest.h>

#include <cmath>
#include <vector>

namespace kelvora {
namespace {

TEST(ChirpDft, MatchesThePlainSumForPrimeEvenAndPowerOfTwoLengths) {
  for (int n : {2, 3, 8, 97, 100, 256, 1201}) {
    SCOPED_TRACE(n);
    std::vector<Complex> x(static_cast<std::size_t>(n));
    for (int i = 0; i < n; ++i)
      x[static_cast<std::size_t>(i)] = MakeComplex(std::sin(1.3 * i) + 0.2, std::cos(0.7 * i * i));
    for (int sign : {-1, +1}) {
      const std::vector<Complex> fast = ChirpDft(x, sign);
      ASSERT_EQ(fast.size(), x.size());
      for (int k = 0; k < n; k += std::max(1, n / 17)) {
        Complex sum{};
        for (int j = 0; j < n; ++j) {
          const long long phase = (static_cast<long long>(k) * j) % n;
          const long double angle = sign * kTwoPi * static_cast<long double>(phase) / n;
          sum = Sum(sum, Product(x[static_cast<std::size_t>(j)], Exp(MakeComplex(0, angle))));
        }
        const Complex got = fast[static_cast<std::size_t>(k)];
        EXPECT_NEAR(static_cast<double>(got.re), static_cast<double>(sum.re), 1e-14 * n);
        EXPECT_NEAR(static_cast<double>(got.im), static_cast<double>(sum.im), 1e-14 * n);
      }
    }
  }
}

TEST(ChirpDft, LengthOneIsTheIdentity) {
  const std::vector<Complex> out = ChirpDft({MakeComplex(3, -1)}, -1);
  ASSERT_EQ(out.size(), 1u);
  EXPECT_EQ(out[0].re, 3.0L);
  EXPECT_EQ(out[0].im, -1.0L);
  EXPECT_EQ(ChirpFftLength(1201), 4096);
}

}  // namespace
}  // namespace kelvora
