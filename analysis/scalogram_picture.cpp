#include "analysis/scalogram_picture.h"

#include <algorithm>
#include <cmath>

namespace kelvora {

ScalogramPicture::ScalogramPicture(std::size_t rows, long long sampleCount, int maxColumns)
    : m_rows(rows),
      m_columns(sampleCount > 0 ? static_cast<int>(std::min<long long>(sampleCount, std::max(1, maxColumns))) : 0),
      m_sampleCount(sampleCount),
      m_amplitude(rows * static_cast<std::size_t>(m_columns), 0.0),
      m_power(m_amplitude.size(), 0.0),
      m_valid(m_amplitude.size(), 0) {}

long long ScalogramPicture::columnBegin(int c) const {
  // c * N fits: records are below 2^27 samples (the transform's limit) and columns below 2^31.
  return static_cast<long long>(c) * m_sampleCount / m_columns;
}

void ScalogramPicture::setRow(std::size_t j, std::span<const std::complex<double>> row,
                              const SampleRange& validSamples) {
  for (int c = 0; c < m_columns; ++c) {
    const long long begin = columnBegin(c);
    const long long end = columnBegin(c + 1);
    double amplitudeSum = 0.0;
    double powerSum = 0.0;
    for (long long n = begin; n < end; ++n) {
      const std::complex<double> w = row[static_cast<std::size_t>(n)];
      const double power = w.real() * w.real() + w.imag() * w.imag();
      amplitudeSum += std::sqrt(power);
      powerSum += power;
    }
    const double count = static_cast<double>(end - begin);
    m_amplitude[index(j, c)] = amplitudeSum / count;
    m_power[index(j, c)] = powerSum / count;
    m_valid[index(j, c)] = validSamples.contains(begin) && validSamples.contains(end - 1) ? 1 : 0;
  }
}

}  // namespace kelvora
