#include <cmath>
#include <sstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "cli/commands.h"
#include "tests/signals/temp_dir.h"
#include "wavelet/wavelet_engine.h"

namespace kelvora::cli {
namespace {

using kelvora::testing::TempDir;

struct CliRun {
  int status = -1;
  std::string out;
  std::string err;
};

CliRun Cli(const std::vector<std::string>& args) {
  std::ostringstream out, err;
  CliContext context{out, err, DecimalFormat::ForSeparator('.')};
  CliRun run;
  run.status = RunCli(args, context);
  run.out = out.str();
  run.err = err.str();
  return run;
}

std::vector<double> Values(const std::string& text) {
  std::vector<double> values;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) values.push_back(std::stod(line));
  return values;
}

std::string SignalText(int n) {
  std::ostringstream text;
  for (int i = 0; i < n; ++i) text << 10 + 2 * std::sin(i / 3.0) + std::cos(i / 25.0) << "\n";
  return text.str();
}

TEST(CliWaveletFilter, WritesTheReconstructionOfTheNormalisedSignal) {
  TempDir dir;
  const std::string input = dir.write("x.txt", SignalText(200));
  const CliRun run = Cli({"filter", "--method", "wavelet", input, "--band", "0.05:0.15", "--wavelet", "paul",
                          "--threads", "2", "--full-precision", "--progress"});
  ASSERT_EQ(run.status, kExitSuccess) << run.err;
  EXPECT_NE(run.err.find("%"), std::string::npos);  // the progress bar
  const std::vector<double> got = Values(run.out);
  ASSERT_EQ(got.size(), 200u);

  // The library on the same normalised samples (the file holds the values as written).
  std::vector<double> x = Values(TempDir::read(input));
  const auto [lo, hi] = std::minmax_element(x.begin(), x.end());
  const double minimum = *lo, maximum = *hi;
  for (double& v : x) v = (v - minimum) / (maximum - minimum);
  WaveletEngine engine;
  ASSERT_FALSE(engine.loadSignal(x, {0.05, 0.15}).has_value());
  WaveletRunRequest request;
  request.band = {0.05, 0.15};
  request.type = WaveletType::Paul;
  const WaveletRunResult direct = engine.run(request);
  ASSERT_TRUE(direct.completed());
  for (size_t i = 0; i < got.size(); ++i) EXPECT_NEAR(got[i], direct.output[i], 1e-12) << i;
}

TEST(CliWaveletFilter, BadOptionsAndInputs) {
  TempDir dir;
  const std::string input = dir.write("x.txt", SignalText(50));
  EXPECT_EQ(Cli({"filter", "--method", "wavelet", input}).status, kExitUsage);  // no band
  EXPECT_EQ(Cli({"filter", "--method", "wavelet", input, "--band", "0.05:0.15", "--wavelet", "haar"}).status,
            kExitUsage);
  EXPECT_EQ(Cli({"filter", "--method", "wavelet", input, "--band", "0.05:0.15", "--threads", "0"}).status,
            kExitUsage);
  EXPECT_EQ(Cli({"filter", "--method", "wavelet", input, "--band", "0.05:0.15", "--threads", "33"}).status,
            kExitUsage);
  EXPECT_EQ(Cli({"filter", "--method", "wavelet", input, "--amplitude", "1:2"}).status, kExitUsage);

  const std::string output = dir.file("out.txt");
  const std::string tooLong = dir.write("long.txt", SignalText(3602));
  const CliRun run = Cli({"filter", "--method", "wavelet", tooLong, "--band", "0.05:0.15", "-o", output});
  EXPECT_EQ(run.status, kExitBadInput);
  EXPECT_NE(run.err.find("3601"), std::string::npos) << run.err;
  EXPECT_NE(run.err.find("long.txt"), std::string::npos) << run.err;
  EXPECT_FALSE(std::filesystem::exists(output));
}

}  // namespace
}  // namespace kelvora::cli
