#include "tests/said.h"
#include "signals/transform_session.h"

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <functional>
#include <fstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

namespace kelvora {
namespace {

namespace fs = std::filesystem;

class TransformSessionTest : public ::testing::Test {
 protected:
  void SetUp() override {
    m_dir = fs::temp_directory_path() /
            ("kelvora_session_" + std::string(::testing::UnitTest::GetInstance()->current_test_info()->name()));
    fs::create_directories(m_dir);
  }
  void TearDown() override { fs::remove_all(m_dir); }

  std::string write(const std::string& name, const std::vector<double>& values) {
    const fs::path path = m_dir / name;
    std::ofstream out(path);
    for (double v : values) out << v << "\n";
    return path.string();
  }
  std::string writeText(const std::string& name, const std::string& text) {
    const fs::path path = m_dir / name;
    std::ofstream(path) << text;
    return path.string();
  }

  // A slowly varying skin temperature and a blood flow that follows it.
  static std::vector<double> Temperature(int count) {
    std::vector<double> t(count);
    for (int i = 0; i < count; ++i) t[i] = 32.0 + 1.2 * std::sin(i / 90.0) + 0.1 * std::sin(i / 9.0);
    return t;
  }
  static std::vector<double> BloodFlow(int count) {
    std::vector<double> b(count);
    for (int i = 0; i < count; ++i) b[i] = 20.0 + 8.0 * std::sin(i / 90.0 + 0.5) + std::cos(i / 13.0);
    return b;
  }

  // Both records loaded and both conversions done with Shitzer's model, both overlays shown.
  void loadConvertAndOutput(TransformSession& session) {
    session.setMethod(ConversionMethod::Shitzer);
    ASSERT_TRUE(session.LoadT(write("t.txt", Temperature(400)), NullProgress()).ok());
    ASSERT_TRUE(session.LoadBF(write("bf.txt", BloodFlow(300)), NullProgress()).ok());
    ASSERT_TRUE(session.BtnTtoBF(NullProgress()).ok());
    ASSERT_TRUE(session.BtnBFtoT(NullProgress()).ok());
    ASSERT_TRUE(session.OutputBF().ok());
    ASSERT_TRUE(session.OutputT().ok());
  }

