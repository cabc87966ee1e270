#pragma once
// Forwards the progress of a loop to a ProgressSink only when the shown percentage changes, and, with a
// heartbeat, the position also whenever it moved and the heartbeat has passed since the last report (so that a
// long run's elapsed and remaining time can be updated between whole percents).
#include <chrono>
#include <string>

#include "core/progress.h"

namespace kelvora {

class PercentProgress {
 public:
  // Sets the sink's range to minimum .. maximum and its position to minimum.
  PercentProgress(ProgressSink& sink, long long minimum, long long maximum);
  // Reports `position`: the position and the text round((position - minimum + 1) / (span + 1) * 100) + "%",
  // both only when that percentage differs from the last one reported.
  void update(long long position);
  // Puts the position back to the minimum.
  void finish();
  // Reports a moved position at least this often (zero, the default: only with a new percentage).
  void setHeartbeat(std::chrono::steady_clock::duration heartbeat) { m_heartbeat = heartbeat; }

 private:
  ProgressSink& m_sink;
  long long m_minimum;
  long long m_maximum;
  int m_shown = -1;
  long long m_position = 0;
  std::chrono::steady_clock::duration m_heartbeat{0};
  std::chrono::steady_clock::time_point m_reported{};
};

}  // namespace kelvora
