#include "charts/fourier_bars_chart.h"

#include <QLineSeries>
#include <QLogValueAxis>
#include <QValueAxis>
#include <algorithm>
#include <cmath>

namespace kelvora {

namespace {

constexpr double kLogMinimumHz = 0.0001;
constexpr double kLogMaximumHz = 0.1;
constexpr double kLinearMaximumHz = 2.0;

}  // namespace

SpectrumChart::SpectrumChart(const QString& objectName, const QString& seriesName, QWidget* parent)
    : QChartView(parent) {
  setObjectName(objectName);
  auto* c = new QChart();
  c->setObjectName(objectName + QStringLiteral(".chart"));
  c->legend()->hide();
  c->setAnimationOptions(QChart::NoAnimation);
  c->setMargins(QMargins(4, 2, 4, 2));
  c->setBackgroundRoundness(0);
  setChart(c);
  setRenderHint(QPainter::Antialiasing, false);
  setMinimumSize(60, 120);

  m_series = new QLineSeries(c);
  m_series->setObjectName(seriesName);
  m_series->setName(seriesName);
  m_series->setPen(QPen(QColor(0x20, 0x40, 0xc0), 1));
  c->addSeries(m_series);

  m_linearX = new QValueAxis(c);
  m_linearX->setLabelFormat(QStringLiteral("%.4g"));
  m_linearX->setTitleText(QStringLiteral("f, Hz"));
  m_logX = new QLogValueAxis(c);
  m_logX->setBase(10.0);
  m_logX->setLabelFormat(QStringLiteral("%.4g"));
  m_logX->setTitleText(QStringLiteral("f, Hz"));
  m_axisY = new QValueAxis(c);
  m_axisY->setLabelFormat(QStringLiteral("%.3g"));
  c->addAxis(m_linearX, Qt::AlignBottom);
  c->addAxis(m_axisY, Qt::AlignLeft);
  m_series->attachAxis(m_linearX);
  m_series->attachAxis(m_axisY);
  m_linearX->setTickType(QValueAxis::TicksDynamic);
  m_linearX->setTickAnchor(0.0);
  m_linearX->setTickInterval(0.2);
  m_linearX->setRange(0.0, kLinearMaximumHz);
  m_logX->setRange(kLogMinimumHz, kLogMaximumHz);
  m_axisY->setRange(0.0, 1.0);
}

void SpectrumChart::setBars(std::vector<SpectrumBar> bars) {
  bars.erase(
      std::remove_if(bars.begin(), bars.end(),
                     [](const SpectrumBar& b) { return !std::isfinite(b.frequencyHz) || !std::isfinite(b.height); }),
      bars.end());
  m_bars = std::move(bars);
  double top = 0.0;
  for (const SpectrumBar& b : m_bars) top = std::max(top, b.height);
  m_axisY->setRange(0.0, top > 0.0 ? top * 1.05 : 1.0);
  redraw();
}

QAbstractAxis* SpectrumChart::frequencyAxis() const {
  return m_log ? static_cast<QAbstractAxis*>(m_logX) : static_cast<QAbstractAxis*>(m_linearX);
}

void SpectrumChart::setLogarithmic(bool on) {
  QChart* c = chart();
  QAbstractAxis* old = frequencyAxis();
  const QString title = old->titleText();
  if (on != m_log) {
    m_series->detachAxis(old);
    c->removeAxis(old);
    m_log = on;
    QAbstractAxis* now = frequencyAxis();
    now->setTitleText(title);
    c->addAxis(now, Qt::AlignBottom);
    m_series->attachAxis(now);
  }
  if (m_log) {
    m_logX->setRange(kLogMinimumHz, kLogMaximumHz);
  } else {
    m_linearX->setTickInterval(0.2);
    m_linearX->setRange(0.0, kLinearMaximumHz);
  }
  redraw();
}

void SpectrumChart::setAxisMaximum(double hz) {
  if (!(hz > 0.0) || !std::isfinite(hz)) return;
  if (m_log) {
    if (hz <= kLogMinimumHz) return;
    m_logX->setMax(hz);
  } else {
    m_linearX->setMax(hz);
  }
  redraw();
}

double SpectrumChart::axisMinimum() const { return m_log ? m_logX->min() : m_linearX->min(); }

double SpectrumChart::axisMaximum() const { return m_log ? m_logX->max() : m_linearX->max(); }

void SpectrumChart::resizeEvent(QResizeEvent* event) {
  QChartView::resizeEvent(event);
  redraw();
}

void SpectrumChart::redraw() {
  const double lo = axisMinimum();
  const double hi = axisMaximum();
  const int columns = std::max(50, static_cast<int>(chart()->plotArea().width()));
  // Position of a frequency across the plot, 0 .. 1, in the axis' own scale.
  auto fraction = [&](double f) {
    if (m_log) return (std::log10(f) - std::log10(lo)) / (std::log10(hi) - std::log10(lo));
    return (f - lo) / (hi - lo);
  };
  // The tallest visible bar of every pixel column.
  std::vector<int> tallest(static_cast<size_t>(columns), -1);
  for (size_t i = 0; i < m_bars.size(); ++i) {
    const double f = m_bars[i].frequencyHz;
    if (f < lo || f > hi || (m_log && f <= 0.0)) continue;
    const int column = std::clamp(static_cast<int>(fraction(f) * columns), 0, columns - 1);
    int& best = tallest[static_cast<size_t>(column)];
    if (best < 0 || m_bars[i].height > m_bars[static_cast<size_t>(best)].height) best = static_cast<int>(i);
  }
  QList<QPointF> points;
  points.reserve(columns * 3);
  for (int index : tallest) {
    if (index < 0) continue;
    const SpectrumBar& b = m_bars[static_cast<size_t>(index)];
    points.append(QPointF(b.frequencyHz, 0.0));
    points.append(QPointF(b.frequencyHz, b.height));
    points.append(QPointF(b.frequencyHz, 0.0));
  }
  m_series->replace(points);
}

}  // namespace kelvora
