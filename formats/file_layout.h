#pragma once
// What a file holds, read once before it is opened: its format (the program's one-column signal text, delimited
// text, EDF/EDF+/BDF, a LabChart text export, a MATLAB file), the layout of a delimited text (separator, decimal
// mark, header lines, columns, time column), the channels of an EDF file, the blocks and channels of a LabChart
// export, the variables of a MATLAB file, and the rate the file states for its samples. Every way a file comes in
// (the window's pages, drops, recent files, the CLI) starts here, so that a file is judged the same everywhere.
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "formats/delimited_layout.h"
#include "formats/edf_reader.h"
#include "formats/mat_file.h"
#include "formats/marker.h"
#include "formats/record_file_error.h"

namespace kelvora {

enum class FileFormat {
  kSignalText,  // one value a line; TAB-separated extra columns without a header, the first read
  kDelimited,   // CSV, TSV, semicolon or whitespace separated text with header lines or a time column
  kEdf,         // EDF, EDF+, BDF, BDF+
  kLabChartText,  // a LabChart text export: header lines ("Interval=", "ChannelTitle=", ...), blocks, comments
  kMat,         // a MATLAB file: plain variables, or a LabChart .mat export (data, datastart, dataend, ...)
};

// One signal the file offers: a column of delimited text (the time column left out), an EDF channel, a LabChart
// channel, or a signal of a MATLAB variable (a vector, or a row or column of a matrix).
struct FileChannel {
  FileChannel() = default;
  FileChannel(int number_, std::string name_, std::string unit_, double sampleRateHz_, std::string variable_ = {},
              long long samples_ = -1)
      : number(number_), name(std::move(name_)), unit(std::move(unit_)), sampleRateHz(sampleRateHz_),
        variable(std::move(variable_)), samples(samples_) {}

  int number = 0;     // 1-based column or channel number, as --column / --channel take it; a plain MATLAB
                      // file's: the row or column within `variable` (1 for a vector)
  std::string name;   // column name, EDF label, channel title, "NAME" or "NAME(k)" of a variable; may be empty
  std::string unit;   // may be empty
  double sampleRateHz = 0.0;  // the rate the file states for it; 0 when it states none
  std::string variable;       // a plain MATLAB file: the variable that holds it (as --variable takes it)
  long long samples = -1;     // LabChart and MATLAB files: its samples (in the first block); -1: not counted
};

// One block of a LabChart export (text or .mat): its channels with their samples, its start and its comments.
struct FileBlock {
  std::vector<FileChannel> channels;
  std::optional<double> startDays;  // MATLAB day number of its first sample, when the file has it
  std::vector<Marker> markers;      // the block's comments (source kLabChart), seconds from its first sample
};

struct FileLayout {
  FileFormat format = FileFormat::kSignalText;
  DelimitedLayout delimited;          // kDelimited (and kSignalText: its one-column reading)
  std::vector<std::string> preview;   // the first lines of a text file (at most 20)
  EdfFileInfo edf;                    // kEdf
  std::vector<FileChannel> channels;  // the signals on offer, in file order; one for kSignalText; a LabChart
                                      // export's: those of its first block
  std::vector<FileBlock> blocks;      // kLabChartText and a LabChart .mat export: every block, in file order
  // kMat: every variable of the file with its class and size, in file order; the version (5 or 73) and whether
  // it is a LabChart export.
  std::vector<MatVariableInfo> variables;
  int matVersion = 0;
  bool matExport = false;
  // The rate the file states: its time column's, measured over the rows of its first kLayoutDetectionBytes
  // (uniform within UniformStepTolerance), or the rate all EDF channels share; 0 when it states none (a
  // signal text, a delimited file without a time column, EDF channels at several rates).
  double fileRateHz = 0.0;
  // Why fileRateHz is 0 for a delimited file with a time column: its steps are not uniform in the first rows
  // (kTimeNotUniform) or it has a single row (kTooFewSamples).
  std::optional<RecordFileError> rateProblem;

  bool hasTimeColumn() const { return format == FileFormat::kDelimited && delimited.timeColumn > 0; }
  // True when opening the file needs no choice of the user: one signal, and a rate from the file or, for a
  // file that states none, a rate the caller already has. A LabChart export of several blocks needs a choice.
  bool singleSignal() const { return channels.size() == 1 && blocks.size() <= 1; }
};

struct FileLayoutResult {
  FileLayout layout;
  std::optional<RecordFileError> error;  // kMissingFile, kCannotOpen, a malformed EDF header (kEdfHeader, ...)

  bool ok() const { return !error.has_value(); }
};

// The extension of `path` in lower case, with its dot (".csv"); empty when it has none. Pure.
std::string LowerExtension(const std::string& path);

// Whether the file at `path` is read by the LabChart text reader (kLabChartText) or the MATLAB reader (kMat):
// by its name (".mat"; never ".edf", ".bdf", ".rec") or its first bytes; with `matWanted` (a MATLAB variable
// asked for) any other file but an EDF name is taken as a MATLAB file. Nothing for the other formats. Cost: a
// read of its first 1024 bytes.
std::optional<FileFormat> BlockFileFormat(const std::string& path, bool matWanted = false);

// A block's comments as the record's markers (source kLabChart), in time order; empty labels left out. Pure.
std::vector<Marker> MarkersFromComments(const std::vector<RecordMarker>& comments);

// Reads the beginning of the file at `path` once and tells what it holds:
// - an EDF or BDF header (by its first bytes, whatever the name) is kEdf, with the header checked and the
//   channels and annotations listed;
// - unless the name is ".edf", ".bdf" or ".rec": a ".mat" name or a MATLAB header is kMat (its variables listed;
//   a LabChart .mat export read whole for its blocks, channels and comments), and a first line that is a header
//   line of a LabChart text export ("Interval=", ...) is kLabChartText (read whole for its blocks, channels,
//   sample counts and comments); a file these readers refuse is their error (kNotMatFile, kBadHeaderValue, ...);
// - a ".csv" or ".tsv" name is kDelimited; so is any text whose detected layout has header lines or a time
//   column, or more than one column under another separator than TAB;
// - the rest is kSignalText: one value a line, or TAB-separated columns without a header whose first column
//   is not a time column (the first is the signal).
// A headerless TAB file whose first column rises in uniform steps is therefore delimited text with a time
// column, and its signal is the next column, not the time ramp. Cost: one read of at most
// kLayoutDetectionBytes (EDF: the header; a LabChart text or .mat export: the whole file). Any thread.
FileLayoutResult ReadFileLayout(const std::string& path);

}  // namespace kelvora
