#pragma once
// The picture of a scalogram at display resolution: block means of |W| and |W|^2 over at most a few thousand
// time columns, with the cone of influence as a mask.
#include <complex>
#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

#include "analysis/cone_of_influence.h"

namespace kelvora {

// The columns a picture keeps unless told otherwise: more than a screen shows, far fewer than long records hold.
inline constexpr int kDefaultPictureColumns = 2000;

class ScalogramPicture {
 public:
  ScalogramPicture() = default;
  // `rows` frequency rows (row j is f_j, increasing) over sampleCount samples in min(sampleCount, maxColumns)
  // columns (maxColumns >= 1). Column c covers samples columnBegin(c) .. columnBegin(c + 1) - 1. All values
  // start at 0 and invalid. Memory: 17 bytes per cell.
  ScalogramPicture(std::size_t rows, long long sampleCount, int maxColumns);

  std::size_t rows() const { return m_rows; }
  int columns() const { return m_columns; }
  long long sampleCount() const { return m_sampleCount; }
  bool empty() const { return m_rows == 0 || m_columns == 0; }
  // floor(c * N / columns), for c = 0 .. columns (columnBegin(columns) = N).
  long long columnBegin(int c) const;

  // Mean of |W(f_j, n)| over the samples of column c (valid or not, as the picture draws them dimmed).
  double amplitude(std::size_t j, int c) const { return m_amplitude[index(j, c)]; }
  // Mean of |W(f_j, n)|^2 over the samples of column c.
  double power(std::size_t j, int c) const { return m_power[index(j, c)]; }
  // True when every sample of column c lies inside the cone of influence of row j.
  bool valid(std::size_t j, int c) const { return m_valid[index(j, c)] != 0; }

  // Fills row j from one transform row (row.size() == sampleCount()) and its valid samples. Distinct rows may be
  // filled from different threads at once. Cost: one pass over the row.
  void setRow(std::size_t j, std::span<const std::complex<double>> row, const SampleRange& validSamples);

 private:
  std::size_t index(std::size_t j, int c) const {
    return j * static_cast<std::size_t>(m_columns) + static_cast<std::size_t>(c);
  }

  std::size_t m_rows = 0;
  int m_columns = 0;
  long long m_sampleCount = 0;
  std::vector<double> m_amplitude;  // row-major: row j, then column c
  std::vector<double> m_power;
  std::vector<std::uint8_t> m_valid;
};

}  // namespace kelvora
