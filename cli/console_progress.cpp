#include "cli/console_progress.h"

#include <algorithm>

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
}

void ConsoleProgress::setPosition(long long position) { m_position = position; }

void ConsoleProgress::setText(const std::string& text) {
  if (!m_enabled) return;
  const double span = static_cast<double>(m_maximum - m_minimum + 1);
  const double fraction = std::clamp(static_cast<double>(m_position - m_minimum + 1) / span, 0.0, 1.0);
  const int filled = static_cast<int>(fraction * kBarWidth + 0.5);
  m_stream << "\r" << m_label << " [" << std::string(static_cast<std::size_t>(filled), '#')
           << std::string(static_cast<std::size_t>(kBarWidth - filled), ' ') << "] " << text << std::flush;
  m_drawn = true;
}

}  // namespace kelvora::cli
