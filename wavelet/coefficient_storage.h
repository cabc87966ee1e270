#pragma once
// The wavelet engine's per-row storage: the coefficient matrix and the reconstruction cache.
//
// Rows are allocated when a run first computes them and kept until the next signal is loaded, so memory grows
// with the rows actually computed and with the signal length N: 16 bytes per coefficient (the FFT convolution
// computes them in double), 8 per cached contribution. A row never computed reads as zeros.
#include <cstddef>
#include <span>
#include <vector>

#include "core/complex.h"
#include "core/fft.h"
#include "wavelet/wavelet_kernels.h"
#include "wavelet/wavelet_types.h"

namespace kelvora {

// Rows of scale index k = 1 .. 500. Different rows may be written from different threads at once; the set of
// rows (allocateRow, clear) changes only between passes.
template <typename Cell>
class WaveletRows {
 public:
  WaveletRows() : m_rows(static_cast<std::size_t>(kWaveletRows) + 1) {}
  // Row k sized to n cells, all zero; allocated on first use. Any thread, one per row.
  std::span<Cell> resetRow(int k, int n) {
    auto& row = m_rows[static_cast<std::size_t>(k)];
    row.assign(static_cast<std::size_t>(n), Cell{});
    return {row.data(), row.size()};
  }
  // Row k, or an empty span when it was never computed since the last clear().
  std::span<const Cell> row(int k) const {
    const auto& r = m_rows[static_cast<std::size_t>(k)];
    return {r.data(), r.size()};
  }
  std::span<Cell> row(int k) {
    auto& r = m_rows[static_cast<std::size_t>(k)];
    return {r.data(), r.size()};
  }
  // Frees every row.
  void clear() {
    for (auto& r : m_rows) fft::AlignedVector<Cell>().swap(r);
  }
  // Bytes held by the rows.
  std::size_t bytes() const {
    std::size_t total = 0;
    for (const auto& r : m_rows) total += r.capacity() * sizeof(Cell);
    return total;
  }

 protected:
  Cell cell(int k, int b) const {
    const auto& r = m_rows[static_cast<std::size_t>(k)];
    return b >= 0 && static_cast<std::size_t>(b) < r.size() ? r[static_cast<std::size_t>(b)] : Cell{};
  }

 private:
  std::vector<fft::AlignedVector<Cell>> m_rows;
};

// The coefficients W[k][b] of the forward transform (`CoefficientMatrix`), row k for scale index k.
class CoefficientMatrix : public WaveletRows<WaveletComplex> {
 public:
  // W[k][b]; (0, 0) for a row not computed or b outside it.
  Complex at(int k, int b) const {
    const WaveletComplex w = cell(k, b);
    return Complex{w.real(), w.imag()};
  }
};

// Per scale row and time point, that row's contribution to the reconstruction (`ReconstructionCache`).
class ReconstructionCache : public WaveletRows<double> {
 public:
  // 0 for a row not computed or b outside it.
  double at(int k, int b) const { return cell(k, b); }
};

}  // namespace kelvora
