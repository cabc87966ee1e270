// kelvora-cli on instrument files: a 32 Hz CSV converts exactly as one-column files of its block means, an EDF
// file's channels export at 1 Hz, export writes the three formats, and bad files get one line naming the fault.
#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <sstream>
#include <string>
#include <vector>

#include "cli/commands.h"
#include "tests/cli/cli_run.h"
#include "formats/delimited_reader.h"
#include "formats/edf_reader.h"
#include "formats/edf_writer.h"
#include "formats/record_import.h"
#include "formats/signal_file.h"
#include "tests/signals/temp_dir.h"

namespace kelvora::cli {
namespace {

using kelvora::testing::TempDir;

using kelvora::cli::testing::Cli;
using kelvora::cli::testing::CliRun;

// 30 minutes at 32 Hz of T and BF as an instrument writes them: values on a 1/64 grid, so that every block mean
// of 16 is exact in binary and the oracle below is the block mean whatever the order of the sums.
struct Recording {
  std::vector<double> t, bf;
};

Recording MakeRecording(int seconds) {
  Recording r;
  for (int i = 0; i < seconds * 32; ++i) {
    const double x = i / 32.0;
    r.t.push_back(std::round((32.5 + 0.6 * std::sin(x / 40.0) + 0.1 * std::sin(x * 1.7)) * 64) / 64);
    r.bf.push_back(std::round((14 + 5 * std::sin(x / 40.0 + 0.4) + 2 * std::cos(x * 2.3)) * 64) / 64);
  }
  return r;
}

std::string CsvOf(const Recording& r) {
  std::string text = "# exported by the laser Doppler monitor\nTime (s),Temperature (degC),Flux (PU)\n";
  for (std::size_t i = 0; i < r.t.size(); ++i) {
    char line[128];
    std::snprintf(line, sizeof line, "%.5f,%.6f,%.6f\n", i / 32.0, r.t[i], r.bf[i]);
    text += line;
  }
  return text;
}

// The direct evaluation of the block means: 16 samples of 32 Hz per sample of 2 Hz.
std::vector<double> BlockMeans(const std::vector<double>& values, int ratio) {
  std::vector<double> means;
  for (std::size_t b = 0; (b + 1) * ratio <= values.size(); ++b) {
    double sum = 0;
    for (int k = 0; k < ratio; ++k) sum += values[b * ratio + k];
    means.push_back(sum / ratio);
  }
  return means;
}

std::string OneColumn(const std::vector<double>& values) {
  std::string text;
  for (const double v : values) text += FormatSignalValue(v, '.', ValuePrecision::kFull) + "\n";
  return text;
}

TEST(ImportCli, A32HzCsvConvertsExactlyAsOneColumnFilesOfItsBlockMeans) {
  TempDir dir;
  const Recording rec = MakeRecording(30 * 60);
  const std::string csv = dir.write("rec.csv", CsvOf(rec));
  const std::vector<double> t = BlockMeans(rec.t, 16);
  const std::vector<double> bf = BlockMeans(rec.bf, 16);
  ASSERT_EQ(t.size(), 3600u);

  // The library reads both channels at 2 Hz with the block means.
  DelimitedReadOptions options;
  options.columns = {ChannelRef::Parse("Temperature"), ChannelRef::Parse("3")};
  const DelimitedReadResult read = ReadDelimitedFile(csv, options);
  ASSERT_TRUE(read.ok());
  EXPECT_EQ(read.layout.timeColumn, 1);
  EXPECT_NEAR(read.sampleRateHz, 32.0, 1e-9);
  const RecordImportResult tRecord = MakeImportedRecord(read.channels[0], {2, true});
  const RecordImportResult bfRecord = MakeImportedRecord(read.channels[1], {2, false});
  ASSERT_TRUE(tRecord.ok() && bfRecord.ok());
  EXPECT_EQ(tRecord.record.values, t);
  EXPECT_EQ(bfRecord.record.values, bf);

  // The command line gives byte for byte what the one-column files give.
  const std::string tFile = dir.write("T.txt", OneColumn(t));
  const std::string bfFile = dir.write("BF.txt", OneColumn(bf));
  const CliRun imported = Cli({"convert", "--method", "fourier", "--direction", "t2bf", csv, "--column", "Temperature",
                            "--resample-to", "2", "--compare", csv, "--column", "Flux", "--full-precision"});
  const CliRun plain = Cli({"convert", "--method", "fourier", "--direction", "t2bf", tFile, "--compare", bfFile,
                         "--fs", "2", "--full-precision"});
  ASSERT_EQ(imported.status, kExitSuccess) << imported.err;
  ASSERT_EQ(plain.status, kExitSuccess) << plain.err;
  EXPECT_EQ(imported.out, plain.out);
  EXPECT_NE(imported.out.find("Correlation: "), std::string::npos);
  EXPECT_EQ(imported.err, "");
}

TEST(ImportCli, EdfChannelsAt1And32HzExportAt1HzWithTheFilesValuesLabelAndUnit) {
  TempDir dir;
  EdfWriteRequest request;
  request.channels = {{"Tskin", "degC", 1, {}}, {"LDF", "PU", 32, {}}};
  for (int i = 0; i < 120; ++i) request.channels[0].values.push_back(30 + i * 0.01);
  for (int i = 0; i < 120 * 32; ++i) request.channels[1].values.push_back(10 + std::sin(i * 0.05));
  const std::string edf = dir.file("rec.edf");
  ASSERT_FALSE(WriteEdfFile(edf, request));

  for (const auto& [channel, index] : {std::pair<std::string, int>{"Tskin", 0}, {"2", 1}}) {
    const std::string out = dir.file("out" + std::to_string(index) + ".edf");
    const CliRun run = Cli({"export", edf, "--channel", channel, "--resample-to", "1", "-o", out});
    ASSERT_EQ(run.status, kExitSuccess) << run.err;
    EdfReadOptions options;
    options.channels = {ChannelRef{1, {}}};
    const EdfReadResult back = ReadEdfFile(out, options);
    ASSERT_TRUE(back.ok());
    const EdfChannelInfo& info = back.info.channels[0];
    EXPECT_EQ(info.label, request.channels[index].label);
    EXPECT_EQ(info.unit, request.channels[index].unit);
    EXPECT_DOUBLE_EQ(info.sampleRateHz, 1.0);
    const std::vector<double> means = BlockMeans(request.channels[index].values, request.channels[index].sampleRateHz);
    ASSERT_EQ(back.channels[0].values.size(), means.size());
    // Two 16-bit quantisations: the file's, then the export's.
    const double step = 2 * 2.1 / 65535;
    for (std::size_t i = 0; i < means.size(); ++i) EXPECT_NEAR(back.channels[0].values[i], means[i], step) << i;
  }
  const CliRun many = Cli({"export", edf, "-o", dir.file("x.txt")});
  EXPECT_EQ(many.status, kExitBadInput);
  EXPECT_EQ(many.err, "kelvora-cli: " + edf + ": 2 channels (1 'Tskin', 2 'LDF'); choose one with --channel\n");
  const CliRun ratio = Cli({"export", edf, "--channel", "LDF", "--resample-to", "3", "-o", dir.file("x.txt")});
  EXPECT_EQ(ratio.status, kExitBadInput);
  EXPECT_EQ(ratio.err, "kelvora-cli: " + edf + ": cannot resample 32 Hz to 3 Hz: the ratio 10.6667 is not a whole number\n");
  EXPECT_FALSE(std::filesystem::exists(dir.file("x.txt")));
}

TEST(ImportCli, ExportWritesTextCsvAndEdfOfTheRecordItRead) {
  TempDir dir;
  const std::string in = dir.write("in.tsv", "t\tBF\n0\t1.25\n0.5\t2.5\n1\t3.75\n1.5\t5\n");
  ASSERT_EQ(Cli({"export", in, "-o", dir.file("a.txt")}).status, kExitSuccess);
  EXPECT_EQ(TempDir::read(dir.file("a.txt")), "1.25\n2.5\n3.75\n5\n");
  ASSERT_EQ(Cli({"export", in, "-o", dir.file("a.csv")}).status, kExitSuccess);
  EXPECT_EQ(TempDir::read(dir.file("a.csv")),
            "# source: " + in + "\n# column: BF\n# sample_rate_hz: 2\nt_s,BF\n0,1.25\n0.5,2.5\n1,3.75\n1.5,5\n");
  ASSERT_EQ(Cli({"export", in, "--resample-to", "1", "-o", dir.file("a.edf")}).status, kExitSuccess);
  const CliRun back = Cli({"export", dir.file("a.edf"), "-o", dir.file("b.txt")});
  ASSERT_EQ(back.status, kExitSuccess) << back.err;
  EXPECT_EQ(TempDir::read(dir.file("b.txt")), "1.875\n4.375\n");
  // A one-column .txt without reading options is read as the program reads it, at --fs.
  const std::string txt = dir.write("t.txt", "300\n301\n");
  ASSERT_EQ(Cli({"export", txt, "-o", dir.file("t.csv"), "--fs", "4"}).status, kExitSuccess);
  EXPECT_NE(TempDir::read(dir.file("t.csv")).find("t_s,t\n0,300\n0.25,301\n"), std::string::npos);
  // Usage: no output, an unknown format, an option given for more records than are read.
  EXPECT_EQ(Cli({"export", in}).status, kExitUsage);
  EXPECT_EQ(Cli({"export", in, "-o", dir.file("a.xlsx")}).status, kExitUsage);
  EXPECT_EQ(Cli({"export", in, "--column", "BF", "--column", "t", "-o", dir.file("c.txt")}).status, kExitSuccess);
  EXPECT_EQ(Cli({"ppg", in, "--column", "BF"}).status, kExitUsage);
}

// A time column with a gap was accepted by analyze when --fs was given (the rate given, the times unread),
// while export of the same file refused it.
TEST(ImportCli, AnalyzeRefusesATimeColumnWithAGapEvenWithAGivenRate) {
  TempDir dir;
  std::string text = "t,T\n";
  for (int i = 0; i < 400; ++i) text += std::to_string(i < 200 ? i * 0.5 : i * 0.5 + 3) + "," + std::to_string(30 + i % 7) + "\n";
  const std::string in = dir.write("gap.csv", text);
  for (const char* command : {"analyze", "export"}) {
    std::vector<std::string> args = {command, in, "--fs", "2"};
    if (std::string(command) == "export") args.insert(args.end(), {"-o", dir.file("out.txt")});
    const CliRun run = Cli(args);
    EXPECT_EQ(run.status, kExitBadInput) << command << ": " << run.err;
    EXPECT_NE(run.err.find(in + ":202: time column 1: at t = 103 s the step is 3.5 s"), std::string::npos)
        << command << ": " << run.err;
  }
}

// A headerless TAB text whose first column rises in uniform steps was read as a one-column signal file: the
// time ramp became the record.
TEST(ImportCli, AHeaderlessTabFileWithATimeColumnGivesItsSignalColumn) {
  TempDir dir;
  const std::string in = dir.write("tab.txt", "0\t33.5\n0.5\t34\n1\t34.25\n1.5\t35\n");
  const CliRun run = Cli({"export", in, "-o", dir.file("out.csv")});
  ASSERT_EQ(run.status, kExitSuccess) << run.err;
  EXPECT_NE(TempDir::read(dir.file("out.csv")).find("# sample_rate_hz: 2\nt_s,"), std::string::npos);
  EXPECT_NE(TempDir::read(dir.file("out.csv")).find("\n0,33.5\n0.5,34\n1,34.25\n1.5,35\n"), std::string::npos)
      << TempDir::read(dir.file("out.csv"));
  // At 1 Hz the time column says otherwise: refused.
  EXPECT_EQ(Cli({"export", in, "--fs", "1", "-o", dir.file("out.txt")}).status, kExitBadInput);
}

struct BadFile {
  const char* name;
  const char* file;
  std::string text;
  std::vector<std::string> options;
  std::string message;  // after "kelvora-cli: <file>"
};

void PrintTo(const BadFile& c, std::ostream* os) { *os << c.name; }

class ImportCliFaultTest : public ::testing::TestWithParam<BadFile> {};

TEST_P(ImportCliFaultTest, OneLineNamesTheFileAndLineAndNothingIsWritten) {
  const BadFile& c = GetParam();
  TempDir dir;
  const std::string in = dir.write(c.file, c.text);
  const std::string out = dir.write("out.txt", "kept\n");
  std::vector<std::string> args = {"export", in, "-o", out};
  args.insert(args.end(), c.options.begin(), c.options.end());
  const CliRun run = Cli(args);
  EXPECT_EQ(run.status, kExitBadInput);
  EXPECT_EQ(run.err, "kelvora-cli: " + in + c.message + "\n");
  EXPECT_EQ(TempDir::read(out), "kept\n");
}

const std::vector<BadFile> kBadFiles = {
    {"NonNumericCell", "bad.csv", "t,T\n0,33\n0.5,3x\n", {}, ":3: column 2: '3x' is not a valid number"},
    {"RaggedRow", "bad.csv", "t,T,BF\n0,33,1\n0.5,34\n", {"--column", "T"}, ":3: 2 cells where the rows have 3"},
    {"NonUniformTime", "bad.csv", "t,T\n0,33\n1,34\n2,35\n4,36\n", {},
     ":5: time column 1: at t = 4 s the step is 2 s where the usual step is 1 s (not uniform within 1 %)"},
    {"RateNotWhole", "bad.csv", "t,T\n0,33\n0.4,34\n0.8,35\n", {}, ": the rate 2.5 Hz is not a whole number of hertz; give --resample-to HZ"},
    {"NoSuchColumn", "bad.csv", "t,T\n0,33\n1,34\n", {"--column", "BF"}, ": no column 'BF' among the 2 columns"},
    {"TimeGapWithAGivenRate", "bad.csv", "t,T\n0,33\n0.5,34\n1,35\n2,36\n", {"--fs", "2"},
     ":5: time column 1: at t = 2 s the step is 1 s where the usual step is 0.5 s (not uniform within 1 %)"},
    {"GivenRateDisagreesWithTheTimeColumn", "bad.csv", "t,T\n0,33\n0.5,34\n1,35\n", {"--fs", "1"},
     ":3: the time column gives 2 Hz, not the 1 Hz of --fs"},
    {"EdfHeader", "bad.edf", "0       " + std::string(300, ' '), {"--channel", "1"}, ": EDF header field 'start date' is malformed ('        ')"},
};

INSTANTIATE_TEST_SUITE_P(BadInput, ImportCliFaultTest, ::testing::ValuesIn(kBadFiles),
                         [](const ::testing::TestParamInfo<BadFile>& info) { return info.param.name; });

}  // namespace
}  // namespace kelvora::cli
