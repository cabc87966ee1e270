#pragma once
// The "Transform" page as an object without any widget: the two sides of the page (the measured temperature T
// with BF*, the blood flow computed from it, and the measured blood flow BF with T*), the band-limited
// transform with its caches, the settings of the page, and the operations behind its buttons (load, band
// filter, convert, output overlay, correlation, save). The desktop window and the command-line tool both drive
// it; the window shows `viewState()` after each operation. Every operation works on one side; the names the
// window's controls give them (LoadT, BtnTtoBF, OutputBF, Correl1, ...) are entry points for that side.
//
// Threads: the session has one owner thread. A long operation (load, filter, conversion) can run off that thread
// as a Job: prepared on the owner's thread, which takes copies of everything the computation needs, run on any
// thread, where it touches nothing of the session, and committed on the owner's thread, which hands the result
// back. While a job is out the session answers every query and refuses to prepare a second job. The plain
// operations (LoadT, BtnTtoBF, ...) are the three steps in a row. Nothing is shared between sessions.
//
// Errors: every operation returns a `SessionResult`; when `error` is set, the session is exactly as it was
// before the call (records, ready flags, chart data); at most some transform caches were emptied, which costs
// only time. Results are values (records, correlations, the units of an axis); the words around them (source
// and count texts, axis titles, the correlation label) are the window's.
#include <array>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "core/conversion_result.h"
#include "core/conversion_scaling.h"
#include "core/problem.h"
#include "formats/signal_file.h"
#include "core/frequency_band.h"
#include "core/progress.h"
#include "core/thermal_wave.h"
#include "signals/parameter_grid.h"
#include "signals/shitzer_model.h"
#include "core/signal_record.h"
#include "wavelet/wavelet_types.h"

