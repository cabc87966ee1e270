// An EDF+ round trip keeps every channel's sample count: records that divide every channel where there are
// such, else the padded tail marked and dropped on reading.
#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include "formats/edf_reader.h"
#include "formats/edf_writer.h"
#include "tests/signals/temp_dir.h"

namespace kelvora {
namespace {

using kelvora::testing::TempDir;

EdfWriteChannel Channel(const std::string& label, int rate, std::size_t count, double offset) {
  EdfWriteChannel c{label, "", rate, {}};
  for (std::size_t i = 0; i < count; ++i) c.values.push_back(offset + std::sin(0.01 * static_cast<double>(i)));
  return c;
}

struct LayoutCase {
  std::vector<std::pair<int, std::size_t>> channels;  // rate, samples
  long long records;                                   // 0: no layout without padding
  long long durationUnits;
};

// Worked out by hand: 3601 samples at 2 Hz is 1800.5 s, 3601 prime, so 3601 records of 0.5 s; 3600 at 2 Hz
// gives 1800 records of 1 s; 3601 at 2 Hz beside 3600 lasts another time: none; 7202 at 4 Hz beside 3601 at
// 2 Hz: 3601 records of 0.5 s (2 and 1 samples); 7 samples at 3 Hz: 7/3 s has no 10 us divisor below 60 s
// except 7 records of 1/3 s, not whole units: none; 120 at 1 Hz: 120 records of 1 s.
const LayoutCase kLayouts[] = {
    {{{2, 3601}}, 3601, 50000},
    {{{2, 3600}, {2, 3600}}, 1800, 100000},
    {{{2, 3601}, {2, 3600}}, 0, 0},
    {{{4, 7202}, {2, 3601}}, 3601, 50000},
    {{{3, 7}}, 0, 0},
    {{{1, 120}}, 120, 100000},
};

class EdfRecordLayoutTest : public ::testing::TestWithParam<LayoutCase> {};

TEST_P(EdfRecordLayoutTest, DividesEveryChannelOrIsNone) {
  std::vector<EdfWriteChannel> channels;
  for (const auto& [rate, count] : GetParam().channels) channels.push_back(Channel("x", rate, count, 0.0));
  const std::optional<EdfRecordLayout> layout = ChooseEdfRecordLayout(channels);
  if (GetParam().records == 0) {
    EXPECT_FALSE(layout.has_value());
    return;
  }
  ASSERT_TRUE(layout.has_value());
  EXPECT_EQ(layout->records, GetParam().records);
  EXPECT_EQ(layout->durationUnits, GetParam().durationUnits);
}

INSTANTIATE_TEST_SUITE_P(Cases, EdfRecordLayoutTest, ::testing::ValuesIn(kLayouts));

// The fault: T* and BF* of 3,601 samples came back as 3,602, the last one repeated and nothing marking it.
TEST(EdfSampleCount, RoundTripOf3601SamplesGivesTheSameSamples) {
  TempDir dir;
  struct Case {
    const char* name;
    std::vector<EdfWriteChannel> channels;
  };
  const Case cases[] = {
      {"same length", {Channel("T", 2, 3601, 30.0), Channel("BF*", 2, 3601, 5.0)}},
      // Different durations: the shorter channel is padded in the file and the mark drops it on reading.
      {"different lengths", {Channel("T", 2, 3601, 30.0), Channel("BF", 2, 3600, 5.0), Channel("T*", 2, 3599, 1.0)}},
  };
  for (const Case& c : cases) {
    const std::string path = dir.file(std::string(c.name) + ".edf");
    EdfWriteRequest request;
    request.channels = c.channels;
    request.annotations = {EdfAnnotation{0.0, -1.0, "BF*: Fourier D=2mm"}};
    ASSERT_FALSE(WriteEdfFile(path, request)) << c.name;
    EdfReadOptions options;
    for (std::size_t i = 0; i < c.channels.size(); ++i) options.channels.push_back(ChannelRef::Parse(std::to_string(i + 1)));
    const EdfReadResult read = ReadEdfFile(path, options);
    ASSERT_TRUE(read.ok()) << c.name;
    ASSERT_EQ(read.channels.size(), c.channels.size()) << c.name;
    for (std::size_t i = 0; i < c.channels.size(); ++i) {
      const std::vector<double>& want = c.channels[i].values;
      const std::vector<double>& got = read.channels[i].values;
      EXPECT_EQ(read.info.channels[i].sampleCount, static_cast<long long>(want.size())) << c.name << " " << i;
      EXPECT_DOUBLE_EQ(read.info.channels[i].sampleRateHz, 2.0) << c.name << " " << i;
      ASSERT_EQ(got.size(), want.size()) << c.name << " " << i;
      // Within the 16-bit step of the channel's range (2 here).
      for (std::size_t k = 0; k < want.size(); ++k) ASSERT_NEAR(got[k], want[k], 2.0 / 65535 * 1.01) << c.name << k;
    }
    // The marks are not the user's annotations: only the one written is listed.
    ASSERT_EQ(read.info.annotations.size(), 1u) << c.name;
    EXPECT_EQ(read.info.annotations[0].text, "BF*: Fourier D=2mm");
  }
}

// A mark that names no channel or more samples than the channel has is an ordinary annotation.
TEST(EdfSampleCount, MarksThatDoNotFitStayAnnotations) {
  TempDir dir;
  const std::string path = dir.file("marks.edf");
  EdfWriteRequest request;
  request.channels = {Channel("T", 2, 100, 30.0)};
  request.annotations = {EdfAnnotation{1.0, -1.0, EdfSampleCountMark(2, 50)},
                         EdfAnnotation{2.0, -1.0, EdfSampleCountMark(1, 101)},
                         EdfAnnotation{3.0, -1.0, "channel 1 has many samples"}};
  ASSERT_FALSE(WriteEdfFile(path, request));
  const EdfReadResult read = ReadEdfFile(path, {{ChannelRef::Parse("1")}});
  ASSERT_TRUE(read.ok());
  EXPECT_EQ(read.channels[0].values.size(), 100u);
  EXPECT_EQ(read.info.annotations.size(), 3u);
}

}  // namespace
}  // namespace kelvora
