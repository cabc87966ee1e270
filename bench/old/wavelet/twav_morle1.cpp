#include "bench/old/wavelet/twav_morle1.h"

#include <algorithm>

namespace kelvora::old {

void TWavMorle1::Execute() const {
  const int b = m_fields.b;
  const int n = m_fields.n;
  for (int k = m_fields.firstIndex; k <= m_fields.lastIndex; ++k) {
    if (m_data.rowComputed[k] != 0) continue;
    const KernelTable& kernel = (*m_data.tables)[static_cast<size_t>(k)];
    const int sFirst = std::max(0, b + kernel.minOffset());
    const int sLast = std::min(n - 1, b + kernel.maxOffset());
    const int count = sLast - sFirst + 1;
    long double re = 0.0L;
    long double im = 0.0L;
    if (count > 0) {
      const double* x = m_data.input + sFirst;
      const int offset = sFirst - b - kernel.minOffset();
      re = DotProduct(x, kernel.real() + offset, count);
      im = DotProduct(x, kernel.imag() + offset, count);
    }
    const long double factor = (*m_data.rowFactor)[static_cast<size_t>(k)];
    m_data.matrix->row(k)[b] = Complex{re * factor, im * factor};
  }
}

}  // namespace kelvora::old
