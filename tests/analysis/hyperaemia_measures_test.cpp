// The response measures on flux records built from their definitions, at a slow and a fast rate: every measure
// of the construction within 1e-9, and the empty cells with their notes at the record's edges.
#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "analysis/hyperaemia_measures.h"
#include "analysis/occlusion_finder.h"

namespace kelvora {
namespace {

constexpr double kTolerance = 1e-9;

// A PORH record: baseline B on [0, 100 s), occlusion flux Z on [100, 200), the peak level P on [200, 210), then
// a fall of 1 unit/s from P (reaching B at 210 + (P - B), between two samples at either rate) down to P - 50 at
// 260 s, which it keeps to the end at 400 s.
struct PorhConstruction {
  static constexpr double B = 20.0, Z = 2.0, P = 60.0125;
  static constexpr double o1 = 100.0, o2 = 200.0, plateauEnd = 210.0, fallEnd = 260.0, end = 400.0;
  double fs;
  std::vector<double> flux;

  explicit PorhConstruction(double rate) : fs(rate) {
    const auto n = static_cast<long long>(end * fs);
    for (long long i = 0; i < n; ++i) {
      const double t = static_cast<double>(i) / fs;
      double x = B;
      if (t >= o1 && t < o2) x = Z;
      else if (t >= o2 && t < plateauEnd) x = P;
      else if (t >= plateauEnd && t < fallEnd) x = P - (t - plateauEnd);
      else if (t >= fallEnd) x = P - (fallEnd - plateauEnd);
      flux.push_back(x);
    }
  }
  double half() const { return std::floor(fs / 2.0) / fs; }  // h / fs: the moving mean's half width
  // The peak: the first sample whose whole window lies on the plateau.
  double peakTime() const { return o2 + half(); }
  // t50: the first sample at or after the fall's crossing of B + (P - B) / 2.
  double t50() const { return std::ceil((plateauEnd + (P - B) / 2.0) * fs) / fs - peakTime(); }
  // The area: the plateau's 10 s at P - B, then the falling samples k = 0 .. K at P - B - k / fs, K the last
  // with a positive excess.
  double area() const {
    const double excess = P - B;
    const double k = std::floor(excess * fs);
    return (plateauEnd - o2) * excess + ((k + 1) * excess - k * (k + 1) / (2.0 * fs)) / fs;
  }
  double debt() const { return (o2 - o1) * (B - Z); }
};

class PorhMeasuresTest : public ::testing::TestWithParam<double> {};

TEST_P(PorhMeasuresTest, EveryMeasureOfTheConstruction) {
  const PorhConstruction c(GetParam());
  const PorhOutcome outcome = MeasurePorh(c.flux, c.fs, {{c.o1, c.o2}});
  ASSERT_TRUE(outcome.ok());
  ASSERT_EQ(outcome.rows.size(), 1u);
  const PorhMeasures& m = outcome.rows[0];
  ASSERT_TRUE(m.baseline && m.biologicalZero && m.peak && m.timeToPeakS && m.peakPercentBaseline &&
              m.peakMinusBiologicalZero && m.hyperaemicArea && m.repayment && m.t50S);
  EXPECT_NEAR(*m.baseline, c.B, kTolerance);
  EXPECT_NEAR(*m.biologicalZero, c.Z, kTolerance);
  EXPECT_NEAR(*m.peak, c.P, kTolerance);
  EXPECT_NEAR(*m.timeToPeakS, c.peakTime() - c.o2, kTolerance);
  EXPECT_NEAR(*m.peakPercentBaseline, 100.0 * c.P / c.B, kTolerance);
  EXPECT_NEAR(*m.peakMinusBiologicalZero, c.P - c.Z, kTolerance);
  EXPECT_NEAR(*m.hyperaemicArea, c.area(), kTolerance);
  EXPECT_NEAR(*m.repayment, c.area() / c.debt(), kTolerance);
  EXPECT_NEAR(*m.t50S, c.t50(), kTolerance);
  EXPECT_TRUE(m.notes.empty());

  // The same occlusion given a baseline interval, and found by the finder: the finder's run is the occlusion.
  const PorhOutcome given = MeasurePorh(c.flux, c.fs, {{c.o1, c.o2}}, TimeInterval{10.0, 50.0});
  EXPECT_NEAR(*given.rows[0].baseline, c.B, kTolerance);
  OcclusionFinderOptions finder;
  finder.sampleRateHz = c.fs;
  const OcclusionFinderResult found = FindOcclusions(c.flux, finder);
  ASSERT_TRUE(found.ok());
  ASSERT_EQ(found.occlusions.size(), 1u);
  EXPECT_NEAR(found.occlusions[0].startS, c.o1, kTolerance);
  EXPECT_NEAR(found.occlusions[0].endS, c.o2, kTolerance);
  EXPECT_DOUBLE_EQ(found.threshold, 0.3 * c.B);
}

TEST_P(PorhMeasuresTest, EdgesLeaveCellsEmptyWithTheirNotes) {
  const PorhConstruction c(GetParam());
  // Too near the start for a 60 s baseline; the peak and the biological zero are still measured.
  const PorhOutcome early = MeasurePorh(c.flux, c.fs, {{30.0, 60.0}});
  const PorhMeasures& e = early.rows[0];
  EXPECT_FALSE(e.baseline);
  EXPECT_FALSE(e.hyperaemicArea);
  EXPECT_FALSE(e.t50S);
  EXPECT_TRUE(e.peak);
  EXPECT_EQ(e.notes, std::vector<MeasureNote>{MeasureNote::kNoBaseline});
  // Ending at the record's end: no response window; beyond it: nothing.
  const PorhOutcome last = MeasurePorh(c.flux, c.fs, {{300.0, c.end}, {350.0, c.end + 10.0}});
  EXPECT_FALSE(last.rows[0].peak);
  EXPECT_EQ(last.rows[0].notes, std::vector<MeasureNote>{MeasureNote::kNoResponseWindow});
  EXPECT_EQ(last.rows[1].notes, std::vector<MeasureNote>{MeasureNote::kOutsideRecord});
  // A window cut by the next occlusion before s is back at the baseline: the area runs to the cut.
  const PorhOutcome cut = MeasurePorh(c.flux, c.fs, {{c.o1, c.o2}, {240.0, 250.0}});
  EXPECT_NE(std::find(cut.rows[0].notes.begin(), cut.rows[0].notes.end(), MeasureNote::kNoReturn),
            cut.rows[0].notes.end());
  // Bad input: a non-finite sample is named; a reversed interval is refused.
  std::vector<double> bad = c.flux;
  bad[7] = std::nan("");
  EXPECT_EQ(MeasurePorh(bad, c.fs, {{c.o1, c.o2}}).error->sample, 7);
  EXPECT_EQ(MeasurePorh(c.flux, c.fs, {{c.o2, c.o1}}).error->kind, MeasureErrorKind::kBadInterval);
}

// A heating record: B on [0, 150 s), the initial peak level 50 on [150, 250), the nadir 30 on [250, 400), the
// plateau 45 on [400, 1000), B again to 1100 s and the maximum 90 on [1100, 1200). Heating [100, 1000).
TEST_P(PorhMeasuresTest, HeatingMeasuresOfTheConstruction) {
  const double fs = GetParam();
  std::vector<double> flux;
  for (long long i = 0; i < static_cast<long long>(1200 * fs); ++i) {
    const double t = static_cast<double>(i) / fs;
    flux.push_back(t < 150 ? 20.0 : t < 250 ? 50.0 : t < 400 ? 30.0 : t < 1000 ? 45.0 : t < 1100 ? 20.0 : 90.0);
  }
  const HeatingOutcome outcome = MeasureHeating(flux, fs, {100.0, 1000.0}, std::nullopt, TimeInterval{1100.0, 1200.0});
  ASSERT_TRUE(outcome.ok());
  const HeatingMeasures& m = outcome.row;
  ASSERT_TRUE(m.baseline && m.initialPeak && m.nadir && m.plateau && m.initialPeakPercentMax && m.plateauPercentMax);
  EXPECT_NEAR(*m.baseline, 20.0, kTolerance);
  EXPECT_NEAR(*m.initialPeak, 50.0, kTolerance);
  EXPECT_NEAR(*m.nadir, 30.0, kTolerance);
  EXPECT_NEAR(*m.plateau, 45.0, kTolerance);
  EXPECT_NEAR(*m.initialPeakPercentMax, 100.0 * 50.0 / 90.0, kTolerance);
  EXPECT_NEAR(*m.plateauPercentMax, 50.0, kTolerance);
  EXPECT_TRUE(m.notes.empty());
}

// Real occlusions have single samples and short artefacts above the threshold: within the bridge they split
// nothing; a pause longer than it separates two occlusions, and a run shorter than the minimum is no occlusion.
TEST(OcclusionFinder, ShortInterruptionsDoNotSplitAnOcclusion) {
  const PorhConstruction c(2.0);
  std::vector<double> flux = c.flux;
  flux[300] = c.B;                                      // 150 s: one sample
  for (int i = 340; i < 348; ++i) flux[i] = 2 * c.B;    // 170 .. 174 s: a 4 s artefact
  OcclusionFinderOptions options;
  const OcclusionFinderResult joined = FindOcclusions(flux, options);
  ASSERT_EQ(joined.occlusions.size(), 1u);
  EXPECT_EQ(joined.occlusions[0].startS, c.o1);
  EXPECT_EQ(joined.occlusions[0].endS, c.o2);
  options.bridgeSeconds = 0.0;
  const OcclusionFinderResult apart = FindOcclusions(flux, options);
  ASSERT_EQ(apart.occlusions.size(), 2u);  // 100 .. 150 and 174 .. 200 s; 150.5 .. 170 s is under 20 s
  EXPECT_EQ(apart.occlusions[0].endS, 150.0);
  EXPECT_EQ(apart.occlusions[1].startS, 174.0);
  options.minimumSeconds = 30.0;
  EXPECT_EQ(FindOcclusions(flux, options).occlusions.size(), 1u);
  options.thresholdShare = 1.5;
  EXPECT_EQ(FindOcclusions(flux, options).error->kind, OcclusionFinderErrorKind::kBadOptions);
}

INSTANTIATE_TEST_SUITE_P(Rates, PorhMeasuresTest, ::testing::Values(2.0, 40.0));

}  // namespace
}  // namespace kelvora
