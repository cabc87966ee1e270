// The marker readers and writers: the sidecar file (with and without a header, the listing read back), a marker
// column of a delimited file, EDF+ annotations written through EDFlib, the segment files, and bad lines refused
// with their line.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "formats/marker_file.h"
#include "formats/record_markers.h"
#include "formats/edf_writer.h"
#include "tests/signals/temp_dir.h"

namespace kelvora {
namespace {

using kelvora::testing::TempDir;

TEST(MarkerFile, SidecarReadsWithAndWithoutHeaderAndRoundTrips) {
  const MarkerReadResult plain =
      ParseMarkerSidecar("\xEF\xBB\xBF# protocol\r\n12.5,cuff on\r\n\r\n40,\"heating, 44 \"\"C\"\"\",300\r\n70,off,\n");
  ASSERT_TRUE(plain.ok());
  ASSERT_EQ(plain.markers.size(), 3u);
  EXPECT_EQ(plain.markers[0].timeS, 12.5);
  EXPECT_EQ(plain.markers[0].label, "cuff on");
  EXPECT_EQ(plain.markers[0].durationS, 0.0);
  EXPECT_EQ(plain.markers[1].label, "heating, 44 \"C\"");
  EXPECT_EQ(plain.markers[1].durationS, 300.0);
  EXPECT_EQ(plain.markers[2].source, MarkerSource::kSidecar);

  TempDir dir;
  const std::string path = dir.file("rec.markers.csv");
  ASSERT_FALSE(WriteMarkerSidecar(path, plain.markers));
  const MarkerReadResult back = ReadMarkerSidecar(path);
  ASSERT_TRUE(back.ok());
  ASSERT_EQ(back.markers.size(), 3u);
  for (std::size_t i = 0; i < 3; ++i) {
    EXPECT_EQ(back.markers[i].timeS, plain.markers[i].timeS);
    EXPECT_EQ(back.markers[i].label, plain.markers[i].label);
    EXPECT_EQ(back.markers[i].durationS, plain.markers[i].durationS);
  }
  // The command's listing (time_s,duration_s,label,source) reads back by its header's names.
  std::string listing = "time_s,duration_s,label,source\n";
  for (const Marker& m : plain.markers) listing += MarkerListLine(m) + "\n";
  const MarkerReadResult listed = ParseMarkerSidecar(listing);
  ASSERT_TRUE(listed.ok());
  EXPECT_EQ(listed.markers[1].label, plain.markers[1].label);
  EXPECT_EQ(listed.markers[1].durationS, 300.0);
  EXPECT_EQ(MarkerSidecarPath("data/ldf_1.txt"), "data/ldf_1.markers.csv");
  // A marker without a finite time is not written, and the file is left as it was.
  std::vector<Marker> bad = plain.markers;
  bad[2].timeS = std::nan("");
  EXPECT_EQ(WriteMarkerSidecar(path, bad)->kind, MarkerFileErrorKind::kNonFiniteTime);
  EXPECT_TRUE(ReadMarkerSidecar(path).ok());
}

struct BadLine {
  const char* text;
  MarkerFileErrorKind kind;
  long long line;
  int field;
};

class MarkerFileBadLine : public ::testing::TestWithParam<BadLine> {};

TEST_P(MarkerFileBadLine, IsRefusedWithItsLine) {
  const BadLine& c = GetParam();
  const MarkerReadResult read = ParseMarkerSidecar(c.text, "m.csv");
  ASSERT_FALSE(read.ok());
  EXPECT_TRUE(read.markers.empty());
  EXPECT_EQ(read.error->kind, c.kind);
  EXPECT_EQ(read.error->line, c.line);
  EXPECT_EQ(read.error->field, c.field);
  EXPECT_EQ(read.error->path, "m.csv");
}

INSTANTIATE_TEST_SUITE_P(
    Lines, MarkerFileBadLine,
    ::testing::Values(BadLine{"time_s,label\n1,a\n2\n", MarkerFileErrorKind::kFieldCount, 3, 0},
                      BadLine{"1,a\n# note\nx,b\n", MarkerFileErrorKind::kBadTime, 3, 1},
                      BadLine{"1,a\n-2,b\n", MarkerFileErrorKind::kBadTime, 2, 1},
                      BadLine{"1,a\ninf,b\n", MarkerFileErrorKind::kBadTime, 2, 1},
                      BadLine{"1,,3\n", MarkerFileErrorKind::kEmptyLabel, 1, 2},
                      BadLine{"1,a,-3\n", MarkerFileErrorKind::kBadDuration, 1, 3},
                      BadLine{"1,a,2,3\n", MarkerFileErrorKind::kFieldCount, 1, 0},
                      BadLine{"time_s,comment\n1,a\n", MarkerFileErrorKind::kFieldCount, 1, 0}));

TEST(MarkerFile, SegmentsTypedAndFromATable) {
  const SegmentReadResult typed = ParseSegmentList("rest:0:300, heat 44:600.5:900");
  ASSERT_TRUE(typed.ok());
  ASSERT_EQ(typed.segments.size(), 2u);
  EXPECT_EQ(typed.segments[1].name, "heat 44");
  EXPECT_EQ(typed.segments[1].startS, 600.5);
  EXPECT_EQ(ParseSegmentList("rest:300:100").error->kind, MarkerFileErrorKind::kBadInterval);
  EXPECT_EQ(ParseSegmentList("rest:0").error->kind, MarkerFileErrorKind::kBadItem);
  EXPECT_EQ(ParseSegmentList(":0:5").error->kind, MarkerFileErrorKind::kEmptyLabel);
  const SegmentReadResult table = ParseSegmentTable("name,start_s,end_s\nrest,0,300\nload,300,420\n");
  ASSERT_TRUE(table.ok());
  EXPECT_EQ(table.segments[1].endS, 420.0);
  const SegmentReadResult bad = ParseSegmentTable("name,start_s,end_s\nrest,0,300\nload,500,420\n");
  EXPECT_EQ(bad.error->kind, MarkerFileErrorKind::kBadInterval);
  EXPECT_EQ(bad.error->line, 3);
}

TEST(RecordMarkers, MarkerColumnOfADelimitedFile) {
  TempDir dir;
  std::string text = "time_s,flux,event\n";
  for (int i = 0; i < 40; ++i) {
    const char* event = i == 4 ? "cuff on" : i == 30 ? "\"cuff off, released\"" : "";
    text += std::to_string(10.0 + i * 0.5) + "," + std::to_string(12 + i % 3) + "," + event + "\n";
  }
  const std::string path = dir.write("rec.csv", text);
  const MarkerReadResult read = ReadMarkerColumn(path, {});
  ASSERT_TRUE(read.ok());
  ASSERT_EQ(read.markers.size(), 2u);
  EXPECT_DOUBLE_EQ(read.markers[0].timeS, 2.0);
  EXPECT_EQ(read.markers[0].label, "cuff on");
  EXPECT_DOUBLE_EQ(read.markers[1].timeS, 15.0);
  EXPECT_EQ(read.markers[1].label, "cuff off, released");
  EXPECT_EQ(read.markers[1].source, MarkerSource::kColumn);
  MarkerColumnOptions named;
  named.column = ChannelRef::Parse("comment");
  EXPECT_EQ(ReadMarkerColumn(path, named).error->kind, MarkerFileErrorKind::kNoSuchColumn);
  EXPECT_EQ(ReadMarkerColumn(dir.file("none.csv"), {}).error->kind, MarkerFileErrorKind::kMissingFile);
}

TEST(RecordMarkers, EdfPlusAnnotationsWrittenThroughEdflib) {
  TempDir dir;
  EdfWriteRequest request;
  EdfWriteChannel bf{"LDF", "PU", 2, {}};
  for (int i = 0; i < 240; ++i) bf.values.push_back(10 + (i % 7));
  request.channels = {bf};
  request.annotations = {{12.5, 30.0, "occlusion"}, {42.5, -1, "release"}, {50.0, -1, "  "}};
  const std::string path = dir.file("rec.edf");
  ASSERT_FALSE(WriteEdfFile(path, request));
  const EdfReadResult info = ReadEdfFile(path);
  ASSERT_TRUE(info.ok());
  const std::vector<Marker> markers = MarkersFromEdfAnnotations(info.info.annotations);
  ASSERT_EQ(markers.size(), 2u);
  EXPECT_DOUBLE_EQ(markers[0].timeS, 12.5);
  EXPECT_DOUBLE_EQ(markers[0].durationS, 30.0);
  EXPECT_EQ(markers[0].label, "occlusion");
  EXPECT_DOUBLE_EQ(markers[1].timeS, 42.5);
  EXPECT_EQ(markers[1].durationS, 0.0);
  EXPECT_EQ(markers[1].source, MarkerSource::kEdf);
}

}  // namespace
}  // namespace kelvora
