#pragma once
// A 24 x 24 colour swatch with a letter, clicked to choose a signal's colour.
#include <QWidget>

namespace kelvora {

// Paints a square filled and outlined in its colour with its letters in white (at (8, 6) for one letter,
// (6, 6) for two). A click emits clicked(). UI thread only.
class ColorSwatch : public QWidget {
  Q_OBJECT

 public:
  ColorSwatch(const QString& objectName, const QString& letters, const QColor& colour, QWidget* parent = nullptr);

  QColor color() const { return m_colour; }
  void setColor(const QColor& colour);

 signals:
  void clicked();

 protected:
  void paintEvent(QPaintEvent* event) override;
  void mouseReleaseEvent(QMouseEvent* event) override;

 private:
  QString m_letters;
  QColor m_colour;
};

}  // namespace kelvora
