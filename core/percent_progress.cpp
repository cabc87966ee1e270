#include "core/percent_progress.h"

#include <algorithm>
#include <cmath>

namespace kelvora {

PercentProgress::PercentProgress(ProgressSink& sink, long long minimum, long long maximum)
    : m_sink(sink), m_minimum(minimum), m_maximum(std::max(minimum, maximum)), m_position(minimum) {
  m_sink.setRange(m_minimum, m_maximum);
  m_sink.setPosition(m_minimum);
  m_reported = std::chrono::steady_clock::now();
}

void PercentProgress::update(long long position) {
  position = std::clamp(position, m_minimum, m_maximum);
  const double fraction =
      static_cast<double>(position - m_minimum + 1) / static_cast<double>(m_maximum - m_minimum + 1);
  const int percent = static_cast<int>(std::lround(fraction * 100.0));
  if (percent == m_shown) {
    if (m_heartbeat.count() <= 0 || position == m_position) return;
    const auto now = std::chrono::steady_clock::now();
    if (now - m_reported < m_heartbeat) return;
    m_reported = now;
    m_position = position;
    m_sink.setPosition(position);
    return;
  }
  m_shown = percent;
  m_position = position;
  if (m_heartbeat.count() > 0) m_reported = std::chrono::steady_clock::now();
  m_sink.setPosition(position);
  m_sink.setText(std::to_string(percent) + "%");
}

void PercentProgress::finish() { m_sink.setPosition(m_minimum); }

}  // namespace kelvora
