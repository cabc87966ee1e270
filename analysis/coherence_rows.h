#pragma once
// The phase-difference sums of two records' Morlet transforms, frequency row by frequency row, by short
// inverse FFTs.
//
// The coherence needs, for each grid frequency f_j, over the valid samples n of the row,
//   S_j = sum_n W_BF(f_j, n) conj(W_T(f_j, n)) / (|W_BF(f_j, n)| |W_T(f_j, n)|)
// with W as analysis/morlet_transform.h defines it (a sample where either W is exactly 0 is left out). A row's
// kernel spectrum covers only B bins of the padded length L (B about 2.7 L / a for a scale of a samples), so
// with c[k] = weight(lo + k) X(lo + k) for k < B,
//   W(n) = e^{2 pi i n lo / L} u(n),   u(n) = sum_{k<B} c[k] e^{2 pi i n k / L},
// and the factor in front is the same for both records and cancels in W_BF conj(W_T). Splitting n = P m + r
// with L = P M and M >= B, u(P m + r) = sum_{k<B} (c[k] e^{2 pi i r k / L}) e^{2 pi i m k / M}: the inverse FFT
// of length M of the row's B terms turned by e^{2 pi i r k / L}. A row thus costs P FFTs of length M (about
// L log M instead of L log L), and a worker holds buffers of M values, not of L. A row whose kernel does not fit
// in half the length (the smallest scales) is done as one FFT of length L with its folded terms added.
//
// Each row is also padded only as far as its own kernel reaches: the rows are put in a few groups of padded
// lengths (each a multiple of a power of two with factors 2, 3, 5, 7 only, at most a fifth longer than its
// rows need), and a record's spectrum is computed once per group. The padding only has to hold the kernel, so
// the rows agree with those of MorletTransform to the kernel's truncation (about 1e-12 of max |W|).
#include <atomic>
#include <cstddef>
#include <memory>
#include <optional>
#include <span>
#include <vector>

#include "analysis/cone_of_influence.h"
#include "core/fft.h"

namespace kelvora {

// The unnormalised sum of exp(i (phi_BF - phi_T)) over a row's valid samples, and how many terms it has.
struct PhaseSum {
  fft::ComplexD sum{0.0, 0.0};
  long long count = 0;
};

// |S| / count: the phase coherence of a sum; nothing without terms.
std::optional<double> Coherence(const PhaseSum& phases);

// The q-quantile of the values by the Weibull plotting position: with the values sorted, v_1 <= ... <= v_m, it
// is v_h at h = q (m + 1), interpolated linearly between v_floor(h) and v_floor(h)+1 and held at v_1 and v_m
// beyond them. For 100 values the 95th percentile lies at h = 95.95, almost v_96: a value exchangeable with
// the m surrogates then exceeds it with probability 1 - q = 5 % (the rank rule of a Monte Carlo test), where
// the interpolation over (m - 1) would let about 6 % through. Sorts `values`, which must not be empty.
double WeibullQuantile(std::vector<double>& values, double q);

class CoherenceSpectra;
class CoherenceWorkspace;
std::optional<PhaseSum> SumPhaseDifferences(const CoherenceSpectra& temperature, const CoherenceSpectra& bloodFlow,
                                            std::size_t row, CoherenceWorkspace& workspace,
                                            const std::atomic<bool>* stop);

// Everything the rows of records of one length, rate, f0 and grid share: the groups' lengths, each row's
// kernel terms and split, and the tables of e^{2 pi i q / L}. Read-only after construction: any number of
// threads may use it at once.
class CoherenceKernels {
 public:
  // sampleCount >= 1, sampleRateHz > 0, centreFrequency > 0 and frequencies in (0, sampleRateHz / 2]. Throws
  // std::invalid_argument for bad parameters, std::length_error when a padded length would exceed 2^27,
  // std::bad_alloc.
  CoherenceKernels(long long sampleCount, double sampleRateHz, double centreFrequency,
                   std::vector<double> frequenciesHz);

  long long sampleCount() const { return m_sampleCount; }
  const std::vector<double>& frequencies() const { return m_frequencies; }
  std::size_t rowCount() const { return m_frequencies.size(); }
  const std::vector<SampleRange>& validRanges() const { return m_valid; }
  // The padded length of each group, and the group, the padded length and the FFT length M of a row.
  std::vector<std::size_t> groupLengths() const;
  std::size_t paddedLength(std::size_t row) const;
  std::size_t subLength(std::size_t row) const { return m_rows[row].subLength; }

