#include "signals/transform_session.h"

#include <algorithm>
#include <cmath>
#include <filesystem>
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
  EXPECT_EQ(v.btnTtoBFImage, 1);
  EXPECT_EQ(v.btnTtoBFTag, 0);
  EXPECT_EQ(v.btnBFtoTImage, 3);
  EXPECT_EQ(v.btnBFtoTTag, 0);
  EXPECT_FALSE(v.btnSaveBFEnabled || v.btnPlotBFEnabled || v.btnOutputBFEnabled);
  EXPECT_FALSE(v.btnSaveTEnabled || v.btnPlotTEnabled || v.btnOutputTEnabled);
  EXPECT_EQ(session.bandTLow(), 0.0);
  EXPECT_EQ(session.bandTHigh(), 0.1);
  EXPECT_EQ(session.bandBFHigh(), 2.0);
  EXPECT_EQ(session.startTemperatureText(), "36.24");
  EXPECT_EQ(session.grid().cell(6, 1), "Lambda");
  // Arrows before a load do nothing.
  EXPECT_TRUE(session.BtnTtoBF(NullProgress()).ok());
  EXPECT_TRUE(session.BtnBFtoT(NullProgress()).ok());
  EXPECT_FALSE(session.bfStarReady());
  EXPECT_FALSE(session.tStarReady());
  EXPECT_FALSE(session.OutputBF().ok());
}

TEST_F(TransformSessionTest, LoadTResetsExactlyTheBloodFlowStarSide) {
  TransformSession session;
  loadConvertAndOutput(session);
  TransformViewState before = session.viewState();
  ASSERT_TRUE(before.btnOutputBFEnabled && before.btnOutputTEnabled);
  ASSERT_FALSE(before.lbCorrel1.empty());
  ASSERT_FALSE(before.lbCorrel2.empty());

  ASSERT_TRUE(session.LoadT(write("t2.txt", Temperature(250)), NullProgress(), "Example 1").ok());
  const TransformViewState v = session.viewState();
  EXPECT_FALSE(session.bfStarReady());
  EXPECT_FALSE(v.btnSaveBFEnabled);
  EXPECT_FALSE(v.btnPlotBFEnabled);
  EXPECT_FALSE(v.btnOutputBFEnabled);
  EXPECT_TRUE(v.lbCorrel1.empty());
  EXPECT_TRUE(v.lbCorrel2.empty());
  // The T* side keeps its result; its Output button comes back because T* is ready.
  EXPECT_TRUE(session.tStarReady());
  EXPECT_TRUE(v.btnSaveTEnabled);
  EXPECT_TRUE(v.btnPlotTEnabled);
  EXPECT_TRUE(v.btnOutputTEnabled);
  EXPECT_EQ(v.edit17, "250 points");
  EXPECT_EQ(v.edit10, "Temperature: Example 1");
  EXPECT_EQ(v.btnTtoBFTag, 1);
  EXPECT_EQ(v.btnTtoBFImage, 0);
  EXPECT_EQ(session.recordT().count(), 250);
}

TEST_F(TransformSessionTest, LoadBFResetsExactlyTheTemperatureStarSide) {
  TransformSession session;
  loadConvertAndOutput(session);
  const std::string path = write("bf2.txt", BloodFlow(120));
  ASSERT_TRUE(session.LoadBF(path, NullProgress()).ok());
  const TransformViewState v = session.viewState();
  EXPECT_FALSE(session.tStarReady());
  EXPECT_FALSE(v.btnSaveTEnabled);
  EXPECT_FALSE(v.btnPlotTEnabled);
  EXPECT_FALSE(v.btnOutputTEnabled);
  EXPECT_TRUE(v.lbCorrel1.empty());
  EXPECT_TRUE(v.lbCorrel2.empty());
  EXPECT_TRUE(session.bfStarReady());
  EXPECT_TRUE(v.btnSaveBFEnabled);
  EXPECT_TRUE(v.btnOutputBFEnabled);
  EXPECT_EQ(v.edit18, "120 points");
  EXPECT_EQ(v.edit16, "  Blood Flow:  " + path);
  EXPECT_EQ(v.btnBFtoTImage, 2);
  EXPECT_EQ(v.btnBFtoTTag, 1);
  EXPECT_EQ(v.series2.x.size(), 120u);
  EXPECT_DOUBLE_EQ(v.series2.x[60], 60.0 / 2 / 60);
}

