#include "core/ini_text.h"

#include <gtest/gtest.h>

namespace kelvora {
namespace {

TEST(IniText, SectionsKeysAndValuesAsTheSettingsFileHoldsThem) {
  const IniText ini = IniText::Parse(
      "[position]\nleft=12\n  width = 800  \n[freq]\ngerc=4\n[Options]\n; comment\n# comment\npotoks=16\n");
  EXPECT_EQ(ini.integer("position", "left"), 12);
  EXPECT_EQ(ini.integer("position", "width"), 800);
  EXPECT_EQ(ini.integer("freq", "gerc"), 4);
  EXPECT_EQ(ini.integer("Options", "potoks"), 16);
  EXPECT_EQ(ini.size(), 4u);
  // Names compare without case; a key belongs to its own section only.
  EXPECT_EQ(ini.integer("OPTIONS", "Potoks"), 16);
  EXPECT_FALSE(ini.integer("position", "gerc").has_value());
}

TEST(IniText, ByteOrderMarkEveryLineEndAndTheLastValueOfARepeatedKey) {
  for (const char* text : {"\xEF\xBB\xBF[a]\r\nk=1\r\nk=2\r\n", "[a]\rk=1\rk=2", "[a]\nk=1\r\nk=2"}) {
    const IniText ini = IniText::Parse(text);
    EXPECT_EQ(ini.integer("a", "k"), 2) << text;
  }
}

TEST(IniText, IntegersAreSignAndDigitsWithinRange) {
  const IniText ini = IniText::Parse(
      "[s]\na=-5\nb=+7\nc=1.5\nd=0x10\ne=\nf=2147483647\ng=2147483648\nh=-2147483648\ni=+-1\nj=1 2\nk= 9 \n");
  EXPECT_EQ(ini.integer("s", "a"), -5);
  EXPECT_EQ(ini.integer("s", "b"), 7);
  EXPECT_EQ(ini.integer("s", "f"), 2147483647);
  EXPECT_EQ(ini.integer("s", "h"), -2147483647 - 1);
  EXPECT_EQ(ini.integer("s", "k"), 9);
  for (const char* key : {"c", "d", "e", "g", "i", "j", "missing"})
    EXPECT_FALSE(ini.integer("s", key).has_value()) << key;
  EXPECT_EQ(ini.value("s", "e"), "");
}

TEST(IniText, DamagedLinesAreSkipped) {
  const IniText ini = IniText::Parse(std::string("=3\n[s\nx=1\n[]\ny=2\nno equals\n[t]\n\0=4\nz=5", 38));
  EXPECT_EQ(ini.integer("", "x"), 1);  // "[s" is not a section line
  EXPECT_EQ(ini.integer("", "y"), 2);  // "[]" is the empty section
  EXPECT_EQ(ini.integer("t", "z"), 5);
  EXPECT_EQ(ini.integer("t", std::string(1, '\0')), 4);
  EXPECT_EQ(IniText::Parse("").size(), 0u);
  EXPECT_EQ(IniText::Parse("\xEF\xBB").size(), 0u);
}

}  // namespace
}  // namespace kelvora
