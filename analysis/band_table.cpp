#include "analysis/band_table.h"

#include <algorithm>

#include "analysis/cone_of_influence.h"
#include "analysis/protocol_segments.h"

namespace kelvora {

namespace {

// Means of A and P over the points with lowHz <= f < highHz that have a value.
struct BandMeans {
  int frequencies = 0;
  long long validSamples = 0;
  std::optional<double> amplitude;
  std::optional<double> power;
  const SpectrumPoint* lowest = nullptr;
};

BandMeans MeansOver(std::span<const SpectrumPoint> spectrum, double lowHz, double highHz) {
  BandMeans means;
  long double amplitudeSum = 0.0L;
  long double powerSum = 0.0L;
  int withValue = 0;
  for (const SpectrumPoint& point : spectrum) {
    if (point.frequencyHz < lowHz || point.frequencyHz >= highHz) continue;
    if (means.lowest == nullptr) means.lowest = &point;
    ++means.frequencies;
    means.validSamples += point.validSamples;
    if (!point.amplitude || !point.power) continue;
    amplitudeSum += *point.amplitude;
    powerSum += *point.power;
    ++withValue;
  }
  if (withValue > 0) {
    means.amplitude = static_cast<double>(amplitudeSum / withValue);
    means.power = static_cast<double>(powerSum / withValue);
  }
  return means;
}

std::optional<double> Ratio(const std::optional<double>& value, const std::optional<double>& base) {
  if (!value || !base || !(*base > 0.0)) return std::nullopt;
  return *value / *base;
}

}  // namespace

BandTable ComputeBandTable(std::span<const SpectrumPoint> spectrum, long long sampleCount,
                           const std::vector<AnalysisBand>& bands, FrequencyBand analysedRange,
                           double centreFrequency) {
  constexpr double kEdgeTolerance = 1e-12;
  BandTable table;
  std::vector<AnalysisBand> reported;
  for (const AnalysisBand& band : bands) {
    const bool inside = band.range.low >= analysedRange.low * (1.0 - kEdgeTolerance) &&
                        band.range.high <= analysedRange.high * (1.0 + kEdgeTolerance);
    (inside ? reported : table.omitted).push_back(band);
  }
  if (reported.empty()) return table;
  table.relativeRange = {reported.front().range.low, reported.front().range.high};
  for (const AnalysisBand& band : reported) {
    table.relativeRange.low = std::min(table.relativeRange.low, band.range.low);
    table.relativeRange.high = std::max(table.relativeRange.high, band.range.high);
  }
  const BandMeans base = MeansOver(spectrum, table.relativeRange.low, table.relativeRange.high);

  for (const AnalysisBand& band : reported) {
    const BandMeans means = MeansOver(spectrum, band.range.low, band.range.high);
    BandRow row;
    row.band = band;
    row.frequencyCount = means.frequencies;
    row.amplitude = means.amplitude;
    row.power = means.power;
    row.relativeAmplitude = Ratio(means.amplitude, base.amplitude);
    row.relativePower = Ratio(means.power, base.power);
    if (means.frequencies > 0 && sampleCount > 0) {
      row.coverage = static_cast<double>(means.validSamples) /
                     (static_cast<double>(means.frequencies) * static_cast<double>(sampleCount));
    }
    if (means.lowest == nullptr) {
      row.note = BandNote::kNoFrequency;
    } else if (!means.lowest->amplitude) {
      row.note = BandNote::kRecordTooShort;
      row.neededMinutes = NeededRecordMinutes(band.range.low, centreFrequency);
    }
    table.rows.push_back(std::move(row));
  }
  return table;
}

BandTable ComputeSegmentBandTable(std::span<const SpectrumPoint> segmentSpectrum, long long segmentSampleCount,
                                  double sampleRateHz, const std::vector<AnalysisBand>& bands,
                                  FrequencyBand analysedRange, double centreFrequency) {
  BandTable table = ComputeBandTable(segmentSpectrum, segmentSampleCount, bands, analysedRange, centreFrequency);
  const double seconds = static_cast<double>(segmentSampleCount) / sampleRateHz;
  for (BandRow& row : table.rows) {
    if (row.note == BandNote::kNoFrequency) continue;
    if (seconds < kSegmentPeriods / row.band.range.low) {
      row.note = BandNote::kSegmentTooShort;
      row.neededMinutes = NeededSegmentMinutes(row.band.range.low);
    } else if (row.note == BandNote::kRecordTooShort) {
      row.note = BandNote::kSegmentOutsideCone;
      row.neededMinutes = 0.0;
    }
  }
  return table;
}

}  // namespace kelvora