TEST_F(TransformSessionTest, FailedLoadsChangeNothing) {
  TransformSession session;
  loadConvertAndOutput(session);
  const TransformViewState before = session.viewState();
  const std::vector<double> bfStar = session.convertedBF();

  const SessionResult missing = session.LoadT((m_dir / "none.txt").string(), NullProgress());
  EXPECT_FALSE(missing.ok());
  EXPECT_NE(missing.error.find("File does not exist"), std::string::npos);
  const SessionResult bad = session.LoadBF(writeText("bad.txt", "1.5\n2.5\nabc\n3\n"), NullProgress());
  EXPECT_FALSE(bad.ok());
  EXPECT_NE(bad.error.find("abc"), std::string::npos);
  EXPECT_NE(bad.error.find("bad.txt:3: 'abc'"), std::string::npos);

  const TransformViewState after = session.viewState();
  EXPECT_EQ(after.edit17, before.edit17);
  EXPECT_EQ(after.edit18, before.edit18);
  EXPECT_EQ(after.lbCorrel1, before.lbCorrel1);
  EXPECT_EQ(after.lbCorrel2, before.lbCorrel2);
  EXPECT_EQ(after.btnOutputBFEnabled, before.btnOutputBFEnabled);
  EXPECT_EQ(after.series3.y, before.series3.y);
  EXPECT_EQ(session.convertedBF(), bfStar);
  EXPECT_TRUE(session.bfStarReady());
  EXPECT_TRUE(session.tStarReady());
  EXPECT_EQ(session.recordBF().count(), 300);
}

TEST_F(TransformSessionTest, AutomaticFilteringFollowsTheBandTextsAndMethod) {
  TransformSession session;
  const std::string t = write("t.txt", Temperature(300));
  ASSERT_TRUE(session.LoadT(t, NullProgress()).ok());
  EXPECT_FALSE(session.viewState().cbFilterSignalT);
  EXPECT_TRUE(session.filteredT().empty());

  session.setBandT(0.0, 0.05);
  session.setBandTextsT("0", "0.05");
  ASSERT_TRUE(session.LoadT(t, NullProgress()).ok());
  TransformViewState v = session.viewState();
  EXPECT_TRUE(v.cbFilterSignalT);
  EXPECT_TRUE(v.series19.visible);
  ASSERT_EQ(session.filteredT().size(), 300u);
  // The filtered record is on the normalised scale; the chart shows it in degrees.
  EXPECT_NEAR(v.series19.y[150], session.filteredT()[150] * (session.recordT().maximum - session.recordT().minimum) +
                                     session.recordT().minimum, 1e-12);
  EXPECT_NEAR(session.filteredT()[150], session.recordT().normalized[150], 0.1);

  // The default BF texts "0" and "2" mean no filtering; with Shitzer's model nothing is filtered either.
  ASSERT_TRUE(session.LoadBF(write("bf.txt", BloodFlow(300)), NullProgress()).ok());
  EXPECT_FALSE(session.viewState().cbFilterSignalBF);
  session.setMethod(ConversionMethod::Shitzer);
  ASSERT_TRUE(session.LoadT(t, NullProgress()).ok());
  EXPECT_FALSE(session.viewState().cbFilterSignalT);
  EXPECT_TRUE(session.filteredT().empty());

  // On a "," system the default T high text is "0,1".
  TransformSession comma;
  comma.setDecimalSeparator(',');
  EXPECT_EQ(comma.startTemperatureText(), "36,24");
  ASSERT_TRUE(comma.LoadT(writeText("comma.txt", "32,5\n33,1\n32,9\n33,4\n"), NullProgress()).ok());
  EXPECT_EQ(comma.recordT().values[1], 33.1);
  EXPECT_FALSE(comma.viewState().cbFilterSignalT);
}

