#include "pages/response_panel.h"

#include <QAreaSeries>
#include <QHeaderView>
#include <QLabel>
#include <QLegendMarker>
#include <QLineSeries>
#include <QScatterSeries>
#include <QTableWidget>
#include <QVBoxLayout>
#include <algorithm>
#include <cmath>

#include "analysis/protocol_segments.h"
#include "charts/plot_view.h"
#include "pages/marker_words.h"
#include "shell/number_text.h"

namespace kelvora {

namespace {

using M = MarkerWord;
const QString kPrefix = QStringLiteral("SeriesResponse");
// The area is drawn with at most this many points per occlusion.
constexpr long long kAreaPoints = 600;

void Attach(PlotView* chart, QAbstractSeries* series) {
  chart->chart()->addSeries(series);
  series->attachAxis(chart->axisX());
  series->attachAxis(chart->axisY());
  for (QLegendMarker* marker : chart->chart()->legend()->markers(series)) marker->setVisible(false);
}

}  // namespace

ResponsePanel::ResponsePanel(PlotView* chart, QWidget* parent) : QWidget(parent), m_chart(chart) {
  setObjectName(QStringLiteral("PanelAnalysisResponse"));
  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(2, 2, 2, 2);
  m_table = new QTableWidget(kRowCount, 0, this);
  m_table->setObjectName(QStringLiteral("AnalysisResponseTable"));
  m_table->setEditTriggers(QAbstractItemView::NoEditTriggers);
  m_table->horizontalHeader()->setSectionResizeMode(QHeaderView::ResizeToContents);
  m_table->verticalHeader()->setSectionResizeMode(QHeaderView::ResizeToContents);
  layout->addWidget(m_table, 1);
  m_notes = new QLabel(this);
  m_notes->setObjectName(QStringLiteral("LabelAnalysisResponseNotes"));
  m_notes->setWordWrap(true);
  m_notes->setAlignment(Qt::AlignLeft | Qt::AlignTop);
  m_notes->setTextInteractionFlags(Qt::TextSelectableByMouse);
  layout->addWidget(m_notes, 0);
  clear(Language::English);
}

void ResponsePanel::clear(Language language) {
  m_flux.reset();
  m_porh = PorhOutcome{};
  m_heating.clear();
  m_withMaximum = false;
  m_language = language;
  fill();
  draw();
}

void ResponsePanel::setRecord(std::shared_ptr<const std::vector<double>> flux, double rateHz,
                              const std::vector<Segment>& segments, std::function<double(double)> yOf,
                              Language language) {
  m_flux = std::move(flux);
  m_rateHz = rateHz;
  m_yOf = std::move(yOf);
  m_language = language;
  m_porh = PorhOutcome{};
  m_heating.clear();
  if (m_flux && !m_flux->empty() && rateHz > 0.0) {
    std::vector<TimeInterval> occlusions;
    std::optional<TimeInterval> maximum;
    for (const Segment& segment : segments)
      if (!maximum && IsMaximumName(QString::fromStdString(segment.name))) maximum = TimeInterval{segment.startS, segment.endS};
    for (const Segment& segment : segments) {
      const QString name = QString::fromStdString(segment.name);
      if (IsOcclusionName(name)) occlusions.push_back({segment.startS, segment.endS});
      if (IsHeatingName(name))
        m_heating.push_back(MeasureHeating(*m_flux, rateHz, {segment.startS, segment.endS}, std::nullopt, maximum));
    }
    m_withMaximum = maximum.has_value();
    if (!occlusions.empty()) m_porh = MeasurePorh(*m_flux, rateHz, occlusions);
    std::erase_if(m_heating, [](const HeatingOutcome& h) { return !h.ok(); });
  }
  fill();
  draw();
}

void ResponsePanel::retranslate(Language language) {
  m_language = language;
  fill();
}

void ResponsePanel::fill() {
  const Language language = m_language;
  constexpr M kRowWords[kRowCount] = {M::kRowInterval, M::kRowBaseline, M::kRowBiologicalZero, M::kRowPeak,
                                      M::kRowTimeToPeak, M::kRowPeakPercent, M::kRowPeakMinusZero, M::kRowArea,
                                      M::kRowRepayment, M::kRowT50, M::kRowInitialPeak, M::kRowNadir, M::kRowPlateau,
                                      M::kRowInitialPeakPercentMax, M::kRowPlateauPercentMax};
  QStringList rows;
  for (M word : kRowWords) rows << MarkerText(word, language);
  const std::vector<PorhMeasures>& porh = m_porh.ok() ? m_porh.rows : std::vector<PorhMeasures>{};
  const int columns = static_cast<int>(porh.size() + m_heating.size());
  m_table->clear();
  m_table->setColumnCount(columns);
  m_table->setRowCount(kRowCount);
  m_table->setVerticalHeaderLabels(rows);
  // The heating rows only when there is a heating phase, the occlusion rows only when there is an occlusion.
  for (int r = 0; r < kRowCount; ++r) {
    const bool heatingRow = r >= kInitialPeak;
    const bool percentOfMax = r == kInitialPeakPercentMax || r == kPlateauPercentMax;
    // The interval and the baseline belong to both kinds of column.
    const bool both = r == kInterval || r == kBaseline;
    m_table->setRowHidden(r, both ? porh.empty() && m_heating.empty()
                                  : heatingRow ? m_heating.empty() || (percentOfMax && !m_withMaximum)
                                               : porh.empty());
  }
  QStringList headers, notes;
  auto put = [&](int row, int column, const QString& text) {
    auto* item = new QTableWidgetItem(text);
    item->setTextAlignment(Qt::AlignRight | Qt::AlignVCenter);
    m_table->setItem(row, column, item);
  };
  auto noteLine = [&](const QString& head, const std::vector<MeasureNote>& list) {
    QStringList texts;
    for (MeasureNote note : list) texts << MeasureNoteText(note, language);
    if (!texts.isEmpty()) notes << head + QStringLiteral(": ") + texts.join(QStringLiteral("; "));
  };
  for (int c = 0; c < static_cast<int>(porh.size()); ++c) {
    const PorhMeasures& m = porh[static_cast<std::size_t>(c)];
    const QString head = MarkerText(M::kOcclusionColumn, language).arg(c + 1);
    headers << head;
    put(kInterval, c, FormatDecimal(m.occlusion.startS, 6) + QStringLiteral(" - ") + FormatDecimal(m.occlusion.endS, 6));
    put(kBaseline, c, FormatOptional(m.baseline));
    put(kBiologicalZero, c, FormatOptional(m.biologicalZero));
    put(kPeak, c, FormatOptional(m.peak));
    put(kTimeToPeak, c, FormatOptional(m.timeToPeakS));
    put(kPeakPercent, c, FormatOptional(m.peakPercentBaseline, 5));
    put(kPeakMinusZero, c, FormatOptional(m.peakMinusBiologicalZero));
    put(kArea, c, FormatOptional(m.hyperaemicArea));
    put(kRepayment, c, FormatOptional(m.repayment, 4));
    put(kT50, c, FormatOptional(m.t50S));
    noteLine(head, m.notes);
  }
  for (std::size_t h = 0; h < m_heating.size(); ++h) {
    const int c = static_cast<int>(porh.size() + h);
    const HeatingMeasures& m = m_heating[h].row;
    const QString head = MarkerText(M::kHeatingColumn, language).arg(h + 1);
    headers << head;
    put(kInterval, c, FormatDecimal(m.heating.startS, 6) + QStringLiteral(" - ") + FormatDecimal(m.heating.endS, 6));
    put(kBaseline, c, FormatOptional(m.baseline));
    put(kInitialPeak, c, FormatOptional(m.initialPeak));
    put(kNadir, c, FormatOptional(m.nadir));
    put(kPlateau, c, FormatOptional(m.plateau));
    put(kInitialPeakPercentMax, c, FormatOptional(m.initialPeakPercentMax, 5));
    put(kPlateauPercentMax, c, FormatOptional(m.plateauPercentMax, 5));
    noteLine(head, m.notes);
  }
  m_table->setHorizontalHeaderLabels(headers);
  if (columns == 0) notes << MarkerText(M::kNoPhases, language);
  m_notes->setText(notes.join(QLatin1Char('\n')));
}

void ResponsePanel::draw() {
  for (QAbstractSeries* series : m_chart->chart()->series()) {
    if (series->objectName().startsWith(kPrefix)) {
      m_chart->chart()->removeSeries(series);
      delete series;
    }
  }
  if (!m_flux || !m_porh.ok() || m_porh.rows.empty() || !m_yOf) return;
  const std::vector<double>& x = *m_flux;
  const double fs = m_rateHz;
  const long long count = static_cast<long long>(x.size());
  const std::vector<double> s = CentredMovingMean(x, fs);
  auto* peaks = new QScatterSeries(m_chart->chart());
  peaks->setObjectName(kPrefix + QStringLiteral("Peak"));
  peaks->setColor(QColor(0xd0, 0x20, 0x20));
  peaks->setMarkerSize(9.0);
  auto* halves = new QScatterSeries(m_chart->chart());
  halves->setObjectName(kPrefix + QStringLiteral("T50"));
  halves->setColor(QColor(0x10, 0x90, 0x30));
  halves->setMarkerShape(QScatterSeries::MarkerShapeRectangle);
  halves->setMarkerSize(8.0);
  const double durationS = static_cast<double>(count) / fs;
  for (std::size_t i = 0; i < m_porh.rows.size(); ++i) {
    const PorhMeasures& m = m_porh.rows[i];
    if (!m.peak || !m.timeToPeakS || !m.baseline) continue;
    const double peakS = m.occlusion.endS + *m.timeToPeakS;
    peaks->append(QPointF(peakS / 60.0, m_yOf(*m.peak)));
    if (m.t50S) halves->append(QPointF((peakS + *m.t50S) / 60.0, m_yOf(*m.baseline + (*m.peak - *m.baseline) / 2.0)));
    // The hyperaemic area: the flux above the baseline from the occlusion's end until s is back at it after
    // the peak (or the window's end), the window cut at the next occlusion as the measures cut it.
    double windowEnd = std::min(m.occlusion.endS + kResponseWindowSeconds, durationS);
    if (i + 1 < m_porh.rows.size()) windowEnd = std::min(windowEnd, m_porh.rows[i + 1].occlusion.startS);
    const SampleRange window = SamplesInInterval(m.occlusion.endS, windowEnd, fs, count);
    if (window.empty()) continue;
    const long long peakSample = std::clamp<long long>(std::llround(peakS * fs), window.first, window.last);
    long long back = window.last + 1;
    for (long long n = peakSample + 1; n <= window.last; ++n) {
      if (s[static_cast<std::size_t>(n)] <= *m.baseline) {
        back = n;
        break;
      }
    }
    const long long step = std::max<long long>(1, (back - window.first) / kAreaPoints);
    auto* upper = new QLineSeries(m_chart->chart());
    auto* lower = new QLineSeries(m_chart->chart());
    for (long long n = window.first; n < back; n += step) {
      const double t = static_cast<double>(n) / fs / 60.0;
      upper->append(QPointF(t, m_yOf(std::max(x[static_cast<std::size_t>(n)], *m.baseline))));
      lower->append(QPointF(t, m_yOf(*m.baseline)));
    }
    auto* area = new QAreaSeries(upper, lower);
    area->setObjectName(kPrefix + QStringLiteral("Area%1").arg(i));
    area->setPen(Qt::NoPen);
    area->setBrush(QColor(0xe0, 0x40, 0x40, 70));
    Attach(m_chart, area);
  }
  Attach(m_chart, peaks);
  Attach(m_chart, halves);
}

}  // namespace kelvora
