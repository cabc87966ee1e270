#pragma once
// The one way in on a fuzzed file: ReadFileLayout, then ReadRecordFile with a block, a channel and (for MATLAB
// files) each signal variable the layout lists, as the window and the CLI call them. A layout lists channels
// with finite rates and counted samples, and comments at finite times not before the block; a record read has
// finite samples within the limit at a whole rate of at least 1 Hz, and markers at finite times; a refusal
// names the file.
#include <cmath>
#include <cstdint>
#include <string>

#include "formats/file_layout.h"
#include "formats/record_file.h"
#include "fuzz/fuzz_check.h"

namespace kelvora::fuzz {

inline std::string CheckRecordRead(const kelvora::RecordFileResult& read, const std::string& path) {
  if (!read.ok()) {
    Check(read.error->path == path);
    Check(read.record.values.empty());
    return {};
  }
  Check(read.sampleRateHz >= 1 && read.record.sampleRateHz == read.sampleRateHz);
  Check(!read.record.values.empty() && read.record.values.size() <= 4096);
  for (const double v : read.record.values) Check(std::isfinite(v));
  for (const kelvora::Marker& m : read.markers) Check(std::isfinite(m.timeS) && m.timeS >= 0 && !m.label.empty());
  return {};
}

// `flags` chooses the block (flags % 3: none, 1, all joined) and the channel (flags / 3 % 4: none, else 1..3).
inline std::string RunLayoutAndRecord(const std::string& path, std::uint8_t flags) {
  const kelvora::FileLayoutResult layout = kelvora::ReadFileLayout(path);
  if (layout.ok()) {
    for (const kelvora::FileChannel& c : layout.layout.channels) Check(std::isfinite(c.sampleRateHz) && c.sampleRateHz >= 0);
    for (const kelvora::FileBlock& b : layout.layout.blocks) {
      for (const kelvora::FileChannel& c : b.channels) Check(c.samples >= 0);
      for (const kelvora::Marker& m : b.markers) Check(std::isfinite(m.timeS) && m.timeS >= 0);
    }
    Check(std::isfinite(layout.layout.fileRateHz) && layout.layout.fileRateHz >= 0);
  }
  kelvora::RecordReadOptions options;
  options.maxSamples = 4096;
  if (flags % 3 == 1) options.block = 1;
  if (flags % 3 == 2) options.joinBlocks = true;
  if (flags / 3 % 4 != 0) options.channel = kelvora::ChannelRef{flags / 3 % 4, {}};
  if (std::string failure = CheckRecordRead(kelvora::ReadRecordFile(path, options), path); !failure.empty())
    return failure;
  if (!layout.ok()) return {};
  int tried = 0;
  for (const kelvora::FileChannel& c : layout.layout.channels) {
    if (c.variable.empty() || ++tried > 3) continue;
    options.variable = c.variable;
    options.channel = kelvora::ChannelRef{c.number, {}};
    if (std::string failure = CheckRecordRead(kelvora::ReadRecordFile(path, options), path); !failure.empty())
      return failure;
  }
  return {};
}

}  // namespace kelvora::fuzz
