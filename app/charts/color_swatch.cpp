#include "charts/color_swatch.h"

#include <QMouseEvent>
#include <QPainter>

namespace kelvora {

ColorSwatch::ColorSwatch(const QString& objectName, const QString& letters, const QColor& colour, QWidget* parent)
    : QWidget(parent), m_letters(letters), m_colour(colour) {
  setObjectName(objectName);
  setFixedSize(25, 25);
  setCursor(Qt::PointingHandCursor);
}

void ColorSwatch::setColor(const QColor& colour) {
  m_colour = colour;
  update();
}

void ColorSwatch::paintEvent(QPaintEvent*) {
  QPainter p(this);
  p.setPen(m_colour);
  p.setBrush(m_colour);
  p.drawPolygon(QPolygon({QPoint(0, 0), QPoint(0, 24), QPoint(24, 24), QPoint(24, 0)}));
  QFont font = p.font();
  font.setPixelSize(11);
  font.setBold(true);
  p.setFont(font);
  p.setPen(Qt::white);
  const int x = m_letters.size() > 1 ? 6 : 8;
  p.drawText(x, 6 + p.fontMetrics().ascent(), m_letters);
}

void ColorSwatch::mouseReleaseEvent(QMouseEvent* event) {
  if (event->button() == Qt::LeftButton && rect().contains(event->position().toPoint())) emit clicked();
}

}  // namespace kelvora
