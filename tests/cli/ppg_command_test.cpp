#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <sstream>
#include <string>
#include <vector>

#include "cli/commands.h"
#include "tests/signals/temp_dir.h"

namespace kelvora::cli {
namespace {

using kelvora::testing::TempDir;

struct PpgRun {
  int status;
  std::string out, err;
};

PpgRun RunPpgCli(std::vector<std::string> args, char separator = '.') {
  std::ostringstream out, err;
  CliContext context{out, err, DecimalFormat::ForSeparator(separator)};
  args.insert(args.begin(), "ppg");
  const int status = RunCli(args, context);
  return {status, out.str(), err.str()};
}

int Lines(const std::string& text) { return static_cast<int>(std::count(text.begin(), text.end(), '\n')); }

// A 60 s PPG at 50 Hz: pulses at 72 per minute.
std::string PulseText() {
  std::string text = "PPG\n";
  char line[32];
  for (int i = 0; i < 3000; ++i) {
    const double u = std::fmod(i * 1.2 / 50.0, 1.0);
    std::snprintf(line, sizeof line, "%.4f\n", 1.0 + std::exp(-std::pow((u - 0.2) / 0.06, 2) / 2));
    text += line;
  }
  return text;
}

TEST(PpgCommand, WritesRoundDurationTimesOutRateSamples) {
  TempDir dir;
  const std::string input = dir.write("ppg.txt", PulseText());
  // Duration as the reader sets it: round(2999 / 50) = 60 s, 120 samples at 2 Hz, all on the 0 .. 10 scale.
  PpgRun r = RunPpgCli({input});
  ASSERT_EQ(r.status, kExitSuccess) << r.err;
  EXPECT_TRUE(r.err.empty());
  std::istringstream lines(r.out);
  int count = 0;
  for (std::string line; std::getline(lines, line); ++count)
    EXPECT_NEAR(std::stod(line), 10.0, 0.1) << line;  // sampled peaks differ a little
  EXPECT_EQ(count, 120);

  const std::string output = dir.file("bf.txt");
  r = RunPpgCli({input, "--out-rate", "4", "--duration", "30", "--min-pulse", "50", "-o", output});
  ASSERT_EQ(r.status, kExitSuccess) << r.err;
  EXPECT_TRUE(r.out.empty());
  EXPECT_EQ(Lines(TempDir::read(output)), 120);

  // With "," as the locale's separator the file is read and written with ",".
  std::string commaText = PulseText();
  std::replace(commaText.begin(), commaText.end(), '.', ',');
  r = RunPpgCli({dir.write("comma.txt", commaText), "--duration", "2"}, ',');
  ASSERT_EQ(r.status, kExitSuccess) << r.err;
  EXPECT_EQ(Lines(r.out), 4);
  EXPECT_NE(r.out.find(','), std::string::npos) << r.out;
}

TEST(PpgCommand, BadUsageIsStatusTwoBadInputStatusOneAndNoOutputFile) {
  TempDir dir;
  const std::string output = dir.file("bf.txt");
  EXPECT_EQ(RunPpgCli({"--help"}).status, kExitSuccess);
  EXPECT_NE(RunPpgCli({"--help"}).out.find("--max-pulse"), std::string::npos);
  EXPECT_EQ(RunPpgCli({}).status, kExitUsage);
  EXPECT_EQ(RunPpgCli({"a.txt", "--bogus"}).status, kExitUsage);
  EXPECT_EQ(RunPpgCli({"a.txt", "--in-rate", "0"}).status, kExitUsage);
  EXPECT_EQ(RunPpgCli({"a.txt", "--min-pulse", "6.5"}).status, kExitUsage);
  EXPECT_EQ(RunPpgCli({"a.txt", "--duration", "-3"}).status, kExitUsage);
  EXPECT_EQ(RunPpgCli({"a.txt", "--out-rate"}).status, kExitUsage);

  const PpgRun missing = RunPpgCli({dir.file("none.txt"), "-o", output});
  EXPECT_EQ(missing.status, kExitBadInput);
  EXPECT_NE(missing.err.find("none.txt: File does not exist"), std::string::npos) << missing.err;

  const PpgRun bad = RunPpgCli({dir.write("bad.txt", "PPG\n1\n2\nx7\n"), "-o", output});
  EXPECT_EQ(bad.status, kExitBadInput);
  EXPECT_NE(bad.err.find("bad.txt:4: 'x7' is not a valid number"), std::string::npos) << bad.err;

  const PpgRun header = RunPpgCli({dir.write("header.txt", "PPG\n"), "-o", output});
  EXPECT_EQ(header.status, kExitBadInput);
  EXPECT_NE(header.err.find("no samples"), std::string::npos) << header.err;

  const PpgRun flat = RunPpgCli({dir.write("flat.txt", "PPG\n3\n3\n3\n3\n"), "-o", output});
  EXPECT_EQ(flat.status, kExitBadInput);
  EXPECT_NE(flat.err.find("cannot be scaled"), std::string::npos) << flat.err;

  const PpgRun shortPpg = RunPpgCli({dir.write("short.txt", "PPG\n1\n2\n3\n"), "-o", output});
  EXPECT_EQ(shortPpg.status, kExitBadInput);
  EXPECT_NE(shortPpg.err.find("too short"), std::string::npos) << shortPpg.err;

  EXPECT_FALSE(std::filesystem::exists(output));
}

TEST(PpgCommand, TheExecutableRunsOnTheFirstExample) {
  const std::string example = std::string(KELVORA_SOURCE_DIR) + "/Examples/PPG1.txt";
  const std::string command = std::string("LC_ALL=C ") + KELVORA_CLI_PATH + " ppg " + example + " 2>&1";
  FILE* pipe = popen(command.c_str(), "r");
  ASSERT_NE(pipe, nullptr);
  std::string out;
  char buffer[256];
  while (std::fgets(buffer, sizeof buffer, pipe)) out += buffer;
  EXPECT_EQ(WEXITSTATUS(pclose(pipe)), kExitSuccess) << out.substr(0, 200);
  EXPECT_EQ(Lines(out), 2894);  // round(1447 s * 2 Hz)
}

}  // namespace
}  // namespace kelvora::cli
