#pragma once
// Writers of acquisition-system exports for the tests: the text export and the MATLAB export, built from plain
// numbers so that every value read back can be compared exactly.
#include <cstdio>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "formats/mat_file.h"

namespace kelvora::testing {

struct TextBlockPlan {
  double intervalS = 0.025;
  std::vector<std::string> titles;
  std::vector<std::string> units;       // "*" for none
  std::optional<double> excelDays;      // ExcelDateTime=
  std::vector<std::vector<double>> channels;  // equal lengths
  std::map<std::size_t, std::string> comments;       // row -> "#* text" field after the values
  std::map<std::size_t, std::string> commentRows;    // row -> a short row "time<TAB>#* text" before that row
  std::map<std::pair<std::size_t, std::size_t>, std::string> cells;  // (row, channel) -> a cell as written
};

inline std::string Exact(double value) {
  char buffer[40];
  std::snprintf(buffer, sizeof buffer, "%.17g", value);
  return buffer;
}

// The text export of `blocks`: each block its full header, then its rows (time from 0 at its first row).
inline std::string LabChartText(const std::vector<TextBlockPlan>& blocks) {
  std::string text;
  for (const TextBlockPlan& b : blocks) {
    text += "Interval=\t" + Exact(b.intervalS) + " s\n";
    if (b.excelDays) text += "ExcelDateTime=\t" + Exact(*b.excelDays) + "\t01/02/2025 10:00:00.000000\n";
    text += "TimeFormat=\tStartOfBlock\nDateFormat=\t\nChannelTitle=";
    for (const std::string& t : b.titles) text += "\t" + t;
    text += "\nRange=";
    for (std::size_t c = 0; c < b.titles.size(); ++c) text += "\t10.000 V";
    text += "\nUnitName=";
    for (const std::string& u : b.units) text += "\t" + u;
    text += "\nTopValue=";
    for (std::size_t c = 0; c < b.titles.size(); ++c) text += "\t10";
    text += "\nBottomValue=";
    for (std::size_t c = 0; c < b.titles.size(); ++c) text += "\t-10";
    text += "\n";
    const std::size_t rows = b.channels.empty() ? 0 : b.channels.front().size();
    for (std::size_t r = 0; r < rows; ++r) {
      const std::string time = Exact(static_cast<double>(r) * b.intervalS);
      if (const auto it = b.commentRows.find(r); it != b.commentRows.end()) text += time + "\t#* " + it->second + "\n";
      text += time;
      for (std::size_t c = 0; c < b.channels.size(); ++c) {
        const auto cell = b.cells.find({r, c});
        text += "\t" + (cell != b.cells.end() ? cell->second : Exact(b.channels[c][r]));
      }
      if (const auto it = b.comments.find(r); it != b.comments.end()) text += "\t#* " + it->second;
      text += "\n";
    }
  }
  return text;
}

struct ExportChannel {
  std::string title, unit;
  double rateHz = 0;
  std::vector<double> values;  // empty: no samples in this block (datastart -1)
  double offsetS = 0;
};
struct ExportComment {
  int channel = -1, block = 1;
  double position = 0;  // ticks
  std::string text;
};
struct ExportPlan {
  std::vector<std::vector<ExportChannel>> blocks;  // block -> channel (every block the same channels)
  std::vector<double> blockTimes;                  // MATLAB day numbers
  std::vector<ExportComment> comments;
  double tickRateHz = 0;  // 0: no tickrate variable
};

// The MATLAB export variables of `layout`, channel after channel within each block, block after block.
inline std::vector<MatValue> AcquisitionExport(const ExportPlan& layout) {
  const std::size_t blocks = layout.blocks.size(), channels = layout.blocks.front().size();
  std::vector<double> data, starts(channels * blocks), ends(channels * blocks), rates(channels * blocks),
      unitMap(channels * blocks), offsets(channels * blocks);
  std::vector<std::string> titles, units;
  for (std::size_t b = 0; b < blocks; ++b) {
    for (std::size_t c = 0; c < channels; ++c) {
      const ExportChannel& ch = layout.blocks[b][c];
      const std::size_t at = c + b * channels;
      if (ch.values.empty()) {
        starts[at] = ends[at] = -1;
      } else {
        starts[at] = static_cast<double>(data.size()) + 1;
        data.insert(data.end(), ch.values.begin(), ch.values.end());
        ends[at] = static_cast<double>(data.size());
      }
      rates[at] = ch.rateHz;
      offsets[at] = ch.offsetS;
      std::size_t u = 0;
      while (u < units.size() && units[u] != ch.unit) ++u;
      if (u == units.size()) units.push_back(ch.unit);
      unitMap[at] = static_cast<double>(u) + 1;
      if (b == 0) titles.push_back(ch.title);
    }
  }
  std::vector<MatValue> vars = {
      MatValue::Row("data", data),
      MatValue::Matrix("datastart", channels, blocks, starts),
      MatValue::Matrix("dataend", channels, blocks, ends),
      MatValue::Matrix("samplerate", channels, blocks, rates),
      MatValue::TextRows("titles", titles),
      MatValue::TextRows("unittext", units),
      MatValue::Matrix("unittextmap", channels, blocks, unitMap),
      MatValue::Row("blocktimes", layout.blockTimes),
      MatValue::Matrix("firstsampleoffset", channels, blocks, offsets),
  };
  if (!layout.comments.empty()) {
    const std::size_t n = layout.comments.size();
    std::vector<double> com(n * 5);
    std::vector<std::string> texts;
    for (std::size_t i = 0; i < n; ++i) {
      const ExportComment& k = layout.comments[i];
      texts.push_back(k.text);
      com[i] = k.channel;
      com[i + n] = k.block;
      com[i + 2 * n] = k.position;
      com[i + 3 * n] = 1;
      com[i + 4 * n] = static_cast<double>(i) + 1;
    }
    vars.push_back(MatValue::Matrix("com", n, 5, com));
    vars.push_back(MatValue::TextRows("comtext", texts));
  }
  if (layout.tickRateHz > 0) vars.push_back(MatValue::Scalar("tickrate", layout.tickRateHz));
  return vars;
}

}  // namespace kelvora::testing
