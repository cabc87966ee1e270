// The FFTW transforms against a direct evaluation of the DFT sums, in both precisions.
#include "core/fft.h"

#include <gtest/gtest.h>

#include <cmath>
#include <numbers>
#include <random>
#include <thread>
#include <vector>

namespace kelvora::fft {
namespace {

// X[k] = sum_j x[j] e^{sign 2 pi i j k / n}, with the phase reduced as (j k mod n) so that the oracle itself is
// exact to long double rounding.
template <typename In>
std::vector<std::complex<long double>> Direct(const std::vector<In>& x, int sign) {
  const std::size_t n = x.size();
  std::vector<std::complex<long double>> out(n);
  for (std::size_t k = 0; k < n; ++k) {
    std::complex<long double> sum = 0;
    for (std::size_t j = 0; j < n; ++j) {
      const long double phase = sign * 2 * std::numbers::pi_v<long double> * static_cast<long double>((j * k) % n) / n;
      sum += std::complex<long double>(x[j]) * std::complex<long double>(std::cos(phase), std::sin(phase));
    }
    out[k] = sum;
  }
  return out;
}

template <typename T>
std::vector<T> Noise(std::size_t n, unsigned seed) {
  std::mt19937 rng(seed);
  std::uniform_real_distribution<double> u(-1.0, 1.0);
  std::vector<T> x(n);
  for (auto& v : x) v = static_cast<T>(u(rng)) + static_cast<T>(0.25);  // a mean, so bin 0 is not small
  return x;
}

class FftLengths : public ::testing::TestWithParam<std::size_t> {};

// Awkward lengths too: primes, and 3 * 37 * 191 style products whose factors FFTW handles by general codelets.
INSTANTIATE_TEST_SUITE_P(Lengths, FftLengths, ::testing::Values(1, 2, 3, 8, 97, 210, 1201, 3 * 37 * 19));

TEST_P(FftLengths, RealTransformsInBothPrecisionsAgreeWithTheDirectSumAndInvert) {
  const std::size_t n = GetParam();
  const std::vector<long double> xl = Noise<long double>(n, 7);
  const std::vector<double> xd(xl.begin(), xl.end());
  const auto oracle = Direct(xl, -1);
  long double largest = 0;
  for (const auto& c : oracle) largest = std::max(largest, std::abs(c));

  std::vector<ComplexL> bl(n / 2 + 1);
  ForwardReal(xl, bl);
  AlignedVector<double> ad(xd.begin(), xd.end());
  AlignedVector<ComplexD> bd(n / 2 + 1);
  ForwardReal(ad, bd);
  for (std::size_t k = 0; k <= n / 2; ++k) {
    EXPECT_LE(std::abs(bl[k] - oracle[k]), 1e-16L * largest * std::log2(n + 1.0L) + 1e-18L) << "n " << n << " k " << k;
    EXPECT_LE(std::abs(std::complex<long double>(bd[k]) - oracle[k]), 1e-13L * largest) << "n " << n << " k " << k;
  }

  std::vector<long double> back(n);
  BackwardReal(bl, back);
  for (std::size_t j = 0; j < n; ++j) EXPECT_NEAR(static_cast<double>(back[j] / n), static_cast<double>(xl[j]), 1e-15);
}

TEST_P(FftLengths, ComplexTransformsAgreeWithTheDirectSumInAndOutOfPlaceAndUnaligned) {
  const std::size_t n = GetParam();
  const std::vector<double> re = Noise<double>(n, 3), im = Noise<double>(n, 4);
  std::vector<ComplexD> x(n);
  for (std::size_t j = 0; j < n; ++j) x[j] = {re[j], im[j]};
  const std::vector<std::complex<long double>> xl(x.begin(), x.end());
  for (int sign : {-1, +1}) {
    const auto oracle = Direct(xl, sign);
    // One element into an aligned buffer: an address FFTW's SIMD plans cannot take.
    AlignedVector<ComplexD> shifted(n + 1);
    std::copy(x.begin(), x.end(), shifted.begin() + 1);
    std::span<ComplexD> unaligned(shifted.data() + 1, n);
    std::vector<ComplexD> out(n);
    if (sign < 0) {
      Forward(x, out);
      Forward(unaligned, unaligned);
    } else {
      Backward(x, out);
      Backward(unaligned, unaligned);
    }
    for (std::size_t k = 0; k < n; ++k) {
      EXPECT_LE(std::abs(std::complex<long double>(out[k]) - oracle[k]), 1e-12L * n) << n << " " << k;
      EXPECT_EQ(out[k], unaligned[k]) << n << " " << k;
    }
  }
}

TEST(Fft, PlansAreMadeOncePerLengthAndShareableAcrossThreads) {
  const std::size_t n = 4099;  // used by no other test
  std::vector<double> x = Noise<double>(n, 1);
  std::vector<ComplexD> y(n / 2 + 1);
  ForwardReal(x, y);
  const std::size_t plans = PlanCount();
  const std::vector<ComplexD> first = y;
  std::vector<std::thread> threads;
  std::vector<int> same(4, 0);
  for (int t = 0; t < 4; ++t) {
    threads.emplace_back([&, t] {
      std::vector<ComplexD> z(n / 2 + 1);
      for (int r = 0; r < 20; ++r) ForwardReal(x, z);
      same[t] = z == first;
    });
  }
  for (auto& th : threads) th.join();
  EXPECT_EQ(PlanCount(), plans);
  for (int t = 0; t < 4; ++t) EXPECT_TRUE(same[t]) << t;
}

TEST(Fft, BadSizesAreRefusedAndFastLengthsHaveSmallFactors) {
  std::vector<double> x(8);
  std::vector<ComplexD> wrong(4);
  EXPECT_THROW(ForwardReal(x, wrong), std::invalid_argument);
  std::vector<ComplexD> none;
  EXPECT_THROW(Forward(none, none), std::invalid_argument);
  EXPECT_EQ(FastLength(1), 1u);
  EXPECT_EQ(FastLength(11), 12u);
  EXPECT_EQ(FastLength(21201), 21504u);  // 2^10 * 3 * 7
  EXPECT_EQ(FastLength(4096), 4096u);
}

}  // namespace
}  // namespace kelvora::fft

namespace kelvora::fft {
namespace {

// Regression: every length ever transformed kept its plan for the life of the process. The cache holds at most
// kMaxCachedPlans; a held transform keeps working after the cache let its plan go.
TEST(FftPlanCache, IsBoundedAndAHeldTransformOutlivesItsEntry) {
  const std::size_t n = 48;
  const BackwardTransform held(n, false);
  for (std::size_t length = 1000; length < 1000 + 2 * kMaxCachedPlans; ++length) {
    std::vector<ComplexD> x(length, ComplexD(1.0, 0.0));
    Forward(x, x);
  }
  EXPECT_LE(CachedPlanCount(), kMaxCachedPlans);
  AlignedVector<ComplexD> in(n, ComplexD(0.0, 0.0)), out(n);
  in[1] = ComplexD(1.0, 0.0);  // e^{2 pi i j / n}
  held(in, out);
  for (std::size_t j = 0; j < n; ++j) {
    const double angle = 2.0 * std::numbers::pi * static_cast<double>(j) / static_cast<double>(n);
    EXPECT_NEAR(out[j].real(), std::cos(angle), 1e-14);
    EXPECT_NEAR(out[j].imag(), std::sin(angle), 1e-14);
  }
  EXPECT_EQ(in[1], ComplexD(1.0, 0.0));  // kept
}

}  // namespace
}  // namespace kelvora::fft
