#pragma once
// MATLAB files through MATIO: plain files with signals as numeric vectors or matrices, the MATLAB exports of a
// data-acquisition system (all samples in one row, located by datastart and dataend), and writing results.
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "formats/block_recording.h"
#include "formats/csv_writer.h"

namespace kelvora {

// The most elements of one variable read (512 MiB of doubles); a larger one is kVariableNotSignal kTooLarge,
// or kMatLayout for an export's variable.
inline constexpr long long kMaxMatElements = 64LL * 1024 * 1024;

enum class MatFileLayout { kPlain, kAcquisitionExport };

struct MatVariableInfo {
  std::string name;
  std::string className;           // "double", "single", "int16", "char", "struct", "cell", ...
  std::vector<std::size_t> dims;   // as the file gives them
  bool complex = false;
  bool signal = false;             // a real numeric vector or 2-D matrix with more than one element
};

struct MatReadOptions {
  std::string variable;              // a plain file's variable ("NAME", or "NAME.FIELD" for a field of a 1x1
                                     // struct); empty: its only signal variable
  std::vector<ChannelRef> channels;  // the channels read (a matrix's rows or columns, an export's channels by
                                     // number or title); empty: all
  long long maxSamples = -1;         // at most this many samples of a channel in a block; < 0: all
  long long maxElements = kMaxMatElements;
  bool variablesOnly = false;        // a plain file: list its variables and fs, read no signal (no error for none)
};

struct MatReadResult {
  int version = 0;  // 4, 5 or 73
  MatFileLayout layout = MatFileLayout::kPlain;
  std::vector<MatVariableInfo> variables;  // every variable, in file order; filled once the file opened
  std::string variable;                    // the variable read (plain files)
  std::optional<double> fsHz;              // a real scalar `fs` (plain files), when positive and finite
  std::vector<RecordBlock> blocks;         // a plain file: one block; filled only when ok()
  std::optional<RecordFileError> error;

  bool ok() const { return !error.has_value(); }
};

// Whether `start` (the first bytes of a file) begins as a MATLAB file: the text header of a level 5 or 7.3 file
// ("MATLAB 5.0 MAT-file", "MATLAB 7.3 MAT-file") or an HDF5 signature at byte 0 or 512.
bool LooksLikeMatFile(std::string_view start);

// Reads the MATLAB file at `path`.
// - A file with `data`, `datastart`, `dataend` and `samplerate` is an acquisition-system export: datastart and
//   dataend (channel x block, 1-based into data; -1 or an end before the start where the channel has no samples)
//   give each channel's samples in each block; samplerate (channel x block) its rate; `titles` and `unittext`
//   (character matrices, a row each), `unittextmap` (channel x block, 1-based rows of unittext, -1 for none) its
//   title and unit; `blocktimes` (MATLAB day numbers) each block's start; `firstsampleoffset` (channel x block,
//   seconds) each channel's first sample time; `com` (rows of channel (-1: all), block, position in ticks,
//   type, 1-based row of `comtext`) the comments, at position / `tickrate` (else the block's fastest rate)
//   seconds, as markers with source "labchart". A variable that does not fit is kMatLayout naming it.
// - Any other file is plain: options.variable names the variable read (kNoSuchVariable, or kVariableNotSignal
//   when it is not a real numeric vector or matrix), else the file's only signal variable (kVariableNeeded with
//   their count when there are several or none). A vector is one channel named after the variable; a matrix
//   with fewer rows than columns holds one signal per row, else one per column, named "NAME(k)". The channels'
//   rate is fsHz (0 without it: the caller's rate applies).
// - Values are converted to double; a NaN or infinite value is kNonFiniteValue (count: its 0-based sample,
//   column: the channel, text: the variable). Channels by options.channels: FindByRef (kNoSuchChannel,
//   kAmbiguousChannel).
// - A level 5 file is checked before MATIO reads it: a compressed variable that does not inflate whole (or
//   inflates beyond maxElements doubles and 64 MiB), or a cell or struct array claiming more elements than the
//   bytes after it can hold, is kNotMatFile with its MatFault (kTruncated, kMalformedVariable, kBadCompression,
//   kMalformedCompressed).
// - A file without the text header (level 4 files among them) or that MATIO cannot open is kNotMatFile; a
//   version 7.3 file when this build has no HDF5 support is
//   kMatVersionUnsupported. kMissingFile, kCannotOpen when it cannot be read.
// Cost: the variables read are held whole. Thread-safe: calls into MATIO are serialised.
MatReadResult ReadMatFile(const std::string& path, const MatReadOptions& options = {});

// One variable to write: a real matrix, a text, or a struct of such fields.
struct MatValue {
  enum class Kind { kMatrix, kText, kStruct };
  std::string name;  // a MATLAB name: a letter, then letters, digits and '_' (at most 63)
  Kind kind = Kind::kMatrix;
  std::size_t rows = 0, columns = 0;
  std::vector<double> values;    // rows x columns, column after column (MATLAB's order)
  std::vector<std::uint16_t> chars;  // kText: rows x columns UTF-16 code units, column after column
  std::vector<MatValue> fields;  // kStruct: a 1x1 struct of these (not themselves structs)

  static MatValue Scalar(const std::string& name, double value);
  static MatValue Column(const std::string& name, std::vector<double> values);  // N x 1
  static MatValue Row(const std::string& name, std::vector<double> values);     // 1 x N
  static MatValue Matrix(const std::string& name, std::size_t rows, std::size_t columns, std::vector<double> values);
  static MatValue Text(const std::string& name, const std::string& text);  // UTF-8 text as a 1 x N char row
  // A character matrix of one text per row, shorter ones padded with blanks (as MATLAB's char() makes them).
  static MatValue TextRows(const std::string& name, const std::vector<std::string>& rows);
  static MatValue Struct(const std::string& name, std::vector<MatValue> fields);
};

struct MatWriteOptions {
  bool version73 = false;  // write a version 7.3 (HDF5) file instead of a compressed level 5 one
};

// Whether this build's MATIO reads and writes version 7.3 (HDF5) files.
bool MatVersion73Supported();

// Writes `variables` to the MATLAB file at `path` atomically (a file beside it, then renamed: on failure the
// target is as it was). A non-finite value is kNonFiniteValue (text: the variable, count: the 0-based element),
// a name MATLAB cannot take kBadChannel (text: the name), a failed write kCannotWrite with the reason; nothing is
// written then. Thread-safe: calls into MATIO are serialised.
std::optional<RecordFileError> WriteMatFile(const std::string& path, const std::vector<MatValue>& variables,
                                            const MatWriteOptions& options = {});

// `text` made a MATLAB variable name: characters other than letters, digits and '_' become '_', a name not
// starting with a letter gets "x" in front, at most 63 characters; an empty text gives `fallback`.
std::string MatVariableName(const std::string& text, const std::string& fallback);

// The MATLAB variables of what a CSV export holds, for the same export as a .mat file: each column a column
// vector named MatVariableName(name, "signal") ("BF*" gives "BF_"; a name taken twice gets "_2", ...), `fs`, `t0_s`
// when the first row is not at 0, and `settings`: a struct of the comment lines, each key a text field (keys
// made names the same way). Pure.
std::vector<MatValue> MatVariablesOfColumns(const CsvWriteRequest& request);

// Writes MatVariablesOfColumns to `path` through WriteMatFile (atomically; a non-finite value refused).
std::optional<RecordFileError> WriteColumnsMatFile(const std::string& path, const CsvWriteRequest& request);

}  // namespace kelvora
