#include "wavelet/twav_morle2.h"

#include <algorithm>

namespace kelvora {

long double ReconstructionSum(const WaveletPassData& data, int k, int b, int n) {
  const KernelTable& kernel = (*data.tables)[static_cast<size_t>(k)];
  const Complex* w = data.matrix->row(k);
  const int sFirst = std::max(1, b + kernel.minOffset());
  const int sLast = std::min(n - 1, b + kernel.maxOffset());
  // Re(W * psi) = W.re psi.re - W.im psi.im; the two products are summed apart, which keeps two independent
  // additions in flight per term.
  long double realProducts = 0.0L;
  long double imagProducts = 0.0L;
  for (int s = sFirst; s <= sLast; ++s) {
    const Complex& psi = kernel.at(s - b);
    realProducts += w[s].re * psi.re;
    imagProducts += w[s].im * psi.im;
  }
  return realProducts - imagProducts;
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

}  // namespace kelvora
