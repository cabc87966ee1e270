#pragma once
// The display of long wavelet runs: elapsed and remaining time in the status bar, the percentage in `Progress`,
// " ГОТОВО" and the beep at the end, "Stop" after STOP.
#include <QObject>
#include <QString>
#include <QTimer>
#include <functional>

#include "shell/app_context.h"

namespace kelvora {


// "Elapsed Time: " + [days "d.:"] + h:MM:SS, followed by ":" and three-digit milliseconds while the elapsed time is
// under 20 seconds. `elapsedMs` >= 0.
QString ElapsedPanelText(qint64 elapsedMs, Language language = Language::English);
// "Remaining Time: " + [days " d. "] + h:MM:SS with the remaining seconds round(elapsed / position x (maximum -
// position)); 0 while the position is 0 or below.
QString RemainingPanelText(double elapsedSeconds, long long position, long long maximum,
                           Language language = Language::English);
// round(position / maximum x 100) + " %" ("0 %" for a maximum of 0).
QString PercentPanelText(long long position, long long maximum);

// Drives the run display of the window's progress area (the RunProgress of the shared context) for one run at a
// time: `Timer2` (15 ms) writes the elapsed time into status panel 0, `Timer3` (1 s) the remaining time into
// panel 1 and the percentage into `Progress`, both from the progress sink's position and range. The clock is
// injectable (milliseconds of a steady clock). UI thread only.
class RunProgressView : public QObject {
  Q_OBJECT

 public:
  using Clock = std::function<qint64()>;

  explicit RunProgressView(AppContext* context, QObject* parent = nullptr, Clock clock = {});

  // Begins a run: clock reset, "0%", both timers on, the busy cursor on the window, BtnStop enabled.
  void begin();
  // Ends a run. `completed` (no stop was requested): " DONE" (" ГОТОВО") is appended to panel 0 and, with "Sound" on, the
  // beep sounds. Always: timers off, normal cursor, "100%", the progress bar at 0.
  void end(bool completed);
  // STOP: ends the run without " DONE" or beep; panel 1 becomes "Stopped" ("Остановлено").
  void stop();
  // Writes the two panels of the last run again in the window's language (after a language switch; while a run
  // goes its ticks do it).
  void retranslate();
  bool isRunning() const { return m_running; }

  // The timer ticks (public for tests).
  void elapsedTick();
  void remainingTick();

  QTimer* timer2() { return &m_timer2; }
  QTimer* timer3() { return &m_timer3; }

 private:
  AppContext* m_context;
  Clock m_clock;
  QTimer m_timer2;
  QTimer m_timer3;
  qint64 m_start = 0;
  qint64 m_elapsedMs = 0;
  bool m_running = false;
  // What the panels of the last run say once it ended: nothing yet, done, stopped or neither (refused, failed).
  enum class Ended { None, Completed, Stopped, Other };
  Ended m_ended = Ended::None;
  long long m_lastPosition = 0, m_lastMaximum = 0;  // of the last remaining-time tick
  double m_lastElapsedS = 0.0;
};

}  // namespace kelvora
