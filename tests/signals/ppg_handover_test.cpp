// The "<--" button: the PPG envelope becomes the Transform page's BF record.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>

#include "core/progress.h"
#include "signals/ppg_envelope.h"
#include "formats/ppg_file.h"
#include "signals/transform_session.h"

namespace kelvora {
namespace {

TEST(PpgHandOver, EnvelopeOfTheFirstExampleBecomesTheBloodFlowRecord) {
  const PpgReadResult read = ReadPpgFile(std::string(KELVORA_SOURCE_DIR) + "/Examples/PPG1.txt");
  ASSERT_TRUE(read.ok()) << read.message;
  PpgEnvelopeParams p;
  p.durationS = read.signal.durationS;
  const PpgEnvelopeResult result = ComputePpgEnvelope(read.signal, p);
  ASSERT_TRUE(result.ok()) << result.message;

  const std::vector<double> samples = PpgEnvelopeSamples(result.envelope, p.durationS, p.outRateHz);
  ASSERT_EQ(samples.size(), 2894u);  // round(1447 s * 2 Hz)

  TransformSession session;
  const SessionResult r = session.LoadBFFromSamples(samples, "PPG: Example 1", NullProgress());
  ASSERT_TRUE(r.ok()) << r.error;
  const SignalRecord& bf = session.record(Side::BloodFlow);
  ASSERT_EQ(bf.count(), 2894);
  EXPECT_EQ(session.viewState().bloodFlow.sampleCount, 2894);
  const auto [lo, hi] = std::minmax_element(samples.begin(), samples.end());
  EXPECT_EQ(bf.minimum, *lo);
  EXPECT_EQ(bf.maximum, *hi);
  EXPECT_DOUBLE_EQ(bf.normalized[100], (samples[100] - *lo) / (*hi - *lo));
}

TEST(PpgHandOver, CountFollowsTheEditsButNeverPassesTheEnvelope) {
  PpgEnvelope envelope;
  envelope.values = {1.0, 2.0, 3.0, 4.0, 5.0};
  EXPECT_EQ(PpgEnvelopeSamples(envelope, 2, 2.0), (std::vector<double>{1.0, 2.0, 3.0, 4.0}));
  EXPECT_EQ(PpgEnvelopeSamples(envelope, 1, 2.5).size(), 3u);  // round(2.5) = 3
  EXPECT_EQ(PpgEnvelopeSamples(envelope, 100, 2.0).size(), 5u);
  EXPECT_TRUE(PpgEnvelopeSamples(envelope, 0, 2.0).empty());
}

}  // namespace
}  // namespace kelvora
