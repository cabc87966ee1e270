#pragma once
// A record's protocol markers drawn on a chart of it: each marker a labelled vertical line, the segments between
// them shaded in turn.
#include <string>
#include <vector>

#include "formats/marker.h"

class QPainter;
class QRect;

namespace kelvora {

class PlotView;

// Replaces the markers drawn on `chart` (time axis in minutes) by `markers` of a record of durationS seconds,
// spanning the chart's current value range. An empty list removes them. The added series are named
// "SeriesMarker..." and kept out of the legend. UI thread.
// Proposed markers (source kFound) are drawn orange and cut no segment; `selected` (an index into `markers`, or
// -1) is drawn bold.
void ShowMarkers(PlotView* chart, const std::vector<Marker>& markers, double durationS, int selected = -1);

// The segments the markers cut a record of durationS seconds into (SegmentsFromMarkers over the markers that are
// not proposals); the time before the first marker, which has no name of its own, is named beforeWord + " " +
// the first marker's label. Pure.
std::vector<Segment> RecordSegments(const std::vector<Marker>& markers, double durationS, const std::string& beforeWord);

// Draws the markers and segments over a painted picture whose `plot` rectangle spans 0 .. spanS seconds (the
// scalogram, the coherence map): the segments shaded in turn, each marker a line with its label at the top.
void PaintMarkers(QPainter& painter, const QRect& plot, double spanS, const std::vector<Marker>& markers,
                  const std::vector<Segment>& segments);

// The markers of a record file, sorted by time: the annotations of an EDF+ / BDF+ file, the comments of a
// LabChart text or .mat export (`comments`: those of the block the import read, as ImportedRecord::markers
// holds them; when none are given, those of a file of one block), and the sidecar beside it
// (RECORD.markers.csv) merged with them as MergeSidecarMarkers does; a sidecar that cannot be read adds none.
// Any thread.
std::vector<Marker> RecordFileMarkers(const std::string& recordPath, const std::vector<Marker>& comments = {});

}  // namespace kelvora
