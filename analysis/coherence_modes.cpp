#include "analysis/coherence_modes.h"

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
#include "analysis/morlet_transform.h"
#include "analysis/protocol_segments.h"
#include "core/parallel_tasks.h"
#include "core/percent_progress.h"

namespace kelvora {

namespace {

// The surrogate streams of the two records, as AnalyzeCoherence draws them.
constexpr std::uint64_t kTemperatureStream = 0;
constexpr std::uint64_t kBloodFlowStream = 1;
constexpr double kThresholdQuantile = 0.95;
constexpr int kHistogramBins = 4096;
constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();

CoherenceModeOutcome Failure(CoherenceErrorKind kind) {
  CoherenceModeOutcome outcome;
  outcome.error = CoherenceError{kind, {}, -1};
  return outcome;
}

CoherenceModeOutcome AnalysisFailure(AnalysisErrorKind kind, int record, long long sample = -1) {
  CoherenceModeOutcome outcome;
  outcome.error = CoherenceError{CoherenceErrorKind::kAnalysis, AnalysisError{kind, sample}, record};
  return outcome;
}

// b conj(t) / (|b| |t|), or nothing where either is 0.
inline bool UnitPhasor(const fft::ComplexD& t, const fft::ComplexD& b, double& re, double& im) {
  const double zr = b.real() * t.real() + b.imag() * t.imag();
  const double zi = b.imag() * t.real() - b.real() * t.imag();
  const double modulus = std::sqrt(std::norm(b) * std::norm(t));
  if (!(modulus > 0.0)) return false;
  const double inverse = 1.0 / modulus;
  re = zr * inverse;
  im = zi * inverse;
  return true;
}

// The sum of the unit phasors over the valid samples, in the order and precision AnalyzeCoherence uses.
PhaseSum SumPhases(std::span<const fft::ComplexD> t, std::span<const fft::ComplexD> b, const SampleRange& valid) {
  PhaseSum result;
  double re = 0.0, im = 0.0;
  for (long long n = valid.first; n <= valid.last; ++n) {
    double zr, zi;
    if (!UnitPhasor(t[static_cast<std::size_t>(n)], b[static_cast<std::size_t>(n)], zr, zi)) continue;
    re += zr;
    im += zi;
    ++result.count;
  }
  result.sum = {re, im};
  return result;
}

std::optional<double> MeanModulus(std::span<const fft::ComplexD> row, const SampleRange& valid, double factor) {
  if (valid.empty()) return std::nullopt;
  long double sum = 0.0L;
  for (long long n = valid.first; n <= valid.last; ++n) sum += std::abs(row[static_cast<std::size_t>(n)]);
  return factor * static_cast<double>(sum / static_cast<long double>(valid.size()));
}

// The Weibull-position quantile (WeibullQuantile) and the rank rule.
std::optional<double> Threshold(std::vector<double>& values, ThresholdRule rule) {
  if (values.empty()) return std::nullopt;
  std::sort(values.begin(), values.end());
  const std::size_t m = values.size();
  if (rule == ThresholdRule::kRank) {
    const auto k = static_cast<std::size_t>(std::floor(static_cast<double>(m + 1) * kRankAlpha));
    if (k < 1) return std::nullopt;
    return values[m - k];
  }
  return WeibullQuantile(values, kThresholdQuantile);
}

// A transform of either kind with the scratch of its rows.
struct RowScratch {
  MorletWorkspace morlet;
  fft::AlignedVector<fft::ComplexD> buffer;
};

class AnyTransform {
 public:
  AnyTransform() = default;
  explicit AnyTransform(MorletTransform transform) : m_morlet(std::make_unique<MorletTransform>(std::move(transform))) {}
  explicit AnyTransform(ModaStyleTransform transform)
      : m_moda(std::make_unique<ModaStyleTransform>(std::move(transform))) {}

  std::span<const fft::ComplexD> row(std::size_t j, RowScratch& scratch) const {
    return m_morlet ? m_morlet->row(j, scratch.morlet) : m_moda->row(j, scratch.buffer);
  }
  const std::vector<SampleRange>& validRanges() const {
    return m_morlet ? m_morlet->validRanges() : m_moda->validRanges();
  }
  // A stop request ended the forecast of the predictive padding.
  bool stopped() const { return m_moda && m_moda->stopped(); }