namespace kelvora {

// The two sides of the page, each a measured record with what belongs to it: its band selector and filtered
// record, and the record converted from it (BF* from T, T* from BF).
enum class Side { Temperature = 0, BloodFlow = 1 };
constexpr Side OtherSide(Side side) { return side == Side::Temperature ? Side::BloodFlow : Side::Temperature; }
constexpr std::size_t SideIndex(Side side) { return static_cast<std::size_t>(side); }

// The three radio buttons "Fourier filtration", "Wavelet filtration", "Shitzer's model".
enum class ConversionMethod { Fourier, Wavelet, Shitzer };

struct SessionResult {
  std::optional<Problem> error;              // set: the operation did nothing; its kind and fields
  std::optional<SignalFileError> fileError;  // set: the operation did nothing; the file could not be read or written
  std::vector<Problem> notices;              // the operation completed but has something to say (kBigFile)
  bool ok() const { return !error && !fileError; }
};

// One chart series: points (x[i], y[i]); x in minutes for the signal charts.
struct ChartSeries {
  std::vector<double> x;
  std::vector<double> y;
  bool empty() const { return x.empty(); }
};

// What the left axis of a converted record's chart shows: the record in its physical units (the design title,
// "BF, mm^3/sec" / "T, °C"), normalised to 0 .. 1 (arbitrary units), or, after "Output", the units of the
// measured record laid over it ("BF, V" / "T, °C").
enum class AxisUnits { Physical, Normalized, Measured };

// The record converted from a side's measured one: BF* (Chart3) from T, T* (Chart4) from BF.
struct ConvertedView {
  bool ready = false;          // converted: Save and Plot enabled (BtnSaveBF/BtnPlotBF, BtnSaveT/BtnPlotT)
  bool outputEnabled = false;  // ready and the other side's record loaded (BtnOutputBF / BtnOutputT)
  ChartSeries curve;           // Series3 / Series4
  ChartSeries overlay;         // Series5 / Series6: the other side's measured (or filtered) record after "Output"
  AxisUnits axis = AxisUnits::Physical;  // left axis of Chart3 / Chart4
  std::optional<double> correlation;     // LBCorrel1 / LBCorrel2: with the other side's record; none when emptied
  bool outdated = false;                 // ready, and a setting changed since its conversion would change it
};

// One side of the page as the window shows it.
struct SideView {
  bool loaded = false;         // its arrow button converts (BtnTtoBF / BtnBFtoT: tag 1, the "ready" image)
  std::string source;          // what Edit10 / Edit16 names after its prefix: the file or a label ("Example 1")
  int sampleCount = 0;         // Edit17 / Edit18 (shown once loaded)
  bool filterTicked = false;   // "Filtered Signal": CBFilterSignalT / CBFilterSignalBF, and the filtered curve shown
  ChartSeries measured;        // Series1 / Series2
  ChartSeries filtered;        // Series19 / Series21, in the record's own units
  ConvertedView converted;
};

// The settings a converted record was made with: a copy of those the conversion ran on, taken when it started,
// so that files and labels describe the record and not what the controls hold later.
struct ConversionProvenance {
  ConversionMethod method = ConversionMethod::Fourier;
  Side from = Side::Temperature;       // BF* is converted from T, T* from BF
  ConversionModel model = ConversionModel::ThermalWave;
  TissueParameters tissue;
  bool nonlinear = false;
  ScalingMode scaling = ScalingMode::Normalized;
  std::string scaleA, scaleB;          // "Scaled values:" a and b, as typed
  std::string startTemperature;        // T0 of Shitzer's BF -> T*, as typed
  FrequencyBand band{0.0, 0.0};        // the band of the record converted from
  int inputRateHz = 2;                 // the rate of the record converted from
  int resultRateHz = 2;                // the rate of the converted record (the wavelet method gives 2 Hz)
  std::optional<WaveletType> waveletType;        // the wavelet method only
  std::optional<WaveletDelayRule> delayRule;     // the wavelet method only
  std::string source;                  // the source of the record converted from
  std::string programVersion = KELVORA_VERSION;
};

// True when a conversion with `now` would compute something else than the one `made` describes: a setting
// the method uses differs (method, model, tissue values of the method, power law, scaling with its a and b, the
// band of the Fourier and wavelet methods, T0 of Shitzer's BF -> T*, the wavelet and its delay rule, the rate
// of the Fourier and Shitzer methods).
bool ConversionOutdated(const ConversionProvenance& made, const ConversionProvenance& now);

// Everything the window shows of the Transform page.
struct TransformViewState {
  SideView temperature;
  SideView bloodFlow;
  bool startTemperatureShown = false;  // Label9 / Edit9, the start temperature of Shitzer's BF -> T*
  int sampleRateHz = 2;                // UpDown1: the rate the records have

  const SideView& side(Side s) const { return s == Side::Temperature ? temperature : bloodFlow; }
};

// What the wavelet T -> BF* method (`WaveLetT`) receives: the normalised T record with its range, the T band as
// the selector holds it (the method derives its own working band), the model, the tissue and the finishing
// choices. It returns BF*, one value per T sample, finished (de-normalised, power law, scaling).
struct WaveletConversionInput {
  std::vector<double> normalizedT;
  double tMinimum = 0.0;
  double tMaximum = 0.0;
  FrequencyBand band{0.0, 0.1};  // the T band, Hz
  ConversionModel model = ConversionModel::ThermalWave;
  ThermalWaveTissue tissue;      // depthM is the grid's "D"
  bool nonlinear = false;
  ScalingMode scaling = ScalingMode::Normalized;
  double a = 1.0;
  double b = 0.0;
  // The wavelet and delay rule the session was given (setWaveletChoices); none: the converter's own.
  std::optional<WaveletType> type;
  std::optional<WaveletDelayRule> delays;
};
using WaveletConverter = std::function<ConversionResult(const WaveletConversionInput&, ProgressSink&)>;

// The wavelet band filter of the normalised record of `side` over [lowHz, highHz]: the filtered record,
// normalised scale.
using WaveletBandFilter = std::function<ConversionResult(Side side, const std::vector<double>& normalized,
                                                         double lowHz, double highHz, int sampleRateHz, ProgressSink&)>;

class TransformSession {
 public:
  // Start values: gerc 2, separator '.', Fourier method, "Thermal wave", "Normalized values", a = "1", b = "0",
  // T band 0 .. 0.1 Hz (texts "0", "0.1"), BF band 0 .. 2 Hz ("0", "2"), default tissue, T0 "36.24".
  TransformSession();
  ~TransformSession();
  TransformSession(const TransformSession&) = delete;
  TransformSession& operator=(const TransformSession&) = delete;

