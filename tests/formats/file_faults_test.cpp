// Faults around signal and PPG files: damaged or odd texts read with a defined result or a message naming the
// line, and saves that fail without touching the old file or leaving a temporary file behind.
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cmath>
#include <csignal>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include "core/atomic_file.h"
#include "formats/ppg_file.h"
#include "formats/signal_file.h"
#include "tests/signals/temp_dir.h"

namespace kelvora {
namespace {

using testing::TempDir;
namespace fs = std::filesystem;

const DecimalFormat kDot = DecimalFormat::ForSeparator('.');
const DecimalFormat kComma = DecimalFormat::ForSeparator(',');

SignalReadResult ReadText(const std::string& text, bool temperature = false, DecimalFormat format = kDot) {
  TempDir dir;
  return ReadSignalFile(dir.write("signal.txt", text), temperature, format);
}

// Every sample and normalized value of a record is finite.
void ExpectFinite(const SignalRecord& record) {
  for (const double v : record.values) EXPECT_TRUE(std::isfinite(v));
  for (const double v : record.normalized) EXPECT_TRUE(std::isfinite(v));
}

// The names in a folder, so a test can see that no temporary file was left.
std::vector<std::string> FolderNames(const std::string& folder) {
  std::vector<std::string> names;
  for (const fs::directory_entry& e : fs::directory_iterator(folder)) names.push_back(e.path().filename().string());
  std::sort(names.begin(), names.end());
  return names;
}

// ---- Reading: line ends, byte-order mark, numbers ---------------------------------------------------------------

TEST(SignalFileFaults, ByteOrderMarkAndEveryLineEndReadNormally) {
  const std::vector<double> expected = {36.6, 36.7, 36.8};
  for (const char* text : {"\xEF\xBB\xBF"
                           "36.6\n36.7\n36.8\n",
                           "36.6\r\n36.7\r\n36.8\r\n", "36.6\r36.7\r36.8\r",
                           "\xEF\xBB\xBF"
                           "36.6\r\n36.7\r36.8",
                           "36.6\n36.7\r\n36.8"}) {
    const SignalReadResult r = ReadText(text, true);
    ASSERT_TRUE(r.ok()) << r.error->message << " at line " << r.error->line;
    EXPECT_EQ(r.record.values, expected) << text;
    EXPECT_FALSE(r.kelvin);
  }
  // A byte-order mark before a TAB layout leaves the layout and the kelvin check to the first real line.
  const SignalReadResult tabs = ReadText(
      "\xEF\xBB\xBF"
      "300\t0\r\n301\t1\r\n",
      true);
  ASSERT_TRUE(tabs.ok());
  EXPECT_TRUE(tabs.tabLayout);
  EXPECT_TRUE(tabs.kelvin);
  ASSERT_EQ(tabs.record.count(), 2);
  EXPECT_NEAR(tabs.record.values[0], 300 - 273.15, 1e-12);
}

TEST(SignalFileFaults, NumberTextsAsAUserWritesThem) {
  struct Case {
    const char* text;
    double value;
  };
  for (const Case& c :
       {Case{" 36.6 ", 36.6}, Case{"+36.6", 36.6}, Case{"\t36.6\t", 36.6}, Case{"-0", 0.0}, Case{"-0.0", 0.0},
        Case{"3.66e1", 36.6}, Case{"36.", 36.0}, Case{".5", 0.5}, Case{"1e308", 1e308}, Case{"4.9e-324", 4.9e-324}}) {
    const SignalReadResult r = ReadText(std::string("1\n") + c.text + "\n");
    ASSERT_TRUE(r.ok()) << "'" << c.text << "'";
    EXPECT_EQ(r.record.values[1], c.value) << "'" << c.text << "'";
    EXPECT_FALSE(std::signbit(r.record.values[1])) << "'" << c.text << "' gives a negative zero";
  }
}

TEST(SignalFileFaults, NonFiniteAndOutOfRangeNumbersAreRefusedNamingTheLine) {
  for (const char* text : {"1e400", "-1e400", "1e-400", "nan", "NaN", "-nan", "inf", "-inf", "infinity", "+-1", "++1",
                           "0x10", "1e", "36.6.1", "36,6,1", "- 1", "1 2", "36.6;"}) {
    const SignalReadResult r = ReadText(std::string("36.5\n36.6\n") + text + "\n36.7\n");
    ASSERT_FALSE(r.ok()) << "'" << text << "' was read";
    EXPECT_EQ(r.error->kind, SignalFileErrorKind::kInvalidNumber);
    EXPECT_EQ(r.error->line, 3) << text;
    EXPECT_EQ(r.error->text, text);
    EXPECT_TRUE(r.record.empty());
  }
  // With "," as the system separator a "." is not a decimal mark.
  const SignalReadResult dot = ReadText("36,6\n36.6\n", false, kComma);
  ASSERT_FALSE(dot.ok());
  EXPECT_EQ(dot.error->line, 2);
}

TEST(SignalFileFaults, ExtremesWhoseRangeOverflowsGiveAFiniteNormalizedRecord) {
  // maximum - minimum is infinite here; the normalized values must still run 0 .. 1 without a NaN.
  const SignalReadResult r = ReadText("-1e308\n0\n1.7e308\n");
  ASSERT_TRUE(r.ok());
  ExpectFinite(r.record);
  ASSERT_EQ(r.record.normalized.size(), 3u);
  EXPECT_EQ(r.record.normalized[0], 0.0);
  EXPECT_NEAR(r.record.normalized[1], 1.0 / 2.7, 1e-12);
  EXPECT_EQ(r.record.normalized[2], 1.0);
}

// ---- Reading: binary data, NUL bytes, an enormous line, a file cut short --------------------------------------

TEST(SignalFileFaults, NulBytesAndBinaryDataGiveAMessageNamingTheLine) {
  const SignalReadResult nul = ReadText(std::string("36.6\n36\0.7\n36.8\n", 16));
  ASSERT_FALSE(nul.ok());
  EXPECT_EQ(nul.error->line, 2);
  EXPECT_EQ(nul.error->text, std::string("36\0.7", 5));

  std::string binary;
  for (int i = 0; i < 4096; ++i) binary += static_cast<char>((i * 7919) % 256);
  for (const bool temperature : {false, true}) {
    const SignalReadResult r = ReadText(binary, temperature);
    ASSERT_FALSE(r.ok());
    EXPECT_EQ(r.error->kind, SignalFileErrorKind::kInvalidNumber);
    EXPECT_GE(r.error->line, 1);
    EXPECT_LE(r.error->text.size(), 43u);  // at most 40 bytes and "..."
  }
  // A file of NUL bytes only (a disk block that was never written) is one bad line.
  const SignalReadResult zeros = ReadText(std::string(100000, '\0'));
  ASSERT_FALSE(zeros.ok());
  EXPECT_EQ(zeros.error->line, 1);
  EXPECT_EQ(zeros.error->text, std::string(40, '\0') + "...");
}

TEST(SignalFileFaults, AHundredMegabyteLine) {
  TempDir dir;
  const std::string path = dir.file("long.txt");
  constexpr std::size_t kLine = 100u << 20;
  {
    // A number of 100 MB digits: refused at its line, the text quoted in part.
    std::ofstream out(path, std::ios::binary);
    out << "36.6\n";
    const std::string block(1 << 20, '7');
    for (std::size_t i = 0; i < kLine / block.size(); ++i) out << block;
    out << "\n36.7\n";
  }
  const SignalReadResult digits = ReadSignalFile(path, false, kDot);
  ASSERT_FALSE(digits.ok());
  EXPECT_EQ(digits.error->line, 2);
  EXPECT_EQ(digits.error->text, std::string(40, '7') + "...");
  {
    // In the TAB layout only the text before the first TAB is the value: 100 MB of other columns are skipped.
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << "36.6\t0\n36.7\t";
    const std::string block(1 << 20, 'x');
    for (std::size_t i = 0; i < kLine / block.size(); ++i) out << block;
    out << "\n36.8\t2\n";
  }
  const SignalReadResult columns = ReadSignalFile(path, true, kDot);
  ASSERT_TRUE(columns.ok());
  EXPECT_EQ(columns.record.values, (std::vector<double>{36.6, 36.7, 36.8}));
}

TEST(SignalFileFaults, ASourceWithoutLineEndsIsNotReadOn) {
  // /dev/zero never ends: its first line is refused once it is longer than any number, in bounded memory.
  if (!fs::exists("/dev/zero")) GTEST_SKIP() << "no /dev/zero";
  for (const bool temperature : {false, true}) {
    const SignalReadResult r = ReadSignalFile("/dev/zero", temperature, kDot);
    ASSERT_FALSE(r.ok());
    EXPECT_EQ(r.error->line, 1);
    EXPECT_EQ(r.error->text, std::string(40, '\0') + "...");
  }
  // PPG: the header never ends, so there is no sample.
  const PpgReadResult ppg = ReadPpgFile("/dev/zero");
  ASSERT_TRUE(ppg.ok()) << ppg.message;
  EXPECT_TRUE(ppg.signal.empty());
}

TEST(SignalFileFaults, AFileCutShortReadsWhatArrived) {
  // A cut inside a number leaves a shorter number; a cut that leaves no number is a bad last line; a cut
  // inside a CR LF loses nothing.
  EXPECT_EQ(ReadText("36.6\n36.7\n36.").record.values, (std::vector<double>{36.6, 36.7, 36.0}));
  EXPECT_EQ(ReadText("36.6\r\n36.7\r").record.values, (std::vector<double>{36.6, 36.7}));
  const SignalReadResult sign = ReadText("36.6\n36.7\n-");
  ASSERT_FALSE(sign.ok());
  EXPECT_EQ(sign.error->line, 3);
  const SignalReadResult exponent = ReadText("36.6\n3.67e");
  ASSERT_FALSE(exponent.ok());
  EXPECT_EQ(exponent.error->line, 2);
  // A byte-order mark cut short is text, and not a number.
  EXPECT_FALSE(ReadText("\xEF\xBB").ok());
}

TEST(SignalFileFaults, AFileTruncatedWhileItIsReadGivesADefinedResult) {
  TempDir dir;
  std::string text;
  for (int i = 0; i < 20000; ++i) text += std::to_string(30.0 + (i % 100) * 0.01) + "\n";
  const std::string path = dir.write("shrinking.txt", text);
  std::atomic<bool> done{false};
  std::thread truncator([&] {
    std::size_t size = text.size();
    while (!done.load()) {
      size = size > 4096 ? size - 4093 : text.size();
      fs::resize_file(path, size);
    }
  });
  for (int round = 0; round < 40; ++round) {
    const SignalReadResult r = ReadSignalFile(path, true, kDot);
    if (r.ok()) {
      EXPECT_LE(r.record.count(), 20000);
      ExpectFinite(r.record);
    } else {
      // Only the last line can be cut into something that is not a number.
      EXPECT_EQ(r.error->kind, SignalFileErrorKind::kInvalidNumber);
      EXPECT_GE(r.error->line, 1);
    }
  }
  done = true;
  truncator.join();
}

TEST(SignalFileFaults, ReadingAFolderOrAMissingFileIsAClearError) {
  TempDir dir;
  const SignalReadResult folder = ReadSignalFile(dir.file(""), false, kDot);
  ASSERT_FALSE(folder.ok());
  EXPECT_EQ(folder.error->kind, SignalFileErrorKind::kCannotOpen);
  EXPECT_EQ(folder.error->reason, "Is a directory");
  const SignalReadResult missing = ReadSignalFile(dir.file("none.txt"), false, kDot);
  ASSERT_FALSE(missing.ok());
  EXPECT_EQ(missing.error->kind, SignalFileErrorKind::kMissingFile);
}

// ---- PPG reader: the same texts -------------------------------------------------------------------------------

TEST(PpgFileFaults, ByteOrderMarkAndEveryLineEndReadNormally) {
  const std::vector<double> expected = {1.5, 2.5, 3.5};
  for (const char* text : {"\xEF\xBB\xBFPPG\n1.5\n2.5\n3.5\n", "PPG\r\n1.5\r\n2.5\r\n3.5\r\n", "PPG\r1.5\r2.5\r3.5\r",
                           "PPG\r1.5\r\n2.5\n3.5"}) {
    const PpgReadResult r = ParsePpgText(text);
    ASSERT_TRUE(r.ok()) << r.message;
    EXPECT_EQ(r.signal.values, expected);
  }
}

TEST(PpgFileFaults, NumberTextsAndBadNumbersNamingTheLine) {
  const PpgReadResult good = ParsePpgText("PPG\n 36.6 \n+36.6\n-0\n1e308\n");
  ASSERT_TRUE(good.ok()) << good.message;
  EXPECT_EQ(good.signal.values, (std::vector<double>{36.6, 36.6, 0.0, 1e308}));
  EXPECT_FALSE(std::signbit(good.signal.values[2]));

  for (const char* text : {"1e400", "1e-400", "nan", "inf", "-inf", "+-1", "0x10", "36.6.1"}) {
    const PpgReadResult r = ParsePpgText(std::string("PPG\n1\n") + text + "\n2\n");
    ASSERT_FALSE(r.ok()) << "'" << text << "' was read";
    EXPECT_EQ(r.status, PpgReadStatus::kBadNumber);
    EXPECT_EQ(r.line, 3);
    EXPECT_NE(r.message.find("Line 3"), std::string::npos) << r.message;
    EXPECT_TRUE(r.signal.empty());
  }
}

TEST(PpgFileFaults, NulBytesBinaryDataAndAHundredMegabyteLine) {
  const PpgReadResult nul = ParsePpgText(std::string("PPG\n1\n2") + '\0' + "3\n");
  ASSERT_FALSE(nul.ok());
  EXPECT_EQ(nul.line, 3);
  EXPECT_NE(nul.message.find("2\\x003"), std::string::npos) << nul.message;  // shown, not cut at the NUL

  std::string binary = "header\n";
  for (int i = 0; i < 4096; ++i) binary += static_cast<char>((i * 7919) % 256);
  const PpgReadResult junk = ParsePpgText(binary);
  ASSERT_FALSE(junk.ok());
  EXPECT_GE(junk.line, 2);
  for (const char c : junk.message) EXPECT_TRUE(c >= 0x20 && c < 0x7F) << junk.message;

  TempDir dir;
  const std::string path = dir.file("long.txt");
  {
    std::ofstream out(path, std::ios::binary);
    out << "PPG\n1\n";
    const std::string block(1 << 20, '5');
    for (int i = 0; i < 100; ++i) out << block;
    out << "\n2\n";
  }
  const PpgReadResult longLine = ReadPpgFile(path);
  ASSERT_FALSE(longLine.ok());
  EXPECT_EQ(longLine.line, 3);
  EXPECT_LT(longLine.message.size(), 100u);
}

TEST(PpgFileFaults, AFileCutShortAndAConstantSignal) {
  EXPECT_EQ(ParsePpgText("PPG\n1.5\n2.").signal.values, (std::vector<double>{1.5, 2.0}));
  const PpgReadResult cut = ParsePpgText("PPG\n1.5\n2e");
  ASSERT_FALSE(cut.ok());
  EXPECT_EQ(cut.line, 3);
  // Every sample equal: read, with a note, and no scaled copy (nothing divides by zero).
  const PpgReadResult flat = ParsePpgText("PPG\n5\n5\n5\n");
  ASSERT_TRUE(flat.ok());
  EXPECT_FALSE(flat.signal.scalable());
  EXPECT_FALSE(flat.message.empty());
  // Extremes whose range overflows a double are read but not scaled.
  const PpgReadResult wide = ParsePpgText("PPG\n-1e308\n1e308\n");
  ASSERT_TRUE(wide.ok());
  EXPECT_FALSE(wide.signal.scalable());
}

// ---- Saving ---------------------------------------------------------------------------------------------------

TEST(SaveFaults, MissingOrUnwritableFolderGivesTheReasonAndCreatesNothing) {
  TempDir dir;
  const auto missing = WriteSignalFile({1.0, 2.0}, 1, dir.file("no/such/folder/out.txt"), '.');
  ASSERT_TRUE(missing.has_value());
  EXPECT_EQ(missing->kind, SignalFileErrorKind::kCannotWrite);
  EXPECT_EQ(missing->message, "Cannot write file");
  EXPECT_EQ(missing->reason, "No such file or directory");
  EXPECT_FALSE(fs::exists(dir.file("no")));

  // A folder nobody may write: sysfs refuses new files even to root; a folder without write permission does
  // for other users.
  if (fs::is_directory("/sys/kernel")) {
    const auto sys = WriteSignalFile({1.0}, 0, "/sys/kernel/kelvora-out.txt", '.');
    ASSERT_TRUE(sys.has_value());
    EXPECT_FALSE(sys->reason.empty());
  }
  if (::geteuid() != 0) {
    const std::string locked = dir.file("locked");
    fs::create_directory(locked);
    std::ofstream(locked + "/keep.txt") << "1\n";
    fs::permissions(locked, fs::perms::owner_read | fs::perms::owner_exec);
    const auto refused = WriteSignalFile({5.0}, 0, locked + "/keep.txt", '.');
    fs::permissions(locked, fs::perms::owner_all);
    ASSERT_TRUE(refused.has_value());
    EXPECT_EQ(refused->reason, "Permission denied");
    EXPECT_EQ(TempDir::read(locked + "/keep.txt"), "1\n");
    EXPECT_EQ(FolderNames(locked), std::vector<std::string>{"keep.txt"});
  }
}

TEST(SaveFaults, PathThatIsAFolderIsRefusedAndTheFolderKept) {
  TempDir dir;
  fs::create_directory(dir.file("results"));
  dir.write("results/inside.txt", "7\n");
  const auto error = WriteSignalFile({1.0}, 0, dir.file("results"), '.');
  ASSERT_TRUE(error.has_value());
  EXPECT_EQ(error->reason, "Is a directory");
  EXPECT_TRUE(fs::is_directory(dir.file("results")));
  EXPECT_EQ(TempDir::read(dir.file("results/inside.txt")), "7\n");
  EXPECT_EQ(FolderNames(dir.file("")), std::vector<std::string>{"results"});
}

TEST(SaveFaults, FullDiskKeepsTheOldFileAndLeavesNoTemporaryFile) {
  // /dev/full refuses every byte with "No space left on device"; it is written in place and stays a device.
  if (fs::exists("/dev/full")) {
    const auto full = WriteSignalFile({1.0, 2.0}, 1, "/dev/full", '.');
    ASSERT_TRUE(full.has_value());
    EXPECT_EQ(full->reason, "No space left on device");
    EXPECT_TRUE(fs::is_character_file("/dev/full"));
  }

  // A regular file on a disk that fills up during the save: the file-size limit makes the write fail part way
  // (the kernel's EFBIG, as a full disk gives ENOSPC), like a disk with 1000 bytes left.
  TempDir dir;
  const std::string path = dir.write("record.txt", "36.6\n36.7\n");
  std::vector<double> values(20000);
  for (std::size_t i = 0; i < values.size(); ++i) values[i] = 30.0 + static_cast<double>(i % 1000) * 0.001;
  struct rlimit old {};
  ASSERT_EQ(::getrlimit(RLIMIT_FSIZE, &old), 0);
  const auto oldHandler = std::signal(SIGXFSZ, SIG_IGN);
  struct rlimit small = old;
  small.rlim_cur = 1000;
  ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &small), 0);
  const auto error = WriteSignalFile(values, 19999, path, '.');
  ::setrlimit(RLIMIT_FSIZE, &old);
  std::signal(SIGXFSZ, oldHandler);
  ASSERT_TRUE(error.has_value());
  EXPECT_EQ(error->kind, SignalFileErrorKind::kCannotWrite);
  EXPECT_EQ(error->reason, "File too large");
  EXPECT_EQ(TempDir::read(path), "36.6\n36.7\n");
  EXPECT_EQ(FolderNames(dir.file("")), std::vector<std::string>{"record.txt"});
}

