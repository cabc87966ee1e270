#pragma once
// The words of the Analysis page's markers, segments and response measures, in both languages.
#include <QString>

#include "analysis/hyperaemia_measures.h"
#include "shell/app_context.h"

namespace kelvora {

enum class MarkerWord {
  kSave, kFind, kThreshold, kMinimum, kAccept, kDiscard, kHint,
  kRename, kDelete, kLabelTitle, kLabelPrompt, kDefaultLabel,  // kDefaultLabel: %1 the number
  kOcclusionLabel, kRecoveryLabel,                             // %1 the number
  kBefore, kNoRecord, kNoFile, kNotSaved,                      // kNotSaved: %1 the path, %2 the reason
  kBadThreshold, kBadMinimum, kNoReference, kNonFinite, kNoneFound,  // kNonFinite: %1 the sample
  kNoProposals, kSaved,                                        // kSaved: %1 the path
  kTabBands, kTabSegments, kTabResponse,
  kSegmentFilter, kAllSegments, kColumnSegment, kColumnStart, kColumnEnd, kMarkersOutdated, kNoSegments,
  kOcclusionColumn, kHeatingColumn, kMeasure,  // kOcclusionColumn: %1 the number
  kRowInterval, kRowBaseline, kRowBiologicalZero, kRowPeak, kRowTimeToPeak, kRowPeakPercent, kRowPeakMinusZero,
  kRowArea, kRowRepayment, kRowT50, kRowInitialPeak, kRowNadir, kRowPlateau, kRowInitialPeakPercentMax,
  kRowPlateauPercentMax,
  kNoPhases, kSegmentsLine, kSegmentTableLine,
};
QString MarkerText(MarkerWord word, Language language);

// Why a response measure is empty, or what to know of it.
QString MeasureNoteText(MeasureNote note, Language language);

// True for a segment that is an occlusion, or a heating phase: its name starts with the finder's or the user's
// word for it in either language ("occlusion 1", "Окклюзия", "heating 42 C", "нагрев"), ignoring case.
bool IsOcclusionName(const QString& name);
bool IsHeatingName(const QString& name);
// True for the maximum-vasodilation segment, the base of the heating percentages: "max", "maximum 44 C",
// "максимум", ignoring case.
bool IsMaximumName(const QString& name);

}  // namespace kelvora