  // ----- settings (cheap; no recomputation) -----
  // `gerc`, Hz (>= 1; smaller values are refused and false is returned).
  bool setSampleRate(int hertz);
  int sampleRate() const;
  // The system decimal separator: files are read with "," and "." both accepted when it is not ",", and the
  // band and scaling edit texts use it. Changing it rewrites the default edit texts that still hold defaults.
  void setDecimalSeparator(char separator);
  char decimalSeparator() const;
  // Switching the method re-lays out the parameter grid (Shitzer or thermal-wave cells) and shows/hides T0.
  void setMethod(ConversionMethod method);
  ConversionMethod method() const;
  void setModel(ConversionModel model);
  ConversionModel model() const;
  void setNonlinear(bool on);
  bool nonlinear() const;
  void setScalingMode(ScalingMode mode);
  ScalingMode scalingMode() const;
  // The a and b texts of "Scaled values:" for the record converted from `side`: Edit6 and Edit7 for BF*
  // (temperature side), Edit4 and Edit5 for T* (blood-flow side); parsed when used.
  void setScalingTexts(Side side, std::string a, std::string b);
  // Text of Edit9, the start temperature T0 of Shitzer's BF -> T*; parsed when used.
  void setStartTemperatureText(std::string text);
  const std::string& startTemperatureText() const;
  void setTissueParameters(const TissueParameters& parameters);
  const TissueParameters& tissueParameters() const;

  // The band of a side's selector (slot 1 for T, 2 for BF), in Hz, and the texts its edits show (EditS1/EditS2,
  // EditS3/EditS4; the automatic filtering of a load reads the texts). Setting a band does not filter; call
  // Filter.
  void setBand(Side side, double lowHz, double highHz);
  FrequencyBand band(Side side) const;
  void setBandTexts(Side side, std::string lowText, std::string highText);

  // The wavelet of "Wavelet filtration" and the delay rule the wavelet conversion uses; none leaves them to the
  // installed converter.
  void setWaveletChoices(std::optional<WaveletType> type, std::optional<WaveletDelayRule> delays);

  // The side's "Filtered Signal" box. A job committed later brings the box it computed.
  void setFilterSignal(Side side, bool ticked);

  // Optional methods supplied by the wavelet module; without them the wavelet conversion reports that it is not
  // available and loads skip the wavelet filtering. Set them before the first job.
  void setWaveletConverter(WaveletConverter converter);
  void setWaveletBandFilter(WaveletBandFilter filter);

  // ----- the parameter grid (StringGrid1) -----
  const ParameterGrid& grid() const;
  // The user changed cell (column, row) to `text`: the text is stored in the cell, then the grid's editing rule
  // runs; a refused edit changed no parameter.
  GridEditResult editGridCell(int column, int row, const std::string& text);
  void pressSkinDefaults();   // "Skin"
  void pressBloodDefaults();  // "Blood"
  void pressAirDefaults();    // "Air"

