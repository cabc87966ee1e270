// The phase-difference sums of the short-FFT rows against a plain evaluation of the transform's definition,
// over grids whose rows are split into many short FFTs, padded in several groups, or folded (scales of a few
// samples).
#include "analysis/coherence_rows.h"

#include <gtest/gtest.h>

#include <cmath>
#include <complex>
#include <numbers>
#include <random>

#include "analysis/frequency_grid.h"

namespace kelvora {
namespace {

using Complex = std::complex<double>;

struct RowsCase {
  std::size_t samples;
  double sampleRateHz;
  double centreFrequency;
  double lowHz, highHz;
  int voices;
};

class CoherenceRows : public ::testing::TestWithParam<RowsCase> {};

// W(f, n) up to its constant factor, by the sum that defines it.
Complex Direct(const std::vector<double>& y, double scaleSamples, double w0, long long n) {
  Complex sum = 0.0;
  for (std::size_t m = 0; m < y.size(); ++m) {
    const double u = (static_cast<double>(m) - static_cast<double>(n)) / scaleSamples;
    if (std::abs(u) > 9.0) continue;  // exp(-40): far below what the comparison can see
    sum += y[m] * std::polar(std::exp(-0.5 * u * u), -w0 * u);
  }
  return sum;
}

TEST_P(CoherenceRows, SumsAgreeWithThePlainTransform) {
  const RowsCase c = GetParam();
  std::mt19937_64 rng(7);
  std::normal_distribution<double> noise(0.0, 1.0);
  std::vector<double> t(c.samples), bf(c.samples);
  for (std::size_t i = 0; i < c.samples; ++i) {
    bf[i] = noise(rng) + std::sin(0.05 * static_cast<double>(i));
    t[i] = 0.5 * noise(rng) + (i > 0 ? 0.8 * bf[i - 1] : 0.0);
  }
  const std::vector<double> grid = VoiceFrequencies(c.lowHz, c.highHz, c.voices);
  ASSERT_FALSE(grid.empty());
  const auto kernels = std::make_shared<const CoherenceKernels>(static_cast<long long>(c.samples), c.sampleRateHz,
                                                                c.centreFrequency, grid);
  const CoherenceSpectra st(t, kernels), sbf(bf, kernels);
  CoherenceWorkspace workspace;
  const double w0 = 2.0 * std::numbers::pi * c.centreFrequency;
  int split = 0, whole = 0, checked = 0;
  for (std::size_t j = 0; j < grid.size(); ++j) {
    const SampleRange& valid = kernels->validRanges()[j];
    const std::optional<PhaseSum> sum = SumPhaseDifferences(st, sbf, j, workspace, nullptr);
    ASSERT_TRUE(sum.has_value());
    (kernels->subLength(j) < kernels->paddedLength(j) ? split : whole) += 1;
    const double scale = c.centreFrequency * c.sampleRateHz / grid[j];
    Complex direct = 0.0;
    long long count = 0;
    for (long long n = valid.first; n <= valid.last; ++n) {
      const Complex a = Direct(t, scale, w0, n), b = Direct(bf, scale, w0, n);
      if (std::abs(a) == 0.0 || std::abs(b) == 0.0) continue;
      direct += b * std::conj(a) / (std::abs(a) * std::abs(b));
      ++count;
    }
    EXPECT_EQ(sum->count, count) << j;
    if (count == 0) continue;
    EXPECT_NEAR(std::abs(sum->sum) / static_cast<double>(sum->count), std::abs(direct) / static_cast<double>(count), 1e-9)
        << "row " << j << " f " << grid[j];
    // The mean phasor itself (its angle is the lag), compared as a complex number to stay clear of the cut at pi.
    EXPECT_LT(std::abs(sum->sum - direct) / static_cast<double>(count), 1e-9) << "row " << j;
    ++checked;
  }
  EXPECT_GE(checked, 5);
  if (c.highHz * 5.0 < c.sampleRateHz * c.centreFrequency) {
    EXPECT_GT(split, 0);
  }
}

INSTANTIATE_TEST_SUITE_P(Grids, CoherenceRows,
                         ::testing::Values(RowsCase{1500, 40.0, 1.0, 0.6, 4.0, 4},    // short FFTs, groups
                                           RowsCase{700, 2.0, 1.0, 0.02, 0.66, 6},     // scales of 3 samples
                                           RowsCase{500, 2.0, 0.5, 0.05, 1.0, 3},      // folded at Nyquist
                                           RowsCase{1000, 10.0, 3.0, 0.2, 5.0, 2}));  // f0 = 3

TEST(CoherenceRowsGroups, RowsArePaddedOnlyAsFarAsTheirKernelsReach) {
  const std::vector<double> grid = VoiceFrequencies(0.005, 2.0, 32);
  const CoherenceKernels kernels(72000, 40.0, 1.0, grid);
  const std::vector<std::size_t> lengths = kernels.groupLengths();
  ASSERT_GE(lengths.size(), 2u);
  for (std::size_t j = 0; j < grid.size(); ++j) {
    const double reach = std::sqrt(2.0 * std::log(1e12)) * 40.0 / grid[j];
    EXPECT_GE(static_cast<double>(kernels.paddedLength(j)), 72000.0 + reach) << j;
    EXPECT_LE(static_cast<double>(kernels.paddedLength(j)), 1.25 * (72000.0 + reach) + 1024.0) << j;
    EXPECT_EQ(kernels.paddedLength(j) % kernels.subLength(j), 0u) << j;
  }
  const std::vector<double> t(100, 1.0);
  const auto shared = std::make_shared<const CoherenceKernels>(72000, 40.0, 1.0, grid);
  EXPECT_THROW(CoherenceSpectra(t, shared), std::invalid_argument);
  EXPECT_THROW(CoherenceKernels(0, 40.0, 1.0, grid), std::invalid_argument);
  EXPECT_THROW(CoherenceKernels(100, 40.0, 1.0, {30.0}), std::invalid_argument);
}

}  // namespace
}  // namespace kelvora
