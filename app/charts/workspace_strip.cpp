#include "charts/workspace_strip.h"

#include <QMouseEvent>
#include <QPainter>
#include <algorithm>
#include <cmath>

#include "core/math_utils.h"

namespace kelvora {

namespace {

struct Tick {
  double value;
  const char* label;  // null: a minor tick without label
};

// Labelled ticks of the frequency scale (Hz) and of the amplitude scale (percent).
constexpr Tick kFrequencyTicks[] = {{0.001, "0.001"}, {0.002, "0.002"}, {0.005, "0.005"}, {0.01, "0.01"},
                                    {0.02, "0.02"},   {0.05, "0.05"},   {0.1, "0.1"},     {0.2, "0.2"},
                                    {0.5, "0.5"},     {1.0, "1"},       {2.0, "2"}};
constexpr Tick kAmplitudeTicks[] = {{0.1, "0.1"}, {0.2, "0.2"}, {0.5, "0.5"}, {1.0, "1"},   {2.0, "2"},
                                    {5.0, "5"},   {10.0, "10"}, {20.0, "20"}, {50.0, "50"}, {100.0, "100"}};

// Frequencies rounded to 0.0005 Hz steps, and to 0.001 Hz steps above 0.01 Hz.
double RoundStripFrequency(double e) {
  double f = std::round(2.0 * e) / 2000.0 - 0.001;
  if (f > 0.01) f = std::round(1000.0 * f) / 1000.0;
  return std::max(f, 0.0);
}

}  // namespace

double FourierEdgeFrequency(int x, int stripWidth) {
  if (stripWidth <= 0) return 0.0;
  return RoundStripFrequency(std::pow(2.15, 9.93 * x / stripWidth));
}

double AmplitudeLowPercent(int x, int stripWidth) {
  if (stripWidth <= 0) return 0.0;
  return std::round(std::pow(10.0, 3.0 * x / stripWidth - 1.0) * 2000.0) / 2000.0 - 0.004;
}

double AmplitudeHighPercent(int x, int stripWidth) {
  if (stripWidth <= 0) return 0.0;
  return std::round(std::pow(10.0, 3.0 * x / stripWidth - 1.0) * 2000.0) / 2000.0;
}

double WaveletMarkerFrequency(int position, int stripWidth) {
  if (stripWidth <= 0) return 0.0;
  return RoundStripFrequency(SignedPower(9.93 * (position + 8.0) / stripWidth, 2.15));
}

double FrequencyPixel(double frequencyHz, int stripWidth) {
  return stripWidth * std::log(1000.0 * std::max(frequencyHz, 0.0) + 1.0) / std::log(2.15) / 9.931;
}

double AmplitudePixel(double percent, int stripWidth) {
  return stripWidth * (std::log10(std::max(percent, 1e-6)) + 1.0) / 3.0;
}

WorkspaceStrip::WorkspaceStrip(const QString& objectName, QWidget* parent) : QWidget(parent) {
  setObjectName(objectName);
  setMinimumHeight(40);
  setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
  setFixedHeight(49);
  setCursor(Qt::PointingHandCursor);
  setMouseTracking(false);
}

void WorkspaceStrip::setScale(Scale scale) {
  m_scale = scale;
  update();
}

void WorkspaceStrip::setMarkers(int lowPixel, int highPixel) {
  m_low = lowPixel;
  m_high = highPixel;
  update();
}

void WorkspaceStrip::setCaption(const QString& caption) {
  m_caption = caption;
  update();
}

void WorkspaceStrip::paintEvent(QPaintEvent*) {
  QPainter p(this);
  const int w = width();
  const int h = height();
  p.fillRect(rect(), Qt::white);

  // The chosen band between the two markers.
  if (m_high > m_low) p.fillRect(QRect(m_low, 1, m_high - m_low, h - 2), QColor(0xdc, 0xe9, 0xfa));

  p.setPen(QColor(0x80, 0x80, 0x80));
  p.drawRect(0, 0, w - 1, h - 1);

  auto pixelOf = [&](double value) {
    return m_scale == Scale::Frequency ? FrequencyPixel(value, w) : AmplitudePixel(value, w);
  };

  // Minor ticks at 1..9 of every decade, major (longer, labelled) ticks from the table.
  p.setPen(QColor(0x40, 0x40, 0x40));
  const double firstDecade = m_scale == Scale::Frequency ? 0.0001 : 0.1;
  const double lastValue = m_scale == Scale::Frequency ? 2.0 : 100.0;
  for (double decade = firstDecade; decade <= lastValue; decade *= 10.0) {
    for (int m = 1; m <= 9; ++m) {
      const double value = decade * m;
      if (value > lastValue * 1.0001) break;
      const int x = static_cast<int>(std::lround(pixelOf(value)));
      if (x < 1 || x > w - 1) continue;
      p.drawLine(x, 1, x, 4);
      p.drawLine(x, h - 5, x, h - 2);
    }
  }

  QFont font(QStringLiteral("Arial"));
  font.setPixelSize(10);
  p.setFont(font);
  const QFontMetrics metrics(font);
  const int labelBaseline = 6 + metrics.ascent();
  int lastRight = -1000;
  auto drawLabel = [&](int x, const QString& text) {
    const int textWidth = metrics.horizontalAdvance(text);
    const int left = std::clamp(x - textWidth / 2, 2, std::max(2, w - textWidth - 2));
    if (left <= lastRight + 4) return;
    p.drawText(left, labelBaseline, text);
    lastRight = left + textWidth;
  };
  if (m_scale == Scale::Frequency) drawLabel(0, QStringLiteral("0"));
  const Tick* ticks = m_scale == Scale::Frequency ? kFrequencyTicks : kAmplitudeTicks;
  const int tickCount = m_scale == Scale::Frequency ? static_cast<int>(std::size(kFrequencyTicks))
                                                    : static_cast<int>(std::size(kAmplitudeTicks));
  for (int i = 0; i < tickCount; ++i) {
    const int x = static_cast<int>(std::lround(pixelOf(ticks[i].value)));
    p.drawLine(x, 1, x, 6);
    p.drawLine(x, h - 7, x, h - 2);
    drawLabel(x, QString::fromLatin1(ticks[i].label));
  }

  QString caption = m_caption;
  const bool russian = property("russian").toBool();
  if (caption.isEmpty() && russian)
    caption = m_scale == Scale::Frequency ? QStringLiteral("Частота, Гц") : QStringLiteral("Амплитуда, %");
  if (caption.isEmpty())
    caption = m_scale == Scale::Frequency ? QStringLiteral("Frequency, Hz") : QStringLiteral("Amplitude, %");
  QFont captionFont(QStringLiteral("Arial"));
  captionFont.setPixelSize(11);
  p.setFont(captionFont);
  p.setPen(QColor(0, 0, 128));
  const int captionWidth = QFontMetrics(captionFont).horizontalAdvance(caption);
  p.drawText(w / 2 - captionWidth / 2, h - 10, caption);

  // Markers: five-point shapes 8 pixels wide below the labels, whose tip points at the marker's pixel.
  const int top = labelBaseline + 3;
  const int bottom = h - 3;
  const int shoulder = bottom - 7;
  auto drawMarker = [&](int pixel) {
    // A marker at either end is drawn whole inside the strip.
    const int x = std::clamp(pixel, 4, std::max(4, w - 5));
    const QPolygon marker(
        {QPoint(x - 4, top), QPoint(x + 4, top), QPoint(x + 4, shoulder), QPoint(x, bottom), QPoint(x - 4, shoulder)});
    p.setPen(Qt::black);
    p.setBrush(palette().color(QPalette::Light));
    p.drawPolygon(marker);
  };
  drawMarker(m_low);
  drawMarker(m_high);
}

void WorkspaceStrip::mousePressEvent(QMouseEvent* event) {
  emit mousePressed(static_cast<int>(event->position().x()), event->button());
}

void WorkspaceStrip::mouseMoveEvent(QMouseEvent* event) { emit mouseMoved(static_cast<int>(event->position().x())); }

void WorkspaceStrip::mouseReleaseEvent(QMouseEvent* event) {
  emit mouseReleased(static_cast<int>(event->position().x()));
}

void WorkspaceStrip::resizeEvent(QResizeEvent* event) {
  QWidget::resizeEvent(event);
  emit resized(width());
}

}  // namespace kelvora
