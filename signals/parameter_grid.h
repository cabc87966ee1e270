#pragma once
// The parameter grid of the Transform page (`StringGrid1`): its cells in the two layouts (Shitzer's model and
// the thermal wave), the rule that turns edited cells into tissue parameters, and the default buttons. Pure
// functions over a grid and a TissueParameters; any thread.
#include <array>
#include <cstddef>
#include <string>

#include "signals/shitzer_model.h"

namespace kelvora {

// The parameter grid `StringGrid1`: 12 columns x 3 rows of cell texts, addressed (column, row). Row 0 is the
// header row. In Shitzer mode the columns form three groups (label, value, unit): skin 0-2, blood 3-5, air
// 6-8. In thermal-wave mode row 1 holds Rho (0-2), C (3-5), Lambda (6-8) and D in mm (9-11).

inline constexpr int kGridColumns = 12;
inline constexpr int kGridRows = 3;

class ParameterGrid {
 public:
  const std::string& cell(int column, int row) const { return m_cells.at(index(column, row)); }
  void setCell(int column, int row, std::string text) { m_cells.at(index(column, row)) = std::move(text); }

 private:
  static std::size_t index(int column, int row) { return static_cast<std::size_t>(row * kGridColumns + column); }
  std::array<std::string, kGridColumns * kGridRows> m_cells{};
};

enum class GridMode { ThermalWave, Shitzer };

// Writes the labels, units and current values of `mode` into rows 1 and 2 (the cells the other mode uses are
// emptied). Reals use `decimalSeparator`.
void LayOutParameterGrid(ParameterGrid& grid, GridMode mode, const TissueParameters& parameters,
                         char decimalSeparator);

// What was wrong with a grid edit; the window words it.
enum class GridEditFault {
  None,
  DotOnCommaSystem,  // a "." typed on a system whose decimal separator is ","
  NotAnInteger,      // `text` does not convert to an integer
  NotAReal,          // `text` does not convert to a real
};

// The outcome of a grid edit: ok() when the parameters were stored; otherwise nothing was stored and `text` is
// the offending cell text.
struct GridEditResult {
  GridEditFault fault = GridEditFault::None;
  std::string text;
  bool ok() const { return fault == GridEditFault::None; }
};

// The grid edit handler (`StringGrid1SetEditText`): called after the cell (column, row) changed to its new
// text. With "," as the separator a "." in the edited cell is refused (DotOnCommaSystem). Otherwise every value
// cell of the mode whose label cell holds the expected label and whose text is not empty is converted (integers
// in Shitzer mode, C as an integer and Lambda, D as reals in thermal-wave mode) and stored; rhoSkin is set only
// by the "Skin" button. A text that does not convert stores nothing and is named in the result.
GridEditResult EditParameterGrid(const ParameterGrid& grid, int column, int row, GridMode mode,
                                 char decimalSeparator, TissueParameters& parameters);

// The default buttons: write their cells and set their parameters.
// "Skin": rhoSkin 1057, cSkin 3780 and the thermal-wave C 3780, Lambda 0.33, D 2 mm.
void ApplySkinDefaults(ParameterGrid& grid, GridMode mode, char decimalSeparator, TissueParameters& parameters);
// "Blood": cBlood 3650, rhoBlood 1069 (cells (4,2) and (4,1)).
void ApplyBloodDefaults(ParameterGrid& grid, TissueParameters& parameters);
// "Air": hAir 6, tAir 24 (cells (7,1) and (7,2)).
void ApplyAirDefaults(ParameterGrid& grid, TissueParameters& parameters);

}  // namespace kelvora
