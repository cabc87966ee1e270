#include "analysis/analysis_csv.h"

#include "formats/signal_file.h"

namespace kelvora {

std::string CsvField(const std::string& text) {
  if (text.find_first_of(",\"\r\n") == std::string::npos) return text;
  std::string quoted = "\"";
  for (const char c : text) {
    if (c == '"') quoted += '"';
    quoted += c;
  }
  return quoted + "\"";
}

std::string CsvNumber(const std::optional<double>& value) {
  return value ? FormatSignalValue(*value, '.', ValuePrecision::kFull) : std::string();
}

std::string BandTableCsvRows(const std::string& file, const BandTable& table,
                             const std::function<std::string(const BandRow&)>& noteText) {
  std::string text;
  for (const BandRow& row : table.rows) {
    text += CsvField(file) + ',' + CsvField(row.band.name) + ',' + CsvNumber(row.band.range.low) + ',' +
            CsvNumber(row.band.range.high) + ',' + CsvNumber(row.amplitude) + ',' + CsvNumber(row.power) + ',' +
            CsvNumber(row.relativeAmplitude) + ',' + CsvNumber(row.relativePower) + ',' + CsvNumber(row.coverage) +
            ',' + CsvField(noteText(row)) + '\n';
  }
  return text;
}

std::string SegmentBandTableCsvRows(const std::string& file, const SegmentAnalysis& segment,
                                    const std::function<std::string(const BandRow&)>& noteText) {
  const std::string prefix = CsvField(file) + ',' + CsvField(segment.segment.name) + ',' +
                             CsvNumber(segment.segment.startS) + ',' + CsvNumber(segment.segment.endS) + ',';
  std::string text;
  for (const BandRow& row : segment.table.rows) {
    text += prefix + CsvField(row.band.name) + ',' + CsvNumber(row.band.range.low) + ',' +
            CsvNumber(row.band.range.high) + ',' + CsvNumber(row.amplitude) + ',' + CsvNumber(row.power) + ',' +
            CsvNumber(row.relativeAmplitude) + ',' + CsvNumber(row.relativePower) + ',' + CsvNumber(row.coverage) +
            ',' + CsvField(noteText(row)) + '\n';
  }
  return text;
}

std::string SpectrumCsv(const AnalysisResult& result) {
  std::string text = "frequency_hz,amplitude,power\n";
  for (const SpectrumPoint& point : result.spectrum)
    text += CsvNumber(point.frequencyHz) + ',' + CsvNumber(point.amplitude) + ',' + CsvNumber(point.power) + '\n';
  return text;
}

std::string SegmentSpectrumCsv(const AnalysisResult& result) {
  std::string text = "segment,start_s,end_s,frequency_hz,amplitude,power\n";
  for (const SegmentAnalysis& part : result.segments) {
    const std::string prefix = CsvField(part.segment.name) + ',' + CsvNumber(part.segment.startS) + ',' +
                               CsvNumber(part.segment.endS) + ',';
    for (const SpectrumPoint& point : part.spectrum)
      text += prefix + CsvNumber(point.frequencyHz) + ',' + CsvNumber(point.amplitude) + ',' + CsvNumber(point.power) +
              '\n';
  }
  return text;
}

std::string ScalogramCsv(const AnalysisResult& result) {
  const ScalogramPicture& picture = result.picture;
  std::string text = "frequency_hz";
  for (int c = 0; c < picture.columns(); ++c) {
    const double centre = 0.5 * static_cast<double>(picture.columnBegin(c) + picture.columnBegin(c + 1) - 1);
    text += ',' + CsvNumber(centre / result.sampleRateHz);
  }
  text += '\n';
  for (std::size_t j = 0; j < picture.rows(); ++j) {
    text += CsvNumber(result.frequenciesHz[j]);
    for (int c = 0; c < picture.columns(); ++c) {
      text += ',';
      if (picture.valid(j, c)) text += CsvNumber(picture.amplitude(j, c));
    }
    text += '\n';
  }
  return text;
}

std::string CoherenceTableCsv(const CoherenceResult& result) {
  std::string text = kCoherenceTableCsvHeader;
  for (const CoherenceBandRow& row : result.bands) {
    const std::optional<double> share = row.coherence ? std::optional<double>(row.significantShare) : std::nullopt;
    text += CsvField(row.band.name) + ',' + CsvNumber(row.band.range.low) + ',' + CsvNumber(row.band.range.high) +
            ',' + CsvNumber(row.coherence) + ',' + CsvNumber(row.threshold) + ',' + CsvNumber(share) + ',' +
            CsvNumber(row.lagSeconds) + ',' + CsvNumber(row.depthMm) + ',' + CsvNumber(row.depthAmpMm) + '\n';
  }
  return text;
}

namespace {

std::string CoherenceBandCsvFields(const CoherenceBandRow& row) {
  const std::optional<double> share = row.coherence ? std::optional<double>(row.significantShare) : std::nullopt;
  return CsvField(row.band.name) + ',' + CsvNumber(row.band.range.low) + ',' + CsvNumber(row.band.range.high) + ',' +
         CsvNumber(row.coherence) + ',' + CsvNumber(row.threshold) + ',' + CsvNumber(share) + ',' +
         CsvNumber(row.lagSeconds) + ',' + CsvNumber(row.depthMm) + ',' + CsvNumber(row.depthAmpMm);
}

}  // namespace

std::string SegmentCoherenceTableCsv(const CoherenceResult& result) {
  std::string text = kSegmentCoherenceTableCsvHeader;
  for (const CoherenceSegmentResult& part : result.segments) {
    const std::string prefix = CsvField(part.segment.name) + ',' + CsvNumber(part.segment.startS) + ',' +
                               CsvNumber(part.segment.endS) + ',';
    for (const CoherenceBandRow& row : part.bands) text += prefix + CoherenceBandCsvFields(row) + '\n';
  }
  return text;
}

std::string CoherenceCurvesCsv(const CoherenceResult& result) {
  std::string text = kCoherenceCurvesCsvHeader;
  for (const CoherencePoint& p : result.points) {
    text += CsvNumber(p.frequencyHz) + ',' + CsvNumber(p.coherence) + ',' + CsvNumber(p.threshold) + ',' +
            CsvNumber(p.lagSeconds) + ',' + CsvNumber(p.depthMm) + '\n';
  }
  return text;
}

}  // namespace kelvora
