#include "core/parallel_tasks.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>
#include <stdexcept>
#include <vector>

namespace kelvora {
namespace {

TEST(ParallelTasks, EveryUnitOnceOnItsWorkerAndTheLastReportCountsAll) {
  for (int threads : {1, 2, 5, 99}) {
    std::vector<std::atomic<int>> hits(1003);
    std::vector<long long> reports;
    std::atomic<int> badWorker{0};
    ParallelTaskControl control;
    control.threads = threads;
    control.threadName = "test";
    control.onProgress = [&](long long done) { reports.push_back(done); };
    const bool done = RunParallelTasks(1003, control, [&](long long i, int worker) {
      if (worker < 0 || worker >= std::min(threads, 32)) ++badWorker;
      hits[static_cast<std::size_t>(i)]++;
    });
    EXPECT_TRUE(done);
    EXPECT_EQ(badWorker.load(), 0);
    for (const auto& h : hits) ASSERT_EQ(h.load(), 1) << threads;
    ASSERT_FALSE(reports.empty());
    EXPECT_EQ(reports.back(), 1003);
    for (std::size_t i = 1; i < reports.size(); ++i) EXPECT_LT(reports[i - 1], reports[i]);
  }
  bool called = false;
  EXPECT_TRUE(RunParallelTasks(0, ParallelTaskControl{}, [&](long long, int) { called = true; }));
  EXPECT_FALSE(called);
}

class StopAfter : public ProgressSink {
 public:
  bool stopRequested() const override { return stop.load(); }
  std::atomic<bool> stop{false};
};

TEST(ParallelTasks, AStopStartsNoFurtherUnitAndAnExceptionReachesTheCaller) {
  StopAfter sink;
  std::atomic<bool> flag{false};
  std::atomic<long long> ran{0};
  ParallelTaskControl control;
  control.threads = 2;
  control.stop = &flag;
  control.progress = &sink;
  // Units of a millisecond, so that the watching thread sees the request long before the last unit.
  EXPECT_FALSE(RunParallelTasks(1000, control, [&](long long i, int) {
    if (i == 10) sink.stop = true;
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
    ++ran;
  }));
  EXPECT_TRUE(flag.load());  // the sink's request is passed on to the flag
  EXPECT_LT(ran.load(), 1000);
  // Stopped before anything starts.
  ran = 0;
  EXPECT_FALSE(RunParallelTasks(10, control, [&](long long, int) { ++ran; }));
  EXPECT_EQ(ran.load(), 0);

  ParallelTaskControl plain;
  plain.threads = 2;
  EXPECT_THROW(RunParallelTasks(50, plain,
                                [](long long i, int) {
                                  if (i == 7) throw std::runtime_error("unit failed");
                                }),
               std::runtime_error);
}

}  // namespace
}  // namespace kelvora
