#include "analysis/iaaft_surrogate.h"

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstring>
#include <utility>
#include <random>

#include "core/fft.h"

namespace kelvora {

namespace {

std::uint64_t SplitMix64(std::uint64_t& state) {
  std::uint64_t z = (state += 0x9E3779B97F4A7C15ULL);
  z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ULL;
  z = (z ^ (z >> 27)) * 0x94D049BB133111EBULL;
  return z ^ (z >> 31);
}

// A uniform integer in [0, bound) by rejection, so that the shuffle is the same with every standard library
// (std::uniform_int_distribution and std::shuffle are not specified exactly).
std::uint64_t Below(std::mt19937_64& rng, std::uint64_t bound) {
  const std::uint64_t limit = ~std::uint64_t{0} - (~std::uint64_t{0} % bound);
  for (;;) {
    const std::uint64_t v = rng();
    if (v < limit) return v % bound;
  }
}

// Insertion sort that gives up (returning false, the range partly sorted) after `budget` element moves, so a
// nearly sorted range costs O(n) and a shuffled one no more than the budget before the caller sorts it anew.
bool InsertionSortWithin(std::vector<std::pair<double, std::size_t>>& v, std::size_t budget) {
  std::size_t moves = 0;
  for (std::size_t i = 1; i < v.size(); ++i) {
    const auto item = v[i];
    std::size_t j = i;
    while (j > 0 && item < v[j - 1]) {
      v[j] = v[j - 1];
      --j;
      if (++moves > budget) {
        v[j] = item;
        return false;
      }
    }
    v[j] = item;
  }
  return true;
}

// The values' bit patterns mapped so that unsigned order is numeric order, -0 taken as +0.
std::uint64_t OrderedBits(double value) {
  const double v = value + 0.0;
  std::uint64_t bits;
  std::memcpy(&bits, &v, sizeof bits);
  return (bits >> 63) != 0 ? ~bits : bits | (std::uint64_t{1} << 63);
}

// A stable LSD radix sort of `keys` by their bits from `lowBit` up, over digits of kDigitBits bits, the passes
// whose digit all keys share skipped. False, the order unfinished, when `stop` became true between the passes.
// `passDone(share)` is told after each pass what share of the sort is done.
template <int kDigitBits, typename Item, typename KeyOf, typename PassDone>
bool RadixSort(std::vector<Item>& keys, std::vector<Item>& spare, int lowBit, KeyOf keyOf,
               std::vector<std::size_t>& histograms, const std::atomic<bool>* stop, const PassDone& passDone) {
  constexpr std::size_t kBuckets = std::size_t{1} << kDigitBits;
  const std::size_t n = keys.size();
  const int passes = (64 - lowBit + kDigitBits - 1) / kDigitBits;
  spare.resize(n);
  histograms.assign(static_cast<std::size_t>(passes) * kBuckets, 0);
  for (const Item& key : keys)
    for (int pass = 0; pass < passes; ++pass)
      ++histograms[pass * kBuckets + ((keyOf(key) >> (lowBit + pass * kDigitBits)) & (kBuckets - 1))];
  for (int pass = 0; pass < passes; ++pass) {
    const int shift = lowBit + pass * kDigitBits;
    const std::span<std::size_t> counts(histograms.data() + pass * kBuckets, kBuckets);
    if (counts[(keyOf(keys[0]) >> shift) & (kBuckets - 1)] == n) continue;
    if (stop && stop->load(std::memory_order_relaxed)) return false;
    std::size_t start = 0;
    for (std::size_t& count : counts) {
      const std::size_t c = count;
      count = start;
      start += c;
    }
    for (const Item& key : keys) spare[counts[(keyOf(key) >> shift) & (kBuckets - 1)]++] = key;
    keys.swap(spare);
    passDone(static_cast<double>(pass + 1) / passes);
  }
  return true;
}

// The scratch arrays of the ranking, kept from round to round.
struct RankScratch {
  std::vector<std::uint64_t> whole, packed, spare;
  std::vector<std::pair<std::uint64_t, std::size_t>> pairs, pairSpare;
  std::vector<std::size_t> histograms;
};

// The indices 0 .. n-1 ordered by (series[i], i), in O(n) per round where a comparison sort costs O(n log n).
// The values' ordered bits, less the leading ones they all share, are cut to their upper 64 - w bits (33 below
// 2^31 values) and share one word with the index of w bits; a radix sort of the words by those bits, stable from
// index order, then orders by (upper bits, index), and an insertion pass puts the rare neighbours whose upper
// bits agree in the order of their whole bits. Only
// when that pass needs many moves (values crowded within their last bits) are the whole bits sorted with the
// indices instead. False, the order unfinished, when `stop` became true between the passes. `passDone(share)`
// is told after the keys and after each pass what share of the ranking is done.
template <typename PassDone>
bool RankByValue(std::span<const double> series, std::vector<std::size_t>& order, RankScratch& s,
                 const std::atomic<bool>* stop, const PassDone& passDone) {
  const std::size_t n = series.size();
  const int indexBits = std::max(32, static_cast<int>(std::bit_width(n)));
  const std::uint64_t indexMask = (std::uint64_t{1} << indexBits) - 1;
  s.whole.resize(n);
  s.packed.resize(n);
  std::uint64_t differing = 0;
  for (std::size_t i = 0; i < n; ++i) {
    s.whole[i] = OrderedBits(series[i]);
    differing |= s.whole[i] ^ s.whole[0];
  }
  order.resize(n);
  if (differing == 0) {
    for (std::size_t i = 0; i < n; ++i) order[i] = i;
    return true;
  }
  // The leading bits every value shares are shifted out, so the word holds the bits that tell them apart.
  const int shared = std::countl_zero(differing);
  for (std::size_t i = 0; i < n; ++i) s.packed[i] = ((s.whole[i] << shared) & ~indexMask) | i;
  passDone(0.1);
  const auto packedPass = [&passDone](double sorted) { passDone(0.1 + 0.8 * sorted); };
  if (!RadixSort<8>(s.packed, s.spare, indexBits, [](std::uint64_t key) { return key; }, s.histograms, stop,
                    packedPass))
    return false;
  std::size_t moves = 0;
  const std::size_t budget = 2 * n + 64;
  bool fixed = true;
  for (std::size_t i = 1; i < n && fixed; ++i) {
    const std::uint64_t item = s.packed[i];
    if (((s.packed[i - 1] ^ item) & ~indexMask) != 0) continue;  // the usual case: nothing to look up
    const std::uint64_t itemWhole = s.whole[item & indexMask];
    std::size_t j = i;
    while (j > 0) {
      const std::uint64_t before = s.packed[j - 1];
      if (((before ^ item) & ~indexMask) != 0) break;
      const std::uint64_t beforeWhole = s.whole[before & indexMask];
      if (beforeWhole < itemWhole || (beforeWhole == itemWhole && before < item)) break;
      s.packed[j] = before;
      --j;
      if (++moves > budget) {
        fixed = false;
        break;
      }
    }
    s.packed[j] = item;
  }
  if (fixed) {
    for (std::size_t i = 0; i < n; ++i) order[i] = static_cast<std::size_t>(s.packed[i] & indexMask);
    return true;
  }
  s.pairs.resize(n);
  for (std::size_t i = 0; i < n; ++i) s.pairs[i] = {s.whole[i], i};
  if (!RadixSort<11>(s.pairs, s.pairSpare, 0, [](const std::pair<std::uint64_t, std::size_t>& key) { return key.first; },
                 s.histograms, stop, [&passDone](double sorted) { passDone(0.9 + 0.1 * sorted); }))
    return false;
  for (std::size_t i = 0; i < n; ++i) order[i] = s.pairs[i].second;
  return true;
}

}  // namespace

double IaaftShare(double rounds, int maxIterations) {
  const double all = std::max(1, maxIterations);
  rounds = std::clamp(rounds, 0.0, all);
  const double typical = kTypicalIaaftRounds;
  if (all <= typical) return rounds / all;
  if (rounds <= typical) return 0.5 * rounds / typical;
  return 0.5 + 0.5 * (rounds - typical) / (all - typical);
}

std::uint64_t SurrogateSeed(std::uint64_t seed, std::uint64_t stream, std::uint64_t index) {
  std::uint64_t state = seed;
  std::uint64_t h = SplitMix64(state);
  state = h ^ (stream * 0xD1B54A32D192ED03ULL);
  h = SplitMix64(state);
  state = h ^ (index * 0xABC98388FB8FAC03ULL);
  return SplitMix64(state);
}

IaaftReference::IaaftReference(std::span<const double> record)
    : m_record(record.begin(), record.end()), m_sorted(record.begin(), record.end()) {
  std::sort(m_sorted.begin(), m_sorted.end());
  const std::size_t n = record.size();
  if (n == 0) return;
  const std::size_t bins = n / 2 + 1;
  fft::AlignedVector<double> series(record.begin(), record.end());
  fft::AlignedVector<fft::ComplexD> spectrum(bins);
  fft::ForwardReal(series, spectrum);
  m_amplitude.resize(bins);
  for (std::size_t k = 0; k < bins; ++k) {
    m_amplitude[k] = std::abs(spectrum[k]);
    m_energy += m_amplitude[k] * m_amplitude[k];
  }
}

IaaftSurrogate MakeIaaftSurrogate(std::span<const double> record, std::uint64_t seed, const IaaftOptions& options) {
  return MakeIaaftSurrogate(IaaftReference(record), seed, options);
}

IaaftSurrogate MakeIaaftSurrogate(const IaaftReference& reference, std::uint64_t seed, const IaaftOptions& options) {
  IaaftSurrogate result;
  const std::span<const double> record = reference.m_record;
  const std::size_t n = record.size();
  if (n == 0) return result;
  const std::vector<double>& sorted = reference.m_sorted;
  const std::vector<double>& amplitude = reference.m_amplitude;
  const double energy = reference.m_energy;
  const std::size_t bins = n / 2 + 1;
  fft::AlignedVector<double> series(n);
  fft::AlignedVector<fft::ComplexD> spectrum(bins);
  // The squared deviation of the amplitudes below which the spectrum counts as reached.
  const double allowed = options.spectrumTolerance * options.spectrumTolerance * energy;
  auto goOn = [&options, &result](int round) {
    if ((!options.onRound || options.onRound(round)) && !(options.stop && options.stop->load())) return true;
    result.stopped = true;
    return false;
  };
  auto stopped = [&options, &result] {
    if (!options.stop || !options.stop->load(std::memory_order_relaxed)) return false;
    result.stopped = true;
    return true;
  };
  if (!goOn(0)) return result;
  const int rounds = std::max(1, options.maxIterations);
  // Tells onShare that `part` (0 .. 1) of the round after `done` rounds is done; the share stays below 1.
  double lastShare = 0.0;
  auto share = [&options, &lastShare, rounds](int done, double part) {
    if (!options.onShare) return;
    const double now = std::min(IaaftShare(done + std::clamp(part, 0.0, 1.0), rounds), std::nextafter(1.0, 0.0));
    if (now <= lastShare) return;
    lastShare = now;
    options.onShare(now);
  };

  std::mt19937_64 rng(seed);
  std::vector<double>& values = result.values;
  values.assign(record.begin(), record.end());
  for (std::size_t i = n - 1; i > 0; --i) std::swap(values[i], values[Below(rng, i + 1)]);

  // Each round ranks the series by (value, index); ties keep time order, so the ranking is deterministic
  // whichever sort makes it. The round ends the iteration when it ranks exactly as the one before.
  std::vector<std::pair<double, std::size_t>> ranked;
  RankScratch rankScratch;
  std::vector<std::size_t> order(n), previous;
  // Rounds until the next attempt at an insertion sort: 0 after one that succeeded; after one that gave up,
  // the ranking changes too much for it and the next rounds take the radix sort.
  int insertionPause = 1;
  // The parts of a round up to the end of each step: the two transforms and the ranking (its passes between).
  constexpr double kAfterForward = 0.25, kAfterBackward = 0.5;
  for (int round = 1; round <= rounds; ++round) {
    const int before = round - 1;
    std::copy(values.begin(), values.end(), series.begin());
    fft::ForwardReal(series, spectrum);
    share(before, kAfterForward);
    double deviation = 0.0;
    for (std::size_t k = 0; k < bins; ++k) {
      const double m = std::sqrt(std::norm(spectrum[k]));
      deviation += (m - amplitude[k]) * (m - amplitude[k]);
      spectrum[k] = m > 0 ? spectrum[k] * (amplitude[k] / m) : fft::ComplexD(amplitude[k], 0.0);
    }
    // The ranked series of the last round already has the amplitudes closely enough.
    if (round > 1 && deviation <= allowed) {
      result.converged = true;
      break;
    }
    if (stopped()) return result;
    fft::BackwardReal(spectrum, series);
    share(before, kAfterBackward);
    if (stopped()) return result;
    bool sortedInPlace = false;
    if (!previous.empty() && --insertionPause <= 0) {
      // Once the ranking changes little, start from the last order and insertion-sort it.
      ranked.resize(n);
      for (std::size_t i = 0; i < n; ++i) ranked[i] = {series[previous[i]], previous[i]};
      sortedInPlace = InsertionSortWithin(ranked, 2 * n + 64);
      insertionPause = sortedInPlace ? 0 : 4;
      if (sortedInPlace)
        for (std::size_t i = 0; i < n; ++i) order[i] = ranked[i].second;
    }
    auto passDone = [&share, before](double sorted) {
      share(before, kAfterBackward + (1.0 - kAfterBackward) * 0.95 * sorted);
    };
    if (!sortedInPlace && !RankByValue(series, order, rankScratch, options.stop, passDone)) {
      result.stopped = true;
      return result;
    }
    for (std::size_t i = 0; i < n; ++i) values[order[i]] = sorted[i];
    result.iterations = round;
    share(round, 0.0);
    if (order == previous) {
      result.converged = true;
      break;
    }
    if (!goOn(round)) return result;
    previous.swap(order);
    order.resize(n);
  }
  return result;
}

}  // namespace kelvora
