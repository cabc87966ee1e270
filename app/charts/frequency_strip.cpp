#include "charts/frequency_strip.h"

#include <QMouseEvent>
#include <QPainter>
#include <algorithm>
#include <cmath>

namespace kelvora {

namespace {

// Tick labels of the strip and their positions as fractions of the strip width.
constexpr const char* kTickLabels[] = {"1",     "0.001", "0.002", "0.004", "0.007", "0.014", "0.025", "0.045",
                                       "0.075", "0.13",  "0.2",   "0.4",   "0.65",  "1",     "2"};
constexpr double kTickPositions[] = {0.005,  0.074,  0.1333, 0.2052,  0.27,   0.354,   0.4252, 0.5037,
                                     0.5696, 0.6415, 0.6978, 0.78889, 0.8526, 0.90889, 1.0};
constexpr int kTickCount = 15;

// Strips narrower than this show every second label only.
constexpr int kNarrowStrip = 451;

}  // namespace

int FrequencyToMarker(double frequencyHz, int stripWidth) {
  const double f = std::max(frequencyHz, 0.0);
  return static_cast<int>(std::lround(std::log(1000.0 * f + 1.0) / std::log(2.15) * stripWidth / 9.931 - 8.0));
}

double MarkerToFrequency(int markerLeft, int stripWidth) {
  if (stripWidth <= 0) return 0.0;
  const double centre = markerLeft + kMarkerHalfWidth;
  const double e = std::pow(2.15, 9.931 * centre / stripWidth);
  double f = std::round(2.0 * e) / 2000.0 - 0.001;
  if (f > 0.01) f = std::round(1000.0 * f) / 1000.0;
  return std::max(f, 0.0);
}

void FrequencyStrip::setCaption(const QString& caption) {
  if (caption == m_caption) return;
  m_caption = caption;
  update();
}

FrequencyStrip::FrequencyStrip(const QString& objectName, QWidget* parent) : QWidget(parent) {
  setObjectName(objectName);
  setMinimumHeight(33);
  setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
  setCursor(Qt::PointingHandCursor);
  placeMarkersFromBand();
}

void FrequencyStrip::setBand(double lowHz, double highHz) {
  m_lowHz = lowHz;
  m_highHz = highHz;
  placeMarkersFromBand();
  update();
}

void FrequencyStrip::setMarkers(int low, int high) {
  m_lowMarker = low;
  m_highMarker = high;
  update();
}

void FrequencyStrip::setLabelsVisible(bool visible) {
  m_labelsVisible = visible;
  update();
}

void FrequencyStrip::placeMarkersFromBand() {
  const int w = width();
  m_lowMarker = m_lowHz <= 0.0 ? 0 : std::max(0, FrequencyToMarker(m_lowHz, w));
  m_highMarker = m_highHz >= 2.0 ? w - kMarkerHalfWidth : FrequencyToMarker(m_highHz, w);
  m_highMarker -= 1;
}

void FrequencyStrip::resizeEvent(QResizeEvent* event) {
  QWidget::resizeEvent(event);
  if (!m_dragging) placeMarkersFromBand();
}

void FrequencyStrip::paintEvent(QPaintEvent*) {
  QPainter p(this);
  const int w = width();
  const int h = height();
  p.fillRect(rect(), Qt::white);
  p.setPen(QColor(0x90, 0x90, 0x90));
  p.drawRect(0, 0, w - 1, h - 1);

  // The chosen band, lightly shaded between the marker centres.
  const int lowCentre = m_lowMarker + kMarkerHalfWidth;
  const int highCentre = m_highMarker + kMarkerHalfWidth;
  if (highCentre > lowCentre) p.fillRect(QRect(lowCentre, 1, highCentre - lowCentre, h - 2), QColor(0xe4, 0xee, 0xfb));

  p.setPen(Qt::black);
  for (int x = 0; x < w; x += 5) {
    p.drawLine(x, 0, x, 3);
    p.drawLine(x, h - 4, x, h - 1);
  }

  if (m_labelsVisible) {
    QFont font(QStringLiteral("Arial"));
    font.setPixelSize(9);
    p.setFont(font);
    const bool narrow = w < kNarrowStrip;
    // The first label ("1" at the very left) would sit under the "0" label and is left out.
    for (int i = 1; i < kTickCount; ++i) {
      if (narrow && i % 2 == 1 && i != kTickCount - 1) continue;
      const int x = static_cast<int>(std::lround(w * kTickPositions[i])) - 12;
      const int textWidth = p.fontMetrics().horizontalAdvance(QString::fromLatin1(kTickLabels[i]));
      p.drawText(std::min(x, w - textWidth - 2), 6 + p.fontMetrics().ascent(), QString::fromLatin1(kTickLabels[i]));
    }
    p.drawText(1, 6 + p.fontMetrics().ascent(), QStringLiteral("0"));
    if (h >= 30) {
      QFont caption(QStringLiteral("Arial"));
      caption.setPointSize(8);
      p.setFont(caption);
      p.setPen(QColor(0, 0, 128));
      p.drawText(w / 2 - p.fontMetrics().horizontalAdvance(m_caption) / 2, 16 + p.fontMetrics().ascent() - 2,
                 m_caption);
    }
  }

  // Markers: pointed polygons around their centres, from y = 4 to the strip's bottom less 3.
  const int top = 4;
  const int bottom = h - 3;
  const int shoulder = top + (bottom - top) * 2 / 3;
  auto drawMarker = [&](int left, const QColor& colour) {
    const int c = left + kMarkerHalfWidth;
    const QPolygon marker(
        {QPoint(c - 4, top), QPoint(c + 4, top), QPoint(c + 4, shoulder), QPoint(c, bottom), QPoint(c - 4, shoulder)});
    p.setPen(colour.darker(150));
    p.setBrush(colour);
    p.drawPolygon(marker);
  };
  drawMarker(m_lowMarker, QColor(0x1f, 0x6f, 0xd0));
  drawMarker(m_highMarker, QColor(0xd0, 0x30, 0x30));
}

void FrequencyStrip::mousePressEvent(QMouseEvent* event) {
  const int a = static_cast<int>(event->position().x());
  emit mousePressed(a);
  if (!m_draggingEnabled || event->button() != Qt::LeftButton) return;
  m_lowGrabbed = m_lowMarker <= a && a <= m_lowMarker + kMarkerHalfWidth;
  m_highGrabbed = m_highMarker <= a && a <= m_highMarker + kMarkerHalfWidth;
  // Markers that touch: the high one wins so that a band squeezed to the left can be widened again.
  if (m_lowGrabbed && m_highGrabbed) m_lowGrabbed = false;
  m_dragging = m_lowGrabbed || m_highGrabbed;
}

void FrequencyStrip::mouseMoveEvent(QMouseEvent* event) {
  const int a = static_cast<int>(event->position().x());
  emit mouseMoved(a);
  if (!m_dragging) return;
  const int w = width();
  if (m_lowGrabbed) {
    int x = std::min({a, m_highMarker - m_minimumGap, w - kMarkerHalfWidth});
    if (x < 1) x = 0;
    m_lowMarker = x;
    m_lowHz = MarkerToFrequency(x, w);
  } else if (m_highGrabbed) {
    const int lowCentre = m_lowMarker + kMarkerHalfWidth;
    int x = std::min(std::max(a, lowCentre + m_minimumGap), w - kMarkerHalfWidth);
    if (a < 2) x = lowCentre + m_minimumGap;
    m_highMarker = x;
    m_highHz = std::min(MarkerToFrequency(x, w), 2.0);
  }
  update();
  emit bandDragged(m_lowHz, m_highHz);
}

void FrequencyStrip::mouseReleaseEvent(QMouseEvent* event) {
  emit mouseReleased(static_cast<int>(event->position().x()));
  const bool wasDragging = m_dragging;
  m_dragging = m_lowGrabbed = m_highGrabbed = false;
  if (wasDragging) emit dragFinished();
}

void FrequencyStrip::mouseDoubleClickEvent(QMouseEvent*) { emit doubleClicked(); }

}  // namespace kelvora
