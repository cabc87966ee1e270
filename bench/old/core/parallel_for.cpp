#include "bench/old/core/parallel_for.h"

#include <algorithm>
#include <atomic>
#include <thread>
#include <vector>

namespace kelvora::old {

int SpectralThreadCount() {
  const unsigned cores = std::thread::hardware_concurrency();
  return std::clamp(static_cast<int>(cores == 0 ? 1 : cores), 1, 16);
}

void ParallelFor(long long count, long long chunk, int threads, const std::function<void(long long, long long)>& work,
                 const std::function<void(long long)>& onChunkDone) {
  if (count <= 0) return;
  chunk = std::max(1LL, chunk);
  const long long chunks = (count + chunk - 1) / chunk;
  threads = static_cast<int>(std::clamp<long long>(threads, 1, chunks));
  std::atomic<long long> next{0};
  std::atomic<long long> done{0};
  auto loop = [&](bool reporting) {
    for (;;) {
      const long long c = next.fetch_add(1, std::memory_order_relaxed);
      if (c >= chunks) break;
      const long long begin = c * chunk;
      const long long end = std::min(count, begin + chunk);
      work(begin, end);
      const long long total = done.fetch_add(end - begin, std::memory_order_acq_rel) + (end - begin);
      if (reporting && onChunkDone) onChunkDone(total);
    }
  };
  std::vector<std::thread> helpers;
  helpers.reserve(static_cast<std::size_t>(threads - 1));
  for (int i = 1; i < threads; ++i) helpers.emplace_back(loop, false);
  loop(true);
  for (auto& t : helpers) t.join();
  if (onChunkDone) onChunkDone(done.load());
}

}  // namespace kelvora::old
