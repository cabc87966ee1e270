#pragma once
// What a file holds, read once before it is opened: its format (the program's one-column signal text, delimited
// text, EDF/EDF+/BDF), the layout of a delimited text (separator, decimal mark, header lines, columns, time
// column), the channels of an EDF file, and the rate the file states for its samples. Every way a file comes in
// (the window's pages, drops, recent files, the CLI) starts here, so that a file is judged the same everywhere.
#include <optional>
#include <string>
#include <vector>

#include "formats/delimited_layout.h"
#include "formats/edf_reader.h"
#include "formats/record_file_error.h"

namespace kelvora {

enum class FileFormat {
  kSignalText,  // one value a line; TAB-separated extra columns without a header, the first read
  kDelimited,   // CSV, TSV, semicolon or whitespace separated text with header lines or a time column
  kEdf,         // EDF, EDF+, BDF, BDF+
};

// One signal the file offers: a column of delimited text (the time column left out) or an EDF channel.
struct FileChannel {
  int number = 0;     // 1-based column or channel number, as --column / --channel take it
  std::string name;   // column name or EDF label; may be empty
  std::string unit;   // may be empty
  double sampleRateHz = 0.0;  // the rate the file states for it; 0 when it states none
};

struct FileLayout {
  FileFormat format = FileFormat::kSignalText;
  DelimitedLayout delimited;          // kDelimited (and kSignalText: its one-column reading)
  std::vector<std::string> preview;   // the first lines of a text file (at most 20)
  EdfFileInfo edf;                    // kEdf
  std::vector<FileChannel> channels;  // the signals on offer, in file order; one for kSignalText
  // The rate the file states: its time column's, measured over the rows of its first kLayoutDetectionBytes
  // (uniform within UniformStepTolerance), or the rate all EDF channels share; 0 when it states none (a
  // signal text, a delimited file without a time column, EDF channels at several rates).
  double fileRateHz = 0.0;
  // Why fileRateHz is 0 for a delimited file with a time column: its steps are not uniform in the first rows
  // (kTimeNotUniform) or it has a single row (kTooFewSamples).
  std::optional<RecordFileError> rateProblem;

  bool hasTimeColumn() const { return format == FileFormat::kDelimited && delimited.timeColumn > 0; }
  // True when opening the file needs no choice of the user: one signal, and a rate from the file or, for a
  // file that states none, a rate the caller already has.
  bool singleSignal() const { return channels.size() == 1; }
};

struct FileLayoutResult {
  FileLayout layout;
  std::optional<RecordFileError> error;  // kMissingFile, kCannotOpen, a malformed EDF header (kEdfHeader, ...)

  bool ok() const { return !error.has_value(); }
};

// The extension of `path` in lower case, with its dot (".csv"); empty when it has none. Pure.
std::string LowerExtension(const std::string& path);

// Reads the beginning of the file at `path` once and tells what it holds:
// - an EDF or BDF header (by its first bytes, whatever the name) is kEdf, with the header checked and the
//   channels and annotations listed;
// - a ".csv" or ".tsv" name is kDelimited; so is any text whose detected layout has header lines or a time
//   column, or more than one column under another separator than TAB;
// - the rest is kSignalText: one value a line, or TAB-separated columns without a header whose first column
//   is not a time column (the first is the signal).
// A headerless TAB file whose first column rises in uniform steps is therefore delimited text with a time
// column, and its signal is the next column, not the time ramp. Cost: one read of at most
// kLayoutDetectionBytes (EDF: the header). Any thread.
FileLayoutResult ReadFileLayout(const std::string& path);

}  // namespace kelvora
