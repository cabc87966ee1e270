#pragma once
// `TWavMorle1`: the forward wavelet transform of one time point.
#include "wavelet/wavelet_worker.h"

namespace kelvora {

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

}  // namespace kelvora
