#include "analysis/detrend.h"

#include <algorithm>
#include <array>

namespace kelvora {

namespace {

constexpr int kMaxDegree = 3;

// The three-term recurrence p_{k+1}(x) = (x - alpha_k) p_k(x) - beta_k p_{k-1}(x), p_0 = 1, of the polynomials
// orthogonal on the record's time points.
struct Recurrence {
  std::array<long double, kMaxDegree + 1> alpha{};
  std::array<long double, kMaxDegree + 1> beta{};

  // p_k(x) from the coefficients of the lower degrees.
  long double value(int k, long double x) const {
    long double previous = 0.0L;
    long double current = 1.0L;
    for (int m = 0; m < k; ++m) {
      const long double next = (x - alpha[static_cast<std::size_t>(m)]) * current -
                               beta[static_cast<std::size_t>(m)] * previous;
      previous = current;
      current = next;
    }
    return current;
  }
};

}  // namespace

int DetrendDegree(DetrendMode mode) {
  switch (mode) {
    case DetrendMode::kNone: return -1;
    case DetrendMode::kMean: return 0;
    case DetrendMode::kLinear: return 1;
    case DetrendMode::kCubic: return 3;
  }
  return -1;
}

void RemovePolynomialTrend(std::span<double> values, int degree) {
  const std::size_t n = values.size();
  degree = std::min(degree, kMaxDegree);
  if (degree < 0 || n == 0) return;
  if (n <= static_cast<std::size_t>(degree)) {
    std::fill(values.begin(), values.end(), 0.0);
    return;
  }
  // Time points on [-1, 1]: the powers of i itself would make the normal equations hopelessly ill-conditioned.
  const long double centre = (static_cast<long double>(n) - 1.0L) / 2.0L;
  const long double halfSpan = n > 1 ? centre : 1.0L;
  auto x = [&](std::size_t i) { return (static_cast<long double>(i) - centre) / halfSpan; };

  Recurrence recurrence;
  long double previousNorm = 1.0L;
  for (int k = 0; k <= degree; ++k) {
    long double norm = 0.0L;
    long double weighted = 0.0L;
    long double projection = 0.0L;
    for (std::size_t i = 0; i < n; ++i) {
      const long double p = recurrence.value(k, x(i));
      norm += p * p;
      weighted += x(i) * p * p;
      projection += static_cast<long double>(values[i]) * p;
    }
    const long double coefficient = projection / norm;
    for (std::size_t i = 0; i < n; ++i)
      values[i] = static_cast<double>(static_cast<long double>(values[i]) - coefficient * recurrence.value(k, x(i)));
    recurrence.alpha[static_cast<std::size_t>(k)] = weighted / norm;
    recurrence.beta[static_cast<std::size_t>(k)] = k == 0 ? 0.0L : norm / previousNorm;
    previousNorm = norm;
  }
}

std::vector<double> Detrended(std::span<const double> values, DetrendMode mode) {
  std::vector<double> copy(values.begin(), values.end());
  RemovePolynomialTrend(copy, DetrendDegree(mode));
  return copy;
}

}  // namespace kelvora
