// Replays the inputs the fuzzers found faults with (tests/fuzz_regressions/<target>/) and the seed corpora
// (fuzz/corpus/<target>/) through the fuzz targets' own checks.
#include <gtest/gtest.h>

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "fuzz/cli_args_input.h"
#include "fuzz/delimited_file_input.h"
#include "fuzz/edf_file_input.h"
#include "fuzz/marker_file_input.h"
#include "fuzz/labchart_text_input.h"
#include "fuzz/mat_file_input.h"
#include "fuzz/ppg_file_input.h"
#include "fuzz/settings_input.h"
#include "fuzz/signal_file_input.h"
#include "fuzz/study_files_input.h"
#include "tests/signals/temp_dir.h"

namespace kelvora {
namespace {

namespace fs = std::filesystem;

using Runner = std::string (*)(const std::uint8_t*, std::size_t);

// Every file of the target's regression folder and seed corpus.
std::vector<fs::path> Inputs(const std::string& target) {
  std::vector<fs::path> files;
  for (const fs::path& folder : {fs::path(KELVORA_SOURCE_DIR) / "tests" / "fuzz_regressions" / target,
                                fs::path(KELVORA_SOURCE_DIR) / "fuzz" / "corpus" / target}) {
    if (!fs::is_directory(folder)) continue;
    for (const fs::directory_entry& e : fs::directory_iterator(folder))
      if (e.is_regular_file()) files.push_back(e.path());
  }
  return files;
}

void Replay(const std::string& target, Runner run) {
  const std::vector<fs::path> files = Inputs(target);
  ASSERT_FALSE(files.empty()) << "no inputs for " << target;
  for (const fs::path& file : files) {
    std::ifstream in(file, std::ios::binary);
    const std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    EXPECT_EQ(run(reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size()), "") << file;
  }
}

TEST(FuzzRegression, SignalFileInputs) { Replay("signal_file", fuzz::RunSignalFileInput); }

TEST(FuzzRegression, PpgFileInputs) { Replay("ppg_file", fuzz::RunPpgFileInput); }

TEST(FuzzRegression, DelimitedFileInputs) { Replay("delimited_file", fuzz::RunDelimitedFileInput); }

TEST(FuzzRegression, EdfFileInputs) { Replay("edf_file", fuzz::RunEdfFileInput); }

TEST(FuzzRegression, MarkerFileInputs) { Replay("marker_file", fuzz::RunMarkerFileInput); }

TEST(FuzzRegression, LabChartTextInputs) { Replay("labchart_text", fuzz::RunLabChartTextInput); }

TEST(FuzzRegression, MatFileInputs) { Replay("mat_file", fuzz::RunMatFileInput); }

// A compressed variable whose stream is corrupt made MATIO ask for 5 GB while listing the variables: level 5
// files are now checked before MATIO reads them.
TEST(FuzzRegression, CorruptCompressedMatVariableIsRefusedBeforeMatioReadsIt) {
  const MatReadResult r =
      ReadMatFile(std::string(KELVORA_SOURCE_DIR) + "/tests/fuzz_regressions/mat_file/corrupt_compressed_oom");
  ASSERT_FALSE(r.ok());
  EXPECT_EQ(r.error->kind, RecordFileErrorKind::kNotMatFile);
  EXPECT_EQ(r.error->matFault, MatFault::kBadCompression);
}

// A variable's tag in the small format (type and size in one word), which MATIO read as another element than
// the check did: 257 bytes made it allocate 6.8 GB while listing the variables.
TEST(FuzzRegression, SmallFormatVariableTagIsRefusedBeforeMatioReadsIt) {
  const MatReadResult r =
      ReadMatFile(std::string(KELVORA_SOURCE_DIR) + "/tests/fuzz_regressions/mat_file/small_format_variable_tag_oom");
  ASSERT_FALSE(r.ok());
  EXPECT_EQ(r.error->kind, RecordFileErrorKind::kNotMatFile);
  EXPECT_EQ(r.error->matFault, MatFault::kMalformedVariable);
}

// A cell array of a billion cells in a file of 184 bytes: more cells than bytes to hold them.
TEST(FuzzRegression, CellArrayClaimingMoreCellsThanBytesIsRefused) {
  std::string file(128, ' ');
  file.replace(0, 19, "MATLAB 5.0 MAT-file");
  file[124] = 0;
  file[125] = 1;
  file[126] = 'I';
  file[127] = 'M';
  auto word = [&](std::uint32_t w) {
    for (int i = 0; i < 4; ++i) file += static_cast<char>((w >> (8 * i)) & 0xFF);
  };
  word(14);           // miMATRIX
  word(48);           // its bytes
  word(6), word(8);   // array flags
  word(1), word(0);   // class: cell
  word(5), word(8);   // dimensions
  word(1), word(1000000000);
  word(1 | (1u << 16)), word('c');  // name "c", small format
  word(0), word(0);   // where the cells would begin
  testing::TempDir dir;
  const MatReadResult r = ReadMatFile(dir.write("cells.mat", file));
  ASSERT_FALSE(r.ok());
  EXPECT_EQ(r.error->kind, RecordFileErrorKind::kNotMatFile);
  EXPECT_EQ(r.error->matFault, MatFault::kMalformedVariable);
}

// A wanted column whose only cell is empty gave a channel without samples, which no file can hold.
TEST(FuzzRegression, AColumnWithoutAnyValueIsAMissingValue) {
  const DelimitedReadResult r = ReadDelimitedText("time,x\n0,\n1,\n", {});
  ASSERT_FALSE(r.ok());
  EXPECT_EQ(r.error->kind, RecordFileErrorKind::kMissingValue);
  EXPECT_EQ(r.error->line, 2);
  EXPECT_EQ(r.error->column, 2);
}

// A header line longer than the detection kept of a line (the names of 3,120 columns) lost its names, so a
// CSV written with its time column read back without one, as 3,120 channels.
TEST(FuzzRegression, ALongNamesLineKeepsTheTimeColumnOnReadBack) {
  CsvWriteRequest request;
  request.sampleRateHz = 4.0;
  for (int c = 1; c <= 3119; ++c) {
    std::string name = "c";  // appended: GCC 12 warns falsely (-Wrestrict) about "c" + std::string
    name += std::to_string(c);
    request.columns.push_back({name, {1.0}});
  }
  const CsvTextResult csv = MakeCsvText(request);
  ASSERT_FALSE(csv.error);
  ASSERT_GT(csv.text.find('\n'), 16u * 1024u);  // the names line alone
  DelimitedReadOptions again;
  again.sampleRateHz = 4.0;
  const DelimitedReadResult back = ReadDelimitedText(csv.text, again, "back.csv");
  ASSERT_TRUE(back.ok());
  EXPECT_EQ(back.layout.timeColumn, 1);
  EXPECT_EQ(back.layout.namesLine, 1);
  EXPECT_EQ(back.channels.size(), 3119u);
}

TEST(FuzzRegression, StudyFilesInputs) { Replay("study_files", fuzz::RunStudyFilesInput); }

TEST(FuzzRegression, SettingsInputs) { Replay("settings", fuzz::RunSettingsInput); }

TEST(FuzzRegression, CliArgsInputs) {
  // The runner works in a private folder; the tests' own folder is restored afterwards.
  const fs::path before = fs::current_path();
  Replay("cli_args", fuzz::RunCliArgsInput);
  fs::current_path(before);
}

// The PPG's scaled copy once ran past 10 by a rounding step: (v - min) * (10 / range) with range 4.9.
TEST(FuzzRegression, PpgScaledCopyNeverExceedsTen) {
  const PpgReadResult r = ParsePpgText("PPG\n0\n4.9\n");
  ASSERT_TRUE(r.ok());
  EXPECT_EQ(r.signal.scaled[1], 10.0);
  EXPECT_GT(4.9 * (10 / 4.9), 10.0);  // the old formula's result
}

}  // namespace
}  // namespace kelvora
