#include "pages/parameter_grid_view.h"

#include <QGridLayout>
#include <QHeaderView>
#include <QPushButton>
#include <QScrollBar>
#include <QTableWidget>
#include <algorithm>

#include "shell/named_controls.h"

namespace kelvora {

namespace {

// The columns' design widths, pixels; a wider text widens its column.
constexpr int kColumnWidths[kGridColumns] = {44, 40, 66, 44, 40, 66, 50, 36, 74, 24, 30, 30};
// Room a cell needs beside its text (margins and the grid line), pixels.
constexpr int kCellPadding = 10;

}  // namespace

ParameterGridView::ParameterGridView(QWidget* parent) : QGroupBox(QStringLiteral("Shitzer"), parent) {
  setObjectName(QStringLiteral("GroupBox2"));
  auto* layout = new QGridLayout(this);
  layout->setContentsMargins(6, 2, 6, 2);
  layout->setVerticalSpacing(1);

  m_grid = new QTableWidget(kGridRows, kGridColumns, this);
  m_grid->setObjectName(QStringLiteral("StringGrid1"));
  m_grid->horizontalHeader()->hide();
  m_grid->verticalHeader()->hide();
  m_grid->verticalHeader()->setMinimumSectionSize(16);
  m_grid->verticalHeader()->setDefaultSectionSize(19);
  m_grid->verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
  m_grid->horizontalHeader()->setMinimumSectionSize(20);
  for (int c = 0; c < kGridColumns; ++c) m_grid->setColumnWidth(c, kColumnWidths[c]);
  m_grid->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
  m_grid->setHorizontalScrollBarPolicy(Qt::ScrollBarAsNeeded);
  m_grid->setFixedHeight(3 * 19 + 4 + m_grid->horizontalScrollBar()->sizeHint().height());
  m_grid->setMinimumWidth(230);
  for (int r = 0; r < kGridRows; ++r) {
    for (int c = 0; c < kGridColumns; ++c) m_grid->setItem(r, c, new QTableWidgetItem);
  }
  layout->addWidget(m_grid, 0, 0, 3, 1);

  const char* names[3] = {"Button1", "Button2", "Button3"};
  for (int i = 0; i < 3; ++i) {
    m_buttons[i] = NamedButton(names[i], i == 0 ? QStringLiteral("Skin") : QString(), this);
    m_buttons[i]->setFixedWidth(64);
    layout->addWidget(m_buttons[i], i, 1);
    connect(m_buttons[i], &QPushButton::clicked, this,
            [this, i] { emit defaultsPressed(static_cast<Defaults>(i)); });
  }
  layout->setRowStretch(3, 1);

  connect(m_grid, &QTableWidget::cellChanged, this, [this](int row, int column) {
    if (!m_updating) emit cellEdited(column, row, m_grid->item(row, column)->text().toStdString());
  });
}

void ParameterGridView::showGrid(const ParameterGrid& grid, bool shitzer, bool russian) {
  // "Blood" and "Air" exist only for Shitzer's model; otherwise both buttons are disabled and blank.
  m_buttons[1]->setEnabled(shitzer);
  m_buttons[2]->setEnabled(shitzer);
  m_buttons[1]->setText(shitzer ? (russian ? QStringLiteral("Кровь") : QStringLiteral("Blood")) : QString());
  m_buttons[2]->setText(shitzer ? (russian ? QStringLiteral("Воздух") : QStringLiteral("Air")) : QString());

  m_updating = true;
  // Shitzer's model uses the three groups of columns 0-8; the thermal wave also the D group (9-11).
  for (int c = 9; c < kGridColumns; ++c) m_grid->setColumnHidden(c, shitzer);
  for (int r = 0; r < kGridRows; ++r) {
    for (int c = 0; c < kGridColumns; ++c) {
      QTableWidgetItem* item = m_grid->item(r, c);
      QString text = QString::fromStdString(grid.cell(c, r));
      bool editable = false;
      if (r == 0 && text.isEmpty()) {
        // Header row: the group names over the label cells.
        if (c == 0) text = russian ? QStringLiteral("Кожа") : QStringLiteral("Skin");
        if (shitzer && c == 3) text = russian ? QStringLiteral("Кровь") : QStringLiteral("Blood");
        if (shitzer && c == 6) text = russian ? QStringLiteral("Воздух") : QStringLiteral("Air");
      } else if (r > 0) {
        // Value cells are the middle cell of each (label, value, unit) group that has a label.
        editable = c % 3 == 1 && !grid.cell(c - 1, r).empty();
      }
      item->setText(text);
      item->setFlags(editable ? Qt::ItemIsEnabled | Qt::ItemIsEditable | Qt::ItemIsSelectable : Qt::ItemIsEnabled);
      item->setBackground(r == 0 ? palette().color(QPalette::Button)
                                 : (editable ? QColor(Qt::white) : palette().color(QPalette::AlternateBase)));
    }
  }
  m_updating = false;
  // Every value shows in full: a column is at least as wide as its widest text (a depth of "1.234" mm too).
  const QFontMetrics metrics(m_grid->font());
  for (int c = 0; c < kGridColumns; ++c) {
    int widest = 0;
    for (int r = 0; r < kGridRows; ++r) widest = std::max(widest, metrics.horizontalAdvance(m_grid->item(r, c)->text()));
    m_grid->setColumnWidth(c, std::max(kColumnWidths[c], widest + kCellPadding));
  }
}

}  // namespace kelvora
