#pragma once
// Segments of a record made of its markers, and the samples a segment or an interval covers.
#include <string>
#include <vector>

#include "analysis/cone_of_influence.h"
#include "formats/marker.h"

namespace kelvora {

// Five periods of a band's lower edge: the shortest segment whose band statistics are reported without a note.
inline constexpr double kSegmentPeriods = 5.0;

// The samples n of a record of sampleCount samples at sampleRateHz with startS <= n / fs < endS (evaluated in
// double as written), cut to the record; empty when none. Pure.
SampleRange SamplesInInterval(double startS, double endS, double sampleRateHz, long long sampleCount);

// The samples of both ranges. Pure.
SampleRange Intersection(const SampleRange& a, const SampleRange& b);

// The segments of a record of durationS seconds made of its markers (any order; sorted by time here):
// - a marker with a duration > 0 gives the segment [time, time + duration) named by its label;
// - the markers without a duration cut the record: each opens a segment that runs to the next such marker (or
//   the record's end), named by its label; when the first of them is after the record's start, the time before
//   it is a segment with an empty name (the caller names it).
// Segments are cut to the record; empty ones are left out. Ordered by start, then as made. Pure.
std::vector<Segment> SegmentsFromMarkers(const std::vector<Marker>& markers, double durationS);

// SegmentsFromMarkers with the stretch before the first marker named beforeWord + " " + the label of the first
// marker in time (the caller's word): the segments the command-line tools and studies report. Pure.
std::vector<Segment> MarkerSegments(const std::vector<Marker>& markers, double durationS,
                                    const std::string& beforeWord);

// kSegmentPeriods / lowHz / 60: the minutes a segment needs for a band starting at lowHz. Pure.
double NeededSegmentMinutes(double lowHz);

}  // namespace kelvora
