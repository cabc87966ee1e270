#pragma once
// Discrete Fourier transforms through FFTW, in double and in extended (long double) precision.
//
// All transforms are unnormalised, with the sign convention
//   forward:  X[k] = sum_{j=0}^{n-1} x[j] e^{-2 pi i j k / n}
//   backward: x[j] = sum_{k=0}^{n-1} X[k] e^{+2 pi i j k / n}
// so a forward transform followed by a backward one multiplies by n.
//
// Plans are made once per kind, precision and length (FFTW_ESTIMATE) and kept for the life of the process.
// Making a plan is serialised here, because FFTW's planner is not thread-safe; executing plans is not, so any
// number of threads may transform at once, each on its own arrays. Arrays of any alignment are accepted;
// AlignedVector gives the alignment FFTW's SIMD code wants, which makes double transforms about twice as fast.
#include <complex>
#include <cstddef>
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

// Plans made so far (each kind, precision, length and alignment counts once); for tests of plan reuse.
std::size_t PlanCount();

}  // namespace kelvora::fft