 private:
  friend class CoherenceSpectra;
  friend bool SumPhaseDifferencesOver(const CoherenceSpectra&, const CoherenceSpectra&, std::size_t,
                                      std::span<const SampleRange>, std::span<PhaseSum>, CoherenceWorkspace&,
                                      const std::atomic<bool>*);
  struct Row {
    std::size_t group = 0;
    long long lowBin = 0;         // the first unfolded bin of the kernel's spectrum at the group's length
    std::size_t phases = 1;       // P
    std::size_t subLength = 0;    // M = L / P
    std::vector<double> weights;  // the kernel at lowBin, lowBin + 1, ... (the row's gain included)
  };
  struct Group {
    std::size_t length = 0;               // L
    std::size_t split = 1;                // e^{2 pi i q / L} = coarse[q / split] fine[q % split]
    std::vector<fft::ComplexD> coarse, fine;
    fft::ComplexD turn(std::size_t q) const { return coarse[q / split] * fine[q % split]; }
  };
  long long m_sampleCount = 0;
  std::vector<double> m_frequencies;
  std::vector<SampleRange> m_valid;
  std::vector<Row> m_rows;
  std::vector<Group> m_groups;
};

// One record's spectra at the groups' padded lengths: about 8 bytes per padded sample of every group.
class CoherenceSpectra {
 public:
  // record.size() == kernels->sampleCount() (else std::invalid_argument); already preprocessed. Cost: one real
  // FFT per group. Once `stop` is true it ends between the groups' FFTs, the spectra unfinished: the caller,
  // which sees the flag, must not use them.
  CoherenceSpectra(std::span<const double> record, std::shared_ptr<const CoherenceKernels> kernels,
                   const std::atomic<bool>* stop = nullptr);
  const CoherenceKernels& kernels() const { return *m_kernels; }

 private:
  friend bool SumPhaseDifferencesOver(const CoherenceSpectra&, const CoherenceSpectra&, std::size_t,
                                      std::span<const SampleRange>, std::span<PhaseSum>, CoherenceWorkspace&,
                                      const std::atomic<bool>*);
  std::shared_ptr<const CoherenceKernels> m_kernels;
  std::vector<fft::AlignedVector<fft::ComplexD>> m_spectra;  // bins 0 .. L/2 of each group
};

// The scratch memory of one worker: a few arrays of a row's B and M values. Reused for every row.
class CoherenceWorkspace {
 public:
  CoherenceWorkspace() = default;

 private:
  friend bool SumPhaseDifferencesOver(const CoherenceSpectra&, const CoherenceSpectra&, std::size_t,
                                      std::span<const SampleRange>, std::span<PhaseSum>, CoherenceWorkspace&,
                                      const std::atomic<bool>*);
  fft::AlignedVector<fft::ComplexD> m_t, m_bf;          // the FFTs' outputs, M values
  fft::AlignedVector<fft::ComplexD> m_turnT, m_turnBf;  // their inputs, M values
  std::vector<fft::ComplexD> m_termsT, m_termsBf, m_step;  // B values
  std::vector<SampleRange> m_ranges;                       // the ranges of one call, inside the valid samples
  std::vector<double> m_re, m_im;                          // their sums
  std::vector<long long> m_count;
};

// S_j of row j of the two records' spectra (made over the same kernels). Empty when `stop` became true during
// the row (it is read between the row's FFTs; pass nullptr for none). Any number of threads at once, each with its own workspace.
std::optional<PhaseSum> SumPhaseDifferences(const CoherenceSpectra& temperature, const CoherenceSpectra& bloodFlow,
                                            std::size_t row, CoherenceWorkspace& workspace,
                                            const std::atomic<bool>* stop);

// The sums of row `row` over several sample ranges at once (segments of the record): sums[q] over ranges[q]
// taken inside the row's valid samples (empty parts give zero sums). One row's FFTs serve every range. False
// when `stop` became true during the row. As thread-safe as SumPhaseDifferences.
bool SumPhaseDifferencesOver(const CoherenceSpectra& temperature, const CoherenceSpectra& bloodFlow, std::size_t row,
                             std::span<const SampleRange> ranges, std::span<PhaseSum> sums,
                             CoherenceWorkspace& workspace, const std::atomic<bool>* stop);

}  // namespace kelvora
