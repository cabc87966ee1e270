#include "signals/parameter_grid.h"

#include "core/text_helpers.h"

namespace kelvora {

namespace {

void SetShitzerLayout(ParameterGrid& grid, const TissueParameters& tp) {
  const ShitzerParameters& p = tp.shitzer;
  const char* cells[2][9] = {
      {"Rho", "", "kg/m^3", "Rho", "", "kg/m^3", "H", "", "W*K/m^2"},
      {"C", "", "J/(kg*K)", "C", "", "J/(kg*K)", "T", "", "°C"},
  };
  for (int row = 1; row <= 2; ++row) {
    for (int column = 0; column < kGridColumns; ++column)
      grid.setCell(column, row, column < 9 ? cells[row - 1][column] : "");
  }
  grid.setCell(1, 1, std::to_string(p.rhoSkin));
  grid.setCell(1, 2, std::to_string(p.cSkin));
  grid.setCell(4, 1, std::to_string(p.rhoBlood));
  grid.setCell(4, 2, std::to_string(p.cBlood));
  grid.setCell(7, 1, std::to_string(p.hAir));
  grid.setCell(7, 2, std::to_string(p.tAir));
}

void SetThermalWaveLayout(ParameterGrid& grid, const TissueParameters& tp, char separator) {
  const char* labels[kGridColumns] = {"Rho", "", "kg/m^3", "C", "", "J/(kg*K)", "Lambda", "", "W/(m*K)",
                                      "D", "", "mm"};
  for (int column = 0; column < kGridColumns; ++column) {
    grid.setCell(column, 1, labels[column]);
    grid.setCell(column, 2, "");
  }
  grid.setCell(1, 1, FormatRealText(tp.wave.rho, separator));
  grid.setCell(4, 1, FormatRealText(tp.wave.heatCapacity, separator));
  grid.setCell(7, 1, FormatRealText(tp.wave.lambda, separator));
  grid.setCell(10, 1, FormatRealText(tp.wave.depthM * 1000.0, separator));
}

GridEditResult Refused(GridEditFault fault, const std::string& text) { return {fault, text}; }

}  // namespace

void LayOutParameterGrid(ParameterGrid& grid, GridMode mode, const TissueParameters& parameters,
                         char decimalSeparator) {
  if (mode == GridMode::Shitzer) {
    SetShitzerLayout(grid, parameters);
  } else {
    SetThermalWaveLayout(grid, parameters, decimalSeparator);
  }
}

GridEditResult EditParameterGrid(const ParameterGrid& grid, int column, int row, GridMode mode,
                                 char decimalSeparator, TissueParameters& parameters) {
  if (decimalSeparator == ',' && grid.cell(column, row).find('.') != std::string::npos)
    return Refused(GridEditFault::DotOnCommaSystem, grid.cell(column, row));

  TissueParameters updated = parameters;
  if (mode == GridMode::Shitzer) {
    struct IntegerCell {
      int labelColumn, labelRow;
      const char* label;
      int* target;
    };
    const IntegerCell cells[] = {
        {0, 2, "C", &updated.shitzer.cSkin},    {3, 1, "Rho", &updated.shitzer.rhoBlood},
        {3, 2, "C", &updated.shitzer.cBlood},   {6, 1, "H", &updated.shitzer.hAir},
        {6, 2, "T", &updated.shitzer.tAir},
    };
    for (const IntegerCell& c : cells) {
      const std::string& text = grid.cell(c.labelColumn + 1, c.labelRow);
      if (text.empty() || grid.cell(c.labelColumn, c.labelRow) != c.label) continue;
      if (!ParseIntegerText(text, *c.target)) return Refused(GridEditFault::NotAnInteger, text);
    }
  } else {
    if (grid.cell(3, 1) == "C" && !grid.cell(4, 1).empty()) {
      int heatCapacity = 0;
      if (!ParseIntegerText(grid.cell(4, 1), heatCapacity))
        return Refused(GridEditFault::NotAnInteger, grid.cell(4, 1));
      updated.wave.heatCapacity = heatCapacity;
    }
    if (grid.cell(6, 1) == "Lambda" && !grid.cell(7, 1).empty()) {
      if (!ParseRealText(grid.cell(7, 1), decimalSeparator, updated.wave.lambda))
        return Refused(GridEditFault::NotAReal, grid.cell(7, 1));
    }
    if (grid.cell(9, 1) == "D" && !grid.cell(10, 1).empty()) {
      double millimetres = 0.0;
      if (!ParseRealText(grid.cell(10, 1), decimalSeparator, millimetres))
        return Refused(GridEditFault::NotAReal, grid.cell(10, 1));
      updated.wave.depthM = millimetres / 1000.0;
    }
  }
  parameters = updated;
  return {};
}

void ApplySkinDefaults(ParameterGrid& grid, GridMode mode, char decimalSeparator, TissueParameters& parameters) {
  grid.setCell(1, 1, "1057");
  if (mode == GridMode::Shitzer) {
    grid.setCell(1, 2, "3780");
  } else {
    grid.setCell(4, 1, "3780");
    grid.setCell(7, 1, FormatRealText(0.33, decimalSeparator));
    grid.setCell(10, 1, FormatRealText(2, decimalSeparator));
  }
  parameters.shitzer.rhoSkin = 1057;
  parameters.wave.rho = 1057;
  parameters.shitzer.cSkin = 3780;
  parameters.wave.heatCapacity = 3780;
  parameters.wave.lambda = 0.33;
  parameters.wave.depthM = 0.002;
}

void ApplyBloodDefaults(ParameterGrid& grid, TissueParameters& parameters) {
  grid.setCell(4, 2, "3650");
  grid.setCell(4, 1, "1069");
  parameters.shitzer.cBlood = 3650;
  parameters.shitzer.rhoBlood = 1069;
}

void ApplyAirDefaults(ParameterGrid& grid, TissueParameters& parameters) {
  grid.setCell(7, 1, "6");
  grid.setCell(7, 2, "24");
  parameters.shitzer.hAir = 6;
  parameters.shitzer.tAir = 24;
}

}  // namespace kelvora
