#include "dialogs/splash_window.h"

#include <QGuiApplication>
#include <QLabel>
#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <QScreen>
#include <cmath>

namespace kelvora {

TLogo::TLogo(QWidget* parent) : QDialog(parent, Qt::SplashScreen | Qt::FramelessWindowHint) {
  setObjectName(QStringLiteral("TLogo"));
  setFixedSize(kWidth, kHeight);
  setModal(true);

  m_caption = new QLabel(QStringLiteral("Kelvora v.1.5"), this);
  m_caption->setObjectName(QStringLiteral("Label1"));
  QFont font(QStringLiteral("Arial"));
  font.setPixelSize(44);
  m_caption->setFont(font);
  m_caption->setAutoFillBackground(true);
  QPalette palette = m_caption->palette();
  palette.setColor(QPalette::Window, Qt::white);
  palette.setColor(QPalette::WindowText, QColor(0x20, 0x30, 0x60));
  m_caption->setPalette(palette);
  m_caption->adjustSize();
  m_caption->move(static_cast<int>(std::lround(kWidth / 2.0 - m_caption->width() / 2.0)),
                  static_cast<int>(std::lround(kHeight / 1.45)));

  if (const QScreen* screen = QGuiApplication::primaryScreen()) {
    move(screen->availableGeometry().center() - rect().center());
  }

  m_timer.setObjectName(QStringLiteral("Timer1"));
  m_timer.setSingleShot(true);
  m_timer.setInterval(kTimeoutMs);
  connect(&m_timer, &QTimer::timeout, this, &QDialog::close);
  m_timer.start();
}

void TLogo::paintEvent(QPaintEvent*) {
  QPainter p(this);
  p.setRenderHint(QPainter::Antialiasing);
  // Sky of the picture: warm skin tones fading into a cool blue.
  QLinearGradient background(0, 0, kWidth, kHeight);
  background.setColorAt(0.0, QColor(0x8a, 0x1c, 0x2b));
  background.setColorAt(0.55, QColor(0xd9, 0x6b, 0x4a));
  background.setColorAt(1.0, QColor(0x2c, 0x5a, 0x9e));
  p.fillRect(rect(), background);

  // A temperature curve and the blood-flow curve it turns into.
  QPainterPath temperature;
  QPainterPath flow;
  for (int x = 0; x <= kWidth; x += 4) {
    const double t = x / static_cast<double>(kWidth) * 6.0 * M_PI;
    const double yT = 110 + 28 * std::sin(t) + 9 * std::sin(3.1 * t);
    const double yF = 185 + 22 * std::cos(t) + 12 * std::sin(5.3 * t) * std::exp(-0.1 * t);
    if (x == 0) {
      temperature.moveTo(x, yT);
      flow.moveTo(x, yF);
    } else {
      temperature.lineTo(x, yT);
      flow.lineTo(x, yF);
    }
  }
  p.setPen(QPen(QColor(255, 240, 200, 230), 3));
  p.drawPath(temperature);
  p.setPen(QPen(QColor(200, 235, 255, 230), 3));
  p.drawPath(flow);

  // Capillary loops across the lower band.
  p.setPen(QPen(QColor(255, 255, 255, 90), 2));
  for (int i = 0; i < 9; ++i) {
    const int x = 30 + i * 52;
    QPainterPath loop;
    loop.moveTo(x, kHeight - 12);
    loop.cubicTo(x, kHeight - 70, x + 26, kHeight - 70, x + 26, kHeight - 12);
    p.drawPath(loop);
  }

  QFont small(QStringLiteral("Arial"));
  small.setPixelSize(19);
  p.setFont(small);
  p.setPen(Qt::white);
  p.drawText(QRect(0, 12, kWidth, 24), Qt::AlignHCenter, QStringLiteral("Skin temperature and blood flow"));
  small.setPixelSize(18);
  p.setFont(small);
  p.drawText(QRect(0, 38, kWidth, 24), Qt::AlignHCenter, QStringLiteral("Kelvora microcirculation laboratory"));
}

void TLogo::mousePressEvent(QMouseEvent*) { close(); }

void TLogo::keyPressEvent(QKeyEvent*) { close(); }

}  // namespace kelvora
