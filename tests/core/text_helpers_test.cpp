#include "core/text_helpers.h"

#include <gtest/gtest.h>

namespace kelvora {
namespace {

TEST(EnsureExtension, AcceptsExactAndUpperCaseOnly) {
  EXPECT_EQ(EnsureExtension("signal.txt", ".txt"), "signal.txt");
  EXPECT_EQ(EnsureExtension("SIGNAL.TXT", ".txt"), "SIGNAL.TXT");
  EXPECT_EQ(EnsureExtension("signal.Txt", ".txt"), "signal.Txt.txt");
  EXPECT_EQ(EnsureExtension("signal", ".txt"), "signal.txt");
  EXPECT_EQ(EnsureExtension("chart.bmp", ".bmp"), "chart.bmp");
  EXPECT_EQ(EnsureExtension("chart.txt", ".bmp"), "chart.txt.bmp");
}

TEST(EnsureExtension, ShortNamesGetTheExtension) {
  EXPECT_EQ(EnsureExtension("", ".txt"), ".txt");
  EXPECT_EQ(EnsureExtension("a", ".txt"), "a.txt");
  EXPECT_EQ(EnsureExtension("txt", ".txt"), "txt.txt");
  EXPECT_EQ(EnsureExtension(".txt", ".txt"), ".txt");
}

TEST(NormalizeDecimalSeparator, ReplacesBothMarksOnly) {
  EXPECT_EQ(NormalizeDecimalSeparator("36,6\t1.5", '.'), "36.6\t1.5");
  EXPECT_EQ(NormalizeDecimalSeparator("36,6\t1.5", ','), "36,6\t1,5");
  EXPECT_EQ(NormalizeDecimalSeparator("abc -1e5", '.'), "abc -1e5");
}

TEST(ParseDecimalNumber, ReadsPlainDecimalsWithTheGivenMark) {
  EXPECT_EQ(ParseDecimalNumber("36.6", '.'), 36.6);
  EXPECT_EQ(ParseDecimalNumber(" -2.5 ", '.'), -2.5);
  EXPECT_EQ(ParseDecimalNumber("+3", '.'), 3.0);
  EXPECT_EQ(ParseDecimalNumber("1e3", '.'), 1000.0);
  EXPECT_EQ(ParseDecimalNumber("36,6", ','), 36.6);
  EXPECT_EQ(ParseDecimalNumber(".5", '.'), 0.5);
}

TEST(ParseDecimalNumber, RefusesEverythingElse) {
  for (const char* text : {"", "  ", "abc", "36,6", "1.2.3", "inf", "nan", "1e999", "0x10", "--1", "+-1", "36 6", "+"})
    EXPECT_FALSE(ParseDecimalNumber(text, '.').has_value()) << text;
  EXPECT_FALSE(ParseDecimalNumber("36.6", ',').has_value());
}

TEST(EditNumberTexts, IntegersRealsAndTheirShortestForm) {
  int i = 0;
  EXPECT_TRUE(ParseIntegerText(" 42 ", i));
  EXPECT_EQ(i, 42);
  EXPECT_TRUE(ParseIntegerText("-7", i));
  EXPECT_EQ(i, -7);
  EXPECT_FALSE(ParseIntegerText("4x", i));
  EXPECT_FALSE(ParseIntegerText("", i));
  EXPECT_FALSE(ParseIntegerText("99999999999", i));
  double d = 0;
  EXPECT_TRUE(ParseRealText("36,24", ',', d));
  EXPECT_EQ(d, 36.24);
  EXPECT_FALSE(ParseRealText("36.24", ',', d));
  EXPECT_TRUE(ParseRealText("-1e-3", '.', d));
  EXPECT_EQ(d, -1e-3);
  EXPECT_FALSE(ParseRealText("inf", '.', d));
  EXPECT_FALSE(ParseRealText("nan", '.', d));
  EXPECT_FALSE(ParseRealText("1.2.3", '.', d));
  EXPECT_EQ(FormatRealText(36.24, ','), "36,24");
  EXPECT_EQ(FormatRealText(2.0, '.'), "2");
}

}  // namespace
}  // namespace kelvora
