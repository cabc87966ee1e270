#include "charts/scalogram_view.h"

#include "charts/marker_overlay.h"

#include <QMouseEvent>
#include <QPainter>
#include <QPainterPath>
#include <QToolTip>
#include <algorithm>
#include <cmath>

#include "shell/number_text.h"

namespace kelvora {

namespace {

constexpr int kLeftMargin = 64;
constexpr int kRightMargin = 92;
constexpr int kTopMargin = 22;
constexpr int kBottomMargin = 38;
constexpr int kBarWidth = 14;

// A round step (1, 2 or 5 times a power of ten) that splits `span` into about `parts` pieces.
double NiceStep(double span, int parts) {
  if (!(span > 0.0) || !std::isfinite(span)) return 1.0;
  const double raw = span / parts;
  const double power = std::pow(10.0, std::floor(std::log10(raw)));
  for (double m : {1.0, 2.0, 5.0, 10.0}) {
    if (m * power >= raw) return m * power;
  }
  return 10.0 * power;
}

QString Short(double value) { return FormatDecimal(value, 3); }

}  // namespace

ScalogramView::ScalogramView(const QString& objectName, QWidget* parent) : QWidget(parent) {
  setObjectName(objectName);
  setMouseTracking(true);
  setAutoFillBackground(true);
  QPalette p = palette();
  p.setColor(QPalette::Window, Qt::white);
  setPalette(p);
}

void ScalogramView::setResult(std::shared_ptr<const AnalysisResult> result, std::vector<BandLine> bandLines) {
  m_result = std::move(result);
  m_bandLines = std::move(bandLines);
  render();
}

void ScalogramView::setQuantity(ScalogramQuantity quantity, ColourScale scale) {
  m_quantity = quantity;
  m_scale = scale;
  render();
}

void ScalogramView::setLabels(const Labels& labels) {
  m_labels = labels;
  update();
}

void ScalogramView::render() {
  m_image = QImage();
  m_maximum = 0.0;
  if (m_result && !m_result->picture.empty() && !m_result->frequenciesHz.empty()) {
    const RgbImage rgb = RenderScalogram(m_result->picture, m_quantity, m_scale, 1);
    if (rgb.width > 0 && rgb.height > 0) {
      QImage image(rgb.rgb.data(), rgb.width, rgb.height, rgb.width * 3, QImage::Format_RGB888);
      m_image = image.copy();  // the pixels outlive `rgb`
    }
    m_maximum = PictureMaximum(m_result->picture, m_quantity);
    if (!std::isfinite(m_maximum)) m_maximum = 0.0;
  }
  update();
}

void ScalogramView::setMarkers(std::vector<Marker> markers, std::vector<Segment> segments) {
  m_markers = std::move(markers);
  m_segments = std::move(segments);
  update();
}

QRect ScalogramView::plotRect() const {
  return QRect(kLeftMargin, kTopMargin, std::max(10, width() - kLeftMargin - kRightMargin),
               std::max(10, height() - kTopMargin - kBottomMargin));
}

double ScalogramView::yOf(double frequencyHz, const QRect& plot) const {
  const std::vector<double>& f = m_result->frequenciesHz;
  const double step = f.size() > 1 ? std::log(f[1] / f[0]) : 0.1;
  const double top = std::log(f.back()) + step / 2.0;
  const double bottom = std::log(f.front()) - step / 2.0;
  return plot.top() + plot.height() * (top - std::log(frequencyHz)) / (top - bottom);
}

double ScalogramView::minutesSpan() const {
  return static_cast<double>(m_result->sampleCount) / m_result->sampleRateHz / 60.0;
}

void ScalogramView::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  painter.setRenderHint(QPainter::Antialiasing, true);
  const QRect plot = plotRect();
  QFont titleFont = font();
  titleFont.setBold(true);
  painter.setFont(titleFont);
  painter.drawText(QRect(0, 2, width(), kTopMargin - 4), Qt::AlignCenter, m_labels.title);
  painter.setFont(font());
  painter.setPen(QColor(0x80, 0x80, 0x80));
  painter.drawRect(plot.adjusted(0, 0, -1, -1));
  if (m_image.isNull() || !m_result) return;

