// The example signals shipped beside the program, and the real PPG recordings of the shared data folder.
#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <fstream>
#include <numeric>
#include <string>
#include <vector>

#include "signals/ppg_envelope.h"
#include "formats/ppg_file.h"

namespace kelvora {
namespace {

constexpr double kPi = 3.14159265358979323846;
const std::string kExamples = std::string(KELVORA_SOURCE_DIR) + "/Examples/";

double Correlation(const std::vector<double>& a, const std::vector<double>& b) {
  const double n = static_cast<double>(a.size());
  const double ma = std::accumulate(a.begin(), a.end(), 0.0) / n, mb = std::accumulate(b.begin(), b.end(), 0.0) / n;
  double ab = 0.0, aa = 0.0, bb = 0.0;
  for (std::size_t i = 0; i < a.size(); ++i) {
    ab += (a[i] - ma) * (b[i] - mb);
    aa += (a[i] - ma) * (a[i] - ma);
    bb += (b[i] - mb) * (b[i] - mb);
  }
  return ab / std::sqrt(aa * bb);
}

// One number per line, no header.
std::vector<double> ReadColumn(const std::string& path) {
  std::ifstream in(path);
  std::vector<double> values;
  std::string line;
  while (std::getline(in, line)) values.push_back(std::stod(line));
  return values;
}

TEST(PpgExamples, SampleCountsAreThoseTheMenuReports) {
  const PpgReadResult one = ReadPpgFile(kExamples + "PPG1.txt");
  ASSERT_TRUE(one.ok()) << one.message;
  EXPECT_EQ(one.status, PpgReadStatus::kOk);
  EXPECT_EQ(one.signal.count(), 72350);
  EXPECT_EQ(one.signal.durationS, 1447);
  const PpgReadResult two = ReadPpgFile(kExamples + "PPG2.txt");
  ASSERT_TRUE(two.ok()) << two.message;
  EXPECT_EQ(two.signal.count(), 58050);
  EXPECT_EQ(two.signal.durationS, 1161);
}

TEST(PpgExamples, TemperatureAndFlowPairsArePlausible) {
  for (const char* pair : {"1", "2"}) {
    const std::vector<double> t = ReadColumn(kExamples + "T" + pair + ".txt");
    const std::vector<double> bf = ReadColumn(kExamples + "BF" + pair + ".txt");
    ASSERT_EQ(t.size(), 3000u) << pair;  // 25 min at 2 Hz
    ASSERT_EQ(bf.size(), 3000u) << pair;
    for (double v : t) ASSERT_TRUE(v > 30.0 && v < 34.0) << pair << ": " << v;
    for (double v : bf) ASSERT_GT(v, 0.0) << pair;
  }
  // The cuff test: flow near zero during the occlusion (8 .. 11 min), above twice the rest level after it.
  const std::vector<double> bf = ReadColumn(kExamples + "BF2.txt");
  const double rest = std::accumulate(bf.begin() + 120, bf.begin() + 900, 0.0) / 780.0;
  const double occluded = std::accumulate(bf.begin() + 1000, bf.begin() + 1300, 0.0) / 300.0;
  const double peak = *std::max_element(bf.begin() + 1320, bf.begin() + 1500);
  EXPECT_LT(occluded, 0.15 * rest);
  EXPECT_GT(peak, 2.5 * rest);
}

// The slow blood-flow curves the generator gave the pulse amplitude (tools/make_examples.cpp).
double RestFlow(double t) {
  return 1.0 + 0.25 * std::sin(2.0 * kPi * t / 260.0) + 0.15 * std::sin(2.0 * kPi * t / 71.0 + 1.0) +
         0.08 * std::sin(2.0 * kPi * t / 29.0 + 2.0);
}
double CuffFlow(double t) {
  double f = 1.0 + 0.12 * std::sin(2.0 * kPi * t / 95.0);
  if (t >= 360.0 && t < 540.0) f *= 1.0 - 0.93 * std::min(1.0, (t - 360.0) / 10.0);
  if (t >= 540.0) f += 1.4 * (1.0 - std::exp(-(t - 540.0) / 6.0)) * std::exp(-(t - 540.0) / 70.0);
  return f;
}

TEST(PpgExamples, EnvelopesFollowTheGeneratorsFlowCurves) {
  const struct {
    const char* file;
    double (*flow)(double);
  } cases[] = {{"PPG1.txt", RestFlow}, {"PPG2.txt", CuffFlow}};
  for (const auto& c : cases) {
    const PpgReadResult read = ReadPpgFile(kExamples + c.file);
    ASSERT_TRUE(read.ok()) << read.message;
    PpgEnvelopeParams p;
    p.durationS = read.signal.durationS;
    const PpgEnvelopeResult r = ComputePpgEnvelope(read.signal, p);
    ASSERT_TRUE(r.ok()) << r.message;
    ASSERT_EQ(r.envelope.values.size(), static_cast<std::size_t>(2 * p.durationS));
    std::vector<double> known(r.envelope.values.size());
    for (std::size_t k = 0; k < known.size(); ++k) known[k] = c.flow(k / 2.0);
    EXPECT_GT(Correlation(r.envelope.values, known), 0.9) << c.file;
  }
}

// The real recordings: each reads, and its envelope is finite, on the 0 .. 10 scale, with a plausible
// count of beats.
TEST(PpgRealRecordings, EnvelopesOfTheSharedPpgFiles) {
  const std::string dir = KELVORA_SHARED_DATA_DIR;
  if (!std::filesystem::is_directory(dir)) GTEST_SKIP() << "no shared data folder at " << dir;
  const struct {
    const char* file;
    double rateHz;
    int samples;
  } cases[] = {{"ppg_bidmc01_finger_125Hz.txt", 125.0, 60001},
               {"ppg_E4wrist_flirt_64Hz.txt", 64.0, 9998},
               {"ppg_biosppy_finger_500Hz.txt", 500.0, 10000}};
  for (const auto& c : cases) {
    const std::string path = dir + "/" + c.file;
    if (!std::filesystem::exists(path)) continue;
    const PpgReadResult read = ReadPpgFile(path, c.rateHz);
    ASSERT_TRUE(read.ok()) << read.message;
    ASSERT_EQ(read.signal.count(), c.samples) << c.file;
    PpgEnvelopeParams p;
    p.inRateHz = c.rateHz;
    p.durationS = read.signal.durationS;
    const PpgEnvelopeResult r = ComputePpgEnvelope(read.signal, p);
    ASSERT_TRUE(r.ok()) << c.file << ": " << r.message;
    ASSERT_EQ(r.envelope.values.size(), static_cast<std::size_t>(std::lround(p.durationS * 2.0)));
    for (double v : r.envelope.values) ASSERT_TRUE(std::isfinite(v) && v >= 0.0 && v <= 10.0) << c.file;
    // Beats between 40 and 180 per minute.
    const double minutes = read.signal.count() / c.rateHz / 60.0;
    EXPECT_GT(r.envelope.maxima.size(), 40 * minutes) << c.file;
    EXPECT_LT(r.envelope.maxima.size(), 180 * minutes) << c.file;
  }
}

}  // namespace
}  // namespace kelvora
