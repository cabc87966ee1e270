#include "analysis/record_analysis.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <memory>
#include <new>
#include <stdexcept>

#include "analysis/frequency_grid.h"
#include "analysis/protocol_segments.h"
#include "core/parallel_tasks.h"
#include "core/percent_progress.h"

namespace kelvora {

namespace {

AnalysisOutcome Failure(AnalysisErrorKind kind, long long sample = -1) {
  AnalysisOutcome outcome;
  outcome.error = AnalysisError{kind, sample};
  return outcome;
}

bool Finite(const std::optional<double>& value) { return !value || std::isfinite(*value); }

// Whether every value a chart or a file would show is finite: squares of samples beyond about 1e154 overflow.
bool AllFinite(const AnalysisResult& result) {
  for (const SpectrumPoint& point : result.spectrum)
    if (!Finite(point.amplitude) || !Finite(point.power)) return false;
  for (const BandRow& row : result.table.rows) {
    if (!Finite(row.amplitude) || !Finite(row.power) || !Finite(row.relativeAmplitude) ||
        !Finite(row.relativePower))
      return false;
  }
  for (const SegmentAnalysis& segment : result.segments) {
    for (const SpectrumPoint& point : segment.spectrum)
      if (!Finite(point.amplitude) || !Finite(point.power)) return false;
    for (const BandRow& row : segment.table.rows)
      if (!Finite(row.amplitude) || !Finite(row.power) || !Finite(row.relativeAmplitude) ||
          !Finite(row.relativePower))
        return false;
  }
  for (std::size_t j = 0; j < result.picture.rows(); ++j)
    for (int c = 0; c < result.picture.columns(); ++c)
      if (!std::isfinite(result.picture.amplitude(j, c)) || !std::isfinite(result.picture.power(j, c))) return false;
  return true;
}

}  // namespace

double DefaultMaxFrequencyHz(double sampleRateHz) { return std::min(2.0, sampleRateHz / 3.0); }

FrequencyBand AnalysisFrequencyRange(const AnalysisOptions& options) {
  const double high =
      options.maxFrequencyHz > 0.0 ? options.maxFrequencyHz : DefaultMaxFrequencyHz(options.sampleRateHz);
  return FrequencyBand{options.minFrequencyHz, high};
}

std::optional<AnalysisError> CheckAnalysisOptions(const AnalysisOptions& options) {
  auto fault = [](AnalysisErrorKind kind) { return std::optional<AnalysisError>(AnalysisError{kind, -1}); };
  if (!(options.sampleRateHz > 0.0) || !std::isfinite(options.sampleRateHz))
    return fault(AnalysisErrorKind::kBadSampleRate);
  if (!(options.centreFrequency >= kMinCentreFrequency && options.centreFrequency <= kMaxCentreFrequency))
    return fault(AnalysisErrorKind::kBadCentreFrequency);
  if (options.voicesPerOctave < 1 || options.voicesPerOctave > kMaxVoicesPerOctave)
    return fault(AnalysisErrorKind::kBadVoices);
  const FrequencyBand range = AnalysisFrequencyRange(options);
  if (!(range.low > 0.0) || !(range.high >= range.low) || !(range.high <= options.sampleRateHz / 2.0) ||
      !(options.maxFrequencyHz >= 0.0))
    return fault(AnalysisErrorKind::kBadFrequencyRange);
  if (AnalysisFrequencies(options).empty()) return fault(AnalysisErrorKind::kNoFrequencies);
  if (options.threads < 0 || options.threads > kMaxAnalysisThreads) return fault(AnalysisErrorKind::kBadThreads);
  if (options.pictureColumns < 0) return fault(AnalysisErrorKind::kBadPictureColumns);
  return std::nullopt;
}

std::vector<double> AnalysisFrequencies(const AnalysisOptions& options) {
  const FrequencyBand range = AnalysisFrequencyRange(options);
  return VoiceFrequencies(range.low, range.high, options.voicesPerOctave);
}

MorletTransform MakeAnalysisTransform(std::span<const double> values, const AnalysisOptions& options) {
  // The detrended copy is only needed until the transform holds its FFT.
  const std::vector<double> detrended = Detrended(values, options.detrend);
  return MorletTransform(detrended, options.sampleRateHz, options.centreFrequency, AnalysisFrequencies(options));
}

MorletTransform MakeAnalysisTransform(std::span<const double> values, const AnalysisOptions& options,
                                      std::shared_ptr<const MorletKernels> kernels) {
  const std::vector<double> detrended = Detrended(values, options.detrend);
  return MorletTransform(detrended, std::move(kernels));
}

std::shared_ptr<const MorletKernels> MakeAnalysisKernels(long long sampleCount, const AnalysisOptions& options) {
  return std::make_shared<const MorletKernels>(sampleCount, options.sampleRateHz, options.centreFrequency,
                                               AnalysisFrequencies(options));
}

AnalysisOutcome AnalyzeRecord(std::span<const double> values, const AnalysisOptions& options,
                              ProgressSink& progress) {
  if (const auto fault = CheckAnalysisOptions(options)) return Failure(fault->kind);
  if (values.empty()) return Failure(AnalysisErrorKind::kNoSamples);
  for (std::size_t i = 0; i < values.size(); ++i)
    if (!std::isfinite(values[i])) return Failure(AnalysisErrorKind::kNonFiniteSample, static_cast<long long>(i));

  const FrequencyBand range = AnalysisFrequencyRange(options);
  AnalysisOutcome outcome;
  AnalysisResult& result = outcome.result;
  try {
    const MorletTransform transform = MakeAnalysisTransform(values, options);
    const std::size_t rows = transform.frequencyCount();
    result.sampleCount = static_cast<long long>(values.size());
    result.sampleRateHz = options.sampleRateHz;
    result.centreFrequency = options.centreFrequency;
    result.frequencyRange = range;
    result.frequenciesHz = transform.frequencies();
    result.validRanges = transform.validRanges();
    result.spectrum.resize(rows);
    for (const Segment& segment : options.segments) {
      SegmentAnalysis part;
      part.segment = segment;
      part.samples = SamplesInInterval(segment.startS, segment.endS, options.sampleRateHz, result.sampleCount);
      part.spectrum.resize(rows);
      result.segments.push_back(std::move(part));
    }
    if (options.pictureColumns > 0) result.picture = ScalogramPicture(rows, result.sampleCount, options.pictureColumns);

    std::atomic<bool> stop{false};
    std::atomic<bool> outOfMemory{false};
    PercentProgress shown(progress, 0, static_cast<long long>(rows));
    ParallelTaskControl control;
    control.threads = CappedThreadCount(options.threads);
    control.threadName = "Analysis";
    control.stop = &stop;
    control.progress = &progress;  // asked on the calling thread only; the workers read the flag
    shown.setHeartbeat(std::chrono::milliseconds(250));
    control.onProgress = [&shown](long long done) { shown.update(done); };
    // One workspace per worker: a row's buffer is too large to allocate per row.
    std::vector<std::unique_ptr<MorletWorkspace>> workspaces(static_cast<std::size_t>(kMaxTaskThreads));
    RunParallelTasks(static_cast<long long>(rows), control, [&](long long j, int worker) {
      try {
        std::unique_ptr<MorletWorkspace>& workspace = workspaces[static_cast<std::size_t>(worker)];
        if (!workspace) workspace = std::make_unique<MorletWorkspace>();
        const auto row = static_cast<std::size_t>(j);
        const std::span<const fft::ComplexD> w = transform.row(row, *workspace);
        result.spectrum[row] = AverageOverValidSamples(result.frequenciesHz[row], w, result.validRanges[row]);
        for (SegmentAnalysis& part : result.segments)
          part.spectrum[row] = AverageOverValidSamples(result.frequenciesHz[row], w,
                                                       Intersection(result.validRanges[row], part.samples));
        if (!result.picture.empty()) result.picture.setRow(row, w, result.validRanges[row]);
      } catch (const std::bad_alloc&) {
        outOfMemory = true;
        stop = true;
      }
    });
    shown.finish();
    if (outOfMemory) return Failure(AnalysisErrorKind::kOutOfMemory);
    if (stop) return Failure(AnalysisErrorKind::kStopped);
  } catch (const std::length_error&) {
    return Failure(AnalysisErrorKind::kTooLong);
  } catch (const std::bad_alloc&) {
    return Failure(AnalysisErrorKind::kOutOfMemory);
  }
  result.table = ComputeBandTable(result.spectrum, result.sampleCount, options.bands, range, options.centreFrequency);
  for (SegmentAnalysis& part : result.segments)
    part.table = ComputeSegmentBandTable(part.spectrum, part.samples.size(), options.sampleRateHz, options.bands, range,
                                         options.centreFrequency);
  if (!AllFinite(result)) return Failure(AnalysisErrorKind::kValuesTooLarge);
  return outcome;
}

}  // namespace kelvora
