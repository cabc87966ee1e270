#pragma once
// The "Plots animation" of the window's enlarged views and chart widths.
#include <QObject>
#include <QTimer>
#include <functional>

namespace kelvora {

// Moves a width towards a target on a 20 ms timer: every tick covers half of the remaining distance, rounded up,
// so the move slows down as it arrives. UI thread only.
class WidthAnimation : public QObject {
  Q_OBJECT

 public:
  // `timerName` names the timer (Timer1 on the Transform page).
  WidthAnimation(const char* timerName, QObject* parent);

  // Starts from `from`; `target` is read on every tick (a target that follows the window's size is kept),
  // `apply` receives each new width, `done` runs once the target is reached. A running animation is replaced.
  void start(int from, std::function<int()> target, std::function<void(int)> apply, std::function<void()> done = {});
  void stop() { m_timer.stop(); }
  bool isActive() const { return m_timer.isActive(); }

 private:
  void tick();

  QTimer m_timer;
  int m_width = 0;
  std::function<int()> m_target;
  std::function<void(int)> m_apply;
  std::function<void()> m_done;
};

}  // namespace kelvora
