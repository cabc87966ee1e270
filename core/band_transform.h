#pragma once
// The band-limited discrete Fourier transform with its eight per-purpose coefficient caches.
//
// A signal x[0..N] is padded with 600 copies of its first and last sample at each end and raised by +2.0, so
// that N' = N + 1200 is the padded last index. For the bins k of a band,
//   C[k] = (1 / N') * sum_{n=0..N'} padded[n] * e^{-i 2 pi k n / N'},   f[k] = k * fs / N',
// and C[0] = (1 / N') * sum padded[n]. Note the sum runs over N' + 1 samples while the divisor and the frequency
// step use N'. Every coefficient computed is kept in the cache of the slot, so a later call on the same slot with
// another band computes only the bins it has not seen.
//
// The sums are taken from one extended-precision real FFT of length N': sample N' has the phases of sample 0
// (k N' is a whole number of turns), so the N' + 1 samples fold onto one period exactly.
#include <cstdint>
#include <vector>

#include "core/complex.h"
#include "core/frequency_band.h"
#include "core/progress.h"

namespace kelvora {

// Transform slots: each chooses a band row and a cache.
inline constexpr int kTransformSlotCount = 8;
inline constexpr int kTemperatureBandSlot = 1;   // normalised T record, T band selector
inline constexpr int kBloodFlowBandSlot = 2;     // normalised BF record, BF band selector
inline constexpr int kFourierFrequencySlot = 3;  // Fourier page, frequency filtering
inline constexpr int kFurieTSlot = 4;            // normalised T record for FurieT
inline constexpr int kTemperatureSpareSlot = 5;  // unused; cleared with T loads
inline constexpr int kBloodFlowSpareSlot = 6;    // unused; cleared with BF loads
inline constexpr int kFurieBFSlot = 7;           // normalised BF record for FurieBF
inline constexpr int kFourierAmplitudeSlot = 8;  // Fourier page, amplitude filtering

// Padding of the transform: samples added at each end, and the raise added to every sample.
inline constexpr int kEdgeSampleCount = 600;
inline constexpr double kSignalRaise = 2.0;

// The result of one transform call.
struct BandSpectrum {
  int slot = 0;
  double sampleRateHz = 0.0;
  int paddedLastIndex = -1;           // N' = N + 1200; -1 when the input was empty
  int lowBin = 1;                     // k_lo, at least 1
  int highBin = 0;                    // k_hi; the band holds no bin when highBin < lowBin
  std::vector<double> padded;         // the padded, raised signal, indices 0 .. N'
  std::vector<Complex> coefficients;  // C[0 .. k_hi]: C[0] and C[k_lo .. k_hi] valid, bins between are (0, 0)
  std::vector<double> frequencies;    // f[0 .. k_hi], Hz
  long long computedBins = 0;         // coefficients this call computed (C[0] included); the rest were cached

  bool empty() const { return paddedLastIndex < 0; }
  // t[n] = n / fs, seconds.
  double time(int n) const { return static_cast<double>(n) / sampleRateHz; }
};

// The padded signal of x[0 .. N]: 600 x[0], then x, then 600 x[N], each raised by +2.0. Empty x gives empty.
std::vector<double> PadSignal(const std::vector<double>& x);

// round(paddedLastIndex * frequencyHz / sampleRateHz) to the nearest integer, ties to even, computed in extended
// precision. Not clamped; a non-finite frequency or a rate below 1 gives 0.
long long BinIndex(int paddedLastIndex, double frequencyHz, int sampleRateHz);

// The owned transform state: the band table of the eight slots, their caches and the last slot.
// Not thread-safe: one thread calls it at a time (the computation inside spreads itself over worker threads).
class BandTransform {
 public:
  BandTransform();

  // The band of slot 1 .. 8 (0 .. 0 Hz at start). setBand stores it unchanged; the transform clamps the high
  // edge to fs / 2 and writes the clamped value back here. Slot numbers outside 1 .. 8 throw std::out_of_range.
  FrequencyBand band(int slot) const;
  void setBand(int slot, FrequencyBand band);

  // Invalidates every cached coefficient of a slot. Whoever replaces the signal of a slot clears it; a change of
  // fs does not need it (the coefficients do not depend on fs).
  void clearSlot(int slot);
  // A new T record: slots 1, 4 and 5.
  void clearTemperatureSlots();
  // A new BF record: slots 2, 6 and 7.
  void clearBloodFlowSlots();
  // A new signal on the Fourier page: slots 3 and 8.
  void clearFourierPageSlots();
  void clearAllSlots();

  // True when bin k of the slot is cached.
  bool isCached(int slot, int k) const;
  // The slot of the latest completed call; 0 before any.
  int lastSlot() const { return m_lastSlot; }
  // Coefficients computed (not taken from a cache) since construction, C[0] included; for tests.
  long long computedBinCount() const { return m_computedBins; }

  // Transforms x[0 .. N] (N = x.size() - 1) over the band of `slot` at sample rate `sampleRateHz` (values below
  // 1 are taken as 1). Clamps the band's high edge to fs / 2 (written back), sets k_lo and k_hi (a k_lo of 0
  // becomes 1; a negative k_hi becomes 0), takes cached bins from the slot and computes the others, stores
  // them in the slot cache and sets the last slot. If the cache of the slot was filled from a signal of another
  // padded length it is cleared first. Empty x gives an empty spectrum and changes nothing.
  // Progress: range 0 .. k_hi, position k_hi with the text "100%" once the bins are there, position back to 0 at
  // the end. Cost: when any bin of the band is missing, one long-double real FFT of length N' (O(N' log N'),
  // about 2 ms for N' = 21,200; the plan is made once per length and kept), on the calling thread; otherwise
  // only copies. The values equal the direct sums to within a few units of extended-precision rounding.
  BandSpectrum transform(int slot, const std::vector<double>& x, int sampleRateHz,
                         ProgressSink& progress = NullProgress());

 private:
  struct SlotCache {
    FrequencyBand band;
    int paddedLastIndex = -1;
    std::vector<Complex> values;
    std::vector<std::uint8_t> valid;
  };
  SlotCache& slotCache(int slot);
  const SlotCache& slotCache(int slot) const;

  SlotCache m_slots[kTransformSlotCount];
  int m_lastSlot = 0;
  long long m_computedBins = 0;
};

}  // namespace kelvora
