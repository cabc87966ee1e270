#pragma once
// Writing records as CSV: '#' comment lines with the method and its parameters, a header line, then one row per
// sample with its time in seconds.
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "formats/record_file_error.h"
#include "formats/signal_file.h"

namespace kelvora {

struct CsvColumn {
  std::string name;  // the header cell ("BF*"); quoted in the file when it holds ',', '"' or blanks at its ends
  std::vector<double> values;
};

struct CsvWriteRequest {
  // "# key: value" lines before the header, in this order (line ends and other control bytes become blanks).
  std::vector<std::pair<std::string, std::string>> comments;
  double sampleRateHz = 2.0;  // row i is at startTimeS + i / sampleRateHz seconds (> 0)
  double startTimeS = 0.0;
  std::vector<CsvColumn> columns;  // at least one; shorter columns leave their last cells empty
  ValuePrecision precision = ValuePrecision::kFull;
};

struct CsvTextResult {
  std::string text;
  std::optional<RecordFileError> error;  // kNonFiniteValue (`column`, `count` = sample), kBadChannel
};

// The CSV text of `request`: comments, the header "t_s,<names>", then rows "t,v1,v2,..." with '.' as the decimal
// mark whatever the locale (the ',' separates cells), times in shortest round-trip form, values by `precision`,
// "\n" line ends. It reads back through ReadDelimitedText with the same columns and rate. A NaN or infinite
// value is refused. Cost: linear in the samples. Pure; any thread.
CsvTextResult MakeCsvText(const CsvWriteRequest& request);

// Writes MakeCsvText's text to `path` through the atomic writer: the whole file or, on any failure (kCannotWrite
// with the system's reason, or a refused value), the target as it was and no temporary file. Any thread.
std::optional<RecordFileError> WriteCsvFile(const std::string& path, const CsvWriteRequest& request);

}  // namespace kelvora
