#include "wavelet/wavelet_filtering.h"

#include <algorithm>

namespace kelvora {

std::optional<WaveletError> WaveletFiltering::loadSignal(std::span<const double> normalized,
                                                         WaveletSource source) {
  if (normalized.size() > static_cast<std::size_t>(kWaveletMaxSamples))
    return WaveletTooLong(normalized.size());
  if (auto error = m_engine.loadSignal(normalized, m_band)) return error;
  m_signalLoaded = true;
  m_source = source;
  m_signal.assign(normalized.begin(), normalized.end());
  m_output.assign(normalized.size(), 0.0);
  return std::nullopt;
}

WaveletRunResult WaveletFiltering::WMorlPaul(std::span<const double> normalized, FrequencyBand recordBand,
                                             WaveletSource source, const WaveletRunSettings& settings,
                                             ProgressSink& progress) {
  const FrequencyBand previousBand = m_band;
  setBand(recordBand);
  if (auto error = loadSignal(normalized, source)) {
    m_band = previousBand;
    WaveletRunResult refused;
    refused.error = std::move(error);
    return refused;
  }
  return calculate(settings, progress);
}

WaveletRunResult WaveletFiltering::calculate(const WaveletRunSettings& settings, ProgressSink& progress) {
  if (!m_signalLoaded) {
    WaveletRunResult refused;
    refused.error = WaveletError{ProblemKind::kNoSignal};
    return refused;
  }
  const std::span<const double> input = m_engine.input();
  if (!std::equal(input.begin(), input.end(), m_signal.begin(), m_signal.end())) {
    if (auto error = m_engine.loadSignal(m_signal, m_band)) {
      WaveletRunResult refused;
      refused.error = std::move(error);
      return refused;
    }
  }
  WaveletRunRequest request;
  request.band = m_band;
  request.type = settings.type;
  request.threads = settings.threads;
  WaveletRunResult result = m_engine.run(request, progress);
  if (result.completed()) m_output = result.output;
  return result;
}

WaveletRunResult WaveletFiltering::waveletTypeChanged(const WaveletRunSettings& settings, bool automatic,
                                                      ProgressSink& progress) {
  if (!m_signalLoaded || !automatic) return WaveletRunResult{};
  return calculate(settings, progress);
}

}  // namespace kelvora
