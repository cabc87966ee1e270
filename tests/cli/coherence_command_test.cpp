// kelvora-cli coherence: the examples (a flow moved through the thermal wave at 2 mm) give their depth, the
// table and curves files have their columns, bad files and options are refused, and the real pairs give tables.
#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "tests/cli/cli_run.h"
#include "tests/signals/temp_dir.h"

namespace kelvora::cli {
namespace {

using kelvora::cli::testing::Cli;
using kelvora::cli::testing::CliRun;
using kelvora::testing::TempDir;

std::vector<std::string> Split(const std::string& text, char separator) {
  std::vector<std::string> parts;
  std::istringstream in(text);
  for (std::string part; std::getline(in, part, separator);) parts.push_back(part);
  if (!text.empty() && text.back() == separator) parts.emplace_back();
  return parts;
}

std::vector<std::vector<std::string>> Rows(const std::string& csv) {
  std::vector<std::vector<std::string>> rows;
  for (const std::string& line : Split(csv, '\n'))
    if (!line.empty()) rows.push_back(Split(line, ','));
  return rows;
}

std::string ReadAll(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

std::string Example(const std::string& name) { return std::string(KELVORA_SOURCE_DIR) + "/Examples/" + name; }

// Examples 1 and 2 were made by moving a known flow through the thermal wave at 2 mm: the median depth of the
// endothelial and neurogenic bands is 2.0 +/- 0.3 mm and the coherence there is significant. The files have the
// columns of the contract, every field a number or empty.
class CoherenceExample : public ::testing::TestWithParam<int> {};

TEST_P(CoherenceExample, GivesTheDepthOfTheThermalWave) {
  TempDir dir;
  const std::string n = std::to_string(GetParam());
  const CliRun run = Cli({"coherence", Example("T" + n + ".txt"), Example("BF" + n + ".txt"), "--surrogates", "40",
                          "--table", dir.file("table.csv"), "--curves", dir.file("curves.csv")});
  ASSERT_EQ(run.status, kExitSuccess) << run.err;
  EXPECT_TRUE(run.out.empty());
  EXPECT_NE(run.err.find("band cardiac (0.6 .. 1.6 Hz) lies outside"), std::string::npos) << run.err;
  const auto table = Rows(ReadAll(dir.file("table.csv")));
  ASSERT_EQ(table.size(), 5u);
  EXPECT_EQ(ReadAll(dir.file("table.csv")).substr(0, 86),
            "band,low_hz,high_hz,coherence,threshold,significant_share,lag_s,depth_mm,depth_amp_mm\n");
  for (const auto& row : table) ASSERT_EQ(row.size(), 9u);
  for (std::size_t r = 1; r <= 2; ++r) {
    EXPECT_EQ(table[r][0], r == 1 ? "endothelial" : "neurogenic");
    EXPECT_NEAR(std::stod(table[r][7]), 2.0, 0.3) << table[r][0];
    EXPECT_GE(std::stod(table[r][5]), 0.9) << table[r][0];
    EXPECT_GT(std::stod(table[r][3]), std::stod(table[r][4])) << table[r][0];
  }
  const auto curves = Rows(ReadAll(dir.file("curves.csv")));
  ASSERT_EQ(curves.size(), 227u);  // the header and 226 frequencies from 0.005 to 2/3 Hz
  EXPECT_EQ(curves[0], (std::vector<std::string>{"frequency_hz", "coherence", "threshold", "lag_s", "depth_mm"}));
  int depths = 0;
  for (std::size_t r = 1; r < curves.size(); ++r) {
    ASSERT_EQ(curves[r].size(), 5u) << r;
    for (const std::string& field : curves[r]) {
      if (field.empty()) continue;
      EXPECT_TRUE(std::isfinite(std::stod(field))) << field;
    }
    depths += !curves[r][4].empty();
  }
  EXPECT_GT(depths, 60);
}

INSTANTIATE_TEST_SUITE_P(Examples, CoherenceExample, ::testing::Values(1, 2));

// A missing or bad file is named with exit status 1 and nothing is written; bad usage exits with 2.
TEST(CoherenceCommand, RefusesBadFilesAndOptions) {
  TempDir dir;
  const std::string table = dir.write("table.csv", "kept\n");
  const CliRun missing =
      Cli({"coherence", Example("T1.txt"), dir.file("missing.txt"), "--surrogates", "0", "--table", table});
  EXPECT_EQ(missing.status, kExitBadInput);
  EXPECT_NE(missing.err.find("missing.txt: File does not exist"), std::string::npos) << missing.err;
  const std::string bad = dir.write("bad.txt", "1\n2\nx3\n");
  const CliRun badValue = Cli({"coherence", bad, Example("BF1.txt"), "--table", table});
  EXPECT_EQ(badValue.status, kExitBadInput);
  EXPECT_NE(badValue.err.find(bad + ":3: 'x3' is not a valid number"), std::string::npos) << badValue.err;
  EXPECT_EQ(ReadAll(table), "kept\n");

  const std::vector<std::vector<std::string>> usages = {
      {Example("T1.txt")},
      {Example("T1.txt"), Example("BF1.txt"), Example("BF2.txt")},
      {Example("T1.txt"), Example("BF1.txt"), "--surrogates", "-1"},
      {Example("T1.txt"), Example("BF1.txt"), "--surrogates", "10001"},
      {Example("T1.txt"), Example("BF1.txt"), "--seed", "x"},
      {Example("T1.txt"), Example("BF1.txt"), "--lambda", "0"},
      {Example("T1.txt"), Example("BF1.txt"), "--rho", "-1057"},
      {Example("T1.txt"), Example("BF1.txt"), "--heat-capacity", "nan"},
      {Example("T1.txt"), Example("BF1.txt"), "--voices", "0"},
      {Example("T1.txt"), Example("BF1.txt"), "-o", "x.csv"},
      {Example("T1.txt"), Example("BF1.txt"), "--compat", "pyboat"},
      {Example("T1.txt"), Example("BF1.txt"), "--surrogates-of", "both-of-them"},
      {Example("T1.txt"), Example("BF1.txt"), "--threshold-rule", "median"},
      {Example("T1.txt"), Example("BF1.txt"), "--padding", "mirror"},
      {Example("T1.txt"), Example("BF1.txt"), "--over-time", "map.txt"},
      {Example("T1.txt"), Example("BF1.txt"), "--window-cycles", "5"},
      {Example("T1.txt"), Example("BF1.txt"), "--over-time", "map.csv", "--window-cycles", "0"},
  };
  for (std::vector<std::string> args : usages) {
    args.insert(args.begin(), "coherence");
    const CliRun run = Cli(args);
    EXPECT_EQ(run.status, kExitUsage) << args.back() << ": " << run.err;
    EXPECT_NE(run.err.find("kelvora-cli coherence: "), std::string::npos) << run.err;
  }
}

// --over-time FILE.csv: the scalogram's layout, a row per frequency and a column per time, every field a number
// in 0 .. 1 or empty; the PNG is a PNG.
TEST(CoherenceCommand, WritesTheCoherenceOverTime) {
  TempDir dir;
  for (const char* name : {"map.csv", "map.png"}) {
    const CliRun run = Cli({"coherence", Example("T1.txt"), Example("BF1.txt"), "--surrogates", "5", "--table",
                            dir.file("table.csv"), "--over-time", dir.file(name), "--window-cycles", "6"});
    ASSERT_EQ(run.status, kExitSuccess) << run.err;
  }
  const auto rows = Rows(ReadAll(dir.file("map.csv")));
  ASSERT_EQ(rows.size(), 227u);  // the header and 226 frequencies
  EXPECT_EQ(rows[0][0], "frequency_hz");
  EXPECT_EQ(rows[0].size(), 2001u);  // 2000 columns of 3000 samples
  int values = 0;
  for (std::size_t r = 1; r < rows.size(); ++r) {
    ASSERT_EQ(rows[r].size(), 2001u);
    for (std::size_t c = 1; c < rows[r].size(); ++c) {
      if (rows[r][c].empty()) continue;
      const double v = std::stod(rows[r][c]);
      EXPECT_TRUE(v >= 0.0 && v <= 1.0 + 1e-12) << rows[r][c];
      ++values;
    }
  }
  EXPECT_GT(values, 100000);
  EXPECT_EQ(ReadAll(dir.file("map.png")).substr(1, 3), "PNG");
}

// The real pairs (15-minute finger recordings at 2 Hz): a table of the four bands for each.
TEST(CoherenceCommand, RealPairsGiveTables) {
  const std::filesystem::path data = KELVORA_SHARED_DATA_DIR;
  if (!std::filesystem::exists(data / "SOURCES.md")) GTEST_SKIP() << "no shared data folder";
  int pairs = 0;
  for (const auto& entry : std::filesystem::directory_iterator(data)) {
    const std::string name = entry.path().filename().string();
    if (name.rfind("skintemp_PREVAIL", 0) != 0) continue;
    const std::string id = name.substr(std::string("skintemp_").size());
    const CliRun run =
        Cli({"coherence", entry.path().string(), (data / ("ldf_" + id)).string(), "--surrogates", "10"});
    ASSERT_EQ(run.status, kExitSuccess) << id << ": " << run.err;
    const auto table = Rows(run.out);
    ASSERT_EQ(table.size(), 5u) << id;
    EXPECT_EQ(table[1][0], "endothelial");
    EXPECT_FALSE(table[2][3].empty()) << id;
    ++pairs;
  }
  EXPECT_EQ(pairs, 8);
}

// Records beyond the program's 20,000 samples are read whole; the longer one is cut with a notice.
TEST(CoherenceCommand, ReadsLongRecordsAndCutsTheLongerOne) {
  TempDir dir;
  std::string t, bf;
  for (int i = 0; i < 25000; ++i) {
    const std::string value = std::to_string(30.0 + 0.001 * (i % 97)) + "\n";
    t += value;
    if (i < 24000) bf += std::to_string(10.0 + 0.01 * (i % 89)) + "\n";
  }
  const CliRun run = Cli({"coherence", dir.write("t.txt", t), dir.write("bf.txt", bf), "--surrogates", "0",
                          "--fmin", "0.05", "--bands", "a:0.05:0.1"});
  ASSERT_EQ(run.status, kExitSuccess) << run.err;
  EXPECT_EQ(run.err.find("Big file"), std::string::npos) << run.err;
  EXPECT_NE(run.err.find("t.txt is 1000 samples longer than the other record; its first 24000 samples are used"),
            std::string::npos)
      << run.err;
  const auto table = Rows(run.out);
  ASSERT_EQ(table.size(), 2u);
  EXPECT_TRUE(table[1][4].empty());  // no surrogates, no threshold
  EXPECT_EQ(table[1][5], "0");
}

}  // namespace
}  // namespace kelvora::cli
