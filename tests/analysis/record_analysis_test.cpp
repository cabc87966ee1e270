// The whole analysis of a record: tones of known amplitude, the band table against its definition, the
// too-short note, the picture against the transform's rows, stop and refused options.
#include "analysis/record_analysis.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cmath>
#include <numbers>
#include <vector>

#include "analysis/frequency_grid.h"
#include "analysis/morlet_transform.h"

namespace kelvora {
namespace {

struct Tone {
  double frequencyHz;
  double amplitude;
};

std::vector<double> Tones(const std::vector<Tone>& tones, std::size_t n, double fs, double offset = 0.0) {
  std::vector<double> y(n, offset);
  for (std::size_t i = 0; i < n; ++i)
    for (const Tone& tone : tones)
      y[i] += tone.amplitude * std::cos(2 * std::numbers::pi * tone.frequencyHz * static_cast<double>(i) / fs + 1.0);
  return y;
}

// Mean of the spectrum's values of one quantity over lo <= f < hi, worked out again from the points.
std::optional<double> SpectrumMean(const std::vector<SpectrumPoint>& spectrum, double lo, double hi, bool power) {
  double sum = 0.0;
  int count = 0;
  for (const SpectrumPoint& p : spectrum) {
    if (p.frequencyHz < lo || p.frequencyHz >= hi || !p.amplitude) continue;
    sum += power ? *p.power : *p.amplitude;
    ++count;
  }
  if (count == 0) return std::nullopt;
  return sum / count;
}

void ExpectRelativelyNear(const std::optional<double>& actual, const std::optional<double>& expected,
                          const std::string& what) {
  ASSERT_EQ(actual.has_value(), expected.has_value()) << what;
  if (expected) {
    EXPECT_NEAR(*actual, *expected, 1e-12 * std::fabs(*expected)) << what;
  }
}

// Tones on grid frequencies in four bands of a 2 h record at 2 Hz, on a slow cubic drift that the detrending
// removes: A(f) at each tone is its amplitude within 1 %; every band value is the mean of the spectrum over the
// band, relative values are band means over the mean of the whole range, coverage the valid share.
TEST(RecordAnalysis, TonesHaveTheirAmplitudesAndBandsAverageTheSpectrum) {
  const double fs = 2.0;
  const std::size_t n = 14400;
  const std::vector<double> grid = VoiceFrequencies(0.005, fs / 3.0, 32);
  const std::vector<Tone> tones = {{grid[32], 2.0}, {grid[90], 1.0}, {grid[130], 0.5}, {grid[190], 0.25}};
  std::vector<double> y = Tones(tones, n, fs);
  for (std::size_t i = 0; i < n; ++i) {
    const double t = static_cast<double>(i) / static_cast<double>(n) - 0.5;
    y[i] += 30.0 + 4.0 * t - 3.0 * t * t + 5.0 * t * t * t;
  }
  AnalysisOptions options;
  options.sampleRateHz = fs;
  const AnalysisOutcome outcome = AnalyzeRecord(y, options);
  ASSERT_TRUE(outcome.ok());
  const AnalysisResult& r = outcome.result;
  ASSERT_EQ(r.frequenciesHz.size(), 226u);
  for (const Tone& tone : tones) {
    const auto at = std::find(r.frequenciesHz.begin(), r.frequenciesHz.end(), tone.frequencyHz);
    ASSERT_NE(at, r.frequenciesHz.end());
    const SpectrumPoint& point = r.spectrum[static_cast<std::size_t>(at - r.frequenciesHz.begin())];
    ASSERT_TRUE(point.amplitude);
    EXPECT_NEAR(*point.amplitude, tone.amplitude, 0.01 * tone.amplitude) << tone.frequencyHz << " Hz";
    EXPECT_NEAR(*point.power, tone.amplitude * tone.amplitude, 0.02 * tone.amplitude * tone.amplitude);
  }

  // Default bands at fs = 2: cardiac (0.6 .. 1.6 Hz) lies beyond f_max = 2/3 Hz.
  ASSERT_EQ(r.table.rows.size(), 4u);
  ASSERT_EQ(r.table.omitted.size(), 1u);
  EXPECT_EQ(r.table.omitted[0].name, "cardiac");
  const std::optional<double> baseAmplitude = SpectrumMean(r.spectrum, 0.005, 0.6, false);
  const std::optional<double> basePower = SpectrumMean(r.spectrum, 0.005, 0.6, true);
  for (const BandRow& row : r.table.rows) {
    const double lo = row.band.range.low;
    const double hi = row.band.range.high;
    const std::optional<double> amplitude = SpectrumMean(r.spectrum, lo, hi, false);
    const std::optional<double> power = SpectrumMean(r.spectrum, lo, hi, true);
    ExpectRelativelyNear(row.amplitude, amplitude, row.band.name);
    ExpectRelativelyNear(row.power, power, row.band.name);
    ExpectRelativelyNear(row.relativeAmplitude, *amplitude / *baseAmplitude, row.band.name);
    ExpectRelativelyNear(row.relativePower, *power / *basePower, row.band.name);
    long long valid = 0;
    int rows = 0;
    for (const double f : r.frequenciesHz) {
      if (f < lo || f >= hi) continue;
      ++rows;
      for (long long k = 0; k < r.sampleCount; ++k)
        valid += k / fs >= 2.576 / f && (r.sampleCount - 1 - k) / fs >= 2.576 / f;
    }
    EXPECT_EQ(row.frequencyCount, rows);
    EXPECT_NEAR(row.coverage, static_cast<double>(valid) / (rows * static_cast<double>(n)), 1e-15);
    EXPECT_EQ(row.note, BandNote::kNone);
  }
}

// 10 minutes at 2 Hz cannot hold the endothelial band's cone (2 x 2.576 / 0.00504 s); the note carries
// M = (2 c f0 / lo + 1 / lo) / 60 minutes, and a record of M minutes has values at the band's lowest frequency.
TEST(RecordAnalysis, TooShortRecordNamesTheMinutesItsLowestBandNeeds) {
  for (const double f0 : {1.0, 0.5, 2.0}) {
    AnalysisOptions options;
    options.centreFrequency = f0;
    options.bands = {{"slow", {0.005, 0.02}, false}, {"fast", {0.1, 0.2}, false}};
    const std::vector<double> shortRecord = Tones({{0.01, 1.0}, {0.15, 1.0}}, 1200, 2.0);
    const AnalysisOutcome tooShort = AnalyzeRecord(shortRecord, options);
    ASSERT_TRUE(tooShort.ok());
    const std::vector<BandRow>& rows = tooShort.result.table.rows;
    ASSERT_EQ(rows.size(), 2u);
    const double minutes = (2.0 * 2.576 * f0 / 0.005 + 1.0 / 0.005) / 60.0;
    // The cones at both ends of the band's lowest frequency against the record's 599.5 s.
    const bool lowestEmpty = 2.0 * 2.576 * f0 / tooShort.result.frequenciesHz.front() > 599.5;
    EXPECT_EQ(!tooShort.result.spectrum.front().amplitude, lowestEmpty) << f0;
    EXPECT_EQ(rows[0].note, lowestEmpty ? BandNote::kRecordTooShort : BandNote::kNone) << f0;
    if (lowestEmpty) {
      EXPECT_NEAR(rows[0].neededMinutes, minutes, 1e-12 * minutes);
    }
    EXPECT_EQ(rows[1].note, BandNote::kNone);
    EXPECT_GT(rows[1].coverage, 0.0);

    const auto longEnough = static_cast<std::size_t>(std::ceil(minutes * 60.0 * 2.0)) + 1;
    const AnalysisOutcome enough = AnalyzeRecord(Tones({{0.01, 1.0}}, longEnough, 2.0), options);
    ASSERT_TRUE(enough.ok());
    EXPECT_TRUE(enough.result.spectrum.front().amplitude) << f0;
    EXPECT_EQ(enough.result.table.rows[0].note, BandNote::kNone) << f0;
  }
  // The endothelial band of the default set at f0 = 1: (2 x 2.576 / 0.005 + 200) / 60 = 20.5066... minutes.
  const AnalysisOutcome outcome = AnalyzeRecord(Tones({{0.01, 1.0}}, 1200, 2.0), AnalysisOptions{});
  ASSERT_TRUE(outcome.ok());
  EXPECT_EQ(outcome.result.table.rows[0].note, BandNote::kRecordTooShort);
  EXPECT_NEAR(outcome.result.table.rows[0].neededMinutes, 20.506666666666667, 1e-12);
}

// A band between two grid frequencies has no value and says so; a band beyond f_max is left out.
TEST(RecordAnalysis, BandWithoutGridFrequencyAndBandOutsideTheRange) {
  AnalysisOptions options;
  options.bands = {{"narrow", {0.1001, 0.1002}, false}, {"beyond", {0.5, 0.9}, false}};
  const AnalysisOutcome outcome = AnalyzeRecord(Tones({{0.1, 1.0}}, 2000, 2.0), options);
  ASSERT_TRUE(outcome.ok());
  ASSERT_EQ(outcome.result.table.rows.size(), 1u);
  const BandRow& row = outcome.result.table.rows[0];
  EXPECT_EQ(row.note, BandNote::kNoFrequency);
  EXPECT_FALSE(row.amplitude);
  EXPECT_FALSE(row.relativeAmplitude);
  EXPECT_EQ(row.coverage, 0.0);
  ASSERT_EQ(outcome.result.table.omitted.size(), 1u);
  EXPECT_EQ(outcome.result.table.omitted[0].name, "beyond");
}

// The picture's cells are block means of the transform's own rows, its mask the cone; the run on three threads
// gives the same bits as on one.
TEST(RecordAnalysis, PictureHoldsBlockMeansOfTheRowsAndTheConeMask) {
  const std::vector<double> y = Tones({{0.05, 1.0}, {0.2, 0.3}}, 1001, 2.0, 5.0);
  AnalysisOptions options;
  options.pictureColumns = 40;
  options.detrend = DetrendMode::kNone;
  options.minFrequencyHz = 0.02;
  options.threads = 1;
  const AnalysisOutcome one = AnalyzeRecord(y, options);
  options.threads = 3;
  const AnalysisOutcome three = AnalyzeRecord(y, options);
  ASSERT_TRUE(one.ok() && three.ok());
  const AnalysisResult& r = one.result;
  const ScalogramPicture& picture = r.picture;
  ASSERT_EQ(picture.columns(), 40);
  ASSERT_EQ(picture.rows(), r.frequenciesHz.size());
  const MorletTransform transform(y, 2.0, 1.0, r.frequenciesHz);
  MorletWorkspace workspace;
  for (std::size_t j = 0; j < picture.rows(); ++j) {
    const auto row = transform.row(j, workspace);
    for (int c = 0; c < picture.columns(); ++c) {
      const long long begin = c * 1001LL / 40;
      const long long end = (c + 1) * 1001LL / 40;
      double sum = 0.0;
      bool valid = true;
      for (long long k = begin; k < end; ++k) {
        sum += std::abs(row[static_cast<std::size_t>(k)]);
        valid = valid && r.validRanges[j].contains(k);
      }
      EXPECT_NEAR(picture.amplitude(j, c), sum / static_cast<double>(end - begin), 1e-12);
      EXPECT_EQ(picture.valid(j, c), valid);
      EXPECT_EQ(picture.amplitude(j, c), three.result.picture.amplitude(j, c));
    }
    EXPECT_EQ(r.spectrum[j].amplitude, three.result.spectrum[j].amplitude);
  }
  // More columns than samples: one sample per column.
  options.pictureColumns = 5000;
  EXPECT_EQ(AnalyzeRecord(y, options).result.picture.columns(), 1001);
}

class StopAfterFirstRow : public ProgressSink {
 public:
  void setPosition(long long position) override { m_rows = position; }
  bool stopRequested() const override { return m_rows >= 1; }

