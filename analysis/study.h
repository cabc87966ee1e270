#pragma once
// A study: the measures of every recording of a manifest, each recording's result kept as a file of its own so
// that an interrupted or sharded study goes on with what is missing, and the tables built from those files.
//
// A measure is a function from a loaded recording and the settings to rows (segment, band, measure, value).
// bands: the band table of `file` (amplitude, power, rel_amplitude, rel_power) and, for a pair, of `bf_file`
// (bf_amplitude, ...). coherence (pairs): the phase coherence of T and BF (coherence, threshold,
// residual_coherence = coherence - threshold, significant_share, lag_s, depth_mm) and, with the inter-subject
// level on, the mean coherence of this T with the BF of every other pair of its group and condition
// (intersubject_coherence) and coherence - that level (residual_intersubject). Until segments exist every row's
// segment is "whole".
//
// Result file DIR/results/<key>.csv: a first line "# kelvora-study-result 2 settings=<sha256> inputs=<sha256>"
// (the digest of the settings text and of the recording's identity with the SHA-256 of every file it read),
// a line "# input <sha256> <path>" per file, then the rows under the rows.csv header. A result is reused only when
// its first line is the one the current settings and files give.
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "analysis/hyperaemia_measures.h"
#include "analysis/occlusion_finder.h"
#include "analysis/phase_coherence.h"
#include "analysis/record_analysis.h"
#include "analysis/study_manifest.h"
#include "core/progress.h"

