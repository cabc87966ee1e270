// IAAFT surrogates: the record's values in another order, nearly its spectrum, reproducible from the seed.
#include "analysis/iaaft_surrogate.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <numbers>
#include <random>

#include "core/fft.h"

namespace kelvora {
namespace {

// A red-noise record with a slow tone and a skewed value distribution (as blood flow has).
std::vector<double> Record(std::size_t n, unsigned seed) {
  std::mt19937 rng(seed);
  std::normal_distribution<double> noise(0.0, 1.0);
  std::vector<double> x(n);
  double ar = 0;
  for (std::size_t i = 0; i < n; ++i) {
    ar = 0.9 * ar + noise(rng);
    x[i] = std::exp(0.3 * ar + std::sin(2 * std::numbers::pi * 0.01 * i));
  }
  return x;
}

std::vector<double> Amplitudes(const std::vector<double>& x) {
  std::vector<fft::ComplexD> s(x.size() / 2 + 1);
  fft::ForwardReal(x, s);
  std::vector<double> a(s.size());
  for (std::size_t k = 0; k < s.size(); ++k) a[k] = std::abs(s[k]);
  return a;
}

double Correlation(const std::vector<double>& a, const std::vector<double>& b) {
  const double n = static_cast<double>(a.size());
  double ma = 0, mb = 0;
  for (std::size_t i = 0; i < a.size(); ++i) ma += a[i] / n, mb += b[i] / n;
  double sab = 0, saa = 0, sbb = 0;
  for (std::size_t i = 0; i < a.size(); ++i) {
    sab += (a[i] - ma) * (b[i] - mb);
    saa += (a[i] - ma) * (a[i] - ma);
    sbb += (b[i] - mb) * (b[i] - mb);
  }
  return sab / std::sqrt(saa * sbb);
}

class Iaaft : public ::testing::TestWithParam<std::size_t> {};
INSTANTIATE_TEST_SUITE_P(Lengths, Iaaft, ::testing::Values(257, 1788, 3600));

TEST_P(Iaaft, KeepsTheValuesAndTheSpectrumAndRandomisesThePhases) {
  const std::vector<double> x = Record(GetParam(), 5);
  const IaaftSurrogate s = MakeIaaftSurrogate(x, SurrogateSeed(1, 0, 0));
  ASSERT_EQ(s.values.size(), x.size());
  std::vector<double> a = x, b = s.values;
  std::sort(a.begin(), a.end());
  std::sort(b.begin(), b.end());
  EXPECT_EQ(a, b);  // exactly the same values
  EXPECT_GT(s.iterations, 1);
  EXPECT_LE(s.iterations, 100);

  // The amplitude spectrum, smoothed over 8 bins, within a few per cent of the record's.
  const std::vector<double> ax = Amplitudes(x), as = Amplitudes(s.values);
  double energyX = 0, difference = 0;
  for (std::size_t k = 1; k + 8 <= ax.size(); k += 8) {
    double bx = 0, bs = 0;
    for (std::size_t j = k; j < k + 8; ++j) bx += ax[j] * ax[j], bs += as[j] * as[j];
    energyX += bx;
    difference += std::abs(bx - bs);
  }
  EXPECT_LT(difference / energyX, 0.1);
  // A random order in time: the surrogate does not follow the record.
  EXPECT_LT(std::abs(Correlation(x, s.values)), 0.3);
}

TEST(IaaftSeeds, TheSameSeedGivesTheSameSurrogateAndStreamsDiffer) {
  const std::vector<double> x = Record(600, 2);
  EXPECT_EQ(MakeIaaftSurrogate(x, SurrogateSeed(1, 0, 3)).values, MakeIaaftSurrogate(x, SurrogateSeed(1, 0, 3)).values);
  EXPECT_NE(MakeIaaftSurrogate(x, SurrogateSeed(1, 0, 3)).values, MakeIaaftSurrogate(x, SurrogateSeed(1, 1, 3)).values);
  EXPECT_NE(MakeIaaftSurrogate(x, SurrogateSeed(1, 0, 3)).values, MakeIaaftSurrogate(x, SurrogateSeed(2, 0, 3)).values);
  EXPECT_NE(SurrogateSeed(1, 0, 1), SurrogateSeed(1, 1, 0));
  // A fixed number, so that a change of the seed mixing (which would change every published run) shows.
  EXPECT_EQ(SurrogateSeed(1, 0, 0), 12793040940332582595ULL);
  const IaaftSurrogate one = MakeIaaftSurrogate(std::vector<double>{4.5}, 9);
  EXPECT_EQ(one.values, std::vector<double>{4.5});
  EXPECT_TRUE(MakeIaaftSurrogate(std::vector<double>{}, 9).values.empty());
  const std::vector<double> flat(50, 3.0);
  EXPECT_EQ(MakeIaaftSurrogate(flat, 9).values, flat);
}

// A stop asked after round 2 ends the iteration there, marked stopped; without the tolerance the iteration runs
// on to a fixed rank order or the round limit, and the tolerance only ever ends it sooner on the same path.
TEST(IaaftRounds, StopEndsBetweenRoundsAndTheToleranceOnlyShortensThePath) {
  const std::vector<double> x = Record(3600, 4);
  std::vector<int> seen;
  IaaftOptions stopping;
  stopping.onRound = [&seen](int round) {
    seen.push_back(round);
    return round < 2;
  };
  const IaaftSurrogate stopped = MakeIaaftSurrogate(x, 77, stopping);
  EXPECT_TRUE(stopped.stopped);
  EXPECT_EQ(stopped.iterations, 2);
  EXPECT_EQ(seen, (std::vector<int>{0, 1, 2}));

  IaaftOptions exact;
  exact.spectrumTolerance = 0.0;
  exact.maxIterations = 100;
  const IaaftSurrogate full = MakeIaaftSurrogate(x, 77, exact);
  const IaaftSurrogate early = MakeIaaftSurrogate(x, 77);
  EXPECT_FALSE(full.stopped);
  EXPECT_LE(early.iterations, full.iterations);
  IaaftOptions same = exact;
  same.maxIterations = early.iterations;
  EXPECT_EQ(MakeIaaftSurrogate(x, 77, same).values, early.values);  // the same rounds, only fewer
}

// Regression: a round of a record of millions of samples (two FFTs and a radix sort over 32 MB arrays) reported
// nothing until it ended, and the rounds past the twentieth moved no progress at all: a long run's progress
// stood still for over a minute. The share now moves several times inside every round, never back and never to
// 1 before the end, and a stop asked in the middle of a round ends it there.
TEST(IaaftRounds, ShareMovesInsideEveryRoundAndAStopInsideARoundEndsIt) {
  const std::vector<double> x = Record(std::size_t{1} << 20, 5);
  std::atomic<bool> stop{false};
  std::vector<int> insideRound(1, 0);  // share reports per round, by the round they fell in
  double last = 0.0;
  bool increasing = true;
  int afterStop = 0;
  std::chrono::steady_clock::time_point asked;
  IaaftOptions options;
  options.spectrumTolerance = 0.0;
  options.stop = &stop;
  options.onRound = [&](int round) {
    if (round > 0) insideRound.push_back(0);
    return true;
  };
  options.onShare = [&](double share) {
    if (stop) ++afterStop;
    increasing = increasing && share > last && share < 1.0;
    last = share;
    // The third report of round 3: after its transforms, inside its sort.
    if (++insideRound.back() == 3 && insideRound.size() == 3) {
      asked = std::chrono::steady_clock::now();
      stop = true;
    }
  };
  const IaaftSurrogate made = MakeIaaftSurrogate(x, 9, options);
  const double latency = std::chrono::duration<double>(std::chrono::steady_clock::now() - asked).count();
  EXPECT_TRUE(made.stopped);
  EXPECT_EQ(made.iterations, 2);
  ASSERT_EQ(insideRound.size(), 3u);
  EXPECT_GE(insideRound[0], 4);  // the transforms, the keys and the sort passes of round 1
  EXPECT_GE(insideRound[1], 4);
  EXPECT_TRUE(increasing);
  EXPECT_EQ(afterStop, 0);
  EXPECT_NEAR(last, IaaftShare(2.5, options.maxIterations), 0.5 / kTypicalIaaftRounds);
  EXPECT_LT(latency, 5.0);  // about one sort pass; generous for a loaded machine
}

// The share of a run: half by the typical rounds, all of it at maxIterations, linear in between.
TEST(IaaftRounds, ShareOfTheRounds) {
  struct Case {
    double rounds;
    int maxIterations;
    double share;
  };
  for (const Case& c : {Case{0, 100, 0.0}, Case{10, 100, 0.25}, Case{20, 100, 0.5}, Case{60, 100, 0.75},
                        Case{100, 100, 1.0}, Case{150, 100, 1.0}, Case{-1, 100, 0.0}, Case{5, 10, 0.5},
                        Case{1, 1, 1.0}, Case{0.5, 0, 0.5}})
    EXPECT_DOUBLE_EQ(IaaftShare(c.rounds, c.maxIterations), c.share) << c.rounds << " of " << c.maxIterations;
}

}  // namespace
}  // namespace kelvora
