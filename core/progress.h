#pragma once
// Progress and stop reporting for long computations.
//
// A computation receives a ProgressSink and reports through it; it never touches UI objects. The desktop
// program forwards the calls to its progress bar (from any thread, by queued calls), the command-line tool
// draws a console bar, tests count calls. All methods may be called from the computing thread.
#include <string>

namespace kelvora {

class ProgressSink {
 public:
  virtual ~ProgressSink() = default;
  // The progress range; the position runs from minimum to maximum.
  virtual void setRange(long long minimum, long long maximum) {}
  virtual void setPosition(long long position) {}
  // The percentage text, such as "42%".
  virtual void setText(const std::string& text) {}
  // True once the user asked the computation to stop; long loops poll it between units of work.
  virtual bool stopRequested() const { return false; }
};

// A sink that ignores everything and never asks to stop.
inline ProgressSink& NullProgress() {
  static ProgressSink sink;
  return sink;
}

}  // namespace kelvora
