#include "tests/said.h"
#include "signals/shitzer_model.h"

#include <algorithm>
#include <cmath>
#include <vector>

#include <gtest/gtest.h>

#include "core/math_utils.h"

namespace kelvora {
namespace {

// The model written out plainly, every sum over all j: the reference for the windowed implementation.
std::vector<double> DirectShitzerT(const std::vector<double>& t, int rate, const ShitzerParameters& p) {
  const std::size_t n = t.size() - 1;
  std::vector<double> d = TemperatureDerivative(t).values;
  std::vector<double> v(t.size()), time(t.size());
  for (std::size_t i = 0; i <= n; ++i) {
    v[i] = (static_cast<double>(p.rhoSkin * p.cSkin) * 1.072e-6 * d[i] + (t[i] - p.tAir) * p.hAir * 4.02e-4) /
           ((37 - t[i]) * static_cast<double>(p.cBlood * p.rhoBlood));
    time[i] = static_cast<double>(i) / static_cast<double>(rate);
  }
  for (std::size_t k = 0; k <= n; ++k) {
    double num = 0.0, den = 0.0;
    for (std::size_t j = 1; j <= n; ++j) {
      num += Gauss((time[k] - time[j]) / 11.0) * v[j];
      den += Gauss((time[k] - time[j]) / 11.0);
    }
    v[k] = num / den;
  }
  double minimum = v[0];
  for (double x : v) minimum = std::min(minimum, x);
  for (double& x : v) x -= minimum;
  return v;
}

std::vector<double> WavyTemperature(std::size_t count, int rate) {
  std::vector<double> t(count);
  for (std::size_t i = 0; i < count; ++i) {
    const double s = static_cast<double>(i) / rate;
    t[i] = 33.0 + 1.5 * std::sin(s / 40.0) + 0.3 * std::sin(s / 7.0) + 0.05 * std::cos(1.3 * s);
  }
  return t;
}

class StopAfter : public ProgressSink {
 public:
  explicit StopAfter(int calls) : m_calls(calls) {}
  bool stopRequested() const override { return --m_calls < 0; }

