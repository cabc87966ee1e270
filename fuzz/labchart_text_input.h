#pragma once
// Fuzzes the reader of acquisition-system text exports. The first byte chooses the channels read (0: all; else
// channel byte % 4 + 1, by number); the rest is the file's text. A read that succeeds gives blocks with finite
// samples at a positive finite rate, each channel no longer than the limit, and comments at finite times; a
// refusal is one of the reader's own kinds, its texts shortened. Joining the blocks either succeeds with every
// sample kept or names a block after the first. The same text as a file then goes through the one way in
// (record_file_input.h: ReadFileLayout and ReadRecordFile).
#include <cmath>
#include <cstdint>
#include <string>
#include <string_view>

#include "formats/labchart_text.h"
#include "fuzz/edf_file_input.h"
#include "fuzz/fuzz_check.h"
#include "fuzz/record_file_input.h"

namespace kelvora::fuzz {

inline std::string RunLabChartTextReader(const std::uint8_t* data, std::size_t size) {
  const std::uint8_t flags = data[0];
  const std::string_view text(reinterpret_cast<const char*>(data + 1), size - 1);
  kelvora::LabChartTextOptions options;
  options.maxSamples = 4096;
  if (flags != 0) options.channels.push_back(kelvora::ChannelRef{flags % 4 + 1, {}});
  const kelvora::LabChartTextResult read = kelvora::ReadLabChartText(text, options, "fuzz.txt");
  using K = kelvora::RecordFileErrorKind;
  if (!read.ok()) {
    const kelvora::RecordFileError& e = *read.error;
    Check(e.kind == K::kBadHeaderValue || e.kind == K::kMissingSample || e.kind == K::kBadNumber ||
          e.kind == K::kRaggedRow || e.kind == K::kLineTooLong || e.kind == K::kTimeNotUniform ||
          e.kind == K::kNoSampleRate || e.kind == K::kNoData || e.kind == K::kNoSuchChannel ||
          e.kind == K::kAmbiguousChannel);
    Check(e.text.size() <= 43 && e.reason.size() <= 43);
    Check(e.kind == K::kNoData || e.kind == K::kNoSuchChannel || e.kind == K::kAmbiguousChannel || e.line > 0);
    return {};
  }
  Check(!read.blocks.empty());
  std::size_t samples = 0;
  for (const kelvora::RecordBlock& block : read.blocks) {
    Check(block.channels.size() == (options.channels.empty() ? block.channelNames.size() : 1));
    Check(block.channels.size() == block.channelNumbers.size());
    for (const kelvora::ImportedChannel& c : block.channels) {
      Check(std::isfinite(c.sampleRateHz) && c.sampleRateHz > 0);
      Check(std::isfinite(c.startTimeS));
      Check(c.values.size() <= 4096);
      for (const double v : c.values) Check(std::isfinite(v));
    }
    if (!block.channels.empty()) samples += block.channels.front().values.size();
    for (const kelvora::RecordMarker& m : block.markers) Check(std::isfinite(m.timeS) && m.source == "labchart");
  }
  kelvora::RecordBlock joined;
  const std::optional<kelvora::RecordFileError> join = kelvora::JoinBlocks(read.blocks, joined);
  if (join) {
    Check(join->kind == K::kBlocksNotContiguous && join->count >= 2 &&
          join->count <= static_cast<long long>(read.blocks.size()));
  } else if (!joined.channels.empty()) {
    Check(joined.channels.front().values.size() == samples);
    for (const kelvora::RecordMarker& m : joined.markers) Check(std::isfinite(m.timeS));
  }
  return {};
}

inline std::string RunLabChartTextInput(const std::uint8_t* data, std::size_t size) {
  if (size == 0) return {};
  if (std::string failure = RunLabChartTextReader(data, size); !failure.empty()) return failure;
  int fd = -1;
  const std::string path = InMemoryFile(data + 1, size - 1, fd);
  if (path.empty()) return {};
  struct Closer {
    int fd;
    ~Closer() { ::close(fd); }
  } closer{fd};
  return RunLayoutAndRecord(path, data[0]);
}

}  // namespace kelvora::fuzz
