#include "wavelet/twav_morle1.h"

#include <algorithm>

namespace kelvora {

void TWavMorle1::Execute() const {
  const int b = m_fields.b;
  const int n = m_fields.n;
  for (int k = m_fields.firstIndex; k <= m_fields.lastIndex; ++k) {
    if (m_data.rowComputed[k] != 0) continue;
    const KernelTable& kernel = (*m_data.tables)[static_cast<size_t>(k)];
    const int sFirst = std::max(0, b + kernel.minOffset());
    const int sLast = std::min(n - 1, b + kernel.maxOffset());
    long double re = 0.0L;
    long double im = 0.0L;
    for (int s = sFirst; s <= sLast; ++s) {
      const long double x = m_data.input[s];
      const Complex& psi = kernel.at(s - b);
      re += x * psi.re;
      im += x * psi.im;
    }
    const long double factor = (*m_data.rowFactor)[static_cast<size_t>(k)];
    m_data.matrix->row(k)[b] = Complex{re * factor, im * factor};
  }
}

}  // namespace kelvora
