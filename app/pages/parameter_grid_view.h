#pragma once
// The "Shitzer" group of the Transform page: the parameter grid StringGrid1 and the default buttons "Skin",
// "Blood" and "Air" (Button1 .. Button3).
#include <QGroupBox>

#include "signals/parameter_grid.h"

class QPushButton;
class QTableWidget;

namespace kelvora {

// Shows a ParameterGrid (its cells, which cells may be edited, the group names in the header row) and reports
// what the user edits or presses; the rules are the session's. UI thread only.
class ParameterGridView : public QGroupBox {
  Q_OBJECT

 public:
  enum class Defaults { Skin, Blood, Air };

  explicit ParameterGridView(QWidget* parent);

  // Shows `grid` laid out for Shitzer's model (`shitzer`: three groups, "Blood" and "Air" buttons enabled) or
  // the thermal wave (four groups, "Blood" and "Air" disabled and blank), the header texts in Russian when
  // `russian`.
  void showGrid(const ParameterGrid& grid, bool shitzer, bool russian);

 signals:
  // The user changed cell (column, row) to `text`.
  void cellEdited(int column, int row, const std::string& text);
  void defaultsPressed(Defaults defaults);

 private:
  QTableWidget* m_grid = nullptr;
  QPushButton* m_buttons[3] = {};
  bool m_updating = false;
};

}  // namespace kelvora
