#include "analysis/hyperaemia_measures.h"

#include <algorithm>
#include <cmath>

#include "analysis/protocol_segments.h"

namespace kelvora {
namespace {

// An interval's ends may sit a rounding error beyond the record's.
constexpr double kEdgeToleranceS = 1e-9;

struct Record {
  std::span<const double> x;
  std::vector<double> s;
  double fs = 0.0;
  long long n = 0;
  double durationS() const { return static_cast<double>(n) / fs; }
  bool inside(const TimeInterval& t) const {
    return t.startS >= -kEdgeToleranceS && t.endS <= durationS() + kEdgeToleranceS && t.endS > t.startS;
  }
  SampleRange samples(const TimeInterval& t) const { return SamplesInInterval(t.startS, t.endS, fs, n); }
  std::optional<double> mean(const TimeInterval& t) const {
    const SampleRange r = samples(t);
    if (r.empty()) return std::nullopt;
    long double sum = 0.0L;
    for (long long i = r.first; i <= r.last; ++i) sum += x[static_cast<std::size_t>(i)];
    return static_cast<double>(sum / static_cast<long double>(r.size()));
  }
};

std::optional<MeasureError> CheckRecord(std::span<const double> flux, double fs) {
  if (!(fs > 0.0) || !std::isfinite(fs)) return MeasureError{MeasureErrorKind::kBadSampleRate, -1, -1};
  if (flux.empty()) return MeasureError{MeasureErrorKind::kNoSamples, -1, -1};
  for (std::size_t i = 0; i < flux.size(); ++i)
    if (!std::isfinite(flux[i])) return MeasureError{MeasureErrorKind::kNonFiniteSample, static_cast<long long>(i), -1};
  return std::nullopt;
}

bool Sound(const TimeInterval& t) {
  return std::isfinite(t.startS) && std::isfinite(t.endS) && t.startS >= 0.0 && t.endS > t.startS;
}

std::optional<double> Percent(const std::optional<double>& value, const std::optional<double>& base) {
  if (!value || !base || !(*base > 0.0)) return std::nullopt;
  return 100.0 * *value / *base;
}

void Note(std::vector<MeasureNote>& notes, MeasureNote note) {
  if (std::find(notes.begin(), notes.end(), note) == notes.end()) notes.push_back(note);
}

std::optional<double> BaselineOf(const Record& r, double onsetS, const std::optional<TimeInterval>& given,
                                 std::vector<MeasureNote>& notes) {
  const TimeInterval interval = given ? *given : TimeInterval{onsetS - kBaselineSeconds, onsetS};
  if (!r.inside(interval)) {
    Note(notes, MeasureNote::kNoBaseline);
    return std::nullopt;
  }
  return r.mean(interval);
}

PorhMeasures MeasureOne(const Record& r, const TimeInterval& occlusion, double windowEndS,
                        const std::optional<TimeInterval>& givenBaseline) {
  PorhMeasures m;
  m.occlusion = occlusion;
  if (!r.inside(occlusion)) {
    Note(m.notes, MeasureNote::kOutsideRecord);
    return m;
  }
  m.baseline = BaselineOf(r, occlusion.startS, givenBaseline, m.notes);
  m.biologicalZero = r.mean({std::max(occlusion.startS, occlusion.endS - kBiologicalZeroSeconds), occlusion.endS});
  const SampleRange window = r.samples({occlusion.endS, std::min(windowEndS, r.durationS())});
  if (window.empty()) {
    Note(m.notes, MeasureNote::kNoResponseWindow);
    return m;
  }
  long long peakAt = window.first;
  for (long long i = window.first; i <= window.last; ++i)
    if (r.s[static_cast<std::size_t>(i)] > r.s[static_cast<std::size_t>(peakAt)]) peakAt = i;
  const double peak = r.s[static_cast<std::size_t>(peakAt)];
  m.peak = peak;
  m.timeToPeakS = static_cast<double>(peakAt) / r.fs - occlusion.endS;
  if (m.biologicalZero) m.peakMinusBiologicalZero = peak - *m.biologicalZero;
  if (!m.baseline) return m;
  const double baseline = *m.baseline;
  m.peakPercentBaseline = Percent(m.peak, m.baseline);
  if (!(baseline > 0.0)) Note(m.notes, MeasureNote::kBaselineNotPositive);

  long long back = window.last + 1;
  for (long long i = peakAt + 1; i <= window.last; ++i)
    if (r.s[static_cast<std::size_t>(i)] <= baseline) {
      back = i;
      break;
    }
  if (peak > baseline && back > window.last) Note(m.notes, MeasureNote::kNoReturn);
  long double area = 0.0L;
  for (long long i = window.first; i < back; ++i) area += std::max(r.x[static_cast<std::size_t>(i)] - baseline, 0.0) / r.fs;
  m.hyperaemicArea = static_cast<double>(area);

  long double debt = 0.0L;
  const SampleRange occluded = r.samples(occlusion);
  for (long long i = occluded.first; i <= occluded.last && !occluded.empty(); ++i)
    debt += std::max(baseline - r.x[static_cast<std::size_t>(i)], 0.0) / r.fs;
  if (debt > 0.0L) m.repayment = static_cast<double>(area / debt);
  else Note(m.notes, MeasureNote::kNoDebt);

  if (!(peak > baseline)) {
    Note(m.notes, MeasureNote::kNoHyperaemia);
    return m;
  }
  const double half = baseline + (peak - baseline) / 2.0;
  for (long long i = peakAt; i <= window.last; ++i)
    if (r.s[static_cast<std::size_t>(i)] <= half) {
      m.t50S = static_cast<double>(i - peakAt) / r.fs;
      break;
    }
  if (!m.t50S) Note(m.notes, MeasureNote::kNoHalfRecovery);
  return m;
}

}  // namespace

std::vector<double> CentredMovingMean(std::span<const double> flux, double sampleRateHz) {
  const auto n = static_cast<long long>(flux.size());
  const auto half = static_cast<long long>(std::floor(sampleRateHz / 2.0));
  std::vector<double> s(flux.size());
  // Prefix sums in extended precision keep every window's mean as exact as a direct sum.
  std::vector<long double> prefix(flux.size() + 1, 0.0L);
  for (long long i = 0; i < n; ++i) prefix[static_cast<std::size_t>(i + 1)] = prefix[static_cast<std::size_t>(i)] + flux[static_cast<std::size_t>(i)];
  for (long long i = 0; i < n; ++i) {
    const long long a = std::max(0LL, i - half);
    const long long b = std::min(n - 1, i + half);
    s[static_cast<std::size_t>(i)] = static_cast<double>((prefix[static_cast<std::size_t>(b + 1)] - prefix[static_cast<std::size_t>(a)]) /
                                                         static_cast<long double>(b - a + 1));
  }
  return s;
}

PorhOutcome MeasurePorh(std::span<const double> flux, double sampleRateHz, const std::vector<TimeInterval>& occlusions,
                        const std::optional<TimeInterval>& baseline) {
  PorhOutcome outcome;
  if (auto error = CheckRecord(flux, sampleRateHz)) {
    outcome.error = error;
    return outcome;
  }
  for (std::size_t i = 0; i < occlusions.size(); ++i)
    if (!Sound(occlusions[i])) {
      outcome.error = MeasureError{MeasureErrorKind::kBadInterval, -1, static_cast<int>(i)};
      return outcome;
    }
  if (baseline && !Sound(*baseline)) {
    outcome.error = MeasureError{MeasureErrorKind::kBadInterval, -1, static_cast<int>(occlusions.size())};
    return outcome;
  }
  Record r{flux, CentredMovingMean(flux, sampleRateHz), sampleRateHz, static_cast<long long>(flux.size())};
  std::vector<TimeInterval> sorted = occlusions;
  std::stable_sort(sorted.begin(), sorted.end(), [](const TimeInterval& a, const TimeInterval& b) { return a.startS < b.startS; });
  for (std::size_t i = 0; i < sorted.size(); ++i) {
    double windowEnd = sorted[i].endS + kResponseWindowSeconds;
    if (i + 1 < sorted.size()) windowEnd = std::min(windowEnd, sorted[i + 1].startS);
    outcome.rows.push_back(MeasureOne(r, sorted[i], windowEnd, baseline));
  }
  return outcome;
}

HeatingOutcome MeasureHeating(std::span<const double> flux, double sampleRateHz, const TimeInterval& heating,
                              const std::optional<TimeInterval>& baseline, const std::optional<TimeInterval>& maximum) {
  HeatingOutcome outcome;
  if (auto error = CheckRecord(flux, sampleRateHz)) {
    outcome.error = error;
    return outcome;
  }
  const TimeInterval* intervals[3] = {&heating, baseline ? &*baseline : nullptr, maximum ? &*maximum : nullptr};
  for (int i = 0; i < 3; ++i)
    if (intervals[i] && !Sound(*intervals[i])) {
      outcome.error = MeasureError{MeasureErrorKind::kBadInterval, -1, i};
      return outcome;
    }
  Record r{flux, CentredMovingMean(flux, sampleRateHz), sampleRateHz, static_cast<long long>(flux.size())};
  HeatingMeasures& m = outcome.row;
  m.heating = heating;
  if (!r.inside(heating)) {
    Note(m.notes, MeasureNote::kOutsideRecord);
    return outcome;
  }
  m.baseline = BaselineOf(r, heating.startS, baseline, m.notes);
  const SampleRange first = r.samples({heating.startS, std::min(heating.startS + kHeatingPeakSeconds, heating.endS)});
  const SampleRange whole = r.samples(heating);
  if (!first.empty()) {
    long long peakAt = first.first;
    for (long long i = first.first; i <= first.last; ++i)
      if (r.s[static_cast<std::size_t>(i)] > r.s[static_cast<std::size_t>(peakAt)]) peakAt = i;
    m.initialPeak = r.s[static_cast<std::size_t>(peakAt)];
    if (peakAt < whole.last) {
      double nadir = r.s[static_cast<std::size_t>(peakAt + 1)];
      for (long long i = peakAt + 1; i <= whole.last; ++i) nadir = std::min(nadir, r.s[static_cast<std::size_t>(i)]);
      m.nadir = nadir;
    } else {
      Note(m.notes, MeasureNote::kNoNadir);
    }
  }
  if (heating.endS - heating.startS < kPlateauSeconds) Note(m.notes, MeasureNote::kShortPlateau);
  m.plateau = r.mean({std::max(heating.startS, heating.endS - kPlateauSeconds), heating.endS});
  if (maximum) {
    const std::optional<double> level = r.inside(*maximum) ? r.mean(*maximum) : std::nullopt;
    if (!level || !(*level > 0.0)) {
      Note(m.notes, MeasureNote::kNoMaximum);
    } else {
      m.initialPeakPercentMax = Percent(m.initialPeak, level);
      m.plateauPercentMax = Percent(m.plateau, level);
    }
  }
  return outcome;
}

}  // namespace kelvora
