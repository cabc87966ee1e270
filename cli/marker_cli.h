#pragma once
// What the commands that use protocol markers share (markers, porh, heating, analyze, coherence): the marker
// options, gathering a record's markers from every place that holds them, the found occlusions, the segments
// option, and the texts of their errors and notes.
#include <optional>
#include <string>
#include <vector>

#include "analysis/hyperaemia_measures.h"
#include "analysis/occlusion_finder.h"
#include "analysis/protocol_segments.h"
#include "analysis/study.h"
#include "cli/command_support.h"
#include "formats/marker.h"
#include "formats/marker_file.h"

namespace kelvora::cli {

// The names the commands give what they make of markers: the stretch before the first marker ("before LABEL"),
// found occlusions ("occlusion K", "recovery K") and heating phases ("heating", "heating K").
StudyProtocolNames ProtocolNames();

// --markers FILE, --marker-column NAME|N.
std::vector<OptionDef> MarkerSourceOptionDefs();
// --find-occlusions, --occlusion-below PCT, --occlusion-min S, --occlusion-gap S.
std::vector<OptionDef> OcclusionFinderOptionDefs();

// Reads --occlusion-below, --occlusion-min and --occlusion-gap at the record's rate; gives a usage error text for a bad value.
std::optional<std::string> ReadOcclusionFinderOptions(const ParsedArgs& parsed, int sampleRateHz,
                                                      OcclusionFinderOptions& options);

// The markers of the record read from `path` (details as LoadInput gave them), sorted by time: the EDF+
// annotations of an EDF file, the marker column of a delimited file, and the sidecar (--markers FILE, else
// RECORD.markers.csv beside the record when there is one). Reports a bad marker file and gives nothing.
std::optional<std::vector<Marker>> GatherMarkers(CliContext& context, const CommonOptions& common,
                                                 const ParsedArgs& parsed, const std::string& path,
                                                 const InputDetails& details, int& exitStatus);

// Why the occlusion finder refused a record.
std::string OcclusionFinderErrorText(const OcclusionFinderError& error);

// The occlusions FindOcclusions finds in the record with the options; reports a failure and gives nothing.
std::optional<std::vector<FoundOcclusion>> FindRecordOcclusions(CliContext& context, const std::string& path,
                                                                const SignalRecord& record,
                                                                const OcclusionFinderOptions& options,
                                                                int& exitStatus);
// GatherMarkers, then with --find-occlusions the markers of the occlusions found (OcclusionMarkers) after them.
std::optional<std::vector<Marker>> RecordMarkers(CliContext& context, const CommonOptions& common,
                                                 const ParsedArgs& parsed, const std::string& path,
                                                 const SignalRecord& record, const InputDetails& details,
                                                 int& exitStatus);
// The segments of a --segments value other than markers: a name,start_s,end_s file (a name ending in .csv or
// without ':'), else NAME:START:END,...
SegmentReadResult ReadGivenSegments(const std::string& text);

// --segments markers|NAME:START:END,...|FILE.csv.
OptionDef SegmentsOptionDef();
// The segments of a record of durationS seconds that --segments asks for (nothing when it is not given): of the
// markers (GatherMarkers, plus found occlusions with --find-occlusions; the stretch before the first marker is
// named "before LABEL"), of a segment table file, or typed. Reports a fault and sets exitStatus.
std::optional<std::vector<Segment>> ReadSegments(CliContext& context, const CommonOptions& common,
                                                 const ParsedArgs& parsed, const std::string& path,
                                                 const SignalRecord& record, const InputDetails& details,
                                                 int& exitStatus);

// "FILE:LINE: ..." for a marker or segment file fault.
std::string MarkerFileErrorText(const MarkerFileError& error);
// The reason a response measure is empty, or what to know of it.
std::string MeasureNoteText(MeasureNote note);
// The notes joined by "; ".
std::string MeasureNotesText(const std::vector<MeasureNote>& notes);
// "START:END" seconds, 0 <= START < END; nothing otherwise.
std::optional<TimeInterval> ParseTimeInterval(const std::string& text);

}  // namespace kelvora::cli
