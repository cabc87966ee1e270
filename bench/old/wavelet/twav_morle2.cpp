#include "bench/old/wavelet/twav_morle2.h"

#include <algorithm>

namespace kelvora::old {

long double ReconstructionSum(const WaveletPassData& data, int k, int b, int n) {
  const KernelTable& kernel = (*data.tables)[static_cast<size_t>(k)];
  const int sFirst = std::max(1, b + kernel.minOffset());
  const int sLast = std::min(n - 1, b + kernel.maxOffset());
  const int count = sLast - sFirst + 1;
  if (count <= 0) return 0.0L;
  // Re(W * psi) = W.re psi.re - W.im psi.im.
  const int offset = sFirst - b - kernel.minOffset();
  const double realProducts =
      DotProduct((*data.coefficientRe)[static_cast<size_t>(k)].data() + sFirst, kernel.real() + offset, count);
  const double imagProducts =
      DotProduct((*data.coefficientIm)[static_cast<size_t>(k)].data() + sFirst, kernel.imag() + offset, count);
  return static_cast<long double>(realProducts) - static_cast<long double>(imagProducts);
}

void TWavMorle2::Execute() const {
  const int b = m_fields.b;
  long double out = 0.0L;
  for (int k = m_fields.firstIndex; k <= m_fields.lastIndex; ++k) {
    double* cacheRow = m_data.cache->row(k);
    if (m_data.rowComputed[k] == 0) {
      const long double factor = (*m_data.rowFactor)[static_cast<size_t>(k)];
      cacheRow[b] = static_cast<double>(ReconstructionSum(m_data, k, b, m_fields.n) * factor);
    }
    out += static_cast<long double>(m_data.rowSign[k]) * cacheRow[b];
  }
  m_data.output[m_fields.b] = static_cast<double>(out);
}

}  // namespace kelvora::old
