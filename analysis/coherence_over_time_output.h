#pragma once
// The coherence over time as a matrix (CSV, laid out as the scalogram's) and as a picture.
#include <string>

#include "analysis/coherence_modes.h"
#include "analysis/scalogram_image.h"

namespace kelvora {

// A header "frequency_hz" and the columns' centre times in seconds, then one line per frequency (increasing)
// with the column means of TPC; a cell where it is not defined is empty. Pure.
std::string CoherenceOverTimeCsv(const CoherenceOverTime& map);

// One pixel column per column, rowHeight (>= 1) pixel rows per frequency, the highest at the top: TPC on the
// colour map over 0 .. 1, undefined cells light grey, the edge of the significant area (cells above their
// row's threshold next to cells that are not) white. Pure.
RgbImage RenderCoherenceOverTime(const CoherenceOverTime& map, int rowHeight);

}  // namespace kelvora
