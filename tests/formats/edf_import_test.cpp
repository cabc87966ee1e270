// EDF+ files written with our writer and read back through EDFlib: channels at two rates imported at 1 Hz,
// annotations, header faults named by field, and saves that fail without touching an existing file.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <fstream>
#include <filesystem>
#include <string>
#include <vector>

#include "core/atomic_file.h"
#include "formats/edf_reader.h"
#include "formats/edf_writer.h"
#include "formats/record_import.h"
#include "tests/signals/temp_dir.h"

namespace kelvora {
namespace {

using kelvora::testing::TempDir;

constexpr int kSeconds = 60;

EdfWriteRequest TwoRateRequest() {
  EdfWriteRequest request;
  EdfWriteChannel t{"Temp", "\xC2\xB0" "C", 1, {}};
  EdfWriteChannel bf{"LDF", "PU", 32, {}};
  for (int i = 0; i < kSeconds; ++i) t.values.push_back(31.5 + 0.8 * std::sin(i / 9.0));
  for (int i = 0; i < kSeconds * 32; ++i) bf.values.push_back(12 + 6 * std::sin(i / 50.0) + std::cos(i * 0.9));
  request.channels = {t, bf};
  request.annotations = {{12.5, 30.0, "cuff on"}, {42.5, -1, "cuff off"}};
  request.start = EdfStartTime{2021, 3, 4, 5, 6, 7};
  return request;
}

// The quantisation step of a channel written over [min, max] with 16-bit samples, with the limits' rounding.
double Step(const std::vector<double>& values) {
  const auto [lo, hi] = std::minmax_element(values.begin(), values.end());
  return (*hi - *lo + 2e-6) / 65535.0;
}

TEST(EdfImport, ChannelsAt1And32HzImportAt1HzWithTheFilesValuesLabelsAndUnits) {
  TempDir dir;
  const std::string path = dir.file("pair.edf");
  const EdfWriteRequest request = TwoRateRequest();
  ASSERT_FALSE(WriteEdfFile(path, request));

  const EdfReadResult info = ReadEdfFile(path);
  ASSERT_TRUE(info.ok()) << static_cast<int>(info.error->kind);
  EXPECT_EQ(info.info.type, EdfFileType::kEdfPlus);
  ASSERT_EQ(info.info.channels.size(), 2u);
  EXPECT_EQ(info.info.channels[0].label, "Temp");
  EXPECT_EQ(info.info.channels[0].unit, "degC");  // the degree sign in ASCII, as EDF wants it
  EXPECT_EQ(info.info.channels[1].label, "LDF");
  EXPECT_EQ(info.info.channels[1].unit, "PU");
  EXPECT_DOUBLE_EQ(info.info.channels[0].sampleRateHz, 1.0);
  EXPECT_DOUBLE_EQ(info.info.channels[1].sampleRateHz, 32.0);
  EXPECT_EQ(info.info.channels[1].sampleCount, kSeconds * 32);
  EXPECT_EQ(info.info.startYear, 2021);
  EXPECT_EQ(info.info.startSecond, 7);
  ASSERT_EQ(info.info.annotations.size(), 2u);
  EXPECT_DOUBLE_EQ(info.info.annotations[0].onsetS, 12.5);
  EXPECT_DOUBLE_EQ(info.info.annotations[0].durationS, 30.0);
  EXPECT_EQ(info.info.annotations[0].text, "cuff on");
  EXPECT_DOUBLE_EQ(info.info.annotations[1].onsetS, 42.5);
  EXPECT_LT(info.info.annotations[1].durationS, 0);

  EdfReadOptions options;
  options.channels = {ChannelRef::Parse("ldf"), ChannelRef::Parse("1")};
  const EdfReadResult read = ReadEdfFile(path, options);
  ASSERT_TRUE(read.ok());
  EXPECT_EQ(read.channelNumbers, (std::vector<int>{2, 1}));
  EXPECT_EQ(read.channels[0].name, "LDF");
  EXPECT_EQ(read.channels[0].unit, "PU");
  EXPECT_EQ(read.channels[1].unit, "degC");
  for (const auto& [channel, source] : {std::pair{&read.channels[0], &request.channels[1]},
                                        std::pair{&read.channels[1], &request.channels[0]}}) {
    const RecordImportResult record = MakeImportedRecord(*channel, {1, false});
    ASSERT_TRUE(record.ok());
    EXPECT_EQ(record.sampleRateHz, 1);
    ASSERT_EQ(record.record.count(), kSeconds);
    const int ratio = source->sampleRateHz;
    const double step = Step(source->values);
    for (int i = 0; i < kSeconds; ++i) {
      double mean = 0;
      for (int k = 0; k < ratio; ++k) mean += source->values[static_cast<std::size_t>(i * ratio + k)];
      mean /= ratio;
      EXPECT_NEAR(record.record.values[static_cast<std::size_t>(i)], mean, step) << channel->name << " " << i;
    }
  }
}

TEST(EdfWriter, PhysicalLimitsEncloseTheSamplesInEightCharacters) {
  const auto limits = EdfPhysicalLimits(-0.178123456, 29.0412345678);
  ASSERT_TRUE(limits);
  EXPECT_EQ(limits->first, "-0.17813");
  EXPECT_EQ(limits->second, "29.04124");
  EXPECT_EQ(EdfPhysicalLimits(5, 5), (std::pair<std::string, std::string>{"4", "6"}));
  EXPECT_EQ(EdfPhysicalLimits(-1234567.5, 0.001)->first, "-1234568");
  EXPECT_FALSE(EdfPhysicalLimits(0, 1e9));
  EXPECT_EQ(ToEdfText("BF* (\xC2\xB5V) \xE2\x86\x92 x", 16), "BF* (uV) _ x");
}

struct HeaderFault {
  const char* name;
  std::size_t offset;  // in a file of 3 signals (two channels and the annotation signal)
  std::string bytes;
  EdfHeaderField field;
  int signal;
};

void PrintTo(const HeaderFault& c, std::ostream* os) { *os << c.name; }

class EdfHeaderFaultTest : public ::testing::TestWithParam<HeaderFault> {};

// ns = 3: per-signal fields start at 256 + 3 * (offset of the field column).
const std::vector<HeaderFault> kHeaderFaults = {
    {"Version", 0, "1", EdfHeaderField::kVersion, 0},
    {"StartDate", 168, "32", EdfHeaderField::kStartDate, 0},
    {"StartTime", 176, "24", EdfHeaderField::kStartTime, 0},
    {"HeaderBytes", 184, "1000    ", EdfHeaderField::kHeaderBytes, 0},
    {"DataRecords", 236, "-1      ", EdfHeaderField::kDataRecords, 0},
    {"RecordDuration", 244, "one     ", EdfHeaderField::kRecordDuration, 0},
    {"SignalCount", 252, "0   ", EdfHeaderField::kSignalCount, 0},
    {"LabelControlByte", 256 + 16 + 3, "\x01", EdfHeaderField::kLabel, 2},
    {"PhysicalMinimum", 256 + 3 * 104, "3,5     ", EdfHeaderField::kPhysicalMinimum, 1},
    {"PhysicalMaximum", 256 + 3 * 112 + 8, "1e999   ", EdfHeaderField::kPhysicalMaximum, 2},
    {"DigitalMinimum", 256 + 3 * 120, "-40000  ", EdfHeaderField::kDigitalMinimum, 1},
    {"DigitalMaximum", 256 + 3 * 128 + 8, "abc     ", EdfHeaderField::kDigitalMaximum, 2},
    {"SamplesPerRecord", 256 + 3 * 216 + 8, "0       ", EdfHeaderField::kSamplesPerRecord, 2},
    {"RecordingSubfields", 88, "Startday", EdfHeaderField::kRecording, 0},
};

TEST_P(EdfHeaderFaultTest, IsNamedByItsField) {
  const HeaderFault& c = GetParam();
  TempDir dir;
  const std::string good = dir.file("good.edf");
  ASSERT_FALSE(WriteEdfFile(good, TwoRateRequest()));
  std::string bytes = TempDir::read(good);
  bytes.replace(c.offset, c.bytes.size(), c.bytes);
  const std::string bad = dir.write("bad.edf", bytes);
  const EdfReadResult r = ReadEdfFile(bad);
  ASSERT_FALSE(r.ok());
  EXPECT_EQ(r.error->kind, RecordFileErrorKind::kEdfHeader);
  EXPECT_EQ(r.error->field, c.field);
  EXPECT_EQ(r.error->signal, c.signal);
  EXPECT_EQ(r.error->path, bad);
}

INSTANTIATE_TEST_SUITE_P(Fields, EdfHeaderFaultTest, ::testing::ValuesIn(kHeaderFaults),
                         [](const ::testing::TestParamInfo<HeaderFault>& info) { return info.param.name; });

TEST(EdfImport, ShortFilesDiscontinuousFilesAndMissingChannelsAreNamed) {
  TempDir dir;
  const std::string good = dir.file("good.edf");
  ASSERT_FALSE(WriteEdfFile(good, TwoRateRequest()));
  const std::string bytes = TempDir::read(good);
  const EdfReadResult cut = ReadEdfFile(dir.write("cut.edf", bytes.substr(0, bytes.size() - 1)));
  ASSERT_FALSE(cut.ok());
  EXPECT_EQ(cut.error->field, EdfHeaderField::kFileSize);
  EXPECT_EQ(cut.error->count + 1, cut.error->expected);
  std::string gaps = bytes;
  gaps.replace(192, 5, "EDF+D");
  const EdfReadResult discontinuous = ReadEdfFile(dir.write("d.edf", gaps));
  ASSERT_FALSE(discontinuous.ok());
  EXPECT_EQ(discontinuous.error->kind, RecordFileErrorKind::kEdfDiscontinuous);
  EdfReadOptions options;
  options.channels = {ChannelRef::Parse("PPG")};
  const EdfReadResult missing = ReadEdfFile(good, options);
  ASSERT_FALSE(missing.ok());
  EXPECT_EQ(missing.error->kind, RecordFileErrorKind::kNoSuchChannel);
  EXPECT_EQ(missing.error->count, 2);
  EXPECT_EQ(missing.info.channels.size(), 2u);
  EXPECT_EQ(ReadEdfFile(dir.file("none.edf")).error->kind, RecordFileErrorKind::kMissingFile);
}

TEST(EdfWriter, AFailedSaveLeavesTheExistingFileIntactAndNoTemporaryFile) {
  TempDir dir;
  const std::string path = dir.write("keep.edf", "old");
  EdfWriteRequest request = TwoRateRequest();
  request.channels[1].values[100] = INFINITY;
  const auto refused = WriteEdfFile(path, request);
  ASSERT_TRUE(refused);
  EXPECT_EQ(refused->kind, RecordFileErrorKind::kNonFiniteValue);
  EXPECT_EQ(refused->column, 2);
  EXPECT_EQ(refused->count, 100);
  request.channels[1].values[100] = 1e12;
  EXPECT_EQ(WriteEdfFile(path, request)->kind, RecordFileErrorKind::kValueTooLarge);
  const auto folder = WriteEdfFile(dir.file(""), TwoRateRequest());
  ASSERT_TRUE(folder);
  EXPECT_EQ(folder->kind, RecordFileErrorKind::kCannotWrite);
  // A writer that fails halfway through its temporary file.
  const auto failed = WriteFileAtomicallyThrough(path, [](const std::string& temporary) -> std::optional<std::string> {
    std::ofstream(temporary) << "half";
    return "No space left on device";
  });
  EXPECT_EQ(failed, "No space left on device");
  EXPECT_EQ(TempDir::read(path), "old");
  int files = 0;
  for (const auto& entry : std::filesystem::directory_iterator(dir.file(""))) files += entry.is_regular_file();
  EXPECT_EQ(files, 1);
}

}  // namespace
}  // namespace kelvora
