#pragma once
// Surrogate records by the iterated amplitude-adjusted Fourier transform (IAAFT).
//
// A surrogate holds exactly the values of the record, in another order, and has nearly the same amplitude
// spectrum; its Fourier phases are random. Coherence between two records that is no larger than between
// independent surrogates of them is what chance alone gives.
//
// The iteration: start from a random shuffle of the values; then, in turn, give the current series the
// record's Fourier amplitudes (keeping its phases) and put the record's values back in the rank order of the
// result. It ends when the rank order no longer changes, when the amplitudes of the ranked series differ from
// the record's by less than `spectrumTolerance` (relative root-mean-square over the bins, sqrt(sum (|S_k| -
// |X_k|)^2 / sum |X_k|^2)), or after `maxIterations` rounds. Long records rarely reach a fixed rank order: the
// ranking keeps trading neighbours of nearly equal value while the spectrum no longer improves measurably, so
// the tolerance ends most runs after 3 to 20 rounds instead of maxIterations.
#include <atomic>
#include <cstdint>
#include <functional>
#include <span>
#include <vector>

namespace kelvora {

inline constexpr double kDefaultIaaftSpectrumTolerance = 1e-4;

struct IaaftOptions {
  int maxIterations = 100;                                   // >= 1
  double spectrumTolerance = kDefaultIaaftSpectrumTolerance;  // 0 waits for a fixed rank order
  // Called after each round with its number (and before the first with 0); returning false ends the
  // iteration at once, the result marked stopped. Empty: never stops.
  std::function<bool(int round)> onRound;
  // Read inside each round as well (between its transforms and sort passes): once true, the iteration ends
  // as when onRound asks to stop. Null: never.
  const std::atomic<bool>* stop = nullptr;
  // Called inside the rounds too (after each transform and each sort pass, so a few times a second even for
  // records of millions of samples) with IaaftShare of the rounds done so far, fractions of the current round
  // included: never decreasing, below 1. For progress that must move while a long record's round runs.
  // Empty: not called.
  std::function<void(double share)> onShare;
};

// Rounds after which a run is taken to be half done: most runs end within them (see above).
inline constexpr int kTypicalIaaftRounds = 20;

// The share of the work of a run of at most maxIterations rounds that `rounds` rounds (fractional) stand for:
// the first kTypicalIaaftRounds rounds cover half, the rest up to maxIterations the other half (linearly in
// each part; all of it linearly when maxIterations is no more). 0 .. 1, increasing in rounds. Pure.
double IaaftShare(double rounds, int maxIterations);

struct IaaftSurrogate {
  std::vector<double> values;  // a permutation of the record's values
  int iterations = 0;          // rounds done
  bool converged = false;      // the rank order stopped changing or the spectrum came within the tolerance
  bool stopped = false;        // onRound asked to stop; the values are then not a finished surrogate
};

// The random stream of surrogate `index` of the record `stream` under `seed`: the same three numbers always give
// the same surrogate, whatever thread makes it and in whatever order, so a run is reproducible with any number
// of threads. The generator is std::mt19937_64 (fully defined by the standard) seeded through SplitMix64.
std::uint64_t SurrogateSeed(std::uint64_t seed, std::uint64_t stream, std::uint64_t index);

// What every surrogate of one record shares: the record, its values in increasing order and its Fourier
// amplitudes. Made once for the many surrogates of a record (a sort and a real FFT of length N); read-only
// afterwards, so any number of threads may use one at once.
class IaaftReference {
 public:
  explicit IaaftReference(std::span<const double> record);
  std::size_t size() const { return m_record.size(); }

 private:
  friend IaaftSurrogate MakeIaaftSurrogate(const IaaftReference&, std::uint64_t, const IaaftOptions&);
  std::vector<double> m_record, m_sorted, m_amplitude;
  double m_energy = 0.0;  // sum of the squared amplitudes of bins 0 .. N/2
};

// One IAAFT surrogate of `record` (finite values; any length >= 1) with the random stream `seed`.
// Cost: per round one real FFT pair of length N and one sort, O(N) (a radix sort); any thread. Memory about
// 70 N bytes. The surrogate of a reference is the one of its record, without the reference's own cost.
IaaftSurrogate MakeIaaftSurrogate(std::span<const double> record, std::uint64_t seed,
                                  const IaaftOptions& options = {});
IaaftSurrogate MakeIaaftSurrogate(const IaaftReference& reference, std::uint64_t seed,
                                  const IaaftOptions& options = {});

}  // namespace kelvora
