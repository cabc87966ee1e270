#include "charts/log_frequency_chart.h"

#include <QAreaSeries>
#include <QLegendMarker>
#include <QLineSeries>
#include <QLogValueAxis>
#include <QScatterSeries>
#include <QValueAxis>
#include <algorithm>
#include <cmath>
#include <limits>

namespace kelvora {

namespace {

// Light fills that alternate between neighbouring bands.
const QColor kShades[] = {QColor(60, 120, 220, 38), QColor(230, 150, 40, 38)};

}  // namespace

LogFrequencyChart::LogFrequencyChart(const QString& objectName, QWidget* parent) : QChartView(parent) {
  setObjectName(objectName);
  auto* chart = new QChart;
  chart->setObjectName(objectName + QStringLiteral(".chart"));
  chart->setMargins(QMargins(4, 4, 4, 4));
  chart->legend()->setAlignment(Qt::AlignTop);
  setChart(chart);
  setRenderHint(QPainter::Antialiasing, true);
  m_axisX = new QLogValueAxis;
  m_axisX->setBase(10.0);
  m_axisX->setLabelFormat(QStringLiteral("%g"));
  m_axisX->setMinorTickCount(8);
  m_axisY = new QValueAxis;
  chart->addAxis(m_axisX, Qt::AlignBottom);
  chart->addAxis(m_axisY, Qt::AlignLeft);
  m_axisX->setRange(0.005, 2.0);
  m_axisY->setRange(0.0, 1.0);
}

void LogFrequencyChart::setTitle(const QString& title) { chart()->setTitle(title); }
void LogFrequencyChart::setBottomTitle(const QString& title) { m_axisX->setTitleText(title); }
void LogFrequencyChart::setLeftTitle(const QString& title) { m_axisY->setTitleText(title); }

void LogFrequencyChart::clearCurves() { chart()->removeAllSeries(); }

void LogFrequencyChart::setCurves(std::vector<Curve> curves, std::vector<Shade> shades, std::optional<double> yFloor,
                                  std::optional<double> yCeiling) {
  clearCurves();
  double xLow = std::numeric_limits<double>::infinity(), xHigh = -xLow;
  double yLow = xLow, yHigh = -xLow;
  std::vector<QXYSeries*> made;
  for (const Curve& curve : curves) {
    QXYSeries* series = nullptr;
    if (curve.points) {
      auto* scatter = new QScatterSeries;
      scatter->setMarkerSize(6.0);
      scatter->setBorderColor(curve.colour);
      series = scatter;
    } else {
      series = new QLineSeries;
      QPen pen(curve.colour, 1.6);
      if (curve.dashed) pen.setStyle(Qt::DashLine);
      series->setPen(pen);
    }
    series->setName(curve.name);
    series->setObjectName(curve.name);
    series->setColor(curve.colour);
    QList<QPointF> points;
    const std::size_t n = std::min(curve.frequenciesHz.size(), curve.values.size());
    for (std::size_t i = 0; i < n; ++i) {
      const double f = curve.frequenciesHz[i];
      if (!curve.values[i] || !(f > 0.0) || !std::isfinite(f) || !std::isfinite(*curve.values[i])) continue;
      const double v = *curve.values[i];
      points.append(QPointF(f, v));
      yLow = std::min(yLow, v);
      yHigh = std::max(yHigh, v);
    }
    for (double f : curve.frequenciesHz) {
      if (f > 0.0 && std::isfinite(f)) {
        xLow = std::min(xLow, f);
        xHigh = std::max(xHigh, f);
      }
    }
    series->replace(points);
    made.push_back(series);
  }
  if (!(xLow < xHigh)) {
    xLow = 0.005;
    xHigh = 2.0;
  }
  if (yFloor) yLow = std::min(*yFloor, std::isfinite(yLow) ? yLow : *yFloor);
  if (!std::isfinite(yLow) || !std::isfinite(yHigh)) {
    yLow = 0.0;
    yHigh = 1.0;
  }
  if (yHigh <= yLow) yHigh = yLow + 1.0;
  const double margin = 0.05 * (yHigh - yLow);
  m_axisX->setRange(xLow, xHigh);
  m_axisY->setRange(yFloor && yLow >= *yFloor ? yLow : yLow - margin, yHigh + margin);
  m_axisY->applyNiceNumbers();
  m_axisY->setTickCount(5);
  if (yCeiling && m_axisY->max() > *yCeiling) {
    m_axisY->setMax(*yCeiling);
    m_axisY->setTickCount(6);
  }
  const double top = m_axisY->max();
  const double bottom = m_axisY->min();

  // Shades first, so that the curves lie over them.
  int index = 0;
  for (const Shade& shade : shades) {
    const double lo = std::max(shade.lowHz, xLow), hi = std::min(shade.highHz, xHigh);
    if (!(lo < hi)) continue;
    auto* upper = new QLineSeries;
    auto* lower = new QLineSeries;
    upper->append({QPointF(lo, top), QPointF(hi, top)});
    lower->append({QPointF(lo, bottom), QPointF(hi, bottom)});
    auto* area = new QAreaSeries(upper, lower);
    area->setObjectName(QStringLiteral("shade%1").arg(index));
    area->setBrush(kShades[index % 2]);
    area->setPen(QPen(QColor(120, 120, 120, 90), 0.8));
    chart()->addSeries(area);
    area->attachAxis(m_axisX);
    area->attachAxis(m_axisY);
    for (QLegendMarker* marker : chart()->legend()->markers(area)) marker->setVisible(false);
    ++index;
  }
  for (QXYSeries* series : made) {
    chart()->addSeries(series);
    series->attachAxis(m_axisX);
    series->attachAxis(m_axisY);
  }
  chart()->legend()->setVisible(curves.size() > 1);
}

qsizetype LogFrequencyChart::curvePointCount(const QString& name) const {
  for (QAbstractSeries* series : chart()->series()) {
    if (series->objectName() == name) {
      if (auto* xy = qobject_cast<QXYSeries*>(series)) return xy->count();
    }
  }
  return -1;
}

}  // namespace kelvora
