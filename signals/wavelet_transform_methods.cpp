#include "signals/wavelet_transform_methods.h"

#include <algorithm>
#include <thread>

#include "wavelet/wavelet_conversion.h"

namespace kelvora {

namespace {

ConversionResult FromRun(const WaveletRunResult& run) {
  if (run.completed()) return ConversionResult::Success(run.output);
  if (run.status == WaveletRunStatus::Stopped) return ConversionResult::Failure(ProblemKind::kStopped);
  return ConversionResult::Failure(run.error ? *run.error : Problem{ProblemKind::kWaveletNotRun});
}

}  // namespace

WaveletMethods::WaveletMethods() {
  setThreads(static_cast<int>(std::thread::hardware_concurrency()));
}

WaveletMethods::~WaveletMethods() = default;

void WaveletMethods::setThreads(int threads) {
  m_threads = std::clamp(threads, kWaveletMinThreads, kWaveletMaxThreads);
}

WaveletEngine& WaveletMethods::engine() {
  std::lock_guard<std::mutex> lock(m_allocation);
  if (!m_engine) {
    m_engine = std::make_unique<WaveletEngine>();
    m_page = std::make_unique<WaveletFiltering>(*m_engine);
  }
  return *m_engine;
}

WaveletFiltering& WaveletMethods::page() {
  engine();
  return *m_page;
}

void WaveletMethods::stop() {
  std::lock_guard<std::mutex> lock(m_allocation);
  if (m_engine) m_engine->requestStop();
}

ConversionResult WaveletMethods::convert(const WaveletConversionInput& input, ProgressSink& progress) {
  WaveLetTInput request;
  request.normalizedT = input.normalizedT;
  request.tMinimum = input.tMinimum;
  request.tMaximum = input.tMaximum;
  request.tBand = input.band;
  request.model = input.model;
  request.tissue = input.tissue;
  request.delays = input.delays.value_or(m_delayRule.load());
  request.type = input.type.value_or(m_conversionType.load());
  request.nonlinear = input.nonlinear;
  request.scaling = input.scaling;
  request.scaleA = input.a;
  request.scaleB = input.b;
  request.threads = m_threads;
  const WaveLetTResult result = WaveLetT(engine(), request, progress);
  if (result.completed()) return ConversionResult::Success(result.bfStar);
  if (result.status == WaveletRunStatus::Stopped) return ConversionResult::Failure(ProblemKind::kStopped);
  return ConversionResult::Failure(result.error ? *result.error : Problem{ProblemKind::kWaveletNotRun});
}

ConversionResult WaveletMethods::filter(Side side, const std::vector<double>& normalized, double lowHz,
                                        double highHz, ProgressSink& progress) {
  const WaveletRunSettings settings{m_filterType, m_threads};
  const WaveletSource source = side == Side::Temperature ? WaveletSource::Temperature : WaveletSource::BloodFlow;
  return FromRun(page().WMorlPaul(normalized, FrequencyBand{lowHz, highHz}, source, settings, progress));
}

void InstallWaveletMethods(TransformSession& session, std::shared_ptr<WaveletMethods> methods) {
  session.setWaveletConverter([methods](const WaveletConversionInput& input, ProgressSink& progress) {
    return methods->convert(input, progress);
  });
  session.setWaveletBandFilter(
      [methods](Side side, const std::vector<double>& normalized, double lowHz, double highHz, int,
                ProgressSink& progress) { return methods->filter(side, normalized, lowHz, highHz, progress); });
}

}  // namespace kelvora
