#include "formats/csv_writer.h"

#include <charconv>
#include <cmath>

#include "core/atomic_file.h"

namespace kelvora {
namespace {

// Control bytes (line ends included) become blanks, so a comment stays one line.
std::string OneLine(const std::string& text) {
  std::string line = text;
  for (char& c : line)
    if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F) c = ' ';
  return line;
}

std::string HeaderCell(const std::string& name) {
  const std::string cell = OneLine(name);
  const bool quote = cell.find_first_of(",\"") != std::string::npos ||
                     (!cell.empty() && (cell.front() == ' ' || cell.back() == ' ' || cell.front() == '#'));
  if (!quote) return cell;
  std::string quoted = "\"";
  for (const char c : cell) {
    if (c == '"') quoted += '"';
    quoted += c;
  }
  return quoted + "\"";
}

std::string Shortest(double value) {
  char buffer[64];
  const auto r = std::to_chars(buffer, buffer + sizeof buffer, value);
  return std::string(buffer, r.ptr);
}

}  // namespace

CsvTextResult MakeCsvText(const CsvWriteRequest& request) {
  CsvTextResult result;
  const auto fail = [&](RecordFileErrorKind kind, int column, long long sample) {
    RecordFileError error;
    error.kind = kind;
    error.column = column;
    error.count = sample;
    result.error = error;
    result.text.clear();
    return result;
  };
  if (request.columns.empty() || !(request.sampleRateHz > 0) || !std::isfinite(request.sampleRateHz) ||
      !std::isfinite(request.startTimeS))
    return fail(RecordFileErrorKind::kBadChannel, 0, 0);
  std::size_t rows = 0;
  for (std::size_t c = 0; c < request.columns.size(); ++c) {
    const std::vector<double>& values = request.columns[c].values;
    rows = std::max(rows, values.size());
    for (std::size_t i = 0; i < values.size(); ++i)
      if (!std::isfinite(values[i]))
        return fail(RecordFileErrorKind::kNonFiniteValue, static_cast<int>(c) + 1, static_cast<long long>(i));
  }
  std::string& text = result.text;
  // Appended piece by piece: GCC 12 warns falsely (-Wrestrict) about "# " + std::string here.
  for (const auto& [key, value] : request.comments) {
    text += "# ";
    text += OneLine(key);
    text += ": ";
    text += OneLine(value);
    text += '\n';
  }
  text += "t_s";
  for (const CsvColumn& column : request.columns) {
    text += ',';
    text += HeaderCell(column.name);
  }
  text += '\n';
  for (std::size_t i = 0; i < rows; ++i) {
    text += Shortest(request.startTimeS + static_cast<double>(i) / request.sampleRateHz);
    for (const CsvColumn& column : request.columns) {
      text += ',';
      if (i < column.values.size()) text += FormatSignalValue(column.values[i], '.', request.precision);
    }
    text += '\n';
  }
  return result;
}

std::optional<RecordFileError> WriteCsvFile(const std::string& path, const CsvWriteRequest& request) {
  CsvTextResult csv = MakeCsvText(request);
  if (csv.error) {
    csv.error->path = path;
    return csv.error;
  }
  if (const std::optional<std::string> reason = WriteFileAtomically(path, csv.text)) {
    RecordFileError error;
    error.kind = RecordFileErrorKind::kCannotWrite;
    error.path = path;
    error.reason = *reason;
    return error;
  }
  return std::nullopt;
}

}  // namespace kelvora
