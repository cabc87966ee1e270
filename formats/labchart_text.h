#pragma once
// Reading the text exports of a data-acquisition system: header lines ("Interval=", "ChannelTitle=", ...), then
// rows of a time and one value per channel separated by tabs, with comments as extra fields starting with '#'.
#include <string>
#include <string_view>
#include <vector>

#include "formats/block_recording.h"

namespace kelvora {

// The longest line read; a longer one is kLineTooLong.
inline constexpr std::size_t kMaxLabChartLineBytes = 1 << 20;

struct LabChartTextOptions {
  std::vector<ChannelRef> channels;  // the channels read, by number or title; empty: all of them
  long long maxSamples = -1;         // at most this many samples of a channel in a block; < 0: all
  // Listing the file's layout, not reading a record: a "*" counts as a sample (kept as 0, never shown) instead
  // of being refused, so that a missing value in a channel nobody reads does not hide the file's channels.
  bool forLayout = false;
};

struct LabChartTextResult {
  std::vector<RecordBlock> blocks;  // in file order; filled only when ok()
  std::optional<RecordFileError> error;

  bool ok() const { return !error.has_value(); }
};

// Whether `start` (the first bytes of a file) begins as such an export: its first line that is not blank is a
// header line "Key=" with one of the export's keys (Interval, ExcelDateTime, TimeFormat, DateFormat,
// ChannelTitle, Range, UnitName, TopValue, BottomValue).
bool LooksLikeLabChartText(std::string_view start);

// Reads `text` as such an export.
// - Header lines are "Key=" and tab-separated fields; a key the reader does not use is skipped. "Interval=" is
//   the sample interval ("0.025 s", "25 ms"; a number alone is seconds): the rate of every channel is its
//   inverse (kBadHeaderValue for anything but a positive finite time; kNoSampleRate when a block has none).
//   "ChannelTitle=" names the channels, "UnitName=" gives their units ("*" for none); "ExcelDateTime=" the
//   block's start (an Excel day number), kept as a MATLAB day number. A header keeps the values of the header
//   before it for the keys it does not repeat.
// - A data row is a time (seconds, or h:mm:ss.sss) and one value per channel, tab-separated; a field after the
//   values that starts with '#' ("#* text", or "#3 text" for channel 3) is a comment, and a row of the time and
//   such a field alone is a comment without samples. Other fields make kRaggedRow; a time or value that is not
//   a number is kBadNumber (line, column: 1 for the time, channel + 1 for a value).
// - "*" is a missing value: in a channel read it is kMissingSample (line, channel), never a number; in another
//   channel it is skipped.
// - A header after data rows, or a time below the row before it, starts a new block. Within a block the times
//   must step by the interval, to within half of it (kTimeNotUniform).
// - Blank lines are skipped. The channels of a block are all those of its header (or of its first row, when the
//   header has no titles); a block without channels is dropped; options.channels picks among them by FindByRef on the titles (kNoSuchChannel,
//   kAmbiguousChannel). Comments are markers with source "labchart", at the row's time from the block's first
//   row. A block without rows is dropped; a file without any row is kNoData.
// `path` only names the file in errors. Cost: one pass; memory for the channels read. Pure; any thread.
LabChartTextResult ReadLabChartText(std::string_view text, const LabChartTextOptions& options,
                                    const std::string& path = {});

// Reads the file at `path` as ReadLabChartText does (kMissingFile, kCannotOpen when it cannot be read).
LabChartTextResult ReadLabChartTextFile(const std::string& path, const LabChartTextOptions& options);

}  // namespace kelvora
