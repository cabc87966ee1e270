#include "charts/plot_view.h"

#include <QFileInfo>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QSaveFile>
#include <QSvgGenerator>
#include <QWheelEvent>
#include <algorithm>
#include <cmath>
#include <limits>

#include "charts/min_max_decimation.h"

namespace kelvora {

namespace {

// Below this many visible samples per pixel column pair the samples are handed over unchanged.
constexpr qsizetype kPlainLimitPerPixel = 4;

}  // namespace

PlotView::PlotView(const QString& objectName, QWidget* parent) : QChartView(parent) {
  setObjectName(objectName);
  auto* c = new QChart();
  c->setObjectName(objectName + QStringLiteral(".chart"));
  c->legend()->hide();
  c->setAnimationOptions(QChart::NoAnimation);
  c->setMargins(QMargins(4, 2, 4, 2));
  c->setBackgroundRoundness(0);
  setChart(c);
  m_axisX = new QValueAxis(c);
  m_axisY = new QValueAxis(c);
  m_axisX->setLabelFormat(QStringLiteral("%.4g"));
  m_axisY->setLabelFormat(QStringLiteral("%.4g"));
  // Compact fonts so that the axis titles fit the short charts of a 618-pixel-high window.
  QFont titleFont = c->titleFont();
  titleFont.setPointSizeF(9.0);
  c->setTitleFont(titleFont);
  for (QValueAxis* axis : {m_axisX, m_axisY}) {
    QFont labels = axis->labelsFont();
    labels.setPointSizeF(7.5);
    axis->setLabelsFont(labels);
    QFont title = axis->titleFont();
    title.setPointSizeF(7.5);
    title.setBold(false);
    axis->setTitleFont(title);
  }
  c->addAxis(m_axisX, Qt::AlignBottom);
  c->addAxis(m_axisY, Qt::AlignLeft);
  setRenderHint(QPainter::Antialiasing, false);
  setRubberBand(QChartView::HorizontalRubberBand);
  setMinimumSize(160, 120);
  m_refreshTimer.setSingleShot(true);
  m_refreshTimer.setInterval(15);
  connect(&m_refreshTimer, &QTimer::timeout, this, &PlotView::refreshNow);
  connect(m_axisX, &QValueAxis::rangeChanged, this, [this] {
    if (!m_fitting) scheduleRefresh();
  });
}

void PlotView::setTitle(const QString& title) { chart()->setTitle(title); }

QString PlotView::title() const { return chart()->title(); }

void PlotView::setTitleColor(const QColor& colour) { chart()->setTitleBrush(colour); }

void PlotView::attach(QXYSeries* series) {
  chart()->addSeries(series);
  series->attachAxis(m_axisX);
  series->attachAxis(m_axisY);
  m_data.insert(series, Data{});
}

QLineSeries* PlotView::addLineSeries(const QString& name, const QColor& colour, qreal penWidth) {
  auto* s = new QLineSeries(chart());
  s->setObjectName(name);
  s->setName(name);
  QPen pen(colour);
  pen.setWidthF(penWidth);
  s->setPen(pen);
  attach(s);
  return s;
}

QScatterSeries* PlotView::addPointSeries(const QString& name, const QColor& colour, qreal markerSize) {
  auto* s = new QScatterSeries(chart());
  s->setObjectName(name);
  s->setName(name);
  s->setColor(colour);
  s->setBorderColor(colour);
  s->setMarkerSize(markerSize);
  attach(s);
  return s;
}

QXYSeries* PlotView::series(const QString& name) const {
  for (QAbstractSeries* s : chart()->series()) {
    if (s->objectName() == name) return qobject_cast<QXYSeries*>(s);
  }
  return nullptr;
}

void PlotView::setUniformData(QXYSeries* series, std::vector<double> values, double x0, double dx, bool fit) {
  if (!series || !m_data.contains(series)) return;
  Data data;
  data.ys = std::move(values);
  data.x0 = x0;
  data.dx = dx > 0.0 ? dx : 1.0;
  m_data[series] = std::move(data);
  if (fit) fitToData();
  refreshSeries(series, m_data[series]);
}

void PlotView::setPoints(QXYSeries* series, std::vector<double> xs, std::vector<double> ys, bool fit) {
  if (!series || !m_data.contains(series)) return;
  const size_t n = std::min(xs.size(), ys.size());
  xs.resize(n);
  ys.resize(n);
  if (!std::is_sorted(xs.begin(), xs.end())) {
    std::vector<size_t> order(n);
    for (size_t i = 0; i < n; ++i) order[i] = i;
    std::stable_sort(order.begin(), order.end(), [&](size_t a, size_t b) { return xs[a] < xs[b]; });
    std::vector<double> sx(n), sy(n);
    for (size_t i = 0; i < n; ++i) {
      sx[i] = xs[order[i]];
      sy[i] = ys[order[i]];
    }
    xs.swap(sx);
    ys.swap(sy);
  }
  Data data;
  data.xs = std::move(xs);
  data.ys = std::move(ys);
  m_data[series] = std::move(data);
  if (fit) fitToData();
  refreshSeries(series, m_data[series]);
}

void PlotView::clearSeries(QXYSeries* series) {
  if (!series || !m_data.contains(series)) return;
  m_data[series] = Data{};
  series->clear();
}

void PlotView::clearAll() {
  for (QAbstractSeries* s : chart()->series()) clearSeries(qobject_cast<QXYSeries*>(s));
}

qsizetype PlotView::sourcePointCount(const QXYSeries* series) const {
  const auto it = m_data.constFind(series);
  return it == m_data.constEnd() ? 0 : it->size();
}

qsizetype PlotView::shownPointCount(const QXYSeries* series) const { return series ? series->count() : 0; }

std::vector<double> PlotView::sourceValues(const QXYSeries* series) const {
  const auto it = m_data.constFind(series);
  return it == m_data.constEnd() ? std::vector<double>{} : it->ys;
}

void PlotView::fitToData() {
  double xMin = std::numeric_limits<double>::infinity();
  double xMax = -xMin;
  double yMin = xMin;
  double yMax = -xMin;
  for (auto it = m_data.constBegin(); it != m_data.constEnd(); ++it) {
    const Data& d = it.value();
    if (d.ys.empty() || !it.key()->isVisible()) continue;
    xMin = std::min(xMin, d.x(0));
    xMax = std::max(xMax, d.x(d.size() - 1));
    for (const double y : d.ys) {
      if (!std::isfinite(y)) continue;
      yMin = std::min(yMin, y);
      yMax = std::max(yMax, y);
    }
  }
  if (!std::isfinite(xMin) || !std::isfinite(yMin)) return;
  if (xMax <= xMin) xMax = xMin + 1.0;
  double margin = (yMax - yMin) * 0.05;
  if (margin <= 0.0) margin = std::max(std::abs(yMax) * 0.05, 0.5);
  m_fitting = true;
  m_axisX->setRange(xMin, xMax);
  m_axisY->setRange(yMin - margin, yMax + margin);
  m_fitting = false;
  scheduleRefresh();
}

void PlotView::scheduleRefresh() { m_refreshTimer.start(); }

namespace {

// A tick interval of 1, 2 or 5 times a power of ten giving about `count` intervals over `span`.
double NiceInterval(double span, int count) {
  if (!(span > 0.0) || !std::isfinite(span)) return 1.0;
  const double raw = span / count;
  const double power = std::pow(10.0, std::floor(std::log10(raw)));
  const double fraction = raw / power;
  const double nice = fraction < 1.5 ? 1.0 : fraction < 3.5 ? 2.0 : fraction < 7.5 ? 5.0 : 10.0;
  return nice * power;
}

void PlaceTicks(QValueAxis* axis, int count) {
  const double interval = NiceInterval(axis->max() - axis->min(), count);
  axis->setTickType(QValueAxis::TicksDynamic);
  axis->setTickAnchor(std::ceil(axis->min() / interval) * interval);
  axis->setTickInterval(interval);
}

}  // namespace

void PlotView::refreshNow() {
  m_refreshTimer.stop();
  PlaceTicks(m_axisX, std::max(2, static_cast<int>(chart()->plotArea().width() / 90)));
  PlaceTicks(m_axisY, std::max(2, static_cast<int>(chart()->plotArea().height() / 40)));
  for (auto it = m_data.constBegin(); it != m_data.constEnd(); ++it) {
    refreshSeries(const_cast<QXYSeries*>(it.key()), it.value());
  }
}

qsizetype PlotView::firstIndexAtOrAfter(const Data& data, double x) const {
  const qsizetype n = data.size();
  if (data.xs.empty()) {
    const double i = std::ceil((x - data.x0) / data.dx);
    if (i <= 0.0) return 0;
    if (i >= static_cast<double>(n)) return n;
    return static_cast<qsizetype>(i);
  }
  return std::lower_bound(data.xs.begin(), data.xs.end(), x) - data.xs.begin();
}

void PlotView::refreshSeries(QXYSeries* series, const Data& data) {
  QList<QPointF> points;
  const qsizetype n = data.size();
  if (n == 0) {
    series->clear();
    return;
  }
  // One sample beyond each end of the visible range keeps the line running to the plot's edges.
  qsizetype first = std::max<qsizetype>(firstIndexAtOrAfter(data, m_axisX->min()) - 1, 0);
  qsizetype last = std::min<qsizetype>(firstIndexAtOrAfter(data, m_axisX->max()) + 1, n - 1);
  if (last < first) last = first;
  const qsizetype visible = last - first + 1;
  const qsizetype pixels = std::max<qsizetype>(static_cast<qsizetype>(chart()->plotArea().width()), 100);
  if (visible <= kPlainLimitPerPixel * pixels || qobject_cast<QScatterSeries*>(series)) {
    points.reserve(visible);
    for (qsizetype i = first; i <= last; ++i) {
      const double y = data.ys[static_cast<size_t>(i)];
      if (std::isfinite(y)) points.append(QPointF(data.x(i), y));
    }
  } else {
    const std::vector<std::size_t> picked = MinMaxDecimation(
        data.ys, static_cast<std::size_t>(first), static_cast<std::size_t>(last), static_cast<std::size_t>(pixels));
    points.reserve(static_cast<qsizetype>(picked.size()));
    for (const std::size_t i : picked) points.append(QPointF(data.x(static_cast<qsizetype>(i)), data.ys[i]));
  }
  series->replace(points);
}

bool PlotView::savePicture(const QString& path) {
  const QString suffix = QFileInfo(path).suffix().toUpper();
  if (suffix == QStringLiteral("SVG")) {
    // Vector drawing of the scene as shown, through the same all-or-nothing file.
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly)) return false;
    QSvgGenerator svg;
    svg.setOutputDevice(&file);
    svg.setSize(viewport()->size());
    svg.setViewBox(QRect(QPoint(0, 0), viewport()->size()));
    svg.setTitle(title());
    QPainter painter;
    if (!painter.begin(&svg)) {
      file.cancelWriting();
      return false;
    }
    painter.fillRect(QRect(QPoint(0, 0), viewport()->size()), Qt::white);
    render(&painter, QRectF(QPoint(0, 0), viewport()->size()), viewport()->rect());
    painter.end();
    return file.commit();
  }
  // The scene as shown, on white; the view's frame and the window colour around the chart are left out.
  QImage picture(viewport()->size(), QImage::Format_RGB32);
  picture.fill(Qt::white);
  QPainter painter(&picture);
  painter.setRenderHint(QPainter::Antialiasing);
  render(&painter, QRectF(picture.rect()), viewport()->rect());
  painter.end();
  // Through a temporary file that replaces the target only when complete: a failed save (full disk, folder
  // gone) leaves an existing picture intact.
  const QByteArray format = suffix.isEmpty() ? QByteArray("BMP") : suffix.toLatin1();
  QSaveFile file(path);
  if (!file.open(QIODevice::WriteOnly)) return false;
  if (!picture.save(&file, format.constData())) {
    file.cancelWriting();
    return false;
  }
  return file.commit();
}

