#pragma once
// What went wrong reading or writing an instrument file (delimited text, EDF, EDF+, BDF) or making a record of
// it: a kind and the fields that locate the fault. The words are the caller's (the CLI and the window's
// language tables); every field a kind names is filled, the others keep their defaults.
#include <optional>
#include <string>

namespace kelvora {

// The fields of an EDF or BDF header, as a message names them.
enum class EdfHeaderField {
  kNone,               // not about one field (a file that is not EDF at all is kVersion)
  kVersion,            // bytes 0-7: "0" and blanks (EDF) or 0xFF "BIOSEMI" (BDF)
  kPatient,            // bytes 8-87, and its EDF+ subfields
  kRecording,          // bytes 88-167, and its EDF+ subfields ("Startdate dd-MMM-yyyy ...")
  kStartDate,          // bytes 168-175, dd.mm.yy
  kStartTime,          // bytes 176-183, hh.mm.ss
  kHeaderBytes,        // bytes 184-191: 256 * (signals + 1)
  kReserved,           // bytes 192-235: "EDF+C", "EDF+D", "BDF+C", "BDF+D" or free text
  kDataRecords,        // bytes 236-243: a whole number >= 1
  kRecordDuration,     // bytes 244-251: seconds, > 0
  kSignalCount,        // bytes 252-255: 1 .. 640
  kLabel,              // per signal, 16 bytes
  kTransducer,         // per signal, 80 bytes
  kPhysicalDimension,  // per signal, 8 bytes
  kPhysicalMinimum,    // per signal, 8 bytes, a number
  kPhysicalMaximum,    // per signal, 8 bytes, a number other than the minimum
  kDigitalMinimum,     // per signal, 8 bytes, a whole number in the sample range
  kDigitalMaximum,     // per signal, 8 bytes, a whole number above the digital minimum
  kPrefilter,          // per signal, 80 bytes
  kSamplesPerRecord,   // per signal, 8 bytes, a whole number >= 1 (the record at most 10 MiB, 15 MiB for BDF)
  kSignalReserved,     // per signal, 32 bytes
  kFileSize,           // the file is shorter than its header and data records say
  kAnnotations,        // the EDF+ / BDF+ annotation signal (its time-stamped annotation lists)
};

enum class RecordFileErrorKind {
  kMissingFile,  // the file does not exist
  kCannotOpen,   // it cannot be opened or read (`reason`)
  kCannotWrite,  // a save failed (`reason`); any existing file is unchanged

  // Delimited text.
  kNoData,          // no line that can be a row of numbers (after `line` header lines)
  kBadNumber,       // `line`, `column`: the cell `text` is not a number
  kRaggedRow,       // `line` has `count` cells where the layout has `expected`
  kLineTooLong,     // `line` is longer than `expected` bytes (`count`): not a row of numbers
  kMissingValue,    // `line`, `column`: an empty cell with values of the column after it
  kNoSuchColumn,    // `text` names no column (a name, or a number beyond `count` columns)
  kAmbiguousColumn, // `text` names more than one column
  kColumnNeeded,    // the file has `count` signal columns and none was chosen (0: it has none)
  kTimeNotUniform,  // at `line` (time `timeS`) the step is `stepS` where the usual step is `expectedStepS`
  kTooFewSamples,   // a rate from a time column needs two samples; the column has `count`
  kNoSampleRate,    // no time column and no rate given
  kRateDisagrees,   // the file's rate `fromRateHz` is not the given rate `toRateHz`: a time column (`column`, its
                    // first step ending at `line`) or an EDF channel (`column`, `line` 0)

  // EDF, EDF+, BDF.
  kEdfHeader,         // `field` of signal `signal` (1-based as in the header; 0 for the main header) is
                      // malformed; `text` holds the field's bytes as they stand
  kEdfDiscontinuous,  // an EDF+D / BDF+D file (records with gaps), which is not read
  kNoSuchChannel,     // `text` names no ordinary signal (a label, or a number beyond `count`)
  kChannelNeeded,     // the file has `count` ordinary signals and none was chosen
  kAmbiguousChannel,  // `text` is the label of more than one signal
  kEdfReadFailed,     // the samples of a channel could not be read (`reason`)

