#include "wavelet/run_clock.h"

#include <chrono>
#include <cmath>
#include <ctime>

namespace kelvora {

namespace {

std::string TwoDigits(long long value) {
  std::string text = std::to_string(value);
  if (text.size() < 2) text.insert(text.begin(), '0');
  return text;
}

std::string ThreeDigits(long long value) {
  std::string text = std::to_string(value);
  while (text.size() < 3) text.insert(text.begin(), '0');
  return text;
}

// Days since 1970-01-01 of a civil date (proleptic Gregorian).
long long DaysFromCivil(long long year, unsigned month, unsigned day) {
  year -= month <= 2;
  const long long era = (year >= 0 ? year : year - 399) / 400;
  const unsigned yoe = static_cast<unsigned>(year - era * 400);
  const unsigned doy = (153 * (month + (month > 2 ? -3 : 9)) + 2) / 5 + day - 1;
  const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
  return era * 146097 + static_cast<long long>(doe) - 719468;
}

}  // namespace

ClockReading SystemClockReading() {
  const auto now = std::chrono::system_clock::now();
  const std::time_t seconds = std::chrono::system_clock::to_time_t(now);
  std::tm local{};
  localtime_r(&seconds, &local);
  const long long ms =
      std::chrono::duration_cast<std::chrono::milliseconds>(now.time_since_epoch()).count() % 1000;
  ClockReading reading;
  reading.day = DaysFromCivil(local.tm_year + 1900LL, static_cast<unsigned>(local.tm_mon + 1),
                              static_cast<unsigned>(local.tm_mday));
  reading.msOfDay = ((local.tm_hour * 60LL + local.tm_min) * 60LL + local.tm_sec) * 1000LL + ms;
  return reading;
}

void RunClock::start() {
  m_start = m_clock();
  m_accumulatedSeconds = 0;
  m_extraSeconds = 0;
  m_lastElapsedMs = 0;
  m_elapsedSeconds = -1;
}

std::string RunClock::elapsedText() {
  const ClockReading now = m_clock();
  if (now.day > m_start.day) {
    // A new day: carry what the old day counted and measure from now on.
    m_accumulatedSeconds += m_lastElapsedMs / 1000;
    m_start = now;
  }
  long long elapsedMs = now.msOfDay - m_start.msOfDay;
  if (elapsedMs < 0) elapsedMs = 0;
  m_lastElapsedMs = elapsedMs;
  const long long totalSeconds = m_accumulatedSeconds + elapsedMs / 1000;
  m_elapsedSeconds = totalSeconds;

  return ElapsedTimeText(totalSeconds + m_extraSeconds, elapsedMs % 1000, totalSeconds < 20);
}

std::string ElapsedTimeText(long long seconds, long long milliseconds, bool showMilliseconds) {
  const long long hours = seconds / 3600;
  const long long beyondHours = seconds - hours * 3600;
  const long long days = hours / 24;
  std::string text = "Elapsed Time: ";
  if (days > 0) text += std::to_string(days) + "d.:";
  text += std::to_string(hours % 24) + ":" + TwoDigits(beyondHours / 60) + ":" + TwoDigits(beyondHours % 60);
  if (showMilliseconds) text.append(":").append(ThreeDigits(milliseconds));
  return text;
}

double RunClock::elapsedSecondsExact() const {
  if (m_elapsedSeconds < 0) return 0.0;
  return static_cast<double>(m_accumulatedSeconds) + static_cast<double>(m_lastElapsedMs) / 1000.0;
}

std::string RemainingTimeText(double elapsedSeconds, long long position, long long maximum) {
  long long remaining = 0;
  if (position > 0 && maximum > position) {
    remaining = std::llround(elapsedSeconds / static_cast<double>(position) *
                             static_cast<double>(maximum - position));
  }
  if (remaining < 0) remaining = 0;
  const long long days = remaining / 86400;
  const long long hours = remaining % 86400 / 3600;
  const long long minutes = remaining % 3600 / 60;
  const long long seconds = remaining % 60;
  return "Remaining Time: " + std::to_string(days) + " d. :" + std::to_string(hours) + ":" + TwoDigits(minutes) +
         ":" + TwoDigits(seconds);
}

std::string ProgressPercentText(long long position, long long maximum) {
  long long percent = 0;
  if (maximum > 0) percent = std::llround(static_cast<double>(position) / static_cast<double>(maximum) * 100.0);
  return std::to_string(percent) + " %";
}

void RunProgressState::begin() {
  m_clock.start();
  m_percentText = "0%";
  m_running = true;
  m_stopRequested = false;
  m_position = 0;
}

RunProgressState::EndEffects RunProgressState::end(bool soundOn) {
  m_clock.start();
  m_running = false;
  EndEffects effects;
  if (!m_stopRequested) {
    m_elapsedPanel += " ГОТОВО";
    effects.beep = soundOn;
  }
  m_percentText = "100%";
  m_position = 0;
  return effects;
}

void RunProgressState::stop() {
  m_stopRequested = true;
  end(false);
  m_remainingPanel = "Stop";
  m_position = 0;
}

void RunProgressState::elapsedTick() {
  if (m_running) m_elapsedPanel = m_clock.elapsedText();
}

void RunProgressState::remainingTick(long long position, long long maximum) {
  if (!m_running) {
    m_remainingPanel = "Remaining Time: 0:00:00";
    return;
  }
  m_remainingPanel = RemainingTimeText(m_clock.elapsedSecondsExact(), position, maximum);
  m_percentText = ProgressPercentText(position, maximum);
}

}  // namespace kelvora
