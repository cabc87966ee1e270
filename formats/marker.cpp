#include "formats/marker.h"

#include <algorithm>

namespace kelvora {

const char* MarkerSourceName(MarkerSource source) {
  switch (source) {
    case MarkerSource::kEdf: return "edf";
    case MarkerSource::kColumn: return "column";
    case MarkerSource::kLabChart: return "labchart";
    case MarkerSource::kSidecar: return "sidecar";
    case MarkerSource::kFound: return "found";
  }
  return "sidecar";
}

std::vector<Marker> SortedByTime(std::vector<Marker> markers) {
  std::stable_sort(markers.begin(), markers.end(),
                   [](const Marker& a, const Marker& b) { return a.timeS < b.timeS; });
  return markers;
}

}  // namespace kelvora
