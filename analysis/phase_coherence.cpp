#include "analysis/phase_coherence.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <limits>
#include <memory>
#include <new>
#include <numbers>
#include <stdexcept>

#include "analysis/coherence_progress.h"
#include "analysis/coherence_rows.h"
#include "analysis/iaaft_surrogate.h"
#include "analysis/protocol_segments.h"
#include "core/parallel_tasks.h"
#include "core/percent_progress.h"

namespace kelvora {

namespace {

// The surrogate streams of the two records (SurrogateSeed's `stream`).
constexpr std::uint64_t kTemperatureStream = 0;
constexpr std::uint64_t kBloodFlowStream = 1;
// The threshold's percentile.
constexpr double kThresholdQuantile = 0.95;
// For the progress, a surrogate counts as half the rows of its pair (it advances by its IAAFT's share).

CoherenceOutcome Failure(CoherenceErrorKind kind) {
  CoherenceOutcome outcome;
  outcome.error = CoherenceError{kind, {}, -1};
  return outcome;
}

CoherenceOutcome AnalysisFailure(AnalysisErrorKind kind, int record, long long sample = -1) {
  CoherenceOutcome outcome;
  outcome.error = CoherenceError{CoherenceErrorKind::kAnalysis, AnalysisError{kind, sample}, record};
  return outcome;
}

bool PositiveFinite(double value) { return value > 0.0 && std::isfinite(value); }

double Median(std::vector<double> values) {
  std::sort(values.begin(), values.end());
  const std::size_t m = values.size();
  return m % 2 == 1 ? values[m / 2] : 0.5 * (values[m / 2 - 1] + values[m / 2]);
}

std::optional<double> Mean(long double sum, int count) {
  if (count == 0) return std::nullopt;
  return static_cast<double>(sum / count);
}

CoherenceBandRow BandRowOf(const AnalysisBand& band, std::span<const CoherencePoint> points, double centreFrequency) {
  CoherenceBandRow row;
  row.band = band;
  long double coherenceSum = 0.0L, thresholdSum = 0.0L, lagSum = 0.0L;
  int withCoherence = 0, withThreshold = 0, significant = 0;
  std::vector<double> depths;
  const CoherencePoint* lowest = nullptr;
  for (const CoherencePoint& point : points) {
    if (point.frequencyHz < band.range.low || point.frequencyHz >= band.range.high) continue;
    if (lowest == nullptr) lowest = &point;
    ++row.frequencyCount;
    if (point.coherence) {
      coherenceSum += *point.coherence;
      ++withCoherence;
    }
    if (point.threshold) {
      thresholdSum += *point.threshold;
      ++withThreshold;
    }
    if (point.lagSeconds) lagSum += *point.lagSeconds;
    if (point.significant) ++significant;
    if (point.depthMm) depths.push_back(*point.depthMm);
  }
  row.coherence = Mean(coherenceSum, withCoherence);
  row.threshold = Mean(thresholdSum, withThreshold);
  row.lagSeconds = Mean(lagSum, withCoherence);  // a lag exactly where a coherence is
  if (withCoherence > 0) row.significantShare = static_cast<double>(significant) / withCoherence;
  if (!depths.empty()) row.depthMm = Median(std::move(depths));
  if (lowest == nullptr) {
    row.note = BandNote::kNoFrequency;
  } else if (!lowest->coherence) {
    row.note = BandNote::kRecordTooShort;
    row.neededMinutes = NeededRecordMinutes(band.range.low, centreFrequency);
  }
  return row;
}

}  // namespace

CoherenceBandRow CoherenceBandRowOf(const AnalysisBand& band, std::span<const CoherencePoint> points,
                                    double centreFrequency) {
  return BandRowOf(band, points, centreFrequency);
}

std::vector<CoherencePoint> CoherencePointsOf(std::span<const double> frequencies, std::span<const PhaseSum> measured,
                                              std::span<const double> surrogates, int pairs,
                                              const SurrogateThreshold& threshold, const ThermalWaveTissue& tissue) {
  const std::size_t rows = frequencies.size();
  std::vector<CoherencePoint> points(rows);
  std::vector<double> column;
  for (std::size_t j = 0; j < rows; ++j) {
    CoherencePoint& point = points[j];
    point.frequencyHz = frequencies[j];
    point.coherence = Coherence(measured[j]);
    if (!point.coherence) continue;
    // The angle in (-pi, pi]: atan2 gives -pi for a negative real sum with a zero imaginary part of minus sign.
    double angle = std::arg(measured[j].sum);
    if (angle <= -std::numbers::pi) angle = std::numbers::pi;
    point.lagSeconds = angle / (2.0 * std::numbers::pi * point.frequencyHz);
    column.clear();
    for (int p = 0; p < pairs; ++p) {
      const double value = surrogates[static_cast<std::size_t>(p) * rows + j];
      if (!std::isnan(value)) column.push_back(value);
    }
    if (!column.empty()) point.threshold = threshold(column);
    point.significant = point.threshold && *point.coherence > *point.threshold;
    if (point.significant) point.depthMm = ThermalDepthMm(*point.lagSeconds, point.frequencyHz, tissue);
  }
  return points;
}

void AddCoherenceBandRows(CoherenceResult& result, const AnalysisOptions& analysis) {
  const FrequencyBand range = AnalysisFrequencyRange(analysis);
  constexpr double kEdgeTolerance = 1e-12;  // as the band table
  for (const AnalysisBand& band : analysis.bands) {
    const bool inside = band.range.low >= range.low * (1.0 - kEdgeTolerance) &&
                        band.range.high <= range.high * (1.0 + kEdgeTolerance);
    if (!inside) {
      result.omitted.push_back(band);
      continue;
    }
    result.bands.push_back(BandRowOf(band, result.points, analysis.centreFrequency));
    for (CoherenceSegmentResult& part : result.segments) {
      CoherenceBandRow row = BandRowOf(band, part.points, analysis.centreFrequency);
      if (row.note != BandNote::kNoFrequency) {
        const SampleRange samples =
            SamplesInInterval(part.segment.startS, part.segment.endS, analysis.sampleRateHz, result.sampleCount);
        if (static_cast<double>(samples.size()) / analysis.sampleRateHz < kSegmentPeriods / band.range.low) {
          row.note = BandNote::kSegmentTooShort;
          row.neededMinutes = NeededSegmentMinutes(band.range.low);
        } else if (row.note == BandNote::kRecordTooShort) {
          row.note = BandNote::kSegmentOutsideCone;
          row.neededMinutes = 0.0;
        }
      }
      part.bands.push_back(std::move(row));
    }
  }
}

bool CoherenceValuesFinite(const CoherenceResult& result) {
  auto finite = [](const std::optional<double>& v) { return !v || std::isfinite(*v); };
  auto allFinite = [&](const std::vector<CoherencePoint>& points) {
    for (const CoherencePoint& p : points)
      if (!finite(p.coherence) || !finite(p.threshold) || !finite(p.lagSeconds) || !finite(p.depthMm)) return false;
    return true;
  };
  if (!allFinite(result.points)) return false;
  for (const CoherenceSegmentResult& part : result.segments)
    if (!allFinite(part.points)) return false;
  return true;
}


std::optional<CoherenceError> CheckCoherenceOptions(const CoherenceOptions& options) {
  if (const auto fault = CheckAnalysisOptions(options.analysis))
    return CoherenceError{CoherenceErrorKind::kAnalysis, *fault, -1};
  const ThermalWaveTissue& tissue = options.tissue;
  if (!PositiveFinite(tissue.lambda) || !PositiveFinite(tissue.rho) || !PositiveFinite(tissue.heatCapacity))
    return CoherenceError{CoherenceErrorKind::kBadTissue, {}, -1};
  if (options.surrogatePairs < 0 || options.surrogatePairs > kMaxSurrogatePairs)
    return CoherenceError{CoherenceErrorKind::kBadSurrogateCount, {}, -1};
  return std::nullopt;
}

std::optional<double> ThermalDepthMm(double lagSeconds, double frequencyHz, const ThermalWaveTissue& tissue) {
  if (!(frequencyHz > 0.0) || !(lagSeconds > 0.0) || !(lagSeconds < 1.0 / (2.0 * frequencyHz))) return std::nullopt;
  const double diffusivity = tissue.lambda / (tissue.rho * tissue.heatCapacity);
  const double depthM = 2.0 * lagSeconds * std::sqrt(std::numbers::pi * frequencyHz * diffusivity);
  if (!std::isfinite(depthM)) return std::nullopt;
  return depthM * 1000.0;
}

CoherenceOutcome AnalyzeCoherence(std::span<const double> temperature, std::span<const double> bloodFlow,
                                  const CoherenceOptions& options, ProgressSink& progress) {
  if (auto fault = CheckCoherenceOptions(options)) {
    CoherenceOutcome outcome;
    outcome.error = *fault;
    return outcome;
  }
  if (temperature.empty()) return AnalysisFailure(AnalysisErrorKind::kNoSamples, 0);
  if (bloodFlow.empty()) return AnalysisFailure(AnalysisErrorKind::kNoSamples, 1);
  const std::size_t count = std::min(temperature.size(), bloodFlow.size());
  const std::span<const double> records[2] = {temperature.first(count), bloodFlow.first(count)};
  for (int r = 0; r < 2; ++r)
    for (std::size_t i = 0; i < count; ++i)
      if (!std::isfinite(records[r][i]))
        return AnalysisFailure(AnalysisErrorKind::kNonFiniteSample, r, static_cast<long long>(i));

  const AnalysisOptions& analysis = options.analysis;
  CoherenceOutcome outcome;
  CoherenceResult& result = outcome.result;
  result.sampleCount = static_cast<long long>(count);
  result.truncated = temperature.size() != bloodFlow.size();
  result.droppedSamples = static_cast<long long>(std::max(temperature.size(), bloodFlow.size()) - count);
  result.longerRecord = !result.truncated ? -1 : temperature.size() > bloodFlow.size() ? 0 : 1;
  result.sampleRateHz = analysis.sampleRateHz;

  const int pairs = options.surrogatePairs;
  // Slice 0 is the whole records, slice 1 + k segment k: the same rows averaged over other samples.
  const std::size_t parts = 1 + options.segments.size();
  // Slice q, pair p, row j at p * J + j; NaN where the row has no valid sample.
  std::vector<std::vector<double>> surrogateCoherence(parts);
  std::vector<std::vector<PhaseSum>> measured(parts);
  std::vector<SampleRange> segmentSamples(parts);  // slice 0: every sample
  std::vector<double> frequencies;
  std::atomic<bool> stop{false};
  std::atomic<bool> outOfMemory{false};
  // Progress in row units: the measured pair's rows, then per surrogate pair its rows and as many for its two
  // surrogates.
  std::atomic<long long> done{0};
  ParallelTaskControl control;
  control.threads = CappedThreadCount(analysis.threads);
  control.threadName = "Coherence";
  control.stop = &stop;
  control.progress = &progress;  // asked on the calling thread only; the workers read the flag
  try {
    // One set of kernels for the two records and every surrogate: they share length, rate, f0 and grid.
    const auto kernels = std::make_shared<const CoherenceKernels>(result.sampleCount, analysis.sampleRateHz,
                                                                  analysis.centreFrequency, AnalysisFrequencies(analysis));
    frequencies = kernels->frequencies();
    const std::size_t rows = frequencies.size();
    const auto rowCount = static_cast<long long>(rows);
    const long long perSurrogate = std::max(1LL, rowCount / 2) * kCoherenceUnitsPerRow;
    const long long rowUnits = rowCount * kCoherenceUnitsPerRow;
    const long long total = rowUnits + static_cast<long long>(pairs) * (rowUnits + 2 * perSurrogate);
    PercentProgress shown(progress, 0, total);
    shown.setHeartbeat(std::chrono::milliseconds(250));
    // The position goes back to the start however the run ends.
    struct FinishShown {
      PercentProgress& shown;
      ~FinishShown() { shown.finish(); }
    } finishShown{shown};
    control.onWake = [&shown, &done] { shown.update(done.load(std::memory_order_relaxed)); };

    // The surrogates are made from the detrended records (the values the transforms saw) and transformed as
    // they are: the same values and nearly the same spectrum as what the coherence was measured on.
    std::vector<double> detrended[2] = {Detrended(records[0], analysis.detrend),
                                        Detrended(records[1], analysis.detrend)};
    const CoherenceSpectra spectra[2] = {CoherenceSpectra(detrended[0], kernels),
                                         CoherenceSpectra(detrended[1], kernels)};
    // What the surrogates of each record share, made once for all of them.
    std::optional<IaaftReference> references[2];
    if (pairs > 0) {
      references[0].emplace(detrended[0]);
      references[1].emplace(detrended[1]);
    }
    detrended[0] = {};
    detrended[1] = {};
    segmentSamples[0] = SampleRange{0, static_cast<long long>(result.sampleCount) - 1};
    for (std::size_t q = 1; q < parts; ++q) {
      const Segment& segment = options.segments[q - 1];
      segmentSamples[q] = SamplesInInterval(segment.startS, segment.endS, analysis.sampleRateHz, result.sampleCount);
    }
    for (std::vector<PhaseSum>& sums : measured) sums.resize(rows);

    // One small workspace per worker: a few arrays of one row's kernel terms and FFT length.
    std::vector<std::unique_ptr<CoherenceWorkspace>> scratch(static_cast<std::size_t>(kMaxTaskThreads));
    auto scratchOf = [&scratch](int worker) -> CoherenceWorkspace& {
      std::unique_ptr<CoherenceWorkspace>& s = scratch[static_cast<std::size_t>(worker)];
      if (!s) s = std::make_unique<CoherenceWorkspace>();
      return *s;
    };
    RunParallelTasks(rowCount, control, [&](long long j, int worker) {
      try {
        const auto row = static_cast<std::size_t>(j);
        std::vector<PhaseSum> sums(parts);
        if (!SumPhaseDifferencesOver(spectra[0], spectra[1], row, segmentSamples, sums, scratchOf(worker), &stop)) return;
        for (std::size_t q = 0; q < parts; ++q) measured[q][row] = sums[q];
        done.fetch_add(kCoherenceUnitsPerRow, std::memory_order_relaxed);
      } catch (const std::bad_alloc&) {
        outOfMemory = true;
        stop = true;
      }
    });
    if (outOfMemory) return Failure(CoherenceErrorKind::kOutOfMemory);
    if (stop || progress.stopRequested()) {
      progress.setPosition(done.load());
      return Failure(CoherenceErrorKind::kStopped);
    }
    shown.update(done.load());

    if (pairs > 0) {
      for (std::vector<double>& values : surrogateCoherence) values.assign(static_cast<std::size_t>(pairs) * rows, 0.0);
      RunParallelTasks(pairs, control, [&](long long pair, int worker) {
        try {
          const auto index = static_cast<std::uint64_t>(pair);
          // A surrogate's progress by its IAAFT's share, topped up when it ends; a stop ends it within a round.
          auto surrogate = [&](int record, std::uint64_t stream) {
            SurrogateProgress counted(done, perSurrogate);
            IaaftOptions iaaft;
            iaaft.stop = &stop;
            iaaft.onShare = [&counted](double share) { counted.reach(share); };
            IaaftSurrogate made = MakeIaaftSurrogate(*references[record], SurrogateSeed(options.seed, stream, index), iaaft);
            if (!made.stopped) counted.finish();
            return made;
          };
          const IaaftSurrogate t = surrogate(0, kTemperatureStream);
          if (t.stopped || stop) return;
          const IaaftSurrogate bf = surrogate(1, kBloodFlowStream);
          if (bf.stopped || stop) return;
          const CoherenceSpectra ts(t.values, kernels, &stop);
          const CoherenceSpectra bfs(bf.values, kernels, &stop);
          if (stop) return;
          CoherenceWorkspace& workspace = scratchOf(worker);
          const std::size_t offset = static_cast<std::size_t>(pair) * rows;
          std::vector<PhaseSum> sums(parts);
          for (std::size_t j = 0; j < rows; ++j) {
            if (stop) return;
            if (!SumPhaseDifferencesOver(ts, bfs, j, segmentSamples, sums, workspace, &stop)) return;
            for (std::size_t q = 0; q < parts; ++q) {
              const std::optional<double> pi = Coherence(sums[q]);
              surrogateCoherence[q][offset + j] = pi ? *pi : std::numeric_limits<double>::quiet_NaN();
            }
            done.fetch_add(kCoherenceUnitsPerRow, std::memory_order_relaxed);
          }
        } catch (const std::bad_alloc&) {
          outOfMemory = true;
          stop = true;
        }
      });
      if (outOfMemory) return Failure(CoherenceErrorKind::kOutOfMemory);
      if (stop || progress.stopRequested()) {
        // The rows done up to the stop, before the position goes back to the start.
        progress.setPosition(done.load());
        return Failure(CoherenceErrorKind::kStopped);
      }
      shown.update(total);
    }
  } catch (const std::length_error&) {
    return AnalysisFailure(AnalysisErrorKind::kTooLong, -1);
  } catch (const std::bad_alloc&) {
    return Failure(CoherenceErrorKind::kOutOfMemory);
  }

  const SurrogateThreshold weibull = [](std::vector<double>& values) {
    return std::optional<double>(WeibullQuantile(values, kThresholdQuantile));
  };
  result.points = CoherencePointsOf(frequencies, measured[0], surrogateCoherence[0], pairs, weibull, options.tissue);
  for (std::size_t q = 1; q < parts; ++q) {
    CoherenceSegmentResult part;
    part.segment = options.segments[q - 1];
    part.points = CoherencePointsOf(frequencies, measured[q], surrogateCoherence[q], pairs, weibull, options.tissue);
    result.segments.push_back(std::move(part));
  }
  if (!CoherenceValuesFinite(result)) return AnalysisFailure(AnalysisErrorKind::kValuesTooLarge, -1);
  AddCoherenceBandRows(result, analysis);
  return outcome;
}

}  // namespace kelvora
