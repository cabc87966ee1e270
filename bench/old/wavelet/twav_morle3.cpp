#include "bench/old/wavelet/twav_morle3.h"

#include "bench/old/wavelet/twav_morle2.h"

namespace kelvora::old {

void TWavMorle3::Execute() const {
  const int b = m_fields.b;
  long double out = 0.0L;
  for (int k = m_fields.firstIndex; k <= m_fields.lastIndex; ++k) {
    double* cacheRow = m_data.cache->row(k);
    if (m_data.rowComputed[k] == 0) {
      const long double factor = (*m_data.rowFactor)[static_cast<size_t>(k)];
      cacheRow[b] = static_cast<double>(ReconstructionSum(m_data, k, b, m_fields.n) * factor);
    }
    out += cacheRow[b];
  }
  m_data.output[b] = static_cast<double>(out);
}

}  // namespace kelvora::old