TEST_F(TransformSessionTest, KelvinTemperatureAndBigFileNotice) {
  TransformSession session;
  ASSERT_TRUE(session.LoadT(write("k.txt", {305.15, 306.15, 305.65, 305.15}), NullProgress()).ok());
  EXPECT_NEAR(session.recordT().values[1], 33.0, 1e-9);
  std::vector<double> many(20001, 1.0);
  many[5] = 2.0;
  const SessionResult big = session.LoadBF(write("big.txt", many), NullProgress());
  EXPECT_TRUE(big.ok());
  EXPECT_EQ(big.notice, "Big file - points > 20000 ");
  EXPECT_EQ(session.viewState().edit18, "20000 points");
}

TEST_F(TransformSessionTest, ShitzerTToBFScalings) {
  TransformSession session;
  session.setMethod(ConversionMethod::Shitzer);
  EXPECT_TRUE(session.viewState().edit9Visible);
  ASSERT_TRUE(session.LoadT(write("t.txt", Temperature(300)), NullProgress()).ok());

  session.setScalingMode(ScalingMode::Absolute);
  ASSERT_TRUE(session.BtnTtoBF(NullProgress()).ok());
  const std::vector<double> absolute = session.convertedBF();
  EXPECT_EQ(*std::min_element(absolute.begin(), absolute.end()), 0.0);
  EXPECT_EQ(session.viewState().chart3LeftAxisTitle, "BF, mm^3/sec");

  session.setScalingMode(ScalingMode::Normalized);
  ASSERT_TRUE(session.BtnTtoBF(NullProgress()).ok());
  const std::vector<double>& normalized = session.convertedBF();
  EXPECT_EQ(*std::min_element(normalized.begin(), normalized.end()), 0.0);
  EXPECT_EQ(*std::max_element(normalized.begin(), normalized.end()), 1.0);
  TransformViewState v = session.viewState();
  EXPECT_EQ(v.chart3LeftAxisTitle, "BF, arb. units");
  EXPECT_EQ(v.series3.y, normalized);
  EXPECT_TRUE(v.btnSaveBFEnabled && v.btnPlotBFEnabled);
  EXPECT_FALSE(v.btnOutputBFEnabled);  // no measured BF yet

  // The power law never applies on this side with Shitzer's model.
  session.setNonlinear(true);
  session.setScalingMode(ScalingMode::Scaled);
  session.setScalingTextsBF("2", "1");
  ASSERT_TRUE(session.BtnTtoBF(NullProgress()).ok());
  for (std::size_t i = 0; i < absolute.size(); ++i) EXPECT_DOUBLE_EQ(session.convertedBF()[i], 2 * absolute[i] + 1);
  EXPECT_EQ(session.viewState().chart3LeftAxisTitle, "BF, mm^3/sec");
}

TEST_F(TransformSessionTest, NonNumericScalingTextStopsAndChangesNothing) {
  TransformSession session;
  session.setMethod(ConversionMethod::Shitzer);
  ASSERT_TRUE(session.LoadT(write("t.txt", Temperature(100)), NullProgress()).ok());
  ASSERT_TRUE(session.BtnTtoBF(NullProgress()).ok());
  const std::vector<double> before = session.convertedBF();
  session.setScalingMode(ScalingMode::Scaled);
  session.setScalingTextsBF("2x", "0");
  const SessionResult r = session.BtnTtoBF(NullProgress());
  EXPECT_FALSE(r.ok());
  EXPECT_NE(r.error.find("2x"), std::string::npos);
  EXPECT_EQ(session.convertedBF(), before);
  EXPECT_EQ(session.viewState().chart3LeftAxisTitle, "BF, arb. units");
}

