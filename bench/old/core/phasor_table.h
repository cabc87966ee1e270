#pragma once
// The implementation this program had before its transforms moved to FFTW, kept unchanged (namespace aside)
// only so that the benchmarks can measure old and new code in the same run. Nothing in the program uses it.
// The unit phasors e^{i 2 pi j / period}, j = 0 .. period - 1, in extended precision.
//
// The phase 2 pi k n / N' of the band transform and of its reconstruction depends only on k n mod N', so one
// table of N' phasors serves every bin and every output sample.
#include <vector>

namespace kelvora::old {

class PhasorTable {
 public:
  PhasorTable() = default;
  // Builds the table for `period` >= 1; each phasor is computed directly from its own angle 2 pi j / period
  // (no recurrence, so no error accumulates). Cost: `period` extended cosine/sine pairs.
  explicit PhasorTable(int period);

  int period() const { return m_period; }
  // cos(2 pi j / period) and sin(2 pi j / period) for 0 <= j < period.
  const long double* cosines() const { return m_cos.data(); }
  const long double* sines() const { return m_sin.data(); }

 private:
  int m_period = 0;
  std::vector<long double> m_cos;
  std::vector<long double> m_sin;
};

}  // namespace kelvora::old
