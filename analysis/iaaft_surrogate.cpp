#include "analysis/iaaft_surrogate.h"

#include <algorithm>
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

// The indices 0 .. n-1 ordered by (series[i], i): a stable LSD radix sort of the values' bit patterns (mapped
// so that unsigned order is numeric order, -0 taken as +0) over 11-bit digits, the passes whose digit all keys
// share skipped. O(n) per round where a comparison sort costs O(n log n).
// False, the order unfinished, when `stop` became true between the passes. `passDone(share)` is told after the
// keys and after each pass what share of the sort is done.
template <typename PassDone>
bool RankByValue(std::span<const double> series, std::vector<std::size_t>& order,
                 std::vector<std::pair<std::uint64_t, std::size_t>>& keys,
                 std::vector<std::pair<std::uint64_t, std::size_t>>& spare, const std::atomic<bool>* stop,
                 const PassDone& passDone) {
  const std::size_t n = series.size();
  keys.resize(n);
  spare.resize(n);
  for (std::size_t i = 0; i < n; ++i) {
    const double v = series[i] + 0.0;
    std::uint64_t bits;
    std::memcpy(&bits, &v, sizeof bits);
    bits = (bits >> 63) != 0 ? ~bits : bits | (std::uint64_t{1} << 63);
    keys[i] = {bits, i};
  }
  constexpr int kDigitBits = 11;
  constexpr std::size_t kBuckets = std::size_t{1} << kDigitBits;
  constexpr int kPasses = (64 + kDigitBits - 1) / kDigitBits;
  std::vector<std::size_t> histograms(kPasses * kBuckets, 0);
  for (const auto& key : keys)
    for (int pass = 0; pass < kPasses; ++pass)
      ++histograms[pass * kBuckets + ((key.first >> (pass * kDigitBits)) & (kBuckets - 1))];
  passDone(1.0 / (kPasses + 1));
  for (int pass = 0; pass < kPasses; ++pass) {
    const int shift = pass * kDigitBits;
    const std::span<std::size_t> counts(histograms.data() + pass * kBuckets, kBuckets);
    if (counts[(keys[0].first >> shift) & (kBuckets - 1)] == n) continue;
    if (stop && stop->load(std::memory_order_relaxed)) return false;
    std::size_t start = 0;
    for (std::size_t& count : counts) {
      const std::size_t c = count;
      count = start;
      start += c;
    }
    for (const auto& key : keys) spare[counts[(key.first >> shift) & (kBuckets - 1)]++] = key;
    keys.swap(spare);
    passDone(static_cast<double>(pass + 2) / (kPasses + 1));
  }
  order.resize(n);
  for (std::size_t i = 0; i < n; ++i) order[i] = keys[i].second;
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

IaaftSurrogate MakeIaaftSurrogate(std::span<const double> record, std::uint64_t seed, const IaaftOptions& options) {
  IaaftSurrogate result;
  const std::size_t n = record.size();
  if (n == 0) return result;
  std::vector<double> sorted(record.begin(), record.end());
  std::sort(sorted.begin(), sorted.end());

  const std::size_t bins = n / 2 + 1;
  fft::AlignedVector<double> series(record.begin(), record.end());
  fft::AlignedVector<fft::ComplexD> spectrum(bins);
  fft::ForwardReal(series, spectrum);
  std::vector<double> amplitude(bins);
  double energy = 0.0;
  for (std::size_t k = 0; k < bins; ++k) {
    amplitude[k] = std::abs(spectrum[k]);
    energy += amplitude[k] * amplitude[k];
  }
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
  std::vector<std::pair<std::uint64_t, std::size_t>> keys, spare;
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
    if (!sortedInPlace && !RankByValue(series, order, keys, spare, options.stop, passDone)) {
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
