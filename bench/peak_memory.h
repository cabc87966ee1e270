#pragma once
// The process's peak resident memory (VmHWM of /proc/self/status), which a benchmark resets before the work it
// measures (writing "5" to /proc/self/clear_refs), so that its counter shows that work's peak.
#include <fstream>
#include <string>

namespace kelvora::bench {

inline void ResetPeakMemory() { std::ofstream("/proc/self/clear_refs") << "5"; }

// Bytes; 0 where the system does not say.
inline double PeakMemoryBytes() {
  std::ifstream status("/proc/self/status");
  for (std::string line; std::getline(status, line);) {
    if (line.rfind("VmHWM:", 0) == 0) return std::stod(line.substr(6)) * 1024.0;
  }
  return 0.0;
}

}  // namespace kelvora::bench