  // ----- jobs -----
  class Job;
  // Jobs of the long operations below, each the operation of the same name in three steps. A refused job (the
  // record is not loaded, another job is out) runs as nothing and commits its refusal.
  Job prepareLoadFile(Side side, const std::string& path, const std::string& label = {});
  Job prepareLoadRecord(Side side, const SignalRecord& record, const std::string& source);
  Job prepareLoadBFFromSamples(const std::vector<double>& samples, const std::string& label);
  Job prepareFilter(Side side);
  Job prepareConversion(Side side);
  // Owner's thread, after Job::run: keeps what the job produced when it succeeded (records, flags, chart data,
  // and the records' rate when the job changed it; settings given while it was out stay) and returns its result.
  SessionResult commit(Job job);
  // True while a job is out (prepared and not yet committed or dropped).
  bool busy() const;

  // ----- operations -----
  // Load (LoadT / LoadBF): reads a signal file into the side's record (T with the kelvin check), resets the
  // record converted from it (Action1 / Action2), invalidates the side's transform slots (1, 4, 5 / 2, 6, 7),
  // normalises, and filters automatically unless the band texts are "0" and the side's no-band edge ("0.1" /
  // "2") or the method is Shitzer's. `label` replaces the path in the source (e.g. "Example 1"). Cost: the read
  // plus one band filter run.
  SessionResult Load(Side side, const std::string& path, ProgressSink& progress, const std::string& label = {});
  SessionResult LoadT(const std::string& path, ProgressSink& progress, const std::string& label = {});
  SessionResult LoadBF(const std::string& path, ProgressSink& progress, const std::string& label = {});
  // A record read or made elsewhere (the command-line tool's inputs, an imported channel of
  // signals/record_import.h) becomes the record of `side` as a load of a file would make it: the same resets,
  // slots, counts and automatic filtering, with `source` as its source text. The record must have
  // 1 .. kMaxRecordSamples finite samples with its minimum, maximum and normalized values (NormalizeRecord); any
  // kelvin conversion is the caller's (MakeImportedRecord does it). The record's rate is the session's sample
  // rate.
  SessionResult LoadRecord(Side side, const SignalRecord& record, const std::string& source, ProgressSink& progress);
  // The PPG "<--" hand-over: `samples` become the BF record as a BF load would make it. At most
  // kMaxRecordSamples samples; non-finite samples are refused.
  SessionResult LoadBFFromSamples(const std::vector<double>& samples, const std::string& label,
                                  ProgressSink& progress);

  // The Examples menu: "<examplesFolder>/T<number>.txt" into T (source "Example <number>"), then
  // "<examplesFolder>/BF<number>.txt" into BF. A missing file gives "File " + path + " does not exist"; when only
  // the BF file is missing the T record stays loaded (as the menu does). Example 1 is "Rest", 2 "Cuff Test".
  SessionResult LoadExample(int number, const std::string& examplesFolder, ProgressSink& progress);

  // Save (the "BF*" / "T*" buttons, SaveConvertedBF / SaveConvertedT): writes the record converted from `side`
  // over the side's own length to `path` with the decimal separator and three decimals. The caller applies
  // EnsureExtension to a name from a save dialog. Needs the record converted; a failed write leaves an existing
  // file intact.
  SessionResult Save(Side side, const std::string& path) const;
  SessionResult SaveConvertedT(const std::string& path) const;
  SessionResult SaveConvertedBF(const std::string& path) const;

  // Filter (FilterT / FilterBF): the band filter of the side's normalised record with the side's band (Fourier
  // in slot 1 / 2, or, with the wavelet method and a filter installed, wavelet). Ticks the side's "Filtered
  // Signal" box. Needs the record.
  SessionResult Filter(Side side, ProgressSink& progress);
  SessionResult FilterT(ProgressSink& progress);
  SessionResult FilterBF(ProgressSink& progress);

