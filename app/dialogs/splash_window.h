#pragma once
// The splash window TLogo shown before the main window.
#include <QDialog>
#include <QTimer>

class QLabel;

namespace kelvora {

// A borderless 480 x 360 window with a picture drawn in code and the caption "Kelvora v.1.5". Its timer
// (3000 ms) starts at construction; the tick, a mouse click or any key closes it. UI thread only.
class TLogo : public QDialog {
  Q_OBJECT

 public:
  explicit TLogo(QWidget* parent = nullptr);

  static constexpr int kWidth = 480;
  static constexpr int kHeight = 360;
  static constexpr int kTimeoutMs = 3000;

  QTimer* timer() { return &m_timer; }

 protected:
  void paintEvent(QPaintEvent* event) override;
  void mousePressEvent(QMouseEvent* event) override;
  void keyPressEvent(QKeyEvent* event) override;

 private:
  QTimer m_timer;
  QLabel* m_caption = nullptr;
};

}  // namespace kelvora
