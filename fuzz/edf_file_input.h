#pragma once
// Fuzzes the EDF, EDF+ and BDF reader. The input is the file (EDFlib reads from a path: it is written to an
// in-memory file named by /proc/self/fd). Every refusal must name what is wrong (a header field, the
// annotations, a discontinuous file), so the header check must catch whatever EDFlib refuses in the header; a
// read that succeeds gives finite samples, as many as the header says (at most 4096 a channel).
#include <sys/mman.h>
#include <unistd.h>

#include <cmath>
#include <cstdint>
#include <string>

#include "fuzz/fuzz_check.h"
#include "formats/edf_reader.h"

namespace kelvora::fuzz {

// Writes `size` bytes to a fresh in-memory file; gives its path and sets `fd` (closed by the caller).
inline std::string InMemoryFile(const std::uint8_t* data, std::size_t size, int& fd) {
  fd = ::memfd_create("kelvora-edf-fuzz", MFD_CLOEXEC);
  if (fd < 0) return {};
  std::size_t done = 0;
  while (done < size) {
    const ssize_t n = ::write(fd, data + done, size - done);
    if (n <= 0) break;
    done += static_cast<std::size_t>(n);
  }
  return "/proc/self/fd/" + std::to_string(fd);
}

inline std::string RunEdfFileInput(const std::uint8_t* data, std::size_t size) {
  int fd = -1;
  const std::string path = InMemoryFile(data, size, fd);
  if (path.empty()) return {};
  struct Closer {
    int fd;
    ~Closer() { ::close(fd); }
  } closer{fd};

  const kelvora::EdfReadResult info = kelvora::ReadEdfFile(path);
  if (!info.ok()) {
    const kelvora::RecordFileError& e = *info.error;
    Check(e.kind == kelvora::RecordFileErrorKind::kEdfHeader || e.kind == kelvora::RecordFileErrorKind::kEdfDiscontinuous);
    Check(e.kind != kelvora::RecordFileErrorKind::kEdfHeader || e.field != kelvora::EdfHeaderField::kNone);
    Check(e.text.size() <= 43);
    return {};
  }
  kelvora::EdfReadOptions options;
  for (std::size_t i = 0; i < info.info.channels.size(); ++i) options.channels.push_back({static_cast<int>(i) + 1, {}});
  options.maxSamples = 4096;
  const kelvora::EdfReadResult read = kelvora::ReadEdfFile(path, options);
  if (!read.ok()) {
    // Physical limits that overflow the scaling are named when the samples show it.
    Check(read.error->kind == kelvora::RecordFileErrorKind::kEdfHeader &&
          read.error->field == kelvora::EdfHeaderField::kPhysicalMaximum);
    return {};
  }
  Check(read.channels.size() == info.info.channels.size());
  for (std::size_t i = 0; i < read.channels.size(); ++i) {
    const kelvora::ImportedChannel& channel = read.channels[i];
    const long long expected = std::min<long long>(info.info.channels[i].sampleCount, 4096);
    Check(static_cast<long long>(channel.values.size()) == expected);
    Check(channel.sampleRateHz > 0 && std::isfinite(channel.sampleRateHz));
    for (const double v : channel.values) Check(std::isfinite(v));
  }
  for (const kelvora::EdfAnnotation& a : info.info.annotations) Check(std::isfinite(a.onsetS));
  return {};
}

}  // namespace kelvora::fuzz