  painter.drawImage(plot, m_image);
  const QFontMetrics metrics(font());

  // The cone of influence: its edge through the row centres, from both ends of the record.
  const double minutes = minutesSpan();
  const double lastSecond = static_cast<double>(m_result->sampleCount - 1) / m_result->sampleRateHz;
  auto xOfSeconds = [&](double s) { return plot.left() + plot.width() * (s / 60.0) / minutes; };
  QPainterPath left, right;
  for (std::size_t j = 0; j < m_result->frequenciesHz.size(); ++j) {
    const double edge = std::min(m_result->coneEdgeSeconds(j), lastSecond);
    const double y = yOf(m_result->frequenciesHz[j], plot);
    const QPointF a(xOfSeconds(edge), y), b(xOfSeconds(lastSecond - edge), y);
    if (j == 0) {
      left.moveTo(a);
      right.moveTo(b);
    } else {
      left.lineTo(a);
      right.lineTo(b);
    }
  }
  painter.save();
  painter.setClipRect(plot);
  painter.setPen(QPen(Qt::white, 2.0));
  painter.drawPath(left);
  painter.drawPath(right);
  painter.setPen(QPen(Qt::black, 1.0, Qt::DashLine));
  painter.drawPath(left);
  painter.drawPath(right);

  // Band edges.
  for (const BandLine& line : m_bandLines) {
    if (line.frequencyHz < m_result->frequencyRange.low * 0.999 ||
        line.frequencyHz > m_result->frequencyRange.high * 1.001) {
      continue;
    }
    const double y = yOf(line.frequencyHz, plot);
    painter.setPen(QPen(QColor(255, 255, 255, 220), 1.0, Qt::DashDotLine));
    painter.drawLine(QPointF(plot.left(), y), QPointF(plot.right(), y));
    if (!line.label.isEmpty()) {
      // Above its line, but kept inside the plot: the lowest band's edge sits on the bottom axis.
      const double top = std::clamp(y - metrics.height() - 1.0, static_cast<double>(plot.top()),
                                    plot.bottom() - static_cast<double>(metrics.height()) - 1.0);
      const QRectF box(plot.left() + 4, top, metrics.horizontalAdvance(line.label) + 6, metrics.height());
      painter.fillRect(box, QColor(0, 0, 0, 120));
      painter.setPen(Qt::white);
      painter.drawText(box, Qt::AlignCenter, line.label);
    }
  }
  painter.restore();
  PaintMarkers(painter, plot, minutes * 60.0, m_markers, m_segments);

  // Frequency axis: 1, 2, 5 times the powers of ten inside the grid.
  painter.setPen(Qt::black);
  const double fLow = m_result->frequenciesHz.front(), fHigh = m_result->frequenciesHz.back();
  for (int decade = static_cast<int>(std::floor(std::log10(fLow))); decade <= std::ceil(std::log10(fHigh));
       ++decade) {
    for (double m : {1.0, 2.0, 5.0}) {
      const double f = m * std::pow(10.0, decade);
      if (f < fLow * 0.999 || f > fHigh * 1.001) continue;
      const double y = yOf(f, plot);
      painter.drawLine(QPointF(plot.left() - 4, y), QPointF(plot.left(), y));
      painter.drawText(QRectF(0, y - 8, plot.left() - 6, 16), Qt::AlignRight | Qt::AlignVCenter, Short(f));
    }
  }
  painter.save();
  painter.translate(12, plot.center().y());
  painter.rotate(-90);
  painter.drawText(QRectF(-plot.height() / 2.0, -8, plot.height(), 16), Qt::AlignCenter, m_labels.frequencyAxis);
  painter.restore();

