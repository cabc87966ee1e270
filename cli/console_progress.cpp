#include "cli/console_progress.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

namespace kelvora::cli {

namespace {
constexpr int kBarWidth = 30;
}

ConsoleProgress::ConsoleProgress(std::ostream& stream, bool enabled, std::string label)
    : m_stream(stream), m_enabled(enabled), m_label(std::move(label)) {}

ConsoleProgress::~ConsoleProgress() {
  if (m_drawn) m_stream << "\n" << std::flush;
}

void ConsoleProgress::setRange(long long minimum, long long maximum) {
  m_minimum = minimum;
  m_maximum = std::max(minimum, maximum);
  m_start = std::chrono::steady_clock::now();
}

void ConsoleProgress::setPosition(long long position) {
  const bool moved = position != m_position;
  m_position = position;
  if (!m_enabled || !moved || !m_drawn) return;
  if (std::chrono::steady_clock::now() - m_lastDraw >= std::chrono::milliseconds(500)) draw();
}

void ConsoleProgress::setText(const std::string& text) {
  if (!m_enabled) return;
  m_text = text;
  draw();
}

void ConsoleProgress::draw() {
  const auto now = std::chrono::steady_clock::now();
  m_lastDraw = now;
  const double span = static_cast<double>(m_maximum - m_minimum + 1);
  const double fraction = std::clamp(static_cast<double>(m_position - m_minimum + 1) / span, 0.0, 1.0);
  const int filled = static_cast<int>(fraction * kBarWidth + 0.5);
  const double elapsed = std::chrono::duration<double>(now - m_start).count();
  const long long done = m_position - m_minimum;
  std::string times = "  elapsed " + ClockText(elapsed);
  if (done > 0)
    times += "  left " + ClockText(elapsed / static_cast<double>(done) * static_cast<double>(m_maximum - m_position));
  m_stream << "\r" << m_label << " [" << std::string(static_cast<std::size_t>(filled), '#')
           << std::string(static_cast<std::size_t>(kBarWidth - filled), ' ') << "] " << m_text << times << "   "
           << std::flush;
  m_drawn = true;
}

std::string ClockText(double seconds) {
  const long long whole = seconds > 0.0 && std::isfinite(seconds) ? std::llround(seconds) : 0;
  char text[32];
  std::snprintf(text, sizeof text, "%lld:%02lld:%02lld", whole / 3600, whole / 60 % 60, whole % 60);
  return text;
}

}  // namespace kelvora::cli
