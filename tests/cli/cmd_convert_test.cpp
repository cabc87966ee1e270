#include <cmath>
#include <sstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "cli/commands.h"
#include "core/conversion_scaling.h"
#include "signals/transform_session.h"
#include "tests/signals/temp_dir.h"

namespace kelvora::cli {
namespace {

using kelvora::testing::TempDir;

struct ConvertRun {
  int status = -1;
  std::string out;
  std::string err;
};

ConvertRun Convert(std::vector<std::string> args, char separator = '.') {
  args.insert(args.begin(), "convert");
  std::ostringstream out, err;
  CliContext context{out, err, DecimalFormat::ForSeparator(separator)};
  ConvertRun run;
  run.status = RunCli(args, context);
  run.out = out.str();
  run.err = err.str();
  return run;
}

std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> lines;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  return lines;
}

std::string Column(const std::vector<double>& values) {
  std::ostringstream out;
  out.precision(17);
  for (double v : values) out << v << "\n";
  return out.str();
}

std::vector<double> Temperature(int count) {
  std::vector<double> t(count);
  for (int i = 0; i < count; ++i) t[i] = std::round((32.0 + std::sin(i / 40.0) + 0.2 * std::sin(i / 7.0)) * 1000) / 1000;
  return t;
}

std::vector<double> BloodFlow(int count) {
  std::vector<double> b(count);
  for (int i = 0; i < count; ++i) b[i] = std::round((15.0 + 5 * std::sin(i / 40.0 + 0.3)) * 1000) / 1000;
  return b;
}

TEST(CliConvert, HelpAndUsageErrors) {
  const ConvertRun help = Convert({"--help"});
  EXPECT_EQ(help.status, kExitSuccess);
  for (const char* option : {"--direction", "--band", "--model", "--depth-mm", "--rho-blood", "--t0", "--nonlinear",
                             "--scaling", "--scale-a", "--compare", "--full-precision"})
    EXPECT_NE(help.out.find(option), std::string::npos) << option;

  TempDir dir;
  const std::string t = dir.write("t.txt", Column(Temperature(20)));
  const std::vector<std::vector<std::string>> bad = {
      {t, "--direction", "t2bf"},
      {t, "--method", "fourier"},
      {t, "--method", "magic", "--direction", "t2bf"},
      {t, "--method", "fourier", "--direction", "sideways"},
      {t, "--method", "wavelet", "--direction", "bf2t"},
      {t, "--method", "fourier", "--direction", "t2bf", "--t0", "30"},
      {t, "--method", "shitzer", "--direction", "t2bf", "--lambda", "0.5"},
      {t, "--method", "fourier", "--direction", "t2bf", "--band", "0.2:0.1"},
      {t, "--method", "fourier", "--direction", "t2bf", "--lambda", "-1"},
      {t, "--method", "shitzer", "--direction", "t2bf", "--h-air", "6.5"},
      {t, "--method", "fourier", "--direction", "t2bf", "--scale-a", "2"},
      {t, "--method", "fourier", "--direction", "t2bf", "--scaling", "huge"},
      {"--method", "fourier", "--direction", "t2bf"},
  };
  for (const auto& args : bad) {
    const ConvertRun run = Convert(args);
    EXPECT_EQ(run.status, kExitUsage) << args.back();
    EXPECT_TRUE(run.out.empty());
    EXPECT_NE(run.err.find("kelvora-cli convert: "), std::string::npos);
  }
}

// The command and the session compute the same records from the same settings.
TEST(CliConvert, ResultsAreTheSessionsInFullPrecision) {
  TempDir dir;
  const std::string t = dir.write("t.txt", Column(Temperature(300)));
  const std::string bf = dir.write("bf.txt", Column(BloodFlow(300)));

  TransformSession session;
  ASSERT_TRUE(session.LoadT(t, NullProgress()).ok());
  ASSERT_TRUE(session.LoadBF(bf, NullProgress()).ok());
  session.setModel(ConversionModel::Derivative);
  session.setBand(Side::Temperature, 0.0, 0.2);
  session.setScalingMode(ScalingMode::Absolute);
  ASSERT_TRUE(session.BtnTtoBF(NullProgress()).ok());
  session.setMethod(ConversionMethod::Shitzer);
  session.setScalingMode(ScalingMode::Scaled);
  session.setScalingTexts(Side::BloodFlow, "2", "-1");
  session.setStartTemperatureText("35");
  ASSERT_TRUE(session.BtnBFtoT(NullProgress()).ok());

  const ConvertRun fourier = Convert({t, "--method", "fourier", "--direction", "t2bf", "--model", "derivative", "--band",
                               "0:0.2", "--scaling", "absolute", "--full-precision"});
  ASSERT_EQ(fourier.status, kExitSuccess) << fourier.err;
  const std::vector<std::string> f = Lines(fourier.out);
  ASSERT_EQ(f.size(), 300u);
  for (std::size_t i = 0; i < f.size(); ++i) EXPECT_EQ(std::stod(f[i]), session.converted(Side::Temperature)[i]) << i;

  const ConvertRun shitzer = Convert({bf, "--method", "shitzer", "--direction", "bf2t", "--scaling", "scaled", "--scale-a", "2",
                               "--scale-b", "-1", "--t0", "35", "--full-precision"});
  ASSERT_EQ(shitzer.status, kExitSuccess) << shitzer.err;
  const std::vector<std::string> s = Lines(shitzer.out);
  ASSERT_EQ(s.size(), 300u);
  EXPECT_EQ(std::stod(s[0]), 2 * 35.0 - 1);
  for (std::size_t i = 0; i < s.size(); ++i) EXPECT_EQ(std::stod(s[i]), session.converted(Side::BloodFlow)[i]) << i;
}

TEST(CliConvert, CompareAppendsTheCorrelation) {
  TempDir dir;
  const std::vector<double> tValues = Temperature(200);
  const std::string t = dir.write("t.txt", Column(tValues));
  const std::string bf = dir.write("bf.txt", Column(BloodFlow(180)));
  const std::string out = dir.file("bfstar.txt");
  const ConvertRun run = Convert({t, "--method", "shitzer", "--direction", "t2bf", "--compare", bf, "-o", out});
  ASSERT_EQ(run.status, kExitSuccess) << run.err;
  const std::vector<std::string> written = Lines(TempDir::read(out));
  ASSERT_EQ(written.size(), 200u);
  std::vector<double> bfStar;
  for (const std::string& line : written) bfStar.push_back(std::stod(line));
  // BF* was written with three decimals; the correlation is of the full values, over the 180 shared samples.
  const std::vector<double> measured = BloodFlow(180);
  const double r = *PearsonCorrelation(measured, bfStar);
  const std::vector<std::string> lines = Lines(run.out);
  ASSERT_EQ(lines.size(), 1u);
  ASSERT_EQ(lines[0].rfind("Correlation: ", 0), 0u);
  EXPECT_NEAR(std::stod(lines[0].substr(13)), r, 0.0015);

  // Identical records: the wavelet-free way to get them is a Fourier T -> BF* at depth 0 over the full band,
  // which gives back the band-filtered T; its correlation with T is then close to 1 and printed as "1".
  const ConvertRun same = Convert({t, "--method", "fourier", "--direction", "t2bf", "--depth-mm", "0", "--band", "0:0.9",
                            "--compare", t});
  ASSERT_EQ(same.status, kExitSuccess) << same.err;
  EXPECT_EQ(Lines(same.out).back(), "Correlation: 1");
}

TEST(CliConvert, UndefinedModelAndBadFilesFailWithoutOutput) {
  TempDir dir;
  const std::string out = dir.write("keep.txt", "old\n");
  const std::string hot = dir.write("hot.txt", "36\n37\n36.5\n36.4\n36.3\n");
  ConvertRun run = Convert({hot, "--method", "shitzer", "--direction", "t2bf", "-o", out});
  EXPECT_EQ(run.status, kExitBadInput);
  EXPECT_NE(run.err.find("37"), std::string::npos);
  EXPECT_EQ(TempDir::read(out), "old\n");

  const std::string flat = dir.write("flat.txt", "5\n5\n5\n");
  run = Convert({flat, "--method", "shitzer", "--direction", "bf2t", "-o", out});
  EXPECT_EQ(run.status, kExitBadInput);
  EXPECT_NE(run.err.find("constant"), std::string::npos);
  EXPECT_EQ(TempDir::read(out), "old\n");

  const std::string bad = dir.write("bad.txt", "1\n2\nx\n");
  run = Convert({bad, "--method", "fourier", "--direction", "bf2t", "-o", out});
  EXPECT_EQ(run.status, kExitBadInput);
  EXPECT_NE(run.err.find("bad.txt:3: 'x'"), std::string::npos);
  EXPECT_EQ(TempDir::read(out), "old\n");

  run = Convert({dir.file("missing.txt"), "--method", "fourier", "--direction", "t2bf"});
  EXPECT_EQ(run.status, kExitBadInput);
  EXPECT_NE(run.err.find("File does not exist"), std::string::npos);

  const std::string empty = dir.write("empty.txt", "");
  run = Convert({empty, "--method", "fourier", "--direction", "bf2t"});
  EXPECT_EQ(run.status, kExitBadInput);

  // A constant compare record has no correlation: nothing is written.
  const std::string t = dir.write("t.txt", Column(Temperature(50)));
  run = Convert({t, "--method", "shitzer", "--direction", "t2bf", "--compare", flat, "-o", out});
  EXPECT_EQ(run.status, kExitBadInput);
  EXPECT_EQ(TempDir::read(out), "old\n");
}

TEST(CliConvert, KelvinInputAndCommaLocale) {
  TempDir dir;
  std::string kelvin, comma;
  for (int i = 0; i < 40; ++i) {
    kelvin += std::to_string(305.15 + 0.1 * std::sin(i / 5.0)) + "\n";
    std::string c = std::to_string(32.0 + 0.1 * std::sin(i / 5.0));
    for (char& ch : c)
      if (ch == '.') ch = ',';
    comma += c + "\n";
  }
  const ConvertRun k = Convert({dir.write("k.txt", kelvin), "--method", "shitzer", "--direction", "t2bf", "--scaling",
                         "absolute", "--full-precision"});
  ASSERT_EQ(k.status, kExitSuccess) << k.err;
  const ConvertRun c = Convert({dir.write("c.txt", comma), "--method", "shitzer", "--direction", "t2bf", "--scaling",
                         "absolute", "--full-precision"},
                        ',');
  ASSERT_EQ(c.status, kExitSuccess) << c.err;
  // 305.15 K is 32 °C: both inputs describe the same temperatures (up to the text's rounding).
  const std::vector<std::string> kl = Lines(k.out);
  std::vector<std::string> cl = Lines(c.out);
  ASSERT_EQ(kl.size(), 40u);
  ASSERT_EQ(cl.size(), 40u);
  for (std::string& line : cl)
    for (char& ch : line)
      if (ch == ',') ch = '.';
  for (std::size_t i = 0; i < kl.size(); ++i) EXPECT_NEAR(std::stod(kl[i]), std::stod(cl[i]), 1e-12) << i;
}

// The fault: convert read its input through the session and worded the errors itself, so an empty file gave
// "empty.txt:1: '' is not a valid number" and a binary line went raw to the terminal, where filter says "no
// samples" and escapes the bytes. Both commands now read with one reader and give one message.
TEST(CliConvert, EmptyOrBinaryInputGetsTheSameMessageAsFilter) {
  TempDir dir;
  const std::string empty = dir.write("empty.txt", "");
  const std::string binary = dir.write("binary.txt", std::string("31.5\n32\n\x01\x02\0\xFF\n", 13));
  for (const std::string& input : {empty, binary}) {
    std::ostringstream out, err;
    CliContext context{out, err, DecimalFormat::ForSeparator('.')};
    EXPECT_EQ(RunCli({"filter", "--method", "fourier", "--band", "0:1", input}, context), kExitBadInput);
    for (const char* direction : {"t2bf", "bf2t"}) {
      const ConvertRun run = Convert({input, "--method", "fourier", "--direction", direction});
      EXPECT_EQ(run.status, kExitBadInput);
      EXPECT_EQ(run.err, err.str()) << direction;
      EXPECT_TRUE(run.out.empty());
    }
  }
}

}  // namespace
}  // namespace kelvora::cli
