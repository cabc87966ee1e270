#pragma once
// Shared vocabulary of the wavelet engine: capacities, wavelet types, bands and scale-index ranges.
#include <string>

namespace kelvora {

// Scale rows held by the coefficient matrix and the reconstruction cache (scale index k = 1 .. 500, row k - 1).
inline constexpr int kWaveletRows = 500;
// Time points per scale row: the longest signal the wavelet transform can hold.
inline constexpr int kWaveletMaxSamples = 3601;
// Scale indices a run may use (the scale table is filled for k = 1 .. 300).
inline constexpr int kWaveletScaleCount = 300;
// Wavelet work always runs at this sample rate, whatever the records' `gerc` is.
inline constexpr int kWaveletSampleRateHz = 2;
// Worker threads of a run.
inline constexpr int kWaveletMinThreads = 1;
inline constexpr int kWaveletMaxThreads = 32;

// "Morle" (item 0 of the "Type of wavelet" group) or "Paul" (item 1).
enum class WaveletType { Morlet = 0, Paul = 1 };

// A frequency band in Hz as the wavelet page and the Transform page hold it.
struct WaveletBand {
  double lowHz = 0.0;
  double highHz = 0.0;
};

// An inclusive range of scale indices k (1 .. 500). Empty when first > last.
struct ScaleRange {
  int first = 0;
  int last = -1;
  bool empty() const { return first > last; }
  bool contains(int k) const { return k >= first && k <= last; }
  int size() const { return empty() ? 0 : last - first + 1; }
};

inline bool operator==(const ScaleRange& a, const ScaleRange& b) {
  return a.first == b.first && a.last == b.last;
}

// A refusal of the wavelet library: a fixed English text for the caller to show.
struct WaveletError {
  std::string message;
};

}  // namespace kelvora
