#include "pages/record_side_panel.h"

#include <QCheckBox>
#include <QFrame>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLineEdit>
#include <QPainter>
#include <QPushButton>
#include <QToolButton>

#include "shell/band_edit_filter.h"
#include "pages/band_workspace.h"
#include "charts/frequency_strip.h"
#include "shell/named_controls.h"
#include "shell/number_text.h"
#include "charts/plot_view.h"

namespace kelvora {

namespace {

// The object names and design texts of one side.
struct SideDesign {
  const char* panel;
  const char* chart;
  const char* title;
  const char* leftTitle;
  const char* measuredSeries;
  const char* filteredSeries;
  const char* filterPanel;
  const char* filterButton;
  const char* inputBox;
  const char* filteredBox;
  const char* letters[3];
  const char* strip;
  const char* lowEdit;
  const char* highEdit;
};

constexpr SideDesign kDesigns[2] = {
    {"Panel1", "Chart1", "Temperature", "T, °C", "Series1", "Series19", "PanelM1", "BitBtn9", "CheckBox2",
     "CBFilterSignalT", {"SpeedButton6", "SpeedButton7", "SpeedButton8"}, "Image3", "EditS1", "EditS2"},
    {"Panel2", "Chart2", "BloodFlow", "BF, V", "Series2", "Series21", "PanelM2", "BitBtn10", "CheckBox4",
     "CBFilterSignalBF", {"SpeedButton9", "SpeedButton13", "SpeedButton14"}, "Image4", "EditS3", "EditS4"},
};

// The glyph of a "Filtering" button: a triangle pointing down while its panel is expanded, right when collapsed.
QIcon FoldIcon(bool expanded) {
  QPixmap pixmap(12, 12);
  pixmap.fill(Qt::transparent);
  QPainter p(&pixmap);
  p.setRenderHint(QPainter::Antialiasing);
  p.setPen(Qt::NoPen);
  p.setBrush(QColor(0x40, 0x40, 0x40));
  if (expanded) {
    p.drawPolygon(QPolygon({QPoint(1, 3), QPoint(11, 3), QPoint(6, 9)}));
  } else {
    p.drawPolygon(QPolygon({QPoint(3, 1), QPoint(9, 6), QPoint(3, 11)}));
  }
  return QIcon(pixmap);
}

// The band texts "0" .. this mean that no band is chosen (the session's rule of a load).
QString NoBandHighText(Side side) { return side == Side::Temperature ? FormatDecimal(0.1) : QStringLiteral("2"); }

}  // namespace

QColor StartRecordColour(Side side) {
  return side == Side::Temperature ? QColor(0xc0, 0x20, 0x20) : QColor(0x10, 0x40, 0xc0);
}

QColor FilteredCurveColour() { return QColor(0x10, 0x90, 0x30); }

RecordSidePanel::RecordSidePanel(Side side, QWidget* parent) : QWidget(parent), m_side(side) {
  const SideDesign& d = kDesigns[SideIndex(side)];
  setObjectName(QString::fromLatin1(d.panel));
  m_keyFilter = new BandEditFilter(this);
  auto* grid = new QGridLayout(this);
  grid->setContentsMargins(0, 0, 0, 0);
  grid->setSpacing(2);
  m_chart = new PlotView(QString::fromLatin1(d.chart), this);
  m_chart->setTitle(QString::fromUtf8(d.title));
  m_chart->setBottomTitle(QStringLiteral("t, min"));
  m_chart->setLeftTitle(QString::fromUtf8(d.leftTitle));
  m_measured = m_chart->addLineSeries(QString::fromLatin1(d.measuredSeries), StartRecordColour(side));
  m_filtered = m_chart->addLineSeries(QString::fromLatin1(d.filteredSeries), FilteredCurveColour(), 1.5);
  if (side == Side::Temperature) {
    m_points = m_chart->addPointSeries(QStringLiteral("Series20"), FilteredCurveColour(), 5.0);
    m_points->setVisible(false);
  }
  m_filtered->setVisible(false);
  m_filterPanel = buildFilterPanel();
  m_strip = new FrequencyStrip(QString::fromLatin1(d.strip), this);
  m_lowEdit = NamedEdit(d.lowEdit, QStringLiteral("0"), this, 52);
  m_highEdit = NamedEdit(d.highEdit, NoBandHighText(side), this, 52);
  for (QLineEdit* edit : {m_lowEdit, m_highEdit}) edit->installEventFilter(m_keyFilter);
  m_strip->setBand(0.0, side == Side::Temperature ? 0.1 : 2.0);
  auto* stripRow = new QHBoxLayout;
  stripRow->setSpacing(2);
  stripRow->addWidget(m_strip, 1);
  stripRow->addWidget(m_lowEdit);
  stripRow->addWidget(m_highEdit);
  grid->addWidget(m_chart, 0, 0);
  grid->addWidget(m_filterPanel, 0, 1);
  grid->addLayout(stripRow, 1, 0, 1, 2);
  grid->setRowStretch(0, 1);
  grid->setColumnStretch(0, 1);

  connect(m_filterButton, &QPushButton::clicked, this, &RecordSidePanel::toggleFilterPanel);
  connect(m_inputBox, &QCheckBox::clicked, this, [this] { onBoxClicked(false); });
  connect(m_filteredBox, &QCheckBox::clicked, this, [this] { onBoxClicked(true); });
  for (int i = 0; i < 3; ++i) {
    connect(m_letters[i], &QToolButton::clicked, this, [this, i] {
      setBand(BandWorkspace::kPresets[i].band.low, BandWorkspace::kPresets[i].band.high);
      emit bandChosen();
    });
  }
  connect(m_strip, &FrequencyStrip::bandDragged, this, [this](double low, double high) {
    m_lowEdit->setText(FormatDecimal(low));
    m_highEdit->setText(high >= 2.0 ? QStringLiteral("2") : FormatDecimal(high));
  });
  connect(m_strip, &FrequencyStrip::dragFinished, this, &RecordSidePanel::bandChosen);
  connect(m_strip, &FrequencyStrip::doubleClicked, this, &RecordSidePanel::onStripDoubleClicked);
  connect(m_keyFilter, &BandEditFilter::enterPressed, this, &RecordSidePanel::onEditEnter);
}

QFrame* RecordSidePanel::buildFilterPanel() {
  const SideDesign& d = kDesigns[SideIndex(m_side)];
  auto* panel = new QFrame(this);
  panel->setObjectName(QString::fromLatin1(d.filterPanel));
  panel->setFrameShape(QFrame::StyledPanel);
  auto* grid = new QGridLayout(panel);
  grid->setContentsMargins(3, 2, 3, 2);
  grid->setHorizontalSpacing(2);
  grid->setVerticalSpacing(1);
  m_filterButton = NamedButton(d.filterButton, QStringLiteral("Filtering"), panel);
  m_filterButton->setIcon(FoldIcon(true));
  m_inputBox = new QCheckBox(QStringLiteral("Input Signal"), panel);
  m_inputBox->setObjectName(QString::fromLatin1(d.inputBox));
  m_inputBox->setChecked(true);
  m_filteredBox = new QCheckBox(QStringLiteral("Filtered Signal"), panel);
  m_filteredBox->setObjectName(QString::fromLatin1(d.filteredBox));
  grid->addWidget(m_filterButton, 0, 0, 1, 3);
  grid->addWidget(m_inputBox, 1, 0, 1, 3);
  grid->addWidget(m_filteredBox, 2, 0, 1, 3);
  const QString letters[3] = {QStringLiteral("E"), QStringLiteral("N"), QStringLiteral("М")};
  for (int i = 0; i < 3; ++i) {
    auto* button = new QToolButton(panel);
    button->setObjectName(QString::fromLatin1(d.letters[i]));
    button->setText(letters[i]);
    button->setToolTip(QString::fromLatin1(BandWorkspace::kPresets[i].hint));
    button->setFixedSize(26, 22);
    m_letters[i] = button;
    grid->addWidget(button, 3, i);
  }
  grid->setRowStretch(4, 1);
  panel->setFixedWidth(128);
  return panel;
}

double RecordSidePanel::lowHz() const { return m_strip->lowHz(); }
double RecordSidePanel::highHz() const { return m_strip->highHz(); }
QString RecordSidePanel::lowText() const { return m_lowEdit->text(); }
QString RecordSidePanel::highText() const { return m_highEdit->text(); }

bool RecordSidePanel::noBandChosen() const {
  return m_lowEdit->text() == QStringLiteral("0") && m_highEdit->text() == NoBandHighText(m_side);
}

void RecordSidePanel::setBand(double lowHz, double highHz) {
  m_strip->setBand(lowHz, highHz);
  m_lowEdit->setText(FormatDecimal(lowHz));
  m_highEdit->setText(FormatDecimal(highHz));
}

bool RecordSidePanel::inputTicked() const { return m_inputBox->isChecked(); }
bool RecordSidePanel::filteredTicked() const { return m_filteredBox->isChecked(); }

void RecordSidePanel::showRecord(const SideView& view) {
  m_filteredBox->setChecked(view.filterTicked);
  m_chart->setPoints(m_measured, view.measured.x, view.measured.y, false);
  m_measured->setVisible(m_inputBox->isChecked() && !view.measured.empty());
  m_chart->setPoints(m_filtered, view.filtered.x, view.filtered.y, false);
  m_filtered->setVisible(view.filterTicked && !view.filtered.empty());
  keepOneCurveShown();
  m_chart->fitToData();
}

void RecordSidePanel::setRecordColour(const QColor& colour) {
  m_measured->setColor(colour);
  m_chart->setTitleColor(colour);
}

void RecordSidePanel::keepOneCurveShown() {
  // With the filtered curve unticked the input curve is shown, so that one of the two always is.
  if (!m_filteredBox->isChecked() && !m_inputBox->isChecked()) {
    m_inputBox->setChecked(true);
    m_measured->setVisible(true);
  }
}

void RecordSidePanel::onBoxClicked(bool filteredBox) {
  // At least one of the two curves stays shown.
  if (!m_inputBox->isChecked() && !m_filteredBox->isChecked()) {
    (filteredBox ? m_inputBox : m_filteredBox)->setChecked(true);
  }
  m_measured->setVisible(m_inputBox->isChecked());
  m_filtered->setVisible(m_filteredBox->isChecked());
  if (m_points) m_points->setVisible(false);
  emit filteredTickChanged(m_filteredBox->isChecked());
}

void RecordSidePanel::toggleFilterPanel() {
  m_collapsed = !m_collapsed;
  for (QToolButton* letter : m_letters) letter->setVisible(!m_collapsed);
  m_filterButton->setIcon(FoldIcon(!m_collapsed));
  if (!m_collapsed) return;
  m_filteredBox->setChecked(false);
  m_filtered->setVisible(false);
  keepOneCurveShown();
  emit filteredTickChanged(false);
}

void RecordSidePanel::onEditEnter(QObject* edit) {
  if (m_highEdit->text().isEmpty()) return;
  auto* typed = static_cast<QLineEdit*>(edit);
  bool ok = false;
  const double value = ParseDecimal(typed->text(), &ok);
  if (!ok) {
    emit numberRefused(typed->text());
    return;
  }
  if (typed == m_lowEdit) {
    m_strip->setBand(value, m_strip->highHz());
  } else {
    m_strip->setBand(m_strip->lowHz(), value);
  }
  emit bandChosen();
}

void RecordSidePanel::onStripDoubleClicked() {
  m_strip->setBand(0.0, 2.0);
  m_lowEdit->setText(QStringLiteral("0"));
  m_highEdit->setText(QStringLiteral("2"));
  // The blood-flow strip's double click also takes the filtered curve away.
  if (m_side == Side::BloodFlow) {
    m_filtered->setVisible(false);
    m_filteredBox->setChecked(false);
    emit filteredTickChanged(false);
  }
}

void RecordSidePanel::hideBandScales() {
  m_strip->hide();
  m_lowEdit->hide();
  m_highEdit->hide();
  for (QToolButton* letter : m_letters) letter->hide();
}

void RecordSidePanel::showBandScales() {
  m_strip->show();
  m_lowEdit->show();
  m_highEdit->show();
  for (QToolButton* letter : m_letters) letter->setVisible(!m_collapsed);
}

}  // namespace kelvora
