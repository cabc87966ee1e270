#include "core/fft.h"

#include <fftw3.h>

#include <map>
#include <mutex>
#include <stdexcept>
#include <tuple>

namespace kelvora::fft {

namespace {

enum class Kind { ForwardReal, BackwardReal, Forward, Backward };
enum class Precision { Double, Long };

struct PlanKey {
  Kind kind;
  Precision precision;
  std::size_t n;
  bool aligned;
  bool inPlace;
  bool operator<(const PlanKey& o) const {
    return std::tie(kind, precision, n, aligned, inPlace) < std::tie(o.kind, o.precision, o.n, o.aligned, o.inPlace);
  }
};

// The plans, made on first use and never destroyed. The planner of either precision is not thread-safe, so
// making a plan holds the mutex; the map itself is read under it too.
class PlanCache {
 public:
  // Never destroyed, so that plans stay valid for transforms run by other objects' destructors at exit (and
  // stay reachable for leak checkers).
  static PlanCache& instance() {
    static PlanCache* cache = new PlanCache;
    return *cache;
  }

  fftw_plan doublePlan(const PlanKey& key) {
    std::lock_guard lock(m_mutex);
    auto it = m_double.find(key);
    if (it != m_double.end()) return it->second;
    const int n = checkedLength(key.n);
    const unsigned flags = FFTW_ESTIMATE | (key.aligned ? 0u : FFTW_UNALIGNED);
    const std::size_t complexCount = key.kind == Kind::Forward || key.kind == Kind::Backward ? key.n : key.n / 2 + 1;
    auto* real = static_cast<double*>(fftw_malloc(sizeof(double) * (key.n + 2)));
    auto* a = static_cast<fftw_complex*>(fftw_malloc(sizeof(fftw_complex) * complexCount));
    auto* b = key.inPlace ? a : static_cast<fftw_complex*>(fftw_malloc(sizeof(fftw_complex) * complexCount));
    fftw_plan plan = nullptr;
    if (real && a && b) {
      switch (key.kind) {
        case Kind::ForwardReal: plan = fftw_plan_dft_r2c_1d(n, real, a, flags); break;
        case Kind::BackwardReal: plan = fftw_plan_dft_c2r_1d(n, a, real, flags); break;
        case Kind::Forward: plan = fftw_plan_dft_1d(n, a, b, FFTW_FORWARD, flags); break;
        case Kind::Backward: plan = fftw_plan_dft_1d(n, a, b, FFTW_BACKWARD, flags); break;
      }
    }
    if (b != a) fftw_free(b);
    fftw_free(a);
    fftw_free(real);
    if (!plan) throw std::bad_alloc();
    m_double.emplace(key, plan);
    return plan;
  }

  fftwl_plan longPlan(const PlanKey& key) {
    std::lock_guard lock(m_mutex);
    auto it = m_long.find(key);
    if (it != m_long.end()) return it->second;
    const int n = checkedLength(key.n);
    const unsigned flags = FFTW_ESTIMATE | (key.aligned ? 0u : FFTW_UNALIGNED);
    auto* real = static_cast<long double*>(fftwl_malloc(sizeof(long double) * (key.n + 2)));
    auto* half = static_cast<fftwl_complex*>(fftwl_malloc(sizeof(fftwl_complex) * (key.n / 2 + 1)));
    fftwl_plan plan = nullptr;
    if (real && half) {
      plan = key.kind == Kind::ForwardReal ? fftwl_plan_dft_r2c_1d(n, real, half, flags)
                                           : fftwl_plan_dft_c2r_1d(n, half, real, flags);
    }
    fftwl_free(half);
    fftwl_free(real);
    if (!plan) throw std::bad_alloc();
    m_long.emplace(key, plan);
    return plan;
  }

  std::size_t size() {
    std::lock_guard lock(m_mutex);
    return m_double.size() + m_long.size();
  }

 private:
  static int checkedLength(std::size_t n) {
    if (n < 1 || n > static_cast<std::size_t>(1) << 30) throw std::length_error("transform length out of range");
    return static_cast<int>(n);
  }

