#include "analysis/phase_coherence.h"

#include <algorithm>
#include <atomic>
#include <cmath>
#include <limits>
#include <memory>
#include <new>
#include <numbers>
#include <stdexcept>

#include "analysis/iaaft_surrogate.h"
#include "analysis/morlet_transform.h"
#include "core/parallel_tasks.h"
#include "core/percent_progress.h"

namespace kelvora {

namespace {

// The surrogate streams of the two records (SurrogateSeed's `stream`).
constexpr std::uint64_t kTemperatureStream = 0;
constexpr std::uint64_t kBloodFlowStream = 1;
// The threshold's percentile.
constexpr double kThresholdQuantile = 0.95;

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

// The mean of exp(i (phi_BF - phi_T)) over the valid samples of one row, as the unnormalised sum and its count:
// each term is BF conj(T) / (|BF| |T|). A sample where either transform is exactly 0 has no phase and is left out.
struct PhaseSum {
  fft::ComplexD sum{0.0, 0.0};
  long long count = 0;
};

PhaseSum SumPhaseDifferences(std::span<const fft::ComplexD> temperature, std::span<const fft::ComplexD> bloodFlow,
                             const SampleRange& valid) {
  PhaseSum result;
  double re = 0.0;
  double im = 0.0;
  for (long long n = valid.first; n <= valid.last; ++n) {
    const fft::ComplexD t = temperature[static_cast<std::size_t>(n)];
    const fft::ComplexD b = bloodFlow[static_cast<std::size_t>(n)];
    // b conj(t), and its modulus |b| |t|.
    const double zr = b.real() * t.real() + b.imag() * t.imag();
    const double zi = b.imag() * t.real() - b.real() * t.imag();
    const double modulus = std::sqrt(std::norm(b) * std::norm(t));
    if (!(modulus > 0.0)) continue;
    const double inverse = 1.0 / modulus;
    re += zr * inverse;
    im += zi * inverse;
    ++result.count;
  }
  result.sum = {re, im};
  return result;
}

std::optional<double> Coherence(const PhaseSum& phases) {
  if (phases.count == 0) return std::nullopt;
  return std::abs(phases.sum) / static_cast<double>(phases.count);
}

// The q-quantile of the values by the Weibull plotting position: with the values sorted, v_1 <= ... <= v_m, it
// is v_h at h = q (m + 1), interpolated linearly between v_floor(h) and v_floor(h)+1 and held at v_1 and v_m
// beyond them. For 100 values the 95th percentile lies at h = 95.95, almost v_96: a value exchangeable with
// the m surrogates then exceeds it with probability 1 - q = 5 % (the rank rule of a Monte Carlo test), where
// the interpolation over (m - 1) would let about 6 % through.
double Quantile(std::vector<double>& values, double q) {
  std::sort(values.begin(), values.end());
  const double h = q * static_cast<double>(values.size() + 1);
  if (h <= 1.0) return values.front();
  if (h >= static_cast<double>(values.size())) return values.back();
  const auto below = static_cast<std::size_t>(std::floor(h));  // 1-based
  const double fraction = h - static_cast<double>(below);
  return values[below - 1] + fraction * (values[below] - values[below - 1]);
}

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

bool AllFinite(const CoherenceResult& result) {
  auto finite = [](const std::optional<double>& v) { return !v || std::isfinite(*v); };
  for (const CoherencePoint& p : result.points)
    if (!finite(p.coherence) || !finite(p.threshold) || !finite(p.lagSeconds) || !finite(p.depthMm)) return false;
  return true;
}

}  // namespace

CoherenceBandRow CoherenceBandRowOf(const AnalysisBand& band, std::span<const CoherencePoint> points,
                                    double centreFrequency) {
  return BandRowOf(band, points, centreFrequency);
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
  std::vector<double> surrogateCoherence;  // pair p, row j at p * J + j; NaN where the row has no valid sample
  std::vector<PhaseSum> measured;
  std::vector<double> frequencies;
  std::vector<SampleRange> valid;
  std::atomic<bool> stop{false};
  std::atomic<bool> outOfMemory{false};
  PercentProgress shown(progress, 0, 1 + static_cast<long long>(pairs));
  // The position goes back to the start however the run ends.
  struct FinishShown {
    PercentProgress& shown;
    ~FinishShown() { shown.finish(); }
  } finishShown{shown};
  ParallelTaskControl control;
  control.threads = analysis.threads > 0 ? analysis.threads : HardwareThreadCount();
  control.threadName = "Coherence";
  control.stop = &stop;
  control.progress = &progress;  // asked on the calling thread only; the workers read the flag
  try {
    // One set of kernel spectra for the two records and every surrogate: they share length, rate, f0 and grid.
    const std::shared_ptr<const MorletKernels> kernels = MakeAnalysisKernels(result.sampleCount, analysis);
    frequencies = kernels->frequencies();
    const std::size_t rows = frequencies.size();
    const MorletTransform transforms[2] = {MakeAnalysisTransform(records[0], analysis, kernels),
                                           MakeAnalysisTransform(records[1], analysis, kernels)};
    valid = transforms[0].validRanges();
    measured.resize(rows);

    // Two row buffers per worker: the T row and the BF row of one frequency.
    struct Scratch {
      MorletWorkspace t, bf;
    };
    std::vector<std::unique_ptr<Scratch>> scratch(static_cast<std::size_t>(kMaxTaskThreads));
    auto scratchOf = [&scratch](int worker) -> Scratch& {
      std::unique_ptr<Scratch>& s = scratch[static_cast<std::size_t>(worker)];
      if (!s) s = std::make_unique<Scratch>();
      return *s;
    };
    RunParallelTasks(static_cast<long long>(rows), control, [&](long long j, int worker) {
      try {
        Scratch& s = scratchOf(worker);
        const auto row = static_cast<std::size_t>(j);
        measured[row] = SumPhaseDifferences(transforms[0].row(row, s.t), transforms[1].row(row, s.bf), valid[row]);
      } catch (const std::bad_alloc&) {
        outOfMemory = true;
        stop = true;
      }
    });
    if (outOfMemory) return Failure(CoherenceErrorKind::kOutOfMemory);
    if (stop) return Failure(CoherenceErrorKind::kStopped);
    shown.update(1);

    if (pairs > 0) {
      // The surrogates are made from the detrended records (the values the transforms saw) and transformed as
      // they are: the same values and nearly the same spectrum as what the coherence was measured on.
      const std::vector<double> detrended[2] = {Detrended(records[0], analysis.detrend),
                                                Detrended(records[1], analysis.detrend)};
      surrogateCoherence.assign(static_cast<std::size_t>(pairs) * rows, 0.0);
      control.onProgress = [&shown](long long done) { shown.update(1 + done); };
      RunParallelTasks(pairs, control, [&](long long pair, int worker) {
        try {
          Scratch& s = scratchOf(worker);
          const auto index = static_cast<std::uint64_t>(pair);
          const IaaftSurrogate t = MakeIaaftSurrogate(detrended[0], SurrogateSeed(options.seed, kTemperatureStream, index));
          if (stop) return;
          const IaaftSurrogate bf = MakeIaaftSurrogate(detrended[1], SurrogateSeed(options.seed, kBloodFlowStream, index));
          const MorletTransform ts(t.values, kernels);
          const MorletTransform bfs(bf.values, kernels);
          double* out = surrogateCoherence.data() + static_cast<std::size_t>(pair) * rows;
          for (std::size_t j = 0; j < rows; ++j) {
            if (stop) return;
            const std::optional<double> pi = Coherence(SumPhaseDifferences(ts.row(j, s.t), bfs.row(j, s.bf), valid[j]));
            out[j] = pi ? *pi : std::numeric_limits<double>::quiet_NaN();
          }
        } catch (const std::bad_alloc&) {
          outOfMemory = true;
          stop = true;
        }
      });
      if (outOfMemory) return Failure(CoherenceErrorKind::kOutOfMemory);
      if (stop) return Failure(CoherenceErrorKind::kStopped);
    }
  } catch (const std::length_error&) {
    return AnalysisFailure(AnalysisErrorKind::kTooLong, -1);
  } catch (const std::bad_alloc&) {
    return Failure(CoherenceErrorKind::kOutOfMemory);
  }

  const std::size_t rows = frequencies.size();
  result.points.resize(rows);
  std::vector<double> column;
  for (std::size_t j = 0; j < rows; ++j) {
    CoherencePoint& point = result.points[j];
    point.frequencyHz = frequencies[j];
    point.coherence = Coherence(measured[j]);
    if (!point.coherence) continue;
    // The angle in (-pi, pi]: atan2 gives -pi for a negative real sum with a zero imaginary part of minus sign.
    double angle = std::arg(measured[j].sum);
    if (angle <= -std::numbers::pi) angle = std::numbers::pi;
    point.lagSeconds = angle / (2.0 * std::numbers::pi * point.frequencyHz);
    column.clear();
    for (int p = 0; p < pairs; ++p) {
      const double value = surrogateCoherence[static_cast<std::size_t>(p) * rows + j];
      if (!std::isnan(value)) column.push_back(value);
    }
    if (!column.empty()) point.threshold = Quantile(column, kThresholdQuantile);
    point.significant = point.threshold && *point.coherence > *point.threshold;
    if (point.significant) point.depthMm = ThermalDepthMm(*point.lagSeconds, point.frequencyHz, options.tissue);
  }
  if (!AllFinite(result)) return AnalysisFailure(AnalysisErrorKind::kValuesTooLarge, -1);

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
  }
  return outcome;
}

}  // namespace kelvora