  // Time axis in minutes.
  const double step = NiceStep(minutes, 8);
  for (double t = 0.0; t <= minutes * 1.0000001; t += step) {
    const double x = plot.left() + plot.width() * t / minutes;
    painter.drawLine(QPointF(x, plot.bottom()), QPointF(x, plot.bottom() + 4));
    painter.drawText(QRectF(x - 30, plot.bottom() + 4, 60, 14), Qt::AlignCenter, Short(t));
  }
  painter.drawText(QRectF(plot.left(), plot.bottom() + 19, plot.width(), 16), Qt::AlignCenter, m_labels.timeAxis);

  // Colour bar with its scale.
  const QRect bar(plot.right() + 12, plot.top(), kBarWidth, plot.height());
  for (int y = 0; y < bar.height(); ++y) {
    const RgbColour c = ColourMapValue(1.0 - static_cast<double>(y) / std::max(1, bar.height() - 1));
    painter.setPen(QColor(c.red, c.green, c.blue));
    painter.drawLine(bar.left(), bar.top() + y, bar.right(), bar.top() + y);
  }
  painter.setPen(Qt::black);
  painter.drawRect(bar);
  if (m_maximum > 0.0) {
    auto tick = [&](double position, double value) {
      const double y = bar.bottom() - position * bar.height();
      painter.drawLine(QPointF(bar.right(), y), QPointF(bar.right() + 3, y));
      painter.drawText(QRectF(bar.right() + 5, y - 8, kRightMargin - kBarWidth - 18, 16),
                       Qt::AlignLeft | Qt::AlignVCenter, Short(value));
    };
    if (m_scale == ColourScale::kLinear) {
      for (int i = 0; i <= 4; ++i) tick(i / 4.0, m_maximum * i / 4.0);
    } else {
      for (int d = 0; d <= static_cast<int>(kLogColourDecades); ++d) {
        tick(1.0 - d / kLogColourDecades, m_maximum * std::pow(10.0, -d));
      }
    }
  }
}

QString ScalogramView::hoverText(const QPoint& position) const {
  if (m_image.isNull() || !m_result) return QString();
  const QRect plot = plotRect();
  if (!plot.contains(position)) return QString();
  const ScalogramPicture& picture = m_result->picture;
  const int columns = picture.columns();
  const int rows = static_cast<int>(picture.rows());
  const int c = std::clamp(static_cast<int>((position.x() - plot.left()) * static_cast<double>(columns) /
                                            plot.width()),
                           0, columns - 1);
  const int k = std::clamp(static_cast<int>((position.y() - plot.top()) * static_cast<double>(rows) / plot.height()),
                           0, rows - 1);
  const std::size_t j = static_cast<std::size_t>(rows - 1 - k);
  const double centre = 0.5 * static_cast<double>(picture.columnBegin(c) + picture.columnBegin(c + 1) - 1);
  const double value = m_quantity == ScalogramQuantity::kAmplitude ? picture.amplitude(j, c) : picture.power(j, c);
  QString text = QStringLiteral("%1 = %2 %3, %4 = %5 %6, %7 = %8")
                     .arg(m_labels.time, FormatDecimal(m_result->seconds(static_cast<long long>(centre)) / 60.0, 4),
                          m_labels.minutes, m_labels.frequency, FormatDecimal(m_result->frequenciesHz[j], 4),
                          m_labels.hertz, m_labels.value, FormatDecimal(value, 4));
  if (!picture.valid(j, c)) text += QStringLiteral(" (") + m_labels.outsideCone + QStringLiteral(")");
  return text;
}

void ScalogramView::mouseMoveEvent(QMouseEvent* event) {
  const QString text = hoverText(event->position().toPoint());
  if (text.isEmpty()) {
    QToolTip::hideText();
  } else {
    QToolTip::showText(event->globalPosition().toPoint(), text, this);
  }
  setToolTip(text);
  QWidget::mouseMoveEvent(event);
}

void ScalogramView::leaveEvent(QEvent* event) {
  QToolTip::hideText();
  QWidget::leaveEvent(event);
}

}  // namespace kelvora
