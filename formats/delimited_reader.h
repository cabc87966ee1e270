#pragma once
// Reading the signal columns of a delimited text file (CSV, TSV, semicolon or whitespace separated) with its
// header lines and time column, under a detected or given layout.
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "formats/delimited_layout.h"
#include "formats/imported_channel.h"
#include "formats/record_file_error.h"

namespace kelvora {

// The most data rows read by default: 20,000 samples at a ratio of 200 (1000 Hz to 5 Hz).
inline constexpr long long kMaxDelimitedRows = 4000000;
// The longest data line read; a longer one is kLineTooLong.
inline constexpr std::size_t kMaxDelimitedLineBytes = 1 << 20;

struct DelimitedReadOptions {
  DelimitedLayoutOverrides layout;     // what the caller fixes; detection fills in the rest
  std::vector<ChannelRef> columns;     // the signal columns, in the order wanted; empty: all but the time column
  std::optional<double> sampleRateHz;  // the rate as given (> 0): the time column is then read but not used
  // The rate of a file without a time column when sampleRateHz is not given (> 0); a time column still gives
  // its own rate (and is refused when not uniform).
  std::optional<double> untimedRateHz;
  long long maxRows = kMaxDelimitedRows;  // rows beyond it are not read (`truncated`)
};

struct DelimitedReadResult {
  DelimitedLayout layout;            // as detected and overridden
  std::vector<std::string> preview;  // the first lines of the file (see DetectDelimitedLayout)
  std::vector<ImportedChannel> channels;  // one per wanted column, in that order; filled only when ok()
  std::vector<int> columnNumbers;         // the 1-based column of each channel
  double sampleRateHz = 0.0;              // the channels' rate
  bool rateFromTimeColumn = false;        // the rate was measured from the time column
  long long timeStepLine = 0;             // then the line of the second time value, where the first step ends
  long long rows = 0;                     // data rows read
  bool truncated = false;                 // rows beyond options.maxRows were left unread
  std::optional<RecordFileError> error;

  bool ok() const { return !error.has_value(); }
};

// Reads `text` as a delimited file. After the layout (DetectDelimitedLayout with options.layout) every line from
// headerLines + 1 on that is not blank or a '#' comment is a data row and must have the layout's cell count
// (kRaggedRow, naming the line). The time column and the wanted columns must hold numbers with the decimal mark
// (kBadNumber: line, column, cell); other columns may hold anything. A column may end early with empty cells
// (a shorter channel), but an empty cell followed by values in the same column, or a column without any value,
// is kMissingValue, and the time column has no empty cells.
// The rate: options.sampleRateHz when given; else from the time column, 1 / mean step (its unit from
// timeUnitS), when every step is within UniformStepTolerance of the usual (median) step (else kTimeNotUniform
// naming the line, time and step, and the usual step); else options.untimedRateHz; else kNoSampleRate. Cost: one pass; memory for the wanted columns and the times. Pure; any
// thread. `path` only names the file in errors.
DelimitedReadResult ReadDelimitedText(std::string_view text, const DelimitedReadOptions& options,
                                      const std::string& path = {});

// Reads the file at `path` as ReadDelimitedText does, in pieces: the layout from its first
// kLayoutDetectionBytes, then the rows. kMissingFile or kCannotOpen (with the system's reason) when it cannot be
// read. Any thread.
DelimitedReadResult ReadDelimitedFile(const std::string& path, const DelimitedReadOptions& options);

}  // namespace kelvora
