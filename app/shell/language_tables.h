#pragma once
// The interface texts in English and Russian, keyed by object name, and the two routines that apply them.
#include <QString>
#include <vector>

#include "analysis/band_set.h"
#include "analysis/band_table.h"
#include "analysis/phase_coherence.h"
#include "analysis/record_analysis.h"
#include "analysis/study.h"
#include "analysis/study_protocol.h"
#include "formats/marker_file.h"
#include "shell/app_context.h"
#include "signals/transform_session.h"

class QWidget;

namespace kelvora {

struct RecordFileError;

// What part of the named object a text goes to.
enum class TextTarget {
  Text,             // caption of a button, check box, radio button, label, group box title, menu or action
  PageTitle,        // title of page `index` of the QTabWidget
  ChartTitle,       // title of the chart view
  ChartBottomAxis,  // title of the chart view's bottom axis
  RadioItem,        // caption of the index-th QRadioButton child of the group box
  TextIfButton2On,  // caption written only while the object "Button2" is enabled
};

struct TextEntry {
  const char* objectName;
  TextTarget target;
  int index;
  const char* english;  // UTF-8
  const char* russian;  // UTF-8
};

// The complete table, in the order the routines write it.
const std::vector<TextEntry>& LanguageTable();

// English routine: checks the menu item "English1", then writes every English text of the table into the
// objects below `root` that carry the names (objects that do not exist are skipped).
void ApplyEnglish(QWidget* root);
// Russian routine: checks "N2", then writes every Russian text.
void ApplyRussian(QWidget* root);
// ApplyEnglish or ApplyRussian.
void ApplyLanguage(QWidget* root, Language language);

// The status bar's words for the run that holds the runner ("Coherence run in progress"), empty for none.
QString RunHolderText(RunKind kind, Language language);
// Why an action was refused while a run holds the runner.
QString RunRefusedText(RunKind kind, Language language);
// "Stopped" / "Остановлено": a run ended by STOP, without its result.
QString StoppedText(Language language);
// " DONE" / " ГОТОВО", appended to the elapsed time after a run that ended with its result.
QString DoneText(Language language);

// "File <path> does not exist" (or "File does not exist" for an empty path) in `language`.
QString FileMissingText(const QString& path, Language language);
// Qt's own texts (file dialogs, the buttons of message boxes) in `language`: Qt's translations of its base
// module are installed for Russian and removed for English. Returns whether they are in place for Russian (a
// system without them keeps Qt's English).
bool InstallQtTranslations(Language language);

// "Correlation: " or "Корреляция: ".
QString CorrelationPrefix(Language language);

// The words around the Transform session's values, the same in both languages:
// Edit10 / Edit16: "Temperature: " + source, "  Blood Flow:  " + source (two blanks before and after);
QString SourceText(Side side, const QString& source, Language language = Language::English);
// Edit17 / Edit18: the count followed by " points";
QString PointsText(int count, Language language = Language::English);
// LBCorrel1 / LBCorrel2: the prefix of `language` and r rounded to three decimals with `separator`;
QString CorrelationLabel(Language language, double r, char separator);
// the left axis of Chart3 (BF*, converted from the temperature side) or Chart4 (T*): "BF, mm^3/sec",
// "BF, arb. units", "BF, V" and "T, °C", "T, arb. units", "T, °C".
// In Russian the units are Russian ("BF, отн. ед.", "BF, В", "BF, мм^3/с").
QString ConvertedAxisTitle(Side side, AxisUnits units, Language language = Language::English);
// The title of Chart3 (BF*, converted from the temperature side) or Chart4 (T*) in `language`, with
// OutdatedSuffix when a setting changed since the conversion.
QString ConvertedChartTitle(Side side, Language language, bool outdated);
// What a result made before its settings changed adds to its title or label: " (out of date: settings
// changed)".
QString OutdatedSuffix(Language language);

// The words of the Analysis page that change with its state (list items, table headers, axis titles, messages).
enum class AnalysisWord {
  kSourceFile, kSourceT, kSourceBF, kSourcePpg, kPairTransform, kPairFiles,
  kBandsDefault, kBandsSix, kBandsCustom,
  kDetrendNone, kDetrendMean, kDetrendLinear, kDetrendCubic,
  kAmplitude, kPower, kColourLinear, kColourLog,
  kColumnBand, kColumnLow, kColumnHigh, kColumnAmplitude, kColumnPower, kColumnRelAmplitude, kColumnRelPower,
  kColumnCoverage, kColumnCoherence, kColumnThreshold, kColumnSignificant, kColumnLag, kColumnDepth, kColumnNote,
  kScalogramTitle, kScalogramTitleBF, kCoherenceMapTitle, kAxisFrequency, kAxisTime, kAxisAmplitude, kAxisCoherence, kAxisLag,
  kAxisDepth, kCurveCoherence, kCurveThreshold, kCurveT, kCurveBF, kHoverTime, kHoverFrequency, kHoverValue,
  kHoverOutsideCone, kUnitMinutes, kUnitHertz, kNoFile, kNoRecordT, kNoRecordBF, kNoEnvelope, kNoResult, kNoDepth, kTransformBusy,
  kTruncated, kBadRate, kBadF0, kBadFmin, kBadFmax, kBadSeed, kAutomatic,
  kPairRatesDiffer,  // %1 the T record's rate, %2 the BF record's
};
QString AnalysisText(AnalysisWord word, Language language);
// A band's name as the page shows it: a preset's key translated, the user's own name as given.
QString AnalysisBandName(const AnalysisBand& band, Language language);
// The note of a band row ("record too short for this band: it needs at least M min", M rounded up to a tenth
// and written with `separator`); empty without a note.
QString AnalysisNoteText(BandNote note, double neededMinutes, Language language, char separator);
// A band of the chosen set that the table leaves out: its name, its range and why ("Cardiac (0.6–1.6 Hz) left
// out: above f max 0.667 Hz").
QString AnalysisOmittedBandText(const AnalysisBand& band, FrequencyBand analysed, Language language);
// Why the options or a record were refused, or why a run ended without a result.
QString AnalysisErrorText(const AnalysisError& error, const AnalysisOptions& options, Language language);
QString BandSetErrorText(const BandSetError& error, Language language);
QString CoherenceErrorText(const CoherenceError& error, const AnalysisOptions& options, Language language);

// The text of Help -> "About Kelvora": the program, its version and its licence (GPL-3.0-or-later).
QString AboutText(Language language);


// The window's text of an import or export error of an instrument file (signals/record_file_error.h): the file,
// the line of a text file, then what is wrong (the column of a cell, the header field and signal of an EDF file).
QString RecordFileErrorText(const RecordFileError& error, Language language);

// The words of the Import dialog that are not captions of named controls.
enum class ImportWord {
  kTitle, kComma, kSemicolon, kTab, kWhitespace, kPoint, kDecimalComma, kNoTimeColumn,
  kColumnHeader, kNameHeader, kUnitHeader, kLabelHeader, kRateHeader, kSamplesHeader, kTimeHeader,
  kDurationHeader, kTextHeader, kTemperature, kBloodFlow, kPpg, kSignal, kFileRate,
  kRateMeasured,   // %1 rate, %2 rows
  kRateOfChannel,  // %1 rate
  kResampled,      // %1 ratio, %2 from, %3 to
  kNotResampled,   // %1 rate
  kBadRate, kSampleLimit,
  kRateDiffers,  // %1 the record's rate, %2 the loaded record's
  kBlockHeader, kStartHeader, kCommentsHeader, kBlocksJoined, kNoFileRate, kVariableHeader,
};
QString ImportText(ImportWord word, Language language);

// The words of the Study page that change with its state (headers, list items, titles, messages).
enum class StudyWord {
  kColSubject, kColGroup, kColCondition, kColFile, kColBfFile, kColMarkers,
  kSumGroup, kSumCondition, kSumBand, kSumMeasure, kSumN, kSumMedian, kSumQ1, kSumQ3, kSumMean, kSumSd,
  kTestBand, kTestMeasure, kTestComparison, kTestName, kTestN, kTestStatistic, kTestP, kTestPHolm, kTestEstimate,
  kTabSummary, kTabTests, kByGroup, kByCondition, kChartTitle /* %1 measure */, kNoGroup,
  kNoRows, kNoOut, kNoMeasure, kNeedsPair /* %1 line */, kMarkersColumn /* %1 line */, kDone /* %1 total, %2 computed, %3 reused, %4 failed */,
  kLine /* %1 line, %2 reason */, kNotRun, kNoResultFile, kNoResult, kBadRate, kEmptyCell /* %1 row, %2 column */,
  kOpenTitle, kSaveTitle, kAddTitle, kOutTitle, kReportTitle, kManifestFilter, kReportHeading,
  kMoreProblems /* %1 count */,
  kSegmentsWhole, kSegmentsMarkers, kSegmentsTyped, kSegmentsHint, kIntervalHint, kBaselineHint, kMaximumHint,
  kBadInterval /* %1 field, %2 text */, kHeatingList /* %1 text */, kNoTypedSegments, kTypedSegments /* %1 reason */,
  kNoMarkersInRecord /* %1 path */, kNoSegmentForBaseline, kNoSegmentForMaximum, kNoSegmentForHeating /* %1 path, %2 name */,
  kResponseBand, kReportCounts /* %1 version, %2 recordings, %3 failed */, kReportMethod1, kReportMethod2,
};
QString StudyText(StudyWord word, Language language);
// A measure of a study's rows ("rel_amplitude", "bf_power", "coherence") as the page shows it; an unknown name as
// it stands.
QString StudyMeasureLabel(const std::string& measure, Language language);
// A test of tests.csv ("mann_whitney_u_exact") and a comparison ("A vs B in C") as the page shows them.
QString StudyTestLabel(const std::string& test, Language language);
QString StudyComparisonLabel(const std::string& comparison, Language language);
// Why a manifest was refused (its line and what is wrong).
QString StudyManifestErrorText(const ManifestError& error, Language language);
// Why one recording of a study has no result (`options`: the study's analysis settings).
QString StudyErrorText(const StudyError& error, const AnalysisOptions& options, Language language);
// Why a markers file, a sidecar, a marker column or typed segments could not be read.
QString MarkerFileErrorText(const MarkerFileError& error, Language language);
// Why the protocol of a study's flux record at `path` could not be taken.
QString StudyProtocolErrorText(const StudyProtocolError& error, const std::string& path, Language language);

}  // namespace kelvora