TEST_F(TransformSessionTest, UndefinedShitzerCasesLeaveResultsAndFlags) {
  TransformSession session;
  session.setMethod(ConversionMethod::Shitzer);
  ASSERT_TRUE(session.LoadT(write("t.txt", Temperature(100)), NullProgress()).ok());
  ASSERT_TRUE(session.BtnTtoBF(NullProgress()).ok());
  const std::vector<double> bfStar = session.convertedBF();

  ASSERT_TRUE(session.LoadT(write("t37.txt", {36.0, 37.0, 36.5, 36.2, 36.1}), NullProgress()).ok());
  EXPECT_FALSE(session.BtnTtoBF(NullProgress()).ok());
  EXPECT_FALSE(session.bfStarReady());
  EXPECT_EQ(session.convertedBF(), bfStar);  // the load reset the flag, the failed run changed nothing
  ASSERT_TRUE(session.LoadT(write("t3.txt", {36.0, 36.5, 36.2}), NullProgress()).ok());
  const SessionResult three = session.BtnTtoBF(NullProgress());
  EXPECT_FALSE(three.ok());
  EXPECT_NE(three.error.find("4"), std::string::npos);

  ASSERT_TRUE(session.LoadBF(write("bf.txt", BloodFlow(50)), NullProgress()).ok());
  ASSERT_TRUE(session.BtnBFtoT(NullProgress()).ok());
  const std::vector<double> tStar = session.convertedT();
  ASSERT_TRUE(session.LoadBF(write("flat.txt", {5, 5, 5, 5}), NullProgress()).ok());
  EXPECT_FALSE(session.BtnBFtoT(NullProgress()).ok());
  EXPECT_FALSE(session.tStarReady());
  EXPECT_EQ(session.convertedT(), tStar);

  // One sample gives T* = [T0].
  ASSERT_TRUE(session.LoadBF(write("one.txt", {5}), NullProgress()).ok());
  session.setScalingMode(ScalingMode::Absolute);
  session.setStartTemperatureText("35.5");
  ASSERT_TRUE(session.BtnBFtoT(NullProgress()).ok());
  EXPECT_EQ(session.convertedT(), std::vector<double>{35.5});
  EXPECT_EQ(session.viewState().chart4LeftAxisTitle, "T, °C");

  session.setStartTemperatureText("warm");
  EXPECT_FALSE(session.BtnBFtoT(NullProgress()).ok());
  EXPECT_EQ(session.convertedT(), std::vector<double>{35.5});
}

TEST_F(TransformSessionTest, ShitzerBFToTPostProcessing) {
  TransformSession session;
  session.setMethod(ConversionMethod::Shitzer);
  ASSERT_TRUE(session.LoadBF(write("bf.txt", BloodFlow(200)), NullProgress()).ok());
  session.setScalingMode(ScalingMode::Absolute);
  ASSERT_TRUE(session.BtnBFtoT(NullProgress()).ok());
  const std::vector<double> absolute = session.convertedT();
  EXPECT_EQ(absolute[0], 36.24);

  session.setNonlinear(true);
  ASSERT_TRUE(session.BtnBFtoT(NullProgress()).ok());
  for (std::size_t i = 0; i < absolute.size(); ++i)
    EXPECT_NEAR(session.convertedT()[i], std::pow(absolute[i], 2.0 / 3.0), 1e-12);

  session.setNonlinear(false);
  session.setScalingMode(ScalingMode::Normalized);
  ASSERT_TRUE(session.BtnBFtoT(NullProgress()).ok());
  const std::vector<double>& n = session.convertedT();
  EXPECT_EQ(*std::min_element(n.begin(), n.end()), 0.0);
  EXPECT_EQ(*std::max_element(n.begin(), n.end()), 1.0);
  const TransformViewState v = session.viewState();
  EXPECT_EQ(v.chart4LeftAxisTitle, "T, arb. units");
  EXPECT_TRUE(v.btnSaveTEnabled && v.btnPlotTEnabled);
  EXPECT_FALSE(v.btnOutputTEnabled);
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
  EXPECT_EQ(r.error, kConversionStoppedMessage);
  EXPECT_FALSE(session.bfStarReady());
  EXPECT_TRUE(session.convertedBF().empty());
  EXPECT_FALSE(session.viewState().btnSaveBFEnabled);

  session.setMethod(ConversionMethod::Fourier);
  EXPECT_EQ(session.BtnTtoBF(stop).error, kConversionStoppedMessage);
  EXPECT_FALSE(session.bfStarReady());
  // Stopping the automatic filtering of a load keeps the previous record.
  session.setBandT(0.0, 0.05);
  session.setBandTextsT("0", "0.05");
  EXPECT_FALSE(session.LoadT(write("t2.txt", Temperature(50)), stop).ok());
  EXPECT_EQ(session.recordT().count(), 100);
}

