// Stopping wavelet runs from other threads: repeated stop requests, a second run started while the first is
// stopping, and many runs started and stopped in a row. Built into the ThreadSanitizer run of
// `make test-sanitize`, which checks these for data races.
#include <gtest/gtest.h>

#include <atomic>
#include <functional>
#include <memory>
#include <thread>
#include <vector>

#include "tests/wavelet/wavelet_test_support.h"
#include "wavelet/wavelet_engine.h"

namespace kelvora {
namespace {

using wavelet_testing::MixedSignal;
using wavelet_testing::RecordingProgress;
using wavelet_testing::RelativeDifference;

constexpr FrequencyBand kMyogenic{0.05, 0.15};
constexpr FrequencyBand kWide{0.005, 2.0};

WaveletRunRequest Request(FrequencyBand band, WaveletType type, int threads) {
  WaveletRunRequest request;
  request.band = band;
  request.type = type;
  request.threads = threads;
  return request;
}

// Counts progress reports; `started` turns true at the first one, from the thread that runs the engine. With
// `releaseWhen`, that first report holds the run until it returns true, so that a stop pressed meanwhile is sure
// to find the run going however fast the run and however loaded the machine.
class StartedProgress : public ProgressSink {
 public:
  void setPosition(long long) override {
    if (started.exchange(true) || !releaseWhen) return;
    while (!releaseWhen()) std::this_thread::yield();
  }
  std::atomic<bool> started{false};
  std::function<bool()> releaseWhen;
};

// The reference output of the band on a freshly loaded engine of its own.
std::vector<double> FreshOutput(const std::vector<double>& x, FrequencyBand band, WaveletType type) {
  auto engine = std::make_unique<WaveletEngine>();
  EXPECT_FALSE(engine->loadSignal(x, band).has_value());
  const WaveletRunResult result = engine->run(Request(band, type, 2));
  EXPECT_TRUE(result.completed());
  return result.output;
}

TEST(WaveletStop, PressingStopRepeatedlyStopsOnceAndLeavesTheEngineUsable) {
  const std::vector<double> x = MixedSignal(1200);
  auto engine = std::make_unique<WaveletEngine>();
  ASSERT_FALSE(engine->loadSignal(x, kMyogenic).has_value());
  StartedProgress progress;
  progress.releaseWhen = [&] { return engine->stopRequested(); };
  std::atomic<bool> finished{false};
  WaveletRunResult stopped;
  std::thread runner([&] {
    stopped = engine->run(Request(kWide, WaveletType::Paul, 4), progress);
    finished.store(true);
  });
  while (!progress.started.load()) std::this_thread::yield();
  // Three "users" press STOP as fast as they can until the run has ended.
  std::vector<std::thread> pressers;
  for (int p = 0; p < 3; ++p)
    pressers.emplace_back([&] {
      while (!finished.load()) engine->requestStop();
    });
  runner.join();
  for (std::thread& t : pressers) t.join();
  EXPECT_EQ(stopped.status, WaveletRunStatus::Stopped);
  EXPECT_TRUE(stopped.output.empty());

  // Presses after the end are dropped by the next run, which gives the fresh result.
  for (int i = 0; i < 5; ++i) engine->requestStop();
  const WaveletRunResult next = engine->run(Request(kMyogenic, WaveletType::Morlet, 2));
  ASSERT_TRUE(next.completed());
  EXPECT_LT(RelativeDifference(next.output, FreshOutput(x, kMyogenic, WaveletType::Morlet)), 1e-12);
}

TEST(WaveletStop, ASecondRunStartedWhileTheFirstStopsWaitsAndIsCorrect) {
  const std::vector<double> x = MixedSignal(1200);
  auto engine = std::make_unique<WaveletEngine>();
  ASSERT_FALSE(engine->loadSignal(x, kMyogenic).has_value());
  StartedProgress progress;
  progress.releaseWhen = [&] { return engine->stopRequested(); };
  WaveletRunResult first;
  std::thread runner([&] { first = engine->run(Request(kWide, WaveletType::Paul, 4), progress); });
  while (!progress.started.load()) std::this_thread::yield();

  // STOP, then at once a new run from another thread, as a user pressing STOP and then the run button.
  engine->requestStop();
  WaveletRunResult second;
  std::thread again([&] { second = engine->run(Request(kMyogenic, WaveletType::Morlet, 3)); });
  runner.join();
  again.join();
  EXPECT_EQ(first.status, WaveletRunStatus::Stopped);
  ASSERT_TRUE(second.completed());
  EXPECT_LT(RelativeDifference(second.output, FreshOutput(x, kMyogenic, WaveletType::Morlet)), 1e-12);
}

TEST(WaveletStop, TwoHundredRunsStartedAndStoppedInARow) {
  const std::vector<double> x = MixedSignal(200);
  auto engine = std::make_unique<WaveletEngine>();
  ASSERT_FALSE(engine->loadSignal(x, kMyogenic).has_value());
  int stoppedRuns = 0;
  for (int i = 0; i < 200; ++i) {
    const WaveletType type = i % 2 == 0 ? WaveletType::Morlet : WaveletType::Paul;
    const FrequencyBand band = i % 10 == 0 ? kWide : kMyogenic;
    WaveletRunResult result;
    if (i % 2 == 0) {
      // Stopped from another thread as soon as it has started.
      StartedProgress progress;
      std::atomic<bool> finished{false};
      std::thread runner([&] {
        result = engine->run(Request(band, type, 1 + i % 5), progress);
        finished.store(true);
      });
      while (!progress.started.load() && !finished.load()) std::this_thread::yield();
      engine->requestStop();
      runner.join();
    } else {
      // Stopped through the progress sink at a position that moves from run to run, in either pass.
      RecordingProgress progress;
      const long long at = (i * 37) % 400;
      progress.stopWhen = [at](long long position) { return position >= at; };
      result = engine->run(Request(band, type, 1 + i % 7), progress);
    }
    ASSERT_NE(result.status, WaveletRunStatus::Refused) << "run " << i;
    if (result.status == WaveletRunStatus::Stopped) {
      ++stoppedRuns;
      EXPECT_TRUE(result.output.empty()) << "run " << i;
    } else {
      EXPECT_EQ(result.output.size(), x.size()) << "run " << i;
    }
  }
  // A stop that arrives as a short run ends lets it complete; the long wide-band runs are always caught.
  EXPECT_GE(stoppedRuns, 20);
  // After all that, both types still give the fresh results.
  for (const WaveletType type : {WaveletType::Morlet, WaveletType::Paul}) {
    const WaveletRunResult last = engine->run(Request(kMyogenic, type, 2));
    ASSERT_TRUE(last.completed());
    EXPECT_LT(RelativeDifference(last.output, FreshOutput(x, kMyogenic, type)), 1e-12);
  }
}

}  // namespace
}  // namespace kelvora
