#include "core/band_filter.h"

#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "tests/core/direct_dft_reference.h"

namespace kelvora {
namespace {

std::vector<double> Sines(int count, int fs, std::vector<std::pair<double, double>> components, double mean) {
  std::vector<double> x(static_cast<std::size_t>(count), mean);
  for (int i = 0; i < count; ++i)
    for (auto [hz, amplitude] : components)
      x[static_cast<std::size_t>(i)] += amplitude * std::sin(2 * M_PI * hz * i / fs);
  return x;
}

// Amplitude of the component at `hz` over samples [from, to), by projection.
double Amplitude(const std::vector<double>& x, int fs, double hz, int from, int to) {
  double s = 0, c = 0;
  for (int i = from; i < to; ++i) {
    s += x[static_cast<std::size_t>(i)] * std::sin(2 * M_PI * hz * i / fs);
    c += x[static_cast<std::size_t>(i)] * std::cos(2 * M_PI * hz * i / fs);
  }
  return 2 * std::hypot(s, c) / (to - from);
}

TEST(BandFilter, FullBandReproducesASmoothInput) {
  // With N' odd the full band is the complete inverse of the sum, so the input comes back to rounding. With N'
  // even the Nyquist bin enters twice (once through its conjugate term); since sample N' folds onto sample 0,
  // every bin carries about padded[N'] / N', so the output alternates about the input by that much.
  for (int count : {1002, 1001}) {
    SCOPED_TRACE(count);
    BandTransform transform;
    BandFilter filter(transform);
    transform.setBand(kTemperatureBandSlot, {0.0, 1.0});
    BandFilterRequest request;
    request.slot = kTemperatureBandSlot;
    request.signal = Sines(count, 2, {{0.01, 0.3}, {0.05, 0.1}}, 0.5);
    request.minimum = 30.0;
    request.maximum = 34.0;
    const BandFilterResult r = filter.run(request);
    ASSERT_TRUE(r.ok());
    ASSERT_EQ(r.filtered.size(), request.signal.size());
    const double tolerance = r.paddedLastIndex % 2 == 1 ? 1e-9 : 1.5 * 2.5 / r.paddedLastIndex;
    for (std::size_t i = 0; i < r.filtered.size(); ++i) {
      ASSERT_NEAR(r.filtered[i], request.signal[i], tolerance) << i;
      ASSERT_NEAR(r.signalUnits[i], request.signal[i] * 4.0 + 30.0, 4 * tolerance) << i;
    }
    EXPECT_TRUE(r.bars.empty());  // spectrum bars belong to the Fourier page slots
  }
}

TEST(BandFilter, NarrowBandKeepsTheSinusoidInsideAndRemovesTheOneOutside) {
  BandTransform transform;
  BandFilter filter(transform);
  transform.setBand(kFourierFrequencySlot, {0.05, 0.2});
  BandFilterRequest request;
  request.slot = kFourierFrequencySlot;
  request.signal = Sines(2000, 2, {{0.1, 0.2}, {0.4, 0.2}}, 0.5);
  const BandFilterResult r = filter.run(request);
  ASSERT_TRUE(r.ok());
  // The stored output of the Fourier page keeps the +2 raise.
  std::vector<double> out(r.filtered.size());
  for (std::size_t i = 0; i < out.size(); ++i) out[i] = r.filtered[i] - 2.0;
  EXPECT_NEAR(Amplitude(out, 2, 0.1, 500, 1500), 0.2, 0.005);
  EXPECT_LT(Amplitude(out, 2, 0.4, 500, 1500), 0.002);
  EXPECT_EQ(r.bars.size(), static_cast<std::size_t>(r.highBin - r.lowBin + 1));
  EXPECT_NEAR(r.bars.front().frequencyHz, r.lowBin * 2.0 / r.paddedLastIndex, 1e-15);
}

TEST(BandFilter, BandWithoutBinsGivesTheMean) {
  BandTransform transform;
  BandFilter filter(transform);
  transform.setBand(kBloodFlowBandSlot, {0.0, 0.0});
  BandFilterRequest request;
  request.slot = kBloodFlowBandSlot;
  request.signal = {0.0, 1.0, 0.5};
  request.minimum = 10;
  request.maximum = 20;
  const BandFilterResult r = filter.run(request);
  ASSERT_TRUE(r.ok());
  // C[0] = (600 * 2 + 3 + 2.5 + 600 * 2.5) / 1202 ... over N' = 1202.
  const double c0 = (600 * 2.0 + 2.0 + 3.0 + 2.5 + 600 * 2.5) / 1202.0;
  for (std::size_t i = 0; i < 3; ++i) {
    EXPECT_NEAR(r.filtered[i], c0 - 2.0, 1e-14);
    EXPECT_NEAR(r.signalUnits[i], (c0 - 2.0) * 10 + 10, 1e-12);
  }
}

TEST(BandFilter, AmplitudeMaskIsRelativeToTheFirstBin) {
  const int fs = 2;
  // N' = 1999 + 1200 = 3199; a loud component exactly on bin 320 (0.2 Hz).
  std::vector<double> x = Sines(2000, fs, {{0.2 * 3199.0 / 3200.0, 0.3}, {0.013, 0.05}}, 0.5);
  BandTransform transform;
  BandFilter filter(transform);
  transform.setBand(kFourierAmplitudeSlot, {0.0, 1.0});
  BandFilterRequest request;
  request.slot = kFourierAmplitudeSlot;
  request.signal = x;
  request.amplitudeLowPercent = 0.0;
  request.amplitudeHighPercent = 100.0;
  const BandFilterResult r = filter.run(request);
  ASSERT_TRUE(r.ok());
  ASSERT_EQ(r.lowBin, 1);
  const std::vector<double> padded = PadSignal(x);
  const long double reference = Modulus(testing::DirectCoefficient(padded, 1, fs));
  int removed = 0;
  for (int k : {1, 2, 5, 21, 100, 319, 320, 321, 1000, 1599}) {
    const long double m = Modulus(testing::DirectCoefficient(padded, k, fs));
    EXPECT_EQ(r.excluded[static_cast<std::size_t>(k)], m > reference ? 1 : 0) << k;
    EXPECT_NEAR(r.bars[static_cast<std::size_t>(k - 1)].height, m > reference ? 0.0 : static_cast<double>(m),
                1e-12 * static_cast<double>(m))
        << k;
    removed += r.excluded[static_cast<std::size_t>(k)];
  }
  EXPECT_EQ(r.excluded[1], 0);  // C[1] itself is never louder than itself
  EXPECT_GE(removed, 1);        // the loud 0.2 Hz bin goes

  // A lower limit removes the quiet bins too.
  request.amplitudeLowPercent = 50.0;
  const BandFilterResult quiet = filter.run(request);
  EXPECT_EQ(quiet.computedBins, 0);  // same signal, same slot: all cached
  EXPECT_EQ(quiet.excluded[1599], 1);
}

class ReentrantSink : public ProgressSink {
 public:
  explicit ReentrantSink(BandFilter& filter, BandFilterRequest request) : m_filter(filter), m_request(request) {}
  void setPosition(long long) override {
    if (inner == BandFilterStatus::kDone) inner = m_filter.run(m_request).status;
  }
  BandFilterStatus inner = BandFilterStatus::kDone;

