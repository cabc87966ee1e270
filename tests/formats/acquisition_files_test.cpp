// Acquisition-system text and MATLAB exports, and plain MATLAB files: written by the tests' own writers (and by
// scipy, in tests/formats/data), read back value for value.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <filesystem>

#include "formats/labchart_text.h"
#include "formats/mat_file.h"
#include "../signals/temp_dir.h"
#include "acquisition_files.h"

namespace kelvora {
namespace {

using testing::TempDir;

std::vector<double> Wave(std::size_t n, double base, double step) {
  std::vector<double> v(n);
  for (std::size_t i = 0; i < n; ++i) v[i] = base + std::sin(0.1 * static_cast<double>(i)) + step * static_cast<double>(i);
  return v;
}

// Two blocks of T and BF at 40 Hz, the second starting where the first ends.
std::vector<testing::TextBlockPlan> TwoBlocks() {
  testing::TextBlockPlan a;
  a.intervalS = 0.025;
  a.titles = {"T", "BF"};
  a.units = {"\xC2\xB0" "C", "PU"};
  a.excelDays = 45000.5;
  a.channels = {Wave(80, 30.0, 0.001), Wave(80, 100.0, 0.37)};
  a.comments[10] = "cold start";
  a.commentRows[40] = "probe moved";
  testing::TextBlockPlan b = a;
  b.excelDays = 45000.5 + 80 * 0.025 / 86400.0;
  b.channels = {Wave(60, 31.0, -0.002), Wave(60, 90.0, 0.5)};
  b.comments.clear();
  b.commentRows.clear();
  b.comments[5] = "warm";
  return {a, b};
}

TEST(LabChartText, TwoBlocksOfTwoChannelsAt40HzReadExactly) {
  const std::vector<testing::TextBlockPlan> blocks = TwoBlocks();
  const std::string text = testing::LabChartText(blocks);
  EXPECT_TRUE(LooksLikeLabChartText(text));
  const LabChartTextResult r = ReadLabChartText(text, {});
  ASSERT_TRUE(r.ok()) << static_cast<int>(r.error->kind) << " line " << r.error->line;
  ASSERT_EQ(r.blocks.size(), 2u);
  for (std::size_t b = 0; b < 2; ++b) {
    const RecordBlock& block = r.blocks[b];
    ASSERT_EQ(block.channels.size(), 2u);
    EXPECT_EQ(block.channels[0].name, "T");
    EXPECT_EQ(block.channels[1].name, "BF");
    EXPECT_EQ(block.channels[0].unit, "\xC2\xB0" "C");
    EXPECT_EQ(block.channels[1].unit, "PU");
    for (std::size_t c = 0; c < 2; ++c) {
      EXPECT_EQ(block.channels[c].sampleRateHz, 40.0);
      EXPECT_EQ(block.channels[c].values, blocks[b].channels[c]);
    }
    ASSERT_TRUE(block.startDays.has_value());
    EXPECT_EQ(*block.startDays, *blocks[b].excelDays + kExcelToMatlabDays);
  }
  ASSERT_EQ(r.blocks[0].markers.size(), 2u);
  EXPECT_EQ(r.blocks[0].markers[0].label, "cold start");
  EXPECT_DOUBLE_EQ(r.blocks[0].markers[0].timeS, 0.25);
  EXPECT_EQ(r.blocks[0].markers[0].source, "labchart");
  EXPECT_EQ(r.blocks[0].markers[0].channel, 0);
  EXPECT_EQ(r.blocks[0].markers[1].label, "probe moved");
  EXPECT_DOUBLE_EQ(r.blocks[0].markers[1].timeS, 1.0);
  ASSERT_EQ(r.blocks[1].markers.size(), 1u);
  EXPECT_EQ(r.blocks[1].markers[0].label, "warm");
  EXPECT_DOUBLE_EQ(r.blocks[1].markers[0].timeS, 0.125);

  // Joined: the second block's samples follow the first's, its comment 2 s later.
  RecordBlock joined;
  ASSERT_FALSE(JoinBlocks(r.blocks, joined).has_value());
  std::vector<double> t = blocks[0].channels[0];
  t.insert(t.end(), blocks[1].channels[0].begin(), blocks[1].channels[0].end());
  EXPECT_EQ(joined.channels[0].values, t);
  ASSERT_EQ(joined.markers.size(), 3u);
  EXPECT_DOUBLE_EQ(joined.markers[2].timeS, 2.125);

  // One channel by title.
  LabChartTextOptions bf;
  bf.channels = {ChannelRef::Parse("bf")};
  const LabChartTextResult one = ReadLabChartText(text, bf);
  ASSERT_TRUE(one.ok());
  ASSERT_EQ(one.blocks[1].channels.size(), 1u);
  EXPECT_EQ(one.blocks[1].channels[0].values, blocks[1].channels[1]);
  EXPECT_EQ(one.blocks[1].channelNumbers, std::vector<int>{2});
}

TEST(LabChartText, BlocksWithAGapAreNotJoined) {
  std::vector<testing::TextBlockPlan> blocks = TwoBlocks();
  *blocks[1].excelDays += 1.0 / 86400.0;  // one second late
  const LabChartTextResult r = ReadLabChartText(testing::LabChartText(blocks), {});
  ASSERT_TRUE(r.ok());
  RecordBlock joined;
  const std::optional<RecordFileError> e = JoinBlocks(r.blocks, joined);
  ASSERT_TRUE(e.has_value());
  EXPECT_EQ(e->kind, RecordFileErrorKind::kBlocksNotContiguous);
  EXPECT_EQ(e->count, 2);
}

TEST(LabChartText, MissingValueInAChannelReadIsRefusedWithItsLine) {
  std::vector<testing::TextBlockPlan> blocks = TwoBlocks();
  blocks[0].commentRows.clear();
  blocks[0].cells[{7, 1}] = "*";  // BF at row 7: header 9 lines, so line 17
  const std::string text = testing::LabChartText(blocks);
  const LabChartTextResult all = ReadLabChartText(text, {}, "x.txt");
  ASSERT_FALSE(all.ok());
  EXPECT_EQ(all.error->kind, RecordFileErrorKind::kMissingSample);
  EXPECT_EQ(all.error->line, 17);
  EXPECT_EQ(all.error->column, 2);
  EXPECT_EQ(all.error->text, "*");
  // The other channel is read as it stands.
  LabChartTextOptions t;
  t.channels = {ChannelRef{1, {}}};
  const LabChartTextResult onlyT = ReadLabChartText(text, t);
  ASSERT_TRUE(onlyT.ok());
  EXPECT_EQ(onlyT.blocks[0].channels[0].values, blocks[0].channels[0]);
}

struct BadText {
  const char* name;
  const char* text;
  RecordFileErrorKind kind;
  long long line;
};

class LabChartTextFault : public ::testing::TestWithParam<BadText> {};

TEST_P(LabChartTextFault, IsNamed) {
  const LabChartTextResult r = ReadLabChartText(GetParam().text, {});
  ASSERT_FALSE(r.ok());
  EXPECT_EQ(r.error->kind, GetParam().kind);
  EXPECT_EQ(r.error->line, GetParam().line);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, LabChartTextFault,
    ::testing::Values(
        BadText{"BadInterval", "Interval=\tfast\nChannelTitle=\tA\n0\t1\n", RecordFileErrorKind::kBadHeaderValue, 1},
        BadText{"ZeroInterval", "Interval=\t0 s\n0\t1\n", RecordFileErrorKind::kBadHeaderValue, 1},
        BadText{"ShortRow", "Interval=\t0.5 s\nChannelTitle=\tA\tB\n0\t1\n", RecordFileErrorKind::kRaggedRow, 3},
        BadText{"ExtraField", "Interval=\t0.5 s\n0\t1\n0.5\t2\tjunk\n", RecordFileErrorKind::kRaggedRow, 3},
        BadText{"NotANumber", "Interval=\t0.5 s\n0\t1\n0.5\tx\n", RecordFileErrorKind::kBadNumber, 3},
        BadText{"NaN", "Interval=\t0.5 s\n0\tnan\n", RecordFileErrorKind::kBadNumber, 2},
        BadText{"Gap", "Interval=\t0.5 s\n0\t1\n1.5\t2\n", RecordFileErrorKind::kTimeNotUniform, 3},
        BadText{"NoInterval", "ChannelTitle=\tA\n0\t1\n", RecordFileErrorKind::kNoSampleRate, 2},
        BadText{"NoRows", "Interval=\t0.5 s\nChannelTitle=\tA\n", RecordFileErrorKind::kNoData, 0},
        BadText{"TimesAlone", "Interval=\t0.5 s\n0\n0.5\t#* note\n0.5\n1\n", RecordFileErrorKind::kNoData, 0}),
    [](const ::testing::TestParamInfo<BadText>& info) { return std::string(info.param.name); });

TEST(LabChartText, ATimeGoingBackStartsABlockAndMillisecondsAreRead) {
  const LabChartTextResult r = ReadLabChartText("Interval=\t500 ms\n0\t1\n0.5\t2\n0\t3\t#2 re-zeroed\n", {});
  ASSERT_TRUE(r.ok());
  ASSERT_EQ(r.blocks.size(), 2u);
  EXPECT_EQ(r.blocks[0].channels[0].values, (std::vector<double>{1, 2}));
  EXPECT_EQ(r.blocks[1].channels[0].values, std::vector<double>{3});
  EXPECT_EQ(r.blocks[0].channels[0].sampleRateHz, 2.0);
  ASSERT_EQ(r.blocks[1].markers.size(), 1u);
  EXPECT_EQ(r.blocks[1].markers[0].channel, 2);
  EXPECT_EQ(r.blocks[1].markers[0].label, "re-zeroed");
  EXPECT_FALSE(LooksLikeLabChartText("time,T\n0,1\n"));
}

// The export of two channels at their own rates in two blocks, BF without samples in the second.
testing::ExportPlan TwoRateExport() {
  testing::ExportPlan blocks;
  blocks.blocks = {{{"T", "\xC2\xB0" "C", 40, Wave(120, 30, 0.001), 0.0}, {"BF", "PU", 20, Wave(60, 100, 0.3), 0.025}},
                 {{"T", "\xC2\xB0" "C", 40, Wave(80, 31, 0.0), 0.0}, {"BF", "PU", 20, {}, 0.0}}};
  blocks.blockTimes = {739000.25, 739000.5};
  blocks.comments = {{-1, 1, 80, "start"}, {2, 2, 20, "cuff"}};
  return blocks;
}

TEST(MatFile, AcquisitionExportReadsExactly) {
  TempDir dir;
  const testing::ExportPlan blocks = TwoRateExport();
  const std::string path = dir.file("export.mat");
  ASSERT_FALSE(WriteMatFile(path, testing::AcquisitionExport(blocks)).has_value());
  EXPECT_TRUE(LooksLikeMatFile(TempDir::read(path)));
  const MatReadResult r = ReadMatFile(path);
  ASSERT_TRUE(r.ok()) << static_cast<int>(r.error->kind) << " " << r.error->text;
  EXPECT_EQ(r.layout, MatFileLayout::kAcquisitionExport);
  EXPECT_EQ(r.version, 5);
  ASSERT_EQ(r.blocks.size(), 2u);
  for (std::size_t b = 0; b < 2; ++b) {
    ASSERT_EQ(r.blocks[b].channels.size(), 2u);
    EXPECT_EQ(*r.blocks[b].startDays, blocks.blockTimes[b]);
    for (std::size_t c = 0; c < 2; ++c) {
      const ImportedChannel& ch = r.blocks[b].channels[c];
      EXPECT_EQ(ch.name, blocks.blocks[b][c].title);
      EXPECT_EQ(ch.unit, blocks.blocks[b][c].unit);
      EXPECT_EQ(ch.sampleRateHz, blocks.blocks[b][c].rateHz);
      EXPECT_EQ(ch.values, blocks.blocks[b][c].values);
      EXPECT_EQ(ch.startTimeS, blocks.blocks[b][c].offsetS);
    }
  }
  // Comments at ticks of the fastest rate (40 Hz) without a tickrate.
  ASSERT_EQ(r.blocks[0].markers.size(), 1u);
  EXPECT_EQ(r.blocks[0].markers[0].label, "start");
  EXPECT_DOUBLE_EQ(r.blocks[0].markers[0].timeS, 2.0);
  EXPECT_EQ(r.blocks[0].markers[0].channel, 0);
  ASSERT_EQ(r.blocks[1].markers.size(), 1u);
  EXPECT_DOUBLE_EQ(r.blocks[1].markers[0].timeS, 0.5);
  EXPECT_EQ(r.blocks[1].markers[0].channel, 2);
  EXPECT_EQ(r.blocks[1].markers[0].source, "labchart");
}

// With a tickrate, comment positions count its ticks; blocks of the export join when they follow.
TEST(MatFile, AcquisitionExportCommentsAtTicksAndBlocksJoined) {
  testing::ExportPlan blocks;
  blocks.blocks = {{{"BF", "PU", 40, Wave(400, 10, 0.01), 0.0}}, {{"BF", "PU", 40, Wave(200, 12, 0.0), 0.0}}};
  blocks.blockTimes = {739000.0, 739000.0 + 10.0 / 86400.0};  // the second starts 10 s (400 samples) later
  blocks.comments = {{1, 2, 2500, "cuff on"}};
  blocks.tickRateHz = 1000;
  TempDir dir;
  const std::string path = dir.file("ticks.mat");
  MatWriteOptions v73;
  v73.version73 = MatVersion73Supported();
  ASSERT_FALSE(WriteMatFile(path, testing::AcquisitionExport(blocks), v73).has_value());
  const MatReadResult r = ReadMatFile(path);
  ASSERT_TRUE(r.ok());
  ASSERT_EQ(r.blocks.size(), 2u);
  ASSERT_EQ(r.blocks[1].markers.size(), 1u);
  EXPECT_DOUBLE_EQ(r.blocks[1].markers[0].timeS, 2.5);
  RecordBlock joined;
  ASSERT_FALSE(JoinBlocks(r.blocks, joined).has_value());
  std::vector<double> all = blocks.blocks[0][0].values;
  all.insert(all.end(), blocks.blocks[1][0].values.begin(), blocks.blocks[1][0].values.end());
  EXPECT_EQ(joined.channels[0].values, all);
  ASSERT_EQ(joined.markers.size(), 1u);
  EXPECT_DOUBLE_EQ(joined.markers[0].timeS, 12.5);
}

TEST(MatFile, AcquisitionExportWithADataEndBeyondTheDataIsRefused) {
  TempDir dir;
  std::vector<MatValue> vars = testing::AcquisitionExport(TwoRateExport());
  vars[2].values[1] = 1e6;  // dataend of BF in block 1
  const std::string path = dir.file("bad.mat");
  ASSERT_FALSE(WriteMatFile(path, vars).has_value());
  const MatReadResult r = ReadMatFile(path);
  ASSERT_FALSE(r.ok());
  EXPECT_EQ(r.error->kind, RecordFileErrorKind::kMatLayout);
  EXPECT_EQ(r.error->text, "datastart");
  EXPECT_EQ(r.error->column, 2);
  EXPECT_EQ(r.error->count, 1);
}

struct PlainCase {
  std::size_t rows, columns;
  bool version73;
};

class MatPlain : public ::testing::TestWithParam<PlainCase> {};

// A matrix holds one signal per row when it has fewer rows than columns, else one per column.
TEST_P(MatPlain, SignalsReadExactly) {
  const PlainCase p = GetParam();
  if (p.version73 && !MatVersion73Supported()) GTEST_SKIP() << "MATIO without HDF5";
  std::vector<double> m(p.rows * p.columns);
  for (std::size_t i = 0; i < m.size(); ++i) m[i] = std::cos(0.01 * static_cast<double>(i)) * 1e3 + 1.0 / 3.0;
  TempDir dir;
  const std::string path = dir.file("plain.mat");
  MatWriteOptions options;
  options.version73 = p.version73;
  ASSERT_FALSE(WriteMatFile(path, {MatValue::Matrix("bf", p.rows, p.columns, m), MatValue::Scalar("fs", 40),
                                   MatValue::Text("note", "probe 2")},
                            options)
                   .has_value());
  const MatReadResult r = ReadMatFile(path);
  ASSERT_TRUE(r.ok()) << static_cast<int>(r.error->kind);
  EXPECT_EQ(r.version, p.version73 ? 73 : 5);
  EXPECT_EQ(r.variable, "bf");
  ASSERT_TRUE(r.fsHz.has_value());
  EXPECT_EQ(*r.fsHz, 40.0);
  const bool byRow = p.rows < p.columns;
  const std::size_t signals = byRow ? p.rows : p.columns, length = byRow ? p.columns : p.rows;
  ASSERT_EQ(r.blocks.size(), 1u);
  ASSERT_EQ(r.blocks[0].channels.size(), signals);
  for (std::size_t s = 0; s < signals; ++s) {
    std::vector<double> expected(length);
    for (std::size_t k = 0; k < length; ++k) expected[k] = byRow ? m[s + k * p.rows] : m[k + s * p.rows];
    EXPECT_EQ(r.blocks[0].channels[s].values, expected) << s;
    EXPECT_EQ(r.blocks[0].channels[s].sampleRateHz, 40.0);
    EXPECT_EQ(r.blocks[0].channels[s].name, signals == 1 ? "bf" : "bf(" + std::to_string(s + 1) + ")");
  }
}

INSTANTIATE_TEST_SUITE_P(Shapes, MatPlain,
                         ::testing::Values(PlainCase{1, 300, false}, PlainCase{300, 1, false},
                                           PlainCase{3, 200, false}, PlainCase{200, 3, false},
                                           PlainCase{1, 300, true}, PlainCase{200, 3, true}));

TEST(MatFile, PlainVariableChoiceAndRefusals) {
  TempDir dir;
  const std::string path = dir.file("two.mat");
  ASSERT_FALSE(WriteMatFile(path, {MatValue::Column("t", {1, 2, 3}), MatValue::Column("bf", {4, 5, 6}),
                                   MatValue::Text("who", "\xD0\x9F\xD1\x80")})
                   .has_value());
  using K = RecordFileErrorKind;
  MatReadResult r = ReadMatFile(path);
  ASSERT_FALSE(r.ok());
  EXPECT_EQ(r.error->kind, K::kVariableNeeded);
  EXPECT_EQ(r.error->count, 2);
  ASSERT_EQ(r.variables.size(), 3u);
  EXPECT_EQ(r.variables[2].className, "char");
  MatReadOptions o;
  o.variable = "bf";
  r = ReadMatFile(path, o);
  ASSERT_TRUE(r.ok());
  EXPECT_EQ(r.blocks[0].channels[0].values, (std::vector<double>{4, 5, 6}));
  EXPECT_EQ(r.blocks[0].channels[0].sampleRateHz, 0.0);  // no fs: the caller's rate
  o.variable = "who";
  r = ReadMatFile(path, o);
  ASSERT_FALSE(r.ok());
  EXPECT_EQ(r.error->kind, K::kVariableNotSignal);
  EXPECT_EQ(r.error->matFault, MatFault::kNotNumeric);
  EXPECT_EQ(r.error->reason, "char");
  o.variable = "x";
  EXPECT_EQ(ReadMatFile(path, o).error->kind, K::kNoSuchVariable);
  EXPECT_EQ(ReadMatFile(dir.write("no.mat", "MATLAB 5.0 MAT-file but nothing else")).error->kind, K::kNotMatFile);
}

TEST(MatFile, NonFiniteValuesAreNotWritten) {
  TempDir dir;
  const std::string path = dir.file("nan.mat");
  const std::optional<RecordFileError> e = WriteMatFile(path, {MatValue::Column("x", {1, NAN, 3})});
  ASSERT_TRUE(e.has_value());
  EXPECT_EQ(e->kind, RecordFileErrorKind::kNonFiniteValue);
  EXPECT_EQ(e->count, 1);
  EXPECT_FALSE(std::filesystem::exists(path));
  EXPECT_EQ(WriteMatFile(path, {MatValue::Column("1x", {1})})->kind, RecordFileErrorKind::kBadChannel);
  EXPECT_EQ(MatVariableName("BF (PU)", "x"), "BF__PU_");
  EXPECT_EQ(MatVariableName("2nd", "x"), "x2nd");
}

TEST(MatFile, StructOfColumnsReadsBackThroughMatio) {
  TempDir dir;
  const std::string path = dir.file("s.mat");
  ASSERT_FALSE(WriteMatFile(path, {MatValue::Struct("bands", {MatValue::Column("low_hz", {0.01, 0.1}),
                                                              MatValue::Column("power", {2.5, 7.25})})})
                   .has_value());
  const MatReadResult r = ReadMatFile(path);
  ASSERT_EQ(r.variables.size(), 1u);
  EXPECT_EQ(r.variables[0].className, "struct");
  EXPECT_EQ(r.error->kind, RecordFileErrorKind::kVariableNeeded);
}

// Files written by scipy.io.savemat (tests/formats/data/make_scipy_files.py): t = 0.125 k - 3 (k = 0..99),
// m = int16 [[k, -k] ...] (100 x 2), fs = 50.
TEST(MatFile, ScipyFilesReadExactly) {
  for (const char* name : {"scipy_v5.mat", "scipy_v5_compressed.mat"}) {
    const std::string path = std::string(KELVORA_SOURCE_DIR) + "/tests/formats/data/" + name;
    MatReadOptions o;
    o.variable = "t";
    MatReadResult r = ReadMatFile(path, o);
    ASSERT_TRUE(r.ok()) << name << " " << static_cast<int>(r.error->kind);
    std::vector<double> t(100), a(100), b(100);
    for (int k = 0; k < 100; ++k) {
      t[static_cast<std::size_t>(k)] = 0.125 * k - 3;
      a[static_cast<std::size_t>(k)] = k;
      b[static_cast<std::size_t>(k)] = -k;
    }
    EXPECT_EQ(r.blocks[0].channels[0].values, t) << name;
    EXPECT_EQ(*r.fsHz, 50.0);
    o.variable = "m";
    r = ReadMatFile(path, o);
    ASSERT_TRUE(r.ok()) << name;
    ASSERT_EQ(r.blocks[0].channels.size(), 2u);
    EXPECT_EQ(r.blocks[0].channels[0].values, a);
    EXPECT_EQ(r.blocks[0].channels[1].values, b);
  }
}

// With KELVORA_FUZZ_SEED_DIR set, writes the fuzzers' seed corpora (labchart_text/, mat_file/) there.
TEST(FuzzSeeds, Written) {
  const char* root = std::getenv("KELVORA_FUZZ_SEED_DIR");
  if (!root) GTEST_SKIP() << "KELVORA_FUZZ_SEED_DIR not set";
  namespace fs = std::filesystem;
  fs::create_directories(fs::path(root) / "labchart_text");
  fs::create_directories(fs::path(root) / "mat_file");
  std::vector<testing::TextBlockPlan> blocks = TwoBlocks();
  for (auto& b : blocks)
    for (auto& c : b.channels) c.resize(12);
  std::ofstream(fs::path(root) / "labchart_text" / "two_blocks", std::ios::binary) << '\0' << testing::LabChartText(blocks);
  blocks[0].cells[{3, 1}] = "*";
  std::ofstream(fs::path(root) / "labchart_text" / "missing_value", std::ios::binary) << '\1' << testing::LabChartText(blocks);
  std::ofstream(fs::path(root) / "labchart_text" / "time_back", std::ios::binary)
      << '\0' << "Interval=\t500 ms\n0\t1\n0.5\t2\n0\t3\t#2 re-zeroed\n0.5\t*\n";
  testing::ExportPlan e = TwoRateExport();
  for (auto& b : e.blocks)
    for (auto& c : b)
      if (c.values.size() > 8) c.values.resize(8);
  ASSERT_FALSE(WriteMatFile((fs::path(root) / "mat_file" / "export").string(), testing::AcquisitionExport(e)));
  ASSERT_FALSE(WriteMatFile((fs::path(root) / "mat_file" / "plain").string(),
                            {MatValue::Matrix("bf", 2, 3, {1, 2, 3, 4, 5, 6}), MatValue::Scalar("fs", 40),
                             MatValue::Text("note", "x")}));
  MatWriteOptions v73;
  v73.version73 = true;
  if (MatVersion73Supported()) {
    ASSERT_FALSE(WriteMatFile((fs::path(root) / "mat_file" / "plain73").string(),
                              {MatValue::Row("t", {1, 2, 3, 4}), MatValue::Scalar("fs", 2)}, v73));
  }
}

}  // namespace
}  // namespace kelvora
