// The PREVAIL finger recordings (rest, then four indentation loadings each followed by reactive hyperaemia):
// the loadings found at 50 % of the resting median, and a full response row for each; skipped without the data.
#include <gtest/gtest.h>

#include <filesystem>
#include <sstream>
#include <string>
#include <vector>

#include "tests/cli/cli_run.h"

namespace kelvora::cli {
namespace {

using kelvora::cli::testing::Cli;

struct PrevailCase {
  const char* file;
  int loadingsFound;    // at --occlusion-below 50
  double firstStartS;   // the first loading found
};

class PrevailMarkers : public ::testing::TestWithParam<PrevailCase> {};

TEST_P(PrevailMarkers, LoadingsAreFoundAndMeasured) {
  const std::string path = std::string(KELVORA_SHARED_DATA_DIR) + "/" + GetParam().file;
  if (!std::filesystem::exists(path)) GTEST_SKIP() << "no " << path;
  const auto listed = Cli({"markers", path, "--find-occlusions", "--occlusion-below", "50"});
  ASSERT_EQ(listed.status, 0) << listed.err;
  std::istringstream lines(listed.out);
  std::vector<std::string> rows;
  for (std::string line; std::getline(lines, line);) rows.push_back(line);
  ASSERT_EQ(rows.size(), 1u + 2u * static_cast<std::size_t>(GetParam().loadingsFound)) << listed.out;
  if (GetParam().loadingsFound > 0) {
    EXPECT_EQ(std::stod(rows[1]), GetParam().firstStartS);
  }
  const auto porh = Cli({"porh", path, "--find-occlusions", "--occlusion-below", "50"});
  ASSERT_EQ(porh.status, 0) << porh.err;
  EXPECT_EQ(porh.out.find("nan"), std::string::npos);
  EXPECT_EQ(porh.out.find("inf"), std::string::npos);
  std::istringstream table(porh.out);
  int count = 0;
  for (std::string line; std::getline(table, line); ++count) {
    if (count == 0) continue;
    // 13 fields, and a peak and a time to peak for every loading.
    std::vector<std::string> fields;
    std::istringstream cells(line);
    for (std::string cell; std::getline(cells, cell, ',');) fields.push_back(cell);
    if (line.back() == ',') fields.emplace_back();
    ASSERT_EQ(fields.size(), 13u) << line;
    EXPECT_FALSE(fields[5].empty()) << line;
    EXPECT_FALSE(fields[6].empty()) << line;
  }
  EXPECT_EQ(count, 1 + GetParam().loadingsFound);
}

INSTANTIATE_TEST_SUITE_P(Recordings, PrevailMarkers,
                         ::testing::Values(PrevailCase{"ldf_PREVAIL008_j1_1.txt", 4, 120.5},
                                           PrevailCase{"ldf_PREVAIL009_j2_1.txt", 4, 172.0},
                                           PrevailCase{"ldf_PREVAIL026_j2_1.txt", 4, 175.5},
                                           PrevailCase{"ldf_PREVAIL028_j1_1.txt", 0, 0.0},
                                           PrevailCase{"ldf_PREVAIL031_j2_1.txt", 4, 113.5},
                                           PrevailCase{"ldf_PREVAIL032_j2_1.txt", 4, 112.5},
                                           PrevailCase{"ldf_PREVAIL034_j2_2.txt", 3, 123.5},
                                           PrevailCase{"ldf_PREVAIL035_j1_2.txt", 2, 450.5}));

}  // namespace
}  // namespace kelvora::cli
