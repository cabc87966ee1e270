#pragma once
// Discrete Fourier transforms through FFTW, in double and in extended (long double) precision.
//
// All transforms are unnormalised, with the sign convention
//   forward:  X[k] = sum_{j=0}^{n-1} x[j] e^{-2 pi i j k / n}
//   backward: x[j] = sum_{k=0}^{n-1} X[k] e^{+2 pi i j k / n}
// so a forward transform followed by a backward one multiplies by n.
//
// Plans are made once per kind, precision and length (FFTW_ESTIMATE) and kept in a bounded cache: at most
// kMaxCachedPlans plans and kMaxCachedPlanPoints points over all of them; beyond that the plan used least
// recently is let go (and destroyed once no transform runs on it), so the lengths of finished work do not stay
// held. Making and destroying a plan is serialised here, because FFTW's planner is not thread-safe; executing
// plans is not, so any number of threads may transform at once, each on its own arrays. Arrays of any alignment are accepted;
// AlignedVector gives the alignment FFTW's SIMD code wants, which makes double transforms about twice as fast.
#include <complex>
#include <cstddef>
#include <memory>
#include <new>
#include <span>
#include <vector>

namespace kelvora::fft {

using ComplexD = std::complex<double>;
using ComplexL = std::complex<long double>;

// Memory from FFTW's allocator (SIMD-aligned). Throws std::bad_alloc when it fails.
void* AllocateAligned(std::size_t bytes);
void FreeAligned(void* memory) noexcept;

template <typename T>
struct AlignedAllocator {
  using value_type = T;
  AlignedAllocator() = default;
  template <typename U>
  AlignedAllocator(const AlignedAllocator<U>&) noexcept {}
  T* allocate(std::size_t n) { return static_cast<T*>(AllocateAligned(n * sizeof(T))); }
  void deallocate(T* p, std::size_t) noexcept { FreeAligned(p); }
  template <typename U>
  bool operator==(const AlignedAllocator<U>&) const noexcept {
    return true;
  }
};

template <typename T>
using AlignedVector = std::vector<T, AlignedAllocator<T>>;

// Real to half-complex: in.size() = n >= 1 real samples, out.size() = n / 2 + 1 bins X[0 .. n/2] (the other bins
// are their conjugates). `in` is not changed. Cost O(n log n) for every n (prime lengths included).
void ForwardReal(std::span<const double> in, std::span<ComplexD> out);
void ForwardReal(std::span<const long double> in, std::span<ComplexL> out);

// Half-complex to real, the inverse of ForwardReal up to the factor n: in.size() = n / 2 + 1, out.size() = n.
// The imaginary parts of X[0] (and of X[n/2] for even n) are ignored. `in` is overwritten (FFTW's fast
// algorithms use it as scratch space).
void BackwardReal(std::span<ComplexD> in, std::span<double> out);
void BackwardReal(std::span<ComplexL> in, std::span<long double> out);

// Complex transforms of equal lengths n >= 1; `in` and `out` may be the same array.
void Forward(std::span<const ComplexD> in, std::span<ComplexD> out);
void Backward(std::span<const ComplexD> in, std::span<ComplexD> out);

// The smallest length >= n whose prime factors are all 2, 3, 5 or 7, for which FFTW is fastest; n >= 1.
std::size_t FastLength(std::size_t n);

// Plans made so far (each kind, precision, length and alignment counts once while it stays cached; a plan
// made again after it was let go counts again); for tests of plan reuse.
std::size_t PlanCount();

// The bounds of the plan cache, and the plans it holds now.
inline constexpr std::size_t kMaxCachedPlans = 64;
inline constexpr std::size_t kMaxCachedPlanPoints = std::size_t{1} << 24;
std::size_t CachedPlanCount();

// A complex backward transform of one length held for repeated use: the cache is asked once, not per
// transform, and the plan stays valid while this object lives even if the cache lets it go. In place (`in`
// and `out` the same array) or out of place (`in` kept) as made; any number of threads may use one object at
// once, each on its own arrays.
class BackwardTransform {
 public:
  explicit BackwardTransform(std::size_t n, bool inPlace = true);
  std::size_t size() const { return m_n; }
  void operator()(std::span<const ComplexD> in, std::span<ComplexD> out) const;

 private:
  std::size_t m_n = 0;
  bool m_inPlace = true;
  std::shared_ptr<void> m_plan;  // for SIMD-aligned arrays; others take the cache's path
};

}  // namespace kelvora::fft
