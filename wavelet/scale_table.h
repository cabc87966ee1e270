#pragma once
// The wavelet scale table and the rules that turn a frequency band into scale indices.
#include "wavelet/wavelet_types.h"

namespace kelvora {

// Scale of index k in samples: 2000 * fs * k^-1.48 (sign-preserving power), extended precision.
// k >= 1; fs the integer sample rate in Hz (the wavelet run uses 2).
long double WaveletScale(int k, int sampleRateHz = kWaveletSampleRateHz);

// Morlet centre frequency of scale index k in Hz: 0.79 / (2000 * k^-1.48) = 0.000395 * k^1.48; rises with k.
double ScaleIndexFrequencyHz(int k);

// Nearest scale index of frequency f (Hz) by the run's rule: round((0.79 / (2000 f))^-0.6756756756756757).
// f <= 0 gives 0. No clamping.
int FrequencyToScaleIndex(double frequencyHz);

// The run's index range of a band: k_first from the low edge (0 becomes 1), k_last from the high edge (a value
// above 300 becomes 299; 300 itself stays). A reversed band gives an empty range.
ScaleRange BandToScaleRange(FrequencyBand band);

// The "previous computed range" recorded when a signal is loaded: k = round((0.79 / (F * 0.65))^0.826) for each
// edge; first from the high edge (at least 1), last from the low edge (200 when above 300).
ScaleRange PreviousRangeFromBand(FrequencyBand band);

// The wavelet strip's rule for the low edge: a low frequency of 0 (or below) becomes 0.0001 Hz, which keeps the
// band-to-index formula defined. Other values are kept as they are.
FrequencyBand ApplyWaveletLowEdgeRule(FrequencyBand band);

// The scale table a[k], k = 1 .. 300, at the wavelet sample rate; a[0] is unused.
class ScaleTable {
 public:
  ScaleTable();
  // a[k] for 1 <= k <= 300.
  long double operator[](int k) const { return m_scales[k]; }

 private:
  long double m_scales[kWaveletScaleCount + 1];
};

}  // namespace kelvora
