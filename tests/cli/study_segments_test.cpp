// kelvora-cli study with segments, markers and the response measures, on records made here: each recording's
// rows are those that analyze/coherence --segments (and porh/heating) print for its files, read as text; the
// segments are conditions of their subjects; resume and shards go on working with the new options.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "cli_run.h"
#include "../signals/temp_dir.h"

namespace kelvora::cli {
namespace {

using kelvora::cli::testing::Cli;
using kelvora::cli::testing::CliRun;
using kelvora::testing::TempDir;

// A 5-minute 2 Hz record whose slow oscillation grows after `switchS` (a second protocol phase).
std::string Record(int subject, bool bloodFlow, double switchS) {
  std::string text;
  for (int n = 0; n < 600; ++n) {
    const double t = n / 2.0;
    const double a = (1.0 + 0.1 * subject) * (t < switchS ? 1.0 : 1.8);
    const double phase = 0.7 * subject + (bloodFlow ? 0.0 : 0.9);
    const double v = (bloodFlow ? 50.0 : 30.0) + a * std::sin(2 * M_PI * 0.1 * t + phase) +
                     0.3 * std::sin(2 * M_PI * 0.3 * t + 1.3 * subject) + 0.05 * std::sin(0.37 * n * n + subject);
    text += std::to_string(v) + "\n";
  }
  return text;
}

// Fields of a CSV line (quoted fields kept with their quotes; the notes here hold no commas).
std::vector<std::string> Fields(const std::string& line) {
  std::vector<std::string> fields;
  std::string field;
  for (const char c : line) {
    if (c == ',') {
      fields.push_back(field);
      field.clear();
    } else {
      field += c;
    }
  }
  fields.push_back(field);
  return fields;
}

std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> lines;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  return lines;
}

// The rows.csv lines a study makes of an analyze --segments table (prefix "bf_" for a pair's BF file), and the
// notes of its segments and bands.
void AddBandRowsOf(const std::string& subject, const std::string& group, const std::string& table,
                   const char* prefix, std::vector<std::string>& expected,
                   std::map<std::string, std::string>& notes) {
  const std::vector<std::string> lines = Lines(table);
  // file,segment,start_s,end_s,band,low_hz,high_hz,amplitude,power,rel_amplitude,rel_power,coverage,note
  for (std::size_t i = 1; i < lines.size(); ++i) {
    const std::vector<std::string> f = Fields(lines[i]);
    ASSERT_EQ(f.size(), 13u) << lines[i];
    const char* measures[] = {"amplitude", "power", "rel_amplitude", "rel_power"};
    notes[f[1] + "," + f[4]] = f[12];
    for (int m = 0; m < 4; ++m)
      if (!f[7 + m].empty() || !f[12].empty())
        expected.push_back(subject + "," + group + ",," + f[1] + "," + f[2] + "," + f[3] + "," + f[4] + "," +
                           prefix + measures[m] + "," + f[7 + m] + "," + f[12]);
  }
}

// How the segments are given: to the study, and to analyze/coherence for one recording's files.
enum class Source { kTyped, kTable, kManifestMarkers, kSidecarBeside };

struct SegmentCase {
  const char* name;
  Source source;
};

void PrintTo(const SegmentCase& c, std::ostream* os) { *os << c.name; }

class StudySegments : public ::testing::TestWithParam<SegmentCase> {};

constexpr int kSubjects = 4;
const std::vector<std::string> kAnalysis = {"--bands", "slow:0.05:0.15,fast:0.15:0.6", "--fmin", "0.05",
                                            "--voices", "8", "--surrogates", "3"};

double SwitchOf(int s) { return 100.0 + 20.0 * s; }

TEST_P(StudySegments, RowsAreThoseOfAnalyzeAndCoherenceForEachFile) {
  const Source source = GetParam().source;
  TempDir dir;
  std::string manifest = source == Source::kManifestMarkers ? "subject,group,file,bf_file,markers\n"
                                                            : "subject,group,file,bf_file\n";
  const std::string typed = "rest:0:110,load:110:300";
  const std::string table = dir.write("segments.csv", "name,start_s,end_s\nrest,0,110\nload,110,300\n");
  for (int s = 1; s <= kSubjects; ++s) {
    const std::string name = "s" + std::to_string(s);
    dir.write(name + "_t.txt", Record(s, false, SwitchOf(s)));
    dir.write(name + "_bf.txt", Record(s, true, SwitchOf(s)));
    // Per-subject phases: a marker at the start and one at the switch (plus a third for subject 2).
    std::string sidecar = "0,rest\n" + std::to_string(SwitchOf(s)) + ",load\n";
    if (s == 2) sidecar += "250,late\n";
    if (source == Source::kManifestMarkers) dir.write(name + ".phases.csv", sidecar);
    if (source == Source::kSidecarBeside) dir.write(name + "_bf.markers.csv", sidecar);
    manifest += "S" + std::to_string(s) + "," + (s <= 2 ? "g1" : "g2") + "," + name + "_t.txt," + name + "_bf.txt" +
                (source == Source::kManifestMarkers ? "," + name + ".phases.csv" : std::string()) + "\n";
  }
  const std::string manifestPath = dir.write("manifest.csv", manifest);
  const std::string segments = source == Source::kTyped ? typed : source == Source::kTable ? table : "markers";
  auto study = [&](const std::string& out, std::vector<std::string> extra = {}) {
    std::vector<std::string> args = {"study", manifestPath, "--out", out, "--measures", "bands,coherence",
                                     "--segments", segments, "--intersubject", "off", "--threads", "2"};
    args.insert(args.end(), kAnalysis.begin(), kAnalysis.end());
    args.insert(args.end(), extra.begin(), extra.end());
    return Cli(args);
  };
  const std::string out = dir.file("out");
  const CliRun run = study(out);
  ASSERT_EQ(run.status, 0) << run.err;
  const std::vector<std::string> rows = Lines(TempDir::read(out + "/rows.csv"));
  ASSERT_FALSE(rows.empty());
  EXPECT_EQ(rows[0], "subject,group,condition,segment,start_s,end_s,band,measure,value,note");

  int compared = 0;
  for (int s = 1; s <= kSubjects; ++s) {
    const std::string subject = "S" + std::to_string(s), group = s <= 2 ? "g1" : "g2";
    const std::string name = "s" + std::to_string(s);
    std::vector<std::string> segmentArgs = {"--segments", segments};
    if (source == Source::kManifestMarkers) segmentArgs.insert(segmentArgs.end(), {"--markers", dir.file(name + ".phases.csv")});
    std::vector<std::string> expected;
    std::map<std::string, std::string> notes;  // segment,band -> the band table's note
    for (const char* prefix : {"", "bf_"}) {
      std::vector<std::string> args = {"analyze", dir.file(name + (prefix[0] ? "_bf.txt" : "_t.txt"))};
      args.insert(args.end(), kAnalysis.begin(), kAnalysis.end() - 2);  // analyze takes no surrogates
      args.insert(args.end(), segmentArgs.begin(), segmentArgs.end());
      // The T file's own markers are the BF file's in the study: analyze gets them given.
      if (source == Source::kSidecarBeside && !prefix[0])
        args.insert(args.end(), {"--markers", dir.file(name + "_bf.markers.csv")});
      const CliRun analyze = Cli(args);
      ASSERT_EQ(analyze.status, 0) << analyze.err;
      AddBandRowsOf(subject, group, analyze.out, prefix, expected, notes);
    }
    std::vector<std::string> args = {"coherence", dir.file(name + "_t.txt"), dir.file(name + "_bf.txt")};
    args.insert(args.end(), kAnalysis.begin(), kAnalysis.end());
    args.insert(args.end(), segmentArgs.begin(), segmentArgs.end());
    const CliRun coherence = Cli(args);
    ASSERT_EQ(coherence.status, 0) << coherence.err;
    std::map<std::string, double> residuals;  // segment,band -> coherence - threshold
    const std::vector<std::string> lines = Lines(coherence.out);
    // segment,start_s,end_s,band,low_hz,high_hz,coherence,threshold,significant_share,lag_s,depth_mm,depth_amp_mm
    for (std::size_t i = 1; i < lines.size(); ++i) {
      const std::vector<std::string> f = Fields(lines[i]);
      ASSERT_EQ(f.size(), 12u) << lines[i];
      const std::string head = subject + "," + group + ",," + f[0] + "," + f[1] + "," + f[2] + "," + f[3] + ",";
      auto add = [&](const char* measure, const std::string& value, const std::string& note = {}) {
        if (!value.empty() || !note.empty()) expected.push_back(head + measure + "," + value + "," + note);
      };
      add("coherence", f[6], notes[f[0] + "," + f[3]]);
      add("threshold", f[7]);
      if (!f[6].empty()) add("significant_share", f[8]);
      add("lag_s", f[9]);
      add("depth_mm", f[10]);
      if (!f[6].empty() && !f[7].empty()) residuals[f[0] + "," + f[3]] = std::stod(f[6]) - std::stod(f[7]);
    }
    std::vector<std::string> got;
    for (const std::string& row : rows) {
      if (row.rfind(subject + ",", 0) != 0) continue;
      const std::vector<std::string> f = Fields(row);
      ASSERT_EQ(f.size(), 10u) << row;
      if (f[7] == "residual_coherence") {
        const auto it = residuals.find(f[3] + "," + f[6]);
        ASSERT_NE(it, residuals.end()) << row;
        EXPECT_EQ(std::stod(f[8]), it->second) << row;
        residuals.erase(it);
        continue;
      }
      got.push_back(row);
    }
    EXPECT_TRUE(residuals.empty());
    std::sort(expected.begin(), expected.end());
    std::sort(got.begin(), got.end());
    EXPECT_EQ(got, expected) << subject;
    compared += static_cast<int>(expected.size());
  }
  EXPECT_GE(compared, 4 * 2 * 2 * 12);  // subjects x segments x bands x (8 band and 4 coherence measures)

  // Each segment is a condition of its subject: rest against load within subjects.
  const std::string tests = TempDir::read(out + "/tests.csv");
  EXPECT_NE(tests.find("slow,amplitude,rest vs load,wilcoxon_signed_rank_exact,4,"), std::string::npos) << tests;
  EXPECT_NE(tests.find("slow,coherence,g1 vs g2 in load,mann_whitney_u_exact,4,"), std::string::npos) << tests;

  // Resumed as it was; the markers of one recording changed: that recording alone is computed again.
  const CliRun again = study(out);
  EXPECT_NE(again.err.find(": 0 computed, 4 reused"), std::string::npos) << again.err;
  if (source == Source::kManifestMarkers || source == Source::kSidecarBeside) {
    dir.write(source == Source::kManifestMarkers ? "s3.phases.csv" : "s3_bf.markers.csv", "0,rest\n150,load\n");
    const CliRun changed = study(out);
    EXPECT_NE(changed.err.find(": 1 computed, 3 reused"), std::string::npos) << changed.err;
  }
  // Two shards merged give the one run's tables.
  const std::string whole = dir.file("whole");
  ASSERT_EQ(study(whole).status, 0);
  std::vector<std::string> merge = {"study", "merge"};
  for (int k = 1; k <= 2; ++k) {
    const std::string shard = dir.file("shard" + std::to_string(k));
    ASSERT_EQ(study(shard, {"--shard", std::to_string(k) + "/2"}).status, 0);
    merge.push_back(shard);
  }
  merge.insert(merge.end(), {"--out", dir.file("merged")});
  ASSERT_EQ(Cli(merge).status, 0);
  for (const char* file : {"rows.csv", "summary.csv", "tests.csv"})
    EXPECT_EQ(TempDir::read(whole + "/" + file), TempDir::read(dir.file("merged/") + file)) << file;
}

INSTANTIATE_TEST_SUITE_P(Sources, StudySegments,
                         ::testing::Values(SegmentCase{"typed", Source::kTyped},
                                           SegmentCase{"table", Source::kTable},
                                           SegmentCase{"manifest_markers", Source::kManifestMarkers},
                                           SegmentCase{"sidecar_beside", Source::kSidecarBeside}),
                         [](const auto& info) { return std::string(info.param.name); });

// The PREVAIL pairs (skipped without the data): rest (before the first loading, the source's time zero) and the
// loading cycles after it as two segments of a sidecar per recording; the band rows are analyze's.
TEST(StudySegmentsPrevail, RestAndCyclesRowsAreThoseOfAnalyze) {
  const std::string data = KELVORA_SHARED_DATA_DIR;
  struct Pair {
    const char* id;
    const char* sheet;
    double restS;
  };
  const Pair pairs[] = {{"008", "j1_1", 115.0}, {"009", "j2_1", 154.0}, {"031", "j2_1", 105.5},
                        {"032", "j2_1", 105.5}};
  TempDir dir;
  std::string manifest = "subject,group,file,bf_file,markers\n";
  for (const Pair& p : pairs) {
    const std::string t = data + "/skintemp_PREVAIL" + p.id + "_" + p.sheet + ".txt";
    const std::string bf = data + "/ldf_PREVAIL" + p.id + "_" + p.sheet + ".txt";
    if (!std::filesystem::exists(t) || !std::filesystem::exists(bf)) GTEST_SKIP() << "no " << t;
    const std::string sidecar = dir.write(std::string("p") + p.id + ".csv", "0,rest\n" + std::to_string(p.restS) +
                                                                                ",cycles\n");
    manifest += std::string("P") + p.id + "," + (p.id[1] == '0' ? "A" : "B") + "," + t + "," + bf + "," + sidecar +
                "\n";
  }
  const CliRun run = Cli({"study", dir.write("m.csv", manifest), "--out", dir.file("out"), "--segments", "markers"});
  ASSERT_EQ(run.status, 0) << run.err;
  const std::vector<std::string> rows = Lines(TempDir::read(dir.file("out/rows.csv")));
  for (const Pair& p : pairs) {
    const std::string subject = std::string("P") + p.id, group = p.id[1] == '0' ? "A" : "B";
    std::vector<std::string> expected;
    std::map<std::string, std::string> notes;
    for (const char* prefix : {"", "bf_"}) {
      const std::string file = data + (prefix[0] ? "/ldf_PREVAIL" : "/skintemp_PREVAIL") + p.id + "_" + p.sheet +
                               ".txt";
      const CliRun analyze = Cli({"analyze", file, "--segments", "markers", "--markers",
                                  dir.file(std::string("p") + p.id + ".csv")});
      ASSERT_EQ(analyze.status, 0) << analyze.err;
      AddBandRowsOf(subject, group, analyze.out, prefix, expected, notes);
    }
    std::vector<std::string> got;
    for (const std::string& row : rows)
      if (row.rfind(subject + ",", 0) == 0) got.push_back(row);
    std::sort(expected.begin(), expected.end());
    std::sort(got.begin(), got.end());
    EXPECT_EQ(got, expected) << subject;
    EXPECT_GT(expected.size(), 40u);
  }
  const std::string tests = TempDir::read(dir.file("out/tests.csv"));
  EXPECT_NE(tests.find("myogenic,bf_amplitude,rest vs cycles,wilcoxon_signed_rank_exact,4,"), std::string::npos)
      << tests;
}

// A pair without markers fails alone, named by its line; its BF still counts in the others' inter-subject level.
TEST(StudySegmentsFaults, ARecordingWithoutMarkersFailsAloneAndStillServesAsPartner) {
  TempDir dir;
  std::string manifest = "subject,group,file,bf_file\n";
  for (int s = 1; s <= 3; ++s) {
    const std::string name = "s" + std::to_string(s);
    dir.write(name + "_t.txt", Record(s, false, 150.0));
    dir.write(name + "_bf.txt", Record(s, true, 150.0));
    if (s != 3) dir.write(name + "_bf.markers.csv", "0,rest\n150,load\n");
    manifest += "S" + std::to_string(s) + ",g," + name + "_t.txt," + name + "_bf.txt\n";
  }
  std::vector<std::string> args = {"study", dir.write("manifest.csv", manifest), "--out", dir.file("out"),
                                   "--measures", "coherence", "--segments", "markers"};
  args.insert(args.end(), kAnalysis.begin(), kAnalysis.end());
  const CliRun run = Cli(args);
  EXPECT_EQ(run.status, 1) << run.err;
  EXPECT_NE(run.err.find("manifest.csv:4: "), std::string::npos) << run.err;
  EXPECT_NE(run.err.find("s3_bf.txt: --segments markers: the record has no markers"), std::string::npos) << run.err;
  const std::string rows = TempDir::read(dir.file("out/rows.csv"));
  EXPECT_EQ(rows.find("\nS3,"), std::string::npos);
  // S1's level in the load segment is the mean over S2's and S3's BF.
  std::vector<double> levels;
  for (const std::string& partner : {"s2_bf.txt", "s3_bf.txt"}) {
    std::vector<std::string> cross = {"coherence", dir.file("s1_t.txt"), dir.file(partner), "--segments",
                                      "rest:0:150,load:150:300", "--surrogates", "0"};
    cross.insert(cross.end(), kAnalysis.begin(), kAnalysis.end() - 2);
    const CliRun c = Cli(cross);
    ASSERT_EQ(c.status, 0) << c.err;
    for (const std::string& line : Lines(c.out))
      if (line.rfind("load,150,300,slow,", 0) == 0) levels.push_back(std::stod(Fields(line)[6]));
  }
  ASSERT_EQ(levels.size(), 2u);
  const std::string key = "\nS1,g,,load,150,300,slow,intersubject_coherence,";
  const std::size_t at = rows.find(key);
  ASSERT_NE(at, std::string::npos) << rows;
  EXPECT_EQ(std::stod(rows.substr(at + key.size())), (levels[0] + levels[1]) / 2.0);
}

// A flux record at 2 Hz: 40 at rest, 5 during the occlusions, then a peak decaying back; a heating rise at the end.
std::string FluxRecord(int subject, double firstOcclusionS) {
  std::string text;
  const double o1 = firstOcclusionS, o2 = o1 + 60.0, o3 = 330.0, o4 = 370.0, h1 = 480.0;
  for (int n = 0; n < 1200; ++n) {
    const double t = n / 2.0;
    double v = 40.0 + subject + 0.5 * std::sin(0.9 * n);
    if ((t >= o1 && t < o2) || (t >= o3 && t < o4)) v = 5.0;
    else if (t >= o2 && t < o3) v += 60.0 * std::exp(-(t - o2) / 25.0) * (1.0 - std::exp(-(t - o2) / 4.0));
    else if (t >= o4 && t < h1) v += 30.0 * std::exp(-(t - o4) / 200.0) * (1.0 - std::exp(-(t - o4) / 4.0));
    else if (t >= h1) v += 40.0 * (1.0 - std::exp(-(t - h1) / 20.0));
    text += std::to_string(v) + "\n";
  }
  return text;
}

// The porh and heating rows of each recording are the lines porh and heating print for it, empty cells and notes
// kept, with the occlusions typed, found, or the markers' segments named occlusion.
TEST(StudyResponse, PorhAndHeatingRowsAreThoseOfTheCommands) {
  TempDir dir;
  std::string manifest = "subject,group,file,markers\n";
  for (int s = 1; s <= 3; ++s) {
    // Subject 3's first occlusion starts 30 s in: no full baseline before it (an empty cell with its note).
    const double o1 = s == 3 ? 30.0 : 120.0;
    dir.write("f" + std::to_string(s) + ".txt", FluxRecord(s, o1));
    dir.write("f" + std::to_string(s) + ".m.csv", std::to_string(o1) + ",occlusion 1,60\n330,occlusion 2,40\n"
                                                  "480,heating,120\n");
    manifest += "R" + std::to_string(s) + ",g," + "f" + std::to_string(s) + ".txt,f" + std::to_string(s) + ".m.csv\n";
  }
  const std::string manifestPath = dir.write("m.csv", manifest);
  struct Way {
    std::vector<std::string> study, porh;
  };
  const std::vector<Way> ways = {
      {{"--occlusion", "120:180", "--occlusion", "330:370"}, {"--occlusion", "120:180", "--occlusion", "330:370"}},
      {{"--find-occlusions"}, {"--find-occlusions"}},
      {{}, {}},  // the markers: occlusion K at the sidecar's times
  };
  for (std::size_t w = 0; w < ways.size(); ++w) {
    std::vector<std::string> args = {"study", manifestPath, "--out", dir.file("o" + std::to_string(w)), "--measures",
                                     "porh,heating"};
    args.insert(args.end(), ways[w].study.begin(), ways[w].study.end());
    const CliRun run = Cli(args);
    ASSERT_EQ(run.status, 0) << run.err;
    const std::vector<std::string> rows = Lines(TempDir::read(dir.file("o" + std::to_string(w) + "/rows.csv")));
    int noted = 0;
    for (int s = 1; s <= 3; ++s) {
      const std::string subject = "R" + std::to_string(s), file = dir.file("f" + std::to_string(s) + ".txt");
      std::vector<std::string> porhArgs = {"porh", file};
      if (w == 2) {
        const double o1 = s == 3 ? 30.0 : 120.0;
        porhArgs.insert(porhArgs.end(), {"--occlusion", std::to_string(o1) + ":" + std::to_string(o1 + 60.0),
                                         "--occlusion", "330:370"});
      } else {
        porhArgs.insert(porhArgs.end(), ways[w].porh.begin(), ways[w].porh.end());
      }
      const CliRun porh = Cli(porhArgs);
      ASSERT_EQ(porh.status, 0) << porh.err;
      const CliRun heating = Cli({"heating", file, "--heating", "480:600"});
      ASSERT_EQ(heating.status, 0) << heating.err;
      std::vector<std::string> expected;
      const char* porhMeasures[] = {"baseline", "biological_zero", "peak", "time_to_peak_s", "peak_pct_baseline",
                                    "peak_minus_bz", "hyperaemic_area", "repayment", "t50_s"};
      const std::vector<std::string> porhLines = Lines(porh.out);
      ASSERT_EQ(porhLines.size(), 3u) << porh.out;
      for (std::size_t i = 1; i < porhLines.size(); ++i) {
        const std::vector<std::string> f = Fields(porhLines[i]);
        ASSERT_EQ(f.size(), 13u);
        for (int m = 0; m < 9; ++m)
          if (!f[3 + m].empty() || !f[12].empty())
            expected.push_back(subject + ",g,,occlusion " + f[0] + "," + f[1] + "," + f[2] + ",," + porhMeasures[m] +
                               "," + f[3 + m] + "," + f[12]);
      }
      const char* heatingMeasures[] = {"baseline", "initial_peak", "nadir", "plateau", "initial_peak_pct_max",
                                       "plateau_pct_max"};
      const std::vector<std::string> heatingLines = Lines(heating.out);
      ASSERT_EQ(heatingLines.size(), 2u);
      const std::vector<std::string> f = Fields(heatingLines[1]);
      ASSERT_EQ(f.size(), 10u);
      for (int m = 0; m < 6; ++m)
        if (!f[3 + m].empty() || !f[9].empty())
          expected.push_back(subject + ",g,,heating," + f[1] + "," + f[2] + ",," + heatingMeasures[m] + "," +
                             f[3 + m] + "," + f[9]);
      std::vector<std::string> got;
      for (const std::string& row : rows)
        if (row.rfind(subject + ",", 0) == 0) {
          got.push_back(row);
          const std::vector<std::string> cells = Fields(row);
          if (cells[8].empty()) ++noted;
        }
      std::sort(expected.begin(), expected.end());
      std::sort(got.begin(), got.end());
      EXPECT_EQ(got, expected) << subject << " way " << w;
    }
    if (w == 2) {
      EXPECT_GT(noted, 0);  // subject 3's first occlusion has no baseline before it
    }
    // The occlusions are conditions: the first against the second within subjects.
    const std::string tests = TempDir::read(dir.file("o" + std::to_string(w) + "/tests.csv"));
    EXPECT_NE(tests.find(",peak,occlusion 1 vs occlusion 2,wilcoxon_signed_rank_"), std::string::npos) << tests;
  }
  // A heating phase that is not there is the recording's fault, named.
  const CliRun missing = Cli({"study", manifestPath, "--out", dir.file("x"), "--measures", "heating", "--heating",
                              "warm"});
  EXPECT_EQ(missing.status, 3) << missing.err;
  EXPECT_NE(missing.err.find("no segment 'warm' for the heating measures"), std::string::npos) << missing.err;
}

}  // namespace
}  // namespace kelvora::cli
