#pragma once
// Spreading independent units of work (scale rows, blocks of samples) over worker threads, with progress shown
// and a stop request honoured between units.
#include <atomic>
#include <functional>

#include "core/progress.h"

namespace kelvora {

// The most worker threads RunParallelTasks starts; `worker` indices are below it.
inline constexpr int kMaxTaskThreads = 32;

// How RunParallelTasks runs and what it watches.
struct ParallelTaskControl {
  int threads = 1;                    // worker threads, clamped to 1 .. 32 and to the number of units
  const char* threadName = nullptr;   // the workers' name for debuggers (at most 15 characters), or none
  std::atomic<bool>* stop = nullptr;  // when set, no further unit starts; set here when progress asks to stop
  ProgressSink* progress = nullptr;   // its stopRequested() is checked with the stop flag
  // Called on the calling thread with the number of units finished so far, after units finish (at most once
  // per finished unit, and not more often than the calling thread wakes), and once more at the end when every
  // unit ran. Never concurrently with itself.
  std::function<void(long long done)> onProgress;
  // Called on the calling thread every time it wakes while units run (at least every 10 ms), for progress
  // that the tasks count themselves in finer steps than units. Never concurrently with itself or onProgress.
  std::function<void()> onWake;
};

// Runs task(index, worker) for index = 0 .. count - 1 on control.threads worker threads; each worker takes the
// next index when it is free, so indices start in increasing order. `worker` (0 .. threads - 1) tells a task
// which worker runs it, for per-worker scratch space. The calling thread only watches: it wakes when a unit
// finishes (or every 10 ms), reports progress and checks for a stop (also once before anything starts). A stop
// lets running units finish and starts no new one, so it takes effect within one unit's time. `task` must
// write only state that belongs to its own unit (or to its worker). Returns true when every unit ran, false
// when stopped; all workers are joined on return. An exception thrown by a task stops the others and is
// rethrown here.
bool RunParallelTasks(long long count, const ParallelTaskControl& control,
                      const std::function<void(long long index, int worker)>& task);

// The number of cores, at least 1: the default worker count.
int HardwareThreadCount();

// The workers of a computation that asks for `threads` (0 or less: one per core): never more than the cores,
// since more only add memory and switching, not speed.
int CappedThreadCount(int threads);

}  // namespace kelvora
