#include "formats/ppg_file.h"

#include <gtest/gtest.h>

#include <cstring>
#include <random>

#include "bench/old/signals/ppg_file.h"
#include "tests/signals/temp_dir.h"

#include <string>

namespace kelvora {
namespace {

TEST(PpgFile, HeaderIsDiscardedBlankLinesTakeNoIndexAndScaledCopyRunsZeroToTen) {
  const PpgReadResult r = ParsePpgText("PPG 50 Hz\n1\n\n3.5\r\n  \n2,25\n-1\n", 50.0, '.');
  ASSERT_TRUE(r.ok()) << r.message;
  EXPECT_EQ(r.status, PpgReadStatus::kOk);
  EXPECT_TRUE(r.message.empty());
  ASSERT_EQ(r.signal.count(), 4);
  EXPECT_EQ(r.signal.values[0], 1.0);
  EXPECT_EQ(r.signal.values[1], 3.5);
  EXPECT_EQ(r.signal.values[2], 2.25);  // "," read as the decimal mark
  EXPECT_EQ(r.signal.values[3], -1.0);
  EXPECT_EQ(r.signal.minimum, -1.0);
  EXPECT_EQ(r.signal.maximum, 3.5);
  // (v + 1) / 4.5 * 10
  ASSERT_EQ(r.signal.scaled.size(), 4u);
  EXPECT_NEAR(r.signal.scaled[0], 2.0 / 4.5 * 10, 1e-12);
  EXPECT_NEAR(r.signal.scaled[1], 10.0, 1e-12);
  EXPECT_NEAR(r.signal.scaled[2], 3.25 / 4.5 * 10, 1e-12);
  EXPECT_NEAR(r.signal.scaled[3], 0.0, 1e-12);
  EXPECT_EQ(r.signal.durationS, 0);  // round(3 / 50)
}

TEST(PpgFile, HeaderOnlyAndEmptyTextGiveNoSamples) {
  for (const char* text : {"PPG\n", "PPG", "", "PPG\n\n\n"}) {
    const PpgReadResult r = ParsePpgText(text);
    ASSERT_TRUE(r.ok()) << text;
    EXPECT_TRUE(r.signal.empty());
    EXPECT_EQ(r.signal.lastIndex(), -1);
    EXPECT_FALSE(r.signal.scalable());
    EXPECT_EQ(r.signal.durationS, 0);
  }
}

TEST(PpgFile, DurationIsRoundedLastIndexOverInputRate) {
  PpgSignal s;
  s.inRateHz = 50.0;
  s.values.assign(72350, 0.0);
  s.values[7] = 1.0;
  FinishPpgSignal(s);
  EXPECT_EQ(s.durationS, 1447);  // 72349 / 50 = 1446.98
  s.inRateHz = 125.0;
  s.values.assign(60001, 1.0);
  s.values[0] = 0.0;
  FinishPpgSignal(s);
  EXPECT_EQ(s.durationS, 480);
}

TEST(PpgFile, BadNumbersFailWithTheirLineAndReturnNoSignal) {
  struct Case {
    const char* text;
    int line;
  };
  for (const Case& c :
       {Case{"PPG\n1\nabc\n2\n", 3}, Case{"PPG\n1\n\n1.5\t2\n", 4}, Case{"PPG\n1\n2\nnan\n", 4}, Case{"PPG\ninf\n", 2},
        Case{"PPG\n1e999\n", 2}, Case{"PPG\n1.2.3\n", 2}, Case{"PPG\n--1\n", 2}}) {
    const PpgReadResult r = ParsePpgText(c.text);
    EXPECT_FALSE(r.ok()) << c.text;
    EXPECT_EQ(r.status, PpgReadStatus::kBadNumber) << c.text;
    EXPECT_EQ(r.line, c.line) << c.text;
    EXPECT_FALSE(r.text.empty());
    EXPECT_NE(r.message.find("Line " + std::to_string(c.line)), std::string::npos) << r.message;
    EXPECT_TRUE(r.signal.empty());
  }
}

TEST(PpgFile, CommaLocaleReadsOnlyCommas) {
  const PpgReadResult comma = ParsePpgText("PPG\n1,5\n2\n", 50.0, ',');
  ASSERT_TRUE(comma.ok());
  EXPECT_EQ(comma.signal.values[0], 1.5);
  EXPECT_EQ(ParsePpgText("PPG\n1.5\n", 50.0, ',').status, PpgReadStatus::kBadNumber);
  EXPECT_EQ(ParsePpgText("PPG\n+1.5\n", 50.0, '.').signal.values.at(0), 1.5);
}

TEST(PpgFile, ConstantSignalReadsButCannotBeScaled) {
  const PpgReadResult r = ParsePpgText("PPG\n2\n2\n2\n");
  ASSERT_TRUE(r.ok());
  EXPECT_EQ(r.signal.count(), 3);
  EXPECT_FALSE(r.signal.scalable());
  EXPECT_NE(r.message.find("cannot be scaled"), std::string::npos);
}

std::string Lines(int count) {
  std::string text = "PPG\n";
  text.reserve(4 + 2 * static_cast<std::size_t>(count));
  for (int i = 0; i < count; ++i) text += (i % 2 ? "1\n" : "0\n");
  return text;
}

TEST(PpgFile, TwoMillionSamplesLoadFullyOneMoreIsBigFileKeepingTheLimit) {
  const PpgReadResult full = ParsePpgText(Lines(kMaxPpgSamples));
  EXPECT_EQ(full.status, PpgReadStatus::kOk);
  EXPECT_TRUE(full.message.empty());
  EXPECT_EQ(full.signal.count(), kMaxPpgSamples);

  const PpgReadResult big = ParsePpgText(Lines(kMaxPpgSamples + 1) + "\n");
  EXPECT_TRUE(big.ok());
  EXPECT_EQ(big.status, PpgReadStatus::kBigFile);
  EXPECT_EQ(big.message, "Big file");
  EXPECT_EQ(big.signal.count(), kMaxPpgSamples);
  EXPECT_EQ(big.signal.values.back(), 1.0);
  EXPECT_EQ(big.signal.scaled.size(), static_cast<std::size_t>(kMaxPpgSamples));
  EXPECT_EQ(big.signal.durationS, 40000);  // round(1999999 / 50)

  // Blank lines after the last sample are no extra samples.
  EXPECT_EQ(ParsePpgText(Lines(kMaxPpgSamples) + "\n\n").status, PpgReadStatus::kOk);
}

TEST(PpgFile, MissingFileAndFolderAreRefused) {
  const PpgReadResult missing = ReadPpgFile("/nonexistent/dir/ppg.txt");
  EXPECT_FALSE(missing.ok());
  EXPECT_EQ(missing.status, PpgReadStatus::kMissingFile);
  EXPECT_EQ(missing.message, "File /nonexistent/dir/ppg.txt does not exist");
  const PpgReadResult folder = ReadPpgFile(KELVORA_SOURCE_DIR);
  EXPECT_FALSE(folder.ok());
  EXPECT_EQ(folder.status, PpgReadStatus::kCannotOpen);
}

// The block reader gives what the whole-file reader before it gave: every sample bit for bit, the same status,
// message, line and text, on files of several 1 MiB blocks whose line ends (LF, CR LF, lone CR) fall on the
// block edges, with random decimals of every length (the short-decimal path and the from_chars path), a bad
// number late in the file, a line of more than 1 MiB and one sample too many.
TEST(PpgFile, BlockReaderAgreesWithTheWholeFileReader) {
  testing::TempDir dir;
  std::mt19937 random(2024);
  auto decimals = [&](int count, const char* end) {
    std::string text = "PPG header\n";
    std::uniform_int_distribution<int> digits(0, 9), length(1, 19), point(0, 6);
    for (int i = 0; i < count; ++i) {
      if (i % 97 == 0) text += "-";
      const int n = length(random);
      const int at = point(random);
      for (int d = 0; d < n; ++d) {
        if (d == at && d > 0) text += '.';
        text += static_cast<char>('0' + digits(random));
      }
      text += end;
    }
    return text;
  };
  std::vector<std::string> files = {decimals(150000, "\n"), decimals(150000, "\r\n"), decimals(150000, "\r"),
                                    decimals(2000, "\n") + "  +1.5 \n\n 2,25\n"};
  files.push_back(files[0] + "12x\n3\n");
  files.push_back(decimals(10, "\n") + std::string((1 << 20) + 5000, '7'));
  // CR LF split by the edge of the first block, then the rest.
  std::string split = "h\n";
  while (split.size() < (1 << 20) - 1) split += "1.5\n";
  split.resize((1 << 20) - 1);
  split += "\r\n2\r\n3";
  files.push_back(split);
  std::string big = "h\n";
  for (int i = 0; i <= kMaxPpgSamples; ++i) big += "1\n";
  files.push_back(big);

  for (std::size_t f = 0; f < files.size(); ++f) {
    SCOPED_TRACE(f);
    const std::string path = dir.write("ppg" + std::to_string(f) + ".txt", files[f]);
    for (char separator : {'.', ','}) {
      const PpgReadResult got = ReadPpgFile(path, 50.0, separator);
      const old::PpgReadResult want = old::ReadPpgFile(path, 50.0, separator);
      ASSERT_EQ(static_cast<int>(got.status), static_cast<int>(want.status)) << want.message;
      EXPECT_EQ(got.message, want.message);
      EXPECT_EQ(got.line, want.line);
      EXPECT_EQ(got.text, want.text);
      ASSERT_EQ(got.signal.values.size(), want.signal.values.size());
      if (!want.signal.values.empty()) {
        EXPECT_EQ(std::memcmp(got.signal.values.data(), want.signal.values.data(),
                              got.signal.values.size() * sizeof(double)),
                  0);
      }
      EXPECT_EQ(got.signal.scaled, want.signal.scaled);
      EXPECT_EQ(got.signal.minimum, want.signal.minimum);
      EXPECT_EQ(got.signal.maximum, want.signal.maximum);
      EXPECT_EQ(got.signal.durationS, want.signal.durationS);
      const PpgReadResult parsed = ParsePpgText(files[f], 50.0, separator);
      EXPECT_EQ(static_cast<int>(parsed.status), static_cast<int>(want.status));
      EXPECT_EQ(parsed.signal.values.size(), want.signal.values.size());
    }
  }
}

}  // namespace
}  // namespace kelvora