 private:
  mutable int m_calls;
};

TEST(ShitzerDerivative, QuadraticGivesTwiceTheSlopeEverywhereIncludingTheEnds) {
  // T = 0.5 i^2 - 3 i + 30: the formulas are exact on quadratics and return 2 T'(i) = 2 (i - 3).
  std::vector<double> t;
  for (int i = 0; i <= 9; ++i) t.push_back(0.5 * i * i - 3.0 * i + 30.0);
  const ConversionResult d = TemperatureDerivative(t);
  ASSERT_TRUE(d.ok());
  ASSERT_EQ(d.values.size(), t.size());
  for (int i = 0; i <= 9; ++i) EXPECT_NEAR(d.values[i], 2.0 * (i - 3), 1e-12) << "sample " << i;
}

TEST(ShitzerDerivative, FourSamplesAreTheMinimum) {
  EXPECT_FALSE(TemperatureDerivative({30, 31, 32}).ok());
  const ConversionResult d = TemperatureDerivative({30, 31, 32, 33});
  ASSERT_TRUE(d.ok());
  for (double v : d.values) EXPECT_NEAR(v, 2.0, 1e-12);
}

TEST(ShitzerT, ConstantTemperatureGivesZeros) {
  const std::vector<double> t(50, 34.0);
  const ConversionResult r = ShitzerT(t, TemperatureDerivative(t).values, {}, 2, NullProgress());
  ASSERT_TRUE(r.ok()) << Said(r.error);
  ASSERT_EQ(r.values.size(), 50u);
  // The perfusion is about 2e-9; the weighted means of equal values differ from it only by rounding.
  for (double v : r.values) EXPECT_NEAR(v, 0.0, 1e-20);
  EXPECT_EQ(*std::min_element(r.values.begin(), r.values.end()), 0.0);
}

// The smoothing leaves out the terms whose weight is below 2^-64 of the peak and adds the two sides in two
// chains, so it meets the full sums to within double rounding rather than bit for bit.
TEST(ShitzerT, MatchesTheFullSumsToRounding) {
  // Rate 2 has exact (dyadic) times; rate 3 does not, and 1200 samples reach far beyond the window.
  for (int rate : {2, 3}) {
    const std::vector<double> t = WavyTemperature(rate == 2 ? 300 : 1200, rate);
    const ConversionResult r = ShitzerT(t, TemperatureDerivative(t).values, {}, rate, NullProgress());
    ASSERT_TRUE(r.ok()) << Said(r.error);
    const std::vector<double> expected = DirectShitzerT(t, rate, {});
    ASSERT_EQ(r.values.size(), expected.size());
    const double largest = *std::max_element(expected.begin(), expected.end());
    for (std::size_t i = 0; i < expected.size(); ++i)
      ASSERT_NEAR(r.values[i], expected[i], 1e-13 * largest) << "rate " << rate << " i " << i;
    EXPECT_EQ(*std::min_element(r.values.begin(), r.values.end()), 0.0);
  }
}

TEST(ShitzerT, UndefinedInputsAreRefused) {
  std::vector<double> t(20, 33.0);
  t[7] = 37.0;
  const ConversionResult at37 = ShitzerT(t, TemperatureDerivative(t).values, {}, 2, NullProgress());
  EXPECT_FALSE(at37.ok());
  EXPECT_NE(Said(at37.error).find("37"), std::string::npos);
  EXPECT_TRUE(at37.values.empty());

  const std::vector<double> three{33, 33, 33};
  EXPECT_FALSE(ShitzerT(three, {0, 0, 0}, {}, 2, NullProgress()).ok());

  const std::vector<double> ok(20, 33.0);
  ShitzerParameters noBlood;
  noBlood.cBlood = 0;
  EXPECT_FALSE(ShitzerT(ok, TemperatureDerivative(ok).values, noBlood, 2, NullProgress()).ok());
  EXPECT_FALSE(ShitzerT(ok, TemperatureDerivative(ok).values, {}, 0, NullProgress()).ok());
  EXPECT_FALSE(ShitzerT(ok, std::vector<double>(19, 0.0), {}, 2, NullProgress()).ok());
}

TEST(ShitzerT, StopRequestEndsWithAnError) {
  const std::vector<double> t = WavyTemperature(200, 2);
  StopAfter stop(10);
  const ConversionResult r = ShitzerT(t, TemperatureDerivative(t).values, {}, 2, stop);
  EXPECT_FALSE(r.ok());
  EXPECT_EQ(Said(r.error), "The computation was stopped");
}

TEST(GaussianSmoothing, SampleZeroNeverContributesAndUpdatesAreInPlace) {
  // Sample 0 is far off but is not in any sum: every output is the weighted mean of ones.
  std::vector<double> v{100.0, 1.0, 1.0, 1.0};
  const std::vector<double> t{0.0, 0.5, 1.0, 1.5};
  ASSERT_TRUE(GaussianSmoothing(v, t, 11, NullProgress()));
  for (double x : v) EXPECT_NEAR(x, 1.0, 1e-15);

  // In place: the sums for k = 2 already see the smoothed v[1].
  std::vector<double> w{0.0, 0.0, 3.0};
  const std::vector<double> t2{0.0, 1.0, 2.0};
  ASSERT_TRUE(GaussianSmoothing(w, t2, 1, NullProgress()));
  const double g0 = Gauss(0.0), g1 = Gauss(1.0);
  const double w0 = (g1 * 0.0 + Gauss(2.0) * 3.0) / (g1 + Gauss(2.0));
  const double w1 = (g0 * 0.0 + g1 * 3.0) / (g0 + g1);
  const double w2 = (g1 * w1 + g0 * 3.0) / (g1 + g0);
  EXPECT_DOUBLE_EQ(w[0], w0);
  EXPECT_DOUBLE_EQ(w[1], w1);
  EXPECT_DOUBLE_EQ(w[2], w2);
}

// One forward-Euler step of the model with perfusion w.
double EulerStep(double previous, double w, const ShitzerParameters& p, int rate) {
  return previous + (w * (p.cBlood * p.rhoBlood) * (37 - previous) - (previous - p.tAir) * p.hAir * 4.02e-4) /
                        (p.rhoSkin * p.cSkin * 1.072e-6) / rate;
}

TEST(ShitzerBF, OneSampleAtMaximumUsesFifteenElsewhereEight) {
  const std::vector<double> bf{2, 2, 2, 5, 2, 2};
  const ConversionResult r = ShitzerBF(bf, 2.0, 5.0, 36.24, {}, 2, NullProgress());
  ASSERT_TRUE(r.ok()) << Said(r.error);
  ASSERT_EQ(r.values.size(), bf.size());
  double expected = 36.24;
  EXPECT_EQ(r.values[0], expected);
  for (std::size_t i = 1; i < bf.size(); ++i) {
    expected = EulerStep(expected, i == 3 ? 15e-9 : 8e-9, {}, 2);
    EXPECT_NEAR(r.values[i], expected, 1e-12) << "sample " << i;
  }
  // The 15e-9 step warms more than the 8e-9 steps around it.
  EXPECT_GT(r.values[3] - r.values[2], r.values[4] - r.values[3]);
}

TEST(ShitzerBF, OneSampleGivesStartTemperatureAndConstantRecordIsRefused) {
  const ConversionResult one = ShitzerBF({4.0}, 4.0, 4.0, 35.5, {}, 2, NullProgress());
  ASSERT_TRUE(one.ok());
  EXPECT_EQ(one.values, std::vector<double>{35.5});

  const ConversionResult constant = ShitzerBF({4.0, 4.0, 4.0}, 4.0, 4.0, 35.5, {}, 2, NullProgress());
  EXPECT_FALSE(constant.ok());
  EXPECT_TRUE(constant.values.empty());
  EXPECT_FALSE(ShitzerBF({}, 0, 0, 35.5, {}, 2, NullProgress()).ok());
  ShitzerParameters noSkin;
  noSkin.rhoSkin = 0;
  EXPECT_FALSE(ShitzerBF({1, 2}, 1, 2, 35.5, noSkin, 2, NullProgress()).ok());
}

TEST(IntegrBF, RunningMeanOfRateScaledSamples) {
  const ConversionResult r = IntegrBF({2, 4, 6}, 2, NullProgress());
  ASSERT_TRUE(r.ok());
  EXPECT_EQ(r.values, (std::vector<double>{1.0, 1.5, 2.0}));
}

}  // namespace
}  // namespace kelvora
