#include "bench/old/wavelet/worker_pool.h"

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#if defined(__linux__)
#include <pthread.h>
#endif

#include "wavelet/wavelet_types.h"

namespace kelvora::old {

namespace {

void NameThisThread(const char* name) {
#if defined(__linux__)
  pthread_setname_np(pthread_self(), name);
#else
  (void)name;
#endif
}

}  // namespace

bool RunTimePointTasks(int count, int threads, const char* threadName, const std::function<void(int)>& task,
                       std::atomic<bool>& stop, ProgressSink& progress, long long positionOffset,
                       long long maximum, bool reportProgress) {
  if (progress.stopRequested()) stop.store(true);
  if (count <= 0 || stop.load()) return count <= 0 && !stop.load();
  const int workerCount = std::clamp(threads, kWaveletMinThreads, std::min(kWaveletMaxThreads, count));
  std::atomic<int> next{0};
  std::atomic<int> done{0};
  std::mutex mutex;
  std::condition_variable finished;
  int running = workerCount;

  std::vector<std::thread> workers;
  workers.reserve(static_cast<size_t>(workerCount));
  for (int w = 0; w < workerCount; ++w) {
    workers.emplace_back([&] {
      NameThisThread(threadName);
      while (!stop.load(std::memory_order_relaxed)) {
        const int i = next.fetch_add(1);
        if (i >= count) break;
        task(i);
        done.fetch_add(1, std::memory_order_release);
      }
      std::lock_guard<std::mutex> lock(mutex);
      if (--running == 0) finished.notify_all();
    });
  }

  long long shown = -1;
  long long shownPercent = -1;
  {
    std::unique_lock<std::mutex> lock(mutex);
    while (running > 0) {
      finished.wait_for(lock, std::chrono::milliseconds(10));
      if (progress.stopRequested()) stop.store(true);
      const long long position = positionOffset + done.load(std::memory_order_acquire);
      if (reportProgress && position != shown && running > 0) {
        shown = position;
        lock.unlock();
        progress.setPosition(position);
        const long long percent = maximum > 0 ? position * 100 / maximum : 100;
        if (percent != shownPercent) {
          shownPercent = percent;
          progress.setText(std::to_string(percent) + "%");
        }
        lock.lock();
      }
    }
  }
  for (std::thread& worker : workers) worker.join();
  const bool completed = done.load() == count;
  if (completed && reportProgress) {
    const long long position = positionOffset + count;
    if (position != shown) progress.setPosition(position);
    const long long percent = maximum > 0 ? position * 100 / maximum : 100;
    if (percent != shownPercent) progress.setText(std::to_string(percent) + "%");
  }
  return completed;
}

}  // namespace kelvora::old
