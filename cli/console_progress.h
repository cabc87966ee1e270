#pragma once
// A text progress bar on standard error for --progress.
#include <ostream>
#include <string>

#include "core/progress.h"

namespace kelvora::cli {

// Draws "\r[#########           ] 42%" whenever the percentage text changes; the line is ended when the sink is
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
};

}  // namespace kelvora::cli
