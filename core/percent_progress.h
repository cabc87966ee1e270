#pragma once
// Forwards the progress of a loop to a ProgressSink only when the shown percentage changes.
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

 private:
  ProgressSink& m_sink;
  long long m_minimum;
  long long m_maximum;
  int m_shown = -1;
};

}  // namespace kelvora
