#pragma once
// Progress display of long wavelet runs: the run clock with its elapsed-time text, the remaining-time text and
// the percentage, and the begin / end / stop bookkeeping of a run. The clock is injected so that tests can
// move time by hand. Not thread-safe: the desktop program uses it on its user-interface thread.
#include <functional>
#include <string>
#include <utility>

namespace kelvora {

// A reading of the wall clock: calendar day number (any epoch) and milliseconds since that day's midnight.
struct ClockReading {
  long long day = 0;
  long long msOfDay = 0;
};
using ClockSource = std::function<ClockReading()>;

// The system's local time.
ClockReading SystemClockReading();

// Elapsed time of a run, carried across midnight.
class RunClock {
 public:
  explicit RunClock(ClockSource clock = SystemClockReading) : m_clock(std::move(clock)) {}

  // Resets the clock and takes the current time as the start.
  void start();
  // Reads the clock (every 15 ms while running) and returns "Elapsed Time: " + [days "d.:"] + h:MM:SS, followed
  // by ":" and three-digit milliseconds while the elapsed time is under 20 seconds.
  std::string elapsedText();
  // Whole seconds elapsed as of the last elapsedText() call (-1 before the first).
  long long elapsedSeconds() const { return m_elapsedSeconds; }
  // Elapsed seconds with the milliseconds, as of the last elapsedText() call.
  double elapsedSecondsExact() const;

 private:
  ClockSource m_clock;
  ClockReading m_start;
  long long m_accumulatedSeconds = 0;  // seconds of days before the current one
  long long m_extraSeconds = 0;        // extra offset, 0
  long long m_lastElapsedMs = 0;
  long long m_elapsedSeconds = -1;
};

// "Elapsed Time: " + [days "d.:"] + h:MM:SS for `seconds` elapsed, followed by ":" and the three-digit
// `milliseconds` when `showMilliseconds` is set (the run display shows them during the first 20 seconds).
std::string ElapsedTimeText(long long seconds, long long milliseconds, bool showMilliseconds);

// "Remaining Time: " + days + " d. :" + hours + ":" + MM + ":" + SS, the remaining seconds being the nearest
// integer to elapsed / position x (maximum - position); 0 while the position is 0 or negative. Days, hours,
// two-digit minutes and seconds.
std::string RemainingTimeText(double elapsedSeconds, long long position, long long maximum);

// The nearest integer to position / maximum x 100 followed by " %". A maximum of 0 gives "0 %".
std::string ProgressPercentText(long long position, long long maximum);

// The run display's state: the percentage label, the two status panels, the timers and the stop request.
class RunProgressState {
 public:
  // What the end of a run asks the window to do.
  struct EndEffects {
    bool beep = false;  // 1000 Hz for 600 ms: the run completed and "Sound" is on
  };

  explicit RunProgressState(ClockSource clock = SystemClockReading) : m_clock(std::move(clock)) {}

  // Begin/end of a run: begin resets the clock, shows "0%", starts the timers and clears the stop request.
  void begin();
  // End: stops the timers; appends " ГОТОВО" to the elapsed panel unless a stop was requested; "100%";
  // position 0. `soundOn` is the "Sound" menu check mark.
  EndEffects end(bool soundOn);
  // The STOP button: sets the stop request, ends the run, panel 1 becomes "Stop".
  void stop();

  // Timer ticks: the elapsed panel (15 ms) and the remaining panel with the percentage (1 s).
  void elapsedTick();
  void remainingTick(long long position, long long maximum);

  bool running() const { return m_running; }
  bool stopRequested() const { return m_stopRequested; }
  const std::string& percentText() const { return m_percentText; }
  const std::string& elapsedPanel() const { return m_elapsedPanel; }
  const std::string& remainingPanel() const { return m_remainingPanel; }
  long long position() const { return m_position; }
  void setPosition(long long position) { m_position = position; }

 private:
  RunClock m_clock;
  bool m_running = false;
  bool m_stopRequested = false;
  std::string m_percentText = "100%";
  std::string m_elapsedPanel;
  std::string m_remainingPanel;
  long long m_position = 0;
};

}  // namespace kelvora
