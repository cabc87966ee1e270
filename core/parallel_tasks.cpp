#include "core/parallel_tasks.h"

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <exception>
#include <mutex>
#include <thread>
#include <vector>

#if defined(__linux__)
#include <pthread.h>
#endif

namespace kelvora {

namespace {

constexpr int kMaxWorkers = kMaxTaskThreads;

void NameThisThread(const char* name) {
#if defined(__linux__)
  if (name != nullptr) pthread_setname_np(pthread_self(), name);
#else
  (void)name;
#endif
}

bool StopRequested(const ParallelTaskControl& control) {
  if (control.progress != nullptr && control.progress->stopRequested() && control.stop != nullptr)
    control.stop->store(true);
  return (control.stop != nullptr && control.stop->load()) ||
         (control.progress != nullptr && control.progress->stopRequested());
}

}  // namespace

int HardwareThreadCount() {
  const unsigned cores = std::thread::hardware_concurrency();
  return cores == 0 ? 1 : static_cast<int>(std::min(cores, 1024u));
}

int CappedThreadCount(int threads) {
  const int cores = HardwareThreadCount();
  return threads > 0 ? std::min(threads, cores) : cores;
}

bool RunParallelTasks(long long count, const ParallelTaskControl& control,
                      const std::function<void(long long, int)>& task) {
  if (StopRequested(control)) return false;
  if (count <= 0) return true;
  const int workerCount =
      static_cast<int>(std::clamp<long long>(control.threads, 1, std::min<long long>(kMaxWorkers, count)));

  std::atomic<bool> halt{false};
  std::atomic<long long> next{0};
  std::mutex mutex;
  std::condition_variable changed;
  long long done = 0;  // guarded by mutex
  int running = workerCount;
  std::exception_ptr failure;

  auto shouldHalt = [&] { return halt.load(std::memory_order_relaxed) || (control.stop && control.stop->load()); };
  std::vector<std::thread> workers;
  workers.reserve(static_cast<std::size_t>(workerCount));
  for (int w = 0; w < workerCount; ++w) {
    workers.emplace_back([&, w] {
      NameThisThread(control.threadName);
      while (!shouldHalt()) {
        const long long i = next.fetch_add(1);
        if (i >= count) break;
        try {
          task(i, w);
        } catch (...) {
          std::lock_guard<std::mutex> lock(mutex);
          if (!failure) failure = std::current_exception();
          halt.store(true);
          break;
        }
        std::lock_guard<std::mutex> lock(mutex);
        ++done;
        changed.notify_all();
      }
      std::lock_guard<std::mutex> lock(mutex);
      --running;
      changed.notify_all();
    });
  }

  long long shown = 0;
  bool stopped = false;
  {
    std::unique_lock<std::mutex> lock(mutex);
    while (running > 0) {
      changed.wait_for(lock, std::chrono::milliseconds(10));
      const long long now = done;
      lock.unlock();
      if (!stopped && StopRequested(control)) {
        stopped = true;
        halt.store(true);
      }
      if (control.onWake && !stopped) control.onWake();
      if (now != shown && control.onProgress && !stopped) {
        shown = now;
        control.onProgress(now);
      }
      // A stop asked from within the reports takes effect at once.
      if (!stopped && (control.onWake || control.onProgress) && StopRequested(control)) {
        stopped = true;
        halt.store(true);
      }
      lock.lock();
    }
  }
  for (std::thread& worker : workers) worker.join();
  if (failure) std::rethrow_exception(failure);
  const bool completed = done == count;
  if (completed && control.onProgress && shown != done) control.onProgress(done);
  return completed;
}

}  // namespace kelvora