  std::mutex m_mutex;
  std::map<PlanKey, fftw_plan> m_double;
  std::map<PlanKey, fftwl_plan> m_long;
};

bool Aligned(const void* p) { return fftw_alignment_of(static_cast<double*>(const_cast<void*>(p))) == 0; }
bool AlignedLong(const void* p) { return fftwl_alignment_of(static_cast<long double*>(const_cast<void*>(p))) == 0; }

void CheckSizes(std::size_t realCount, std::size_t complexCount) {
  if (realCount < 1 || complexCount != realCount / 2 + 1)
    throw std::invalid_argument("real transform: the complex side must hold n / 2 + 1 bins");
}

void Complex(Kind kind, std::span<const ComplexD> in, std::span<ComplexD> out) {
  if (in.empty() || in.size() != out.size()) throw std::invalid_argument("complex transform: lengths differ");
  auto* src = reinterpret_cast<fftw_complex*>(const_cast<ComplexD*>(in.data()));
  auto* dst = reinterpret_cast<fftw_complex*>(out.data());
  const bool inPlace = src == dst;
  const PlanKey key{kind, Precision::Double, in.size(), Aligned(src) && Aligned(dst), inPlace};
  fftw_execute_dft(PlanCache::instance().doublePlan(key), src, dst);
}

}  // namespace

void* AllocateAligned(std::size_t bytes) {
  void* p = fftw_malloc(bytes == 0 ? 1 : bytes);
  if (!p) throw std::bad_alloc();
  return p;
}

void FreeAligned(void* memory) noexcept { fftw_free(memory); }

void ForwardReal(std::span<const double> in, std::span<ComplexD> out) {
  CheckSizes(in.size(), out.size());
  auto* src = const_cast<double*>(in.data());  // an out-of-place real forward transform keeps its input
  auto* dst = reinterpret_cast<fftw_complex*>(out.data());
  const PlanKey key{Kind::ForwardReal, Precision::Double, in.size(), Aligned(src) && Aligned(dst), false};
  fftw_execute_dft_r2c(PlanCache::instance().doublePlan(key), src, dst);
}

void ForwardReal(std::span<const long double> in, std::span<ComplexL> out) {
  CheckSizes(in.size(), out.size());
  auto* src = const_cast<long double*>(in.data());
  auto* dst = reinterpret_cast<fftwl_complex*>(out.data());
  const PlanKey key{Kind::ForwardReal, Precision::Long, in.size(), AlignedLong(src) && AlignedLong(dst), false};
  fftwl_execute_dft_r2c(PlanCache::instance().longPlan(key), src, dst);
}

void BackwardReal(std::span<ComplexD> in, std::span<double> out) {
  CheckSizes(out.size(), in.size());
  auto* src = reinterpret_cast<fftw_complex*>(in.data());
  const PlanKey key{Kind::BackwardReal, Precision::Double, out.size(), Aligned(src) && Aligned(out.data()), false};
  fftw_execute_dft_c2r(PlanCache::instance().doublePlan(key), src, out.data());
}

void BackwardReal(std::span<ComplexL> in, std::span<long double> out) {
  CheckSizes(out.size(), in.size());
  auto* src = reinterpret_cast<fftwl_complex*>(in.data());
  const PlanKey key{Kind::BackwardReal, Precision::Long, out.size(), AlignedLong(src) && AlignedLong(out.data()),
                    false};
  fftwl_execute_dft_c2r(PlanCache::instance().longPlan(key), src, out.data());
}

void Forward(std::span<const ComplexD> in, std::span<ComplexD> out) { Complex(Kind::Forward, in, out); }
void Backward(std::span<const ComplexD> in, std::span<ComplexD> out) { Complex(Kind::Backward, in, out); }

std::size_t FastLength(std::size_t n) {
  for (std::size_t m = n < 1 ? 1 : n;; ++m) {
    std::size_t r = m;
    for (std::size_t p : {2, 3, 5, 7})
      while (r % p == 0) r /= p;
    if (r == 1) return m;
  }
}

std::size_t PlanCount() { return PlanCache::instance().size(); }

}  // namespace kelvora::fft