  // Convert (the arrow buttons BtnTtoBF / BtnBFtoT): the record converted from the side's one. Before a load
  // nothing happens and the result is ok. Fourier -> FurieT / FurieBF; Wavelet -> `WaveLetT` for T -> BF* (the
  // records' rate becomes 2 Hz), and for BF -> T* only clears the T* chart; Shitzer -> the derivative and
  // ShitzerT / ShitzerBF with the finishing step. Cost: Fourier about N' x bins terms, Shitzer O(n * 300) for
  // T -> BF* and O(n) for BF -> T*.
  SessionResult Convert(Side side, ProgressSink& progress);
  SessionResult BtnTtoBF(ProgressSink& progress);
  SessionResult BtnBFtoT(ProgressSink& progress);

  // Output ("Output BF" / "Output T", OutputBF / OutputT): lays the other side's measured (or, with its box
  // ticked and the Fourier method, filtered) record over the record converted from `side`, then correlates
  // them. Needs both records.
  SessionResult Output(Side side);
  SessionResult OutputBF();
  SessionResult OutputT();
  // Correlate (Correl1 for BF*, Correl2 for T*): the Pearson coefficient of the other side's measured or filtered
  // record and the record converted from `side`, over the samples both have. A constant record has no
  // correlation: it is emptied and an error returned.
  SessionResult Correlate(Side side);
  SessionResult Correl1();
  SessionResult Correl2();

  // ----- state -----
  const SignalRecord& record(Side side) const;
  // The record converted from the side's one: BF*, samples 0 .. T's last index; T*, 0 .. BF's last index.
  const std::vector<double>& converted(Side side) const;
  const std::vector<double>& filtered(Side side) const;  // normalised scale
  bool loaded(Side side) const;
  bool convertedReady(Side side) const;
  // The settings the record converted from `side` was made with (none before a conversion or after its record
  // was replaced), and whether a setting changed since would change it.
  const std::optional<ConversionProvenance>& provenance(Side side) const;
  bool convertedOutdated(Side side) const;
  // The provenance a conversion of `side` started now would have.
  ConversionProvenance provenanceNow(Side side) const;
  // The correlation shown last under the record converted from `side` (none when emptied or undefined).
  std::optional<double> correlation(Side side) const;
  // The record the filtering pages work on (1 = T after a T load, 2 = BF after a BF load; 0 at start) and its
  // last index.
  int activeRecord() const;
  int currentLength() const;
  TransformViewState viewState() const;

 private:
  struct Settings;
  struct SideState;
  struct State;
  struct Engine;
  using Work = std::function<SessionResult(State& next, Engine& engine, ProgressSink& progress)>;

  Job prepare(Work work) const;
  static Job refused(SessionResult result);
  SessionResult runNow(Job job, ProgressSink& progress);
  // The steps of the jobs, on the staged state.
  static SessionResult adoptRecord(State& next, Engine& engine, Side side, const SignalRecord& record,
                                   const std::string& source, ProgressSink& progress);
  static SessionResult runFilter(State& next, Engine& engine, Side side, bool automatic, ProgressSink& progress);
  static SessionResult runConversion(State& next, Engine& engine, Side side, ProgressSink& progress);
  static ConversionResult WaveLetT(const State& s, Engine& engine, ProgressSink& progress);

  std::unique_ptr<State> m_state;  // settings, both sides, view data
  // The band-limited transform with its caches and the wavelet methods; a job holds a second reference while it
  // is out.
  std::shared_ptr<Engine> m_engine;
};

// A long operation of the session, movable between threads. run() may be called on any thread, once; it
// computes on the job's own copy of the session's state. Dropping a job without commit() abandons it.
class TransformSession::Job {
 public:
  Job();
  Job(Job&&) noexcept;
  Job& operator=(Job&&) noexcept;
  ~Job();
  // Computes (blocks for the operation's cost); a second call returns the first outcome.
  SessionResult run(ProgressSink& progress);

 private:
  friend class TransformSession;
  std::unique_ptr<State> m_next;
  std::shared_ptr<Engine> m_engine;
  Work m_work;
  SessionResult m_result;
  bool m_ran = false;
};

}  // namespace kelvora
