#include "core/band_transform.h"

#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <sstream>
#include <vector>

#include "core/band_reconstruction.h"
#include "core/fft.h"
#include "formats/signal_file.h"
#include "tests/core/direct_dft_reference.h"

namespace kelvora {
namespace {

// A deterministic irregular signal: all bins carry comparable energy, so per-bin relative errors are meaningful.
std::vector<double> NoiseSignal(int count, unsigned seed = 12345u) {
  std::vector<double> x(static_cast<std::size_t>(count));
  unsigned state = seed;
  for (auto& v : x) {
    state = state * 1664525u + 1013904223u;
    v = static_cast<double>(state >> 8) / static_cast<double>(1u << 24);
  }
  return x;
}

void ExpectClose(Complex actual, Complex expected, long double relative) {
  const long double scale = std::max(Modulus(expected), 1e-300L);
  EXPECT_LE(Modulus(Sum(actual, MakeComplex(-expected.re, -expected.im))) / scale, relative)
      << "actual (" << static_cast<double>(actual.re) << ", " << static_cast<double>(actual.im) << ") expected ("
      << static_cast<double>(expected.re) << ", " << static_cast<double>(expected.im) << ")";
}

class CountingSink : public ProgressSink {
 public:
  void setRange(long long lo, long long hi) override { minimum = lo, maximum = hi; }
  void setPosition(long long p) override { positions.push_back(p); }
  void setText(const std::string& t) override { texts.push_back(t); }
  long long minimum = -1, maximum = -1;
  std::vector<long long> positions;
  std::vector<std::string> texts;
};

TEST(BandTransform, PaddingRaisesAndRepeatsTheEdgeSamples) {
  const std::vector<double> padded = PadSignal({1.0, 5.0, -1.0});
  ASSERT_EQ(padded.size(), 3u + 1200u);
  EXPECT_EQ(padded[0], 3.0);
  EXPECT_EQ(padded[599], 3.0);
  EXPECT_EQ(padded[600], 3.0);
  EXPECT_EQ(padded[601], 7.0);
  EXPECT_EQ(padded[602], 1.0);
  EXPECT_EQ(padded[1202], 1.0);
  EXPECT_TRUE(PadSignal({}).empty());
}

TEST(BandTransform, SingleSampleGivesTheZeroFrequencyCoefficientOnly) {
  BandTransform transform;
  transform.setBand(kFourierFrequencySlot, {0.0, 0.0});
  const BandSpectrum s = transform.transform(kFourierFrequencySlot, {0.5}, 2);
  EXPECT_EQ(s.paddedLastIndex, 1200);
  EXPECT_EQ(s.highBin, 0);
  EXPECT_EQ(s.lowBin, 1);
  ASSERT_EQ(s.coefficients.size(), 1u);
  EXPECT_NEAR(static_cast<double>(s.coefficients[0].re), 1201.0 * 2.5 / 1200.0, 1e-15);
  EXPECT_EQ(s.coefficients[0].im, 0.0L);
  EXPECT_EQ(s.computedBins, 1);
  EXPECT_EQ(transform.lastSlot(), kFourierFrequencySlot);
}

TEST(BandTransform, HighEdgeIsClampedToNyquistAndWrittenBack) {
  BandTransform transform;
  transform.setBand(kTemperatureBandSlot, {0.0, 5.0});
  const BandSpectrum s = transform.transform(kTemperatureBandSlot, NoiseSignal(100), 4);
  EXPECT_EQ(transform.band(kTemperatureBandSlot).high, 2.0);
  EXPECT_EQ(s.highBin, 1299 / 2 + 1);  // round(1299 * 2 / 4) = round(649.5) = 650 (ties to even)
  transform.setBand(kTemperatureBandSlot, {0.0, 2.0});
  transform.transform(kTemperatureBandSlot, NoiseSignal(100), 4);
  EXPECT_EQ(transform.band(kTemperatureBandSlot).high, 2.0);  // exactly fs / 2 is kept
}

TEST(BandTransform, BinEdgesRoundHalfToEven) {
  EXPECT_EQ(BinIndex(1201, 1.0, 2), 600);  // 600.5 -> 600
  EXPECT_EQ(BinIndex(1203, 1.0, 2), 602);  // 601.5 -> 602
  EXPECT_EQ(BinIndex(1200, 0.1, 2), 60);
  EXPECT_EQ(BinIndex(1200, 0.0004, 1), 0);  // 0.48
  BandTransform transform;
  transform.setBand(kFourierFrequencySlot, {0.0001, 0.01});
  const BandSpectrum s = transform.transform(kFourierFrequencySlot, NoiseSignal(1), 1);
  EXPECT_EQ(s.lowBin, 1);  // round(0.12) = 0 becomes 1
  EXPECT_EQ(s.highBin, 12);
  EXPECT_NEAR(s.frequencies[12], 12.0 / 1200.0, 1e-18);
}

// Records of the two kinds the program transforms, n samples each.
enum class RecordKind { BloodFlowLike, TemperatureLike };

std::vector<double> Record(RecordKind kind, int count) {
  std::vector<double> x(static_cast<std::size_t>(count));
  if (kind == RecordKind::BloodFlowLike) {
    // Normalised blood flow: pulses and slow waves on a noisy floor, 0 .. 1.
    const std::vector<double> noise = NoiseSignal(count, 4242u);
    for (int i = 0; i < count; ++i) {
      const double t = i / 2.0;
      x[static_cast<std::size_t>(i)] = 0.35 + 0.2 * std::sin(0.06 * t) + 0.15 * std::sin(0.9 * t + 0.3) +
                                       0.1 * std::sin(0.013 * t) + 0.2 * noise[static_cast<std::size_t>(i)];
    }
  } else {
    // Skin temperature in degrees: 32 C drifting by a few tenths, kept to 0.001 C steps as the files hold it. Its
    // bins reach down to a ten-millionth of the largest.
    for (int i = 0; i < count; ++i) {
      const double t = i / 2.0;
      const double v = 32.0 + 0.4 * std::sin(0.0021 * t) + 0.05 * std::sin(0.031 * t + 1.0) + 0.004 * std::sin(0.4 * t);
      x[static_cast<std::size_t>(i)] = std::round(v * 1000.0) / 1000.0;
    }
  }
  return x;
}

struct AgreementCase {
  RecordKind kind;
  int samples;  // N + 1; the padded period is N' = samples + 1199
  int binStep;  // every binStep-th bin (and the band's edges) is checked against the direct sum
};

class BandTransformAgreement : public ::testing::TestWithParam<AgreementCase> {};

// The FFT bins and the FFT reconstruction against the direct sums, per bin to 1e-12 relative, at awkward lengths:
// N' = 1297 (prime), 2109 = 3 * 19 * 37 and 21201 = 3 * 37 * 191.
TEST_P(BandTransformAgreement, FftBinsAndReconstructionAgreeWithDirectSums) {
  const AgreementCase c = GetParam();
  const int fs = 2;
  const std::vector<double> x = Record(c.kind, c.samples);
  BandTransform transform;
  transform.setBand(kFourierFrequencySlot, {0.0, 1.0});
  const BandSpectrum s = transform.transform(kFourierFrequencySlot, x, fs);
  ASSERT_EQ(s.paddedLastIndex, c.samples + 1199);
  ASSERT_EQ(s.highBin, static_cast<int>(std::llrint(s.paddedLastIndex / 2.0)));
  ExpectClose(s.coefficients[0], testing::DirectCoefficient(s.padded, 0, fs), 1e-15L);
  double smallest = 1e300, worst = 0;
  // Every binStep-th bin, and the last one.
  auto next = [&](int k) { return k + c.binStep > s.highBin && k != s.highBin ? s.highBin : k + c.binStep; };
  for (int k = s.lowBin; k <= s.highBin; k = next(k)) {
    SCOPED_TRACE(k);
    const Complex direct = testing::DirectCoefficient(s.padded, k, fs);
    const Complex fast = s.coefficients[static_cast<std::size_t>(k)];
    smallest = std::min(smallest, static_cast<double>(Modulus(direct) / Modulus(s.coefficients[0])));
    worst = std::max(worst, static_cast<double>(Modulus(fast - direct) / Modulus(direct)));
    ExpectClose(fast, direct, 1e-12L);
  }
  std::ostringstream figures;
  figures << std::scientific << "worst " << worst << ", smallest bin / C[0] " << smallest;
  RecordProperty("agreement", figures.str());
  if (c.kind == RecordKind::TemperatureLike) {
    EXPECT_LT(smallest, 1e-3);  // bins far below the largest are among those checked
  }

  const std::vector<Complex> y =
      ReconstructBand(s.coefficients, {}, s.lowBin, s.highBin, s.coefficients[0], s.paddedLastIndex);
  ASSERT_EQ(y.size(), s.padded.size());
  for (int n = 0; n <= s.paddedLastIndex; n += std::max(1, s.paddedLastIndex / 40)) {
    SCOPED_TRACE(n);
    const Complex expected = testing::DirectReconstruction(s.coefficients, {}, s.lowBin, s.highBin, s.coefficients[0],
                                                           s.paddedLastIndex, fs, n);
    ExpectClose(y[static_cast<std::size_t>(n)], expected, 1e-12L);
  }
  // The full band reconstructs the padded record itself (up to the N' + 1 fold of the end sample).
  EXPECT_NEAR(static_cast<double>(y[700].re), s.padded[700], 1e-12 * s.padded[700]);
}

INSTANTIATE_TEST_SUITE_P(AwkwardLengths, BandTransformAgreement,
                         ::testing::Values(AgreementCase{RecordKind::BloodFlowLike, 98, 1},
                                           AgreementCase{RecordKind::TemperatureLike, 98, 1},
                                           AgreementCase{RecordKind::BloodFlowLike, 910, 7},
                                           AgreementCase{RecordKind::TemperatureLike, 910, 7},
                                           AgreementCase{RecordKind::BloodFlowLike, 20002, 211},
                                           AgreementCase{RecordKind::TemperatureLike, 20002, 211}));

TEST(BandTransform, CacheComputesOnlyNewBinsWhenWideningAndNothingWhenNarrowing) {
  const std::vector<double> x = NoiseSignal(300);  // N' = 1499
  BandTransform transform;
  transform.setBand(kFourierFrequencySlot, {0.1, 0.2});
  BandSpectrum s = transform.transform(kFourierFrequencySlot, x, 2);
  EXPECT_EQ(s.lowBin, 75);    // round(74.95)
  EXPECT_EQ(s.highBin, 150);  // round(149.9)
  EXPECT_EQ(s.computedBins, 1 + 76);
  for (int k : {1, 74, 151}) EXPECT_FALSE(transform.isCached(kFourierFrequencySlot, k)) << k;  // the FFT's other bins
  const Complex before = s.coefficients[100];

  transform.setBand(kFourierFrequencySlot, {0.05, 0.3});
  s = transform.transform(kFourierFrequencySlot, x, 2);
  EXPECT_EQ(s.lowBin, 37);  // round(37.475)
  EXPECT_EQ(s.highBin, 225);
  EXPECT_EQ(s.computedBins, (75 - 37) + (225 - 150));
  EXPECT_EQ(s.coefficients[100].re, before.re);
  EXPECT_EQ(s.coefficients[100].im, before.im);
  for (int k : {37, 74, 151, 225}) ExpectClose(s.coefficients[k], testing::DirectCoefficient(s.padded, k, 2), 1e-12L);

  transform.setBand(kFourierFrequencySlot, {0.15, 0.2});
  const std::size_t plans = fft::PlanCount();
  s = transform.transform(kFourierFrequencySlot, x, 2);
  EXPECT_EQ(s.computedBins, 0);
  EXPECT_EQ(fft::PlanCount(), plans);
  EXPECT_EQ(s.coefficients[50].re, 0.0L);  // outside the band: not part of this result
  EXPECT_EQ(transform.computedBinCount(), 77 + 38 + 75);

  // Another slot has its own cache; a second transform of the same length reuses the plan.
  transform.setBand(kFourierAmplitudeSlot, {0.15, 0.2});
  EXPECT_EQ(transform.transform(kFourierAmplitudeSlot, x, 2).computedBins, 1 + 76 - 37);
  EXPECT_EQ(fft::PlanCount(), plans);
}

TEST(BandTransform, RecordLoadsInvalidateTheirOwnSlotsOnly) {
  const std::vector<double> x = NoiseSignal(20);
  BandTransform transform;
  for (int slot = 1; slot <= kTransformSlotCount; ++slot) {
    transform.setBand(slot, {0.0, 0.01});
    transform.transform(slot, x, 2);
    ASSERT_TRUE(transform.isCached(slot, 3));
  }
  transform.clearTemperatureSlots();
  for (int slot = 1; slot <= kTransformSlotCount; ++slot)
    EXPECT_EQ(transform.isCached(slot, 3), slot != 1 && slot != 4 && slot != 5) << slot;
  for (int slot = 1; slot <= kTransformSlotCount; ++slot) transform.transform(slot, x, 2);
  transform.clearBloodFlowSlots();
  for (int slot = 1; slot <= kTransformSlotCount; ++slot)
    EXPECT_EQ(transform.isCached(slot, 0), slot != 2 && slot != 6 && slot != 7) << slot;
  transform.clearFourierPageSlots();
  EXPECT_FALSE(transform.isCached(3, 0));
  EXPECT_FALSE(transform.isCached(8, 0));
  EXPECT_THROW(transform.clearSlot(9), std::out_of_range);
}

TEST(BandTransform, ASignalOfAnotherLengthDoesNotReuseStaleCoefficients) {
  BandTransform transform;
  transform.setBand(kTemperatureBandSlot, {0.0, 0.05});
  transform.transform(kTemperatureBandSlot, NoiseSignal(50), 2);
  const BandSpectrum s = transform.transform(kTemperatureBandSlot, NoiseSignal(60, 7), 2);
  EXPECT_EQ(s.computedBins, 1 + s.highBin);
  ExpectClose(s.coefficients[5], testing::DirectCoefficient(s.padded, 5, 2), 1e-12L);
}

TEST(BandTransform, ReportsPercentagesAndResetsTheProgress) {
  CountingSink sink;
  BandTransform transform;
  transform.setBand(kBloodFlowBandSlot, {0.0, 1.0});
  const BandSpectrum s = transform.transform(kBloodFlowBandSlot, NoiseSignal(400), 2, sink);
  EXPECT_EQ(sink.minimum, 0);
  EXPECT_EQ(sink.maximum, s.highBin);
  ASSERT_FALSE(sink.texts.empty());
  EXPECT_EQ(sink.texts.back(), "100%");
  EXPECT_LE(sink.texts.size(), 101u);
  EXPECT_EQ(sink.positions.back(), 0);
}

TEST(BandTransform, EmptySignalChangesNothing) {
  BandTransform transform;
  const BandSpectrum s = transform.transform(kTemperatureBandSlot, {}, 2);
  EXPECT_TRUE(s.empty());
  EXPECT_EQ(transform.lastSlot(), 0);
  EXPECT_EQ(transform.computedBinCount(), 0);
}

// Bins up to 700 pass half the period (650 for N' = 1300, 650.5 for 1301): the half-period bin and the bins
// mirrored onto the lower half are covered.
TEST(BandReconstruction, AgreesWithDirectEvaluationWithMaskAndGeneralCoefficients) {
  const int fs = 2;
  for (int last : {1301, 1300}) {
    SCOPED_TRACE(last);
    std::vector<Complex> d(701);
    std::vector<std::uint8_t> excluded(701, 0);
    const std::vector<double> noise = NoiseSignal(1402, 99u);
    for (std::size_t k = 0; k < d.size(); ++k) d[k] = MakeComplex(noise[2 * k] - 0.5, noise[2 * k + 1] - 0.5);
    for (std::size_t k = 0; k < excluded.size(); k += 7) excluded[k] = 1;
    const Complex c0 = MakeComplex(2.25, 0);
    const std::vector<Complex> y = ReconstructBand(d, excluded, 3, 700, c0, last);
    ASSERT_EQ(y.size(), static_cast<std::size_t>(last + 1));
    for (int n = 0; n <= last; n += 13) {
      SCOPED_TRACE(n);
      const Complex expected = testing::DirectReconstruction(d, excluded, 3, 700, c0, last, fs, n);
      EXPECT_LE(std::fabs(static_cast<double>(y[static_cast<std::size_t>(n)].re - expected.re)),
                1e-12 * std::fabs(static_cast<double>(expected.re)) + 1e-13);
      EXPECT_LE(std::fabs(static_cast<double>(expected.im)), 1e-13);
      EXPECT_EQ(y[static_cast<std::size_t>(n)].im, 0.0L);
    }
  }
}

TEST(BandTransform, RealRecordingOverTheFullBandAgreesWithDirectSums) {
  const std::filesystem::path data = KELVORA_SHARED_DATA_DIR;
  if (!std::filesystem::is_directory(data)) GTEST_SKIP() << "no shared data folder";
  const SignalReadResult t =
      ReadSignalFile((data / "skintemp_PREVAIL008_j1_1.txt").string(), true, DecimalFormat::ForSeparator('.'));
  ASSERT_TRUE(t.ok());
  BandTransform transform;
  transform.setBand(kTemperatureBandSlot, {0.0, 1.0});
  const BandSpectrum s = transform.transform(kTemperatureBandSlot, t.record.normalized, 2);
  ASSERT_EQ(s.highBin, 1494);  // round(2987 / 2), ties to even
  for (int k = 0; k <= s.highBin; k += 37) {
    SCOPED_TRACE(k);
    ExpectClose(s.coefficients[static_cast<std::size_t>(k)], testing::DirectCoefficient(s.padded, k, 2), 1e-12L);
  }
  const std::vector<Complex> y =
      ReconstructBand(s.coefficients, {}, s.lowBin, s.highBin, s.coefficients[0], s.paddedLastIndex);
  for (int n = 0; n <= s.paddedLastIndex; n += 101) {
    const Complex expected = testing::DirectReconstruction(s.coefficients, {}, s.lowBin, s.highBin, s.coefficients[0],
                                                           s.paddedLastIndex, 2, n);
    EXPECT_NEAR(static_cast<double>(y[static_cast<std::size_t>(n)].re), static_cast<double>(expected.re),
                1e-12 * std::fabs(static_cast<double>(expected.re)))
        << n;
  }
}

TEST(BandReconstruction, EmptyBandGivesTheConstant) {
  const std::vector<Complex> y = ReconstructBand({}, {}, 1, 0, MakeComplex(2.5, 0), 1200);
  ASSERT_EQ(y.size(), 1201u);
  EXPECT_EQ(y[0].re, 2.5L);
  EXPECT_EQ(y[1200].re, 2.5L);
}

}  // namespace
}  // namespace kelvora
