#include "cli/cmd_ppg.h"

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <sstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "tests/signals/temp_dir.h"

namespace kelvora::cli {
namespace {

struct CommandRun {
  int status;
  std::string out, err;
};

CommandRun RunPpg(const std::vector<std::string>& args) {
  std::ostringstream out, err;
  const int status = RunPpgCommand(args, out, err);
  return {status, out.str(), err.str()};
}

int Lines(const std::string& text) { return static_cast<int>(std::count(text.begin(), text.end(), '\n')); }

// A 60 s PPG at 50 Hz: pulses at 72 per minute.
std::string PulseText() {
  std::string text = "PPG\n";
  for (int i = 0; i < 3000; ++i) {
    const double u = std::fmod(i * 1.2 / 50.0, 1.0);
    text += std::to_string(1.0 + std::exp(-std::pow((u - 0.2) / 0.06, 2) / 2)) + "\n";
  }
  return text;
}

TEST(PpgCommand, WritesRoundDurationTimesOutRateSamples) {
  kelvora::testing::TempDir dir;
  const std::string input = dir.write("ppg.txt", PulseText());
  // Duration as the reader sets it: round(2999 / 50) = 60 s, 120 samples at 2 Hz.
  CommandRun r = RunPpg({input});
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(Lines(r.out), 120);
  EXPECT_TRUE(r.err.empty());

  const std::string output = dir.file("bf.txt");
  r = RunPpg({input, "--out-rate", "4", "--duration", "30", "-o", output});
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_TRUE(r.out.empty());
  EXPECT_EQ(Lines(kelvora::testing::TempDir::read(output)), 120);
}

TEST(PpgCommand, BadUsageIsStatusTwoBadInputStatusOneAndNoOutputFile) {
  kelvora::testing::TempDir dir;
  const std::string output = dir.file("bf.txt");
  EXPECT_EQ(RunPpg({"--help"}).status, 0);
  EXPECT_EQ(RunPpg({}).status, 2);
  EXPECT_EQ(RunPpg({"a.txt", "--bogus"}).status, 2);
  EXPECT_EQ(RunPpg({"a.txt", "--in-rate", "0"}).status, 2);
  EXPECT_EQ(RunPpg({"a.txt", "--min-pulse", "6.5"}).status, 2);
  EXPECT_EQ(RunPpg({"a.txt", "--out-rate"}).status, 2);

  const CommandRun missing = RunPpg({dir.file("none.txt"), "-o", output});
  EXPECT_EQ(missing.status, 1);
  EXPECT_NE(missing.err.find("none.txt"), std::string::npos);

  const CommandRun bad = RunPpg({dir.write("bad.txt", "PPG\n1\n2\nx7\n"), "-o", output});
  EXPECT_EQ(bad.status, 1);
  EXPECT_NE(bad.err.find("bad.txt"), std::string::npos);
  EXPECT_NE(bad.err.find("Line 4"), std::string::npos) << bad.err;

  const CommandRun header = RunPpg({dir.write("header.txt", "PPG\n"), "-o", output});
  EXPECT_EQ(header.status, 1);
  EXPECT_NE(header.err.find("no samples"), std::string::npos) << header.err;

  const CommandRun flat = RunPpg({dir.write("flat.txt", "PPG\n3\n3\n3\n3\n"), "-o", output});
  EXPECT_EQ(flat.status, 1);
  EXPECT_NE(flat.err.find("cannot be scaled"), std::string::npos) << flat.err;

  EXPECT_FALSE(std::filesystem::exists(output));
}

}  // namespace
}  // namespace kelvora::cli
