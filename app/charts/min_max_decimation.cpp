#include "charts/min_max_decimation.h"

#include <algorithm>
#include <cmath>

namespace kelvora {

std::vector<std::size_t> MinMaxDecimation(const std::vector<double>& ys, std::size_t first, std::size_t last,
                                          std::size_t columns) {
  std::vector<std::size_t> picked;
  if (ys.empty() || first > last || last >= ys.size() || columns == 0) return picked;
  const std::size_t count = last - first + 1;
  picked.reserve(2 * std::min(columns, count));
  for (std::size_t column = 0; column < columns; ++column) {
    const std::size_t begin = first + count * column / columns;
    const std::size_t end = first + count * (column + 1) / columns;
    std::size_t iMin = end;
    std::size_t iMax = end;
    for (std::size_t i = begin; i < end; ++i) {
      const double y = ys[i];
      if (!std::isfinite(y)) continue;
      if (iMin == end || y < ys[iMin]) iMin = i;
      if (iMax == end || y > ys[iMax]) iMax = i;
    }
    if (iMin == end) continue;
    picked.push_back(std::min(iMin, iMax));
    if (iMin != iMax) picked.push_back(std::max(iMin, iMax));
  }
  return picked;
}

}  // namespace kelvora
