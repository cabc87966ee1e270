#include "bench/old/core/phasor_table.h"

#include <cmath>

#include "core/complex.h"

namespace kelvora::old {

PhasorTable::PhasorTable(int period)
    : m_period(period < 1 ? 1 : period),
      m_cos(static_cast<std::size_t>(m_period)),
      m_sin(static_cast<std::size_t>(m_period)) {
  for (int j = 0; j < m_period; ++j) {
    const long double angle = kTwoPi * static_cast<long double>(j) / static_cast<long double>(m_period);
    m_cos[static_cast<std::size_t>(j)] = std::cos(angle);
    m_sin[static_cast<std::size_t>(j)] = std::sin(angle);
  }
}

}  // namespace kelvora::old
