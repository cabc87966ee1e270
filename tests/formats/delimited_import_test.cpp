// Delimited instrument files: layout detection on realistic headers, the faults named by line and column,
// block-mean resampling against a direct evaluation, and the CSV writer read back.
#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <string>
#include <vector>

#include "formats/block_resample.h"
#include "formats/csv_writer.h"
#include "formats/delimited_reader.h"
#include "formats/record_import.h"
#include "tests/signals/temp_dir.h"

namespace kelvora {
namespace {

using kelvora::testing::TempDir;

struct LayoutCase {
  const char* name;
  std::string text;
  char separator;
  char decimalMark;
  int headerLines;
  int timeColumn;
  std::vector<std::string> names;  // of the columns read
  std::vector<std::string> units;
  double rateHz;
  std::vector<double> firstColumnValues;  // the first signal column's first values
};

void PrintTo(const LayoutCase& c, std::ostream* os) { *os << c.name; }

class DelimitedLayoutTest : public ::testing::TestWithParam<LayoutCase> {};

TEST_P(DelimitedLayoutTest, DetectsSeparatorMarkHeaderNamesAndRate) {
  const LayoutCase& c = GetParam();
  const DelimitedReadResult r = ReadDelimitedText(c.text, {});
  ASSERT_TRUE(r.ok()) << static_cast<int>(r.error->kind) << " line " << r.error->line;
  EXPECT_EQ(r.layout.separator, c.separator);
  EXPECT_EQ(r.layout.decimalMark, c.decimalMark);
  EXPECT_EQ(r.layout.headerLines, c.headerLines);
  EXPECT_EQ(r.layout.timeColumn, c.timeColumn);
  ASSERT_EQ(r.channels.size(), c.names.size());
  for (std::size_t i = 0; i < c.names.size(); ++i) {
    EXPECT_EQ(r.channels[i].name, c.names[i]);
    EXPECT_EQ(r.channels[i].unit, c.units[i]);
  }
  EXPECT_NEAR(r.sampleRateHz, c.rateHz, 1e-9 * c.rateHz);
  ASSERT_GE(r.channels[0].values.size(), c.firstColumnValues.size());
  for (std::size_t i = 0; i < c.firstColumnValues.size(); ++i)
    EXPECT_DOUBLE_EQ(r.channels[0].values[i], c.firstColumnValues[i]);
}

// Rows "t<sep>a<sep>b" for times i * step printed by `time`, values printed by `value`.
template <typename TimeText, typename ValueText>
std::string Rows(int count, const std::string& sep, TimeText time, ValueText value, const std::string& end = "\n") {
  std::string text;
  for (int i = 0; i < count; ++i) text += time(i) + sep + value(33.0 + i * 0.25) + sep + value(10.0 + i) + end;
  return text;
}

std::string Fixed(double v, int decimals, char mark = '.') {
  char buffer[64];
  std::snprintf(buffer, sizeof buffer, "%.*f", decimals, v);
  std::string s = buffer;
  for (char& ch : s)
    if (ch == '.') ch = mark;
  return s;
}

const std::vector<LayoutCase> kLayouts = {
    {"DecimalCommaWithSemicolonsAndATitleLine",
     "LDF monitor export 2024-03-01\nZeit (s);Temp (\xC2\xB0" "C);LDF (PU)\n" +
         Rows(
             40, ";", [](int i) { return Fixed(i / 40.0, 3, ','); }, [](double v) { return Fixed(v, 2, ','); }),
     ';', ',', 2, 1, {"Temp (\xC2\xB0" "C)", "LDF (PU)"}, {"\xC2\xB0" "C", "PU"}, 40.0, {33.0, 33.25, 33.5}},
    {"TsvWithAUnitsRowAndMilliseconds",
     "time\tT\tBF\nms\tdegC\tPU\n" +
         Rows(
             30, "\t", [](int i) { return std::to_string(i * 10); }, [](double v) { return Fixed(v, 3); }),
     '\t', '.', 2, 1, {"T", "BF"}, {"degC", "PU"}, 100.0, {33.0, 33.25}},
    {"WhitespaceWithCommentLines",
     "# instrument: laser Doppler\n# channels: t T BF\n" +
         Rows(
             30, "   ", [](int i) { return "  " + Fixed(i * 0.5, 1); }, [](double v) { return Fixed(v, 3); }),
     kWhitespaceSeparator, '.', 2, 1, {"", ""}, {"", ""}, 2.0, {33.0, 33.25}},
    {"WindowsLineEndsAndAByteOrderMark",
     "\xEF\xBB\xBFt_s,T,BF\r\n" +
         Rows(
             20, ",", [](int i) { return Fixed(i / 32.0, 5); }, [](double v) { return Fixed(v, 2); }, "\r\n"),
     ',', '.', 1, 1, {"T", "BF"}, {"", ""}, 32.0, {33.0, 33.25}},
    {"ThirtyTwoHertzTimesPrintedToMilliseconds",
     "Time [s],Temperature [degC],Flux [PU]\n" +
         Rows(
             64, ",", [](int i) { return Fixed(i / 32.0, 3); }, [](double v) { return Fixed(v, 3); }),
     ',', '.', 1, 1, {"Temperature [degC]", "Flux [PU]"}, {"degC", "PU"}, 63 / 1.969, {33.0}},
};

INSTANTIATE_TEST_SUITE_P(Headers, DelimitedLayoutTest, ::testing::ValuesIn(kLayouts),
                         [](const ::testing::TestParamInfo<LayoutCase>& info) { return info.param.name; });

// "36,6" is one number with a decimal comma, not two columns; without a time column the rate is given.
TEST(DelimitedImport, OneColumnWithADecimalCommaNeedsAGivenRate) {
  const std::string text = "36,6\n36,7\n36,8\n36,9\n";
  DelimitedReadResult none = ReadDelimitedText(text, {});
  ASSERT_FALSE(none.ok());
  EXPECT_EQ(none.error->kind, RecordFileErrorKind::kNoSampleRate);
  DelimitedReadOptions options;
  options.sampleRateHz = 2.0;
  const DelimitedReadResult r = ReadDelimitedText(text, options);
  ASSERT_TRUE(r.ok());
  EXPECT_EQ(r.layout.decimalMark, ',');
  EXPECT_EQ(r.layout.columnCount, 1);
  EXPECT_EQ(r.channels[0].values, (std::vector<double>{36.6, 36.7, 36.8, 36.9}));
}

struct FaultCase {
  const char* name;
  std::string text;
  RecordFileErrorKind kind;
  long long line;
  int column;
  std::string cell;
};

void PrintTo(const FaultCase& c, std::ostream* os) { *os << c.name; }

class DelimitedFaultTest : public ::testing::TestWithParam<FaultCase> {};

TEST_P(DelimitedFaultTest, NamesTheLineAndColumn) {
  const FaultCase& c = GetParam();
  const DelimitedReadResult r = ReadDelimitedText(c.text, {}, "rec.csv");
  ASSERT_FALSE(r.ok());
  EXPECT_TRUE(r.channels.empty());
  EXPECT_EQ(r.error->kind, c.kind);
  EXPECT_EQ(r.error->path, "rec.csv");
  EXPECT_EQ(r.error->line, c.line);
  EXPECT_EQ(r.error->column, c.column);
  EXPECT_EQ(r.error->text, c.cell);
}

const std::string kHead = "t_s,T,BF\n0,33.1,10\n0.5,33.2,11\n1,33.3,12\n1.5,33.4,13\n";
const std::vector<FaultCase> kFaults = {
    {"RaggedRow", kHead + "2,33.5\n2.5,33.6,15\n", RecordFileErrorKind::kRaggedRow, 6, 0, ""},
    {"NonNumericCell", kHead + "2,33.5,14\n2.5,3x.6,15\n", RecordFileErrorKind::kBadNumber, 7, 2, "3x.6"},
    {"NonNumericTime", kHead + "2:00,33.5,14\n", RecordFileErrorKind::kBadNumber, 6, 1, "2:00"},
    {"GapInAColumn", kHead + "2,,14\n2.5,33.6,15\n", RecordFileErrorKind::kMissingValue, 6, 2, ""},
    {"TimeJumps", kHead + "2,33.5,14\n3,33.6,15\n3.5,33.7,16\n", RecordFileErrorKind::kTimeNotUniform, 7, 1, ""},
    {"TimeRepeats", kHead + "1.5,33.5,14\n2,33.6,15\n", RecordFileErrorKind::kTimeNotUniform, 6, 1, ""},
};

INSTANTIATE_TEST_SUITE_P(BadInput, DelimitedFaultTest, ::testing::ValuesIn(kFaults),
                         [](const ::testing::TestParamInfo<FaultCase>& info) { return info.param.name; });

TEST(DelimitedImport, NonUniformTimeSaysWhereAndByHowMuch) {
  // Steps of 0.5 s, then one of 1 s at t = 3 s: the gap is named, against the usual step.
  const DelimitedReadResult r = ReadDelimitedText(kHead + "2,33.5,14\n3,33.6,15\n3.5,33.7,16\n", {});
  ASSERT_FALSE(r.ok());
  EXPECT_DOUBLE_EQ(r.error->timeS, 3.0);
  EXPECT_DOUBLE_EQ(r.error->stepS, 1.0);
  EXPECT_DOUBLE_EQ(r.error->expectedStepS, 0.5);
}

TEST(DelimitedImport, ColumnsAreChosenByNameNumberOrNameWithoutUnit) {
  const std::string text = "time (s);T (degC);BF (PU);marker\n0;33;10;start\n1;34;11;\n2;35;12;cuff\n";
  DelimitedReadOptions options;
  options.columns = {ChannelRef::Parse("BF"), ChannelRef::Parse("2"), ChannelRef::Parse("t (DEGC)")};
  const DelimitedReadResult r = ReadDelimitedText(text, options);
  ASSERT_TRUE(r.ok());
  EXPECT_EQ(r.columnNumbers, (std::vector<int>{3, 2, 2}));
  EXPECT_EQ(r.channels[0].values, (std::vector<double>{10, 11, 12}));
  EXPECT_DOUBLE_EQ(r.sampleRateHz, 1.0);
  options.columns = {ChannelRef::Parse("PPG")};
  const DelimitedReadResult missing = ReadDelimitedText(text, options);
  ASSERT_FALSE(missing.ok());
  EXPECT_EQ(missing.error->kind, RecordFileErrorKind::kNoSuchColumn);
  EXPECT_EQ(missing.error->text, "PPG");
  // The text column is not read unless asked for; asked for, its cell is named.
  options.columns = {ChannelRef{4, {}}};
  const DelimitedReadResult text4 = ReadDelimitedText(text, options);
  ASSERT_FALSE(text4.ok());
  EXPECT_EQ(text4.error->kind, RecordFileErrorKind::kBadNumber);
  EXPECT_EQ(text4.error->line, 2);
  EXPECT_EQ(text4.error->column, 4);
}

TEST(DelimitedImport, OverridesWinOverDetection) {
  // Two numeric title lines would be taken for data; skipping them and fixing the separator reads the rest.
  const std::string text = "1560279825\n4\n0|33,5\n1|33,75\n2|34\n";
  DelimitedReadOptions options;
  options.layout.headerLines = 2;
  options.layout.separator = '|';
  options.layout.decimalMark = ',';
  const DelimitedReadResult r = ReadDelimitedText(text, options);
  ASSERT_TRUE(r.ok()) << static_cast<int>(r.error->kind);
  EXPECT_EQ(r.layout.timeColumn, 1);
  EXPECT_EQ(r.channels[0].values, (std::vector<double>{33.5, 33.75, 34}));
}

// Block means against a direct evaluation of the definition, for several ratios and lengths.
TEST(BlockResample, EachOutputIsTheMeanOfTheInputsItCovers) {
  for (const int ratio : {1, 2, 16, 20, 50}) {
    for (const int count : {ratio - 1, ratio, 5 * ratio + ratio / 2, 37 * ratio}) {
      if (count <= 0) continue;
      std::vector<double> in(static_cast<std::size_t>(count));
      for (int i = 0; i < count; ++i) in[i] = 30 + std::sin(i * 0.37) * 3 + 1e-3 * i;
      const BlockResampleResult r = ResampleByBlockMeans(in, 2.0 * ratio, 2);
      ASSERT_TRUE(r.ok());
      ASSERT_EQ(r.values.size(), static_cast<std::size_t>(count / ratio)) << ratio << " " << count;
      for (std::size_t b = 0; b < r.values.size(); ++b) {
        double sum = 0;
        for (int k = 0; k < ratio; ++k) sum += in[b * ratio + k];
        EXPECT_NEAR(r.values[b], sum / ratio, 1e-14 * 33);
      }
    }
  }
}

TEST(BlockResample, ANonWholeRatioCarriesBothRates) {
  const BlockResampleResult r = ResampleByBlockMeans(std::vector<double>(100, 1.0), 32.0, 3);
  ASSERT_FALSE(r.ok());
  EXPECT_EQ(r.error->kind, RecordFileErrorKind::kRatioNotWhole);
  EXPECT_EQ(r.error->fromRateHz, 32.0);
  EXPECT_EQ(r.error->toRateHz, 3.0);
  // A rate measured from rounded times is still whole; a ratio off by 0.1 % is not.
  EXPECT_EQ(WholeRatio(32.0005, 2), 16);
  EXPECT_FALSE(WholeRatio(32.032, 2));
}

// The limit applies after resampling: 30 minutes at 32 Hz (57,600 samples) become 3,600 at 2 Hz, and 3 hours
// become the first 20,000 with the cut reported.
TEST(RecordImport, TheSampleLimitAppliesToTheResampledRecord) {
  ImportedChannel channel;
  channel.sampleRateHz = 32;
  channel.values.assign(30 * 60 * 32, 300.0);  // a temperature in kelvin
  RecordImportResult r = MakeImportedRecord(channel, {2, true});
  ASSERT_TRUE(r.ok());
  EXPECT_EQ(r.record.count(), 3600);
  EXPECT_EQ(r.ratio, 16);
  EXPECT_FALSE(r.truncated);
  EXPECT_TRUE(r.kelvin);
  EXPECT_NEAR(r.record.values[0], 300.0 - 273.15, 1e-12);
  channel.values.assign(3 * 3600 * 32, 1.0);
  r = MakeImportedRecord(channel, {2, false});
  ASSERT_TRUE(r.ok());
  EXPECT_EQ(r.record.count(), kMaxRecordSamples);
  EXPECT_TRUE(r.truncated);
  // Without resampling the rate must be whole.
  channel.sampleRateHz = 31.5;
  r = MakeImportedRecord(channel, {});
  ASSERT_FALSE(r.ok());
  EXPECT_EQ(r.error->kind, RecordFileErrorKind::kRateNotWhole);
}

TEST(CsvWriter, RoundTripsColumnsOfUnequalLengthWithCommentsAndQuotedNames) {
  TempDir dir;
  CsvWriteRequest request;
  request.comments = {{"method", "Fourier filtration"}, {"band_hz", "0 .. 0.1\nsecond line"}};
  request.sampleRateHz = 4;
  request.columns = {{"BF*", {1.0 / 3, 2.5, -1e-7, 4}}, {"T, measured", {36.6, 36.7}}};
  const std::string path = dir.file("out.csv");
  ASSERT_FALSE(WriteCsvFile(path, request));
  const std::string text = TempDir::read(path);
  EXPECT_EQ(text.rfind("# method: Fourier filtration\n# band_hz: 0 .. 0.1 second line\nt_s,BF*,\"T, measured\"\n0,", 0),
            0u)
      << text;
  const DelimitedReadResult back = ReadDelimitedFile(path, {});
  ASSERT_TRUE(back.ok());
  EXPECT_EQ(back.layout.timeColumn, 1);
  EXPECT_DOUBLE_EQ(back.sampleRateHz, 4.0);
  ASSERT_EQ(back.channels.size(), 2u);
  EXPECT_EQ(back.channels[0].values, request.columns[0].values);
  EXPECT_EQ(back.channels[1].values, request.columns[1].values);
  EXPECT_EQ(back.channels[1].name, "T, measured");
}

TEST(CsvWriter, AFailedWriteLeavesTheExistingFileIntactAndNoTemporaryFile) {
  TempDir dir;
  const std::string path = dir.write("keep.csv", "old\n");
  CsvWriteRequest request;
  request.columns = {{"x", {1.0, std::nan(""), 3.0}}};
  const std::optional<RecordFileError> refused = WriteCsvFile(path, request);
  ASSERT_TRUE(refused);
  EXPECT_EQ(refused->kind, RecordFileErrorKind::kNonFiniteValue);
  EXPECT_EQ(refused->count, 1);
  request.columns = {{"x", {1.0}}};
  const std::optional<RecordFileError> missing = WriteCsvFile(dir.file("none/out.csv"), request);
  ASSERT_TRUE(missing);
  EXPECT_EQ(missing->kind, RecordFileErrorKind::kCannotWrite);
  EXPECT_FALSE(missing->reason.empty());
  EXPECT_EQ(TempDir::read(path), "old\n");
  int files = 0;
  for (const auto& entry : std::filesystem::directory_iterator(dir.file(""))) files += entry.is_regular_file();
  EXPECT_EQ(files, 1);
}

}  // namespace
}  // namespace kelvora
