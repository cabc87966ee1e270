#include "core/parallel_for.h"

#include <gtest/gtest.h>

#include <atomic>
#include <vector>

namespace kelvora {
namespace {

TEST(ParallelFor, EveryUnitOnceAndTheLastReportCountsAll) {
  for (int threads : {1, 2, 5}) {
    std::vector<std::atomic<int>> hits(1003);
    std::vector<long long> reports;
    ParallelFor(
        1003, 10, threads,
        [&](long long begin, long long end) {
          for (long long i = begin; i < end; ++i) hits[static_cast<std::size_t>(i)]++;
        },
        [&](long long done) { reports.push_back(done); });
    for (const auto& h : hits) ASSERT_EQ(h.load(), 1) << threads;
    ASSERT_FALSE(reports.empty());
    EXPECT_EQ(reports.back(), 1003);
    for (std::size_t i = 1; i < reports.size(); ++i) EXPECT_LE(reports[i - 1], reports[i]);
  }
  bool called = false;
  ParallelFor(
      0, 10, 2, [&](long long, long long) { called = true; }, nullptr);
  EXPECT_FALSE(called);
}

}  // namespace
}  // namespace kelvora