  // Making a record, writing one.
  kRatioNotWhole,   // `fromRateHz` / `toRateHz` is not a whole number
  kRateNotWhole,    // the record's rate `fromRateHz` is not a whole number of hertz and no resampling was asked
  kNoSamples,       // the record would hold no sample
  kNonFiniteValue,  // sample `count` (0-based) of channel `column` (1-based) is NaN or infinite: not written
  kValueTooLarge,   // sample values beyond +-99,999,999 cannot be described in an EDF header (`column`)
  kBadChannel,      // a channel to write has no samples or a rate below 1 Hz (`column`)

  // Acquisition-system text exports (header lines, then time and values separated by tabs).
  kBadHeaderValue,       // `line`: the header line `text` (its key) has a value that cannot be used (`reason`
                         // holds the value as it stands, at most 40 bytes)
  kMissingSample,        // `line`, `column` (1-based channel): the missing-value mark `text` ("*") in a channel read
  kBlocksNotContiguous,  // block `count` (1-based) does not follow the block before it, so they cannot be joined
  kNoSuchBlock,          // block `count` was asked; the file has `expected` blocks
  kBlockNeeded,          // the file has `count` blocks and none was chosen

  // MATLAB files.
  kMatWriteFailed,       // MATIO failed at step `expected` (a MatWriteStep) of writing the file; `text` names the
                         // variable (empty for the file itself); any existing file is unchanged
  kNotMatFile,           // the file is not a MATLAB file that can be read (`matFault`: what is broken, or none)
  kMatVersionUnsupported,// a MATLAB file of a version this build cannot read (`text`: "7.3", "4")
  kNoSuchVariable,       // `text` names no variable of the file
  kVariableNeeded,       // the file has `count` numeric variables that can be signals and none was chosen
  kVariableNotSignal,    // the variable `text` is not a real numeric vector or 2-D matrix with samples (`matFault`:
                         // why; kNotNumeric with its class in `reason`: "char", "struct", "sparse", ...)
  kMatLayout,            // an acquisition-system MATLAB export whose variable `text` is missing or does not fit
                         // the others: about channel `column` of block `count` (each 0 when not about one)
};

// What is wrong with a MATLAB file (kNotMatFile) or variable (kVariableNotSignal): RecordFileError::matFault.
enum class MatFault {
  kNone,
  kTruncated,           // an element claims more bytes than the file holds after it
  kMalformedVariable,   // a variable's tag or array header is not one
  kBadCompression,      // a compressed variable that does not inflate whole, or inflates beyond the limit
  kMalformedCompressed, // a compressed element whose variable claims more bytes than it holds
  kComplex,             // a complex variable
  kMultiDimensional,    // more than two dimensions
  kEmpty,               // a numeric variable without elements
  kTooLarge,            // more elements than are read
  kNotNumeric,          // not a numeric array: its class name in `reason`
};

// Where writing a MATLAB file failed: RecordFileError::expected of kMatWriteFailed.
enum class MatWriteStep { kCreateFile = 1, kMakeVariable = 2, kWriteVariable = 3, kCloseFile = 4 };

struct RecordFileError {
  RecordFileErrorKind kind = RecordFileErrorKind::kCannotOpen;
  std::string path;
  long long line = 0;  // 1-based file line; 0 when not about a line
  int column = 0;      // 1-based column or channel
  std::string text;    // the cell, field or name as it stands in the file or was asked (at most 40 bytes, "...")
  long long count = 0;
  long long expected = 0;
  double timeS = 0.0;
  double stepS = 0.0;
  double expectedStepS = 0.0;
  double fromRateHz = 0.0;
  double toRateHz = 0.0;
  EdfHeaderField field = EdfHeaderField::kNone;
  int signal = 0;
  std::string reason;  // the system's explanation of a failed open, read or write
  MatFault matFault = MatFault::kNone;
};

// kMissingFile when nothing is at `path`, kCannotOpen (with the reason) for a folder or a file that cannot be
// opened for reading; nothing when it can be read. Any thread.
std::optional<RecordFileError> CheckReadableFile(const std::string& path);

// The first `bytes` bytes of the file at `path` (fewer when it is shorter, none when it cannot be read).
std::string ReadFileStart(const std::string& path, std::size_t bytes);

// `text` as an error keeps it: at most 40 bytes, then "...".
std::string ShortenedErrorText(const std::string& text);

}  // namespace kelvora
