// LabChart text exports and MATLAB files through the one way in: ReadFileLayout lists their channels, variables,
// sizes, rates and blocks; ReadRecordFile reads the record the options choose, at its own rate, with the
// block's comments as markers, exactly the values the tests' writers put in.
#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <string>
#include <vector>

#include "formats/file_layout.h"
#include "formats/mat_file.h"
#include "formats/record_file.h"
#include "../signals/temp_dir.h"
#include "acquisition_files.h"

namespace kelvora {
namespace {

using testing::TempDir;

// Values exact in binary and in the text writer's 17 digits.
std::vector<double> Ramp(std::size_t n, double base, double step) {
  std::vector<double> v(n);
  for (std::size_t i = 0; i < n; ++i) v[i] = base + step * static_cast<double>(i) + 0.125 * static_cast<double>(i % 3);
  return v;
}

std::vector<double> Joined(std::vector<double> a, const std::vector<double>& b) {
  a.insert(a.end(), b.begin(), b.end());
  return a;
}

// Two blocks of T and BF at 40 Hz, the second following the first, with comments in both.
std::vector<testing::TextBlockPlan> TextBlocks() {
  testing::TextBlockPlan a;
  a.intervalS = 0.025;
  a.titles = {"T", "BF"};
  a.units = {"degC", "PU"};
  a.excelDays = 45000.5;
  a.channels = {Ramp(80, 30.0, 0.0625), Ramp(80, 100.0, 0.5)};
  a.comments[10] = "cold start";
  a.commentRows[40] = "probe moved";
  testing::TextBlockPlan b = a;
  b.excelDays = 45000.5 + 80 * 0.025 / 86400.0;
  b.channels = {Ramp(60, 31.0, -0.25), Ramp(60, 90.0, 0.75)};
  b.comments = {{5, "warm"}};
  b.commentRows.clear();
  return {a, b};
}

// A LabChart .mat export: T at 40 Hz and BF at 20 Hz in one block, a comment for all channels at 2 s.
testing::ExportPlan MatExport() {
  testing::ExportPlan plan;
  plan.blocks = {{{"T", "degC", 40, Ramp(120, 30, 0.0625), 0.0}, {"BF", "PU", 20, Ramp(60, 100, 0.5), 0.0}}};
  plan.blockTimes = {739000.25};
  plan.comments = {{-1, 1, 80, "start"}};
  return plan;
}

// A plain file: flux 1 x 72, a 3-column matrix, fs = 8 and a text.
std::vector<double> Flux() { return Ramp(72, 12.0, 0.25); }
std::vector<double> MatrixValues() { return Ramp(150, -5.0, 0.5); }  // 50 x 3, column after column
std::vector<double> MatrixColumn(int k) {
  const std::vector<double> m = MatrixValues();
  return std::vector<double>(m.begin() + 50 * k, m.begin() + 50 * (k + 1));
}

enum class Kind { kText, kExport, kPlain, kPlain73, kPlainNoFs };

std::string Write(TempDir& dir, Kind kind) {
  switch (kind) {
    case Kind::kText: return dir.write("blocks.txt", testing::LabChartText(TextBlocks()));
    case Kind::kExport: {
      const std::string path = dir.file("export.mat");
      EXPECT_FALSE(WriteMatFile(path, testing::AcquisitionExport(MatExport())).has_value());
      return path;
    }
    case Kind::kPlain:
    case Kind::kPlain73:
    case Kind::kPlainNoFs: {
      // No ".mat" name for the version 7.3 file: it is found by its header.
      const std::string path = dir.file(kind == Kind::kPlain73 ? "plain.h5data" : "plain.mat");
      std::vector<MatValue> vars = {MatValue::Row("flux", Flux()), MatValue::Matrix("bf", 50, 3, MatrixValues()),
                                    MatValue::Text("note", "probe 2")};
      if (kind != Kind::kPlainNoFs) vars.push_back(MatValue::Scalar("fs", 8));
      MatWriteOptions options;
      options.version73 = kind == Kind::kPlain73;
      EXPECT_FALSE(WriteMatFile(path, vars, options).has_value());
      return path;
    }
  }
  return {};
}

struct Case {
  const char* name;
  Kind kind;
  std::function<void(RecordReadOptions&)> options;
  std::vector<double> values;  // empty: refused with `error`
  int rateHz = 0;
  std::vector<std::string> markers;  // labels, in time order
  std::vector<double> markerTimes;
  RecordFileErrorKind error = RecordFileErrorKind::kNoSamples;
  long long count = 0;  // the error's count
};

void PrintTo(const Case& c, std::ostream* os) { *os << c.name; }

class AcquisitionRecord : public ::testing::TestWithParam<Case> {};

TEST_P(AcquisitionRecord, ReadsTheChosenRecordAtItsOwnRate) {
  const Case& c = GetParam();
  if (c.kind == Kind::kPlain73 && !MatVersion73Supported()) GTEST_SKIP() << "MATIO without HDF5";
  TempDir dir;
  const std::string path = Write(dir, c.kind);
  RecordReadOptions options;
  options.defaultRateHz = 3;
  c.options(options);
  const RecordFileResult r = ReadRecordFile(path, options);
  EXPECT_EQ(r.format, c.kind == Kind::kText ? FileFormat::kLabChartText : FileFormat::kMat);
  if (c.values.empty()) {
    ASSERT_FALSE(r.ok());
    EXPECT_EQ(r.error->kind, c.error);
    EXPECT_EQ(r.error->count, c.count);
    EXPECT_EQ(r.error->path, path);
    EXPECT_TRUE(r.record.values.empty());
    return;
  }
  ASSERT_TRUE(r.ok()) << static_cast<int>(r.error->kind) << " " << r.error->text;
  EXPECT_EQ(r.record.values, c.values);
  EXPECT_EQ(r.sampleRateHz, c.rateHz);
  EXPECT_EQ(r.record.sampleRateHz, c.rateHz);
  ASSERT_EQ(r.markers.size(), c.markers.size());
  for (std::size_t i = 0; i < c.markers.size(); ++i) {
    EXPECT_EQ(r.markers[i].label, c.markers[i]);
    EXPECT_DOUBLE_EQ(r.markers[i].timeS, c.markerTimes[i]);
    EXPECT_EQ(r.markers[i].source, MarkerSource::kLabChart);
  }
}

const std::vector<testing::TextBlockPlan> kText = TextBlocks();

INSTANTIATE_TEST_SUITE_P(
    Files, AcquisitionRecord,
    ::testing::Values(
        Case{"TextBlockTwoChannelBF", Kind::kText,
             [](RecordReadOptions& o) { o.block = 2; o.channel = ChannelRef::Parse("BF"); },
             kText[1].channels[1], 40, {"warm"}, {0.125}},
        Case{"TextBlockOneByNumber", Kind::kText,
             [](RecordReadOptions& o) { o.block = 1; o.channel = ChannelRef{1, {}}; },
             kText[0].channels[0], 40, {"cold start", "probe moved"}, {0.25, 1.0}},
        Case{"TextJoined", Kind::kText,
             [](RecordReadOptions& o) { o.joinBlocks = true; o.channel = ChannelRef{1, {}}; },
             Joined(kText[0].channels[0], kText[1].channels[0]), 40, {"cold start", "probe moved", "warm"},
             {0.25, 1.0, 2.125}},
        Case{"TextResampledToTenHertz", Kind::kText,
             [](RecordReadOptions& o) { o.block = 1; o.channel = ChannelRef{2, {}}; o.resampleToHz = 10; },
             [] {
               std::vector<double> means;
               const std::vector<double>& bf = kText[0].channels[1];
               for (std::size_t i = 0; i + 4 <= bf.size(); i += 4) means.push_back((bf[i] + bf[i + 1] + bf[i + 2] + bf[i + 3]) / 4);
               return means;
             }(),
             10, {"cold start", "probe moved"}, {0.25, 1.0}},
        Case{"TextNeedsABlock", Kind::kText, [](RecordReadOptions& o) { o.channel = ChannelRef{1, {}}; }, {}, 0, {},
             {}, RecordFileErrorKind::kBlockNeeded, 2},
        Case{"TextNoSuchBlock", Kind::kText, [](RecordReadOptions& o) { o.block = 3; o.channel = ChannelRef{1, {}}; },
             {}, 0, {}, {}, RecordFileErrorKind::kNoSuchBlock, 3},
        Case{"TextNeedsAChannel", Kind::kText, [](RecordReadOptions& o) { o.block = 1; }, {}, 0, {}, {},
             RecordFileErrorKind::kChannelNeeded, 2},
        Case{"TextGivenRateDisagrees", Kind::kText,
             [](RecordReadOptions& o) { o.block = 1; o.channel = ChannelRef{1, {}}; o.givenRateHz = 20; }, {}, 0, {}, {},
             RecordFileErrorKind::kRateDisagrees, 0},
        Case{"ExportChannelAtItsOwnRate", Kind::kExport, [](RecordReadOptions& o) { o.channel = ChannelRef::Parse("bf"); },
             MatExport().blocks[0][1].values, 20, {"start"}, {2.0}},
        Case{"ExportT", Kind::kExport, [](RecordReadOptions& o) { o.channel = ChannelRef{1, {}}; },
             MatExport().blocks[0][0].values, 40, {"start"}, {2.0}},
        Case{"PlainVector", Kind::kPlain, [](RecordReadOptions& o) { o.variable = "flux"; }, Flux(), 8, {}, {}},
        Case{"PlainMatrixColumn", Kind::kPlain,
             [](RecordReadOptions& o) { o.variable = "bf"; o.channel = ChannelRef{3, {}}; }, MatrixColumn(2), 8, {}, {}},
        Case{"Plain73ByItsHeader", Kind::kPlain73,
             [](RecordReadOptions& o) { o.variable = "bf"; o.channel = ChannelRef{2, {}}; }, MatrixColumn(1), 8, {}, {}},
        Case{"PlainWithoutFsAtTheGivenRate", Kind::kPlainNoFs,
             [](RecordReadOptions& o) { o.variable = "flux"; o.givenRateHz = 5; }, Flux(), 5, {}, {}},
        Case{"PlainWithoutFsAtTheDefaultRate", Kind::kPlainNoFs, [](RecordReadOptions& o) { o.variable = "flux"; },
             Flux(), 3, {}, {}},
        Case{"PlainNeedsAVariable", Kind::kPlain, [](RecordReadOptions&) {}, {}, 0, {}, {},
             RecordFileErrorKind::kVariableNeeded, 2},
        Case{"PlainMatrixNeedsAColumn", Kind::kPlain, [](RecordReadOptions& o) { o.variable = "bf"; }, {}, 0, {}, {},
             RecordFileErrorKind::kChannelNeeded, 3}),
    [](const ::testing::TestParamInfo<Case>& info) { return std::string(info.param.name); });

TEST(AcquisitionLayout, TextExportListsItsChannelsBlocksAndComments) {
  TempDir dir;
  std::vector<testing::TextBlockPlan> blocks = TextBlocks();
  blocks[0].cells[{3, 1}] = "*";  // a missing BF value hides nothing of the layout; reading BF refuses it
  const std::string path = dir.write("blocks.txt", testing::LabChartText(blocks));
  const FileLayoutResult r = ReadFileLayout(path);
  ASSERT_TRUE(r.ok()) << static_cast<int>(r.error->kind);
  const FileLayout& l = r.layout;
  EXPECT_EQ(l.format, FileFormat::kLabChartText);
  EXPECT_FALSE(l.singleSignal());
  EXPECT_EQ(l.fileRateHz, 40.0);
  ASSERT_EQ(l.channels.size(), 2u);
  EXPECT_EQ(l.channels[0].name, "T");
  EXPECT_EQ(l.channels[1].unit, "PU");
  EXPECT_EQ(l.channels[1].number, 2);
  ASSERT_EQ(l.blocks.size(), 2u);
  EXPECT_EQ(l.blocks[0].channels[1].samples, 80);
  EXPECT_EQ(l.blocks[1].channels[0].samples, 60);
  EXPECT_EQ(*l.blocks[1].startDays, *blocks[1].excelDays + kExcelToMatlabDays);
  ASSERT_EQ(l.blocks[0].markers.size(), 2u);
  EXPECT_EQ(l.blocks[0].markers[1].label, "probe moved");
  EXPECT_EQ(l.blocks[1].markers.size(), 1u);

  RecordReadOptions bf;
  bf.block = 1;
  bf.channel = ChannelRef{2, {}};
  const RecordFileResult refused = ReadRecordFile(path, bf);
  ASSERT_FALSE(refused.ok());
  EXPECT_EQ(refused.error->kind, RecordFileErrorKind::kMissingSample);
  EXPECT_EQ(refused.error->line, 13);  // 9 header lines, a comment row before row 40 is later: row 3 is line 13
}

TEST(AcquisitionLayout, MatFilesListTheirVariablesWithSizesAndSignals) {
  TempDir dir;
  const FileLayoutResult plain = ReadFileLayout(Write(dir, Kind::kPlain));
  ASSERT_TRUE(plain.ok());
  const FileLayout& p = plain.layout;
  EXPECT_EQ(p.format, FileFormat::kMat);
  EXPECT_FALSE(p.matExport);
  EXPECT_EQ(p.fileRateHz, 8.0);
  ASSERT_EQ(p.variables.size(), 4u);
  EXPECT_EQ(p.variables[0].name, "flux");
  EXPECT_EQ(p.variables[0].dims, (std::vector<std::size_t>{1, 72}));
  EXPECT_EQ(p.variables[3].name, "fs");
  EXPECT_EQ(p.variables[3].dims, (std::vector<std::size_t>{1, 1}));
  // flux, then bf's three columns; the text and fs are no signals.
  ASSERT_EQ(p.channels.size(), 4u);
  EXPECT_EQ(p.channels[0].name, "flux");
  EXPECT_EQ(p.channels[0].samples, 72);
  EXPECT_EQ(p.channels[3].name, "bf(3)");
  EXPECT_EQ(p.channels[3].variable, "bf");
  EXPECT_EQ(p.channels[3].number, 3);
  EXPECT_EQ(p.channels[3].samples, 50);
  EXPECT_EQ(p.channels[3].sampleRateHz, 8.0);

  const FileLayoutResult exported = ReadFileLayout(Write(dir, Kind::kExport));
  ASSERT_TRUE(exported.ok());
  const FileLayout& e = exported.layout;
  EXPECT_TRUE(e.matExport);
  EXPECT_EQ(e.fileRateHz, 0.0);  // T at 40 Hz, BF at 20 Hz
  ASSERT_EQ(e.blocks.size(), 1u);
  ASSERT_EQ(e.channels.size(), 2u);
  EXPECT_EQ(e.channels[1].name, "BF");
  EXPECT_EQ(e.channels[1].sampleRateHz, 20.0);
  EXPECT_EQ(e.channels[1].samples, 60);
  ASSERT_EQ(e.blocks[0].markers.size(), 1u);
  EXPECT_DOUBLE_EQ(e.blocks[0].markers[0].timeS, 2.0);

  const std::string broken = dir.write("broken.mat", "MATLAB 5.0 MAT-file, not really");
  const FileLayoutResult bad = ReadFileLayout(broken);
  ASSERT_FALSE(bad.ok());
  EXPECT_EQ(bad.error->kind, RecordFileErrorKind::kNotMatFile);
}

// The export of a CSV request as MATLAB variables reads back as the same columns and rate.
TEST(AcquisitionLayout, ColumnsWrittenAsMatReadBack) {
  TempDir dir;
  CsvWriteRequest request;
  request.comments = {{"method", "Fourier filtration"}, {"band_Hz", "0.01 .. 0.1"}};
  request.sampleRateHz = 4;
  request.columns = {CsvColumn{"BF*", Ramp(33, 1.0, 0.125)}};
  const std::string path = dir.file("out.mat");
  ASSERT_FALSE(WriteColumnsMatFile(path, request).has_value());
  RecordReadOptions options;
  options.variable = "BF_";
  const RecordFileResult r = ReadRecordFile(path, options);
  ASSERT_TRUE(r.ok()) << static_cast<int>(r.error->kind);
  EXPECT_EQ(r.record.values, request.columns[0].values);
  EXPECT_EQ(r.sampleRateHz, 4);
  const FileLayoutResult l = ReadFileLayout(path);
  ASSERT_TRUE(l.ok());
  std::vector<std::string> names;
  for (const MatVariableInfo& v : l.layout.variables) names.push_back(v.name);
  EXPECT_EQ(names, (std::vector<std::string>{"BF_", "fs", "settings"}));
}

}  // namespace
}  // namespace kelvora
