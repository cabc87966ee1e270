// The MATLAB variables of analysis and coherence results.
#include "analysis/analysis_mat.h"

#include <optional>

namespace kelvora {
namespace {

// A column of optional values: the values (0 where empty) and their 0/1 validity.
struct OptionalColumn {
  std::vector<double> values, valid;
  void add(const std::optional<double>& v) {
    values.push_back(v.value_or(0.0));
    valid.push_back(v ? 1.0 : 0.0);
  }
  void into(std::vector<MatValue>& fields, const std::string& name) const {
    fields.push_back(MatValue::Column(name, values));
    fields.push_back(MatValue::Column(name + "_valid", valid));
  }
};

}  // namespace

MatValue BandTableMat(const std::vector<std::pair<std::string, const BandTable*>>& tables,
                      const std::vector<std::string>& noteTexts) {
  std::vector<std::string> files, names;
  std::vector<double> low, high, coverage;
  OptionalColumn amplitude, power, relAmplitude, relPower;
  for (const auto& [file, table] : tables) {
    for (const BandRow& row : table->rows) {
      files.push_back(file);
      names.push_back(row.band.name);
      low.push_back(row.band.range.low);
      high.push_back(row.band.range.high);
      amplitude.add(row.amplitude);
      power.add(row.power);
      relAmplitude.add(row.relativeAmplitude);
      relPower.add(row.relativePower);
      coverage.push_back(row.coverage);
    }
  }
  std::vector<MatValue> fields = {MatValue::TextRows("file", files), MatValue::TextRows("band", names),
                                  MatValue::Column("low_hz", low), MatValue::Column("high_hz", high)};
  amplitude.into(fields, "amplitude");
  power.into(fields, "power");
  relAmplitude.into(fields, "rel_amplitude");
  relPower.into(fields, "rel_power");
  fields.push_back(MatValue::Column("coverage", coverage));
  fields.push_back(MatValue::TextRows("note", noteTexts));
  return MatValue::Struct("bands", std::move(fields));
}

MatValue SpectrumMat(const AnalysisResult& result) {
  std::vector<double> frequency, amplitude, power, valid;
  for (const SpectrumPoint& p : result.spectrum) {
    frequency.push_back(p.frequencyHz);
    amplitude.push_back(p.amplitude.value_or(0.0));
    power.push_back(p.power.value_or(0.0));
    valid.push_back(static_cast<double>(p.amplitude ? p.validSamples : 0));
  }
  return MatValue::Struct("spectrum", {MatValue::Column("frequency_hz", frequency), MatValue::Column("amplitude", amplitude),
                                       MatValue::Column("power", power), MatValue::Column("valid_samples", valid)});
}

std::vector<MatValue> ScalogramMat(const AnalysisResult& result) {
  const ScalogramPicture& picture = result.picture;
  if (picture.empty()) return {};
  const std::size_t rows = picture.rows(), columns = static_cast<std::size_t>(picture.columns());
  std::vector<double> amplitude(rows * columns), valid(rows * columns), times(columns);
  for (std::size_t c = 0; c < columns; ++c) {
    const int column = static_cast<int>(c);
    const double centre = 0.5 * static_cast<double>(picture.columnBegin(column) + picture.columnBegin(column + 1) - 1);
    times[c] = centre / result.sampleRateHz;
    for (std::size_t j = 0; j < rows; ++j) {
      amplitude[j + c * rows] = picture.amplitude(j, column);
      valid[j + c * rows] = picture.valid(j, column) ? 1.0 : 0.0;
    }
  }
  return {MatValue::Matrix("scalogram_amplitude", rows, columns, std::move(amplitude)),
          MatValue::Matrix("scalogram_valid", rows, columns, std::move(valid)),
          MatValue::Column("scalogram_frequency_hz",
                           std::vector<double>(result.frequenciesHz.begin(), result.frequenciesHz.begin() +
                                                                                static_cast<std::ptrdiff_t>(rows))),
          MatValue::Row("scalogram_time_s", std::move(times))};
}

std::vector<MatValue> CoherenceMat(const CoherenceResult& result) {
  std::vector<std::string> names;
  std::vector<double> low, high;
  OptionalColumn coherence, threshold, share, lag, depth, depthAmp;
  for (const CoherenceBandRow& row : result.bands) {
    names.push_back(row.band.name);
    low.push_back(row.band.range.low);
    high.push_back(row.band.range.high);
    coherence.add(row.coherence);
    threshold.add(row.threshold);
    share.add(row.coherence ? std::optional<double>(row.significantShare) : std::nullopt);
    lag.add(row.lagSeconds);
    depth.add(row.depthMm);
    depthAmp.add(row.depthAmpMm);
  }
  std::vector<MatValue> bandFields = {MatValue::TextRows("band", names), MatValue::Column("low_hz", low),
                                      MatValue::Column("high_hz", high)};
  coherence.into(bandFields, "coherence");
  threshold.into(bandFields, "threshold");
  share.into(bandFields, "significant_share");
  lag.into(bandFields, "lag_s");
  depth.into(bandFields, "depth_mm");
  depthAmp.into(bandFields, "depth_amp_mm");

  std::vector<double> frequency, significant;
  OptionalColumn pointCoherence, pointThreshold, pointLag, pointDepth;
  for (const CoherencePoint& p : result.points) {
    frequency.push_back(p.frequencyHz);
    pointCoherence.add(p.coherence);
    pointThreshold.add(p.threshold);
    pointLag.add(p.lagSeconds);
    pointDepth.add(p.depthMm);
    significant.push_back(p.significant ? 1.0 : 0.0);
  }
  std::vector<MatValue> curveFields = {MatValue::Column("frequency_hz", frequency)};
  pointCoherence.into(curveFields, "coherence");
  pointThreshold.into(curveFields, "threshold");
  pointLag.into(curveFields, "lag_s");
  pointDepth.into(curveFields, "depth_mm");
  curveFields.push_back(MatValue::Column("significant", significant));
  return {MatValue::Struct("coherence_bands", std::move(bandFields)),
          MatValue::Struct("coherence_curves", std::move(curveFields)), MatValue::Scalar("fs", result.sampleRateHz)};
}

}  // namespace kelvora
