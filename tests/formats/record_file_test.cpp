// ReadRecordFile, the one way in: every format gives a record that carries its rate, and the rate checks that
// the command line and the window share (a given rate against the file's time column or EDF channel, a time
// column that is not uniform, a file without a time column at the given rate).
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "formats/edf_writer.h"
#include "formats/record_file.h"
#include "tests/signals/temp_dir.h"

namespace kelvora {
namespace {

using kelvora::testing::TempDir;

struct Case {
  const char* name;
  const char* file;
  std::string text;          // the file; empty for the EDF file written by the test
  std::optional<int> given;  // the rate given
  std::vector<double> values;
  int rateHz;
  FileFormat format;
};

void PrintTo(const Case& c, std::ostream* os) { *os << c.name; }

class RecordFileTest : public ::testing::TestWithParam<Case> {};

TEST_P(RecordFileTest, TheRecordCarriesTheRateItWasReadAt) {
  const Case& c = GetParam();
  TempDir dir;
  std::string path = dir.file(c.file);
  if (c.text.empty()) {
    EdfWriteRequest request;
    request.channels.push_back({"BF", "PU", 4, {1.5, 2.5, 3.5, 4.5}});
    ASSERT_FALSE(WriteEdfFile(path, request));
  } else {
    dir.write(c.file, c.text);
  }
  RecordReadOptions options;
  options.givenRateHz = c.given;
  options.defaultRateHz = 3;
  const RecordFileResult r = ReadRecordFile(path, options);
  ASSERT_TRUE(r.ok()) << static_cast<int>(r.error->kind);
  EXPECT_EQ(r.format, c.format);
  ASSERT_EQ(r.record.values.size(), c.values.size());
  for (std::size_t i = 0; i < c.values.size(); ++i) EXPECT_NEAR(r.record.values[i], c.values[i], 1e-3);  // EDF's steps
  EXPECT_EQ(r.sampleRateHz, c.rateHz);
  EXPECT_EQ(r.record.sampleRateHz, c.rateHz);
}

const std::vector<Case> kCases = {
    {"SignalTextAtTheDefaultRate", "a.txt", "1\n2\n", std::nullopt, {1, 2}, 3, FileFormat::kSignalText},
    {"SignalTextAtTheGivenRate", "a.txt", "1\n2\n", 5, {1, 2}, 5, FileFormat::kSignalText},
    {"CsvAtItsTimeColumnsRate", "a.csv", "t,T\n0,1\n0.25,2\n0.5,3\n", std::nullopt, {1, 2, 3}, 4,
     FileFormat::kDelimited},
    {"CsvWithAnAgreeingGivenRate", "a.csv", "t,T\n0,1\n0.25,2\n0.5,3\n", 4, {1, 2, 3}, 4, FileFormat::kDelimited},
    {"CsvWithoutTimeColumnAtTheGivenRate", "a.csv", "BF\n1\n2\n", 7, {1, 2}, 7, FileFormat::kDelimited},
    {"CsvWithoutTimeColumnAtTheDefaultRate", "a.csv", "BF\n1\n2\n", std::nullopt, {1, 2}, 3, FileFormat::kDelimited},
    // A headerless TAB file whose first column is a time ramp: its signal is the second column.
    {"HeaderlessTabFileWithATimeColumnGivesItsSignalColumn", "a.txt", "0\t33\n0.5\t34\n1\t35\n1.5\t36\n",
     std::nullopt, {33, 34, 35, 36}, 2, FileFormat::kDelimited},
    {"EdfAtItsChannelsRate", "a.edf", "", std::nullopt, {1.5, 2.5, 3.5, 4.5}, 4, FileFormat::kEdf},
};

INSTANTIATE_TEST_SUITE_P(Formats, RecordFileTest, ::testing::ValuesIn(kCases),
                         [](const ::testing::TestParamInfo<Case>& info) { return info.param.name; });

// The given rate used to replace the time column's unread: a gap in the times, or times at another rate, were
// accepted.
TEST(RecordFile, AGivenRateDoesNotHideATimeColumnThatDisagreesOrHasAGap) {
  TempDir dir;
  RecordReadOptions options;
  options.givenRateHz = 1;
  const std::string other = dir.write("other.csv", "t,T\n0,1\n0.5,2\n1,3\n");
  const RecordFileResult disagrees = ReadRecordFile(other, options);
  ASSERT_FALSE(disagrees.ok());
  EXPECT_EQ(disagrees.error->kind, RecordFileErrorKind::kRateDisagrees);
  EXPECT_EQ(disagrees.error->path, other);
  EXPECT_EQ(disagrees.error->line, 3);  // the second time value ends the first step
  EXPECT_EQ(disagrees.error->column, 1);
  EXPECT_EQ(disagrees.error->fromRateHz, 2.0);
  EXPECT_EQ(disagrees.error->toRateHz, 1.0);
  EXPECT_TRUE(disagrees.record.values.empty());

  const std::string gap = dir.write("gap.csv", "t,T\n0,1\n1,2\n2,3\n5,4\n");
  const RecordFileResult uneven = ReadRecordFile(gap, options);
  ASSERT_FALSE(uneven.ok());
  EXPECT_EQ(uneven.error->kind, RecordFileErrorKind::kTimeNotUniform);
  EXPECT_EQ(uneven.error->line, 5);
  EXPECT_EQ(uneven.error->stepS, 3.0);
  EXPECT_EQ(uneven.error->expectedStepS, 1.0);
}

TEST(RecordFile, AGivenRateOtherThanAnEdfChannelsIsRefusedWithBoth) {
  TempDir dir;
  const std::string path = dir.file("two.edf");
  EdfWriteRequest request;
  request.channels.push_back({"T", "degC", 4, {30, 31, 32, 33}});
  request.channels.push_back({"BF", "PU", 2, {5, 6}});
  ASSERT_FALSE(WriteEdfFile(path, request));
  RecordReadOptions options;
  const RecordFileResult choose = ReadRecordFile(path, options);
  ASSERT_FALSE(choose.ok());
  EXPECT_EQ(choose.error->kind, RecordFileErrorKind::kChannelNeeded);
  EXPECT_EQ(choose.error->count, 2);
  ASSERT_EQ(choose.channels.size(), 2u);
  EXPECT_EQ(choose.channels[1].name, "BF");

  options.channel = ChannelRef{0, "T"};
  options.givenRateHz = 2;
  const RecordFileResult r = ReadRecordFile(path, options);
  ASSERT_FALSE(r.ok());
  EXPECT_EQ(r.error->kind, RecordFileErrorKind::kRateDisagrees);
  EXPECT_EQ(r.error->line, 0);
  EXPECT_EQ(r.error->column, 1);
  EXPECT_EQ(r.error->fromRateHz, 4.0);
  EXPECT_EQ(r.error->toRateHz, 2.0);
  options.channel = ChannelRef{2, {}};
  const RecordFileResult bf = ReadRecordFile(path, options);
  ASSERT_TRUE(bf.ok());
  ASSERT_EQ(bf.record.values.size(), 2u);
  EXPECT_NEAR(bf.record.values[1], 6.0, 1e-3);
  EXPECT_EQ(bf.name, "BF");
  EXPECT_EQ(bf.channelNumber, 2);
}

}  // namespace
}  // namespace kelvora
