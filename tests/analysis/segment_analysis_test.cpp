// Per-segment statistics against a direct evaluation of their definition: the whole record's transform, the
// segment's samples inside each row's cone, the band means over those rows; the short-segment note; segments of
// markers.
#include <gtest/gtest.h>

#include <cmath>
#include <numbers>
#include <vector>

#include "analysis/morlet_transform.h"
#include "analysis/phase_coherence.h"
#include "analysis/protocol_segments.h"
#include "analysis/record_analysis.h"

namespace kelvora {
namespace {

struct Direct {
  std::vector<std::optional<double>> amplitude, power;  // per grid frequency
  std::vector<long long> used;                          // segment samples inside the row's cone
};

// A(f_j), P(f_j) over the n with start <= n / fs < end and n inside the cone, by a plain loop over all n.
Direct Evaluate(const MorletTransform& transform, double fs, double f0, double start, double end) {
  Direct d;
  MorletWorkspace workspace;
  const long long n = transform.sampleCount();
  for (std::size_t j = 0; j < transform.frequencyCount(); ++j) {
    const auto w = transform.row(j, workspace);
    const double edge = 2.576 * f0 / transform.frequencies()[j];
    long double a = 0, p = 0;
    long long count = 0;
    for (long long i = 0; i < n; ++i) {
      const double t = static_cast<double>(i) / fs;
      const bool inCone = t >= edge && static_cast<double>(n - 1 - i) / fs >= edge;
      if (!inCone || t < start || t >= end) continue;
      const double power = std::norm(w[static_cast<std::size_t>(i)]);
      a += std::sqrt(power);
      p += power;
      ++count;
    }
    d.used.push_back(count);
    d.amplitude.push_back(count ? std::optional<double>(static_cast<double>(a / count)) : std::nullopt);
    d.power.push_back(count ? std::optional<double>(static_cast<double>(p / count)) : std::nullopt);
  }
  return d;
}

void ExpectNear(const std::optional<double>& actual, const std::optional<double>& expected, const std::string& what) {
  ASSERT_EQ(actual.has_value(), expected.has_value()) << what;
  if (expected) {
    EXPECT_NEAR(*actual, *expected, 1e-9 * std::max(1.0, std::fabs(*expected))) << what;
  }
}

TEST(SegmentAnalysis, BandTablesEqualTheDirectEvaluationOverTheWholeRecordsTransform) {
  const double fs = 2.0;
  const std::size_t n = 2400;  // 20 min
  std::vector<double> y(n);
  for (std::size_t i = 0; i < n; ++i) {
    const double t = static_cast<double>(i) / fs;
    y[i] = 10 + 3 * std::sin(2 * std::numbers::pi * 0.011 * t) + 2 * std::cos(2 * std::numbers::pi * 0.031 * t) +
           std::sin(2 * std::numbers::pi * 0.1 * t) * (t > 600 ? 2.0 : 0.5) + 0.3 * std::sin(t * t * 0.001);
  }
  AnalysisOptions options;
  options.sampleRateHz = fs;
  options.threads = 2;
  options.segments = {{"rest", 0.0, 300.0}, {"middle", 400.0, 1000.0}, {"short", 1100.0, 1150.0}};
  const AnalysisOutcome outcome = AnalyzeRecord(y, options);
  ASSERT_TRUE(outcome.ok());
  const AnalysisResult& r = outcome.result;
  ASSERT_EQ(r.segments.size(), 3u);

  const MorletTransform transform = MakeAnalysisTransform(y, options);
  for (const SegmentAnalysis& part : r.segments) {
    const Direct d = Evaluate(transform, fs, options.centreFrequency, part.segment.startS, part.segment.endS);
    const long long segmentSamples = static_cast<long long>(std::ceil(part.segment.endS * fs) - std::ceil(part.segment.startS * fs));
    EXPECT_EQ(part.samples.size(), segmentSamples);
    // The relative base: every grid frequency of the listed range with a value.
    const double lowAll = part.table.relativeRange.low, highAll = part.table.relativeRange.high;
    auto bandMean = [&](double lo, double hi, bool power) {
      long double sum = 0;
      int count = 0;
      for (std::size_t j = 0; j < r.frequenciesHz.size(); ++j) {
        const double f = r.frequenciesHz[j];
        const auto& v = power ? d.power[j] : d.amplitude[j];
        if (f < lo || f >= hi || !v) continue;
        sum += *v;
        ++count;
      }
      return count ? std::optional<double>(static_cast<double>(sum / count)) : std::nullopt;
    };
    ASSERT_FALSE(part.table.rows.empty());
    for (const BandRow& row : part.table.rows) {
      const std::string what = part.segment.name + " " + row.band.name;
      const double lo = row.band.range.low, hi = row.band.range.high;
      ExpectNear(row.amplitude, bandMean(lo, hi, false), what);
      ExpectNear(row.power, bandMean(lo, hi, true), what);
      const auto a = bandMean(lo, hi, false), aAll = bandMean(lowAll, highAll, false);
      ExpectNear(row.relativeAmplitude, a && aAll ? std::optional<double>(*a / *aAll) : std::nullopt, what);
      long long used = 0;
      int freqs = 0;
      for (std::size_t j = 0; j < r.frequenciesHz.size(); ++j)
        if (r.frequenciesHz[j] >= lo && r.frequenciesHz[j] < hi) {
          used += d.used[j];
          ++freqs;
        }
      EXPECT_NEAR(row.coverage, static_cast<double>(used) / (freqs * static_cast<double>(segmentSamples)), 1e-12) << what;
      // The note: a segment shorter than five periods of the band's lower edge says how long it must be.
      const double seconds = part.segment.endS - part.segment.startS;
      if (seconds < 5.0 / lo) {
        EXPECT_EQ(row.note, BandNote::kSegmentTooShort) << what;
        EXPECT_DOUBLE_EQ(row.neededMinutes, 5.0 / lo / 60.0) << what;
      } else {
        EXPECT_NE(row.note, BandNote::kSegmentTooShort) << what;
      }
    }
  }
  // The whole record's table is as it is without segments.
  AnalysisOptions plain = options;
  plain.segments.clear();
  const AnalysisOutcome whole = AnalyzeRecord(y, plain);
  ASSERT_EQ(whole.result.table.rows.size(), r.table.rows.size());
  for (std::size_t b = 0; b < r.table.rows.size(); ++b)
    EXPECT_EQ(whole.result.table.rows[b].amplitude, r.table.rows[b].amplitude);
}

// A segment's coherence: over the whole record it is the whole result, surrogate thresholds included; over a
// part it is |mean exp(i (phi_BF - phi_T))| over the part's samples inside the cone, evaluated directly.
TEST(SegmentAnalysis, CoherenceOfASegmentIsTheDirectMeanOverItsSamples) {
  const double fs = 2.0;
  const std::size_t n = 1800;
  std::vector<double> t(n), bf(n);
  for (std::size_t i = 0; i < n; ++i) {
    const double s = static_cast<double>(i) / fs;
    bf[i] = 10 + std::sin(2 * std::numbers::pi * 0.03 * s) + 0.5 * std::sin(2 * std::numbers::pi * 0.1 * s + 0.3 * std::sin(s / 40));
    t[i] = 30 + 0.2 * std::sin(2 * std::numbers::pi * 0.03 * s - 0.7) + 0.05 * std::cos(s * s * 0.0007);
  }
  CoherenceOptions options;
  options.analysis.sampleRateHz = fs;
  options.analysis.minFrequencyHz = 0.02;
  options.analysis.threads = 2;
  options.surrogatePairs = 4;
  options.segments = {{"all", 0.0, static_cast<double>(n) / fs}, {"part", 150.0, 600.0}};
  const CoherenceOutcome outcome = AnalyzeCoherence(t, bf, options);
  ASSERT_TRUE(outcome.ok());
  const CoherenceResult& r = outcome.result;
  ASSERT_EQ(r.segments.size(), 2u);
  for (std::size_t j = 0; j < r.points.size(); ++j) {
    EXPECT_EQ(r.segments[0].points[j].coherence, r.points[j].coherence);
    EXPECT_EQ(r.segments[0].points[j].threshold, r.points[j].threshold);
  }
  const MorletTransform wt = MakeAnalysisTransform(t, options.analysis);
  const MorletTransform wbf = MakeAnalysisTransform(bf, options.analysis);
  MorletWorkspace a, b;
  for (std::size_t j = 0; j < r.points.size(); ++j) {
    const auto rt = wt.row(j, a);
    const auto rbf = wbf.row(j, b);
    const double edge = 2.576 / wt.frequencies()[j];
    std::complex<long double> sum = 0;
    long long count = 0;
    for (std::size_t i = 0; i < n; ++i) {
      const double s = static_cast<double>(i) / fs;
      if (s < edge || static_cast<double>(n - 1 - i) / fs < edge || s < 150.0 || s >= 600.0) continue;
      const std::complex<double> z = rbf[i] * std::conj(rt[i]);
      sum += std::complex<long double>(z.real(), z.imag()) / static_cast<long double>(std::abs(z));
      ++count;
    }
    const std::optional<double> expected =
        count ? std::optional<double>(static_cast<double>(std::abs(sum) / static_cast<long double>(count))) : std::nullopt;
    ExpectNear(r.segments[1].points[j].coherence, expected, std::to_string(wt.frequencies()[j]) + " Hz");
  }
}

TEST(SegmentAnalysis, MarkersCutTheRecordIntoNamedSegments) {
  const std::vector<Marker> markers = {{200.0, 0.0, "recovery 1", MarkerSource::kFound},
                                       {100.0, 0.0, "occlusion 1", MarkerSource::kFound},
                                       {50.0, 30.0, "drug", MarkerSource::kSidecar},
                                       {450.0, 0.0, "late", MarkerSource::kSidecar}};
  const std::vector<Segment> segments = SegmentsFromMarkers(markers, 400.0);
  ASSERT_EQ(segments.size(), 4u);  // "late" lies beyond the record
  EXPECT_EQ(segments[0].name, "");
  EXPECT_EQ(segments[0].endS, 100.0);
  EXPECT_EQ(segments[1].name, "drug");
  EXPECT_EQ(segments[1].endS, 80.0);
  EXPECT_EQ(segments[2].name, "occlusion 1");
  EXPECT_EQ(segments[2].endS, 200.0);
  EXPECT_EQ(segments[3].name, "recovery 1");
  EXPECT_EQ(segments[3].endS, 400.0);
  // The samples of an interval: start <= n / fs < end, cut to the record.
  EXPECT_EQ(SamplesInInterval(0.25, 1.0, 40.0, 100).first, 10);
  EXPECT_EQ(SamplesInInterval(0.25, 1.0, 40.0, 100).last, 39);
  EXPECT_EQ(SamplesInInterval(2.0, 9.0, 40.0, 100).last, 99);
  EXPECT_TRUE(SamplesInInterval(3.0, 9.0, 40.0, 100).empty());
}

}  // namespace
}  // namespace kelvora
