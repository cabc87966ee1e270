// kelvora-cli on damaged inputs and failing outputs: one clear line naming the file (and line), exit status 1,
// and never a success for a result that was not written.
#include <gtest/gtest.h>

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

struct Shell {
  int status = -1;
  std::string output;  // standard error (and standard output when not redirected)
};

// Runs kelvora-cli through the shell with `arguments` (already quoted as needed).
Shell RunTool(const std::string& arguments) {
  const std::string command = std::string("LC_ALL=C ") + KELVORA_CLI_PATH + " " + arguments;
  Shell run;
  FILE* pipe = popen(command.c_str(), "r");
  if (pipe == nullptr) return run;
  char buffer[256];
  while (std::fgets(buffer, sizeof buffer, pipe)) run.output += buffer;
  run.status = WEXITSTATUS(pclose(pipe));
  return run;
}

TEST(CliFaults, AResultThatCannotBeWrittenIsAFailure) {
  TempDir dir;
  const std::string input = dir.write("s.txt", "1.5\n2\n2.5\n2\n");
  // Standard output on a full disk.
  const Shell full = RunTool("filter --method fourier --band 0:1 " + input + " 2>&1 >/dev/full");
  EXPECT_EQ(full.status, kExitBadInput) << full.output;
  EXPECT_NE(full.output.find("cannot write the result to standard output"), std::string::npos) << full.output;
  // --output on a full disk, into a missing folder, onto a folder: the reason is named, /dev/full stays a device.
  const Shell device = RunTool("filter --method fourier --band 0:1 " + input + " -o /dev/full 2>&1");
  EXPECT_EQ(device.status, kExitBadInput);
  EXPECT_NE(device.output.find("/dev/full: Cannot write file (No space left on device)"), std::string::npos)
      << device.output;
  EXPECT_TRUE(std::filesystem::is_character_file("/dev/full"));
  const Shell folder = RunTool("spectrum " + input + " -o " + dir.file("") + " 2>&1");
  EXPECT_EQ(folder.status, kExitBadInput);
  EXPECT_NE(folder.output.find("(Is a directory)"), std::string::npos) << folder.output;
  const Shell missing = RunTool("spectrum " + input + " -o " + dir.file("no/out.txt") + " 2>&1");
  EXPECT_EQ(missing.status, kExitBadInput);
  EXPECT_NE(missing.output.find("(No such file or directory)"), std::string::npos) << missing.output;
}

TEST(CliFaults, BinaryInputIsNamedByLineWithItsBytesEscaped) {
  TempDir dir;
  const std::string input = dir.write("bin.txt", std::string("1.5\n2\n\x01\x02\0\xFF\n", 11));
  std::ostringstream out, err;
  CliContext context{out, err, DecimalFormat::ForSeparator('.')};
  EXPECT_EQ(RunCli({"spectrum", input}, context), kExitBadInput);
  EXPECT_EQ(err.str(), "kelvora-cli: " + input + ":3: '\\x01\\x02\\x00\\xFF' is not a valid number\n");
  EXPECT_TRUE(out.str().empty());
}

TEST(CliFaults, PpgCommandReportsAFailingStandardOutputAndTheReasonOfAFailedSave) {
  TempDir dir;
  std::string ppg = "PPG\n";
  for (int i = 0; i < 2000; ++i) ppg += std::to_string(((i * 13) % 40) / 10.0) + "\n";
  const std::string input = dir.write("p.txt", ppg);
  std::ostringstream out, err;
  out.setstate(std::ios::badbit);  // a stream that takes nothing, as a full disk behind standard output
  CliContext context{out, err, DecimalFormat::ForSeparator('.')};
  EXPECT_EQ(RunCli({"ppg", input}, context), kExitBadInput);
  EXPECT_NE(err.str().find("cannot write the result"), std::string::npos) << err.str();

  std::ostringstream out2, err2;
  CliContext context2{out2, err2, DecimalFormat::ForSeparator('.')};
  EXPECT_EQ(RunCli({"ppg", input, "-o", dir.file("none/bf.txt")}, context2), kExitBadInput);
  EXPECT_NE(err2.str().find("(No such file or directory)"), std::string::npos) << err2.str();

  // A bad number is quoted with its bytes escaped and cut to 40.
  const std::string bad = dir.write("bad.txt", "PPG\n1\n" + std::string(60, '\x01') + "\n");
  std::ostringstream out3, err3;
  CliContext context3{out3, err3, DecimalFormat::ForSeparator('.')};
  EXPECT_EQ(RunCli({"ppg", bad}, context3), kExitBadInput);
  std::string escaped;
  for (int i = 0; i < 40; ++i) escaped += "\\x01";
  EXPECT_EQ(err3.str(), "kelvora-cli: " + bad + ":3: '" + escaped + "...' is not a valid number\n");
}

}  // namespace
}  // namespace kelvora::cli
