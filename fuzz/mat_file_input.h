#pragma once
// Fuzzes the MATLAB file reader (plain files and acquisition-system exports). The input is the file (MATIO
// reads from a path: it is written to an in-memory file named by /proc/self/fd), read with no variable chosen
// and then with each variable the file lists that can be a signal. A read that succeeds gives finite samples,
// each channel within the limit, at a finite rate that is not negative, and markers at finite times; a refusal
// is one of the reader's own kinds. The file then goes through the one way in (record_file_input.h:
// ReadFileLayout and ReadRecordFile, the block and channel chosen by the size of the file).
#include <cmath>
#include <cstdint>
#include <string>

#include "formats/mat_file.h"
#include "fuzz/edf_file_input.h"
#include "fuzz/fuzz_check.h"
#include "fuzz/record_file_input.h"

namespace kelvora::fuzz {

inline std::string CheckMatRead(const kelvora::MatReadResult& read) {
  using K = kelvora::RecordFileErrorKind;
  if (!read.ok()) {
    const K k = read.error->kind;
    Check(k == K::kNotMatFile || k == K::kMatVersionUnsupported || k == K::kNoSuchVariable ||
          k == K::kVariableNeeded || k == K::kVariableNotSignal || k == K::kMatLayout || k == K::kNonFiniteValue ||
          k == K::kNoSuchChannel || k == K::kAmbiguousChannel);
    Check(read.blocks.empty());
    return {};
  }
  Check(!read.blocks.empty());
  for (const kelvora::RecordBlock& block : read.blocks) {
    Check(block.channels.size() == block.channelNumbers.size());
    for (const kelvora::ImportedChannel& c : block.channels) {
      Check(std::isfinite(c.sampleRateHz) && c.sampleRateHz >= 0);
      Check(std::isfinite(c.startTimeS));
      Check(c.values.size() <= 4096);
      for (const double v : c.values) Check(std::isfinite(v));
    }
    for (const kelvora::RecordMarker& m : block.markers) Check(std::isfinite(m.timeS));
  }
  return {};
}

inline std::string RunMatFileInput(const std::uint8_t* data, std::size_t size) {
  int fd = -1;
  const std::string path = InMemoryFile(data, size, fd);
  if (path.empty()) return {};
  struct Closer {
    int fd;
    ~Closer() { ::close(fd); }
  } closer{fd};
  kelvora::MatReadOptions options;
  options.maxSamples = 4096;
  options.maxElements = 1 << 20;
  const kelvora::MatReadResult read = kelvora::ReadMatFile(path, options);
  if (std::string failure = CheckMatRead(read); !failure.empty()) return failure;
  int tried = 0;
  for (const kelvora::MatVariableInfo& v : read.variables) {
    if (!v.signal || read.layout != kelvora::MatFileLayout::kPlain || ++tried > 4) continue;
    options.variable = v.name;
    if (std::string failure = CheckMatRead(kelvora::ReadMatFile(path, options)); !failure.empty()) return failure;
  }
  return RunLayoutAndRecord(path, static_cast<std::uint8_t>(size));
}

}  // namespace kelvora::fuzz