 private:
  std::unique_ptr<MorletTransform> m_morlet;
  std::unique_ptr<ModaStyleTransform> m_moda;
};

double HistogramQuantile(std::span<const std::uint64_t> counts, double q) {
  std::uint64_t total = 0;
  for (const std::uint64_t c : counts) total += c;
  const double target = q * static_cast<double>(total);
  double below = 0.0;
  for (std::size_t b = 0; b < counts.size(); ++b) {
    const auto c = static_cast<double>(counts[b]);
    if (c > 0.0 && below + c >= target)
      return (static_cast<double>(b) + (target - below) / c) / static_cast<double>(counts.size());
    below += c;
  }
  return 1.0;
}

}  // namespace

long long CoherenceOverTime::columnBegin(int c) const {
  return static_cast<long long>(c) * sampleCount / columns;
}

bool CoherenceOverTime::significant(std::size_t j, int c) const {
  const double v = value(j, c);
  return threshold[j] && !std::isnan(v) && v > *threshold[j];
}

long long CoherenceWindowSamples(double windowCycles, double sampleRateHz, double frequencyHz) {
  const long long w = std::llround(windowCycles * sampleRateHz / frequencyHz);
  return w + 1 - (w % 2);
}

SampleRange TimeLocalisedCoherence(std::span<const fft::ComplexD> t, std::span<const fft::ComplexD> bf,
                                   const SampleRange& valid, long long window, std::span<double> out) {
  std::fill(out.begin(), out.end(), kNaN);
  const long long h = window / 2;
  SampleRange defined{valid.first + h, valid.last - h};
  if (valid.empty() || window < 1 || defined.empty()) return SampleRange{};
  // A running sum over the window, in extended precision; each phasor is formed the same way when it enters
  // and when it leaves, so what leaves cancels what entered.
  auto phasor = [&](long long m, long double& re, long double& im, int sign) {
    double zr, zi;
    if (!UnitPhasor(t[static_cast<std::size_t>(m)], bf[static_cast<std::size_t>(m)], zr, zi)) return;
    re += sign * static_cast<long double>(zr);
    im += sign * static_cast<long double>(zi);
  };
  long double re = 0.0L, im = 0.0L;
  for (long long m = defined.first - h; m <= defined.first + h; ++m) phasor(m, re, im, 1);
  const auto w = static_cast<long double>(window);
  for (long long n = defined.first;; ++n) {
    out[static_cast<std::size_t>(n)] = static_cast<double>(std::sqrt(re * re + im * im) / w);
    if (n == defined.last) break;
    phasor(n + h + 1, re, im, 1);
    phasor(n - h, re, im, -1);
  }
  return defined;
}

std::optional<double> AmplitudeDepthMm(std::span<const double> frequenciesHz, std::span<const double> amplitudeT,
                                       std::span<const double> amplitudeBF, const ThermalWaveTissue& tissue) {
  const std::size_t m = frequenciesHz.size();
  if (m < 2 || amplitudeT.size() != m || amplitudeBF.size() != m) return std::nullopt;
  long double sx = 0.0L, sy = 0.0L;
  std::vector<double> x(m), y(m);
  for (std::size_t i = 0; i < m; ++i) {
    if (!(frequenciesHz[i] > 0.0) || !(amplitudeT[i] > 0.0) || !(amplitudeBF[i] > 0.0)) return std::nullopt;
    x[i] = std::sqrt(frequenciesHz[i]);
    y[i] = std::log(amplitudeT[i] / amplitudeBF[i]);
    sx += x[i];
    sy += y[i];
  }
  const long double mx = sx / m, my = sy / m;
  long double sxx = 0.0L, sxy = 0.0L;
  for (std::size_t i = 0; i < m; ++i) {
    sxx += (x[i] - mx) * (x[i] - mx);
    sxy += (x[i] - mx) * (y[i] - my);
  }
  if (!(sxx > 0.0L)) return std::nullopt;
  const double slope = static_cast<double>(sxy / sxx);
  const double depthM = -slope / std::sqrt(std::numbers::pi * tissue.rho * tissue.heatCapacity / tissue.lambda);
  if (!(depthM > 0.0) || !std::isfinite(depthM)) return std::nullopt;
  return depthM * 1000.0;
}

void AddAmplitudeDepths(CoherenceResult& result, std::span<const std::optional<double>> amplitudeT,
                        std::span<const std::optional<double>> amplitudeBF, const ThermalWaveTissue& tissue) {
  if (amplitudeT.size() != result.points.size() || amplitudeBF.size() != result.points.size()) return;
  for (CoherenceBandRow& row : result.bands) {
    std::vector<double> f, at, ab;
    for (std::size_t j = 0; j < result.points.size(); ++j) {
      const CoherencePoint& point = result.points[j];
      if (point.frequencyHz < row.band.range.low || point.frequencyHz >= row.band.range.high) continue;
      if (!point.significant || !amplitudeT[j] || !amplitudeBF[j]) continue;
      f.push_back(point.frequencyHz);
      at.push_back(*amplitudeT[j]);
      ab.push_back(*amplitudeBF[j]);
    }
    row.depthAmpMm = AmplitudeDepthMm(f, at, ab, tissue);
  }
}

void AnalysisAmplitudes(std::span<const double> temperature, std::span<const double> bloodFlow,
                        const AnalysisOptions& options, std::vector<std::optional<double>>& amplitudeT,
                        std::vector<std::optional<double>>& amplitudeBF) {
  amplitudeT.clear();
  amplitudeBF.clear();
  const std::size_t count = std::min(temperature.size(), bloodFlow.size());
  if (count == 0 || CheckAnalysisOptions(options)) return;
  try {
    const std::shared_ptr<const MorletKernels> kernels = MakeAnalysisKernels(static_cast<long long>(count), options);
    const MorletTransform t = MakeAnalysisTransform(temperature.first(count), options, kernels);
    const MorletTransform b = MakeAnalysisTransform(bloodFlow.first(count), options, kernels);
    MorletWorkspace workspace;
    for (std::size_t j = 0; j < t.frequencyCount(); ++j) {
      amplitudeT.push_back(MeanModulus(t.row(j, workspace), t.validRange(j), 1.0));
      amplitudeBF.push_back(MeanModulus(b.row(j, workspace), b.validRange(j), 1.0));
    }
  } catch (const std::exception&) {
    amplitudeT.clear();
    amplitudeBF.clear();
  }
}

CoherenceModeOutcome AnalyzeCoherenceModes(std::span<const double> temperature, std::span<const double> bloodFlow,
                                           const CoherenceModeOptions& options, ProgressSink& progress) {
  if (auto fault = CheckCoherenceOptions(options.coherence)) {
    CoherenceModeOutcome outcome;
    outcome.error = *fault;
    return outcome;
  }
  if (options.overTime && (!(options.windowCycles > 0.0) || !(options.windowCycles <= kMaxWindowCycles) ||
                           options.overTimeColumns < 0))
    return Failure(CoherenceErrorKind::kBadWindow);
  if (temperature.empty()) return AnalysisFailure(AnalysisErrorKind::kNoSamples, 0);
  if (bloodFlow.empty()) return AnalysisFailure(AnalysisErrorKind::kNoSamples, 1);
  const std::size_t count = std::min(temperature.size(), bloodFlow.size());
  const std::span<const double> records[2] = {temperature.first(count), bloodFlow.first(count)};
  for (int r = 0; r < 2; ++r)
    for (std::size_t i = 0; i < count; ++i)
      if (!std::isfinite(records[r][i]))
        return AnalysisFailure(AnalysisErrorKind::kNonFiniteSample, r, static_cast<long long>(i));

  const AnalysisOptions& analysis = options.coherence.analysis;
  const TransformForm& form = options.transform;
  const bool analysisTransform = form.wavelet == WaveletForm::kSampled &&
                                 form.preprocessing == PreprocessingForm::kDetrend &&
                                 form.padding == PaddingForm::kZero;
  const double amplitudeFactor = analysisTransform && form.amplitude == AmplitudeScale::kHalf ? 0.5 : 1.0;

  CoherenceModeOutcome outcome;
  CoherenceModeResult& modes = outcome.result;
  CoherenceResult& result = modes.coherence;
  result.sampleCount = static_cast<long long>(count);
  result.truncated = temperature.size() != bloodFlow.size();
  result.droppedSamples = static_cast<long long>(std::max(temperature.size(), bloodFlow.size()) - count);
  result.longerRecord = !result.truncated ? -1 : temperature.size() > bloodFlow.size() ? 0 : 1;
  result.sampleRateHz = analysis.sampleRateHz;

  const int pairs = options.coherence.surrogatePairs;
  const bool surrogateOf[2] = {options.surrogatesOf != SurrogatesOf::kBloodFlow,
                               options.surrogatesOf != SurrogatesOf::kTemperature};
  const std::vector<double> frequencies = AnalysisFrequencies(analysis);
  const std::size_t rows = frequencies.size();
  ModaTransformParameters parameters;
  parameters.sampleRateHz = analysis.sampleRateHz;
  parameters.centreFrequency = analysis.centreFrequency;
  parameters.frequenciesHz = frequencies;
  parameters.minFrequencyHz = analysis.minFrequencyHz;
  parameters.maxFrequencyHz = AnalysisFrequencyRange(analysis).high;
  parameters.detrend = analysis.detrend;
  parameters.form = form;

  // Slice 0 is the whole records, slice 1 + k segment k: the same rows averaged over other samples.
  const std::vector<Segment>& segments = options.coherence.segments;
  const std::size_t parts = 1 + segments.size();
  std::vector<SampleRange> segmentSamples(parts);
  segmentSamples[0] = SampleRange{0, result.sampleCount - 1};
  for (std::size_t q = 1; q < parts; ++q)
    segmentSamples[q] = SamplesInInterval(segments[q - 1].startS, segments[q - 1].endS, analysis.sampleRateHz,
                                          result.sampleCount);
  // A row's valid samples within slice q.
  auto within = [&segmentSamples](const SampleRange& valid, std::size_t q) {
    return SampleRange{std::max(valid.first, segmentSamples[q].first), std::min(valid.last, segmentSamples[q].last)};
  };
  // Slice q, row j; slice q, pair p, row j at p * J + j (NaN where the row has no valid sample).
  std::vector<std::vector<PhaseSum>> measured(parts, std::vector<PhaseSum>(rows));
  std::vector<std::vector<double>> surrogateCoherence(parts);
  std::vector<SampleRange> valid;
  modes.amplitudeT.assign(rows, std::nullopt);
  modes.amplitudeBF.assign(rows, std::nullopt);
  CoherenceOverTime overTime;
  if (options.overTime) {
    overTime.sampleRateHz = analysis.sampleRateHz;
    overTime.sampleCount = result.sampleCount;
    overTime.columns = options.overTimeColumns == 0
                           ? static_cast<int>(std::min<long long>(result.sampleCount, std::numeric_limits<int>::max()))
                           : static_cast<int>(std::min<long long>(result.sampleCount, options.overTimeColumns));
    overTime.frequenciesHz = frequencies;
    overTime.windowSamples.resize(rows);
    for (std::size_t j = 0; j < rows; ++j)
      overTime.windowSamples[j] = CoherenceWindowSamples(options.windowCycles, analysis.sampleRateHz, frequencies[j]);
    overTime.defined.resize(rows);
    overTime.threshold.assign(rows, std::nullopt);
  }

  std::atomic<bool> stop{false};
  std::atomic<bool> outOfMemory{false};
  parameters.stop = &stop;  // the forecasts of the predictive padding end on a stop too
  // Progress in row units as AnalyzeCoherence counts them, with only the surrogates that are made.
  const auto rowUnits = static_cast<long long>(rows) * kCoherenceUnitsPerRow;
  const long long perSurrogate = std::max<long long>(1, static_cast<long long>(rows) / 2) * kCoherenceUnitsPerRow;
  const long long perPair = rowUnits + (static_cast<long long>(surrogateOf[0]) + surrogateOf[1]) * perSurrogate;
  std::atomic<long long> done{0};
  PercentProgress shown(progress, 0, rowUnits + static_cast<long long>(pairs) * perPair);
  shown.setHeartbeat(std::chrono::milliseconds(250));
  struct FinishShown {
    PercentProgress& shown;
    ~FinishShown() { shown.finish(); }
  } finishShown{shown};
  ParallelTaskControl control;
  control.threads = CappedThreadCount(analysis.threads);
  control.threadName = "CoherenceModes";
  control.stop = &stop;
  control.progress = &progress;
  control.onWake = [&shown, &done] { shown.update(done.load(std::memory_order_relaxed)); };

  struct Scratch {
    RowScratch t, bf;
    std::vector<double> tpc;
    std::vector<std::uint64_t> histogram;  // rows x bins, for the surrogates' coherence over time
  };
  std::vector<std::unique_ptr<Scratch>> scratch(static_cast<std::size_t>(kMaxTaskThreads));
  auto scratchOf = [&](int worker) -> Scratch& {
    std::unique_ptr<Scratch>& s = scratch[static_cast<std::size_t>(worker)];
    if (!s) {
      s = std::make_unique<Scratch>();
      if (options.overTime) s->tpc.resize(count);
    }
    return *s;
  };
  try {
    std::shared_ptr<const MorletKernels> kernels;
    auto transformOf = [&](std::span<const double> values, bool measuredRecord) {
      if (!analysisTransform) return AnyTransform(ModaStyleTransform(values, parameters));
      return measuredRecord ? AnyTransform(MakeAnalysisTransform(values, analysis, kernels))
                            : AnyTransform(MorletTransform(values, kernels));
    };
    if (analysisTransform) kernels = MakeAnalysisKernels(result.sampleCount, analysis);
    // The two records' transforms side by side; a worker, not this thread, runs a forecast, so that this thread
    // keeps watching for a stop request while it runs.
    AnyTransform transforms[2];
    RunParallelTasks(2, control, [&](long long r, int) {
      try {
        transforms[r] = transformOf(records[r], true);
      } catch (const std::bad_alloc&) {
        outOfMemory = true;
        stop = true;
      }
    });
    if (outOfMemory) return Failure(CoherenceErrorKind::kOutOfMemory);
    if (stop || transforms[0].stopped() || transforms[1].stopped()) return Failure(CoherenceErrorKind::kStopped);
    valid = transforms[0].validRanges();
    if (options.overTime)
      overTime.values.assign(rows * static_cast<std::size_t>(overTime.columns), kNaN);

    RunParallelTasks(static_cast<long long>(rows), control, [&](long long index, int worker) {
      try {
        Scratch& s = scratchOf(worker);
        const auto j = static_cast<std::size_t>(index);
        const std::span<const fft::ComplexD> t = transforms[0].row(j, s.t);
        const std::span<const fft::ComplexD> b = transforms[1].row(j, s.bf);
        measured[0][j] = SumPhases(t, b, valid[j]);
        for (std::size_t q = 1; q < parts; ++q) measured[q][j] = SumPhases(t, b, within(valid[j], q));
        modes.amplitudeT[j] = MeanModulus(t, valid[j], amplitudeFactor);
        modes.amplitudeBF[j] = MeanModulus(b, valid[j], amplitudeFactor);
        if (!options.overTime) {
          done.fetch_add(kCoherenceUnitsPerRow, std::memory_order_relaxed);
          return;
        }
        const SampleRange defined = TimeLocalisedCoherence(t, b, valid[j], overTime.windowSamples[j], s.tpc);
        overTime.defined[j] = defined;
        double* out = overTime.values.data() + j * static_cast<std::size_t>(overTime.columns);
        for (int c = 0; c < overTime.columns; ++c) {
          const long long begin = std::max(overTime.columnBegin(c), defined.first);
          const long long end = std::min(overTime.columnBegin(c + 1) - 1, defined.last);
          if (begin > end) continue;
          long double sum = 0.0L;
          for (long long n = begin; n <= end; ++n) sum += s.tpc[static_cast<std::size_t>(n)];
          out[c] = static_cast<double>(sum / static_cast<long double>(end - begin + 1));
        }
        done.fetch_add(kCoherenceUnitsPerRow, std::memory_order_relaxed);
      } catch (const std::bad_alloc&) {
        outOfMemory = true;
        stop = true;
      }
    });
    if (outOfMemory) return Failure(CoherenceErrorKind::kOutOfMemory);
    if (stop || progress.stopRequested()) {
      progress.setPosition(done.load());  // the units done up to the stop, before the position goes back
      return Failure(CoherenceErrorKind::kStopped);
    }
    shown.update(done.load());

    if (pairs > 0) {
      const DetrendMode source =
          form.preprocessing == PreprocessingForm::kDetrend ? analysis.detrend : DetrendMode::kCubic;
      std::optional<IaaftReference> references[2];
      for (int r = 0; r < 2; ++r)
        if (surrogateOf[r]) references[r].emplace(Detrended(records[r], source));
      for (std::vector<double>& values : surrogateCoherence) values.assign(static_cast<std::size_t>(pairs) * rows, 0.0);
      RunParallelTasks(pairs, control, [&](long long pair, int worker) {
        try {
          Scratch& s = scratchOf(worker);
          if (options.overTime && s.histogram.empty()) s.histogram.assign(rows * kHistogramBins, 0);
          const auto index = static_cast<std::uint64_t>(pair);
          std::optional<AnyTransform> own[2];
          const AnyTransform* used[2] = {&transforms[0], &transforms[1]};
          const std::uint64_t streams[2] = {kTemperatureStream, kBloodFlowStream};
          for (int r = 0; r < 2; ++r) {
            if (!surrogateOf[r]) continue;
            if (stop) return;
            SurrogateProgress counted(done, perSurrogate);
            IaaftOptions iaaft;
            iaaft.stop = &stop;
            iaaft.onShare = [&counted](double share) { counted.reach(share); };
            const IaaftSurrogate surrogate =
                MakeIaaftSurrogate(*references[r], SurrogateSeed(options.coherence.seed, streams[r], index), iaaft);
            if (surrogate.stopped) return;
            counted.finish();
            own[r].emplace(transformOf(surrogate.values, false));
            if (own[r]->stopped()) return;
            used[r] = &*own[r];
          }
          const std::size_t offset = static_cast<std::size_t>(pair) * rows;
          for (std::size_t j = 0; j < rows; ++j) {
            if (stop) return;
            const std::span<const fft::ComplexD> t = used[0]->row(j, s.t);
            const std::span<const fft::ComplexD> b = used[1]->row(j, s.bf);
            for (std::size_t q = 0; q < parts; ++q) {
              const std::optional<double> pi = Coherence(SumPhases(t, b, q == 0 ? valid[j] : within(valid[j], q)));
              surrogateCoherence[q][offset + j] = pi ? *pi : kNaN;
            }
            done.fetch_add(kCoherenceUnitsPerRow, std::memory_order_relaxed);
            if (!options.overTime) continue;
            const SampleRange defined = TimeLocalisedCoherence(t, b, valid[j], overTime.windowSamples[j], s.tpc);
            std::uint64_t* bins = s.histogram.data() + j * kHistogramBins;
            for (long long n = defined.first; n <= defined.last; ++n) {
              const double v = s.tpc[static_cast<std::size_t>(n)];
              const auto bin = std::min<long long>(kHistogramBins - 1, static_cast<long long>(v * kHistogramBins));
              ++bins[std::max<long long>(0, bin)];
            }
          }
        } catch (const std::bad_alloc&) {
          outOfMemory = true;
          stop = true;
        }
      });
      if (outOfMemory) return Failure(CoherenceErrorKind::kOutOfMemory);
      if (stop || progress.stopRequested()) {
      progress.setPosition(done.load());  // the units done up to the stop, before the position goes back
      return Failure(CoherenceErrorKind::kStopped);
    }
      shown.update(done.load());
    }
  } catch (const std::length_error&) {
    return AnalysisFailure(AnalysisErrorKind::kTooLong, -1);
  } catch (const std::bad_alloc&) {
    return Failure(CoherenceErrorKind::kOutOfMemory);
  } catch (const std::invalid_argument&) {
    return AnalysisFailure(AnalysisErrorKind::kBadFrequencyRange, -1);
  }

  const ThresholdRule rule = options.thresholdRule;
  const SurrogateThreshold threshold = [rule](std::vector<double>& values) { return Threshold(values, rule); };
  const ThermalWaveTissue& tissue = options.coherence.tissue;
  result.points = CoherencePointsOf(frequencies, measured[0], surrogateCoherence[0], pairs, threshold, tissue);
  for (std::size_t q = 1; q < parts; ++q) {
    CoherenceSegmentResult part;
    part.segment = segments[q - 1];
    part.points = CoherencePointsOf(frequencies, measured[q], surrogateCoherence[q], pairs, threshold, tissue);
    result.segments.push_back(std::move(part));
  }
  if (!CoherenceValuesFinite(result)) return AnalysisFailure(AnalysisErrorKind::kValuesTooLarge, -1);
  for (std::size_t j = 0; j < rows; ++j)
    for (const auto& a : {modes.amplitudeT[j], modes.amplitudeBF[j]})
      if (a && !std::isfinite(*a)) return AnalysisFailure(AnalysisErrorKind::kValuesTooLarge, -1);

  if (options.overTime && pairs > 0) {
    std::vector<std::uint64_t> merged(kHistogramBins);
    for (std::size_t j = 0; j < rows; ++j) {
      std::fill(merged.begin(), merged.end(), 0);
      std::uint64_t total = 0;
      for (const auto& s : scratch) {
        if (!s || s->histogram.empty()) continue;
        for (int b = 0; b < kHistogramBins; ++b) merged[b] += s->histogram[j * kHistogramBins + b];
      }
      for (const std::uint64_t c : merged) total += c;
      if (total > 0) overTime.threshold[j] = HistogramQuantile(merged, kThresholdQuantile);
    }
  }
  if (options.overTime) modes.overTime = std::move(overTime);

  AddCoherenceBandRows(result, analysis);
  AddAmplitudeDepths(result, modes.amplitudeT, modes.amplitudeBF, options.coherence.tissue);
  return outcome;
}

}  // namespace kelvora
