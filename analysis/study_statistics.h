#pragma once
// The statistics a study reports: quartiles and the summary of a sample, the Wilcoxon signed-rank test of paired
// values, the Mann-Whitney U test of two samples, the Hodges-Lehmann estimates that go with them and Holm's
// adjustment of a family of p-values.
//
// Quantiles are those of linear interpolation between order statistics (Hyndman and Fan's type 7, the default of
// R and NumPy): for sorted x_1 .. x_n the p-quantile is x_h + (h - floor h)(x_{h+1} - x_h) at h = 1 + (n - 1) p.
// Both tests are two-sided. The p-value is exact (the full null distribution, counted) when no two values tie
// (for the signed-rank test: no two |d| tie; zero differences are dropped, as Wilcoxon did) and n <= 50
// (signed rank: the non-zero differences; rank sum: both samples together); otherwise it is the normal
// approximation with the tie correction of the variance and a continuity correction of 1/2.
#include <optional>
#include <span>
#include <vector>

namespace kelvora {

// Samples above this size (n, or n1 + n2) get the normal approximation even without ties.
inline constexpr int kMaxExactRankTestSize = 50;

// The type-7 quantile of `values` at p in [0, 1]; empty for no values. Any order. Pure.
std::optional<double> Quantile(std::span<const double> values, double p);

struct SampleSummary {
  int n = 0;
  std::optional<double> median, q1, q3, mean;
  std::optional<double> sd;  // with n - 1; empty below 2 values
};

// n, median, quartiles (type 7), mean and SD of `values`. Pure.
SampleSummary Summarize(std::span<const double> values);

enum class RankTestMethod { kExact, kNormal };

struct RankTestResult {
  int n = 0;               // signed rank: the non-zero differences; rank sum: n1 + n2
  double statistic = 0.0;  // signed rank: W+, the sum of the ranks of the positive differences; rank sum: U of x
  double p = 1.0;          // two-sided
  RankTestMethod method = RankTestMethod::kExact;
  std::optional<double> estimate;  // Hodges-Lehmann: median of the Walsh averages / of the differences x_i - y_j
};

// The signed-rank test of the differences d_i = x_i - y_i of paired values (zeros dropped; the estimate uses them
// all). Exact: P = min(1, 2 min(P(W+ <= w), P(W+ >= w))) over the 2^n equally likely sign patterns. Normal:
// z = (|w - n(n+1)/4| - 1/2) / sqrt(n(n+1)(2n+1)/24 - sum(t^3 - t)/48), at least 0, p = erfc(z / sqrt 2).
// Empty input gives n = 0 and p = 1. Cost: O(n^3) for the exact count. Pure.
RankTestResult WilcoxonSignedRank(std::span<const double> differences);

// The rank-sum test of samples x and y: U = R_x - n1(n1+1)/2 (mid-ranks for ties). Exact: P = min(1, 2 min(P(U <=
// u), P(U >= u))) over the C(n1+n2, n1) equally likely rank sets. Normal: z = (|u - n1 n2 / 2| - 1/2) /
// sqrt(n1 n2 / 12 (N + 1 - sum(t^3 - t) / (N (N - 1)))), at least 0. An empty sample gives p = 1. Pure.
RankTestResult MannWhitneyU(std::span<const double> x, std::span<const double> y);

// The median of the Walsh averages (d_i + d_j) / 2, i <= j; empty for no values. Pure.
std::optional<double> HodgesLehmannOneSample(std::span<const double> differences);
// The median of the differences x_i - y_j; empty when a sample is empty. Pure.
std::optional<double> HodgesLehmannTwoSample(std::span<const double> x, std::span<const double> y);

// Holm's step-down adjustment: with p sorted increasingly, p_holm(k) = max over j <= k of min(1, (m - j + 1)
// p_(j)), given back in the input's order. Pure.
std::vector<double> HolmAdjust(std::span<const double> p);

// The standard normal upper tail 1 - Phi(z). Pure.
double NormalUpperTail(double z);

}  // namespace kelvora
