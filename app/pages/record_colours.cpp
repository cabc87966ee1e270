#include "pages/record_colours.h"

#include <QColorDialog>
#include <QPushButton>
#include <QVBoxLayout>

#include "charts/color_swatch.h"
#include "shell/named_controls.h"
#include "pages/record_side_panel.h"

namespace kelvora {

RecordColours::RecordColours(QWidget* parent) : QFrame(parent) {
  setObjectName(QStringLiteral("Panel15"));
  auto* swatches = new QVBoxLayout(this);
  swatches->setContentsMargins(0, 0, 0, 0);
  swatches->setSpacing(3);
  const char* names[2][2] = {{"Image6", "Panel9"}, {"Image7", "Panel10"}};
  const QString letters[2] = {QStringLiteral("T"), QStringLiteral("BF")};
  const QString hints[2] = {QStringLiteral("Color Temperature"), QStringLiteral("Color BloodFlow")};
  for (Side side : {Side::Temperature, Side::BloodFlow}) {
    const std::size_t i = SideIndex(side);
    m_swatch[i] = new ColorSwatch(QString::fromLatin1(names[i][0]), letters[i], StartRecordColour(side), this);
    m_swatch[i]->setToolTip(hints[i]);
    connect(m_swatch[i], &ColorSwatch::clicked, this, [this, side] { choose(side, false); });
  }
  for (Side side : {Side::Temperature, Side::BloodFlow}) {
    const std::size_t i = SideIndex(side);
    m_panel[i] = NamedButton(names[i][1], letters[i], this);
    m_panel[i]->setFixedSize(34, 20);
    m_panel[i]->setFlat(true);
    m_panel[i]->setAutoFillBackground(true);
    connect(m_panel[i], &QPushButton::clicked, this, [this, side] { choose(side, true); });
  }
  for (QWidget* w : std::initializer_list<QWidget*>{m_swatch[0], m_swatch[1], m_panel[0], m_panel[1]}) {
    swatches->addWidget(w, 0, Qt::AlignHCenter);
  }
  paintPanels();
}

QColor RecordColours::colour(Side side) const { return m_swatch[SideIndex(side)]->color(); }

void RecordColours::choose(Side side, bool fromPanel) {
  const std::size_t i = SideIndex(side);
  const QColor chosen = QColorDialog::getColor(m_swatch[i]->color(), this, m_swatch[i]->toolTip());
  if (!chosen.isValid()) return;
  m_swatch[i]->setColor(chosen);
  if (fromPanel) m_panelText[i] = QColor::fromRgb(chosen.rgb() ^ 0xFFFFFF);
  paintPanels();
  emit coloursChanged();
}

void RecordColours::paintPanels() {
  for (std::size_t i = 0; i < 2; ++i) {
    const QColor colour = m_swatch[i]->color();
    m_panel[i]->setStyleSheet(QStringLiteral("background-color: %1; color: %2; border: 1px solid %3;")
                                  .arg(colour.name(), m_panelText[i].name(), colour.darker(130).name()));
  }
}

}  // namespace kelvora
