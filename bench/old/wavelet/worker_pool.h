#pragma once
// The implementation this program had before its transforms moved to FFTW, kept unchanged (namespace aside)
// only so that the benchmarks can measure old and new code in the same run. Nothing in the program uses it.
// The pool that runs one task per time point on a fixed number of worker threads.
#include <atomic>
#include <functional>

#include "core/progress.h"

namespace kelvora::old {

// Runs task(i) for i = 0 .. count-1 on `threads` worker threads (1 .. 32) named `threadName` (for debuggers);
// each worker takes the next index when it is free. The calling thread waits and, about every 10 ms, shows
// positionOffset + (tasks done) through progress.setPosition, with the percentage of `maximum` as its text
// ("42%") when that changes (when `reportProgress`), and checks for a stop (also once before it starts):
// `stop` set or progress.stopRequested() (which then sets `stop`). A stop lets running tasks finish their index
// and starts no new one. A completed pass reports its last position. Returns true when every task ran, false
// when stopped. All threads are joined on return.
bool RunTimePointTasks(int count, int threads, const char* threadName, const std::function<void(int)>& task,
                       std::atomic<bool>& stop, ProgressSink& progress, long long positionOffset,
                       long long maximum, bool reportProgress = true);

}  // namespace kelvora::old
