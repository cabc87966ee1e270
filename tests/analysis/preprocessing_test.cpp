// Detrending against hand-solved fits, and the band sets with their parse errors.
#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "analysis/band_set.h"
#include "analysis/detrend.h"

namespace kelvora {
namespace {

void ExpectValues(const std::vector<double>& actual, const std::vector<double>& expected, double tolerance) {
  ASSERT_EQ(actual.size(), expected.size());
  for (std::size_t i = 0; i < actual.size(); ++i) EXPECT_NEAR(actual[i], expected[i], tolerance) << "sample " << i;
}

// By hand: y = i^2 on i = 0, 1, 2 has the line 2 i - 1/3, residuals 1/3, -2/3, 1/3. y = i^4 on i = 0 .. 4 less
// its cubic is a multiple of the fourth difference pattern (1, -4, 6, -4, 1): 24/70 of it.
TEST(Detrend, HandSolvedFits) {
  ExpectValues(Detrended(std::vector<double>{0, 1, 4}, DetrendMode::kLinear), {1.0 / 3, -2.0 / 3, 1.0 / 3}, 1e-15);
  ExpectValues(Detrended(std::vector<double>{3, 5, 10}, DetrendMode::kMean), {-3, -1, 4}, 1e-15);
  ExpectValues(Detrended(std::vector<double>{3, 5, 10}, DetrendMode::kNone), {3, 5, 10}, 0.0);
  const double c = 24.0 / 70.0;
  ExpectValues(Detrended(std::vector<double>{0, 1, 16, 81, 256}, DetrendMode::kCubic),
               {c, -4 * c, 6 * c, -4 * c, c}, 1e-12);
  // Fewer samples than the cubic has coefficients: it passes through them all.
  ExpectValues(Detrended(std::vector<double>{2, -7}, DetrendMode::kCubic), {0, 0}, 0.0);
  ExpectValues(Detrended(std::vector<double>{4}, DetrendMode::kLinear), {0}, 1e-15);
  EXPECT_TRUE(Detrended(std::vector<double>{}, DetrendMode::kCubic).empty());
}

// A cubic of 2,000,000 samples on an offset of 1e4 (the powers of i reach 8e18) is removed to the rounding of the
// samples themselves, and with a sinusoid on top what is left is the sinusoid less its own cubic part.
TEST(Detrend, CubicOfALongRecordOnALargeOffsetIsRemovedToRounding) {
  const std::size_t n = 2000000;
  std::vector<double> y(n);
  std::vector<double> wave(n);
  for (std::size_t i = 0; i < n; ++i) {
    const double t = static_cast<double>(i) / n;
    wave[i] = 1e-3 * std::sin(2 * M_PI * 500.0 * t);
    y[i] = 1e4 + 3.0 * t - 40.0 * t * t + 25.0 * t * t * t;
  }
  std::vector<double> cubicOnly = y;
  RemovePolynomialTrend(cubicOnly, 3);
  double worst = 0.0;
  for (const double v : cubicOnly) worst = std::max(worst, std::fabs(v));
  EXPECT_LT(worst, 1e-10);
  for (std::size_t i = 0; i < n; ++i) y[i] += wave[i];
  RemovePolynomialTrend(y, 3);
  RemovePolynomialTrend(wave, 3);
  worst = 0.0;
  for (std::size_t i = 0; i < n; ++i) worst = std::max(worst, std::fabs(y[i] - wave[i]));
  EXPECT_LT(worst, 1e-10);
}

TEST(BandSet, PresetsAndUserLists) {
  const BandSetParse defaults = ParseBandSet("default");
  ASSERT_TRUE(defaults.ok());
  ASSERT_EQ(defaults.bands.size(), 5u);
  EXPECT_EQ(defaults.bands[0].name, "endothelial");
  EXPECT_EQ(defaults.bands[2].range.high, 0.15);
  EXPECT_EQ(defaults.bands[4].range.low, 0.6);
  EXPECT_TRUE(defaults.bands[4].preset);
  const BandSetParse six = ParseBandSet(" six ");
  ASSERT_TRUE(six.ok());
  ASSERT_EQ(six.bands.size(), 6u);
  for (std::size_t i = 1; i < six.bands.size(); ++i) EXPECT_EQ(six.bands[i].range.low, six.bands[i - 1].range.high);
  EXPECT_EQ(six.bands[1].range.low, 0.0095);
  EXPECT_EQ(six.bands[3].range.high, 0.145);

  const BandSetParse user = ParseBandSet("vaso: 0.01 :0.1, fast:0.2:1e0");
  ASSERT_TRUE(user.ok());
  ASSERT_EQ(user.bands.size(), 2u);
  EXPECT_EQ(user.bands[0].name, "vaso");
  EXPECT_EQ(user.bands[0].range.low, 0.01);
  EXPECT_EQ(user.bands[1].range.high, 1.0);
  EXPECT_FALSE(user.bands[1].preset);
}

struct BadBands {
  const char* text;
  BandSetErrorKind kind;
  int item;
  const char* shown;
};

class BandSetErrors : public ::testing::TestWithParam<BadBands> {};

TEST_P(BandSetErrors, NameTheKindTheItemAndItsText) {
  const BadBands c = GetParam();
  const BandSetParse parse = ParseBandSet(c.text);
  ASSERT_FALSE(parse.ok()) << c.text;
  EXPECT_TRUE(parse.bands.empty());
  EXPECT_EQ(parse.error->kind, c.kind) << c.text;
  EXPECT_EQ(parse.error->item, c.item) << c.text;
  EXPECT_EQ(parse.error->text, c.shown) << c.text;
}

INSTANTIATE_TEST_SUITE_P(
    Texts, BandSetErrors,
    ::testing::Values(BadBands{"", BandSetErrorKind::kEmpty, 0, ""}, BadBands{"  ", BandSetErrorKind::kEmpty, 0, ""},
                      BadBands{"a:0.1:0.2,b:0.3", BandSetErrorKind::kMissingField, 2, "b:0.3"},
                      BadBands{"a:0.1:0.2,", BandSetErrorKind::kMissingField, 2, ""},
                      BadBands{"a:1:2:3", BandSetErrorKind::kMissingField, 1, "a:1:2:3"},
                      BadBands{" :0.1:0.2", BandSetErrorKind::kEmptyName, 1, ":0.1:0.2"},
                      BadBands{"a:0,1:0.2", BandSetErrorKind::kMissingField, 1, "a:0"},
                      BadBands{"a:x:0.2", BandSetErrorKind::kBadNumber, 1, "x"},
                      BadBands{"a:0.1:nan", BandSetErrorKind::kBadNumber, 1, "nan"},
                      BadBands{"a:0.2:0.1", BandSetErrorKind::kBadRange, 1, "a:0.2:0.1"},
                      BadBands{"a:0:0.1", BandSetErrorKind::kBadRange, 1, "a:0:0.1"},
                      BadBands{"a:0.1:0.2,a:0.3:0.4", BandSetErrorKind::kDuplicateName, 2, "a"},
                      BadBands{"Default", BandSetErrorKind::kMissingField, 1, "Default"}));

}  // namespace
}  // namespace kelvora
