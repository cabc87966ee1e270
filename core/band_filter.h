#pragma once
// The Fourier band filter: the band-limited spectrum of a slot's signal, an optional amplitude rule, and the
// kept coefficients summed back in time.
#include <atomic>
#include <cstdint>
#include <vector>

#include "core/band_transform.h"
#include "core/complex.h"
#include "core/progress.h"

namespace kelvora {

struct BandFilterRequest {
  int slot = kFourierFrequencySlot;  // 1 (T band), 2 (BF band), 3 (frequency filtering) or 8 (amplitude)
  std::vector<double> signal;        // the slot's normalised samples 0 .. N
  double minimum = 0.0;              // the record's minimum and maximum in its own units, for the de-normalised
  double maximum = 1.0;              // output (v - 2)(maximum - minimum) + minimum
  int sampleRateHz = 2;
  double amplitudeLowPercent = 0.0;     // slot 8: bins below |C[1]| * low / 100 are removed
  double amplitudeHighPercent = 100.0;  // slot 8: bins above |C[1]| * high / 100 are removed
};

// One bar of the spectrum chart: the bin frequency and |C[k]|, or 0 for a removed bin.
struct SpectrumBar {
  double frequencyHz = 0.0;
  double height = 0.0;
};

enum class BandFilterStatus {
  kDone,
  kBusy,           // another run of this filter was in progress: nothing was done
  kInvalidSlot,    // the slot is not 1, 2, 3 or 8
  kEmptySignal,    // no samples
  kInvalidSignal,  // a sample is not finite
};

struct BandFilterResult {
  BandFilterStatus status = BandFilterStatus::kDone;
  // With v = |y[600 + i]| for i = 0 .. N:
  std::vector<double> filtered;            // slots 1 and 2: v - 2; slots 3 and 8: v (the +2 raise kept)
  std::vector<double> signalUnits;         // (v - 2)(maximum - minimum) + minimum: what the chart shows
  std::vector<SpectrumBar> bars;           // slots 3 and 8: k = max(k_lo, 1) .. k_hi
  std::vector<Complex> conjugateSpectrum;  // conj(C[k]) for k = 0 .. k_hi (only C[0] and the band are valid)
  std::vector<std::uint8_t> excluded;      // k = 0 .. k_hi: 1 = removed by the amplitude rule
  std::vector<Complex> reconstruction;     // y[n], n = 0 .. N'
  int lowBin = 1;
  int highBin = 0;
  int paddedLastIndex = -1;
  long long computedBins = 0;  // bins the transform computed rather than took from its cache

  bool ok() const { return status == BandFilterStatus::kDone; }
};

// The filter over a BandTransform it does not own (the caches and the band table live there: set the slot's
// band with BandTransform::setBand before running). The zero-frequency coefficient is always kept, bins outside
// k_lo .. k_hi are dropped; no window, no mean removal beyond the padding.
class BandFilter {
 public:
  explicit BandFilter(BandTransform& transform);

  // Runs the filter for request.slot. A call while another run is in progress returns at once with kBusy (no
  // queueing). Slot 8 removes, for k >= 1, bins with |C[k]| < |C[1]| low/100 or |C[k]| > |C[1]| high/100; when
  // bin 1 lies outside the band there is no reference and nothing is removed. Progress: the transform's bins,
  // then the reconstruction's samples. Cost: one transform (cached bins free) and one reconstruction. The
  // transform is not thread-safe, so runs on one BandTransform come from one thread or are serialised by this
  // guard.
  BandFilterResult run(const BandFilterRequest& request, ProgressSink& progress = NullProgress());

  // True while a run is in progress.
  bool running() const { return m_running.load(); }

 private:
  BandTransform& m_transform;
  std::atomic<bool> m_running{false};
};

}  // namespace kelvora
