#pragma once
// A frequency band in hertz, as the band selectors and presets hold it.

namespace kelvora {

struct FrequencyBand {
  double low = 0.0;   // lower edge, Hz
  double high = 0.0;  // upper edge, Hz
};

// The physiological presets.
inline constexpr FrequencyBand kEndothelialBand{0.005, 0.02};
inline constexpr FrequencyBand kNeurogenicBand{0.02, 0.05};
inline constexpr FrequencyBand kMyogenicBand{0.05, 0.15};

}  // namespace kelvora
