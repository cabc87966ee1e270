#include "analysis/coherence_over_time_output.h"

#include <algorithm>
#include <cmath>

#include "analysis/analysis_csv.h"

namespace kelvora {

std::string CoherenceOverTimeCsv(const CoherenceOverTime& map) {
  std::string text = "frequency_hz";
  for (int c = 0; c < map.columns; ++c) {
    const double centre = 0.5 * static_cast<double>(map.columnBegin(c) + map.columnBegin(c + 1) - 1);
    text += ',' + CsvNumber(centre / map.sampleRateHz);
  }
  text += '\n';
  for (std::size_t j = 0; j < map.frequenciesHz.size(); ++j) {
    text += CsvNumber(map.frequenciesHz[j]);
    for (int c = 0; c < map.columns; ++c) {
      text += ',';
      const double v = map.value(j, c);
      if (std::isfinite(v)) text += CsvNumber(v);
    }
    text += '\n';
  }
  return text;
}

RgbImage RenderCoherenceOverTime(const CoherenceOverTime& map, int rowHeight) {
  RgbImage image;
  const int rows = static_cast<int>(map.frequenciesHz.size());
  rowHeight = std::max(1, rowHeight);
  image.width = map.columns;
  image.height = rows * rowHeight;
  image.rgb.assign(static_cast<std::size_t>(image.width) * image.height * 3, 0);
  auto significant = [&](int j, int c) {
    return j >= 0 && j < rows && c >= 0 && c < map.columns && map.significant(static_cast<std::size_t>(j), c);
  };
  for (int j = 0; j < rows; ++j) {
    for (int c = 0; c < map.columns; ++c) {
      const double v = map.value(static_cast<std::size_t>(j), c);
      RgbColour colour{235, 235, 235};
      if (std::isfinite(v)) colour = ColourMapValue(v);
      if (significant(j, c) && (!significant(j - 1, c) || !significant(j + 1, c) || !significant(j, c - 1) ||
                                !significant(j, c + 1)))
        colour = RgbColour{255, 255, 255};
      const int top = (rows - 1 - j) * rowHeight;
      for (int y = top; y < top + rowHeight; ++y) {
        std::uint8_t* pixel = image.rgb.data() + (static_cast<std::size_t>(y) * image.width + c) * 3;
        pixel[0] = colour.red;
        pixel[1] = colour.green;
        pixel[2] = colour.blue;
      }
    }
  }
  return image;
}

}  // namespace kelvora
