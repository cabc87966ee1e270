#pragma once
// One way in for a record: ONE record of the program (SignalRecord at a whole rate) from any file the program
// reads, the one-column signal text, delimited text, EDF/EDF+/BDF, a LabChart text export or a MATLAB file
// (plain or a LabChart .mat export), judged by ReadFileLayout. The CLI's
// commands and the window's pages read their records here, so that a file is read, and refused, alike.
#include <optional>
#include <string>
#include <vector>

#include "core/signal_record.h"
#include "formats/file_layout.h"
#include "formats/imported_channel.h"
#include "formats/record_file_error.h"
#include "formats/signal_file.h"

namespace kelvora {

struct RecordReadOptions {
  // The rate the user gave (--fs, a typed rate), >= 1. A file that states no rate (a signal text, a delimited
  // file without a time column) is at it; a time column or an EDF channel must agree with it (kRateDisagrees).
  std::optional<int> givenRateHz;
  int defaultRateHz = 2;            // the rate of a file that states none when no rate is given (>= 1)
  std::optional<int> resampleToHz;  // block means down to this rate (whole ratios only); else the file's own rate
  bool temperature = false;         // a T record: a first sample above 250 is kelvin (kKelvinThreshold)
  int maxSamples = kMaxRecordSamples;  // the samples kept (>= 1); with more, the first are kept and `truncated`
  DecimalFormat decimal;            // the decimal rules of a signal text (the system's separator)
  // Delimited text; each of these also makes a file that would be a signal text read as delimited text.
  std::optional<ChannelRef> column;      // the signal column; needed when the file has several
  std::optional<ChannelRef> timeColumn;  // the time column; a ChannelRef with number 0 and no name for none
  std::optional<int> headerLines;        // lines before the first data row
  // EDF: the channel; needed when the file has several. Given alone (no delimited option) for a file that is not
  // delimited text by its name, it makes the file read as EDF, so that a file that is not one is named so.
  std::optional<ChannelRef> channel;
  // MATLAB files: the variable ("NAME" or "NAME.FIELD"); needed when the file has several signal variables.
  // Given for a file that is not EDF by its name, it makes the file read as a MATLAB file. `channel` then
  // chooses a matrix's row or column, or a LabChart export's channel (by number or title).
  std::optional<std::string> variable;
  // LabChart exports (text or .mat): the 1-based block read, needed when the file has several; or all blocks
  // joined into one record (they must follow one another without a gap).
  std::optional<int> block;
  bool joinBlocks = false;
};

struct RecordFileResult {
  SignalRecord record;  // only when ok(); record.sampleRateHz == sampleRateHz
  FileFormat format = FileFormat::kSignalText;  // how the file was read
  int sampleRateHz = 0;        // the record's rate
  double sourceRateHz = 0.0;   // the file's rate before resampling (the given or default one for a file without)
  long long ratio = 1;         // file samples per record sample
  std::string name;            // the column name or EDF label; empty for a signal text and unnamed columns
  std::string unit;            // the column's or channel's unit; may be empty
  int channelNumber = 0;       // the 1-based column or channel read; 0 for a signal text
  bool truncated = false;      // the file held more than maxSamples samples (after resampling): the first kept
  bool tabLayout = false;      // a signal text whose first line holds a TAB (only its first column was read)
  bool kelvin = false;         // a temperature record converted from kelvin to degrees Celsius
  // The signals the file offers: filled when one must be chosen (kColumnNeeded, kChannelNeeded) and on success.
  std::vector<FileChannel> channels;
  // LabChart and MATLAB files: the comments of the block read (of the blocks joined) as markers, source
  // kLabChart, in time order; the block read (0 when joined); the blocks of the file.
  std::vector<Marker> markers;
  int blockNumber = 0;
  int blockCount = 0;
  // MATLAB files: the file's variables, filled once it opened (also with kVariableNeeded, to choose from).
  std::vector<MatVariableInfo> variables;
  // The fault, with the file's path in it. Beyond the readers' kinds (record_file_error.h): kColumnNeeded /
  // kChannelNeeded (`count` signals on offer, listed in `channels`), kRateDisagrees (the time column's or the
  // channel's rate `fromRateHz`, the given `toRateHz`, and for a time column the `line` of its first step),
  // kTimeNotUniform also when a rate is given, kNoSamples for a file without a sample.
  std::optional<RecordFileError> error;

  bool ok() const { return !error.has_value(); }
};

// Reads one record from the file at `path`:
// - the format is ReadFileLayout's, except that a ".edf", ".bdf" or ".rec" name is always read as EDF, a signal
//   text is read as delimited text when a delimited option or resampling is asked, and `channel` alone reads
//   a file as EDF unless its name is ".csv" or ".tsv";
// - a signal text: ReadSignalFile with `decimal`, at givenRateHz, else defaultRateHz;
// - delimited text: the layout detected, the options override it; the wanted column, else the only signal
//   column; the rate from the time column (refused when not uniform: kTimeNotUniform, whether or not a rate is
//   given, and when it disagrees with givenRateHz: kRateDisagrees), for a file without a time column the given
//   or default rate;
// - EDF: the wanted channel, else the only one; a given rate must be the channel's (kRateDisagrees);
// - a LabChart text export or a MATLAB file (BlockFileFormat, `variable` making any file but an EDF name a
//   MATLAB file): the blocks of the file, the wanted one (kBlockNeeded with `count` blocks when there are several
//   and none is named, kNoSuchBlock naming it and `expected` blocks), or all of them joined (JoinBlocks:
//   kBlocksNotContiguous); a plain file's variable (kVariableNeeded with `count` and `variables`); the wanted
//   channel, else the only one (kChannelNeeded with `count` and `channels` the block's); at the channel's rate,
//   a plain file's without fs at the given or default rate; a given rate must be the channel's
//   (kRateDisagrees, `line` 0); its comments as `markers`;
// then, for the formats other than a signal text, MakeImportedRecord: block means to resampleToHz when asked (kRatioNotWhole),
// else the file's rate must be whole (kRateNotWhole); the sample limit; the kelvin rule of a T record.
// An empty record is kNoSamples. Nothing is kept on failure. Cost: ReadFileLayout, then one pass over the file
// (an EDF channel: no more samples than the record can take). Any thread.
RecordFileResult ReadRecordFile(const std::string& path, const RecordReadOptions& options);

}  // namespace kelvora
