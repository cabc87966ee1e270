#pragma once
// A text progress bar on standard error for --progress.
#include <chrono>
#include <ostream>
#include <string>

#include "core/progress.h"

namespace kelvora::cli {

// Draws "\rlabel [#########           ] 42%  elapsed 0:01:05  left 0:01:30" whenever the percentage text
// changes, and at most twice a second when only the position moves; the time left is elapsed / done * (to do),
// shown once some work is done. The clock starts when the range is set. The line is ended when the sink is
// destroyed. A disabled bar draws nothing.
class ConsoleProgress : public ProgressSink {
 public:
  ConsoleProgress(std::ostream& stream, bool enabled, std::string label);
  ~ConsoleProgress() override;
  ConsoleProgress(const ConsoleProgress&) = delete;
  ConsoleProgress& operator=(const ConsoleProgress&) = delete;

  void setRange(long long minimum, long long maximum) override;
  void setPosition(long long position) override;
  void setText(const std::string& text) override;

 private:
  std::ostream& m_stream;
  bool m_enabled;
  std::string m_label;
  long long m_minimum = 0;
  long long m_maximum = 0;
  long long m_position = 0;
  bool m_drawn = false;
  std::string m_text;
  std::chrono::steady_clock::time_point m_start = std::chrono::steady_clock::now();
  std::chrono::steady_clock::time_point m_lastDraw{};

  void draw();
};

// "H:MM:SS" of whole seconds (negative taken as 0).
std::string ClockText(double seconds);

}  // namespace kelvora::cli
