#include "core/conversion_scaling.h"

#include <cmath>
#include <vector>

#include <gtest/gtest.h>

namespace kelvora {
namespace {

TEST(ConversionScaling, NormalizedSpansExactlyZeroToOne) {
  std::vector<double> v{3.0, -1.0, 7.0, 5.0};
  NormalizeToUnitRange(v);
  EXPECT_EQ(v, (std::vector<double>{0.5, 0.0, 1.0, 0.75}));
}

TEST(ConversionScaling, ConstantRecordNormalizesToZerosNotNaN) {
  std::vector<double> v(5, 36.6);
  ApplyScaling(v, ScalingMode::Normalized, 1, 0);
  for (double x : v) EXPECT_EQ(x, 0.0);
  std::vector<double> empty;
  NormalizeToUnitRange(empty);
  EXPECT_TRUE(empty.empty());
}

TEST(ConversionScaling, ScaledAndAbsolute) {
  std::vector<double> v{1.0, 2.0};
  ApplyScaling(v, ScalingMode::Scaled, 3.0, -1.0);
  EXPECT_EQ(v, (std::vector<double>{2.0, 5.0}));
  ApplyScaling(v, ScalingMode::Absolute, 3.0, -1.0);
  EXPECT_EQ(v, (std::vector<double>{2.0, 5.0}));
}

TEST(ConversionScaling, PowerLawKeepsSignsAndZeroFinite) {
  std::vector<double> v{4.0, 0.0, -4.0, 8.0};
  ApplyPowerLaw(v, 1.5);
  EXPECT_NEAR(v[0], 8.0, 1e-14);
  EXPECT_EQ(v[1], 0.0);
  EXPECT_NEAR(v[2], -8.0, 1e-14);
  std::vector<double> w{8.0, -27.0};
  ApplyPowerLaw(w, 2.0 / 3.0);
  EXPECT_NEAR(w[0], 4.0, 1e-14);
  EXPECT_NEAR(w[1], -9.0, 1e-13);
}

TEST(PearsonCorrelation, HandValues) {
  const std::vector<double> x{1, 2, 3, 4, 5};
  EXPECT_DOUBLE_EQ(*PearsonCorrelation(x, x), 1.0);
  EXPECT_DOUBLE_EQ(*PearsonCorrelation(x, {10, 8, 6, 4, 2}), -1.0);
  // x = 1..4, y = 1,3,2,4: sxy = 4, sxx = syy = 5 -> 0.8
  EXPECT_NEAR(*PearsonCorrelation({1, 2, 3, 4}, {1, 3, 2, 4}), 0.8, 1e-15);
  // The shorter length decides: the extra sample of y is ignored.
  EXPECT_NEAR(*PearsonCorrelation({1, 2, 3, 4}, {1, 3, 2, 4, 1000}), 0.8, 1e-15);
}

TEST(PearsonCorrelation, UndefinedCasesGiveNoValue) {
  EXPECT_FALSE(PearsonCorrelation({0.1, 0.1, 0.1}, {1, 2, 3}).has_value());
  EXPECT_FALSE(PearsonCorrelation({1, 2, 3}, {5, 5, 5}).has_value());
  EXPECT_FALSE(PearsonCorrelation({1}, {1}).has_value());
  EXPECT_FALSE(PearsonCorrelation({}, {}).has_value());
}

}  // namespace
}  // namespace kelvora
