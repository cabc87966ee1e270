#include "analysis/coherence_rows.h"

#include <algorithm>
#include <cmath>
#include <numbers>
#include <stdexcept>

#if defined(__GNUC__) && defined(__x86_64__)
#include <immintrin.h>
#endif

namespace kelvora {

namespace {

// As in MorletTransform: the padding holds the kernel out to exp(-x^2 / 2) = 1e-12, and kernel spectrum terms
// below 1e-18 of the peak are left out.
const double kPaddingReach = std::sqrt(2.0 * std::log(1e12));
const double kSpectrumReach = std::sqrt(2.0 * std::log(1e18));
constexpr std::size_t kMaxPaddedLength = static_cast<std::size_t>(1) << 27;
// A group takes rows that need at least this share of its length.
constexpr double kGroupShare = 1.0 / 1.2;
// FFTs shorter than this cost more in calls than they save.
constexpr std::size_t kMinSubLength = 32;
// The turned terms of a row are recomputed exactly every this many phases; between, each phase turns the
// previous one's by e^{2 pi i k / L}, so rounding grows over at most this many products.
constexpr std::size_t kExactTurnEvery = 32;

bool Smooth(std::size_t m) {
  for (std::size_t p : {2, 3, 5, 7})
    while (m % p == 0) m /= p;
  return m == 1;
}

// The smallest length >= needed with factors 2, 3, 5 and 7 only that is a multiple of 2^e, e = log2(needed) -
// 6 (at most 10): many divisors to split by, at most a few per cent longer than FastLength would give.
std::size_t GroupLength(double needed) {
  if (!(needed <= static_cast<double>(kMaxPaddedLength))) throw std::length_error("CoherenceRows: length");
  const auto n = static_cast<std::size_t>(needed);
  int e = 0;
  while (e < 10 && (std::size_t{1} << (e + 7)) <= n) ++e;
  const std::size_t step = std::size_t{1} << e;
  std::size_t length = (n + step - 1) / step * step;
  while (!Smooth(length)) length += step;
  if (length > kMaxPaddedLength) throw std::length_error("CoherenceRows: length");
  return length;
}

// The smallest divisor of length that is at least `least` (length itself when none is smaller).
std::size_t SmallestDivisorFrom(std::size_t length, std::size_t least) {
  std::size_t best = length;
  for (std::size_t d = 1; d * d <= length; ++d) {
    if (length % d != 0) continue;
    if (d >= least) best = std::min(best, d);
    if (length / d >= least) best = std::min(best, length / d);
  }
  return best;
}

}  // namespace

CoherenceKernels::CoherenceKernels(long long sampleCount, double sampleRateHz, double centreFrequency,
                                   std::vector<double> frequenciesHz)
    : m_sampleCount(sampleCount), m_frequencies(std::move(frequenciesHz)) {
  if (sampleCount <= 0 || !(sampleRateHz > 0.0) || !(centreFrequency > 0.0) || m_frequencies.empty())
    throw std::invalid_argument("CoherenceRows: parameters");
  for (const double f : m_frequencies)
    if (!(f > 0.0) || !(f <= sampleRateHz / 2.0)) throw std::invalid_argument("CoherenceRows: frequencyHz");
  const std::size_t rows = m_frequencies.size();
  m_valid.reserve(rows);
  for (const double f : m_frequencies) m_valid.push_back(ValidSamples(f, centreFrequency, sampleRateHz, sampleCount));

  // The rows by decreasing reach; each starts a group of its own length unless it needs most of the last one.
  std::vector<std::size_t> order(rows);
  for (std::size_t j = 0; j < rows; ++j) order[j] = j;
  std::vector<double> needed(rows);
  for (std::size_t j = 0; j < rows; ++j) {
    const double scale = centreFrequency * sampleRateHz / m_frequencies[j];
    needed[j] = static_cast<double>(sampleCount) + std::ceil(kPaddingReach * scale);
  }
  std::stable_sort(order.begin(), order.end(), [&](std::size_t a, std::size_t b) { return needed[a] > needed[b]; });
  m_rows.resize(rows);
  for (const std::size_t j : order) {
    if (m_groups.empty() || needed[j] < kGroupShare * static_cast<double>(m_groups.back().length)) {
      Group group;
      group.length = GroupLength(needed[j]);
      m_groups.push_back(std::move(group));
    }
    m_rows[j].group = m_groups.size() - 1;
  }
  for (Group& group : m_groups) {
    const std::size_t length = group.length;
    group.split = static_cast<std::size_t>(std::ceil(std::sqrt(static_cast<double>(length))));
    const double radians = 2.0 * std::numbers::pi / static_cast<double>(length);
    group.fine.resize(group.split);
    for (std::size_t q = 0; q < group.split; ++q) group.fine[q] = std::polar(1.0, radians * static_cast<double>(q));
    group.coarse.resize(length / group.split + 1);
    for (std::size_t q = 0; q < group.coarse.size(); ++q)
      group.coarse[q] = std::polar(1.0, radians * static_cast<double>(q * group.split));
  }

  const double w0 = 2.0 * std::numbers::pi * centreFrequency;
  for (std::size_t j = 0; j < rows; ++j) {
    Row& row = m_rows[j];
    const std::size_t length = m_groups[row.group].length;
    // The kernel spectrum of MorletTransform at this length: sum_p a sqrt(2 pi) exp(-(a (omega + 2 pi p) -
    // w0)^2 / 2) over the unfolded bins, with sqrt(2 / pi) / a and the inverse's 1 / L in the gain.
    const double scale = centreFrequency * sampleRateHz / m_frequencies[j];
    const double binsPerRadian = static_cast<double>(length) / (2.0 * std::numbers::pi);
    const double radiansPerBin = 1.0 / binsPerRadian;
    const double gain = 2.0 / static_cast<double>(length);
    const auto lowBin = static_cast<long long>(std::ceil((w0 - kSpectrumReach) / scale * binsPerRadian));
    const auto highBin = static_cast<long long>(std::floor((w0 + kSpectrumReach) / scale * binsPerRadian));
    row.lowBin = lowBin;
    const auto terms = static_cast<std::size_t>(std::max(0LL, highBin - lowBin + 1));
    row.weights.reserve(terms);
    for (long long unfolded = lowBin; unfolded <= highBin; ++unfolded) {
      const double u = scale * (static_cast<double>(unfolded) * radiansPerBin) - w0;
      row.weights.push_back(gain * std::exp(-0.5 * u * u));
    }
    row.subLength = 2 * terms > length ? length : SmallestDivisorFrom(length, std::max(terms, kMinSubLength));
    row.phases = length / row.subLength;
  }
}

std::vector<std::size_t> CoherenceKernels::groupLengths() const {
  std::vector<std::size_t> lengths;
  for (const Group& group : m_groups) lengths.push_back(group.length);
  return lengths;
}

std::size_t CoherenceKernels::paddedLength(std::size_t row) const { return m_groups[m_rows[row].group].length; }

CoherenceSpectra::CoherenceSpectra(std::span<const double> record, std::shared_ptr<const CoherenceKernels> kernels,
                                   const std::atomic<bool>* stop)
    : m_kernels(std::move(kernels)) {
  if (!m_kernels || static_cast<long long>(record.size()) != m_kernels->sampleCount())
    throw std::invalid_argument("CoherenceRows: kernels length");
  m_spectra.resize(m_kernels->m_groups.size());
  for (std::size_t g = 0; g < m_spectra.size(); ++g) {
    if (stop && stop->load(std::memory_order_relaxed)) return;
    const std::size_t length = m_kernels->m_groups[g].length;
    fft::AlignedVector<double> padded(length, 0.0);
    std::copy(record.begin(), record.end(), padded.begin());
    m_spectra[g].resize(length / 2 + 1);
    fft::ForwardReal(padded, m_spectra[g]);
  }
}

namespace {

// Adds b conj(t) / (|b| |t|) over the entries from .. to of the two FFT outputs (t and b interleaved re, im).
// The sum runs in kLanes independent partial sums, which the compiler keeps in vector registers; a product of
// moduli of exactly 0 adds nothing and is not counted.
constexpr int kLanes = 8;

#if defined(__GNUC__) && !defined(__clang__) && defined(__x86_64__) && defined(__linux__)
__attribute__((target_clones("avx2", "default")))
#endif
void AddPhaseDifferencesPlain(const double* t, const double* b, long long from, long long to, double& re, double& im,
                         long long& count) {
  double sumRe[kLanes] = {}, sumIm[kLanes] = {}, counted[kLanes] = {};
  long long m = from;
  for (; m + kLanes - 1 <= to; m += kLanes) {
    for (int l = 0; l < kLanes; ++l) {
      const double xr = t[2 * (m + l)], xi = t[2 * (m + l) + 1];
      const double yr = b[2 * (m + l)], yi = b[2 * (m + l) + 1];
      const double zr = yr * xr + yi * xi;
      const double zi = yi * xr - yr * xi;
      const double product = (yr * yr + yi * yi) * (xr * xr + xi * xi);
      const bool has = product > 0.0;
      const double inverse = has ? 1.0 / std::sqrt(has ? product : 1.0) : 0.0;
      sumRe[l] += zr * inverse;
      sumIm[l] += zi * inverse;
      counted[l] += has ? 1.0 : 0.0;
    }
  }
  double totalRe = 0.0, totalIm = 0.0, totalCount = 0.0;
  for (int l = 0; l < kLanes; ++l) {
    totalRe += sumRe[l];
    totalIm += sumIm[l];
    totalCount += counted[l];
  }
  for (; m <= to; ++m) {
    const double xr = t[2 * m], xi = t[2 * m + 1];
    const double yr = b[2 * m], yi = b[2 * m + 1];
    const double product = (yr * yr + yi * yi) * (xr * xr + xi * xi);
    if (!(product > 0.0)) continue;
    const double inverse = 1.0 / std::sqrt(product);
    totalRe += (yr * xr + yi * xi) * inverse;
    totalIm += (yi * xr - yr * xi) * inverse;
    totalCount += 1.0;
  }
  re += totalRe;
  im += totalIm;
  count += static_cast<long long>(totalCount);
}

#if defined(__GNUC__) && defined(__x86_64__)
#define KELVORA_ROWS_AVX512 1
// The same with AVX-512, eight terms at a time: 1 / sqrt(|b|^2 |t|^2) from the hardware's 14-bit reciprocal square
// root and two Newton steps (relative error below 1e-15, where sqrt and a division cost several times as much).
// A block of eight with a product outside [1e-290, 1e290] (0 among them) is left to the plain loop, which skips
// the zeros and has no overflow in the Newton steps.
__attribute__((target("avx512f"))) void AddPhaseDifferences512(const double* t, const double* b, long long from,
                                                               long long to, double& re, double& im,
                                                               long long& count) {
  const __m512i evens = _mm512_set_epi64(14, 12, 10, 8, 6, 4, 2, 0);
  const __m512i odds = _mm512_set_epi64(15, 13, 11, 9, 7, 5, 3, 1);
  const __m512d threeHalves = _mm512_set1_pd(1.5), half = _mm512_set1_pd(0.5);
  const __m512d smallest = _mm512_set1_pd(1e-290), largest = _mm512_set1_pd(1e290);
  __m512d sumRe = _mm512_setzero_pd(), sumIm = _mm512_setzero_pd();
  long long counted = 0;
  long long m = from;
  for (; m + 7 <= to; m += 8) {
    const __m512d t0 = _mm512_loadu_pd(t + 2 * m), t1 = _mm512_loadu_pd(t + 2 * m + 8);
    const __m512d b0 = _mm512_loadu_pd(b + 2 * m), b1 = _mm512_loadu_pd(b + 2 * m + 8);
    const __m512d xr = _mm512_permutex2var_pd(t0, evens, t1), xi = _mm512_permutex2var_pd(t0, odds, t1);
    const __m512d yr = _mm512_permutex2var_pd(b0, evens, b1), yi = _mm512_permutex2var_pd(b0, odds, b1);
    const __m512d product = _mm512_mul_pd(_mm512_fmadd_pd(yr, yr, _mm512_mul_pd(yi, yi)),
                                          _mm512_fmadd_pd(xr, xr, _mm512_mul_pd(xi, xi)));
    const __mmask8 inside = _mm512_cmp_pd_mask(product, smallest, _CMP_GE_OQ) &
                            _mm512_cmp_pd_mask(product, largest, _CMP_LE_OQ);
    if (inside != 0xFF) {
      AddPhaseDifferencesPlain(t, b, m, m + 7, re, im, count);
      continue;
    }
    const __m512d halfProduct = _mm512_mul_pd(half, product);
    __m512d y = _mm512_maskz_rsqrt14_pd(0xFF, product);
    y = _mm512_mul_pd(y, _mm512_fnmadd_pd(halfProduct, _mm512_mul_pd(y, y), threeHalves));
    y = _mm512_mul_pd(y, _mm512_fnmadd_pd(halfProduct, _mm512_mul_pd(y, y), threeHalves));
    const __m512d zr = _mm512_fmadd_pd(yr, xr, _mm512_mul_pd(yi, xi));
    const __m512d zi = _mm512_fmsub_pd(yi, xr, _mm512_mul_pd(yr, xi));
    sumRe = _mm512_fmadd_pd(zr, y, sumRe);
    sumIm = _mm512_fmadd_pd(zi, y, sumIm);
    counted += 8;
  }
  alignas(64) double lanes[2][8];
  _mm512_store_pd(lanes[0], sumRe);
  _mm512_store_pd(lanes[1], sumIm);
  for (int l = 0; l < 8; ++l) {
    re += lanes[0][l];
    im += lanes[1][l];
  }
  count += counted;
  if (m <= to) AddPhaseDifferencesPlain(t, b, m, to, re, im, count);
}
#endif

void AddPhaseDifferences(const double* t, const double* b, long long from, long long to, double& re, double& im,
                         long long& count) {
#ifdef KELVORA_ROWS_AVX512
  static const bool avx512 = __builtin_cpu_supports("avx512f");
  if (avx512) {
    AddPhaseDifferences512(t, b, from, to, re, im, count);
    return;
  }
#endif
  AddPhaseDifferencesPlain(t, b, from, to, re, im, count);
}

const double* Doubles(const fft::AlignedVector<fft::ComplexD>& v) { return reinterpret_cast<const double*>(v.data()); }

// a[k] *= b[k] for k < n, written out so that the compiler vectorises it (std::complex's product checks for
// NaN results first).
#if defined(__GNUC__) && !defined(__clang__) && defined(__x86_64__) && defined(__linux__)
__attribute__((target_clones("avx512f", "avx2", "default")))
#endif
void Turn(fft::ComplexD* a, const fft::ComplexD* b, std::size_t n) {
  auto* x = reinterpret_cast<double*>(a);
  const auto* y = reinterpret_cast<const double*>(b);
  for (std::size_t k = 0; k < n; ++k) {
    const double re = x[2 * k] * y[2 * k] - x[2 * k + 1] * y[2 * k + 1];
    const double im = x[2 * k] * y[2 * k + 1] + x[2 * k + 1] * y[2 * k];
    x[2 * k] = re;
    x[2 * k + 1] = im;
  }
}

}  // namespace

std::optional<double> Coherence(const PhaseSum& phases) {
  if (phases.count == 0) return std::nullopt;
  return std::abs(phases.sum) / static_cast<double>(phases.count);
}

double WeibullQuantile(std::vector<double>& values, double q) {
  std::sort(values.begin(), values.end());
  const double h = q * static_cast<double>(values.size() + 1);
  if (h <= 1.0) return values.front();
  if (h >= static_cast<double>(values.size())) return values.back();
  const auto below = static_cast<std::size_t>(std::floor(h));  // 1-based
  const double fraction = h - static_cast<double>(below);
  return values[below - 1] + fraction * (values[below] - values[below - 1]);
}

std::optional<PhaseSum> SumPhaseDifferences(const CoherenceSpectra& temperature, const CoherenceSpectra& bloodFlow,
                                            std::size_t rowIndex, CoherenceWorkspace& workspace,
                                            const std::atomic<bool>* stop) {
  const SampleRange valid = temperature.kernels().validRanges()[rowIndex];
  PhaseSum sum;
  if (!SumPhaseDifferencesOver(temperature, bloodFlow, rowIndex, std::span<const SampleRange>(&valid, 1),
                               std::span<PhaseSum>(&sum, 1), workspace, stop)) {
    return std::nullopt;
  }
  return sum;
}

bool SumPhaseDifferencesOver(const CoherenceSpectra& temperature, const CoherenceSpectra& bloodFlow,
                             std::size_t rowIndex, std::span<const SampleRange> ranges, std::span<PhaseSum> sums,
                             CoherenceWorkspace& workspace, const std::atomic<bool>* stop) {
  const CoherenceKernels& kernels = temperature.kernels();
  if (&kernels != &bloodFlow.kernels()) throw std::invalid_argument("CoherenceRows: kernels");
  if (sums.size() != ranges.size()) throw std::invalid_argument("CoherenceRows: sums");
  const CoherenceKernels::Row& row = kernels.m_rows[rowIndex];
  const CoherenceKernels::Group& group = kernels.m_groups[row.group];
  const SampleRange& valid = kernels.m_valid[rowIndex];
  // Every range is taken inside the row's valid samples.
  std::vector<SampleRange>& parts = workspace.m_ranges;
  parts.assign(ranges.begin(), ranges.end());
  bool any = false;
  for (std::size_t q = 0; q < parts.size(); ++q) {
    parts[q].first = std::max(parts[q].first, valid.first);
    parts[q].last = std::min(parts[q].last, valid.last);
    sums[q] = PhaseSum{};
    any = any || !parts[q].empty();
  }
  if (!any) return true;
  const std::size_t length = group.length;
  const std::size_t half = length / 2;
  const std::size_t terms = row.weights.size();
  const std::size_t phases = row.phases;
  const std::size_t sub = row.subLength;
  const auto& specT = temperature.m_spectra[row.group];
  const auto& specBf = bloodFlow.m_spectra[row.group];

  // c[k] of both records: the kernel's terms times the record's bins (above L/2 the conjugates of those below).
  auto& termsT = workspace.m_termsT;
  auto& termsBf = workspace.m_termsBf;
  termsT.resize(terms);
  termsBf.resize(terms);
  const auto n = static_cast<long long>(length);
  std::size_t bin = static_cast<std::size_t>(((row.lowBin % n) + n) % n);
  for (std::size_t k = 0; k < terms; ++k) {
    const double weight = row.weights[k];
    if (bin <= half) {
      termsT[k] = weight * specT[bin];
      termsBf[k] = weight * specBf[bin];
    } else {
      termsT[k] = weight * std::conj(specT[length - bin]);
      termsBf[k] = weight * std::conj(specBf[length - bin]);
    }
    if (++bin == length) bin = 0;
  }

  auto& bufT = workspace.m_t;
  auto& bufBf = workspace.m_bf;
  bufT.resize(sub);
  bufBf.resize(sub);
  const fft::BackwardTransform inverse(sub, false);
  std::vector<double>& re = workspace.m_re;
  std::vector<double>& im = workspace.m_im;
  std::vector<long long>& count = workspace.m_count;
  re.assign(parts.size(), 0.0);
  im.assign(parts.size(), 0.0);
  count.assign(parts.size(), 0);

  if (phases == 1) {
    // The whole length at once; a kernel wider than the length folds onto it.
    auto& foldT = workspace.m_turnT;
    auto& foldBf = workspace.m_turnBf;
    foldT.assign(sub, fft::ComplexD(0.0, 0.0));
    foldBf.assign(sub, fft::ComplexD(0.0, 0.0));
    std::size_t k0 = 0;
    for (std::size_t k = 0; k < terms; ++k) {
      foldT[k0] += termsT[k];
      foldBf[k0] += termsBf[k];
      if (++k0 == sub) k0 = 0;
    }
    if (stop && stop->load(std::memory_order_relaxed)) return false;
    inverse(foldT, bufT);
    inverse(foldBf, bufBf);
    for (std::size_t q = 0; q < parts.size(); ++q) {
      if (parts[q].empty()) continue;
      double re = 0.0, im = 0.0;
      long long count = 0;
      AddPhaseDifferences(Doubles(bufT), Doubles(bufBf), parts[q].first, parts[q].last, re, im, count);
      sums[q].sum = {re, im};
      sums[q].count = count;
    }
    return true;
  }

  // Phase r: the terms turned by e^{2 pi i r k / L}; r k < P M = L, so no reduction is needed.
  // The turned terms fill the first B of M values; the rest stay 0 and each phase transforms them out of place.
  auto& turnT = workspace.m_turnT;
  auto& turnBf = workspace.m_turnBf;
  auto& step = workspace.m_step;
  turnT.assign(sub, fft::ComplexD(0.0, 0.0));
  turnBf.assign(sub, fft::ComplexD(0.0, 0.0));
  std::copy(termsT.begin(), termsT.end(), turnT.begin());
  std::copy(termsBf.begin(), termsBf.end(), turnBf.begin());
  step.resize(terms);
  for (std::size_t k = 0; k < terms; ++k) step[k] = group.turn(k);
  const auto p = static_cast<long long>(phases);
  for (std::size_t r = 0; r < phases; ++r) {
    if (r > 0) {
      if (stop && stop->load(std::memory_order_relaxed)) return false;
      if (r % kExactTurnEvery == 0) {
        for (std::size_t k = 0; k < terms; ++k) {
          const fft::ComplexD turn = group.turn(r * k);
          turnT[k] = termsT[k] * turn;
          turnBf[k] = termsBf[k] * turn;
        }
      } else {
        Turn(turnT.data(), step.data(), terms);
        Turn(turnBf.data(), step.data(), terms);
      }
    }
    // The samples n = P m + r inside each range.
    const auto phase = static_cast<long long>(r);
    auto firstOf = [&](const SampleRange& range) { return range.first <= phase ? 0 : (range.first - phase + p - 1) / p; };
    auto lastOf = [&](const SampleRange& range) {
      return std::min<long long>(static_cast<long long>(sub) - 1, range.last < phase ? -1 : (range.last - phase) / p);
    };
    // The valid range holds every part: nothing of it at this phase, nothing of them.
    if (firstOf(valid) > lastOf(valid)) continue;
    inverse(turnT, bufT);
    inverse(turnBf, bufBf);
    for (std::size_t q = 0; q < parts.size(); ++q) {
      if (parts[q].empty()) continue;
      const long long from = firstOf(parts[q]);
      const long long to = lastOf(parts[q]);
      if (from <= to) AddPhaseDifferences(Doubles(bufT), Doubles(bufBf), from, to, re[q], im[q], count[q]);
    }
  }
  for (std::size_t q = 0; q < parts.size(); ++q) {
    sums[q].sum = {re[q], im[q]};
    sums[q].count = count[q];
  }
  return true;
}

}  // namespace kelvora
