#include "core/fft.h"

#include <fftw3.h>

#include <map>
#include <mutex>
#include <stdexcept>
#include <tuple>
#include <vector>

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
  bool operator==(const PlanKey& o) const { return !(*this < o) && !(o < *this); }
};

// The plans, made on first use, held by shared pointers and let go least recently used first beyond the bounds.
// A transform holds its plan's pointer while it runs, so a plan let go meanwhile is destroyed after it. The
// planner of either precision is not thread-safe, so making and destroying a plan holds the mutex; the map is
// read under it too. Plans let go are destroyed after the mutex is released (their deleter takes it).
class PlanCache {
 public:
  // Never destroyed, so that plans stay valid for transforms run by other objects' destructors at exit (and
  // stay reachable for leak checkers).
  static PlanCache& instance() {
    static PlanCache* cache = new PlanCache;
    return *cache;
  }

  std::shared_ptr<void> doublePlan(const PlanKey& key) {
    std::vector<std::shared_ptr<void>> released;  // declared before the lock: destroyed after its release
    std::lock_guard lock(m_mutex);
    if (auto found = lookUp(key)) return found;
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
    std::shared_ptr<void> held(plan, [this](void* p) {
      std::lock_guard destroying(m_mutex);
      fftw_destroy_plan(static_cast<fftw_plan>(p));
    });
    insert(key, held, released);
    return held;
  }

  std::shared_ptr<void> longPlan(const PlanKey& key) {
    std::vector<std::shared_ptr<void>> released;
    std::lock_guard lock(m_mutex);
    if (auto found = lookUp(key)) return found;
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
    std::shared_ptr<void> held(plan, [this](void* p) {
      std::lock_guard destroying(m_mutex);
      fftwl_destroy_plan(static_cast<fftwl_plan>(p));
    });
    insert(key, held, released);
    return held;
  }

  std::size_t made() {
    std::lock_guard lock(m_mutex);
    return m_made;
  }
  std::size_t cached() {
    std::lock_guard lock(m_mutex);
    return m_plans.size();
  }

 private:
  struct Entry {
    std::shared_ptr<void> plan;
    unsigned long long lastUse = 0;
  };

  static int checkedLength(std::size_t n) {
    if (n < 1 || n > static_cast<std::size_t>(1) << 30) throw std::length_error("Fft: length");
    return static_cast<int>(n);
  }

  std::shared_ptr<void> lookUp(const PlanKey& key) {
    auto it = m_plans.find(key);
    if (it == m_plans.end()) return nullptr;
    it->second.lastUse = ++m_clock;
    return it->second.plan;
  }

  // Adds the plan and lets go of the least recently used others while the bounds are exceeded (the new plan
  // stays even when it alone exceeds them). Called with the mutex held; the plans let go move to `released`.
  void insert(const PlanKey& key, const std::shared_ptr<void>& plan, std::vector<std::shared_ptr<void>>& released) {
    m_plans.emplace(key, Entry{plan, ++m_clock});
    m_points += key.n;
    ++m_made;
    while (m_plans.size() > 1 && (m_plans.size() > kMaxCachedPlans || m_points > kMaxCachedPlanPoints)) {
      auto oldest = m_plans.end();
      for (auto it = m_plans.begin(); it != m_plans.end(); ++it)
        if (!(it->first == key) && (oldest == m_plans.end() || it->second.lastUse < oldest->second.lastUse)) oldest = it;
      if (oldest == m_plans.end()) break;
      m_points -= oldest->first.n;
      released.push_back(std::move(oldest->second.plan));
      m_plans.erase(oldest);
    }
  }

  std::mutex m_mutex;
  std::map<PlanKey, Entry> m_plans;
  std::size_t m_points = 0;
  std::size_t m_made = 0;
  unsigned long long m_clock = 0;
};

bool Aligned(const void* p) { return fftw_alignment_of(static_cast<double*>(const_cast<void*>(p))) == 0; }
bool AlignedLong(const void* p) { return fftwl_alignment_of(static_cast<long double*>(const_cast<void*>(p))) == 0; }

