#include "tests/said.h"
#include "signals/wavelet_transform_methods.h"

#include <algorithm>
#include <cmath>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "tests/signals/temp_dir.h"
#include "wavelet/wavelet_conversion.h"

namespace kelvora {
namespace {

std::string WriteSignal(const testing::TempDir& dir, const std::string& name, const std::vector<double>& values) {
  std::ofstream out(dir.file(name));
  out.precision(10);
  for (double v : values) out << v << "\n";
  return dir.file(name);
}

std::vector<double> Temperature(int n) {
  std::vector<double> t(static_cast<size_t>(n));
  for (int i = 0; i < n; ++i) t[static_cast<size_t>(i)] = 32.0 + 0.8 * std::sin(i / 4.0) + 0.3 * std::sin(i / 40.0);
  return t;
}

// One engine for the whole file: it is large.
std::shared_ptr<WaveletMethods> Methods() {
  static std::shared_ptr<WaveletMethods> methods = [] {
    auto m = std::make_shared<WaveletMethods>();
    m->setThreads(2);
    return m;
  }();
  return methods;
}

TEST(WaveletTransformMethods, TtoBFRunsWaveLetTAndGivesBFStarState) {
  testing::TempDir dir;
  TransformSession session;
  InstallWaveletMethods(session, Methods());
  session.setMethod(ConversionMethod::Wavelet);
  session.setSampleRate(5);
  ASSERT_TRUE(session.LoadT(WriteSignal(dir, "t.txt", Temperature(300)), NullProgress()).ok());
  session.setBand(Side::Temperature, 0.0, 0.05);
  session.setScalingMode(ScalingMode::Absolute);

  Methods()->setConversionType(WaveletType::Paul);
  const SessionResult result = session.BtnTtoBF(NullProgress());
  ASSERT_TRUE(result.ok()) << Said(result.error);
  EXPECT_TRUE(session.convertedReady(Side::Temperature));
  EXPECT_EQ(session.sampleRate(), 2);
  const TransformViewState view = session.viewState();
  EXPECT_TRUE(view.temperature.converted.ready && view.temperature.converted.ready);
  EXPECT_EQ(view.temperature.converted.axis, AxisUnits::Physical);
  ASSERT_EQ(view.temperature.converted.curve.y.size(), 300u);
  EXPECT_DOUBLE_EQ(view.temperature.converted.curve.x[120], 1.0);  // 120 samples at 2 Hz = 1 minute

  // The same as the library's WaveLetT on the session's record (band 0 .. 0.05 runs on 0.005 .. 0.1 Hz).
  WaveletEngine engine;
  WaveLetTInput input;
  input.normalizedT = session.record(Side::Temperature).normalized;
  input.tMinimum = session.record(Side::Temperature).minimum;
  input.tMaximum = session.record(Side::Temperature).maximum;
  input.tBand = {0.0, 0.05};
  input.type = WaveletType::Paul;
  input.scaling = ScalingMode::Absolute;
  const WaveLetTResult direct = WaveLetT(engine, input);
  ASSERT_TRUE(direct.completed());
  EXPECT_EQ(direct.stats.range, BandToScaleRange({0.005, 0.1}));
  ASSERT_EQ(session.converted(Side::Temperature).size(), direct.bfStar.size());
  for (size_t i = 0; i < direct.bfStar.size(); ++i)
    EXPECT_NEAR(session.converted(Side::Temperature)[i], direct.bfStar[i], 1e-9);

  // BF -> T* computes nothing with the wavelet method.
  ASSERT_TRUE(session.LoadBF(WriteSignal(dir, "bf.txt", Temperature(200)), NullProgress()).ok());
  ASSERT_TRUE(session.BtnBFtoT(NullProgress()).ok());
  EXPECT_FALSE(session.convertedReady(Side::BloodFlow));
  EXPECT_TRUE(session.viewState().bloodFlow.converted.curve.empty());
}

TEST(WaveletTransformMethods, LoadFiltersWithWMorlPaulWhenABandIsSet) {
  testing::TempDir dir;
  TransformSession session;
  InstallWaveletMethods(session, Methods());
  session.setMethod(ConversionMethod::Wavelet);
  session.setBand(Side::Temperature, 0.05, 0.15);
  session.setBandTexts(Side::Temperature, "0.05", "0.15");
  Methods()->setFilterType(WaveletType::Morlet);
  const std::vector<double> t = Temperature(256);
  ASSERT_TRUE(session.LoadT(WriteSignal(dir, "t.txt", t), NullProgress()).ok());
  EXPECT_TRUE(session.viewState().temperature.filterTicked);
  ASSERT_EQ(session.filtered(Side::Temperature).size(), 256u);

  // The wavelet page now holds the record, its band and the result.
  WaveletFiltering& page = Methods()->page();
  EXPECT_TRUE(page.signalLoaded());
  EXPECT_DOUBLE_EQ(page.band().low, 0.05);
  EXPECT_EQ(page.output(), session.filtered(Side::Temperature));
  WaveletEngine engine;
  ASSERT_FALSE(engine.loadSignal(session.record(Side::Temperature).normalized, {0.05, 0.15}).has_value());
  WaveletRunRequest request;
  request.band = {0.05, 0.15};
  const WaveletRunResult direct = engine.run(request);
  ASSERT_TRUE(direct.completed());
  EXPECT_EQ(session.filtered(Side::Temperature), direct.output);
}

// The fault: the wavelet filtering of a loaded record told the wavelet page that the record was the
// temperature one whichever side it came from.
TEST(WaveletTransformMethods, BloodFlowRecordReachesTheWaveletPageAsBloodFlowNotTemperature) {
  testing::TempDir dir;
  TransformSession session;
  InstallWaveletMethods(session, Methods());
  session.setMethod(ConversionMethod::Wavelet);
  session.setBand(Side::BloodFlow, 0.05, 0.15);
  session.setBandTexts(Side::BloodFlow, "0.05", "0.15");
  ASSERT_TRUE(session.LoadBF(WriteSignal(dir, "bf.txt", Temperature(200)), NullProgress()).ok());
  EXPECT_EQ(Methods()->page().source(), WaveletSource::BloodFlow);
  session.setBand(Side::Temperature, 0.05, 0.15);
  session.setBandTexts(Side::Temperature, "0.05", "0.15");
  ASSERT_TRUE(session.LoadT(WriteSignal(dir, "t.txt", Temperature(200)), NullProgress()).ok());
  EXPECT_EQ(Methods()->page().source(), WaveletSource::Temperature);
  ASSERT_TRUE(session.FilterBF(NullProgress()).ok());
  EXPECT_EQ(Methods()->page().source(), WaveletSource::BloodFlow);
}

TEST(WaveletTransformMethods, RecordsBeyondTheCapacityAreRefusedWithTheLimit) {
  testing::TempDir dir;
  TransformSession session;
  InstallWaveletMethods(session, Methods());
  session.setMethod(ConversionMethod::Wavelet);
  ASSERT_TRUE(session.LoadT(WriteSignal(dir, "t.txt", Temperature(4000)), NullProgress()).ok());
  const SessionResult result = session.BtnTtoBF(NullProgress());
  EXPECT_FALSE(result.ok());
  EXPECT_NE(Said(result.error).find("3601"), std::string::npos) << Said(result.error);
  EXPECT_FALSE(session.convertedReady(Side::Temperature));
}

TEST(WaveletTransformMethods, LoadOfALongRecordKeepsItUnfilteredWithANotice) {
  testing::TempDir dir;
  TransformSession session;
  InstallWaveletMethods(session, Methods());
  session.setMethod(ConversionMethod::Wavelet);
  session.setBand(Side::Temperature, 0.05, 0.15);
  session.setBandTexts(Side::Temperature, "0.05", "0.15");
  const SessionResult result = session.LoadT(WriteSignal(dir, "t.txt", Temperature(4000)), NullProgress());
  ASSERT_TRUE(result.ok()) << Said(result.error);
  EXPECT_NE(Noticed(result).find("3601"), std::string::npos) << Noticed(result);
  EXPECT_EQ(session.record(Side::Temperature).count(), 4000);
  EXPECT_FALSE(session.viewState().temperature.filterTicked);
  EXPECT_TRUE(session.filtered(Side::Temperature).empty());
}

TEST(WaveletTransformMethods, StopGivesTheStoppedMessageAndNoBFStar) {
  testing::TempDir dir;
  TransformSession session;
  InstallWaveletMethods(session, Methods());
  session.setMethod(ConversionMethod::Wavelet);
  ASSERT_TRUE(session.LoadT(WriteSignal(dir, "t.txt", Temperature(300)), NullProgress()).ok());
  struct StopAtOnce : ProgressSink {
    bool stopRequested() const override { return true; }
  } stop;
  const SessionResult result = session.BtnTtoBF(stop);
  EXPECT_EQ(Said(result.error), "The computation was stopped");
  EXPECT_FALSE(session.convertedReady(Side::Temperature));
}

}  // namespace
}  // namespace kelvora