TEST(SaveFaults, AReplacedFileKeepsItsPermissionsAndALinkStaysALink) {
  TempDir dir;
  const std::string real = dir.write("real.txt", "1\n");
  fs::permissions(real, fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read);
  fs::create_symlink(real, dir.file("link.txt"));
  ASSERT_FALSE(WriteSignalFile({2.0, 3.0}, 1, dir.file("link.txt"), '.').has_value());
  EXPECT_TRUE(fs::is_symlink(dir.file("link.txt")));
  EXPECT_EQ(TempDir::read(real), "2\n3\n");
  EXPECT_EQ(fs::status(real).permissions() & fs::perms::all,
            fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read);
  EXPECT_EQ(FolderNames(dir.file("")), (std::vector<std::string>{"link.txt", "real.txt"}));
}

TEST(SaveFaults, AStaleTemporaryNameOrALinkInItsPlaceIsNeverWrittenThrough) {
  // A temporary file is made afresh under a new name: a link planted beside the target is not followed.
  TempDir dir;
  const std::string victim = dir.write("victim.txt", "untouched\n");
  fs::create_symlink(victim, dir.file("out.txt.kelvora-tmp"));
  ASSERT_FALSE(WriteFileAtomically(dir.file("out.txt"), "saved\n").has_value());
  EXPECT_EQ(TempDir::read(dir.file("out.txt")), "saved\n");
  EXPECT_EQ(TempDir::read(victim), "untouched\n");
}

}  // namespace
}  // namespace kelvora
