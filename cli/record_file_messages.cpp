// The words of the import and export errors (formats/record_file_error.h) on the command line.
#include <cstdio>

#include "cli/command_support.h"
#include "core/text_helpers.h"

namespace kelvora::cli {
namespace {

std::string Number(double value) {
  char buffer[64];
  std::snprintf(buffer, sizeof buffer, "%.6g", value);
  return buffer;
}

const char* FieldName(EdfHeaderField field) {
  switch (field) {
    case EdfHeaderField::kNone:
      return "header";
    case EdfHeaderField::kVersion:
      return "version";
    case EdfHeaderField::kPatient:
      return "patient";
    case EdfHeaderField::kRecording:
      return "recording";
    case EdfHeaderField::kStartDate:
      return "start date";
    case EdfHeaderField::kStartTime:
      return "start time";
    case EdfHeaderField::kHeaderBytes:
      return "number of header bytes";
    case EdfHeaderField::kReserved:
      return "reserved";
    case EdfHeaderField::kDataRecords:
      return "number of data records";
    case EdfHeaderField::kRecordDuration:
      return "data record duration";
    case EdfHeaderField::kSignalCount:
      return "number of signals";
    case EdfHeaderField::kLabel:
      return "label";
    case EdfHeaderField::kTransducer:
      return "transducer type";
    case EdfHeaderField::kPhysicalDimension:
      return "physical dimension";
    case EdfHeaderField::kPhysicalMinimum:
      return "physical minimum";
    case EdfHeaderField::kPhysicalMaximum:
      return "physical maximum";
    case EdfHeaderField::kDigitalMinimum:
      return "digital minimum";
    case EdfHeaderField::kDigitalMaximum:
      return "digital maximum";
    case EdfHeaderField::kPrefilter:
      return "prefiltering";
    case EdfHeaderField::kSamplesPerRecord:
      return "number of samples in each data record";
    case EdfHeaderField::kSignalReserved:
      return "signal reserved";
    case EdfHeaderField::kFileSize:
      return "file size";
    case EdfHeaderField::kAnnotations:
      return "annotations";
  }
  return "header";
}

// Built piece by piece: GCC 12 warns falsely (-Wrestrict) about "'" + std::string.
std::string Quoted(const std::string& text) {
  std::string quoted(1, '\'');
  quoted += EscapeBytes(text);
  quoted += '\'';
  return quoted;
}

std::string EdfHeaderText(const RecordFileError& e) {
  if (e.field == EdfHeaderField::kNone) return "the EDF header is malformed";
  if (e.field == EdfHeaderField::kAnnotations) return "the EDF+ annotation signal is malformed";
  if (e.field == EdfHeaderField::kVersion) return "not an EDF or BDF file (version field " + Quoted(e.text) + ")";
  if (e.field == EdfHeaderField::kFileSize) {
    if (e.expected > 0)
      return "EDF file size is " + std::to_string(e.count) + " bytes where the header says " +
             std::to_string(e.expected);
    return "EDF file is shorter than its header";
  }
  std::string text = "EDF header field '";
  text += FieldName(e.field);
  text += "'";
  if (e.signal > 0) text += " of signal " + std::to_string(e.signal);
  text += " is malformed";
  if (!e.text.empty()) text += " (" + Quoted(e.text) + ")";
  return text;
}

// The message without the file name in front.
std::string Body(const RecordFileError& e) {
  using K = RecordFileErrorKind;
  // A signal text has one column, which its messages do not name.
  const std::string column = e.column > 0 ? "column " + std::to_string(e.column) + ": " : std::string();
  switch (e.kind) {
    case K::kMissingFile:
      return "File does not exist";
    case K::kCannotOpen:
      return "Cannot open file";
    case K::kCannotWrite:
      return "Cannot write file";
    case K::kNoData:
      return e.line > 0 ? "no rows of numbers after line " + std::to_string(e.line) : "no rows of numbers";
    case K::kBadNumber:
      return column + Quoted(e.text) + " is not a valid number";
    case K::kRaggedRow:
      return std::to_string(e.count) + " cells where the rows have " + std::to_string(e.expected);
    case K::kLineTooLong:
      return "the line is longer than " + std::to_string(e.expected) + " bytes";
    case K::kMissingValue:
      return column + "empty cell with values after it";
    case K::kNoSuchColumn:
      return "no column " + Quoted(e.text) + " among the " + std::to_string(e.count) + " columns";
    case K::kAmbiguousColumn:
      return Quoted(e.text) + " names more than one column";
    case K::kColumnNeeded:
      return e.count > 1 ? std::to_string(e.count) + " signal columns; choose one with --column" : "no signal column";
    case K::kTimeNotUniform:
      return "time column " + std::to_string(e.column) + ": at t = " + Number(e.timeS) + " s the step is " +
             Number(e.stepS) + " s where the usual step is " + Number(e.expectedStepS) +
             " s (not uniform within 1 %)";
    case K::kTooFewSamples:
      return "the time column has " + std::to_string(e.count) + " samples; a rate needs at least 2";
    case K::kNoSampleRate:
      return "no time column and no rate (--fs)";
    case K::kRateDisagrees:
      return (e.line > 0 ? "the time column gives " : "the channel is at ") + Number(e.fromRateHz) + " Hz, not the " +
             Number(e.toRateHz) + " Hz of --fs";
    case K::kEdfHeader:
      return EdfHeaderText(e);
    case K::kEdfDiscontinuous:
      return "discontinuous EDF+D and BDF+D files are not read";
    case K::kChannelNeeded:
      return std::to_string(e.count) + " channels; choose one with --channel";
    case K::kNoSuchChannel:
      return "no channel " + Quoted(e.text) + " among the " + std::to_string(e.count) + " signals";
    case K::kAmbiguousChannel:
      return Quoted(e.text) + " is the label of more than one signal";
    case K::kEdfReadFailed:
      return "the samples of channel " + std::to_string(e.column) + " cannot be read";
    case K::kRatioNotWhole:
      return "cannot resample " + Number(e.fromRateHz) + " Hz to " + Number(e.toRateHz) + " Hz: the ratio " +
             Number(e.fromRateHz / e.toRateHz) + " is not a whole number";
    case K::kRateNotWhole:
      return "the rate " + Number(e.fromRateHz) + " Hz is not a whole number of hertz; give --resample-to HZ";
    case K::kNoSamples:
      return "no samples";
    case K::kNonFiniteValue:
      if (e.column == 0) return "Value is not a finite number";  // a signal file's line
      if (!e.text.empty())
        return "value " + std::to_string(e.count + 1) + " of " + Quoted(e.text) + " is not a finite number";
      return "sample " + std::to_string(e.count) + " of channel " + std::to_string(e.column) +
             " is not a finite number";
    case K::kValueTooLarge:
      return "channel " + std::to_string(e.column) + " has values too large for an EDF header";
    case K::kBadChannel:
      if (!e.text.empty()) return "'" + EscapeBytes(e.text) + "' cannot be a MATLAB variable";
      return e.column > 0 ? "channel " + std::to_string(e.column) + " has no samples or no rate" : "no channels";
    case K::kBadHeaderValue:
      return "the header line " + Quoted(e.text) + " has a value that cannot be used";
    case K::kMissingSample:
      return "channel " + std::to_string(e.column) + ": missing value " + Quoted(e.text) + " in a channel read";
    case K::kBlocksNotContiguous:
      return "block " + std::to_string(e.count) + " does not follow block " + std::to_string(e.count - 1) +
             " without a gap; the blocks cannot be joined (choose one with --block)";
    case K::kNoSuchBlock:
      return "no block " + std::to_string(e.count) + "; the file has " + std::to_string(e.expected);
    case K::kBlockNeeded:
      return std::to_string(e.count) + " blocks; choose one with --block N or give --join-blocks";
    case K::kMatWriteFailed: {
      const auto step = static_cast<MatWriteStep>(e.expected);
      const std::string what = step == MatWriteStep::kCreateFile    ? "the MATLAB file cannot be created"
                               : step == MatWriteStep::kCloseFile   ? "the MATLAB file cannot be closed"
                               : step == MatWriteStep::kMakeVariable ? "the variable " + e.text + " cannot be made"
                                                                     : "the variable " + e.text + " cannot be written";
      return "Cannot write file (" + what + ")";
    }
    case K::kNotMatFile:
      return "not a MATLAB file that can be read";
    case K::kMatVersionUnsupported:
      return "MATLAB version " + e.text + " files cannot be read by this build";
    case K::kNoSuchVariable:
      return "no variable " + Quoted(e.text);
    case K::kVariableNeeded:
      return std::to_string(e.count) + " numeric variables; choose one with --variable";
    case K::kVariableNotSignal:
      return "the variable " + Quoted(e.text) + " is not a real numeric vector or matrix";
    case K::kMatLayout: {
      std::string text = "the variable " + Quoted(e.text) + " is missing or does not fit the export";
      if (e.column > 0) text += " (channel " + std::to_string(e.column) + ", block " + std::to_string(e.count) + ")";
      else if (e.count > 0) text += " (block " + std::to_string(e.count) + ")";
      return text;
    }
  }
  return "error";
}

// What is wrong with a MATLAB file or variable, in the words the messages have always given.
std::string MatFaultWords(MatFault fault) {
  switch (fault) {
    case MatFault::kNone: case MatFault::kNotNumeric: return {};
    case MatFault::kTruncated: return "truncated";
    case MatFault::kMalformedVariable: return "malformed variable";
    case MatFault::kBadCompression: return "malformed compressed data";
    case MatFault::kMalformedCompressed: return "malformed compressed variable";
    case MatFault::kComplex: return "complex";
    case MatFault::kMultiDimensional: return "3-D";
    case MatFault::kEmpty: return "empty";
    case MatFault::kTooLarge: return "too large";
  }
  return {};
}

}  // namespace

std::string DescribeRecordFileError(const RecordFileError& error) {
  std::string text = EscapeBytes(error.path, true);
  if (error.line > 0 && error.kind != RecordFileErrorKind::kNoData) {
    text += ':';
    text += std::to_string(error.line);
  }
  text += ": ";
  text += Body(error);
  const std::string reason = error.matFault == MatFault::kNone || error.matFault == MatFault::kNotNumeric
                                 ? error.reason
                                 : MatFaultWords(error.matFault);
  if (!reason.empty()) {
    text += " (";
    text += reason;
    text += ')';
  }
  return text;
}

}  // namespace kelvora::cli
