#pragma once
// The settings a filtered signal of the Fourier or wavelet page was made with, taken when its run starts, so that
// its files describe the run and not what the page's controls hold when it is saved.
#include <optional>
#include <string>

#include "core/frequency_band.h"
#include "wavelet/wavelet_types.h"

namespace kelvora {

enum class FilterMethod { FourierFrequency, FourierAmplitude, Wavelet };

struct FilterProvenance {
  FilterMethod method = FilterMethod::FourierFrequency;
  FrequencyBand band{0.0, 0.0};          // Hz; the frequency and wavelet filters
  double amplitudeLowPercent = 0.0;      // the amplitude filter's range, percent of the largest amplitude
  double amplitudeHighPercent = 100.0;
  std::optional<WaveletType> wavelet;    // the wavelet filter
  int sampleRateHz = 2;                  // the rate of the filtered signal
  std::string programVersion = KELVORA_VERSION;
};

}  // namespace kelvora