void PlotView::setCornerWidget(QWidget* widget) {
  m_corner = widget;
  widget->setParent(this);
  widget->move(width() - widget->width() - 2, 2);
  widget->show();
}

void PlotView::resizeEvent(QResizeEvent* event) {
  QChartView::resizeEvent(event);
  if (m_corner) m_corner->move(width() - m_corner->width() - 2, 2);
  scheduleRefresh();
}

void PlotView::wheelEvent(QWheelEvent* event) {
  const double steps = event->angleDelta().y() / 120.0;
  if (steps == 0.0) return;
  const QRectF area = chart()->plotArea();
  const double fraction =
      area.width() > 0 ? std::clamp((event->position().x() - area.left()) / area.width(), 0.0, 1.0) : 0.5;
  const double lo = m_axisX->min();
  const double hi = m_axisX->max();
  const double centre = lo + fraction * (hi - lo);
  const double factor = std::pow(0.8, steps);
  m_axisX->setRange(centre - (centre - lo) * factor, centre + (hi - centre) * factor);
  event->accept();
}

void PlotView::mousePressEvent(QMouseEvent* event) {
  if (event->button() == Qt::MiddleButton || event->button() == Qt::RightButton) {
    m_panning = true;
    m_panOrigin = event->position();
    setCursor(Qt::ClosedHandCursor);
    event->accept();
    return;
  }
  QChartView::mousePressEvent(event);
}

void PlotView::mouseMoveEvent(QMouseEvent* event) {
  if (m_panning) {
    const QPointF delta = event->position() - m_panOrigin;
    m_panOrigin = event->position();
    chart()->scroll(-delta.x(), 0);
    event->accept();
    return;
  }
  QChartView::mouseMoveEvent(event);
}

void PlotView::mouseReleaseEvent(QMouseEvent* event) {
  if (m_panning) {
    m_panning = false;
    unsetCursor();
    event->accept();
    return;
  }
  QChartView::mouseReleaseEvent(event);
}

void PlotView::mouseDoubleClickEvent(QMouseEvent* event) {
  fitToData();
  event->accept();
}

void PlotView::keyPressEvent(QKeyEvent* event) {
  const double step = chart()->plotArea().width() / 10.0;
  switch (event->key()) {
    case Qt::Key_Left:
      chart()->scroll(-step, 0);
      break;
    case Qt::Key_Right:
      chart()->scroll(step, 0);
      break;
    case Qt::Key_Home:
      fitToData();
      break;
    default:
      QChartView::keyPressEvent(event);
      return;
  }
  event->accept();
}

}  // namespace kelvora
