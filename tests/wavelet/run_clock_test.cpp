#include "wavelet/run_clock.h"

#include <gtest/gtest.h>

namespace kelvora {
namespace {

// A clock moved by hand.
struct FakeClock {
  ClockReading now{100, 0};
  ClockSource source() {
    return [this] { return now; };
  }
  void set(long long day, long long hours, long long minutes, long long seconds, long long ms) {
    now = ClockReading{day, ((hours * 60 + minutes) * 60 + seconds) * 1000 + ms};
  }
};

TEST(RunClock, ElapsedTextShowsMillisecondsOnlyUnderTwentySeconds) {
  FakeClock clock;
  clock.set(100, 10, 0, 0, 0);
  RunClock run(clock.source());
  run.start();
  clock.set(100, 10, 0, 5, 42);
  EXPECT_EQ(run.elapsedText(), "Elapsed Time: 0:00:05:042");
  clock.set(100, 10, 0, 0, 7);
  EXPECT_EQ(run.elapsedText(), "Elapsed Time: 0:00:00:007");
  clock.set(100, 10, 0, 19, 999);
  EXPECT_EQ(run.elapsedText(), "Elapsed Time: 0:00:19:999");
  clock.set(100, 10, 0, 20, 0);
  EXPECT_EQ(run.elapsedText(), "Elapsed Time: 0:00:20");
  clock.set(100, 11, 2, 3, 500);
  EXPECT_EQ(run.elapsedText(), "Elapsed Time: 1:02:03");
  EXPECT_EQ(run.elapsedSeconds(), 3723);
}

TEST(RunClock, RunCrossingMidnightKeepsCounting) {
  FakeClock clock;
  clock.set(100, 23, 59, 50, 0);
  RunClock run(clock.source());
  run.start();
  clock.set(100, 23, 59, 59, 990);
  EXPECT_EQ(run.elapsedText(), "Elapsed Time: 0:00:09:990");
  // The next day: the 9 whole seconds of the old day are carried.
  clock.set(101, 0, 0, 0, 5);
  run.elapsedText();
  clock.set(101, 0, 0, 30, 5);
  EXPECT_EQ(run.elapsedText(), "Elapsed Time: 0:00:39");
  EXPECT_EQ(run.elapsedSeconds(), 39);
}

TEST(RunClock, DaysAndHoursOfLongRuns) {
  FakeClock clock;
  clock.set(100, 0, 0, 0, 0);
  RunClock run(clock.source());
  run.start();
  // Tick through two midnights: 49 hours, 5 minutes and 6 seconds in all.
  clock.set(100, 23, 59, 59, 0);
  run.elapsedText();
  clock.set(101, 0, 0, 0, 0);
  run.elapsedText();
  clock.set(101, 23, 59, 59, 0);
  run.elapsedText();
  clock.set(102, 0, 0, 0, 0);
  run.elapsedText();
  clock.set(102, 1, 5, 8, 0);
  EXPECT_EQ(run.elapsedText(), "Elapsed Time: 2d.:1:05:06");
}

TEST(RunClock, RemainingTimeAndPercentage) {
  EXPECT_EQ(RemainingTimeText(10.0, 25, 100), "Remaining Time: 0 d. :0:00:30");
  EXPECT_EQ(RemainingTimeText(10.0, 0, 100), "Remaining Time: 0 d. :0:00:00");
  EXPECT_EQ(RemainingTimeText(3600.0, 1, 50), "Remaining Time: 2 d. :1:00:00");
  EXPECT_EQ(RemainingTimeText(61.0, 1, 2), "Remaining Time: 0 d. :0:01:01");
  EXPECT_EQ(RemainingTimeText(5.0, 100, 100), "Remaining Time: 0 d. :0:00:00");
  EXPECT_EQ(ProgressPercentText(1, 3), "33 %");
  EXPECT_EQ(ProgressPercentText(2, 3), "67 %");
  EXPECT_EQ(ProgressPercentText(7200, 7200), "100 %");
  EXPECT_EQ(ProgressPercentText(5, 0), "0 %");
}

TEST(RunProgressState, BeginEndAndStop) {
  FakeClock clock;
  clock.set(100, 9, 0, 0, 0);
  RunProgressState progress(clock.source());
  EXPECT_EQ(progress.percentText(), "100%");
  EXPECT_FALSE(progress.running());

  progress.begin();
  EXPECT_TRUE(progress.running());
  EXPECT_EQ(progress.percentText(), "0%");
  clock.set(100, 9, 0, 4, 0);
  progress.elapsedTick();
  progress.remainingTick(100, 400);
  EXPECT_EQ(progress.elapsedPanel(), "Elapsed Time: 0:00:04:000");
  EXPECT_EQ(progress.remainingPanel(), "Remaining Time: 0 d. :0:00:12");
  EXPECT_EQ(progress.percentText(), "25 %");
  RunProgressState::EndEffects effects = progress.end(true);
  EXPECT_TRUE(effects.beep);
  EXPECT_EQ(progress.elapsedPanel(), "Elapsed Time: 0:00:04:000 ГОТОВО");
  EXPECT_EQ(progress.percentText(), "100%");
  EXPECT_FALSE(progress.running());
  progress.remainingTick(100, 400);
  EXPECT_EQ(progress.remainingPanel(), "Remaining Time: 0:00:00");

  // A stopped run: no " ГОТОВО", no beep, "Stop" in the remaining panel; the next begin clears the request.
  progress.begin();
  clock.set(100, 9, 0, 6, 0);
  progress.elapsedTick();
  progress.stop();
  EXPECT_TRUE(progress.stopRequested());
  EXPECT_EQ(progress.elapsedPanel(), "Elapsed Time: 0:00:02:000");
  EXPECT_EQ(progress.remainingPanel(), "Stop");
  EXPECT_EQ(progress.percentText(), "100%");
  EXPECT_FALSE(progress.end(true).beep);
  progress.begin();
  EXPECT_FALSE(progress.stopRequested());
  EXPECT_FALSE(progress.end(false).beep);
}

}  // namespace
}  // namespace kelvora
