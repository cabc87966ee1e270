#include <algorithm>
#include <cmath>
#include <filesystem>
#include <sstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "cli/commands.h"
#include "tests/cli/cli_run.h"
#include "tests/signals/temp_dir.h"
#include "wavelet/wavelet_conversion.h"
#include "wavelet/wavelet_engine.h"

namespace kelvora::cli {
namespace {

using kelvora::testing::TempDir;

using kelvora::cli::testing::Cli;
using kelvora::cli::testing::CliRun;

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

// A record normalised as the session does it, (x - min) / (max - min).
std::vector<double> Normalized(std::vector<double> x) {
  const auto [lo, hi] = std::minmax_element(x.begin(), x.end());
  const double minimum = *lo, range = *hi - *lo;
  for (double& v : x) v = (v - minimum) / range;
  return x;
}

// The conversion input of a record with its normalised copy (which must outlive the input).
WaveLetTInput InputOf(const std::vector<double>& normalized, const std::vector<double>& record) {
  WaveLetTInput input;
  input.tMinimum = *std::min_element(record.begin(), record.end());
  input.tMaximum = *std::max_element(record.begin(), record.end());
  input.normalizedT = normalized;
  return input;
}

TEST(CliWaveletConvert, TemperatureToBloodFlowIsWaveLetT) {
  TempDir dir;
  const std::string t = dir.write("t.txt", SignalText(240));
  const std::string bf = dir.write("bf.txt", SignalText(240));
  const CliRun run = Cli({"convert", "--method", "wavelet", "--direction", "t2bf", t, "--band", "0:0.05", "--wavelet",
                          "paul", "--threads", "2", "--model", "derivative", "--scaling", "absolute", "--nonlinear",
                          "--full-precision", "--compare", bf, "--progress"});
  ASSERT_EQ(run.status, kExitSuccess) << run.err;
  EXPECT_NE(run.err.find("%"), std::string::npos);
  std::vector<std::string> lines;
  {
    std::istringstream in(run.out);
    for (std::string line; std::getline(in, line);) lines.push_back(line);
  }
  ASSERT_EQ(lines.size(), 241u);
  EXPECT_EQ(lines.back().rfind("Correlation: ", 0), 0u) << lines.back();

  const std::vector<double> x = Normalized(Values(TempDir::read(t)));
  WaveLetTInput input = InputOf(x, Values(TempDir::read(t)));
  input.tBand = {0.0, 0.05};
  input.type = WaveletType::Paul;
  input.model = ConversionModel::Derivative;
  input.nonlinear = true;
  input.scaling = ScalingMode::Absolute;
  WaveletEngine engine;
  const WaveLetTResult direct = WaveLetT(engine, input);
  ASSERT_TRUE(direct.completed());
  for (size_t i = 0; i < direct.bfStar.size(); ++i) EXPECT_NEAR(std::stod(lines[i]), direct.bfStar[i], 1e-9) << i;
}

// Regression: the wavelet method ignored --depth-mm (2 mm and 4 mm gave byte-identical files). The corrected
// delays follow it; the legacy ones keep 0.002 m, and each rule gives what the library gives for it.
TEST(CliWaveletConvert, DepthChangesTheCorrectedResultAndNotTheLegacyOne) {
  TempDir dir;
  const std::string t = dir.write("t.txt", SignalText(300));
  auto convert = [&](const std::string& rule, const std::string& depth) {
    std::vector<std::string> args{"convert", "--method", "wavelet", "--direction", "t2bf", t, "--band", "0.02:0.15",
                                  "--depth-mm", depth, "--full-precision"};
    if (!rule.empty()) args.insert(args.end(), {"--wavelet-delays", rule});
    const CliRun run = Cli(args);
    EXPECT_EQ(run.status, kExitSuccess) << run.err;
    return run.out;
  };
  const std::string corrected2 = convert("corrected", "2"), corrected4 = convert("corrected", "4");
  const std::string legacy2 = convert("legacy", "2"), legacy4 = convert("legacy", "4");
  EXPECT_EQ(convert("", "4"), corrected4);  // corrected is the default
  EXPECT_NE(corrected2, corrected4);
  EXPECT_EQ(legacy2, legacy4);
  EXPECT_NE(legacy2, corrected2);

  const std::vector<double> x = Normalized(Values(TempDir::read(t)));
  WaveLetTInput input = InputOf(x, Values(TempDir::read(t)));
  input.tBand = {0.02, 0.15};
  for (const auto& [rule, text] : {std::pair{WaveletDelayRule::Corrected, corrected4},
                                   std::pair{WaveletDelayRule::Legacy, legacy4}}) {
    input.delays = rule;
    input.tissue.depthM = 0.004;
    WaveletEngine engine;
    const WaveLetTResult direct = WaveLetT(engine, input);
    ASSERT_TRUE(direct.completed());
    const std::vector<double> got = Values(text);
    ASSERT_EQ(got.size(), direct.bfStar.size());
    for (size_t i = 0; i < got.size(); ++i) EXPECT_NEAR(got[i], direct.bfStar[i], 1e-12) << i;
  }

  const CliRun bad = Cli({"convert", "--method", "wavelet", "--direction", "t2bf", t, "--wavelet-delays", "old"});
  EXPECT_EQ(bad.status, kExitUsage);
  EXPECT_NE(bad.err.find("corrected or legacy"), std::string::npos) << bad.err;
  EXPECT_EQ(Cli({"convert", "--method", "fourier", "--direction", "t2bf", t, "--wavelet-delays", "legacy"}).status,
            kExitUsage);
}

TEST(CliWaveletConvert, RefusesBloodFlowToTemperatureAndLongRecords) {
  TempDir dir;
  const std::string bf = dir.write("bf.txt", SignalText(100));
  const CliRun backwards = Cli({"convert", "--method", "wavelet", "--direction", "bf2t", bf});
  EXPECT_EQ(backwards.status, kExitUsage);
  EXPECT_NE(backwards.err.find("t2bf"), std::string::npos) << backwards.err;
  EXPECT_EQ(Cli({"convert", "--method", "fourier", "--direction", "t2bf", bf, "--threads", "2"}).status, kExitUsage);

  const std::string output = dir.file("out.txt");
  const std::string tooLong = dir.write("long.txt", SignalText(3700));
  const CliRun run = Cli({"convert", "--method", "wavelet", "--direction", "t2bf", tooLong, "-o", output});
  EXPECT_EQ(run.status, kExitBadInput);
  EXPECT_NE(run.err.find("3601"), std::string::npos) << run.err;
  EXPECT_FALSE(std::filesystem::exists(output));
}

}  // namespace
}  // namespace kelvora::cli
