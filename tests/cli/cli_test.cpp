#include <gtest/gtest.h>

#include <clocale>
#include <cstdio>
#include <filesystem>
#include <sstream>
#include <string>
#include <vector>

#include "cli/commands.h"
#include "tests/cli/cli_run.h"
#include "core/band_transform.h"
#include "tests/core/direct_dft_reference.h"
#include "tests/signals/temp_dir.h"

namespace kelvora::cli {
namespace {

using kelvora::testing::TempDir;

using kelvora::cli::testing::Cli;
using kelvora::cli::testing::CliRun;

std::vector<std::string> SplitLines(const std::string& text) {
  std::vector<std::string> lines;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  return lines;
}

std::vector<std::string> SplitTabs(const std::string& line) {
  std::vector<std::string> fields;
  std::istringstream in(line);
  for (std::string field; std::getline(in, field, '\t');) fields.push_back(field);
  return fields;
}

TEST(Cli, VersionHelpAndUsageErrors) {
  const CliRun version = Cli({"--version"});
  EXPECT_EQ(version.status, kExitSuccess);
  EXPECT_EQ(version.out.rfind("kelvora-cli ", 0), 0u);
  EXPECT_NE(version.out.find("GPL-3.0-or-later"), std::string::npos);
  const CliRun help = Cli({"--help"});
  EXPECT_EQ(help.status, kExitSuccess);
  EXPECT_NE(help.out.find("spectrum"), std::string::npos);
  EXPECT_NE(help.out.find("--full-precision"), std::string::npos);
  for (const char* command : {"spectrum", "filter"}) {
    const CliRun commandHelp = Cli({command, "--help"});
    EXPECT_EQ(commandHelp.status, kExitSuccess) << command;
    EXPECT_NE(commandHelp.out.find("usage: kelvora-cli " + std::string(command)), std::string::npos);
  }
  EXPECT_EQ(Cli({}).status, kExitUsage);
  const CliRun unknown = Cli({"transmogrify"});
  EXPECT_EQ(unknown.status, kExitUsage);
  EXPECT_NE(unknown.err.find("unknown command 'transmogrify'"), std::string::npos);
}

TEST(Cli, SpectrumPrintsBinZeroAndTheBandAgreeingWithTheDirectSums) {
  TempDir dir;
  const std::string input = dir.write("s.txt", "1\n3\n2.5\n1.5\n");
  const CliRun run = Cli({"spectrum", input, "--band", "0:0.01", "--fs", "2"});
  ASSERT_EQ(run.status, kExitSuccess) << run.err;
  // N' = 1203, k_hi = round(1203 * 0.01 / 2) = 6.
  const std::vector<std::string> lines = SplitLines(run.out);
  ASSERT_EQ(lines.size(), 7u);
  const std::vector<double> normalized = {0, 1, 0.75, 0.25};
  const std::vector<double> padded = PadSignal(normalized);
  for (int k = 0; k <= 6; ++k) {
    const std::vector<std::string> f = SplitTabs(lines[static_cast<std::size_t>(k)]);
    ASSERT_EQ(f.size(), 5u);
    EXPECT_EQ(f[0], std::to_string(k));
    EXPECT_NEAR(std::stod(f[1]), k * 2.0 / 1203.0, 1e-15);
    const Complex c = kelvora::testing::DirectCoefficient(padded, k, 2);
    EXPECT_NEAR(std::stod(f[2]), static_cast<double>(c.re), 1e-13);
    EXPECT_NEAR(std::stod(f[3]), static_cast<double>(c.im), 1e-13);
    EXPECT_NEAR(std::stod(f[4]), static_cast<double>(Modulus(c)), 1e-13);
  }
  // C[0] by hand: (600 * 2 + 2 + 3 + 2.75 + 2.25 + 600 * 2.25) / 1203.
  EXPECT_NEAR(std::stod(SplitTabs(lines[0])[2]), (1200 + 10.0 + 1350) / 1203.0, 1e-15);
}

TEST(Cli, SpectrumBandIsClampedToNyquist) {
  TempDir dir;
  const std::string input = dir.write("s.txt", "1\n2\n");
  const CliRun run = Cli({"spectrum", input, "--band", "0.5:5", "--fs", "1"});
  ASSERT_EQ(run.status, kExitSuccess) << run.err;
  // N' = 1201: k_lo = round(600.5) = 600, k_hi = round(1201 * 0.5 / 1) = 600 (ties to even).
  const std::vector<std::string> lines = SplitLines(run.out);
  ASSERT_EQ(lines.size(), 2u);
  EXPECT_EQ(SplitTabs(lines[1])[0], "600");
}

TEST(Cli, FourierFilterFullBandGivesTheInputBackInItsUnits) {
  TempDir dir;
  // Odd N' (N = 5): the full band is the complete inverse.
  const std::string input = dir.write("t.txt", "30,5\n31\n32,25\n31,5\n30\n30,75\n");
  const CliRun run = Cli({"filter", "--method", "fourier", "--band", "0:1", input}, ',');
  ASSERT_EQ(run.status, kExitSuccess) << run.err;
  EXPECT_EQ(run.out, "30,5\n31\n32,25\n31,5\n30\n30,75\n");
}

TEST(Cli, FourierFilterNarrowBandAndAmplitudeToAFile) {
  TempDir dir;
  std::string text;
  for (int i = 0; i < 400; ++i)
    text += std::to_string(10 + 2 * std::sin(2 * M_PI * 0.05 * i / 2) + std::sin(2 * M_PI * 0.6 * i / 2)) + "\n";
  const std::string input = dir.write("bf.txt", text);
  const std::string output = dir.file("out.txt");
  const CliRun band = Cli({"filter", "--method=fourier", input, "--band", "0:0.2", "-o", output, "--full-precision"});
  ASSERT_EQ(band.status, kExitSuccess) << band.err;
  EXPECT_TRUE(band.out.empty());
  const std::vector<std::string> lines = SplitLines(TempDir::read(output));
  ASSERT_EQ(lines.size(), 400u);
  // Mid-record the 0.6 Hz component is gone, the slow one stays.
  for (int i = 150; i < 250; ++i)
    EXPECT_NEAR(std::stod(lines[static_cast<std::size_t>(i)]), 10 + 2 * std::sin(2 * M_PI * 0.05 * i / 2), 0.1) << i;

  const CliRun amplitude = Cli({"filter", "--method", "fourier", input, "--amplitude", "0:100"});
  ASSERT_EQ(amplitude.status, kExitSuccess) << amplitude.err;
  EXPECT_EQ(SplitLines(amplitude.out).size(), 400u);
}

TEST(Cli, FilterUsageErrors) {
  TempDir dir;
  const std::string input = dir.write("s.txt", "1\n2\n");
  EXPECT_EQ(Cli({"filter", input, "--band", "0:1"}).status, kExitUsage);        // no method
  EXPECT_EQ(Cli({"filter", "--method", "fourier", input}).status, kExitUsage);  // no band
  EXPECT_EQ(Cli({"filter", "--method", "fourier", input, "--band", "0:1", "--amplitude", "0:100"}).status, kExitUsage);
  EXPECT_EQ(Cli({"filter", "--method", "fourier", input, "--band", "a:b"}).status, kExitUsage);
  EXPECT_EQ(Cli({"filter", "--method", "fourier", input, "--band", "1:0.5"}).status, kExitUsage);
  EXPECT_EQ(Cli({"filter", "--method", "fourier", input, "--band", "0:1", "--fs", "0"}).status, kExitUsage);
  EXPECT_EQ(Cli({"filter", "--method", "fourier", input, "--band", "0:1", "--bogus"}).status, kExitUsage);
  EXPECT_EQ(Cli({"filter", "--method", "fourier", "--band", "0:1"}).status, kExitUsage);  // no input
  EXPECT_EQ(Cli({"filter", "--method", "fourier", input, "--band"}).status, kExitUsage);  // no value
  EXPECT_EQ(Cli({"filter", "--method", "laplace", input, "--band", "0:1"}).status, kExitUsage);
  EXPECT_EQ(Cli({"spectrum", input, "--band", "-1:1"}).status, kExitUsage);
}

TEST(Cli, BadInputNamesFileAndLineAndWritesNothing) {
  TempDir dir;
  const std::string input = dir.write("bad.txt", "1\n2\nabc\n");
  const std::string output = dir.write("out.txt", "previous\n");
  const CliRun run = Cli({"filter", "--method", "fourier", input, "--band", "0:1", "-o", output});
  EXPECT_EQ(run.status, kExitBadInput);
  EXPECT_NE(run.err.find(input + ":3: 'abc' is not a valid number"), std::string::npos) << run.err;
  EXPECT_EQ(TempDir::read(output), "previous\n");

  const CliRun missing = Cli({"spectrum", dir.file("none.txt"), "-o", dir.file("new.txt")});
  EXPECT_EQ(missing.status, kExitBadInput);
  EXPECT_NE(missing.err.find("File does not exist"), std::string::npos);
  EXPECT_FALSE(std::filesystem::exists(dir.file("new.txt")));

  const CliRun empty = Cli({"spectrum", dir.write("empty.txt", "\n\n")});
  EXPECT_EQ(empty.status, kExitBadInput);
  EXPECT_NE(empty.err.find("no samples"), std::string::npos);

  const CliRun unwritable = Cli({"spectrum", dir.write("good.txt", "1\n2\n"), "-o", dir.file("no/such/dir.txt")});
  EXPECT_EQ(unwritable.status, kExitBadInput);
  EXPECT_NE(unwritable.err.find("Cannot write file"), std::string::npos);
}

TEST(Cli, BigFileWarnsAndGoesOnWithProgress) {
  TempDir dir;
  std::string text;
  for (int i = 0; i < 20003; ++i) text += (i % 2 ? "1\n" : "2\n");
  const std::string input = dir.write("big.txt", text);
  const CliRun run = Cli({"filter", "--method", "fourier", input, "--band", "0:0.01", "--progress"});
  ASSERT_EQ(run.status, kExitSuccess) << run.err;
  EXPECT_NE(run.err.find("Big file - points > 20000 "), std::string::npos);
  EXPECT_NE(run.err.find("100%"), std::string::npos);
  EXPECT_EQ(SplitLines(run.out).size(), 20000u);
}

TEST(Cli, ExecutableRunsUnderTheCLocale) {
  TempDir dir;
  const std::string input = dir.write("s.txt", "1.5\n2\n2.5\n2\n");
  const std::string command =
      std::string("LC_ALL=C ") + KELVORA_CLI_PATH + " filter --method fourier --band 0:1 " + input + " 2>&1";
  FILE* pipe = popen(command.c_str(), "r");
  ASSERT_NE(pipe, nullptr);
  std::string out;
  char buffer[256];
  while (std::fgets(buffer, sizeof buffer, pipe)) out += buffer;
  const int status = pclose(pipe);
  EXPECT_EQ(WEXITSTATUS(status), 0) << out;
  EXPECT_EQ(out, "1.5\n2\n2.5\n2\n");  // N' = 1203 is odd: the full band is exact

  FILE* usage = popen((std::string(KELVORA_CLI_PATH) + " filter 2>/dev/null").c_str(), "r");
  ASSERT_NE(usage, nullptr);
  while (std::fgets(buffer, sizeof buffer, usage)) {
  }
  EXPECT_EQ(WEXITSTATUS(pclose(usage)), kExitUsage);
}

}  // namespace
}  // namespace kelvora::cli

namespace kelvora::cli {
namespace {

TEST(Cli, DecimalRulesFollowTheNumericLocale) {
  std::setlocale(LC_NUMERIC, "C");
  const DecimalFormat format = DecimalFormatFromLocale();
  EXPECT_EQ(format.separator, '.');
  EXPECT_TRUE(format.normalizeSeparators);
  const DecimalFormat comma = DecimalFormat::ForSeparator(',');
  EXPECT_FALSE(comma.normalizeSeparators);
}

}  // namespace
}  // namespace kelvora::cli
