// The study's statistics against direct evaluations: the exact p-values of both rank tests by enumerating every
// sign pattern or rank set, the normal approximations with ties from their formulas, Holm, Hodges-Lehmann and
// the type-7 quartiles.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <vector>

#include "analysis/study_statistics.h"

namespace kelvora {
namespace {

// Mid-rank of v among all: the values below it plus the mean position of its ties.
double PlainRank(const std::vector<double>& all, double v) {
  double below = 0, equal = 0;
  for (double a : all) {
    below += a < v;
    equal += a == v;
  }
  return below + (equal + 1.0) / 2.0;
}

double TieSum(const std::vector<double>& all) {
  double sum = 0.0;
  std::vector<double> seen;
  for (double v : all) {
    if (std::find(seen.begin(), seen.end(), v) != seen.end()) continue;
    seen.push_back(v);
    const double t = static_cast<double>(std::count(all.begin(), all.end(), v));
    sum += t * t * t - t;
  }
  return sum;
}

double TwoSided(double lower, double upper, double total) { return std::min(1.0, 2.0 * std::min(lower, upper) / total); }

struct Sample {
  std::vector<double> x, y;
};

class ExactRankTests : public ::testing::TestWithParam<Sample> {};

TEST_P(ExactRankTests, SignedRankPEqualsTheEnumerationOfEverySignPattern) {
  const std::vector<double>& d = GetParam().x;
  std::vector<double> magnitude;
  for (double v : d) magnitude.push_back(std::fabs(v));
  double w = 0.0;
  for (std::size_t i = 0; i < d.size(); ++i)
    if (d[i] > 0) w += PlainRank(magnitude, magnitude[i]);
  const std::size_t n = d.size();
  double lower = 0, upper = 0;
  for (unsigned mask = 0; mask < (1u << n); ++mask) {
    double s = 0.0;
    for (std::size_t i = 0; i < n; ++i)
      if (mask & (1u << i)) s += PlainRank(magnitude, magnitude[i]);
    lower += s <= w;
    upper += s >= w;
  }
  const RankTestResult r = WilcoxonSignedRank(d);
  EXPECT_EQ(r.method, RankTestMethod::kExact);
  EXPECT_EQ(r.statistic, w);
  EXPECT_NEAR(r.p, TwoSided(lower, upper, std::pow(2.0, static_cast<double>(n))), 1e-12);
}

TEST_P(ExactRankTests, RankSumPEqualsTheEnumerationOfEveryRankSet) {
  const std::vector<double>& x = GetParam().x;
  const std::vector<double>& y = GetParam().y;
  std::vector<double> all = x;
  all.insert(all.end(), y.begin(), y.end());
  const std::size_t n1 = x.size(), total = all.size();
  double u = 0.0;
  for (double a : x) u += PlainRank(all, a);
  u -= static_cast<double>(n1 * (n1 + 1)) / 2.0;
  double lower = 0, upper = 0, sets = 0;
  for (unsigned mask = 0; mask < (1u << total); ++mask) {
    if (static_cast<std::size_t>(__builtin_popcount(mask)) != n1) continue;
    double sum = 0.0;
    for (std::size_t i = 0; i < total; ++i)
      if (mask & (1u << i)) sum += static_cast<double>(i + 1);
    const double s = sum - static_cast<double>(n1 * (n1 + 1)) / 2.0;
    lower += s <= u;
    upper += s >= u;
    ++sets;
  }
  const RankTestResult r = MannWhitneyU(x, y);
  EXPECT_EQ(r.method, RankTestMethod::kExact);
  EXPECT_EQ(r.statistic, u);
  EXPECT_NEAR(r.p, TwoSided(lower, upper, sets), 1e-12);
}

INSTANTIATE_TEST_SUITE_P(
    DistinctValues, ExactRankTests,
    ::testing::Values(Sample{{1.5}, {2.5}}, Sample{{1, 2, 3, 4, 5}, {6, 7, 8}},
                      Sample{{-0.3, 1.1, 2.4, -3.2, 0.7, 5.5}, {0.2, 9.1, -1.4, 3.3, 4.4}},
                      Sample{{2.1, -0.4, 0.9, 3.7, -1.8, 0.25, 4.6, -2.9, 1.35, 0.6, 7.2, -5.1},
                             {0.1, 0.35, 1.0, -0.2, 2.2, 3.1, -1.1, 0.8}},
                      Sample{{0.11, 0.52, -0.33, 0.94, 1.25, -1.66, 2.07, 0.48, -0.79, 1.1, 0.01, -0.12, 0.23,
                              1.34, -0.45, 0.56},
                             {5, 4, 3, 2, 1, 0.5}}));

TEST(RankTests, HandWorkedExactValues) {
  // All five differences positive: W+ = 15, only 1 of 32 sign patterns reaches it on either side.
  EXPECT_NEAR(WilcoxonSignedRank(std::vector<double>{1, 2, 3, 4, 5}).p, 2.0 / 32.0, 1e-15);
  // Complete separation of 3 and 3: U = 0, 1 of the 20 rank sets on either side.
  const RankTestResult r = MannWhitneyU(std::vector<double>{1, 2, 3}, std::vector<double>{4, 5, 6});
  EXPECT_EQ(r.statistic, 0.0);
  EXPECT_NEAR(r.p, 2.0 / 20.0, 1e-15);
  EXPECT_DOUBLE_EQ(*r.estimate, -3.0);
}

// With ties the tests use the normal approximation; its formulas are evaluated here on their own.
TEST(RankTests, NormalApproximationWithTiesFollowsItsFormulas) {
  const std::vector<double> d = {1, -1, 2, 2, 3, 0, 4, -4, 4, 5, 6, 2};  // a zero and tied magnitudes
  std::vector<double> magnitude;
  for (double v : d)
    if (v != 0) magnitude.push_back(std::fabs(v));
  const double n = static_cast<double>(magnitude.size());
  double w = 0.0;
  for (double v : d)
    if (v > 0) w += PlainRank(magnitude, v);
  const double variance = n * (n + 1) * (2 * n + 1) / 24.0 - TieSum(magnitude) / 48.0;
  const double z = (std::fabs(w - n * (n + 1) / 4.0) - 0.5) / std::sqrt(variance);
  const RankTestResult signedRank = WilcoxonSignedRank(d);
  EXPECT_EQ(signedRank.method, RankTestMethod::kNormal);
  EXPECT_EQ(signedRank.n, 11);
  EXPECT_DOUBLE_EQ(signedRank.statistic, w);
  EXPECT_NEAR(signedRank.p, std::erfc(z / std::sqrt(2.0)), 1e-9);

  const std::vector<double> x = {1, 2, 2, 3, 5, 5, 7}, y = {2, 4, 5, 6, 6, 8, 9, 9};
  std::vector<double> all = x;
  all.insert(all.end(), y.begin(), y.end());
  const double n1 = 7, n2 = 8, total = 15;
  double u = -n1 * (n1 + 1) / 2.0;
  for (double v : x) u += PlainRank(all, v);
  const double varianceU = n1 * n2 / 12.0 * (total + 1 - TieSum(all) / (total * (total - 1)));
  const double zU = (std::fabs(u - n1 * n2 / 2.0) - 0.5) / std::sqrt(varianceU);
  const RankTestResult rankSum = MannWhitneyU(x, y);
  EXPECT_EQ(rankSum.method, RankTestMethod::kNormal);
  EXPECT_DOUBLE_EQ(rankSum.statistic, u);
  EXPECT_NEAR(rankSum.p, std::erfc(zU / std::sqrt(2.0)), 1e-9);
}

TEST(RankTests, AboveFiftyValuesTheNormalApproximationIsUsed) {
  std::vector<double> d;
  for (int i = 1; i <= 51; ++i) d.push_back(i % 3 == 0 ? -i : i);
  const RankTestResult r = WilcoxonSignedRank(d);
  EXPECT_EQ(r.method, RankTestMethod::kNormal);
  const double n = 51;
  const double z = (std::fabs(r.statistic - n * (n + 1) / 4) - 0.5) / std::sqrt(n * (n + 1) * (2 * n + 1) / 24);
  EXPECT_NEAR(r.p, std::erfc(z / std::sqrt(2.0)), 1e-9);
  std::vector<double> fifty(d.begin(), d.begin() + 50);
  EXPECT_EQ(WilcoxonSignedRank(fifty).method, RankTestMethod::kExact);
}

TEST(Holm, StepsDownAndKeepsTheOrder) {
  const std::vector<double> adjusted = HolmAdjust(std::vector<double>{0.03, 0.04, 0.01, 0.005});
  // Sorted: 0.005 * 4 = 0.02, 0.01 * 3 = 0.03, 0.03 * 2 = 0.06, 0.04 * 1 = 0.04 -> raised to 0.06.
  ASSERT_EQ(adjusted.size(), 4u);
  EXPECT_DOUBLE_EQ(adjusted[0], 0.06);
  EXPECT_DOUBLE_EQ(adjusted[1], 0.06);
  EXPECT_DOUBLE_EQ(adjusted[2], 0.03);
  EXPECT_DOUBLE_EQ(adjusted[3], 0.02);
  EXPECT_DOUBLE_EQ(HolmAdjust(std::vector<double>{0.6, 0.9})[1], 1.0);
}

TEST(HodgesLehmann, MedianOfWalshAveragesAndOfDifferences) {
  // Walsh averages of 1, 2, 9: 1, 1.5, 5, 2, 5.5, 9 -> median (2 + 5) / 2.
  EXPECT_DOUBLE_EQ(*HodgesLehmannOneSample(std::vector<double>{1, 2, 9}), 3.5);
  // Differences of {1, 3, 10} and {0, 2}: 1, -1, 3, 1, 10, 8 -> median (1 + 3) / 2.
  EXPECT_DOUBLE_EQ(*HodgesLehmannTwoSample(std::vector<double>{1, 3, 10}, std::vector<double>{0, 2}), 2.0);
  EXPECT_FALSE(HodgesLehmannOneSample(std::vector<double>{}).has_value());
}

TEST(Quantiles, LinearInterpolationTypeSeven) {
  const std::vector<double> v = {4, 1, 3, 2};
  EXPECT_DOUBLE_EQ(*Quantile(v, 0.25), 1.75);
  EXPECT_DOUBLE_EQ(*Quantile(v, 0.5), 2.5);
  EXPECT_DOUBLE_EQ(*Quantile(v, 0.75), 3.25);
  const SampleSummary s = Summarize(std::vector<double>{2, 4, 4, 4, 5, 5, 7, 9});
  EXPECT_EQ(s.n, 8);
  EXPECT_DOUBLE_EQ(*s.mean, 5.0);
  EXPECT_DOUBLE_EQ(*s.sd, std::sqrt(32.0 / 7.0));
  EXPECT_DOUBLE_EQ(*s.q1, 4.0);   // h = 1 + 7/4 = 2.75 -> 4 + 0.75 (4 - 4)
  EXPECT_DOUBLE_EQ(*s.q3, 5.5);   // h = 6.25 -> 5 + 0.25 (7 - 5)
  const SampleSummary one = Summarize(std::vector<double>{7});
  EXPECT_DOUBLE_EQ(*one.q1, 7.0);
  EXPECT_FALSE(one.sd.has_value());
}

}  // namespace
}  // namespace kelvora