namespace kelvora {

inline constexpr const char* kStudyRowsCsvHeader =
    "subject,group,condition,segment,start_s,end_s,band,measure,value,note\n";
inline constexpr const char* kStudySummaryCsvHeader = "group,condition,band,measure,n,median,q1,q3,mean,sd\n";
inline constexpr const char* kStudyTestsCsvHeader = "band,measure,comparison,test,n,statistic,p,p_holm,estimate\n";
inline constexpr const char* kStudyGroupCoherenceCsvHeader =
    "group,condition,band,n,coherence,residual_coherence,residual_q1,residual_q3,intersubject_level,"
    "residual_intersubject\n";
inline constexpr const char* kWholeRecordSegment = "whole";

enum class StudyMeasure { kBands, kCoherence, kPorh, kHeating };

// The measures this build computes (all of them now).
bool StudyMeasureAvailable(StudyMeasure measure);
const char* StudyMeasureName(StudyMeasure measure);

enum class MeasureListErrorKind { kEmpty, kUnknown, kUnavailable, kDuplicate };
struct MeasureListError {
  MeasureListErrorKind kind = MeasureListErrorKind::kEmpty;
  std::string name;
};
struct MeasureListParse {
  std::vector<StudyMeasure> measures;
  std::optional<MeasureListError> error;
  bool ok() const { return !error.has_value(); }
};
// "bands,coherence,porh,heating" (any subset, in any order). Pure.
MeasureListParse ParseStudyMeasures(const std::string& text);

// Where a recording's conditions come from: the whole record, the segments between its markers, or segments given
// for every recording.
enum class StudySegmentsMode { kWhole, kMarkers, kGiven };

// The names the protocol gives what it makes, in the caller's words: the stretch before the first marker
// (before + " " + its label), the markers of found occlusions (occlusion + " K", recovery + " K") and typed
// heating phases (heating, or heating + " K" when there are several). A marker segment is an occlusion of porh
// when its name begins with `occlusion`, ignoring case.
struct StudyProtocolNames {
  std::string before, occlusion, recovery, heating;
};

// The protocol of the recordings: segments, occlusions and heating phases. An interval of a name is the first
// segment of the record's markers (or of the given segments) with that name.
struct StudyProtocolSettings {
  StudyProtocolNames names;
  StudySegmentsMode segments = StudySegmentsMode::kWhole;
  std::vector<Segment> givenSegments;  // for kGiven
  std::string markerColumn;            // the marker column of delimited records; empty: the reader's default
  bool findOcclusions = false;         // occlusions found in the flux record (also cut segments of markers)
  OcclusionFinderOptions finder;       // sampleRateHz is set per record
  std::vector<TimeInterval> occlusions;  // typed occlusions of every recording (porh); else found or of markers
  std::vector<TimeInterval> heating;     // typed heating phases (heating); else the segments named heatingName
  std::string heatingName;  // the caller's default name of the heating segments
  std::optional<TimeInterval> baseline;  // of porh and heating; else baselineName when not empty, else 60 s before
  std::string baselineName;
  std::optional<TimeInterval> maximum;   // of heating; else maximumName when not empty
  std::string maximumName;
};

// Texts of the notes of rows (the caller's wording); empty functions give empty notes. Not part of the settings'
// digest (the program version is).
struct StudyNoteTexts {
  std::function<std::string(const BandRow&)> band;
  std::function<std::string(const std::vector<MeasureNote>&)> measures;
};

struct StudySettings {
  std::vector<StudyMeasure> measures = {StudyMeasure::kBands};
  AnalysisOptions analysis;    // sampleRateHz and threads are set per recording
  CoherenceOptions coherence;  // its analysis member is replaced by `analysis`
  bool interSubject = true;    // the inter-subject coherence level of pairs
  std::string programVersion;  // part of the settings: a result of another version is recomputed
  StudyProtocolSettings protocol;
  StudyNoteTexts notes;
};

// Whether a recording's markers are read: segments of markers, or occlusions, heating, baseline or maximum
// taken from them. Pure.
bool StudyUsesMarkers(const StudySettings& settings);

// The settings as canonical JSON (one object, keys in a fixed order, numbers in shortest round-trip form): what
// provenance.json records and what the settings digest is taken of. Pure.
std::string StudySettingsJson(const StudySettings& settings);

// A record read for a study. The flux record of a recording (`file`, or `bf_file` of a pair) also carries its
// protocol as the loader resolved it from the settings and the record's markers.
struct StudyRecord {
  std::vector<double> values;
  int sampleRateHz = 0;
  std::vector<Segment> segments;          // the conditions; empty: the whole record
  std::vector<TimeInterval> occlusions;   // porh
  std::vector<Segment> heating;           // heating phases, named
  std::optional<TimeInterval> baseline;   // porh and heating; empty: the 60 s before each
  std::optional<TimeInterval> maximum;    // heating
};
struct StudyLoadResult {
  std::optional<StudyRecord> record;
  std::string message;  // the reader's reason when it failed
  // With a record: why its protocol (markers, segments, occlusions) could not be taken. The recording fails;
  // the record still serves as the BF of another's inter-subject level.
  std::optional<std::string> protocolError;
};
// Reads `entry`'s file (bloodFlow false) or bf_file (true) with the entry's reading options. Called from worker
// threads at once.
using StudyLoader = std::function<StudyLoadResult(const StudyEntry& entry, bool bloodFlow)>;

struct StudyRow {
  std::string subject, group, condition, segment, band, measure;
  double value = 0.0;
  std::optional<double> startS, endS;  // the segment's interval; empty for the whole record
  bool hasValue = true;                // false: an empty cell, `note` says why
  std::string note;
};

// The row as a line of rows.csv (with its line end). Pure.
std::string StudyRowCsvLine(const StudyRow& row);

enum class StudyErrorKind {
  kUnreadable,     // `path` cannot be read for its digest
  kLoad,           // the loader refused `path` (`message`)
  kAnalysis,       // the band analysis of `path` failed (`analysis`)
  kCoherence,      // the coherence failed (`coherence`)
  kNeedsPair,      // coherence asked for a recording without bf_file
  kOtherRate,      // the pair's files, or the BF of `otherLine`, have another rate
  kWrite,          // the result file could not be written (`message`, `path`)
  kStopped,
  kMeasure,        // the response measures refused the flux record `path` (`measure`)
};

struct StudyError {
  StudyErrorKind kind = StudyErrorKind::kLoad;
  std::string path;
  std::string message;
  AnalysisError analysis;
  CoherenceError coherence;
  int otherLine = 0;
  MeasureError measure;
};

enum class StudyRecordingState { kComputed, kReused, kFailed, kNotRun };

struct StudyRecordingOutcome {
  StudyRecordingState state = StudyRecordingState::kNotRun;
  std::optional<StudyError> error;
  std::string key;  // the result file's name without ".csv"
};

struct StudyRunOptions {
  std::string directory;               // DIR; results go to DIR/results
  int workers = 1;                     // recordings analysed at once
  std::vector<std::size_t> selection;  // indices of the entries to run, increasing
};

struct StudyRunOutcome {
  std::vector<StudyRecordingOutcome> outcomes;   // one per selected entry
  std::map<std::string, std::string> digests;    // path -> SHA-256 of every file read
  std::optional<std::string> directoryError;     // DIR/results could not be made (the system's reason)
  bool stopped = false;
};

// The marker sidecar of an entry: its manifest's markers file, else RECORD.markers.csv beside its flux record
// (bf_file of a pair, else file) when there is one; empty when neither. Its digest joins the result's inputs.
std::string StudyMarkerFile(const StudyEntry& entry);

// The result file's name (without ".csv") of an entry: 16 hex digits of the digest of its identity (subject,
// group, condition, files and reading options), so that other settings overwrite the same file. Pure.
std::string StudyResultKey(const StudyEntry& entry);

// The rows of one recording (records already loaded; `others` are the BF records of the other pairs of its group
// and condition for the inter-subject level, with their manifest lines). Pure; any thread.
struct StudyInterSubjectRecord {
  int line = 0;
  std::shared_ptr<const StudyRecord> bloodFlow;
};
std::optional<StudyError> ComputeStudyRows(const StudyEntry& entry, const StudyRecord& record,
                                           const StudyRecord* bloodFlow,
                                           const std::vector<StudyInterSubjectRecord>& others,
                                           const StudySettings& settings, std::vector<StudyRow>& rows);

// Runs the selected entries on run.workers threads: each recording whose result file is missing, or made with
// other settings or files, is computed and its file written (atomically) as soon as it is done; the others are
// reused. A failed recording does not stop the rest. Progress: range 0 .. the recordings to compute; a stop
// request lets running recordings finish and starts no other (their state stays kNotRun).
StudyRunOutcome RunStudy(const std::vector<StudyEntry>& entries, const StudySettings& settings,
                         const StudyLoader& loader, const StudyRunOptions& run,
                         ProgressSink& progress = NullProgress());

// A result file read back.
struct StudyResultFile {
  std::string header;                                      // its first line, without the line end
  std::vector<std::pair<std::string, std::string>> inputs;  // SHA-256, path
  std::vector<StudyRow> rows;
};
// Parses a result file's text; empty when it is not one (a broken line, a non-finite value). Pure.
std::optional<StudyResultFile> ParseStudyResult(const std::string& text);
// "settings=<hex>" of a result header or index line; empty when absent. Pure.
std::string StudySettingsDigestOf(const std::string& header);

// The shard index DIR/study-index.csv: which manifest lines this directory ran, their result keys and states.
struct StudyIndexLine {
  int line = 0;
  std::string key;
  bool ok = false;
};
struct StudyIndex {
  std::string settingsDigest;  // of StudySettingsJson
  std::string manifestDigest;  // SHA-256 of the manifest's bytes
  int entryCount = 0;          // recordings in the manifest
  std::vector<StudyIndexLine> lines;
};
std::string FormatStudyIndex(const StudyIndex& index);
std::optional<StudyIndex> ParseStudyIndex(const std::string& text);

// The tables of a study from its results in manifest order.
struct StudySummaryRow {
  std::string group, condition, band, measure;
  std::vector<double> values;  // one per subject, in order
};
struct StudyTestRow {
  std::string band, measure, comparison, test;
  int n = 0;
  double statistic = 0.0, p = 1.0, pHolm = 1.0;
  std::optional<double> estimate;
};
struct StudyTables {
  std::string rowsCsv, summaryCsv, testsCsv, groupCoherenceCsv;
  std::vector<StudySummaryRow> summary;  // for the report's box plots
  std::vector<StudyTestRow> tests;
};

// The condition a row counts under: its condition, with "/segment" appended when the segment is not the whole
// record. Pure.
std::string StudyConditionLabel(const StudyRow& row);

// rows.csv: every row in the given order; a row without a value counts in no other table. summary.csv: per
// group, condition label, band and measure (in the order they first appear) n, median, q1, q3 (type-7 quantiles), mean and SD. tests.csv: for each measure, each
// pair of condition labels (in order of appearance) the signed-rank test over the subjects that have both
// ("A vs B", the estimate of A - B), and for each pair of groups the rank-sum test ("G vs H", per condition
// label "G vs H in C" when there are several), with Holm's adjustment over the bands of one measure, comparison
// and test. group_coherence.csv: per group, condition label and band, medians over the subjects of coherence,
// residual coherence (with its quartiles), the inter-subject level and coherence less that level. Pure.
StudyTables BuildStudyTables(const std::vector<StudyResultFile>& results);

}  // namespace kelvora
