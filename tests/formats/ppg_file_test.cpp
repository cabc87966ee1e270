#include "formats/ppg_file.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <random>
#include <string>

#include "tests/signals/temp_dir.h"

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

// One value text by the rules, converted by strtod: at most 127 bytes; one leading '+' not followed by a sign;
// ',' is a decimal mark, and '.' too unless the locale's mark is ','; then [-]digits[.digits] (digits on at
// least one side of the mark) with an optional exponent; the value finite; "-0" is 0.
bool DirectPpgNumber(std::string text, char decimalSeparator, double& value) {
  if (text.size() >= 128) return false;
  if (!text.empty() && text[0] == '+') {
    text.erase(0, 1);
    if (!text.empty() && (text[0] == '+' || text[0] == '-')) return false;
  }
  for (char& c : text) {
    if (c == ',') {
      c = '.';
    } else if (c == '.' && decimalSeparator == ',') {
      return false;
    }
  }
  auto digit = [&](std::size_t i) { return i < text.size() && text[i] >= '0' && text[i] <= '9'; };
  std::size_t i = 0, mantissaDigits = 0;
  if (i < text.size() && text[i] == '-') ++i;
  for (; digit(i); ++i) ++mantissaDigits;
  if (i < text.size() && text[i] == '.')
    for (++i; digit(i); ++i) ++mantissaDigits;
  if (mantissaDigits == 0) return false;
  if (i < text.size() && (text[i] == 'e' || text[i] == 'E')) {
    ++i;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) ++i;
    if (!digit(i)) return false;
    while (digit(i)) ++i;
  }
  if (i != text.size()) return false;
  value = std::strtod(text.c_str(), nullptr);
  if (value == 0.0) value = 0.0;
  return std::isfinite(value);
}

// A plain reading of a PPG file, the oracle of the reader: the whole file in one string, cut into lines at LF,
// CR LF or a lone CR; the first line is the header; each line trimmed of spaces, TABs, FFs and VTs; a blank line
// takes no index; every other line is one number, the first bad one ends the read with its line and text and
// no signal; a line beyond kMaxPpgSamples samples ends it as a big file. Then the range, the scaled copy
// (v - min) / (max - min) * 10, and the duration round(lastIndex / rate).
PpgReadResult DirectPpgRead(const std::string& path, double inRateHz, char decimalSeparator) {
  std::ifstream in(path, std::ios::binary);
  const std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  PpgReadResult result;
  PpgSignal& signal = result.signal;
  signal.inRateHz = inRateHz;
  std::size_t pos = 0;
  int lineNumber = 0;
  while (pos < text.size()) {
    std::size_t end = pos;
    while (end < text.size() && text[end] != '\n' && text[end] != '\r') ++end;
    std::string line = text.substr(pos, end - pos);
    pos = end + 1;
    if (end < text.size() && text[end] == '\r' && pos < text.size() && text[pos] == '\n') ++pos;
    ++lineNumber;
    const char* blanks = " \t\f\v";
    line.erase(0, std::min(line.size(), line.find_first_not_of(blanks)));
    line.erase(line.find_last_not_of(blanks) + 1);
    if (lineNumber == 1 || line.empty()) continue;
    if (signal.values.size() == static_cast<std::size_t>(kMaxPpgSamples)) {
      result.status = PpgReadStatus::kBigFile;
      result.message = "Big file";
      break;
    }
    double value = 0.0;
    if (!DirectPpgNumber(line, decimalSeparator, value)) {
      PpgReadResult bad;
      bad.status = PpgReadStatus::kBadNumber;
      bad.line = lineNumber;
      bad.text = line.size() > 40 ? line.substr(0, 40) + "..." : line;
      std::string shown;
      for (std::size_t k = 0; k < line.size() && k < 40; ++k) {
        const auto byte = static_cast<unsigned char>(line[k]);
        char hex[5];
        std::snprintf(hex, sizeof hex, "\\x%02X", byte);
        shown += byte >= 0x20 && byte < 0x7F ? std::string(1, line[k]) : std::string(hex);
      }
      if (line.size() > 40) shown += "...";
      bad.message = "Line " + std::to_string(lineNumber) + ": '" + shown + "' is not a valid number";
      return bad;
    }
    signal.values.push_back(value);
  }
  if (signal.values.empty()) return result;
  signal.minimum = signal.maximum = signal.values[0];
  for (double v : signal.values) {
    signal.minimum = std::min(signal.minimum, v);
    signal.maximum = std::max(signal.maximum, v);
  }
  signal.durationS = static_cast<int>(std::lround(signal.lastIndex() / inRateHz));
  if (signal.maximum > signal.minimum) {
    for (double v : signal.values)
      signal.scaled.push_back((v - signal.minimum) / (signal.maximum - signal.minimum) * 10.0);
  } else if (result.message.empty()) {
    result.message = "All PPG samples are equal (maximum = minimum): the PPG cannot be scaled";
  }
  return result;
}

// The block reader gives what a plain line-by-line reading of the rules gives: every sample bit for bit, the
// same status, message, line and text, on files of several 1 MiB blocks whose line ends (LF, CR LF, lone CR) fall
// on the block edges, with random decimals of every length (the short-decimal path and the from_chars path), a
// bad number late in the file, a line of more than 1 MiB and one sample too many.
TEST(PpgFile, BlockReaderAgreesWithAPlainReadingOfTheRules) {
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
      const PpgReadResult want = DirectPpgRead(path, 50.0, separator);
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
