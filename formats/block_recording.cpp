// Joining the blocks of a recording that follow one another without a gap.
#include "formats/block_recording.h"

#include <algorithm>
#include <cmath>

namespace kelvora {

std::optional<RecordFileError> JoinBlocks(const std::vector<RecordBlock>& blocks, RecordBlock& joined) {
  auto notContiguous = [](std::size_t index) {
    RecordFileError e;
    e.kind = RecordFileErrorKind::kBlocksNotContiguous;
    e.count = static_cast<long long>(index) + 1;
    return e;
  };
  if (blocks.empty()) {
    RecordFileError e;
    e.kind = RecordFileErrorKind::kNoSamples;
    return e;
  }
  joined = blocks.front();
  double fastest = 0.0;
  for (const ImportedChannel& c : joined.channels) fastest = std::max(fastest, c.sampleRateHz);
  double offsetS = 0.0;
  for (std::size_t b = 1; b < blocks.size(); ++b) {
    const RecordBlock& previous = blocks[b - 1];
    const RecordBlock& block = blocks[b];
    if (block.channels.size() != joined.channels.size() || !block.startDays || !previous.startDays || fastest <= 0)
      return notContiguous(b);
    for (std::size_t c = 0; c < block.channels.size(); ++c) {
      const ImportedChannel& a = joined.channels[c];
      const ImportedChannel& n = block.channels[c];
      if (a.name != n.name || a.unit != n.unit || a.sampleRateHz != n.sampleRateHz) return notContiguous(b);
    }
    // Where the block before it ends: its longest channel's samples at that channel's rate.
    double previousLengthS = 0.0;
    for (const ImportedChannel& c : previous.channels)
      previousLengthS = std::max(previousLengthS, static_cast<double>(c.values.size()) / c.sampleRateHz);
    const double gapS = (*block.startDays - *previous.startDays) * 86400.0 - previousLengthS;
    if (!(std::fabs(gapS) <= 0.5 / fastest)) return notContiguous(b);
    // The joined block's time of this block's first sample: the blocks before it end to end.
    offsetS += previousLengthS;
    for (std::size_t c = 0; c < block.channels.size(); ++c) {
      std::vector<double>& values = joined.channels[c].values;
      values.insert(values.end(), block.channels[c].values.begin(), block.channels[c].values.end());
      joined.channels[c].truncated = joined.channels[c].truncated || block.channels[c].truncated;
    }
    for (RecordMarker m : block.markers) {
      m.timeS += offsetS;
      joined.markers.push_back(std::move(m));
    }
  }
  return std::nullopt;
}

}  // namespace kelvora
