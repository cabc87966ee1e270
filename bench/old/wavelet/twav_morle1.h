#pragma once
// The implementation this program had before its transforms moved to FFTW, kept unchanged (namespace aside)
// only so that the benchmarks can measure old and new code in the same run. Nothing in the program uses it.
// `TWavMorle1`: the forward wavelet transform of one time point.
#include "bench/old/wavelet/wavelet_worker.h"

namespace kelvora::old {

class TWavMorle1 {
 public:
  static constexpr const char* kThreadName = "WavMorle1";

  TWavMorle1(const WaveletWorkerFields& fields, const WaveletPassData& data) : m_fields(fields), m_data(data) {}

  // For every row k of the band whose `RowComputed` flag is 0: W[k][b] = sum over s = 0 .. N-1, in order, of
  // x[s] * kernel(s - b), times the row factor (1/a for Morlet, 1 for Paul). Writes only column b.
  void Execute() const;

 private:
  WaveletWorkerFields m_fields;
  const WaveletPassData& m_data;
};

}  // namespace kelvora::old
