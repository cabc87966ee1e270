#pragma once
// The progress count of the coherence runs, shared by their workers: a row counts kCoherenceUnitsPerRow units, so
// that an IAAFT surrogate, which reports fractions of its rounds, moves the count while a long record's round
// runs (a whole row or round of millions of samples can take seconds).
#include <algorithm>
#include <atomic>
#include <cmath>

namespace kelvora {

// Units of progress per row (see phase_coherence.h).
inline constexpr long long kCoherenceUnitsPerRow = 64;

// A surrogate's part of the count: `units` in all, added as its IAAFT reports its share and topped up when it
// ends. One per surrogate in the making; the count is the run's.
class SurrogateProgress {
 public:
  SurrogateProgress(std::atomic<long long>& done, long long units) : m_done(done), m_units(units) {}
  // `share` of the surrogate done (0 .. 1, as IaaftOptions::onShare gives it).
  void reach(double share) {
    const auto due = std::min(m_units, static_cast<long long>(std::floor(std::clamp(share, 0.0, 1.0) * m_units)));
    if (due <= m_counted) return;
    m_done.fetch_add(due - m_counted, std::memory_order_relaxed);
    m_counted = due;
  }
  // The surrogate is made: the rest of its units.
  void finish() { reach(1.0); }

 private:
  std::atomic<long long>& m_done;
  long long m_units;
  long long m_counted = 0;
};

}  // namespace kelvora
