#include "wavelet/wavelet_filtering.h"

#include <cmath>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <memory>
#include <sstream>

#include <gtest/gtest.h>

#include "formats/signal_file.h"
#include "tests/wavelet/wavelet_test_support.h"

namespace kelvora {
namespace {

using wavelet_testing::MixedSignal;

WaveletEngine& Engine() {
  static auto engine = std::make_unique<WaveletEngine>();
  return *engine;
}

std::string ReadAll(const std::filesystem::path& path) {
  std::ifstream file(path);
  std::stringstream text;
  text << file.rdbuf();
  return text.str();
}

TEST(WaveletFiltering, LoadClearsFlagsAndOutputAndCalculationRuns) {
  WaveletFiltering page(Engine());
  EXPECT_FALSE(page.signalLoaded());
  WaveletRunResult refused = page.calculate({});
  EXPECT_EQ(refused.status, WaveletRunStatus::Refused);
  ASSERT_TRUE(refused.error.has_value());
  EXPECT_EQ(refused.error->message, "No signal loaded");

  const std::vector<double> x = MixedSignal(200);
  page.setBand({0.05, 0.15});
  ASSERT_FALSE(page.loadSignal(x, WaveletSource::File).has_value());
  EXPECT_TRUE(page.signalLoaded());
  EXPECT_EQ(page.output(), std::vector<double>(200, 0.0));
  // The previous range comes from the page's band by the load formula.
  EXPECT_EQ(Engine().previousRange(), PreviousRangeFromBand({0.05, 0.15}));

  WaveletRunResult result = page.calculate({WaveletType::Morlet, 2});
  ASSERT_TRUE(result.completed());
  EXPECT_EQ(page.output(), result.output);
  EXPECT_TRUE(Engine().savedRowComputed(WaveletType::Morlet, 30));

  // Loading again clears every row flag.
  ASSERT_FALSE(page.loadSignal(x, WaveletSource::File).has_value());
  for (int k = 1; k <= kWaveletRows; ++k) {
    ASSERT_FALSE(Engine().savedRowComputed(WaveletType::Morlet, k));
    ASSERT_FALSE(Engine().savedRowComputed(WaveletType::Paul, k));
    ASSERT_EQ(Engine().rowSign(k), 0);
  }
}

// Regression: a low edge under 0.1 Hz was replaced by 0.1, which made every preset unreachable.
TEST(WaveletFiltering, BandKeepsLowEdgesAndOnlyZeroBecomesTenThousandth) {
  WaveletFiltering page(Engine());
  EXPECT_DOUBLE_EQ(page.band().low, 0.0001218);
  EXPECT_DOUBLE_EQ(page.band().high, 0.02);
  page.setBand({0.005, 0.02});
  EXPECT_DOUBLE_EQ(page.band().low, 0.005);
  page.setBand({0.0, 0.05});
  EXPECT_DOUBLE_EQ(page.band().low, 0.0001);
  EXPECT_DOUBLE_EQ(page.band().high, 0.05);
}

TEST(WaveletFiltering, WMorlPaulCopiesTheRecordAndItsBandAndRuns) {
  WaveletFiltering page(Engine());
  const std::vector<double> t = MixedSignal(240);
  WaveletRunResult result = page.WMorlPaul(t, {0.0, 0.15}, WaveletSource::Temperature, {WaveletType::Paul, 2});
  ASSERT_TRUE(result.completed());
  EXPECT_EQ(page.source(), WaveletSource::Temperature);
  EXPECT_DOUBLE_EQ(page.band().low, 0.0001);
  EXPECT_EQ(result.stats.range, (ScaleRange{1, 55}));
  EXPECT_EQ(page.output().size(), 240u);

  // A record above the capacity is refused and the page keeps what it had.
  const std::vector<double> output = page.output();
  const std::vector<double> tooLong(4000, 0.5);
  WaveletRunResult refused = page.WMorlPaul(tooLong, {0.05, 0.15}, WaveletSource::BloodFlow, {});
  EXPECT_EQ(refused.status, WaveletRunStatus::Refused);
  ASSERT_TRUE(refused.error.has_value());
  EXPECT_NE(refused.error->message.find("3601"), std::string::npos);
  EXPECT_EQ(page.source(), WaveletSource::Temperature);
  EXPECT_DOUBLE_EQ(page.band().low, 0.0001);
  EXPECT_EQ(page.output(), output);
  EXPECT_EQ(Engine().sampleCount(), 240);
}

TEST(WaveletFiltering, TypeChangeRunsAgainOnlyWhenAutomatic) {
  WaveletFiltering page(Engine());
  page.setBand({0.05, 0.15});
  ASSERT_FALSE(page.loadSignal(MixedSignal(200), WaveletSource::File).has_value());
  ASSERT_TRUE(page.calculate({WaveletType::Morlet, 1}).completed());
  const std::vector<double> morlet = page.output();

  WaveletRunResult skipped = page.waveletTypeChanged({WaveletType::Paul, 1}, false);
  EXPECT_EQ(skipped.status, WaveletRunStatus::Refused);
  EXPECT_FALSE(skipped.error.has_value());
  EXPECT_EQ(page.output(), morlet);

  WaveletRunResult paul = page.waveletTypeChanged({WaveletType::Paul, 1}, true);
  ASSERT_TRUE(paul.completed());
  EXPECT_EQ(paul.stats.forwardRows, 30);
  EXPECT_NE(page.output(), morlet);
}

TEST(SaveFilteredOutput, WritesThreeDecimalsShortestFormAtomically) {
  const std::filesystem::path dir = std::filesystem::temp_directory_path() / "kelvora_wavelet_save_test";
  std::filesystem::remove_all(dir);
  std::filesystem::create_directories(dir);
  const std::filesystem::path path = dir / "filtered.txt";

  const std::vector<double> values{36.5, 36.0, -0.0004, 0.1234, 2.0625, -1.25};
  ASSERT_FALSE(SaveFilteredOutput(path.string(), values).has_value());
  // 2.0625 is exact in binary and lies half-way: rounded to the even 2.062.
  EXPECT_EQ(ReadAll(path), "36.5\n36\n0\n0.123\n2.062\n-1.25\n");
  ASSERT_FALSE(SaveFilteredOutput(path.string(), values, ',').has_value());
  EXPECT_EQ(ReadAll(path), "36,5\n36\n0\n0,123\n2,062\n-1,25\n");

  // A failed save leaves the existing file as it was and no temporary file behind.
  EXPECT_TRUE(SaveFilteredOutput(path.string(), std::vector<double>{1.0, NAN}).has_value());
  EXPECT_EQ(ReadAll(path), "36,5\n36\n0\n0,123\n2,062\n-1,25\n");
  const std::optional<WaveletError> error = SaveFilteredOutput((dir / "missing" / "x.txt").string(), values);
  ASSERT_TRUE(error.has_value());
  EXPECT_NE(error->message.find("x.txt"), std::string::npos);
  int files = 0;
  for ([[maybe_unused]] const auto& entry : std::filesystem::directory_iterator(dir)) ++files;
  EXPECT_EQ(files, 1);
  std::filesystem::remove_all(dir);
}

// The exact decimal expansion of the stored double, rounded to three decimals by hand: half to even only when
// every digit after the third is a zero of an exact tie, the shortest form, no "-0".
std::string ExactThreeDecimals(double value) {
  char digits[128];
  std::snprintf(digits, sizeof digits, "%.70f", std::fabs(value));
  std::string text(digits);
  const std::size_t point = text.find('.');
  std::string kept = text.substr(0, point) + text.substr(point + 1, 3);
  const std::string rest = text.substr(point + 4);
  const bool above = rest[0] > '5' || (rest[0] == '5' && rest.find_first_not_of('0', 1) != std::string::npos);
  const bool tie = rest[0] == '5' && rest.find_first_not_of('0', 1) == std::string::npos;
  if (above || (tie && (kept.back() - '0') % 2 == 1)) {
    int i = static_cast<int>(kept.size()) - 1;
    while (i >= 0 && kept[static_cast<std::size_t>(i)] == '9') kept[static_cast<std::size_t>(i--)] = '0';
    if (i < 0) kept.insert(kept.begin(), '1'); else ++kept[static_cast<std::size_t>(i)];
  }
  std::string whole = kept.substr(0, kept.size() - 3);
  std::string fraction = kept.substr(kept.size() - 3);
  while (!fraction.empty() && fraction.back() == '0') fraction.pop_back();
  std::string out = whole + (fraction.empty() ? "" : "." + fraction);
  const bool zero = out.find_first_not_of("0.") == std::string::npos;
  return (value < 0 && !zero ? "-" : "") + out;
}

// The fault: the wavelet page's save rounded value * 1000 to an integer, so 0.0005 (stored a little above the
// half) became "0" and 0.1235 (stored a little below) "0.124", where every other save writes "0.001" and
// "0.123". Over k * 0.0005 about a fifth of the texts differed.
TEST(SaveFilteredOutput, WritesTheCorrectlyRoundedStoredValueAsEverySignalSaveDoes) {
  const std::filesystem::path dir = std::filesystem::temp_directory_path() / "kelvora_wavelet_rounding_test";
  std::filesystem::remove_all(dir);
  std::filesystem::create_directories(dir);
  std::vector<double> values{0.0005, 0.1235, -0.0005, 2.0625, 1e-4};
  for (int k = -2000; k <= 6000; ++k) values.push_back(k * 0.0005);
  ASSERT_FALSE(SaveFilteredOutput((dir / "w.txt").string(), values).has_value());
  ASSERT_FALSE(WriteSignalFile(values, static_cast<int>(values.size()) - 1, (dir / "s.txt").string(), '.'));
  std::ifstream wavelet(dir / "w.txt"), signal(dir / "s.txt");
  int wrong = 0;
  for (double v : values) {
    std::string w, s;
    ASSERT_TRUE(std::getline(wavelet, w) && std::getline(signal, s));
    const std::string expected = ExactThreeDecimals(v);
    if (w != expected || s != expected) {
      if (++wrong <= 5) ADD_FAILURE() << v << ": wavelet save '" << w << "', signal save '" << s << "', exact '"
                                      << expected << "'";
    }
  }
  EXPECT_EQ(wrong, 0);
  std::filesystem::remove_all(dir);
}

}  // namespace
}  // namespace kelvora