  fs::path m_dir;
};

TEST_F(TransformSessionTest, StartState) {
  TransformSession session;
  const TransformViewState v = session.viewState();
  EXPECT_FALSE(v.temperature.loaded);
  EXPECT_FALSE(v.bloodFlow.loaded);
  EXPECT_FALSE(v.temperature.converted.ready || v.temperature.converted.ready || v.temperature.converted.outputEnabled);
  EXPECT_FALSE(v.bloodFlow.converted.ready || v.bloodFlow.converted.ready || v.bloodFlow.converted.outputEnabled);
  EXPECT_EQ(session.band(Side::Temperature).low, 0.0);
  EXPECT_EQ(session.band(Side::Temperature).high, 0.1);
  EXPECT_EQ(session.band(Side::BloodFlow).high, 2.0);
  EXPECT_EQ(session.startTemperatureText(), "36.24");
  EXPECT_EQ(session.grid().cell(6, 1), "Lambda");
  // Arrows before a load do nothing.
  EXPECT_TRUE(session.BtnTtoBF(NullProgress()).ok());
  EXPECT_TRUE(session.BtnBFtoT(NullProgress()).ok());
  EXPECT_FALSE(session.convertedReady(Side::Temperature));
  EXPECT_FALSE(session.convertedReady(Side::BloodFlow));
  EXPECT_FALSE(session.OutputBF().ok());
}

TEST_F(TransformSessionTest, LoadTResetsExactlyTheBloodFlowStarSide) {
  TransformSession session;
  loadConvertAndOutput(session);
  TransformViewState before = session.viewState();
  ASSERT_TRUE(before.temperature.converted.outputEnabled && before.bloodFlow.converted.outputEnabled);
  ASSERT_TRUE(before.temperature.converted.correlation);
  ASSERT_TRUE(before.bloodFlow.converted.correlation);

  ASSERT_TRUE(session.LoadT(write("t2.txt", Temperature(250)), NullProgress(), "Example 1").ok());
  const TransformViewState v = session.viewState();
  EXPECT_FALSE(session.convertedReady(Side::Temperature));
  EXPECT_FALSE(v.temperature.converted.ready);
  EXPECT_FALSE(v.temperature.converted.ready);
  EXPECT_FALSE(v.temperature.converted.outputEnabled);
  EXPECT_FALSE(v.temperature.converted.correlation);
  EXPECT_FALSE(v.bloodFlow.converted.correlation);
  // The T* side keeps its result; its Output button comes back because T* is ready.
  EXPECT_TRUE(session.convertedReady(Side::BloodFlow));
  EXPECT_TRUE(v.bloodFlow.converted.ready);
  EXPECT_TRUE(v.bloodFlow.converted.ready);
  EXPECT_TRUE(v.bloodFlow.converted.outputEnabled);
  EXPECT_EQ(v.temperature.sampleCount, 250);
  EXPECT_EQ(v.temperature.source, "Example 1");
  EXPECT_TRUE(v.temperature.loaded);
  EXPECT_EQ(session.record(Side::Temperature).count(), 250);
}

// After a new record, no curve made from the one it replaced stays: its converted curve and the other side's
// overlay of it go; the other side's converted record stays, drawn as its conversion made it.
TEST_F(TransformSessionTest, NewRecordLeavesNoCurveMadeFromTheOldOne) {
  for (Side replaced : {Side::Temperature, Side::BloodFlow}) {
    TransformSession session;
    loadConvertAndOutput(session);
    const Side other = OtherSide(replaced);
    const TransformViewState before = session.viewState();
    ASSERT_FALSE(before.side(replaced).converted.curve.empty());
    ASSERT_FALSE(before.side(other).converted.overlay.empty());
    ASSERT_EQ(before.side(other).converted.axis, AxisUnits::Measured);
    const SessionResult load = replaced == Side::Temperature
                                   ? session.LoadT(write("t2.txt", Temperature(250)), NullProgress())
                                   : session.LoadBF(write("bf2.txt", BloodFlow(120)), NullProgress());
    ASSERT_TRUE(load.ok());
    const TransformViewState v = session.viewState();
    EXPECT_TRUE(v.side(replaced).converted.curve.empty());
    EXPECT_TRUE(v.side(replaced).converted.overlay.empty());
    EXPECT_TRUE(session.converted(replaced).empty());
    EXPECT_FALSE(session.provenance(replaced).has_value());
    EXPECT_TRUE(v.side(other).converted.overlay.empty());
    // The kept record is drawn as its conversion made it: one point per sample, normalised values.
    EXPECT_EQ(v.side(other).converted.curve.y, session.converted(other));
    EXPECT_EQ(v.side(other).converted.axis, AxisUnits::Normalized);
  }
}

// The settings a conversion ran with stay with its record; a later change of one it uses marks it out of date
// and a change of one it does not use does not.
TEST_F(TransformSessionTest, ProvenanceIsTheConversionRunNotLaterSettings) {
  TransformSession session;
  TissueParameters tissue;
  tissue.wave.depthM = 0.002;
  session.setTissueParameters(tissue);
  session.setMethod(ConversionMethod::Fourier);
  ASSERT_TRUE(session.LoadT(write("t.txt", Temperature(400)), NullProgress(), "T file").ok());
  ASSERT_TRUE(session.BtnTtoBF(NullProgress()).ok());
  ASSERT_TRUE(session.provenance(Side::Temperature).has_value());
  EXPECT_FALSE(session.convertedOutdated(Side::Temperature));
  EXPECT_FALSE(session.viewState().temperature.converted.outdated);

  struct Change {
    const char* what;
    std::function<void(TransformSession&)> apply;
    bool outdates;
  };
  const std::vector<Change> changes = {
      {"depth", [](TransformSession& s) { TissueParameters p = s.tissueParameters(); p.wave.depthM = 0.003; s.setTissueParameters(p); }, true},
      {"method", [](TransformSession& s) { s.setMethod(ConversionMethod::Wavelet); }, true},
      {"model", [](TransformSession& s) { s.setModel(ConversionModel::Derivative); }, true},
      {"T band", [](TransformSession& s) { s.setBand(Side::Temperature, 0.01, 0.1); }, true},
      {"rate", [](TransformSession& s) { s.setSampleRate(5); }, true},
      {"power law", [](TransformSession& s) { s.setNonlinear(true); }, true},
      {"scaling", [](TransformSession& s) { s.setScalingMode(ScalingMode::Absolute); }, true},
      {"BF band (not used for BF*)", [](TransformSession& s) { s.setBand(Side::BloodFlow, 0.1, 1.0); }, false},
      {"T0 (Shitzer's BF -> T* only)", [](TransformSession& s) { s.setStartTemperatureText("30"); }, false},
      {"air (Shitzer only)", [](TransformSession& s) { TissueParameters p = s.tissueParameters(); p.shitzer.tAir = 30; s.setTissueParameters(p); }, false},
      {"wavelet (wavelet method only)", [](TransformSession& s) { s.setWaveletChoices(WaveletType::Paul, std::nullopt); }, false},
  };
  for (const Change& change : changes) {
    TransformSession fresh;
    fresh.setTissueParameters(tissue);
    ASSERT_TRUE(fresh.LoadT(write("t.txt", Temperature(400)), NullProgress(), "T file").ok());
    ASSERT_TRUE(fresh.BtnTtoBF(NullProgress()).ok());
    change.apply(fresh);
    EXPECT_EQ(fresh.convertedOutdated(Side::Temperature), change.outdates) << change.what;
    EXPECT_EQ(fresh.viewState().temperature.converted.outdated, change.outdates) << change.what;
    // Whatever changed, the record's provenance is the run's.
    const ConversionProvenance& made = *fresh.provenance(Side::Temperature);
    EXPECT_EQ(made.method, ConversionMethod::Fourier) << change.what;
    EXPECT_DOUBLE_EQ(made.tissue.wave.depthM, 0.002) << change.what;
    EXPECT_EQ(made.band.low, 0.0) << change.what;
    EXPECT_EQ(made.band.high, 0.1) << change.what;
    EXPECT_EQ(made.inputRateHz, 2) << change.what;
    EXPECT_EQ(made.source, "T file") << change.what;
    EXPECT_EQ(made.programVersion, KELVORA_VERSION) << change.what;
  }
  // A change back to the run's settings makes the record current again.
  TissueParameters deeper = tissue;
  deeper.wave.depthM = 0.003;
  session.setTissueParameters(deeper);
  EXPECT_TRUE(session.convertedOutdated(Side::Temperature));
  session.setTissueParameters(tissue);
  EXPECT_FALSE(session.convertedOutdated(Side::Temperature));
}

TEST_F(TransformSessionTest, LoadBFResetsExactlyTheTemperatureStarSide) {
  TransformSession session;
  loadConvertAndOutput(session);
  const std::string path = write("bf2.txt", BloodFlow(120));
  ASSERT_TRUE(session.LoadBF(path, NullProgress()).ok());
  const TransformViewState v = session.viewState();
  EXPECT_FALSE(session.convertedReady(Side::BloodFlow));
  EXPECT_FALSE(v.bloodFlow.converted.ready);
  EXPECT_FALSE(v.bloodFlow.converted.ready);
  EXPECT_FALSE(v.bloodFlow.converted.outputEnabled);
  EXPECT_FALSE(v.temperature.converted.correlation);
  EXPECT_FALSE(v.bloodFlow.converted.correlation);
  EXPECT_TRUE(session.convertedReady(Side::Temperature));
  EXPECT_TRUE(v.temperature.converted.ready);
  EXPECT_TRUE(v.temperature.converted.outputEnabled);
  EXPECT_EQ(v.bloodFlow.sampleCount, 120);
  EXPECT_EQ(v.bloodFlow.source, path);
  EXPECT_TRUE(v.bloodFlow.loaded);
  EXPECT_EQ(v.bloodFlow.measured.x.size(), 120u);
  EXPECT_DOUBLE_EQ(v.bloodFlow.measured.x[60], 60.0 / 2 / 60);
}

TEST_F(TransformSessionTest, FailedLoadsChangeNothing) {
  TransformSession session;
  loadConvertAndOutput(session);
  const TransformViewState before = session.viewState();
  const std::vector<double> bfStar = session.converted(Side::Temperature);

  const SessionResult missing = session.LoadT((m_dir / "none.txt").string(), NullProgress());
  EXPECT_FALSE(missing.ok());
  EXPECT_NE(Said(missing).find("File does not exist"), std::string::npos);
  const SessionResult bad = session.LoadBF(writeText("bad.txt", "1.5\n2.5\nabc\n3\n"), NullProgress());
  EXPECT_FALSE(bad.ok());
  EXPECT_NE(Said(bad).find("abc"), std::string::npos);
  EXPECT_NE(Said(bad).find("bad.txt:3: 'abc'"), std::string::npos);

  const TransformViewState after = session.viewState();
  EXPECT_EQ(after.temperature.sampleCount, before.temperature.sampleCount);
  EXPECT_EQ(after.bloodFlow.sampleCount, before.bloodFlow.sampleCount);
  EXPECT_EQ(after.temperature.converted.correlation, before.temperature.converted.correlation);
  EXPECT_EQ(after.bloodFlow.converted.correlation, before.bloodFlow.converted.correlation);
  EXPECT_EQ(after.temperature.converted.outputEnabled, before.temperature.converted.outputEnabled);
  EXPECT_EQ(after.temperature.converted.curve.y, before.temperature.converted.curve.y);
  EXPECT_EQ(session.converted(Side::Temperature), bfStar);
  EXPECT_TRUE(session.convertedReady(Side::Temperature));
  EXPECT_TRUE(session.convertedReady(Side::BloodFlow));
  EXPECT_EQ(session.record(Side::BloodFlow).count(), 300);
}

TEST_F(TransformSessionTest, AutomaticFilteringFollowsTheBandTextsAndMethod) {
  TransformSession session;
  const std::string t = write("t.txt", Temperature(300));
  ASSERT_TRUE(session.LoadT(t, NullProgress()).ok());
  EXPECT_FALSE(session.viewState().temperature.filterTicked);
  EXPECT_TRUE(session.filtered(Side::Temperature).empty());

  session.setBand(Side::Temperature, 0.0, 0.05);
  session.setBandTexts(Side::Temperature, "0", "0.05");
  ASSERT_TRUE(session.LoadT(t, NullProgress()).ok());
  TransformViewState v = session.viewState();
  EXPECT_TRUE(v.temperature.filterTicked);
  EXPECT_TRUE(v.temperature.filterTicked);
  ASSERT_EQ(session.filtered(Side::Temperature).size(), 300u);
  // The filtered record is on the normalised scale; the chart shows it in degrees.
  EXPECT_NEAR(v.temperature.filtered.y[150],
              session.filtered(Side::Temperature)[150] *
                      (session.record(Side::Temperature).maximum - session.record(Side::Temperature).minimum) +
                  session.record(Side::Temperature).minimum,
              1e-12);
  EXPECT_NEAR(session.filtered(Side::Temperature)[150], session.record(Side::Temperature).normalized[150], 0.1);

  // The default BF texts "0" and "2" mean no filtering; with Shitzer's model nothing is filtered either.
  ASSERT_TRUE(session.LoadBF(write("bf.txt", BloodFlow(300)), NullProgress()).ok());
  EXPECT_FALSE(session.viewState().bloodFlow.filterTicked);
  session.setMethod(ConversionMethod::Shitzer);
  ASSERT_TRUE(session.LoadT(t, NullProgress()).ok());
  EXPECT_FALSE(session.viewState().temperature.filterTicked);
  EXPECT_TRUE(session.filtered(Side::Temperature).empty());

  // On a "," system the default T high text is "0,1".
  TransformSession comma;
  comma.setDecimalSeparator(',');
  EXPECT_EQ(comma.startTemperatureText(), "36,24");
  ASSERT_TRUE(comma.LoadT(writeText("comma.txt", "32,5\n33,1\n32,9\n33,4\n"), NullProgress()).ok());
  EXPECT_EQ(comma.record(Side::Temperature).values[1], 33.1);
  EXPECT_FALSE(comma.viewState().temperature.filterTicked);
}

TEST_F(TransformSessionTest, KelvinTemperatureAndBigFileNotice) {
  TransformSession session;
  ASSERT_TRUE(session.LoadT(write("k.txt", {305.15, 306.15, 305.65, 305.15}), NullProgress()).ok());
  EXPECT_NEAR(session.record(Side::Temperature).values[1], 33.0, 1e-9);
  std::vector<double> many(20001, 1.0);
  many[5] = 2.0;
  const SessionResult big = session.LoadBF(write("big.txt", many), NullProgress());
  EXPECT_TRUE(big.ok());
  EXPECT_EQ(Noticed(big), "Big file - points > 20000 ");
  EXPECT_EQ(session.viewState().bloodFlow.sampleCount, 20000);
}

TEST_F(TransformSessionTest, ShitzerTToBFScalings) {
  TransformSession session;
  session.setMethod(ConversionMethod::Shitzer);
  EXPECT_TRUE(session.viewState().startTemperatureShown);
  ASSERT_TRUE(session.LoadT(write("t.txt", Temperature(300)), NullProgress()).ok());

  session.setScalingMode(ScalingMode::Absolute);
  ASSERT_TRUE(session.BtnTtoBF(NullProgress()).ok());
  const std::vector<double> absolute = session.converted(Side::Temperature);
  EXPECT_EQ(*std::min_element(absolute.begin(), absolute.end()), 0.0);
  EXPECT_EQ(session.viewState().temperature.converted.axis, AxisUnits::Physical);

  session.setScalingMode(ScalingMode::Normalized);
  ASSERT_TRUE(session.BtnTtoBF(NullProgress()).ok());
  const std::vector<double>& normalized = session.converted(Side::Temperature);
  EXPECT_EQ(*std::min_element(normalized.begin(), normalized.end()), 0.0);
  EXPECT_EQ(*std::max_element(normalized.begin(), normalized.end()), 1.0);
  TransformViewState v = session.viewState();
  EXPECT_EQ(v.temperature.converted.axis, AxisUnits::Normalized);
  EXPECT_EQ(v.temperature.converted.curve.y, normalized);
  EXPECT_TRUE(v.temperature.converted.ready && v.temperature.converted.ready);
  EXPECT_FALSE(v.temperature.converted.outputEnabled);  // no measured BF yet

  // The power law never applies on this side with Shitzer's model.
  session.setNonlinear(true);
  session.setScalingMode(ScalingMode::Scaled);
  session.setScalingTexts(Side::Temperature, "2", "1");
  ASSERT_TRUE(session.BtnTtoBF(NullProgress()).ok());
  for (std::size_t i = 0; i < absolute.size(); ++i)
    EXPECT_DOUBLE_EQ(session.converted(Side::Temperature)[i], 2 * absolute[i] + 1);
  EXPECT_EQ(session.viewState().temperature.converted.axis, AxisUnits::Physical);
}

TEST_F(TransformSessionTest, NonNumericScalingTextStopsAndChangesNothing) {
  TransformSession session;
  session.setMethod(ConversionMethod::Shitzer);
  ASSERT_TRUE(session.LoadT(write("t.txt", Temperature(100)), NullProgress()).ok());
  ASSERT_TRUE(session.BtnTtoBF(NullProgress()).ok());
  const std::vector<double> before = session.converted(Side::Temperature);
  session.setScalingMode(ScalingMode::Scaled);
  session.setScalingTexts(Side::Temperature, "2x", "0");
  const SessionResult r = session.BtnTtoBF(NullProgress());
  EXPECT_FALSE(r.ok());
  EXPECT_NE(Said(r).find("2x"), std::string::npos);
  EXPECT_EQ(session.converted(Side::Temperature), before);
  EXPECT_EQ(session.viewState().temperature.converted.axis, AxisUnits::Normalized);
}

TEST_F(TransformSessionTest, UndefinedShitzerCasesLeaveResultsAndFlags) {
  TransformSession session;
  session.setMethod(ConversionMethod::Shitzer);
  ASSERT_TRUE(session.LoadT(write("t.txt", Temperature(100)), NullProgress()).ok());
  ASSERT_TRUE(session.BtnTtoBF(NullProgress()).ok());
  const std::vector<double> bfStar = session.converted(Side::Temperature);

  ASSERT_TRUE(session.LoadT(write("t37.txt", {36.0, 37.0, 36.5, 36.2, 36.1}), NullProgress()).ok());
  EXPECT_FALSE(session.BtnTtoBF(NullProgress()).ok());
  EXPECT_FALSE(session.convertedReady(Side::Temperature));
  // The load dropped the BF* of the replaced record and the failed run made none.
  EXPECT_FALSE(bfStar.empty());
  EXPECT_TRUE(session.converted(Side::Temperature).empty());
  ASSERT_TRUE(session.LoadT(write("t3.txt", {36.0, 36.5, 36.2}), NullProgress()).ok());
  const SessionResult three = session.BtnTtoBF(NullProgress());
  EXPECT_FALSE(three.ok());
  EXPECT_NE(Said(three).find("4"), std::string::npos);

  ASSERT_TRUE(session.LoadBF(write("bf.txt", BloodFlow(50)), NullProgress()).ok());
  ASSERT_TRUE(session.BtnBFtoT(NullProgress()).ok());
  const std::vector<double> tStar = session.converted(Side::BloodFlow);
  ASSERT_TRUE(session.LoadBF(write("flat.txt", {5, 5, 5, 5}), NullProgress()).ok());
  EXPECT_FALSE(session.BtnBFtoT(NullProgress()).ok());
  EXPECT_FALSE(session.convertedReady(Side::BloodFlow));
  EXPECT_FALSE(tStar.empty());
  EXPECT_TRUE(session.converted(Side::BloodFlow).empty());

  // One sample gives T* = [T0].
  ASSERT_TRUE(session.LoadBF(write("one.txt", {5}), NullProgress()).ok());
  session.setScalingMode(ScalingMode::Absolute);
  session.setStartTemperatureText("35.5");
  ASSERT_TRUE(session.BtnBFtoT(NullProgress()).ok());
  EXPECT_EQ(session.converted(Side::BloodFlow), std::vector<double>{35.5});
  EXPECT_EQ(session.viewState().bloodFlow.converted.axis, AxisUnits::Physical);

  session.setStartTemperatureText("warm");
  EXPECT_FALSE(session.BtnBFtoT(NullProgress()).ok());
  EXPECT_EQ(session.converted(Side::BloodFlow), std::vector<double>{35.5});
}

TEST_F(TransformSessionTest, ShitzerBFToTPostProcessing) {
  TransformSession session;
  session.setMethod(ConversionMethod::Shitzer);
  ASSERT_TRUE(session.LoadBF(write("bf.txt", BloodFlow(200)), NullProgress()).ok());
  session.setScalingMode(ScalingMode::Absolute);
  ASSERT_TRUE(session.BtnBFtoT(NullProgress()).ok());
  const std::vector<double> absolute = session.converted(Side::BloodFlow);
  EXPECT_EQ(absolute[0], 36.24);

  session.setNonlinear(true);
  ASSERT_TRUE(session.BtnBFtoT(NullProgress()).ok());
  for (std::size_t i = 0; i < absolute.size(); ++i)
    EXPECT_NEAR(session.converted(Side::BloodFlow)[i], std::pow(absolute[i], 2.0 / 3.0), 1e-12);

  session.setNonlinear(false);
  session.setScalingMode(ScalingMode::Normalized);
  ASSERT_TRUE(session.BtnBFtoT(NullProgress()).ok());
  const std::vector<double>& n = session.converted(Side::BloodFlow);
  EXPECT_EQ(*std::min_element(n.begin(), n.end()), 0.0);
  EXPECT_EQ(*std::max_element(n.begin(), n.end()), 1.0);
  const TransformViewState v = session.viewState();
  EXPECT_EQ(v.bloodFlow.converted.axis, AxisUnits::Normalized);
  EXPECT_TRUE(v.bloodFlow.converted.ready && v.bloodFlow.converted.ready);
  EXPECT_FALSE(v.bloodFlow.converted.outputEnabled);
}

TEST_F(TransformSessionTest, StoppedConversionChangesNothing) {
  class StopAtOnce : public ProgressSink {
   public:
    bool stopRequested() const override { return true; }
  } stop;
  TransformSession session;
  session.setMethod(ConversionMethod::Shitzer);
  ASSERT_TRUE(session.LoadT(write("t.txt", Temperature(100)), NullProgress()).ok());
  const SessionResult r = session.BtnTtoBF(stop);
  EXPECT_EQ(Said(r), "The computation was stopped");
  EXPECT_FALSE(session.convertedReady(Side::Temperature));
  EXPECT_TRUE(session.converted(Side::Temperature).empty());
  EXPECT_FALSE(session.viewState().temperature.converted.ready);

  session.setMethod(ConversionMethod::Fourier);
  EXPECT_EQ(Said(session.BtnTtoBF(stop)), "The computation was stopped");
  EXPECT_FALSE(session.convertedReady(Side::Temperature));
  // Stopping the automatic filtering of a load keeps the previous record.
  session.setBand(Side::Temperature, 0.0, 0.05);
  session.setBandTexts(Side::Temperature, "0", "0.05");
  EXPECT_FALSE(session.LoadT(write("t2.txt", Temperature(50)), stop).ok());
  EXPECT_EQ(session.record(Side::Temperature).count(), 100);
}

TEST_F(TransformSessionTest, WaveletBranches) {
  TransformSession session;
  loadConvertAndOutput(session);
  const std::vector<double> bfStar = session.converted(Side::Temperature);
  session.setMethod(ConversionMethod::Wavelet);
  const SessionResult r = session.BtnTtoBF(NullProgress());
  EXPECT_EQ(Said(r), "Wavelet conversion is not available yet");
  EXPECT_EQ(session.converted(Side::Temperature), bfStar);
  EXPECT_TRUE(session.viewState().temperature.converted.correlation);

  // BF -> T* with the wavelet method clears the T* chart and computes nothing.
  const std::vector<double> tStar = session.converted(Side::BloodFlow);
  ASSERT_TRUE(session.BtnBFtoT(NullProgress()).ok());
  const TransformViewState v = session.viewState();
  EXPECT_TRUE(v.bloodFlow.converted.curve.empty());
  EXPECT_TRUE(v.bloodFlow.converted.overlay.empty());
  EXPECT_FALSE(v.bloodFlow.converted.correlation);
  EXPECT_EQ(session.converted(Side::BloodFlow), tStar);

  // An installed converter gets T's range and the scaling, and finishes as WaveLetT does (de-normalised, then
  // normalised with the 1e-8 guard); the records are at 2 Hz afterwards.
  session.setSampleRate(4);
  session.setScalingMode(ScalingMode::Normalized);
  session.setWaveletConverter([](const WaveletConversionInput& in, ProgressSink&) {
    const ConversionFinish finish{true, in.tMinimum, in.tMaximum, std::nullopt, in.scaling, in.a, in.b, 1e-8};
    return FinishConversion(in.normalizedT, finish);
  });
  ASSERT_TRUE(session.BtnTtoBF(NullProgress()).ok());
  EXPECT_EQ(session.sampleRate(), 2);
  const std::vector<double>& w = session.converted(Side::Temperature);
  const double range = session.record(Side::Temperature).maximum - session.record(Side::Temperature).minimum;
  EXPECT_NEAR(*std::max_element(w.begin(), w.end()), range / (range + 1e-8), 1e-15);
  EXPECT_LT(*std::max_element(w.begin(), w.end()), 1.0);
}

TEST_F(TransformSessionTest, IdenticalRecordsCorrelateAtOne) {
  TransformSession session;
  const std::vector<double> t = Temperature(200);
  ASSERT_TRUE(session.LoadT(write("t.txt", t), NullProgress()).ok());
  ASSERT_TRUE(session.LoadBF(write("bf.txt", t), NullProgress()).ok());
  session.setMethod(ConversionMethod::Wavelet);
  session.setWaveletConverter([](const WaveletConversionInput& in, ProgressSink&) {
    return ConversionResult::Success(in.normalizedT);
  });
  session.setScalingMode(ScalingMode::Absolute);
  ASSERT_TRUE(session.BtnTtoBF(NullProgress()).ok());
  ASSERT_TRUE(session.viewState().temperature.converted.outputEnabled);
  ASSERT_TRUE(session.OutputBF().ok());
  TransformViewState v = session.viewState();
  EXPECT_DOUBLE_EQ(RoundedCorrelation(*v.temperature.converted.correlation), 1.0);
  EXPECT_EQ(v.temperature.converted.axis, AxisUnits::Measured);
  EXPECT_EQ(v.temperature.converted.overlay.y.size(), 200u);
  EXPECT_DOUBLE_EQ(*session.correlation(Side::Temperature), 1.0);
  ASSERT_TRUE(session.Correl1().ok());
  EXPECT_DOUBLE_EQ(RoundedCorrelation(*session.viewState().temperature.converted.correlation), 1.0);
}

TEST_F(TransformSessionTest, OutputTOverlaysTheShorterLengthNormalized) {
  TransformSession session;
  loadConvertAndOutput(session);  // T 400 samples, BF 300
  const TransformViewState v = session.viewState();
  EXPECT_EQ(v.bloodFlow.converted.overlay.y.size(), 300u);
  EXPECT_EQ(v.bloodFlow.converted.curve.y.size(), 300u);
  EXPECT_EQ(v.bloodFlow.converted.axis, AxisUnits::Measured);
  EXPECT_EQ(v.bloodFlow.converted.overlay.y[10], session.record(Side::Temperature).normalized[10]);
  EXPECT_EQ(*std::max_element(v.bloodFlow.converted.curve.y.begin(), v.bloodFlow.converted.curve.y.end()), 1.0);
  EXPECT_TRUE(v.bloodFlow.converted.correlation.has_value());
  // BF* covers T's 400 samples, the measured BF its own 300.
  EXPECT_EQ(v.temperature.converted.curve.y.size(), 400u);
  EXPECT_EQ(v.temperature.converted.overlay.y.size(), 300u);
}

TEST_F(TransformSessionTest, FilteredRecordIsTheMeasuredCurveWithFourier) {
  TransformSession session;
  const std::vector<double> t = Temperature(400);
  ASSERT_TRUE(session.LoadT(write("t.txt", t), NullProgress()).ok());
  session.setBand(Side::BloodFlow, 0.0, 0.02);
  session.setBandTexts(Side::BloodFlow, "0", "0.02");
  ASSERT_TRUE(session.LoadBF(write("bf.txt", BloodFlow(400)), NullProgress()).ok());
  ASSERT_TRUE(session.viewState().bloodFlow.filterTicked);
  ASSERT_TRUE(session.BtnTtoBF(NullProgress()).ok());
  session.setScalingMode(ScalingMode::Absolute);
  ASSERT_TRUE(session.OutputBF().ok());
  const TransformViewState v = session.viewState();
  const SignalRecord& bf = session.record(Side::BloodFlow);
  EXPECT_NEAR(v.temperature.converted.overlay.y[100],
              session.filtered(Side::BloodFlow)[100] * (bf.maximum - bf.minimum) + bf.minimum, 1e-12);
  EXPECT_NEAR(*session.correlation(Side::Temperature),
              *PearsonCorrelation(session.filtered(Side::BloodFlow), session.converted(Side::Temperature)), 1e-15);
}

TEST_F(TransformSessionTest, PpgHandOverBecomesTheBloodFlowRecord) {
  TransformSession session;
  loadConvertAndOutput(session);
  const SessionResult r = session.LoadBFFromSamples({3.0, 5.0, 4.0, 7.0}, "PPG1.txt", NullProgress());
  ASSERT_TRUE(r.ok()) << Said(r);
  const TransformViewState v = session.viewState();
  EXPECT_FALSE(session.convertedReady(Side::BloodFlow));
  EXPECT_FALSE(v.bloodFlow.converted.outputEnabled);
  EXPECT_FALSE(v.temperature.converted.correlation);
  EXPECT_EQ(v.bloodFlow.source, "PPG1.txt");
  EXPECT_EQ(v.bloodFlow.sampleCount, 4);
  EXPECT_TRUE(v.bloodFlow.loaded);
  EXPECT_EQ(session.record(Side::BloodFlow).minimum, 3.0);
  EXPECT_EQ(session.record(Side::BloodFlow).maximum, 7.0);
  EXPECT_EQ(session.record(Side::BloodFlow).normalized, (std::vector<double>{0.0, 0.5, 0.25, 1.0}));

  EXPECT_FALSE(session.LoadBFFromSamples(std::vector<double>(20001, 1.0), "x", NullProgress()).ok());
  EXPECT_FALSE(session.LoadBFFromSamples({1.0, std::nan("")}, "x", NullProgress()).ok());
  EXPECT_EQ(session.record(Side::BloodFlow).count(), 4);
}

TEST_F(TransformSessionTest, GridFollowsTheMethodAndEdits) {
  TransformSession session;
  session.setMethod(ConversionMethod::Shitzer);
  EXPECT_EQ(session.grid().cell(6, 1), "H");
  EXPECT_TRUE(session.editGridCell(7, 2, "20").ok());
  EXPECT_EQ(session.tissueParameters().shitzer.tAir, 20);
  EXPECT_FALSE(session.editGridCell(7, 1, "x").ok());
  EXPECT_EQ(session.tissueParameters().shitzer.hAir, 6);
  session.pressAirDefaults();
  EXPECT_EQ(session.tissueParameters().shitzer.tAir, 24);
  session.setMethod(ConversionMethod::Fourier);
  EXPECT_EQ(session.grid().cell(6, 1), "Lambda");
  EXPECT_FALSE(session.viewState().startTemperatureShown);
  EXPECT_TRUE(session.editGridCell(10, 1, "3").ok());
  EXPECT_DOUBLE_EQ(session.tissueParameters().wave.depthM, 0.003);
}

TEST_F(TransformSessionTest, ExamplesMenuLoadsBothFilesOrNamesTheMissingOne) {
  TransformSession session;
  const SessionResult none = session.LoadExample(1, m_dir.string(), NullProgress());
  EXPECT_EQ(Said(none), "File " + (m_dir / "T1.txt").string() + " does not exist");
  EXPECT_FALSE(session.loaded(Side::Temperature));

  write("T2.txt", Temperature(60));
  const SessionResult half = session.LoadExample(2, m_dir.string(), NullProgress());
  EXPECT_EQ(Said(half), "File " + (m_dir / "BF2.txt").string() + " does not exist");
  EXPECT_TRUE(session.loaded(Side::Temperature));  // the T file was loaded before the BF file was looked for
  EXPECT_EQ(session.viewState().temperature.source, "Example 2");
  EXPECT_EQ(session.activeRecord(), 1);
  EXPECT_EQ(session.currentLength(), 59);

  write("BF2.txt", BloodFlow(70));
  ASSERT_TRUE(session.LoadExample(2, m_dir.string(), NullProgress()).ok());
  EXPECT_EQ(session.viewState().bloodFlow.source, "Example 2");
  EXPECT_EQ(session.activeRecord(), 2);
  EXPECT_EQ(session.currentLength(), 69);
}

TEST_F(TransformSessionTest, SavesWriteTheConvertedRecordsWithThreeDecimals) {
  TransformSession session;
  EXPECT_FALSE(session.SaveConvertedT((m_dir / "x.txt").string()).ok());
  loadConvertAndOutput(session);
  const std::string tPath = (m_dir / "tstar.txt").string();
  ASSERT_TRUE(session.SaveConvertedT(tPath).ok());
  ASSERT_TRUE(session.SaveConvertedBF((m_dir / "bfstar.txt").string()).ok());
  std::ifstream in(tPath);
  std::vector<double> back;
  for (double v; in >> v;) back.push_back(v);
  ASSERT_EQ(back.size(), 300u);
  for (std::size_t i = 0; i < back.size(); ++i)
    EXPECT_NEAR(back[i], session.converted(Side::BloodFlow)[i], 0.0005 + 1e-12);
  EXPECT_FALSE(session.SaveConvertedBF((m_dir / "missing" / "dir" / "b.txt").string()).ok());
}


}  // namespace
}  // namespace kelvora
