// The FFT path of the Morlet transform against the plain sum that defines it; the grid and the cone's edges.
#include "analysis/morlet_transform.h"

#include <gtest/gtest.h>

#include <cmath>
#include <memory>
#include <numbers>
#include <random>
#include <vector>

#include "analysis/cone_of_influence.h"
#include "analysis/frequency_grid.h"

namespace kelvora {
namespace {

// W(f, n) = sqrt(2/pi) / a * sum_m y[m] exp(-i w0 (m - n) / a) exp(-((m - n) / a)^2 / 2), a = f0 fs / f, in long
// double, term by term.
std::vector<std::complex<long double>> DirectRow(const std::vector<double>& y, double fs, double f0, double f) {
  const long double a = static_cast<long double>(f0) * fs / f;
  const long double w0 = 2 * std::numbers::pi_v<long double> * f0;
  const long double gain = std::sqrt(2 / std::numbers::pi_v<long double>) / a;
  std::vector<std::complex<long double>> row(y.size());
  for (std::size_t n = 0; n < y.size(); ++n) {
    std::complex<long double> sum = 0;
    for (std::size_t m = 0; m < y.size(); ++m) {
      const long double u = (static_cast<long double>(m) - static_cast<long double>(n)) / a;
      sum += static_cast<long double>(y[m]) * std::exp(-u * u / 2) * std::polar(1.0L, -w0 * u);
    }
    row[n] = gain * sum;
  }
  return row;
}

struct TransformCase {
  double f0;
  double fs;
  int samples;
  double fMin;
};

void PrintTo(const TransformCase& c, std::ostream* out) {
  *out << "f0 " << c.f0 << ", fs " << c.fs << " Hz, N " << c.samples << ", f_min " << c.fMin << " Hz";
}

class MorletAgainstDirectSum : public ::testing::TestWithParam<TransformCase> {};

// Every row from f_min up to fs / 2 (the Nyquist frequency, where the kernel's spectrum folds over itself), of
// noise with an offset, agrees with the direct sum to 1e-9 of the largest |W|.
TEST_P(MorletAgainstDirectSum, EveryRowAgreesToOneBillionthOfTheLargestValue) {
  const TransformCase c = GetParam();
  std::mt19937 rng(static_cast<unsigned>(c.samples * 31 + c.fs));
  std::uniform_real_distribution<double> noise(-1.0, 1.0);
  std::vector<double> y(static_cast<std::size_t>(c.samples));
  for (double& v : y) v = 3.0 + noise(rng);
  std::vector<double> frequencies = VoiceFrequencies(c.fMin, c.fs / 2.0, 3);
  frequencies.push_back(c.fs / 2.0);
  const MorletTransform transform(y, c.fs, c.f0, frequencies);
  ASSERT_GE(transform.paddedLength(), y.size() + static_cast<std::size_t>(7.43 * c.f0 * c.fs / frequencies.front()));

  std::vector<std::vector<std::complex<long double>>> direct;
  long double largest = 0;
  for (const double f : frequencies) {
    direct.push_back(DirectRow(y, c.fs, c.f0, f));
    for (const auto& w : direct.back()) largest = std::max(largest, std::abs(w));
  }
  MorletWorkspace workspace;
  for (std::size_t j = 0; j < frequencies.size(); ++j) {
    const std::span<const fft::ComplexD> row = transform.row(j, workspace);
    ASSERT_EQ(row.size(), y.size());
    long double worst = 0;
    for (std::size_t n = 0; n < y.size(); ++n)
      worst = std::max(worst, std::abs(std::complex<long double>(row[n]) - direct[j][n]));
    EXPECT_LE(worst, 1e-9L * largest) << "f = " << frequencies[j] << " Hz";
  }
}

INSTANTIATE_TEST_SUITE_P(CentreFrequenciesRatesAndLengths, MorletAgainstDirectSum,
                         ::testing::Values(TransformCase{1.0, 2.0, 1, 0.05}, TransformCase{1.0, 2.0, 7, 0.05},
                                           TransformCase{0.5, 2.0, 301, 0.01}, TransformCase{1.0, 2.0, 256, 0.005},
                                           TransformCase{3.0, 2.0, 200, 0.05}, TransformCase{2.0, 40.0, 257, 0.5},
                                           TransformCase{1.0, 500.0, 400, 10.0}));

// A sinusoid well inside the record has |W| equal to its amplitude at its own frequency, up to fs / 3 (beyond,
// its mirror image above the Nyquist frequency lies inside the kernel's band).
TEST(MorletTransform, SinusoidInsideTheRecordHasItsAmplitude) {
  const double fs = 2.0;
  for (const double f : {0.01, 0.2, 0.6}) {
    std::vector<double> y(4000);
    for (std::size_t i = 0; i < y.size(); ++i) y[i] = 1.5 * std::cos(2 * std::numbers::pi * f * i / fs + 0.3);
    const MorletTransform transform(y, fs, 1.0, {f});
    MorletWorkspace workspace;
    const auto row = transform.row(0, workspace);
    for (const std::size_t n : {std::size_t{1800}, std::size_t{2000}, std::size_t{2300}})
      EXPECT_NEAR(std::abs(row[n]), 1.5, 1.5e-6) << f << " Hz, n = " << n;
  }
}

TEST(MorletTransform, RefusesEmptyRecordsAndFrequenciesBeyondNyquist) {
  const std::vector<double> y(10, 1.0);
  EXPECT_THROW(MorletTransform({}, 2.0, 1.0, {0.1}), std::invalid_argument);
  EXPECT_THROW(MorletTransform(y, 2.0, 1.0, {1.5}), std::invalid_argument);
  EXPECT_THROW(MorletTransform(y, 2.0, 1.0, {}), std::invalid_argument);
  EXPECT_THROW(MorletTransform(y, 2.0, 1.0, {1e-9}), std::length_error);
}

// The valid samples are exactly the n that satisfy n / fs >= c s and (N - 1 - n) / fs >= c s, also where c s fs
// is a whole number and for records too short to have any.
TEST(ConeOfInfluence, ValidSamplesAreExactlyThoseTheInequalitiesAdmit) {
  struct Case {
    double f, f0, fs;
    long long n;
  };
  for (const Case c : {Case{0.01, 1.0, 2.0, 3600}, Case{2.576, 1.0, 1000.0, 2500}, Case{0.1, 0.5, 2.0, 27},
                       Case{0.005, 1.0, 2.0, 1000}, Case{0.3, 3.0, 2.0, 53}, Case{1.288, 1.0, 1.0, 5}}) {
    const SampleRange valid = ValidSamples(c.f, c.f0, c.fs, c.n);
    const double edge = 2.576 * (c.f0 / c.f);
    long long count = 0;
    for (long long n = 0; n < c.n; ++n) {
      const bool inside = n / c.fs >= edge && (c.n - 1 - n) / c.fs >= edge;
      EXPECT_EQ(valid.contains(n), inside) << c.f << " Hz, n = " << n;
      count += inside;
    }
    EXPECT_EQ(valid.size(), count);
  }
  EXPECT_DOUBLE_EQ(ConeEdgeSeconds(0.01, 1.0), 257.6);
}

TEST(FrequencyGrid, HoldsEveryPowerOfTwoStepBetweenTheEnds) {
  EXPECT_EQ(VoiceFrequencies(0.005, 2.0 / 3.0, 32).size(), 226u);
  EXPECT_EQ(VoiceFrequencies(0.005, 2.0, 32).size(), 277u);
  const std::vector<double> grid = VoiceFrequencies(0.5, 4.0, 2);
  ASSERT_EQ(grid.size(), 7u);
  for (std::size_t j = 0; j < grid.size(); ++j) EXPECT_DOUBLE_EQ(grid[j], std::exp2(-1.0 + j / 2.0));
  EXPECT_TRUE(VoiceFrequencies(0.3, 0.31, 4).empty());
  EXPECT_TRUE(VoiceFrequencies(0.0, 1.0, 32).empty());
  EXPECT_TRUE(VoiceFrequencies(1.0, 0.5, 32).empty());
}

// Kernel spectra kept once give every row of every record of that length exactly as the transform that
// evaluates them on the fly; a record of another length is refused.
TEST(MorletKernels, SharedKernelsGiveTheSameRowsToTheLastBit) {
  std::mt19937_64 rng(3);
  std::uniform_real_distribution<double> uniform(-1.0, 1.0);
  const std::vector<double> frequencies = VoiceFrequencies(0.01, 0.9, 4);  // small scales fold over L
  auto kernels = std::make_shared<const MorletKernels>(500, 2.0, 1.0, frequencies);
  for (int record = 0; record < 2; ++record) {
    std::vector<double> y(500);
    for (double& v : y) v = uniform(rng);
    const MorletTransform plain(y, 2.0, 1.0, frequencies);
    const MorletTransform shared(y, kernels);
    ASSERT_EQ(shared.paddedLength(), plain.paddedLength());
    MorletWorkspace a, b;
    for (std::size_t j = 0; j < frequencies.size(); ++j) {
      const auto p = plain.row(j, a);
      const auto q = shared.row(j, b);
      for (std::size_t n = 0; n < p.size(); ++n) ASSERT_EQ(p[n], q[n]) << "row " << j << " sample " << n;
      EXPECT_EQ(shared.validRange(j).first, plain.validRange(j).first);
    }
  }
  EXPECT_THROW(MorletTransform(std::vector<double>(499, 1.0), kernels), std::invalid_argument);
}

}  // namespace
}  // namespace kelvora
