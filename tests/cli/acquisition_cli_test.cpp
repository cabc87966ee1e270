// kelvora-cli on acquisition-system exports and MATLAB files: the records read by every command, export to
// .mat, and analyze --mat / coherence --mat read back against their own CSV files.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <sstream>

#include "formats/mat_file.h"
#include "tests/cli/cli_run.h"
#include "tests/formats/acquisition_files.h"
#include "tests/signals/temp_dir.h"

namespace kelvora::cli {
namespace {

using kelvora::cli::testing::Cli;
using kelvora::testing::TempDir;

std::vector<double> Ramp(std::size_t n, double base, double step) {
  std::vector<double> v(n);
  for (std::size_t i = 0; i < n; ++i) v[i] = base + std::sin(0.05 * static_cast<double>(i)) + step * static_cast<double>(i);
  return v;
}

std::vector<double> ReadBack(const std::string& path, const std::string& variable, double* fs = nullptr) {
  MatReadOptions o;
  o.variable = variable;
  const MatReadResult r = ReadMatFile(path, o);
  EXPECT_TRUE(r.ok()) << path << " " << variable;
  if (!r.ok() || r.blocks.empty() || r.blocks[0].channels.empty()) return {};
  if (fs) *fs = r.fsHz.value_or(0);
  return r.blocks[0].channels[0].values;
}

// The column `name` of a CSV text (the header names it); empty cells are skipped.
std::vector<double> CsvColumn(const std::string& text, const std::string& name) {
  std::istringstream in(text);
  std::string line;
  std::getline(in, line);
  int index = -1, i = 0;
  std::stringstream header(line);
  for (std::string cell; std::getline(header, cell, ','); ++i)
    if (cell == name) index = i;
  std::vector<double> values;
  while (std::getline(in, line)) {
    std::stringstream row(line);
    std::string cell;
    for (int k = 0; k <= index && std::getline(row, cell, ','); ++k) {
    }
    if (!cell.empty()) values.push_back(std::strtod(cell.c_str(), nullptr));
  }
  return values;
}

// Only the entries whose flag (a 0/1 column, or a count of valid samples) is not 0.
std::vector<double> Where(const std::vector<double>& values, const std::vector<double>& valid) {
  std::vector<double> kept;
  for (std::size_t i = 0; i < values.size() && i < valid.size(); ++i)
    if (valid[i] != 0.0) kept.push_back(values[i]);
  return kept;
}

TEST(AcquisitionCli, TextExportBlocksExportToMatExactly) {
  TempDir dir;
  kelvora::testing::TextBlockPlan a;
  a.intervalS = 0.025;
  a.titles = {"T", "BF"};
  a.units = {"C", "PU"};
  a.excelDays = 45000.25;
  a.channels = {Ramp(200, 30, 0.001), Ramp(200, 100, 0.2)};
  a.comments[3] = "start";
  kelvora::testing::TextBlockPlan b = a;
  b.excelDays = 45000.25 + 200 * 0.025 / 86400.0;
  b.channels = {Ramp(120, 31, 0.0), Ramp(120, 90, -0.1)};
  const std::string input = dir.write("rec.txt", kelvora::testing::LabChartText({a, b}));
  const std::string out = dir.file("bf2.mat");

  auto run = Cli({"export", input, "--channel", "BF", "-o", out});
  EXPECT_EQ(run.status, 1);
  EXPECT_NE(run.err.find("2 blocks; choose one with --block N"), std::string::npos) << run.err;

  run = Cli({"export", input, "--channel", "BF", "--block", "2", "-o", out});
  ASSERT_EQ(run.status, 0) << run.err;
  double fs = 0;
  EXPECT_EQ(ReadBack(out, "BF", &fs), b.channels[1]);
  EXPECT_EQ(fs, 40.0);

  run = Cli({"export", input, "--channel", "1", "--join-blocks", "-o", out});
  ASSERT_EQ(run.status, 0) << run.err;
  std::vector<double> joined = a.channels[0];
  joined.insert(joined.end(), b.channels[0].begin(), b.channels[0].end());
  EXPECT_EQ(ReadBack(out, "T"), joined);

  run = Cli({"export", input, "--channel", "BF", "--block", "3", "-o", out});
  EXPECT_EQ(run.status, 1);
  EXPECT_NE(run.err.find("no block 3; the file has 2"), std::string::npos) << run.err;
}

TEST(AcquisitionCli, MatFilesAreFoundByContentAndMatrixRowsChosen) {
  TempDir dir;
  std::vector<double> m(3 * 400);
  for (std::size_t i = 0; i < m.size(); ++i) m[i] = std::sqrt(static_cast<double>(i)) + 0.5;
  const std::string input = dir.file("signals.dat");  // no .mat: found by its header
  ASSERT_FALSE(WriteMatFile(input, {MatValue::Matrix("bf", 3, 400, m), MatValue::Scalar("fs", 8)}).has_value());
  const std::string out = dir.file("row2.mat");
  auto run = Cli({"export", input, "--channel", "2", "-o", out});
  ASSERT_EQ(run.status, 0) << run.err;
  std::vector<double> row(400);
  for (std::size_t k = 0; k < 400; ++k) row[k] = m[1 + k * 3];
  double fs = 0;
  EXPECT_EQ(ReadBack(out, "bf_2_", &fs), row);
  EXPECT_EQ(fs, 8.0);

  run = Cli({"export", input, "-o", out});
  EXPECT_EQ(run.status, 1);
  EXPECT_NE(run.err.find("3 channels (1 'bf(1)', 2 'bf(2)', 3 'bf(3)'); choose one with --channel"),
            std::string::npos) << run.err;
  run = Cli({"export", input, "--channel", "2", "--fs", "16", "-o", out});
  EXPECT_EQ(run.status, 1);
  EXPECT_NE(run.err.find("the channel is at 8 Hz, not the 16 Hz of --fs"), std::string::npos) << run.err;
}

TEST(AcquisitionCli, AnalyzeAndCoherenceMatHoldTheirCsvValues) {
  TempDir dir;
  const std::size_t n = 2400;  // 20 minutes at 2 Hz
  std::vector<double> t(n), bf(n);
  for (std::size_t i = 0; i < n; ++i) {
    const double s = static_cast<double>(i) / 2.0;
    t[i] = 32 + 0.3 * std::sin(2 * M_PI * 0.03 * s) + 0.05 * std::cos(2 * M_PI * 0.2 * s);
    bf[i] = 20 + 4 * std::sin(2 * M_PI * 0.03 * s + 0.4) + std::sin(2 * M_PI * 0.11 * s);
  }
  const std::string input = dir.file("pair.mat");
  ASSERT_FALSE(WriteMatFile(input, {MatValue::Column("t", t), MatValue::Column("bf", bf), MatValue::Scalar("fs", 2)})
                   .has_value());
  const std::string mat = dir.file("an.mat"), table = dir.file("table.csv"), spectrum = dir.file("spectrum.csv"),
                    scalogram = dir.file("scalogram.csv");
  auto run = Cli({"analyze", input, "--variable", "bf", "--fmin", "0.01", "--voices", "8", "--mat", mat, "--table",
                  table, "--spectrum", spectrum, "--scalogram", scalogram});
  ASSERT_EQ(run.status, 0) << run.err;
  const std::string spectrumCsv = TempDir::read(spectrum), tableCsv = TempDir::read(table);
  EXPECT_EQ(ReadBack(mat, "spectrum.frequency_hz"), CsvColumn(spectrumCsv, "frequency_hz"));
  EXPECT_EQ(Where(ReadBack(mat, "spectrum.amplitude"), ReadBack(mat, "spectrum.valid_samples")),
            CsvColumn(spectrumCsv, "amplitude"));
  EXPECT_EQ(Where(ReadBack(mat, "bands.power"), ReadBack(mat, "bands.power_valid")), CsvColumn(tableCsv, "power"));
  EXPECT_EQ(ReadBack(mat, "bands.coverage"), CsvColumn(tableCsv, "coverage"));
  // The scalogram: frequencies down the rows, the CSV's first column.
  const std::vector<double> frequencies = ReadBack(mat, "scalogram_frequency_hz");
  EXPECT_EQ(frequencies, CsvColumn(TempDir::read(scalogram), "frequency_hz"));
  MatReadOptions whole;
  whole.variable = "scalogram_amplitude";
  const MatReadResult picture = ReadMatFile(mat, whole);
  ASSERT_TRUE(picture.ok());
  // More columns than rows: each channel is a frequency row.
  EXPECT_EQ(picture.blocks[0].channels.size(), frequencies.size());

  const std::string coherence = dir.file("coh.mat"), curves = dir.file("curves.csv");
  run = Cli({"coherence", input, input, "--variable", "t", "--variable", "bf", "--fmin", "0.01", "--voices", "8",
             "--surrogates", "4", "--mat", coherence, "--curves", curves, "--table", dir.file("ct.csv")});
  ASSERT_EQ(run.status, 0) << run.err;
  const std::string curvesCsv = TempDir::read(curves);
  EXPECT_EQ(ReadBack(coherence, "coherence_curves.frequency_hz"), CsvColumn(curvesCsv, "frequency_hz"));
  EXPECT_EQ(Where(ReadBack(coherence, "coherence_curves.coherence"), ReadBack(coherence, "coherence_curves.coherence_valid")),
            CsvColumn(curvesCsv, "coherence"));
  EXPECT_EQ(Where(ReadBack(coherence, "coherence_curves.lag_s"), ReadBack(coherence, "coherence_curves.lag_s_valid")),
            CsvColumn(curvesCsv, "lag_s"));
}

}  // namespace
}  // namespace kelvora::cli
