#include "wavelet/wavelet_types.h"

namespace kelvora {

std::string WaveletLengthLimitMessage(std::size_t samples) {
  return "The signal has " + std::to_string(samples) + " points; the wavelet transform holds at most " +
         std::to_string(kWaveletMaxSamples) + " points";
}

}  // namespace kelvora