 private:
  BandFilter& m_filter;
  BandFilterRequest m_request;
};

TEST(BandFilter, ACallWhileRunningReturnsBusyAtOnce) {
  BandTransform transform;
  BandFilter filter(transform);
  transform.setBand(kFourierFrequencySlot, {0.0, 0.5});
  BandFilterRequest request;
  request.slot = kFourierFrequencySlot;
  request.signal = Sines(100, 2, {{0.1, 0.2}}, 0.5);
  ReentrantSink sink(filter, request);
  const BandFilterResult outer = filter.run(request, sink);
  EXPECT_TRUE(outer.ok());
  EXPECT_EQ(sink.inner, BandFilterStatus::kBusy);
  EXPECT_FALSE(filter.running());
  EXPECT_TRUE(filter.run(request).ok());
}

TEST(BandFilter, RefusesBadRequests) {
  BandTransform transform;
  BandFilter filter(transform);
  BandFilterRequest request;
  request.slot = kFurieTSlot;
  request.signal = {1.0};
  EXPECT_EQ(filter.run(request).status, BandFilterStatus::kInvalidSlot);
  request.slot = kTemperatureBandSlot;
  request.signal = {};
  EXPECT_EQ(filter.run(request).status, BandFilterStatus::kEmptySignal);
  request.signal = {1.0, std::nan("")};
  EXPECT_EQ(filter.run(request).status, BandFilterStatus::kInvalidSignal);
  EXPECT_EQ(transform.computedBinCount(), 0);
}

}  // namespace
}  // namespace kelvora