 private:
  std::atomic<long long> m_rows{0};
};

TEST(RecordAnalysis, StopRequestEndsTheRunBetweenFrequencies) {
  StopAfterFirstRow sink;
  AnalysisOptions options;
  options.threads = 1;
  const AnalysisOutcome outcome = AnalyzeRecord(Tones({{0.1, 1.0}}, 3600, 2.0), options, sink);
  ASSERT_FALSE(outcome.ok());
  EXPECT_EQ(outcome.error->kind, AnalysisErrorKind::kStopped);
}

TEST(RecordAnalysis, RefusesBadRecordsAndOptions) {
  const std::vector<double> y(100, 1.0);
  auto kindOf = [&](const AnalysisOptions& options, const std::vector<double>& values) {
    const AnalysisOutcome outcome = AnalyzeRecord(values, options);
    return outcome.ok() ? std::optional<AnalysisErrorKind>() : outcome.error->kind;
  };
  AnalysisOptions options;
  EXPECT_EQ(kindOf(options, {}), AnalysisErrorKind::kNoSamples);
  std::vector<double> withNan = y;
  withNan[42] = std::nan("");
  const AnalysisOutcome nan = AnalyzeRecord(withNan, options);
  ASSERT_FALSE(nan.ok());
  EXPECT_EQ(nan.error->kind, AnalysisErrorKind::kNonFiniteSample);
  EXPECT_EQ(nan.error->sample, 42);
  std::vector<double> huge(400);
  for (std::size_t i = 0; i < huge.size(); ++i) huge[i] = 1e200 * std::sin(0.3 * static_cast<double>(i));
  EXPECT_EQ(kindOf(options, huge), AnalysisErrorKind::kValuesTooLarge);
  for (double& v : huge) v *= 1e-200;
  EXPECT_EQ(kindOf(options, huge), std::nullopt);

  struct Case {
    void (*change)(AnalysisOptions&);
    AnalysisErrorKind kind;
  };
  const std::vector<Case> cases = {
      {[](AnalysisOptions& o) { o.sampleRateHz = 0.0; }, AnalysisErrorKind::kBadSampleRate},
      {[](AnalysisOptions& o) { o.centreFrequency = 0.4; }, AnalysisErrorKind::kBadCentreFrequency},
      {[](AnalysisOptions& o) { o.centreFrequency = 3.5; }, AnalysisErrorKind::kBadCentreFrequency},
      {[](AnalysisOptions& o) { o.voicesPerOctave = 0; }, AnalysisErrorKind::kBadVoices},
      {[](AnalysisOptions& o) { o.maxFrequencyHz = 1.01; }, AnalysisErrorKind::kBadFrequencyRange},
      {[](AnalysisOptions& o) { o.minFrequencyHz = 0.5, o.maxFrequencyHz = 0.4; },
       AnalysisErrorKind::kBadFrequencyRange},
      {[](AnalysisOptions& o) { o.minFrequencyHz = 0.3, o.maxFrequencyHz = 0.305, o.voicesPerOctave = 2; },
       AnalysisErrorKind::kNoFrequencies},
      {[](AnalysisOptions& o) { o.threads = 33; }, AnalysisErrorKind::kBadThreads},
      {[](AnalysisOptions& o) { o.pictureColumns = -1; }, AnalysisErrorKind::kBadPictureColumns},
      {[](AnalysisOptions& o) { o.minFrequencyHz = 1e-10; }, AnalysisErrorKind::kTooLong},
  };
  for (const Case& c : cases) {
    AnalysisOptions changed;
    c.change(changed);
    EXPECT_EQ(kindOf(changed, y), c.kind) << static_cast<int>(c.kind);
  }
  // The default f_max follows the rate: min(2, fs / 3).
  options.sampleRateHz = 40.0;
  EXPECT_EQ(AnalysisFrequencyRange(options).high, 2.0);
  options.sampleRateHz = 3.0;
  EXPECT_EQ(AnalysisFrequencyRange(options).high, 1.0);
}

}  // namespace
}  // namespace kelvora
