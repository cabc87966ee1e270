#include "wavelet/wavelet_types.h"

namespace kelvora {

WaveletError WaveletTooLong(std::size_t samples) {
  return CountProblem(ProblemKind::kWaveletTooLong, static_cast<long long>(samples), kWaveletMaxSamples);
}

}  // namespace kelvora
