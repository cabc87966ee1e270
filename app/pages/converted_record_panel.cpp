#include "pages/converted_record_panel.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

#include "shell/language_tables.h"
#include "shell/named_controls.h"
#include "charts/plot_view.h"
#include "pages/record_side_panel.h"

namespace kelvora {

namespace {

struct Design {
  const char* panel;
  const char* chart;
  const char* title;
  const char* leftTitle;
  const char* curve;
  const char* overlay;
  const char* output;
  const char* outputText;
  const char* correlation;
  const char* save;
  const char* saveText;
  const char* plot;
};

// BF*, converted from T; T*, converted from BF.
constexpr Design kDesigns[2] = {
    {"Panel3", "Chart3", "BloodFlow*", "BF, mm^3/sec", "Series3", "Series5", "BtnOutputBF", "Output BF", "LBCorrel1",
     "BtnSaveBF", "BF*", "BtnPlotBF"},
    {"Panel4", "Chart4", "Temperature*", "T, °C", "Series4", "Series6", "BtnOutputT", "Output T", "LBCorrel2",
     "BtnSaveT", "T*", "BtnPlotT"}};

}  // namespace

ConvertedRecordPanel::ConvertedRecordPanel(Side side, QWidget* parent) : QWidget(parent), m_side(side) {
  const Design& d = kDesigns[SideIndex(side)];
  setObjectName(QString::fromLatin1(d.panel));
  auto* v = new QVBoxLayout(this);
  v->setContentsMargins(0, 0, 0, 0);
  v->setSpacing(2);
  m_chart = new PlotView(QString::fromLatin1(d.chart), this);
  m_chart->setTitle(QString::fromLatin1(d.title));
  m_chart->setBottomTitle(QStringLiteral("t, min"));
  m_chart->setLeftTitle(QString::fromUtf8(d.leftTitle));
  m_curve = m_chart->addLineSeries(QString::fromLatin1(d.curve), StartRecordColour(side));
  m_overlay = m_chart->addLineSeries(QString::fromLatin1(d.overlay), StartRecordColour(OtherSide(side)));
  m_output = NamedButton(d.output, QString::fromLatin1(d.outputText), this);
  m_correlation = NamedLabel(d.correlation, QString(), this);
  QFont bold = m_correlation->font();
  bold.setBold(true);
  m_correlation->setFont(bold);
  m_save = NamedButton(d.save, QString::fromLatin1(d.saveText), this);
  m_plot = NamedButton(d.plot, QStringLiteral("Plot"), this);
  auto* buttons = new QHBoxLayout;
  buttons->setSpacing(3);
  buttons->addWidget(m_output);
  buttons->addWidget(m_correlation, 1);
  buttons->addWidget(m_save);
  buttons->addWidget(m_plot);
  v->addWidget(m_chart, 1);
  v->addLayout(buttons);
  connect(m_output, &QPushButton::clicked, this, &ConvertedRecordPanel::outputPressed);
  connect(m_save, &QPushButton::clicked, this, &ConvertedRecordPanel::savePressed);
  connect(m_plot, &QPushButton::clicked, this, &ConvertedRecordPanel::plotPressed);
}

void ConvertedRecordPanel::setColours(const QColor& from, const QColor& other) {
  m_curve->setColor(from);
  m_overlay->setColor(other);
  m_chart->setTitleColor(other);
}

void ConvertedRecordPanel::showConverted(const ConvertedView& view, Language language, char separator) {
  m_save->setEnabled(view.ready);
  m_plot->setEnabled(view.ready);
  m_output->setEnabled(view.outputEnabled);
  m_correlation->setText(view.correlation ? CorrelationLabel(language, *view.correlation, separator) : QString());
  m_chart->setPoints(m_curve, view.curve.x, view.curve.y, false);
  m_curve->setVisible(!view.curve.empty());
  m_chart->setPoints(m_overlay, view.overlay.x, view.overlay.y, false);
  m_overlay->setVisible(!view.overlay.empty());
  m_chart->fitToData();
  m_chart->setLeftTitle(ConvertedAxisTitle(m_side, view.axis, language));
  showOutdated(view.outdated, language);
}

void ConvertedRecordPanel::showOutdated(bool outdated, Language language) {
  m_outdated = outdated;
  m_chart->setTitle(ConvertedChartTitle(m_side, language, outdated));
}

void ConvertedRecordPanel::clearCorrelation() { m_correlation->clear(); }

}  // namespace kelvora