TEST_F(TransformSessionTest, WaveletBranches) {
  TransformSession session;
  loadConvertAndOutput(session);
  const std::vector<double> bfStar = session.convertedBF();
  session.setMethod(ConversionMethod::Wavelet);
  const SessionResult r = session.BtnTtoBF(NullProgress());
  EXPECT_EQ(r.error, "Wavelet conversion is not available yet");
  EXPECT_EQ(session.convertedBF(), bfStar);
  EXPECT_FALSE(session.viewState().lbCorrel1.empty());

  // BF -> T* with the wavelet method clears the T* chart and computes nothing.
  const std::vector<double> tStar = session.convertedT();
  ASSERT_TRUE(session.BtnBFtoT(NullProgress()).ok());
  const TransformViewState v = session.viewState();
  EXPECT_TRUE(v.series4.empty());
  EXPECT_TRUE(v.series6.empty());
  EXPECT_TRUE(v.lbCorrel2.empty());
  EXPECT_EQ(session.convertedT(), tStar);

  // An installed converter: its output is de-normalised and normalised with the 1e-8 guard, at 2 Hz.
  session.setSampleRate(4);
  session.setScalingMode(ScalingMode::Normalized);
  session.setWaveletConverter([](const WaveletConversionInput& in, ProgressSink&) {
    return ConversionResult::Success(in.normalizedT);
  });
  ASSERT_TRUE(session.BtnTtoBF(NullProgress()).ok());
  EXPECT_EQ(session.sampleRate(), 2);
  const std::vector<double>& w = session.convertedBF();
  const double range = session.recordT().maximum - session.recordT().minimum;
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
  ASSERT_TRUE(session.viewState().btnOutputBFEnabled);
  ASSERT_TRUE(session.OutputBF().ok());
  TransformViewState v = session.viewState();
  EXPECT_EQ(v.lbCorrel1, "Correlation: 1");
  EXPECT_EQ(v.chart3LeftAxisTitle, "BF, V");
  EXPECT_EQ(v.series5.y.size(), 200u);
  EXPECT_DOUBLE_EQ(*session.correlationBF(), 1.0);

  session.setLanguage(InterfaceLanguage::Russian);
  ASSERT_TRUE(session.Correl1().ok());
  EXPECT_EQ(session.viewState().lbCorrel1, "Корреляция: 1");
}

TEST_F(TransformSessionTest, OutputTOverlaysTheShorterLengthNormalized) {
  TransformSession session;
  loadConvertAndOutput(session);  // T 400 samples, BF 300
  const TransformViewState v = session.viewState();
  EXPECT_EQ(v.series6.y.size(), 300u);
  EXPECT_EQ(v.series4.y.size(), 300u);
  EXPECT_EQ(v.chart4LeftAxisTitle, "T, °C");
  EXPECT_EQ(v.series6.y[10], session.recordT().normalized[10]);
  EXPECT_EQ(*std::max_element(v.series4.y.begin(), v.series4.y.end()), 1.0);
  EXPECT_EQ(v.lbCorrel2.rfind("Correlation: ", 0), 0u);
  // BF* covers T's 400 samples, the measured BF its own 300.
  EXPECT_EQ(v.series3.y.size(), 400u);
  EXPECT_EQ(v.series5.y.size(), 300u);
}

TEST_F(TransformSessionTest, FilteredRecordIsTheMeasuredCurveWithFourier) {
  TransformSession session;
  const std::vector<double> t = Temperature(400);
  ASSERT_TRUE(session.LoadT(write("t.txt", t), NullProgress()).ok());
  session.setBandBF(0.0, 0.02);
  session.setBandTextsBF("0", "0.02");
  ASSERT_TRUE(session.LoadBF(write("bf.txt", BloodFlow(400)), NullProgress()).ok());
  ASSERT_TRUE(session.viewState().cbFilterSignalBF);
  ASSERT_TRUE(session.BtnTtoBF(NullProgress()).ok());
  session.setScalingMode(ScalingMode::Absolute);
  ASSERT_TRUE(session.OutputBF().ok());
  const TransformViewState v = session.viewState();
  const SignalRecord& bf = session.recordBF();
  EXPECT_NEAR(v.series5.y[100], session.filteredBF()[100] * (bf.maximum - bf.minimum) + bf.minimum, 1e-12);
  EXPECT_NEAR(*session.correlationBF(), *PearsonCorrelation(session.filteredBF(), session.convertedBF()), 1e-15);
}