void CheckSizes(std::size_t realCount, std::size_t complexCount) {
  if (realCount < 1 || complexCount != realCount / 2 + 1)
    throw std::invalid_argument("RealTransform: bins");
}

void Complex(Kind kind, std::span<const ComplexD> in, std::span<ComplexD> out) {
  if (in.empty() || in.size() != out.size()) throw std::invalid_argument("ComplexTransform: lengths");
  auto* src = reinterpret_cast<fftw_complex*>(const_cast<ComplexD*>(in.data()));
  auto* dst = reinterpret_cast<fftw_complex*>(out.data());
  const bool inPlace = src == dst;
  const PlanKey key{kind, Precision::Double, in.size(), Aligned(src) && Aligned(dst), inPlace};
  const std::shared_ptr<void> plan = PlanCache::instance().doublePlan(key);
  fftw_execute_dft(static_cast<fftw_plan>(plan.get()), src, dst);
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
  const std::shared_ptr<void> plan = PlanCache::instance().doublePlan(key);
  fftw_execute_dft_r2c(static_cast<fftw_plan>(plan.get()), src, dst);
}

void ForwardReal(std::span<const long double> in, std::span<ComplexL> out) {
  CheckSizes(in.size(), out.size());
  auto* src = const_cast<long double*>(in.data());
  auto* dst = reinterpret_cast<fftwl_complex*>(out.data());
  const PlanKey key{Kind::ForwardReal, Precision::Long, in.size(), AlignedLong(src) && AlignedLong(dst), false};
  const std::shared_ptr<void> plan = PlanCache::instance().longPlan(key);
  fftwl_execute_dft_r2c(static_cast<fftwl_plan>(plan.get()), src, dst);
}

void BackwardReal(std::span<ComplexD> in, std::span<double> out) {
  CheckSizes(out.size(), in.size());
  auto* src = reinterpret_cast<fftw_complex*>(in.data());
  const PlanKey key{Kind::BackwardReal, Precision::Double, out.size(), Aligned(src) && Aligned(out.data()), false};
  const std::shared_ptr<void> plan = PlanCache::instance().doublePlan(key);
  fftw_execute_dft_c2r(static_cast<fftw_plan>(plan.get()), src, out.data());
}

void BackwardReal(std::span<ComplexL> in, std::span<long double> out) {
  CheckSizes(out.size(), in.size());
  auto* src = reinterpret_cast<fftwl_complex*>(in.data());
  const PlanKey key{Kind::BackwardReal, Precision::Long, out.size(), AlignedLong(src) && AlignedLong(out.data()),
                    false};
  const std::shared_ptr<void> plan = PlanCache::instance().longPlan(key);
  fftwl_execute_dft_c2r(static_cast<fftwl_plan>(plan.get()), src, out.data());
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

std::size_t PlanCount() { return PlanCache::instance().made(); }

std::size_t CachedPlanCount() { return PlanCache::instance().cached(); }

BackwardTransform::BackwardTransform(std::size_t n, bool inPlace)
    : m_n(n),
      m_inPlace(inPlace),
      m_plan(PlanCache::instance().doublePlan(PlanKey{Kind::Backward, Precision::Double, n, true, inPlace})) {}

void BackwardTransform::operator()(std::span<const ComplexD> in, std::span<ComplexD> out) const {
  if (in.size() != m_n || out.size() != m_n) throw std::invalid_argument("ComplexTransform: lengths");
  auto* src = reinterpret_cast<fftw_complex*>(const_cast<ComplexD*>(in.data()));
  auto* dst = reinterpret_cast<fftw_complex*>(out.data());
  if (!Aligned(src) || !Aligned(dst) || (src == dst) != m_inPlace) {
    Backward(in, out);
    return;
  }
  fftw_execute_dft(static_cast<fftw_plan>(m_plan.get()), src, dst);
}

}  // namespace kelvora::fft
