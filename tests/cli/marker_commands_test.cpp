// kelvora-cli markers, porh, heating and analyze --segments on a synthetic flux record: the found occlusions
// as markers, a sidecar beside the record, the response table, the segment table's columns, bad marker lines
// named with their file and line; and the real PREVAIL recordings when they are there.
#include <gtest/gtest.h>

#include <filesystem>
#include <sstream>
#include <string>
#include <vector>

#include "tests/cli/cli_run.h"
#include "tests/signals/temp_dir.h"

namespace kelvora::cli {
namespace {

using kelvora::cli::testing::Cli;
using kelvora::testing::TempDir;

// 2 Hz: rest at 20 for 100 s, occlusion at 2 for 60 s, hyperaemia at 50 for 30 s, then 15 to 400 s with a
// second occlusion at 3 over 250 .. 300 s.
std::string FluxFile(const TempDir& dir, const std::string& name) {
  std::string text;
  for (int i = 0; i < 800; ++i) {
    const double t = i / 2.0;
    const double x = t < 100 ? 20 : t < 160 ? 2 : t < 190 ? 50 : (t >= 250 && t < 300) ? 3 : 15;
    text += std::to_string(x) + "\n";
  }
  return dir.write(name, text);
}

std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> lines;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  return lines;
}

TEST(MarkerCommands, FoundOcclusionsListMeasureAndCutSegments) {
  TempDir dir;
  const std::string record = FluxFile(dir, "flux.txt");
  dir.write("flux.markers.csv", "time_s,label\n5,probe on\n");
  const auto listed = Cli({"markers", record, "--find-occlusions"});
  ASSERT_EQ(listed.status, 0) << listed.err;
  EXPECT_EQ(listed.out,
            "time_s,duration_s,label,source\n5,0,probe on,sidecar\n100,0,occlusion 1,found\n160,0,recovery 1,found\n"
            "250,0,occlusion 2,found\n300,0,recovery 2,found\n");

  const auto porh = Cli({"porh", record, "--find-occlusions"});
  ASSERT_EQ(porh.status, 0) << porh.err;
  const std::vector<std::string> rows = Lines(porh.out);
  ASSERT_EQ(rows.size(), 3u);
  EXPECT_EQ(rows[0], "occlusion,start_s,end_s,baseline,biological_zero,peak,time_to_peak_s,peak_pct_baseline,"
                     "peak_minus_bz,hyperaemic_area,repayment,t50_s,note");
  // Peak 50 from 160.5 s; area (50 - 20) * 30 s; debt 18 * 60 s; t50 at the first sample of s <= 35 (190 s).
  EXPECT_EQ(rows[1], "1,100,160,20,2,50,0.5,250,48,900,0.8333333333333334,29.5,");
  const auto typed = Cli({"porh", record, "--occlusion", "100:160", "--occlusion", "10:50"});
  ASSERT_EQ(typed.status, 0);
  EXPECT_NE(typed.out.find("no baseline"), std::string::npos);

  const std::string spectrum = dir.file("spectrum.csv");
  const auto segments =
      Cli({"analyze", record, "--segments", "markers", "--find-occlusions", "--fmin", "0.02", "--spectrum", spectrum});
  ASSERT_EQ(segments.status, 0) << segments.err;
  const std::vector<std::string> table = Lines(segments.out);
  EXPECT_EQ(table[0].rfind("file,segment,start_s,end_s,band,", 0), 0u);
  EXPECT_NE(segments.out.find(",before probe on,0,5,"), std::string::npos);
  EXPECT_NE(segments.out.find(",recovery 2,300,400,"), std::string::npos);
  EXPECT_NE(segments.out.find("segment too short for this band: it needs at least 4.2 min"), std::string::npos);
  const std::string spectra = TempDir::read(spectrum);
  EXPECT_EQ(spectra.rfind("segment,start_s,end_s,frequency_hz,amplitude,power\nbefore probe on,0,5,0.020263118041422026,,\n", 0), 0u);

  const auto heating = Cli({"heating", record, "--heating", "100:160", "--max", "160:190"});
  ASSERT_EQ(heating.status, 0) << heating.err;
  // The initial peak is s at the heating's last sample (its window reaches the hyperaemia): no nadir after it.
  EXPECT_EQ(Lines(heating.out)[1], "1,100,160,20,18,,2,36,4,the initial peak is at the heating's end: no nadir; "
                                   "heating shorter than 5 min: the plateau is its whole mean");
}

// A delimited record with an event column: the record is its one signal column (the text column is no signal)
// and the events are its markers.
TEST(MarkerCommands, EventColumnOfADelimitedRecord) {
  TempDir dir;
  std::string text = "time (s);flux;Event\n";
  for (int i = 0; i < 800; ++i) {
    const double t = i / 2.0;
    const double x = t < 100 ? 20 : t < 160 ? 2 : t < 190 ? 50 : 15;
    text += std::to_string(i / 2) + (i % 2 ? ",5" : "") + ";" + std::to_string(static_cast<int>(x)) + ";" +
            (i == 200 ? "cuff on" : i == 320 ? "cuff off" : "") + "\n";
  }
  const std::string record = dir.write("rec.csv", text);
  const auto listed = Cli({"markers", record});
  ASSERT_EQ(listed.status, 0) << listed.err;
  EXPECT_EQ(listed.out, "time_s,duration_s,label,source\n100,0,cuff on,column\n160,0,cuff off,column\n");
  const auto porh = Cli({"porh", record, "--occlusion", "100:160"});
  ASSERT_EQ(porh.status, 0) << porh.err;
  EXPECT_EQ(Lines(porh.out)[1].rfind("1,100,160,20,2,50,0.5,250,48,900,", 0), 0u) << porh.out;
  const auto segments = Cli({"analyze", record, "--segments", "markers", "--fmin", "0.05"});
  ASSERT_EQ(segments.status, 0) << segments.err;
  EXPECT_NE(segments.out.find(",before cuff on,0,100,"), std::string::npos);
  EXPECT_NE(segments.out.find(",cuff off,160,400,"), std::string::npos);
}

TEST(MarkerCommands, BadMarkerLinesAndOptionsAreRefused) {
  TempDir dir;
  const std::string record = FluxFile(dir, "flux.txt");
  const std::string bad = dir.write("bad.csv", "time_s,label\n1,a\nsoon,b\n");
  const auto run = Cli({"markers", record, "--markers", bad});
  EXPECT_EQ(run.status, 1);
  EXPECT_NE(run.err.find(bad + ":3: field 1: 'soon' is not a time in seconds >= 0"), std::string::npos) << run.err;
  EXPECT_EQ(Cli({"porh", record}).status, 2);
  EXPECT_EQ(Cli({"porh", record, "--occlusion", "9:3"}).status, 2);
  EXPECT_EQ(Cli({"markers", record, "--find-occlusions", "--occlusion-below", "0"}).status, 2);
  EXPECT_EQ(Cli({"analyze", record, "--segments", "rest:5"}).status, 1);
  const auto saved = Cli({"markers", record, "--find-occlusions", "--save-sidecar"});
  ASSERT_EQ(saved.status, 0);
  EXPECT_TRUE(std::filesystem::exists(dir.file("flux.markers.csv")));
}

}  // namespace
}  // namespace kelvora::cli
