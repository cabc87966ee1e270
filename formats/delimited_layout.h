#pragma once
// The layout of a delimited text file (CSV, TSV, semicolon or whitespace separated) and its detection from the
// first lines: separator, decimal mark, header lines, column names and units, the time column.
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "formats/imported_channel.h"
#include "formats/record_file_error.h"

namespace kelvora {

// The separator value that stands for runs of blanks and TABs.
inline constexpr char kWhitespaceSeparator = ' ';

struct DelimitedLayout {
  char separator = ',';    // ',', ';', '\t', or kWhitespaceSeparator
  char decimalMark = '.';  // '.' or ','; never the separator
  int headerLines = 0;     // lines before the first data row (line headerLines + 1 is the first data row)
  int namesLine = 0;       // 1-based line of the column names; 0 when the file names none
  int unitsLine = 0;       // 1-based line of the units (right after the names); 0 when none
  int columnCount = 0;     // cells in a data row
  std::vector<std::string> names;  // columnCount entries; "" for a column without a name
  std::vector<std::string> units;  // columnCount entries: the units row, else a unit in the name, else ""
  int timeColumn = 0;      // 1-based column of the sample times; 0 for none
  double timeUnitS = 1.0;  // seconds per unit of the time column (0.001 for ms, 60 for min, 3600 for h)
};

// What the caller fixes before detection; detection fills in the rest consistently with it.
struct DelimitedLayoutOverrides {
  std::optional<char> separator;
  std::optional<char> decimalMark;
  std::optional<int> headerLines;       // >= 0
  std::optional<ChannelRef> timeColumn; // a column; a ChannelRef with number 0 and no name means "none"
  std::optional<double> timeUnitS;      // > 0
};

struct DelimitedLayoutDetection {
  DelimitedLayout layout;
  std::vector<std::string> preview;  // the first lines (at most 20) without line ends and byte-order mark
  std::optional<RecordFileError> error;  // kNoData, kNoSuchColumn / kAmbiguousColumn (time column override)

  bool ok() const { return !error.has_value(); }
};

// The most bytes of a file's beginning that detection looks at.
inline constexpr std::size_t kLayoutDetectionBytes = 64 * 1024;

// Detects the layout from the beginning of a file (at most kLayoutDetectionBytes are used; the last line is
// dropped when `head` may have cut it). Lines end at LF, CR LF or CR; a UTF-8 byte-order mark is skipped;
// blank lines and lines starting with '#' are comments. Rules:
// - The separator and decimal mark are the pair under which the longest run of rows of numbers with one cell
//   count follows the header (each separator tried with each mark it allows; TAB before ';' before ',' before
//   whitespace on a tie). A comma-separated reading whose every cell is a whole number gives way to a
//   decimal-comma reading that explains the same rows ("36,6" is one number, not two columns).
// - Header lines are the lines before that run. The last header line (comments aside) with the data's cell
//   count names the columns; when the line before it has that count too, it names them and the last one holds
//   the units.
// - The time column is the column named like a time ("t", "time", "t_s", "time (s)", "temps", "zeit", "sec",
//   "timestamp"), else the first column when it rises in uniform steps (within 1 %) over the sampled rows and
//   the file has another column. Its unit (from the units row or the name: "ms", "min", "h") gives timeUnitS.
// `path` only names the file in errors. Cost: linear in the head. Pure; any thread.
DelimitedLayoutDetection DetectDelimitedLayout(std::string_view head, const DelimitedLayoutOverrides& overrides = {},
                                               const std::string& path = {});

// The cells of one line (without its line end) under `separator`: around ',', ';' and TAB cells are trimmed of
// blanks and may be quoted ("a,b", "" for a quote); kWhitespaceSeparator splits at runs of blanks and TABs and
// ignores them at both ends. An empty line gives no cells.
std::vector<std::string> SplitDelimitedLine(std::string_view line, char separator);

// The largest deviation of a time step from the mean step `meanStep` that still counts as uniform: 1 % of it,
// plus, when the times are printed with `decimals` decimals that cannot hold the step exactly but resolve a tenth
// of it (1/32 s to milliseconds), one unit of the last decimal for the rounding of the two times.
double UniformStepTolerance(double meanStep, int decimals);

// The seconds per unit that a time column's unit text names ("s", "ms", "min", "h", "us"); nothing for others.
std::optional<double> TimeUnitSeconds(const std::string& unit);

}  // namespace kelvora
