#pragma once
// Min/max decimation of a sampled curve for drawing: what a chart needs of a long record. No Qt.
#include <cstddef>
#include <vector>

namespace kelvora {

// The indices of ys[first .. last] to draw on `columns` pixel columns: the samples are split into `columns`
// consecutive runs of (nearly) equal length and each run contributes the index of its smallest and of its
// largest finite sample, in sample order (one index when both are the same sample). Runs without a finite sample
// contribute nothing. The drawn polyline touches every extreme the full curve reaches in each column, so it looks
// the same as the full curve at that width. Requires first <= last < ys.size() and columns >= 1.
// Cost: one pass over the range; the result holds at most 2 * columns indices. Any thread.
std::vector<std::size_t> MinMaxDecimation(const std::vector<double>& ys, std::size_t first, std::size_t last,
                                          std::size_t columns);

}  // namespace kelvora
