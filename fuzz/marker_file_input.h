#pragma once
// Fuzzes the marker and segment files. The first byte chooses the parser (bit 0: the sidecar, else the segment
// table; bit 1: also the typed segment list); the rest is the file's text. Checks: a refused text gives no
// markers and names a line; every marker read has a finite time and duration >= 0 and a label; the sidecar text
// of what was read parses back to the same markers; segments are 0 <= start < end with a name.
#include <cmath>
#include <cstdint>
#include <string>
#include <string_view>

#include "formats/marker_file.h"
#include "fuzz/fuzz_check.h"

namespace kelvora::fuzz {

inline std::string RunMarkerFileInput(const std::uint8_t* data, std::size_t size) {
  if (size < 1) return {};
  const std::uint8_t mode = data[0];
  const std::string_view text(reinterpret_cast<const char*>(data + 1), size - 1);
  if ((mode & 1) != 0) {
    const MarkerReadResult read = ParseMarkerSidecar(text);
    if (!read.ok()) {
      Check(read.markers.empty());
      Check(read.error->line >= 1);
      return {};
    }
    for (const Marker& m : read.markers) {
      Check(std::isfinite(m.timeS) && m.timeS >= 0.0);
      Check(std::isfinite(m.durationS) && m.durationS >= 0.0);
      Check(!m.label.empty());
    }
    std::string written;
    Check(!MarkerSidecarText(read.markers, written));
    const MarkerReadResult back = ParseMarkerSidecar(written);
    Check(back.ok());
    Check(back.markers.size() == read.markers.size());
    for (std::size_t i = 0; i < read.markers.size(); ++i) {
      Check(back.markers[i].timeS == read.markers[i].timeS);
      Check(back.markers[i].durationS == read.markers[i].durationS);
      Check(back.markers[i].label == read.markers[i].label);
    }
  } else {
    const SegmentReadResult read = ParseSegmentTable(text);
    if (!read.ok()) Check(read.segments.empty() && read.error->line >= 1);
    for (const Segment& s : read.segments) Check(!s.name.empty() && s.startS >= 0.0 && s.endS > s.startS);
  }
  if ((mode & 2) != 0) {
    const SegmentReadResult list = ParseSegmentList(text);
    if (!list.ok()) Check(list.segments.empty());
    for (const Segment& s : list.segments) Check(!s.name.empty() && s.startS >= 0.0 && s.endS > s.startS);
  }
  return {};
}

}  // namespace kelvora::fuzz
