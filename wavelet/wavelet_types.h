#pragma once
// Shared vocabulary of the wavelet engine: capacities, wavelet types, bands and scale-index ranges.
#include <cstddef>
#include <string>

#include "core/frequency_band.h"
#include "core/problem.h"

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

// How the conversion reconstruction (`TWavMorle3`) moves each scale through the tissue.
//   Corrected: each scale moves through the thermal wave of its own centre frequency F(k) = 0.79 / (2000 k^-1.48)
//     at the tissue's depth, the delay counted in samples, the Paul kernel moved like the Morlet one, T centred
//     first.
//   Legacy: the earlier formulas to the letter, so that numbers published with earlier versions can be
//     reproduced: F(k) = gerc 0.79 / (2000 k^-1.48), the delay in seconds added to the sample argument, the Paul
//     kernel 120 / (1 + i (u - tau) / a)^5, no centring, a fixed depth of 0.002 m. It does not reproduce the
//     thermal wave.
enum class WaveletDelayRule { Corrected = 0, Legacy = 1 };

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

// A refusal of the wavelet library: its kind and fields, for the caller's text.
using WaveletError = Problem;

// The refusal of a record longer than the wavelet page and the conversion hold (kWaveletMaxSamples): it names the
// record's length and the limit.
WaveletError WaveletTooLong(std::size_t samples);

}  // namespace kelvora
