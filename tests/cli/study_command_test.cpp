// kelvora-cli study on small synthetic pairs made here: three shards merged give the one run's tables byte for
// byte, a second run recomputes only what is missing or changed, bad manifests and bad recordings.
#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <string>
#include <vector>

#include "cli_run.h"
#include "../signals/temp_dir.h"

namespace kelvora::cli {
namespace {

using kelvora::cli::testing::Cli;
using kelvora::cli::testing::CliRun;
using kelvora::testing::TempDir;

// A 5-minute 2 Hz record: a slow and a faster oscillation with a subject-dependent phase and amplitude.
std::string Record(int subject, bool bloodFlow) {
  std::string text;
  for (int n = 0; n < 600; ++n) {
    const double t = n / 2.0;
    const double a = 1.0 + 0.1 * subject, phase = 0.7 * subject + (bloodFlow ? 0.0 : 0.9);
    const double v = (bloodFlow ? 50.0 : 30.0) + a * std::sin(2 * M_PI * 0.1 * t + phase) +
                     0.3 * std::sin(2 * M_PI * 0.3 * t + 1.3 * subject) + 0.05 * std::sin(0.37 * n * n + subject);
    text += std::to_string(v) + "\n";
  }
  return text;
}

// Six subjects in two groups, each at rest and after heating (12 pairs).
std::string MakeStudy(const TempDir& dir) {
  std::string manifest = "subject,group,condition,file,bf_file\n";
  for (int s = 1; s <= 6; ++s)
    for (const char* condition : {"rest", "heat"}) {
      const int seed = s * 2 + (condition[0] == 'h');
      const std::string name = "s" + std::to_string(s) + condition;
      dir.write(name + "_t.txt", Record(seed, false));
      dir.write(name + "_bf.txt", Record(seed, true));
      manifest += "S" + std::to_string(s) + "," + (s <= 3 ? "control" : "patient") + "," + condition + "," + name +
                  "_t.txt," + name + "_bf.txt\n";
    }
  return dir.write("manifest.csv", manifest);
}

std::vector<std::string> Study(const std::string& manifest, const std::string& out,
                               std::vector<std::string> extra = {}) {
  std::vector<std::string> args = {"study", manifest, "--out", out, "--measures", "bands,coherence",
                                   "--bands", "slow:0.05:0.15,fast:0.15:0.6", "--fmin", "0.05", "--voices", "8",
                                   "--surrogates", "3", "--threads", "2"};
  args.insert(args.end(), extra.begin(), extra.end());
  return args;
}

TEST(StudyCommand, ThreeShardsMergedEqualOneRunByteForByte) {
  TempDir dir;
  const std::string manifest = MakeStudy(dir);
  const CliRun whole = Cli(Study(manifest, dir.file("whole")));
  ASSERT_EQ(whole.status, 0) << whole.err;
  EXPECT_NE(whole.err.find("12 recordings: 12 computed, 0 reused, 0 failed"), std::string::npos) << whole.err;
  std::vector<std::string> merge = {"study", "merge"};
  for (int k = 1; k <= 3; ++k) {
    const std::string out = dir.file("shard" + std::to_string(k));
    const CliRun shard = Cli(Study(manifest, out, {"--shard", std::to_string(k) + "/3"}));
    ASSERT_EQ(shard.status, 0) << shard.err;
    EXPECT_NE(shard.err.find("4 recordings: 4 computed"), std::string::npos) << shard.err;
    merge.push_back(out);
  }
  merge.insert(merge.end(), {"--out", dir.file("merged")});
  const CliRun merged = Cli(merge);
  ASSERT_EQ(merged.status, 0) << merged.err;
  for (const char* name : {"rows.csv", "summary.csv", "tests.csv", "group_coherence.csv"}) {
    const std::string one = TempDir::read(dir.file("whole/") + name);
    EXPECT_GT(one.size(), 100u) << name;
    EXPECT_EQ(one, TempDir::read(dir.file("merged/") + name)) << name;
  }
  // Both comparisons are there: the conditions within subjects and the groups within each condition.
  const std::string tests = TempDir::read(dir.file("whole/tests.csv"));
  EXPECT_NE(tests.find("slow,amplitude,rest vs heat,wilcoxon_signed_rank_exact,6,"), std::string::npos) << tests;
  EXPECT_NE(tests.find("slow,amplitude,control vs patient in rest,mann_whitney_u_exact,6,"), std::string::npos);
  EXPECT_TRUE(std::filesystem::file_size(dir.file("whole/report.pdf")) > 1000);
  EXPECT_NE(TempDir::read(dir.file("whole/provenance.json")).find("\"sha256\""), std::string::npos);
}

TEST(StudyCommand, ResumesWithWhatIsMissingAndRecomputesWhatChanged) {
  TempDir dir;
  const std::string manifest = MakeStudy(dir);
  const std::string out = dir.file("out");
  ASSERT_EQ(Cli(Study(manifest, out)).status, 0);
  const std::string rows = TempDir::read(out + "/rows.csv");
  const CliRun again = Cli(Study(manifest, out));
  EXPECT_NE(again.err.find(": 0 computed, 12 reused"), std::string::npos) << again.err;
  EXPECT_EQ(TempDir::read(out + "/rows.csv"), rows);
  // Two results lost (an interrupted run) and one BF file changed: those two, the changed pair and the two pairs
  // whose inter-subject level uses that BF (the other patients after heating) are computed.
  int removed = 0;
  for (const auto& entry : std::filesystem::directory_iterator(out + "/results")) {
    const std::string text = TempDir::read(entry.path().string());
    if (text.find("\nS1,control,rest,") != std::string::npos || text.find("\nS2,control,heat,") != std::string::npos)
      removed += std::filesystem::remove(entry.path());
  }
  ASSERT_EQ(removed, 2);
  dir.write("s6heat_bf.txt", Record(40, true));
  const CliRun resumed = Cli(Study(manifest, out));
  EXPECT_NE(resumed.err.find(": 5 computed, 7 reused"), std::string::npos) << resumed.err;
  const CliRun plain = Cli(Study(manifest, dir.file("plain"), {"--intersubject", "off"}));
  dir.write("s6heat_bf.txt", Record(41, true));
  const CliRun plainAgain = Cli(Study(manifest, dir.file("plain"), {"--intersubject", "off"}));
  EXPECT_NE(plainAgain.err.find(": 1 computed, 11 reused"), std::string::npos) << plainAgain.err;
  // Other settings: nothing is reused.
  const CliRun reseeded = Cli(Study(manifest, out, {"--seed", "7"}));
  EXPECT_NE(reseeded.err.find(": 12 computed, 0 reused"), std::string::npos) << reseeded.err;
}

TEST(StudyCommand, RefusesABadManifestRowWithItsLine) {
  TempDir dir;
  dir.write("t.txt", Record(1, false));
  const std::string manifest = dir.write("m.csv", "subject,group,file\nA,g,t.txt\nB,g,\n");
  const CliRun run = Cli({"study", manifest, "--out", dir.file("out")});
  EXPECT_EQ(run.status, 2);
  EXPECT_NE(run.err.find("line 3: 'file' is empty"), std::string::npos) << run.err;
  const CliRun unknown = Cli({"study", dir.write("u.csv", "subject,file,weight\nA,t.txt,3\n"), "--out", dir.file("o")});
  EXPECT_EQ(unknown.status, 2);
  EXPECT_NE(unknown.err.find("line 1: unknown column 'weight'"), std::string::npos) << unknown.err;
  const CliRun heating = Cli({"study", manifest, "--out", dir.file("o"), "--measures", "bands,porh", "--heating", "0:60"});
  EXPECT_EQ(heating.status, 2);
  EXPECT_NE(heating.err.find("--heating goes with --measures heating"), std::string::npos) << heating.err;
}

TEST(StudyCommand, ABadRecordingIsReportedAndTheOthersGoOn) {
  TempDir dir;
  dir.write("a.txt", Record(1, true));
  dir.write("b.txt", Record(2, true));
  dir.write("bad.txt", "1\n2\nnot a number\n");
  const std::string manifest =
      dir.write("m.csv", "subject,file\nA,a.txt\nB,bad.txt\nC,missing.txt\nD,b.txt\n");
  const CliRun run = Cli({"study", manifest, "--out", dir.file("out"), "--bands", "slow:0.05:0.15", "--fmin", "0.05"});
  EXPECT_EQ(run.status, 2) << run.err;  // two recordings failed
  EXPECT_NE(run.err.find("m.csv:3: "), std::string::npos) << run.err;
  EXPECT_NE(run.err.find("m.csv:4: "), std::string::npos) << run.err;
  const std::string rows = TempDir::read(dir.file("out/rows.csv"));
  EXPECT_NE(rows.find("\nA,,,whole,,,slow,amplitude,"), std::string::npos) << rows;
  EXPECT_NE(rows.find("\nD,,,whole,,,slow,amplitude,"), std::string::npos) << rows;
}

}  // namespace
}  // namespace kelvora::cli
