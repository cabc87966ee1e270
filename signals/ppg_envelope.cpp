#include "signals/ppg_envelope.h"

#include <algorithm>
#include <cmath>

#include "core/math_utils.h"
#include "core/percent_progress.h"

namespace kelvora {
namespace {

// Smoothing width in seconds.
constexpr double kSmoothingWidthS = 2.0;
// Beyond |x| = 5 the smoothing weight Gauss(x) is below 1e-39 of its peak and cannot change a double sum.
constexpr double kGaussCutoff = 5.0;
// The largest envelope the page produces (the same bound as the PPG itself).
constexpr double kMaxOutputSamples = kMaxPpgSamples;

struct TablePoint {
  double position;  // on the output grid's input-sample scale: output sample k sits at k * inRate / outRate
  double value;
};

PpgEnvelopeResult Failure(PpgEnvelopeStatus status, PpgEnvelopeFault fault, long long needed = 0,
                          long long held = 0) {
  PpgEnvelopeResult result;
  result.status = status;
  result.fault = fault;
  result.needed = needed;
  result.held = held;
  return result;
}

PpgEnvelopeFault ParameterProblem(const PpgEnvelopeParams& p) {
  using F = PpgEnvelopeFault;
  if (!(p.inRateHz > 0.0) || !std::isfinite(p.inRateHz)) return F::kInputRate;
  if (!(p.outRateHz > 0.0) || !std::isfinite(p.outRateHz)) return F::kOutputRate;
  if (p.durationS < 0) return F::kNegativeDuration;
  if (p.lowestPulseBpm <= 0 || p.highestPulseBpm <= 0) return F::kPulseRates;
  if (60.0 / p.lowestPulseBpm * p.inRateHz > kMaxPpgSamples) return F::kWindowTooLong;
  if (static_cast<double>(p.durationS) * p.outRateHz > kMaxOutputSamples + 0.5) return F::kTooManyOutputs;
  return F::kNone;
}

// Calls visit(a, b) for every scanned window [a, b] (ends included): [0, step], then [j step, j step + W]
// for j = 1, 2, ... while the window's end is below the last index. Returns the end of the last scanned
// window, or -1 when none was scanned.
template <typename Visit>
int ForEachWindow(const PpgWindows& w, int lastIndex, Visit&& visit) {
  int lastEnd = -1;
  for (long long j = 0;; ++j) {
    const long long a = j * w.step;
    const long long b = j == 0 ? w.step : a + w.window;
    if (b >= lastIndex) break;
    visit(static_cast<int>(a), static_cast<int>(b));
    lastEnd = static_cast<int>(b);
  }
  return lastEnd;
}

// Appends or replaces by the acceptance rule of both scans. An empty table behaves as if it held a
// placeholder that any candidate beats, so the first candidate is always stored.
void Accept(std::vector<PpgPeak>& table, const PpgPeak& candidate, bool farEnough, bool beatsLast, int& lastAccepted) {
  if (candidate.position == lastAccepted) return;
  if (farEnough || table.empty()) {
    table.push_back(candidate);
    lastAccepted = candidate.position;
  } else if (beatsLast) {
    table.back() = candidate;
    lastAccepted = candidate.position;
  }
}

}  // namespace

PpgWindows PpgEnvelopeWindows(const PpgEnvelopeParams& params) {
  PpgWindows w;
  if (params.lowestPulseBpm <= 0 || params.highestPulseBpm <= 0 || !(params.inRateHz > 0.0)) return w;
  const auto rounded = [](double x) { return static_cast<int>(std::min(std::lround(x), 2000000000L)); };
  w.window = rounded(60.0 / params.lowestPulseBpm * params.inRateHz);
  w.step = w.window / 3;
  w.dMax = rounded(60.0 / params.highestPulseBpm * params.inRateHz);
  w.dMin = rounded(58.0 / params.highestPulseBpm * params.inRateHz);
  return w;
}

PpgEnvelopeResult ComputePpgEnvelope(const PpgSignal& ppg, const PpgEnvelopeParams& params, ProgressSink& progress) {
  if (ppg.empty()) return Failure(PpgEnvelopeStatus::kNoSamples, PpgEnvelopeFault::kNoSamples);
  if (const PpgEnvelopeFault problem = ParameterProblem(params); problem != PpgEnvelopeFault::kNone) {
    return Failure(PpgEnvelopeStatus::kBadParameters, problem, kMaxPpgSamples);
  }
  if (!ppg.scalable() || ppg.scaled.size() != ppg.values.size()) {
    return Failure(PpgEnvelopeStatus::kConstantSignal, PpgEnvelopeFault::kConstantSignal);
  }
  const PpgWindows w = PpgEnvelopeWindows(params);
  if (w.step < 1) {
    return Failure(PpgEnvelopeStatus::kBadParameters, PpgEnvelopeFault::kBeatTooShort);
  }
  const int lastIndex = ppg.lastIndex();
  if (w.step >= lastIndex) {
    return Failure(PpgEnvelopeStatus::kTooShort, PpgEnvelopeFault::kTooShort, w.step + 2, ppg.count());
  }
  const long n = std::lround(params.durationS * params.outRateHz);
  if (n <= 0) return Failure(PpgEnvelopeStatus::kNoOutput, PpgEnvelopeFault::kNoOutput);

  PpgEnvelopeResult result;
  PpgEnvelope& env = result.envelope;
  env.windows = w;
  env.outRateHz = params.outRateHz;
  const double* s = ppg.scaled.data();
  // The tables grow with the signal; accepted extremes lie more than Dmin apart, which sizes a first guess.
  const std::size_t windows = static_cast<std::size_t>(lastIndex / w.step) + 1;
  const std::size_t guess = std::min(windows, static_cast<std::size_t>(lastIndex / std::max(1, w.dMin)) + 2);
  env.maxima.reserve(guess);
  env.minima.reserve(guess);

  // Maxima: the earliest of equal window maxima is kept.
  int lastMax = -25;
  // Minima: the window minimum must be followed by a rise just after the window.
  int lastMin = -static_cast<int>(std::lround(params.inRateHz * 0.5));
  env.scannedLength = ForEachWindow(w, lastIndex, [&](int a, int b) {
    PpgPeak high{-100.0, a};
    PpgPeak low{500.0, a};
    for (int i = a; i <= b; ++i) {
      if (s[i] > high.value) high = {s[i], i};
      if (s[i] < low.value) low = {s[i], i};
    }
    Accept(env.maxima, high, high.position - lastMax > w.dMax,
           !env.maxima.empty() && high.value > env.maxima.back().value, lastMax);
    Accept(env.minima, low, low.position - lastMin > w.dMin && s[b + 1] > low.value,
           !env.minima.empty() && low.value < env.minima.back().value, lastMin);
  });

  // S is the index of the last scanned sample (the end of the last window), so a maximum at S lands on
  // output sample T * outRate - 1, the last one when the duration matches the record.
  const double scannedLength = env.scannedLength;
  const double factor =
      std::max(0.0, (params.durationS * params.outRateHz - 1.0) * params.inRateHz / scannedLength) / params.outRateHz;
  std::vector<TablePoint> table;
  table.reserve(env.maxima.size() + 2);
  table.push_back({0.0, env.maxima.front().value});
  for (const PpgPeak& peak : env.maxima) table.push_back({peak.position * factor, peak.value});
  table.push_back({params.durationS * params.inRateHz, env.maxima.back().value});

  std::vector<double>& out = env.values;
  out.resize(static_cast<std::size_t>(n));
  const double samplesPerOutput = params.inRateHz / params.outRateHz;
  std::size_t next = 1;
  for (long k = 0; k < n; ++k) {
    const double x = k * samplesPerOutput;
    while (next < table.size() && table[next].position <= x) ++next;
    if (next >= table.size()) {
      out[k] = table.back().value;
      continue;
    }
    const TablePoint& before = table[next - 1];
    const TablePoint& after = table[next];
    const double span = after.position - before.position;
    out[k] = span > 0.0 ? before.value + (after.value - before.value) * (x - before.position) / span : after.value;
  }

  // Gaussian smoothing in place over times k / outRate: sample 0 takes part in no sum, and each smoothed
  // sample is stored at once, so later sums see the smoothed earlier samples.
  const long half = static_cast<long>(std::ceil(kGaussCutoff * kSmoothingWidthS * params.outRateHz));
  std::vector<double> weight(static_cast<std::size_t>(half) + 1);
  for (long d = 0; d <= half; ++d) weight[d] = Gauss(d / params.outRateHz / kSmoothingWidthS);
  const long lastOut = n - 1;
  PercentProgress shown(progress, 0, lastOut);
  for (long k = 0; k <= lastOut; ++k) {
    double num = 0.0, den = 0.0;
    const long from = std::max(1L, k - half), to = std::min(lastOut, k + half);
    for (long j = from; j <= to; ++j) {
      const double g = weight[static_cast<std::size_t>(std::labs(k - j))];
      num += g * out[j];
      den += g;
    }
    if (den > 0.0) out[k] = num / den;
    shown.update(k);
    if (progress.stopRequested()) {
      return Failure(PpgEnvelopeStatus::kStopped, PpgEnvelopeFault::kStopped);
    }
  }
  return result;
}

std::vector<double> PpgEnvelopeSamples(const PpgEnvelope& envelope, int durationS, double outRateHz) {
  const double wanted = std::round(durationS * outRateHz);
  if (!(wanted > 0.0)) return {};
  const std::size_t count =
      wanted >= static_cast<double>(envelope.values.size()) ? envelope.values.size() : static_cast<std::size_t>(wanted);
  return std::vector<double>(envelope.values.begin(), envelope.values.begin() + static_cast<std::ptrdiff_t>(count));
}

}  // namespace kelvora
