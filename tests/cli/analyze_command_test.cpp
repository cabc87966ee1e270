// kelvora-cli analyze: the batch table (one bad file among good ones), the files it writes, its usage errors,
// and the real recordings.
#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <numbers>
#include <sstream>
#include <string>
#include <vector>

#include "analysis/record_analysis.h"
#include "cli/commands.h"
#include "core/text_helpers.h"
#include "tests/signals/temp_dir.h"

namespace kelvora::cli {
namespace {

using kelvora::testing::TempDir;

struct AnalyzeRun {
  int status = -1;
  std::string out, err;
};

AnalyzeRun Analyze(std::vector<std::string> args) {
  std::ostringstream out, err;
  CliContext context{out, err, DecimalFormat::ForSeparator('.')};
  args.insert(args.begin(), "analyze");
  const int status = RunCli(args, context);
  return {status, out.str(), err.str()};
}

std::vector<std::string> Split(const std::string& text, char separator) {
  std::vector<std::string> parts;
  std::istringstream in(text);
  for (std::string part; std::getline(in, part, separator);) parts.push_back(part);
  if (!text.empty() && text.back() == separator) parts.emplace_back();
  return parts;
}

std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> lines = Split(text, '\n');
  if (!lines.empty() && lines.back().empty()) lines.pop_back();
  return lines;
}

// Two tones at 2 Hz, written with 6 decimals; `values` gets the samples as read back.
std::string ToneFile(std::size_t n, double shift, std::vector<double>& values) {
  std::string text;
  char line[64];
  values.clear();
  for (std::size_t i = 0; i < n; ++i) {
    const double t = static_cast<double>(i) / 2.0;
    const double value =
        20.0 + std::sin(2 * std::numbers::pi * 0.03 * t + shift) + 0.4 * std::sin(2 * std::numbers::pi * 0.2 * t);
    std::snprintf(line, sizeof line, "%.6f\n", value);
    text += line;
    values.push_back(std::stod(line));
  }
  return text;
}

constexpr const char* kHeader = "file,band,low_hz,high_hz,amplitude,power,rel_amplitude,rel_power,coverage,note";

// The batch keeps the good files' rows, reports each bad one with its reason and ends with status 1; the rows
// carry the library's values in full precision.
TEST(AnalyzeCommand, BatchWithBadFilesKeepsTheOthersRowsAndExitsWithOne) {
  TempDir dir;
  std::vector<double> first, second;
  const std::string a = dir.write("a.txt", ToneFile(1800, 0.0, first));
  const std::string bad = dir.write("bad.txt", "1.5\nabc\n2\n");
  const std::string b = dir.write("b,2.txt", ToneFile(3000, 1.0, second));
  const AnalyzeRun run = Analyze({a, bad, b, dir.file("missing.txt")});
  EXPECT_EQ(run.status, kExitBadInput);
  EXPECT_NE(run.err.find(bad + ":2: 'abc' is not a valid number"), std::string::npos) << run.err;
  EXPECT_NE(run.err.find("missing.txt: File does not exist"), std::string::npos) << run.err;
  EXPECT_NE(run.err.find("band cardiac (0.6 .. 1.6 Hz) lies outside the analysed 0.005 .. "), std::string::npos);
  const std::vector<std::string> lines = Lines(run.out);
  ASSERT_EQ(lines.size(), 9u) << run.out;
  EXPECT_EQ(lines[0], kHeader);

  const AnalysisOutcome expected[2] = {AnalyzeRecord(first, AnalysisOptions{}),
                                       AnalyzeRecord(second, AnalysisOptions{})};
  const char* names[] = {"endothelial", "neurogenic", "myogenic", "respiratory"};
  for (int file = 0; file < 2; ++file) {
    ASSERT_TRUE(expected[file].ok());
    for (int band = 0; band < 4; ++band) {
      const std::string& line = lines[static_cast<std::size_t>(1 + file * 4 + band)];
      // The comma in "b,2.txt" makes its file field quoted.
      const std::string fileField = file == 0 ? a : "\"" + b + "\"";
      ASSERT_EQ(line.rfind(fileField + ",", 0), 0u) << line;
      const std::vector<std::string> fields = Split(line.substr(fileField.size() + 1), ',');
      ASSERT_EQ(fields.size(), 9u) << line;
      EXPECT_EQ(fields[0], names[band]);
      const BandRow& row = expected[file].result.table.rows[static_cast<std::size_t>(band)];
      const std::optional<double> values[] = {row.band.range.low, row.band.range.high, row.amplitude, row.power,
                                              row.relativeAmplitude, row.relativePower, row.coverage};
      for (int k = 0; k < 7; ++k) {
        const std::string& field = fields[static_cast<std::size_t>(1 + k)];
        ASSERT_EQ(field.empty(), !values[k].has_value()) << line;
        if (values[k]) {
          EXPECT_EQ(*ParseDecimalNumber(field, '.'), *values[k]) << line;
        }
      }
    }
  }
  // 15 and 25 minutes at f0 = 1: the endothelial band needs 20.6 (and its lowest frequency, 2^(-244/32) Hz,
  // 2 x 2.576 / 2^(-244/32) s = 17.03 minutes), the neurogenic band far less.
  EXPECT_NE(lines[1].find(",record too short for this band: it needs at least 20.6 min"), std::string::npos);
  EXPECT_EQ(lines[2].back(), ',');
  EXPECT_EQ(lines[5].back(), ',');
}

// --table, --spectrum and --scalogram (.csv and .png) write whole files; the table file holds what standard
// output would; a failed first input writes neither spectrum nor picture.
TEST(AnalyzeCommand, WritesTableSpectrumAndScalogramFiles) {
  TempDir dir;
  std::vector<double> values;
  const std::string input = dir.write("r.txt", ToneFile(1800, 0.0, values));
  const AnalyzeRun toStdout = Analyze({input, "--bands", "six", "--voices", "8"});
  ASSERT_EQ(toStdout.status, kExitSuccess) << toStdout.err;
  const AnalyzeRun run = Analyze({input, "--bands", "six", "--voices", "8", "--table", dir.file("t.csv"), "--spectrum",
                                  dir.file("s.csv"), "--scalogram", dir.file("m.csv"), "--threads", "2"});
  ASSERT_EQ(run.status, kExitSuccess) << run.err;
  EXPECT_TRUE(run.out.empty());
  EXPECT_EQ(TempDir::read(dir.file("t.csv")), toStdout.out);
  EXPECT_EQ(Lines(toStdout.out).size(), 1u + 5u);  // the six set less cardiac

  AnalysisOptions options;
  options.voicesPerOctave = 8;
  const AnalysisOutcome expected = AnalyzeRecord(values, options);
  const std::size_t frequencies = expected.result.frequenciesHz.size();
  const std::vector<std::string> spectrum = Lines(TempDir::read(dir.file("s.csv")));
  ASSERT_EQ(spectrum.size(), frequencies + 1);
  EXPECT_EQ(spectrum[0], "frequency_hz,amplitude,power");
  // The lowest frequency, 2^(-61/8) Hz, has no valid sample in 15 minutes.
  const std::vector<std::string> lowest = Split(spectrum[1], ',');
  ASSERT_EQ(lowest.size(), 3u);
  EXPECT_EQ(*ParseDecimalNumber(lowest[0], '.'), std::exp2(-61.0 / 8.0));
  EXPECT_TRUE(lowest[1].empty() && lowest[2].empty());
  const std::vector<std::string> last = Split(spectrum.back(), ',');
  ASSERT_EQ(last.size(), 3u);
  EXPECT_EQ(*ParseDecimalNumber(last[1], '.'), *expected.result.spectrum.back().amplitude);

  const std::vector<std::string> matrix = Lines(TempDir::read(dir.file("m.csv")));
  ASSERT_EQ(matrix.size(), frequencies + 1);
  const std::vector<std::string> header = Split(matrix[0], ',');
  ASSERT_EQ(header.size(), 1u + 1800u);  // fewer samples than the picture's 2000 columns: one column each
  EXPECT_EQ(header[0], "frequency_hz");
  EXPECT_EQ(header[1], "0");
  EXPECT_EQ(header[2], "0.5");
  EXPECT_EQ(Split(matrix[1], ',').size(), 1u + 1800u);

  ASSERT_EQ(Analyze({input, "--scalogram", dir.file("p.PNG")}).status, kExitSuccess);
  EXPECT_EQ(TempDir::read(dir.file("p.PNG")).substr(0, 8), std::string("\x89PNG\r\n\x1a\n", 8));

  const AnalyzeRun firstBad = Analyze({dir.file("none.txt"), input, "--spectrum", dir.file("s2.csv")});
  EXPECT_EQ(firstBad.status, kExitBadInput);
  EXPECT_EQ(Lines(firstBad.out).size(), 1u + 4u);
  EXPECT_FALSE(std::filesystem::exists(dir.file("s2.csv")));
}

TEST(AnalyzeCommand, UsageErrorsAndAllInputsBad) {
  TempDir dir;
  std::vector<double> values;
  const std::string input = dir.write("r.txt", ToneFile(600, 0.0, values));
  struct Case {
    std::vector<std::string> args;
    const char* message;
  };
  for (const Case& c : std::vector<Case>{
           {{}, "at least one INPUT file is needed"},
           {{input, "--bands", "a:0.1:0.2,b:0.2:0.1"}, "--bands item 2 'b:0.2:0.1' needs 0 < LO < HI"},
           {{input, "--bands", "a:0.1:x"}, "--bands item 1: 'x' is not a number of Hz"},
           {{input, "--scalogram", "p.bmp"}, "--scalogram needs a file name ending in .png or .csv"},
           {{input, "-o", "x.txt"}, "the band table goes to --table FILE"},
           {{input, "--fmax", "1.5"}, "--fmin and --fmax need 0 < fmin <= fmax <= fs/2 = 1 Hz"},
           {{input, "--f0", "4"}, "--f0 needs a number from 0.5 to 3"},
           {{input, "--detrend", "quadratic"}, "--detrend needs none, mean, linear or cubic"},
           {{input, "--voices", "0"}, "--voices needs a whole number from 1 to 128"}}) {
    const AnalyzeRun run = Analyze(c.args);
    EXPECT_EQ(run.status, kExitUsage) << c.message;
    EXPECT_NE(run.err.find(c.message), std::string::npos) << run.err;
  }
  const AnalyzeRun allBad = Analyze({dir.file("x.txt"), dir.file("y.txt"), "--table", dir.file("t.csv")});
  EXPECT_EQ(allBad.status, kExitBadInput);
  EXPECT_FALSE(std::filesystem::exists(dir.file("t.csv")));
}

// The PREVAIL recordings (2 Hz, about 15 minutes): every listed value is finite, the endothelial band is noted
// as too short (15 minutes < 20.6), coverage grows with the band's frequency.
TEST(AnalyzeCommand, RealRecordingsGiveCompleteTables) {
  const std::filesystem::path data = KELVORA_SHARED_DATA_DIR;
  if (!std::filesystem::exists(data / "SOURCES.md")) GTEST_SKIP() << "no shared data folder";
  std::vector<std::string> inputs;
  for (const auto& entry : std::filesystem::directory_iterator(data)) {
    const std::string name = entry.path().filename().string();
    if (name.rfind("ldf_PREVAIL", 0) == 0 || name.rfind("skintemp_PREVAIL", 0) == 0) inputs.push_back(entry.path());
  }
  ASSERT_EQ(inputs.size(), 16u);
  const AnalyzeRun run = Analyze(inputs);
  ASSERT_EQ(run.status, kExitSuccess) << run.err;
  const std::vector<std::string> lines = Lines(run.out);
  ASSERT_EQ(lines.size(), 1u + 16u * 4u);
  for (std::size_t i = 1; i < lines.size(); i += 4) {
    double previousCoverage = -1.0;
    for (std::size_t band = 0; band < 4; ++band) {
      const std::vector<std::string> fields = Split(lines[i + band], ',');
      ASSERT_EQ(fields.size(), 10u) << lines[i + band];
      for (std::size_t k = 4; k <= 8; ++k) {
        const std::optional<double> value = ParseDecimalNumber(fields[k], '.');
        ASSERT_TRUE(value) << lines[i + band];
        EXPECT_TRUE(std::isfinite(*value) && *value > 0.0) << lines[i + band];
      }
      const double coverage = *ParseDecimalNumber(fields[8], '.');
      EXPECT_GT(coverage, previousCoverage);
      EXPECT_LE(coverage, 1.0);
      previousCoverage = coverage;
      EXPECT_EQ(fields[9].empty(), band != 0) << lines[i + band];
    }
  }
}

}  // namespace
}  // namespace kelvora::cli
