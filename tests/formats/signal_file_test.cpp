#include "formats/signal_file.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "tests/signals/temp_dir.h"

namespace kelvora {
namespace {

using testing::TempDir;

const DecimalFormat kDot = DecimalFormat::ForSeparator('.');
const DecimalFormat kComma = DecimalFormat::ForSeparator(',');

std::string Lines(int count, const std::string& line) {
  std::string s;
  for (int i = 0; i < count; ++i) s += line + "\n";
  return s;
}

TEST(ReadSignalFile, TwentyThousandLinesLoadFullyWithoutMessage) {
  TempDir dir;
  const SignalReadResult r = ReadSignalFile(dir.write("a.txt", Lines(20000, "1.5")), false, kDot);
  ASSERT_TRUE(r.ok());
  EXPECT_EQ(r.record.lastIndex, 19999);
  EXPECT_EQ(r.record.count(), 20000);
  EXPECT_FALSE(r.truncated);
  EXPECT_TRUE(r.warning.empty());
  // Blank lines after the data do not count as samples.
  const SignalReadResult trailing = ReadSignalFile(dir.write("b.txt", Lines(20000, "1.5") + "\n\n \n"), false, kDot);
  ASSERT_TRUE(trailing.ok());
  EXPECT_EQ(trailing.record.count(), 20000);
  EXPECT_TRUE(trailing.warning.empty());
}

TEST(ReadSignalFile, MoreThanTwentyThousandKeepsTheFirstWithTheLayoutsMessage) {
  TempDir dir;
  const SignalReadResult single = ReadSignalFile(dir.write("a.txt", Lines(20000, "1") + "2\n"), false, kDot);
  ASSERT_TRUE(single.ok());
  EXPECT_TRUE(single.truncated);
  EXPECT_EQ(single.warning, "Big file - points > 20000 ");
  EXPECT_EQ(single.record.lastIndex, 19999);
  EXPECT_EQ(single.record.maximum, 1.0);  // the 20,001st sample is not kept

  const SignalReadResult tab = ReadSignalFile(dir.write("b.txt", Lines(20005, "1\t0")), false, kDot);
  ASSERT_TRUE(tab.ok());
  EXPECT_EQ(tab.warning, "Big file - points > 20000");
  EXPECT_EQ(tab.record.count(), 20000);

  // Data after blank lines beyond the limit still counts; lines past the limit are never parsed.
  const SignalReadResult gap = ReadSignalFile(dir.write("c.txt", Lines(20000, "1") + "\n\nabc\n"), false, kDot);
  ASSERT_TRUE(gap.ok());
  EXPECT_TRUE(gap.truncated);
  EXPECT_EQ(gap.record.count(), 20000);
}

TEST(ReadSignalFile, KelvinCheckOnTheFirstValueOfTemperatureFilesOnly) {
  TempDir dir;
  const std::string kelvin = dir.write("k.txt", "300\n310.15\n");
  const SignalReadResult t = ReadSignalFile(kelvin, true, kDot);
  ASSERT_TRUE(t.ok());
  EXPECT_TRUE(t.kelvin);
  EXPECT_NEAR(t.record.values[0], 26.85, 1e-12);
  EXPECT_NEAR(t.record.values[1], 37.0, 1e-12);

  const SignalReadResult bf = ReadSignalFile(kelvin, false, kDot);
  ASSERT_TRUE(bf.ok());
  EXPECT_FALSE(bf.kelvin);
  EXPECT_EQ(bf.record.values[0], 300.0);

  const SignalReadResult edge = ReadSignalFile(dir.write("e.txt", "250\n300\n"), true, kDot);
  ASSERT_TRUE(edge.ok());
  EXPECT_FALSE(edge.kelvin);
  EXPECT_EQ(edge.record.values[1], 300.0);
}

TEST(ReadSignalFile, TabLayoutUsesTheFirstColumnAndIsDecidedByTheFirstLine) {
  TempDir dir;
  const SignalReadResult tab = ReadSignalFile(dir.write("t.txt", "36.6\t0\n36.7\t0.5\n36.8\n"), true, kDot);
  ASSERT_TRUE(tab.ok());
  EXPECT_TRUE(tab.tabLayout);
  EXPECT_EQ(tab.record.values[0], 36.6);
  EXPECT_EQ(tab.record.values[1], 36.7);
  EXPECT_EQ(tab.record.values[2], 36.8);

  const SignalReadResult whole = ReadSignalFile(dir.write("w.txt", "36.6\n36.7\t0.5\n"), true, kDot);
  ASSERT_FALSE(whole.ok());
  EXPECT_EQ(whole.error->line, 2);
  EXPECT_EQ(whole.error->text, "36.7\t0.5");
}

TEST(ReadSignalFile, DecimalMarksUnderBothSeparatorSettings) {
  TempDir dir;
  const std::string mixed = dir.write("m.txt", "36,6\n36.6\n");
  const SignalReadResult dot = ReadSignalFile(mixed, false, kDot);
  ASSERT_TRUE(dot.ok());
  EXPECT_EQ(dot.record.values[0], 36.6);
  EXPECT_EQ(dot.record.values[1], 36.6);

  const SignalReadResult comma = ReadSignalFile(mixed, false, kComma);
  ASSERT_FALSE(comma.ok());
  EXPECT_EQ(comma.error->kind, SignalFileErrorKind::kInvalidNumber);
  EXPECT_EQ(comma.error->line, 2);
  EXPECT_EQ(comma.error->text, "36.6");
  const SignalReadResult commaOnly = ReadSignalFile(dir.write("c.txt", "36,6\n-1,25\n"), false, kComma);
  ASSERT_TRUE(commaOnly.ok());
  EXPECT_EQ(commaOnly.record.values[1], -1.25);
}

TEST(ReadSignalFile, BlankLinesKeepTheirIndexAndTakeThePreviousValue) {
  TempDir dir;
  const SignalReadResult r = ReadSignalFile(dir.write("b.txt", "\n5\n\n7\r\n\n8\n\n\n"), false, kDot);
  ASSERT_TRUE(r.ok());
  ASSERT_EQ(r.record.count(), 6);
  EXPECT_EQ(r.record.values, (std::vector<double>{5, 5, 5, 7, 7, 8}));
  EXPECT_EQ(r.record.minimum, 5.0);
  EXPECT_EQ(r.record.maximum, 8.0);
}

TEST(ReadSignalFile, BadLineFailsWithFileLineAndTextAndKeepsNothing) {
  TempDir dir;
  SignalRecord destination;
  destination.values = {1, 2};
  destination.lastIndex = 1;
  const std::string path = dir.write("bad.txt", "1\n2\nabc\n4\n");
  const SignalReadResult r = ReadSignalFile(path, false, kDot);
  ASSERT_FALSE(r.ok());
  EXPECT_EQ(r.error->path, path);
  EXPECT_EQ(r.error->line, 3);
  EXPECT_EQ(r.error->text, "abc");
  EXPECT_EQ(r.error->message, "is not a valid number");
  EXPECT_TRUE(r.record.empty());
  if (r.ok()) destination = r.record;
  EXPECT_EQ(destination.lastIndex, 1);
}

TEST(ReadSignalFile, EmptyAndMissingFiles) {
  TempDir dir;
  const std::string empty = dir.write("empty.txt", "");
  const SignalReadResult bf = ReadSignalFile(empty, false, kDot);
  ASSERT_TRUE(bf.ok());
  EXPECT_TRUE(bf.record.empty());
  EXPECT_TRUE(bf.record.normalized.empty());
  const SignalReadResult t = ReadSignalFile(empty, true, kDot);
  ASSERT_FALSE(t.ok());
  EXPECT_EQ(t.error->kind, SignalFileErrorKind::kInvalidNumber);
  EXPECT_EQ(t.error->line, 1);

  const SignalReadResult missing = ReadSignalFile(dir.file("none.txt"), false, kDot);
  ASSERT_FALSE(missing.ok());
  EXPECT_EQ(missing.error->kind, SignalFileErrorKind::kMissingFile);
  EXPECT_EQ(missing.error->message, "File does not exist");
  const SignalReadResult folder = ReadSignalFile(dir.file(""), false, kDot);
  ASSERT_FALSE(folder.ok());
  EXPECT_EQ(folder.error->kind, SignalFileErrorKind::kCannotOpen);
}

TEST(NormalizeRecord, TrueExtremesAndZerosForAConstantRecord) {
  SignalRecord r;
  r.values = {150000, 200000, 175000};
  r.lastIndex = 2;
  NormalizeRecord(r);
  EXPECT_EQ(r.minimum, 150000.0);
  EXPECT_EQ(r.maximum, 200000.0);
  EXPECT_EQ(r.normalized, (std::vector<double>{0, 1, 0.5}));

  SignalRecord low;
  low.values = {-200000, -150000};
  low.lastIndex = 1;
  NormalizeRecord(low);
  EXPECT_EQ(low.maximum, -150000.0);

  SignalRecord flat;
  flat.values = {3, 3, 3};
  flat.lastIndex = 2;
  NormalizeRecord(flat);
  EXPECT_EQ(flat.minimum, 3.0);
  EXPECT_EQ(flat.normalized, (std::vector<double>{0, 0, 0}));
}

TEST(FormatSignalValue, ThreeDecimalsHalfToEvenShortestForm) {
  EXPECT_EQ(FormatSignalValue(36.5, '.', ValuePrecision::kThreeDecimals), "36.5");
  EXPECT_EQ(FormatSignalValue(36.0, '.', ValuePrecision::kThreeDecimals), "36");
  EXPECT_EQ(FormatSignalValue(36.5, ',', ValuePrecision::kThreeDecimals), "36,5");
  EXPECT_EQ(FormatSignalValue(0.0625, '.', ValuePrecision::kThreeDecimals), "0.062");  // exact tie, down to even
  EXPECT_EQ(FormatSignalValue(0.1875, '.', ValuePrecision::kThreeDecimals), "0.188");  // exact tie, up to even
  EXPECT_EQ(FormatSignalValue(1.23456, '.', ValuePrecision::kThreeDecimals), "1.235");
  EXPECT_EQ(FormatSignalValue(-0.0004, '.', ValuePrecision::kThreeDecimals), "0");
  EXPECT_EQ(FormatSignalValue(-2.5, '.', ValuePrecision::kThreeDecimals), "-2.5");
  EXPECT_EQ(FormatSignalValue(0.1, '.', ValuePrecision::kFull), "0.1");
  EXPECT_EQ(FormatSignalValue(1.0 / 3.0, ',', ValuePrecision::kFull), "0,3333333333333333");
}

TEST(WriteSignalFile, RoundTripToThreeDecimals) {
  TempDir dir;
  const std::vector<double> values = {36.6, 36.5004, -1.2346, 0.0, 1e4 / 3, 99};
  const std::string path = dir.file("out.txt");
  ASSERT_FALSE(WriteSignalFile(values, 4, path, ',').has_value());
  EXPECT_EQ(TempDir::read(path), "36,6\n36,5\n-1,235\n0\n3333,333\n");
  const SignalReadResult back = ReadSignalFile(path, false, kComma);
  ASSERT_TRUE(back.ok());
  ASSERT_EQ(back.record.count(), 5);
  for (int i = 0; i < 5; ++i) EXPECT_NEAR(back.record.values[i], values[i], 0.0005 + 1e-12);
  EXPECT_FALSE(std::filesystem::exists(path + ".kelvora-tmp"));
}

TEST(WriteSignalFile, FailureLeavesTheExistingFileIntact) {
  TempDir dir;
  const std::string path = dir.write("keep.txt", "1\n2\n");
  const auto refused = WriteSignalFile({1.0, std::nan(""), 3.0}, 2, path, '.');
  ASSERT_TRUE(refused.has_value());
  EXPECT_EQ(refused->kind, SignalFileErrorKind::kInvalidValue);
  EXPECT_EQ(refused->line, 2);
  EXPECT_EQ(TempDir::read(path), "1\n2\n");

  const auto noFolder = WriteSignalFile({1.0}, 0, dir.file("missing/out.txt"), '.');
  ASSERT_TRUE(noFolder.has_value());
  EXPECT_EQ(noFolder->kind, SignalFileErrorKind::kCannotWrite);

  std::filesystem::create_directory(dir.file("folder"));
  const auto ontoFolder = WriteSignalFile({1.0}, 0, dir.file("folder"), '.');
  ASSERT_TRUE(ontoFolder.has_value());
  EXPECT_TRUE(std::filesystem::is_directory(dir.file("folder")));
  EXPECT_FALSE(std::filesystem::exists(dir.file("folder") + ".kelvora-tmp"));
}

TEST(ReadSignalFile, RealRecordings) {
  const std::filesystem::path data = KELVORA_SHARED_DATA_DIR;
  if (!std::filesystem::is_directory(data)) GTEST_SKIP() << "no shared data folder";
  const SignalReadResult t = ReadSignalFile((data / "skintemp_PREVAIL008_j1_1.txt").string(), true, kDot);
  ASSERT_TRUE(t.ok());
  EXPECT_EQ(t.record.count(), 1788);
  EXPECT_FALSE(t.kelvin);
  EXPECT_NEAR(t.record.minimum, 29.041, 1e-12);
  EXPECT_NEAR(t.record.maximum, 29.614, 1e-12);
  const SignalReadResult bf = ReadSignalFile((data / "ldf_PREVAIL008_j1_1.txt").string(), false, kDot);
  ASSERT_TRUE(bf.ok());
  EXPECT_NEAR(bf.record.maximum, 166.039, 1e-12);
}

}  // namespace
}  // namespace kelvora
