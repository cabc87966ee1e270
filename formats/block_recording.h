#pragma once
// A recording in blocks, as data-acquisition exports hold it: each block its channels (each at its own rate)
// and its comments, read as markers.
#include <optional>
#include <string>
#include <vector>

#include "formats/imported_channel.h"
#include "formats/record_file_error.h"

namespace kelvora {

// A comment of the recording: a time and a text.
struct RecordMarker {
  double timeS = 0.0;      // seconds from the block's first sample
  double durationS = 0.0;  // 0: an instant
  std::string label;       // the comment's text, blanks around it removed
  std::string source;      // who wrote it: "labchart" for an acquisition system's comment
  int channel = 0;         // 1-based channel the comment belongs to; 0: all channels
};

struct RecordBlock {
  std::vector<ImportedChannel> channels;  // the wanted channels, in the order wanted
  std::vector<int> channelNumbers;        // the 1-based number of each among the block's channels
  std::vector<std::string> channelNames;  // every channel of the block, also those not read
  std::vector<RecordMarker> markers;      // in time order
  std::optional<double> startDays;        // the block's start as a day number (MATLAB datenum), when the file has it
  long long firstLine = 0;                // the 1-based line of the block's first row (text files)
};

// Days between MATLAB's day 0 and Excel's day 0 (1899-12-30).
inline constexpr double kExcelToMatlabDays = 693960.0;

// Joins `blocks` (at least one) into one block: every block must have the first block's channels (names, units
// and rates, as many) and start where the one before it ends, to within half a sample of the fastest channel,
// by the blocks' start days (kBlocksNotContiguous with `count` the 1-based block that does not follow; a block
// without a start day never follows). Markers keep their times on the joined block's time. Pure; any thread.
std::optional<RecordFileError> JoinBlocks(const std::vector<RecordBlock>& blocks, RecordBlock& joined);

}  // namespace kelvora
