#pragma once
// The CSV files of an analysis: the band table, the time-averaged spectrum and the scalogram matrix. Numbers in
// shortest round-trip form with "." decimals; an empty field where a value is empty. The words of the band
// table's note column are the caller's (the window's language, the CLI's English).
#include <functional>
#include <optional>
#include <string>

#include "analysis/band_table.h"
#include "analysis/phase_coherence.h"
#include "analysis/record_analysis.h"

namespace kelvora {

inline constexpr const char* kBandTableCsvHeader =
    "file,band,low_hz,high_hz,amplitude,power,rel_amplitude,rel_power,coverage,note\n";

// A CSV field: quoted (with doubled quotes) when it holds a comma, a quote or a line end.
std::string CsvField(const std::string& text);

// A value in shortest round-trip form with "."; an empty text for no value.
std::string CsvNumber(const std::optional<double>& value);

// One line per reported band of `table`, without the header: the file label, the band's name, its edges and
// values, and noteText(row) as the note. Pure.
std::string BandTableCsvRows(const std::string& file, const BandTable& table,
                             const std::function<std::string(const BandRow&)>& noteText);

inline constexpr const char* kSegmentBandTableCsvHeader =
    "file,segment,start_s,end_s,band,low_hz,high_hz,amplitude,power,rel_amplitude,rel_power,coverage,note\n";

// The lines of a segment's band table: as BandTableCsvRows with the segment's name, start and end after the file.
std::string SegmentBandTableCsvRows(const std::string& file, const SegmentAnalysis& segment,
                                    const std::function<std::string(const BandRow&)>& noteText);

// "frequency_hz,amplitude,power", then one line per grid frequency, increasing. Pure.
std::string SpectrumCsv(const AnalysisResult& result);

// "segment,start_s,end_s,frequency_hz,amplitude,power", then one line per segment and grid frequency: each
// segment's time-averaged spectrum. Pure.
std::string SegmentSpectrumCsv(const AnalysisResult& result);

// The picture as a matrix: a header "frequency_hz" and the columns' centre times in seconds, then one line per
// frequency (increasing) with the block means of |W|; cells outside the cone of influence are empty. Cost:
// about 20 bytes per cell. Pure.
std::string ScalogramCsv(const AnalysisResult& result);

inline constexpr const char* kCoherenceTableCsvHeader =
    "band,low_hz,high_hz,coherence,threshold,significant_share,lag_s,depth_mm,depth_amp_mm\n";
inline constexpr const char* kCoherenceCurvesCsvHeader = "frequency_hz,coherence,threshold,lag_s,depth_mm\n";

// The header and one line per reported band of a coherence run; the share is empty where the band has no
// coherence value (a record too short for it). Pure.
std::string CoherenceTableCsv(const CoherenceResult& result);

inline constexpr const char* kSegmentCoherenceTableCsvHeader =
    "segment,start_s,end_s,band,low_hz,high_hz,coherence,threshold,significant_share,lag_s,depth_mm,depth_amp_mm\n";

// The header and one line per segment and reported band of a coherence run with segments: the segment's name,
// start and end, then the band's fields as CoherenceTableCsv has them. Pure.
std::string SegmentCoherenceTableCsv(const CoherenceResult& result);

// The header and one line per grid frequency, increasing. Pure.
std::string CoherenceCurvesCsv(const CoherenceResult& result);

}  // namespace kelvora
