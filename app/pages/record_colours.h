#pragma once
// The colours of the two records (Panel15 between the Transform page's arrows): the swatches Image6 and
// Image7 and the panels Panel9 and Panel10, each opening a colour dialog.
#include <QColor>
#include <QFrame>

#include "signals/transform_session.h"

class QPushButton;

namespace kelvora {

class ColorSwatch;

// Holds the colour of each side's record; a choice made in a dialog emits coloursChanged(). A click on a panel
// also writes its caption in the complementary colour. UI thread only.
class RecordColours : public QFrame {
  Q_OBJECT

 public:
  explicit RecordColours(QWidget* parent);

  QColor colour(Side side) const;

 signals:
  void coloursChanged();

 private:
  void choose(Side side, bool fromPanel);
  void paintPanels();

  ColorSwatch* m_swatch[2] = {};      // Image6, Image7
  QPushButton* m_panel[2] = {};       // Panel9, Panel10
  QColor m_panelText[2] = {Qt::white, Qt::white};
};

}  // namespace kelvora
