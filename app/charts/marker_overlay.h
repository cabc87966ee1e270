#pragma once
// A record's protocol markers drawn on a chart of it: each marker a labelled vertical line, the segments between
// them shaded in turn.
#include <string>
#include <vector>

#include "formats/marker.h"

namespace kelvora {

class PlotView;

// Replaces the markers drawn on `chart` (time axis in minutes) by `markers` of a record of durationS seconds,
// spanning the chart's current value range. An empty list removes them. The added series are named
// "SeriesMarker..." and kept out of the legend. UI thread.
void ShowMarkers(PlotView* chart, const std::vector<Marker>& markers, double durationS);

// The markers of a record file, sorted by time: the annotations of an EDF+ / BDF+ file, the comments of a
// LabChart text or .mat export (`comments`: those of the block the import read, as ImportedRecord::markers
// holds them; when none are given, those of a file of one block), and the sidecar beside it
// (RECORD.markers.csv); a sidecar that cannot be read adds none. Any thread.
std::vector<Marker> RecordFileMarkers(const std::string& recordPath, const std::vector<Marker>& comments = {});

}  // namespace kelvora
