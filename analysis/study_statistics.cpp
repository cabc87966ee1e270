#include "analysis/study_statistics.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <numeric>

namespace kelvora {
namespace {

// Mid-ranks (1-based) of `values` and the sum of t^3 - t over the groups of t tied values.
struct Ranks {
  std::vector<double> rank;
  double tieSum = 0.0;
  bool tied = false;
};

Ranks MidRanks(std::span<const double> values) {
  const std::size_t n = values.size();
  std::vector<std::size_t> order(n);
  std::iota(order.begin(), order.end(), std::size_t{0});
  std::stable_sort(order.begin(), order.end(), [&](std::size_t a, std::size_t b) { return values[a] < values[b]; });
  Ranks ranks;
  ranks.rank.assign(n, 0.0);
  for (std::size_t i = 0; i < n;) {
    std::size_t j = i + 1;
    while (j < n && values[order[j]] == values[order[i]]) ++j;
    const double mid = (static_cast<double>(i + 1) + static_cast<double>(j)) / 2.0;
    for (std::size_t k = i; k < j; ++k) ranks.rank[order[k]] = mid;
    const double t = static_cast<double>(j - i);
    if (j - i > 1) {
      ranks.tied = true;
      ranks.tieSum += t * t * t - t;
    }
    i = j;
  }
  return ranks;
}

// Two-sided p from the counts of every value of an integer statistic: 2 min(lower, upper) / total, at most 1.
double TwoSidedFromCounts(const std::vector<std::uint64_t>& counts, long long observed) {
  long double total = 0.0L, lower = 0.0L, upper = 0.0L;
  for (std::size_t s = 0; s < counts.size(); ++s) {
    const long double c = static_cast<long double>(counts[s]);
    total += c;
    if (static_cast<long long>(s) <= observed) lower += c;
    if (static_cast<long long>(s) >= observed) upper += c;
  }
  const long double p = 2.0L * std::min(lower, upper) / total;
  return static_cast<double>(std::min(p, 1.0L));
}

double MedianOf(std::vector<double>& values) {
  return *Quantile(values, 0.5);
}

}  // namespace

double NormalUpperTail(double z) { return 0.5 * std::erfc(z / std::sqrt(2.0)); }

std::optional<double> Quantile(std::span<const double> values, double p) {
  if (values.empty()) return std::nullopt;
  std::vector<double> sorted(values.begin(), values.end());
  std::sort(sorted.begin(), sorted.end());
  const double h = (static_cast<double>(sorted.size()) - 1.0) * std::clamp(p, 0.0, 1.0);
  const std::size_t low = static_cast<std::size_t>(std::floor(h));
  if (low + 1 >= sorted.size()) return sorted.back();
  return sorted[low] + (h - static_cast<double>(low)) * (sorted[low + 1] - sorted[low]);
}

SampleSummary Summarize(std::span<const double> values) {
  SampleSummary summary;
  summary.n = static_cast<int>(values.size());
  if (values.empty()) return summary;
  summary.median = Quantile(values, 0.5);
  summary.q1 = Quantile(values, 0.25);
  summary.q3 = Quantile(values, 0.75);
  double sum = 0.0;
  for (double v : values) sum += v;
  const double mean = sum / static_cast<double>(values.size());
  summary.mean = mean;
  if (values.size() >= 2) {
    double squares = 0.0;
    for (double v : values) squares += (v - mean) * (v - mean);
    summary.sd = std::sqrt(squares / static_cast<double>(values.size() - 1));
  }
  return summary;
}

std::optional<double> HodgesLehmannOneSample(std::span<const double> differences) {
  if (differences.empty()) return std::nullopt;
  std::vector<double> walsh;
  walsh.reserve(differences.size() * (differences.size() + 1) / 2);
  for (std::size_t i = 0; i < differences.size(); ++i)
    for (std::size_t j = i; j < differences.size(); ++j) walsh.push_back((differences[i] + differences[j]) / 2.0);
  return MedianOf(walsh);
}

std::optional<double> HodgesLehmannTwoSample(std::span<const double> x, std::span<const double> y) {
  if (x.empty() || y.empty()) return std::nullopt;
  std::vector<double> d;
  d.reserve(x.size() * y.size());
  for (double a : x)
    for (double b : y) d.push_back(a - b);
  return MedianOf(d);
}

RankTestResult WilcoxonSignedRank(std::span<const double> differences) {
  RankTestResult result;
  result.estimate = HodgesLehmannOneSample(differences);
  std::vector<double> magnitudes;
  std::vector<bool> positive;
  for (double d : differences) {
    if (d == 0.0) continue;
    magnitudes.push_back(std::fabs(d));
    positive.push_back(d > 0.0);
  }
  const int n = static_cast<int>(magnitudes.size());
  result.n = n;
  if (n == 0) {
    result.method = RankTestMethod::kNormal;
    return result;
  }
  const Ranks ranks = MidRanks(magnitudes);
  double w = 0.0;
  for (int i = 0; i < n; ++i)
    if (positive[static_cast<std::size_t>(i)]) w += ranks.rank[static_cast<std::size_t>(i)];
  result.statistic = w;
  const double nn = n;
  if (!ranks.tied && n <= kMaxExactRankTestSize) {
    result.method = RankTestMethod::kExact;
    // counts[s]: subsets of the ranks 1 .. n with sum s.
    const std::size_t maxSum = static_cast<std::size_t>(n) * static_cast<std::size_t>(n + 1) / 2;
    std::vector<std::uint64_t> counts(maxSum + 1, 0);
    counts[0] = 1;
    for (int r = 1; r <= n; ++r)
      for (std::size_t s = maxSum; s >= static_cast<std::size_t>(r); --s) counts[s] += counts[s - static_cast<std::size_t>(r)];
    result.p = TwoSidedFromCounts(counts, std::llround(w));
    return result;
  }
  result.method = RankTestMethod::kNormal;
  const double mean = nn * (nn + 1.0) / 4.0;
  const double variance = nn * (nn + 1.0) * (2.0 * nn + 1.0) / 24.0 - ranks.tieSum / 48.0;
  if (!(variance > 0.0)) return result;
  const double z = std::max(0.0, std::fabs(w - mean) - 0.5) / std::sqrt(variance);
  result.p = std::min(1.0, 2.0 * NormalUpperTail(z));
  return result;
}

RankTestResult MannWhitneyU(std::span<const double> x, std::span<const double> y) {
  RankTestResult result;
  result.estimate = HodgesLehmannTwoSample(x, y);
  const int n1 = static_cast<int>(x.size()), n2 = static_cast<int>(y.size());
  result.n = n1 + n2;
  if (n1 == 0 || n2 == 0) {
    result.method = RankTestMethod::kNormal;
    return result;
  }
  std::vector<double> all(x.begin(), x.end());
  all.insert(all.end(), y.begin(), y.end());
  const Ranks ranks = MidRanks(all);
  double rankSum = 0.0;
  for (int i = 0; i < n1; ++i) rankSum += ranks.rank[static_cast<std::size_t>(i)];
  const double a = n1, b = n2, total = n1 + n2;
  const double u = rankSum - a * (a + 1.0) / 2.0;
  result.statistic = u;
  if (!ranks.tied && n1 + n2 <= kMaxExactRankTestSize) {
    result.method = RankTestMethod::kExact;
    // ways[k][s]: k of the ranks seen so far with U-sum s, where choosing rank r as the k-th smallest adds
    // r - k; over all N ranks, ways[n1][u] counts the rank sets of x with statistic u.
    const std::size_t maxU = static_cast<std::size_t>(n1) * static_cast<std::size_t>(n2);
    std::vector<std::vector<std::uint64_t>> ways(static_cast<std::size_t>(n1) + 1,
                                                 std::vector<std::uint64_t>(maxU + 1, 0));
    ways[0][0] = 1;
    for (int r = 1; r <= n1 + n2; ++r) {
      for (int k = std::min(r, n1); k >= 1; --k) {
        const std::size_t add = static_cast<std::size_t>(r - k);  // ranks of y below this one
        if (add > maxU) continue;
        auto& to = ways[static_cast<std::size_t>(k)];
        const auto& from = ways[static_cast<std::size_t>(k - 1)];
        for (std::size_t s = maxU; s + 1 > add; --s) {
          to[s] += from[s - add];
          if (s == 0) break;
        }
      }
    }
    result.p = TwoSidedFromCounts(ways[static_cast<std::size_t>(n1)], std::llround(u));
    return result;
  }
  result.method = RankTestMethod::kNormal;
  const double mean = a * b / 2.0;
  const double variance = a * b / 12.0 * ((total + 1.0) - ranks.tieSum / (total * (total - 1.0)));
  if (!(variance > 0.0)) return result;
  const double z = std::max(0.0, std::fabs(u - mean) - 0.5) / std::sqrt(variance);
  result.p = std::min(1.0, 2.0 * NormalUpperTail(z));
  return result;
}

std::vector<double> HolmAdjust(std::span<const double> p) {
  const std::size_t m = p.size();
  std::vector<std::size_t> order(m);
  std::iota(order.begin(), order.end(), std::size_t{0});
  std::stable_sort(order.begin(), order.end(), [&](std::size_t a, std::size_t b) { return p[a] < p[b]; });
  std::vector<double> adjusted(m, 1.0);
  double running = 0.0;
  for (std::size_t j = 0; j < m; ++j) {
    const double value = std::min(1.0, static_cast<double>(m - j) * p[order[j]]);
    running = std::max(running, value);
    adjusted[order[j]] = running;
  }
  return adjusted;
}

}  // namespace kelvora