TEST_F(TransformSessionTest, PpgHandOverBecomesTheBloodFlowRecord) {
  TransformSession session;
  loadConvertAndOutput(session);
  const SessionResult r = session.LoadBFFromSamples({3.0, 5.0, 4.0, 7.0}, "PPG1.txt", NullProgress());
  ASSERT_TRUE(r.ok()) << r.error;
  const TransformViewState v = session.viewState();
  EXPECT_FALSE(session.tStarReady());
  EXPECT_FALSE(v.btnOutputTEnabled);
  EXPECT_TRUE(v.lbCorrel1.empty());
  EXPECT_EQ(v.edit16, "  Blood Flow:  PPG1.txt");
  EXPECT_EQ(v.edit18, "4 points");
  EXPECT_EQ(v.btnBFtoTTag, 1);
  EXPECT_EQ(session.recordBF().minimum, 3.0);
  EXPECT_EQ(session.recordBF().maximum, 7.0);
  EXPECT_EQ(session.recordBF().normalized, (std::vector<double>{0.0, 0.5, 0.25, 1.0}));

  EXPECT_FALSE(session.LoadBFFromSamples(std::vector<double>(20001, 1.0), "x", NullProgress()).ok());
  EXPECT_FALSE(session.LoadBFFromSamples({1.0, std::nan("")}, "x", NullProgress()).ok());
  EXPECT_EQ(session.recordBF().count(), 4);
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
  EXPECT_FALSE(session.viewState().edit9Visible);
  EXPECT_TRUE(session.editGridCell(10, 1, "3").ok());
  EXPECT_DOUBLE_EQ(session.tissueParameters().wave.depthM, 0.003);
}

TEST_F(TransformSessionTest, ExamplesMenuLoadsBothFilesOrNamesTheMissingOne) {
  TransformSession session;
  const SessionResult none = session.LoadExample(1, m_dir.string(), NullProgress());
  EXPECT_EQ(none.error, "File " + (m_dir / "T1.txt").string() + " does not exist");
  EXPECT_FALSE(session.tLoaded());

  write("T2.txt", Temperature(60));
  const SessionResult half = session.LoadExample(2, m_dir.string(), NullProgress());
  EXPECT_EQ(half.error, "File " + (m_dir / "BF2.txt").string() + " does not exist");
  EXPECT_TRUE(session.tLoaded());  // the T file was loaded before the BF file was looked for
  EXPECT_EQ(session.viewState().edit10, "Temperature: Example 2");
  EXPECT_EQ(session.activeRecord(), 1);
  EXPECT_EQ(session.currentLength(), 59);

  write("BF2.txt", BloodFlow(70));
  ASSERT_TRUE(session.LoadExample(2, m_dir.string(), NullProgress()).ok());
  EXPECT_EQ(session.viewState().edit16, "  Blood Flow:  Example 2");
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
  for (std::size_t i = 0; i < back.size(); ++i) EXPECT_NEAR(back[i], session.convertedT()[i], 0.0005 + 1e-12);
  EXPECT_FALSE(session.SaveConvertedBF((m_dir / "missing" / "dir" / "b.txt").string()).ok());
}

TEST(CorrelationText, RoundsToThreeDecimals) {
  EXPECT_EQ(TransformSession::CorrelationText(0.9996, InterfaceLanguage::English, '.'), "Correlation: 1");
  EXPECT_EQ(TransformSession::CorrelationText(0.12345, InterfaceLanguage::English, '.'), "Correlation: 0.123");
  EXPECT_EQ(TransformSession::CorrelationText(-0.0004, InterfaceLanguage::English, '.'), "Correlation: 0");
  EXPECT_EQ(TransformSession::CorrelationText(-0.25, InterfaceLanguage::Russian, ','), "Корреляция: -0,25");
}

}  // namespace
}  // namespace kelvora
