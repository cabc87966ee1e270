#pragma once
// The "Transform" page as an object without any widget: the measured T and BF records, the converted records
// T* and BF*, the band-filtered T and BF, the band-limited transform with its caches, the settings of the page,
// and the operations behind its buttons (load, convert, output overlay, correlation). The desktop window and the
// command-line tool both drive it; the window shows `viewState()` after each operation.
//
// Threads: the session has one owner thread. A long operation (load, filter, conversion) can run off that thread
// as a Job: prepared on the owner's thread, which takes copies of everything the computation needs, run on any
// thread, where it touches nothing of the session, and committed on the owner's thread, which hands the result
// back. While a job is out the session answers every query and refuses to prepare a second job. The plain
// operations (LoadT, BtnTtoBF, ...) are the three steps in a row. Nothing is shared between sessions.
//
// Errors: every operation returns a `SessionResult`; when `error` is set, the session is exactly as it was
// before the call (records, ready flags, labels, chart data); at most some transform caches were emptied, which
// costs only time.
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "core/conversion_result.h"
#include "core/conversion_scaling.h"
#include "core/progress.h"
#include "core/thermal_wave.h"
#include "signals/parameter_grid.h"
#include "signals/shitzer_model.h"
#include "signals/signal_record.h"

namespace kelvora {

class BandTransform;

// The two measured records of the page and everything that belongs to each: temperature T (with BF*, the blood
// flow computed from it) and blood flow BF (with T*).
enum class Side { Temperature = 0, BloodFlow = 1 };

// The three radio buttons "Fourier filtration", "Wavelet filtration", "Shitzer's model".
enum class ConversionMethod { Fourier, Wavelet, Shitzer };

// The interface language, which chooses the correlation text ("Correlation: " / "Корреляция: ").
enum class InterfaceLanguage { English, Russian };

struct SessionResult {
  std::string error;   // non-empty: the operation did nothing; a fixed English message for the caller to show
  std::string notice;  // non-empty: the operation completed but has a message to show ("Big file - points > 20000")
  bool ok() const { return error.empty(); }
};

// One chart series: points (x[i], y[i]); x in minutes for the signal charts.
struct ChartSeries {
  std::vector<double> x;
  std::vector<double> y;
  bool visible = true;
  bool empty() const { return x.empty(); }
};

// Everything the window shows of the Transform page, flat. Names follow the controls they drive.
struct TransformViewState {
  // Arrow buttons: image index in ImageList1 and tag (1 = ready to convert).
  int btnTtoBFImage = 1;
  int btnTtoBFTag = 0;
  int btnBFtoTImage = 3;
  int btnBFtoTTag = 0;
  bool btnSaveBFEnabled = false;
  bool btnPlotBFEnabled = false;
  bool btnOutputBFEnabled = false;
  bool btnSaveTEnabled = false;
  bool btnPlotTEnabled = false;
  bool btnOutputTEnabled = false;

  std::string edit10;     // "Temperature: " + source
  std::string edit16;     // "  Blood Flow:  " + source
  std::string edit17;     // T count + " points"
  std::string edit18;     // BF count + " points"
  std::string lbCorrel1;  // under Chart3 (BF*)
  std::string lbCorrel2;  // under Chart4 (T*)
  bool cbFilterSignalT = false;
  bool cbFilterSignalBF = false;
  bool edit9Visible = false;  // T0 edit, shown in Shitzer mode

  ChartSeries series1;   // Chart1: measured T
  ChartSeries series19;  // Chart1: filtered T, de-normalised
  ChartSeries series2;   // Chart2: measured BF
  ChartSeries series21;  // Chart2: filtered BF, de-normalised
  ChartSeries series3;   // Chart3: BF*
  ChartSeries series5;   // Chart3: measured BF overlay
  ChartSeries series4;   // Chart4: T*
  ChartSeries series6;   // Chart4: measured T overlay
  std::string chart3LeftAxisTitle;  // "BF, mm^3/sec", "BF, arb. units", "BF, V"
  std::string chart4LeftAxisTitle;  // "T, °C", "T, arb. units"
};

// What the wavelet T -> BF* method receives: the normalised T record, the T band as the selector holds it (the
// method derives its own working band), the model and tissue. It returns its reconstruction output (normalised
// scale, one value per T sample); the session de-normalises, applies the power law and scaling and shows it.
struct WaveletConversionInput {
  std::vector<double> normalizedT;
  double bandLowHz = 0.0;
  double bandHighHz = 0.1;
  ConversionModel model = ConversionModel::ThermalWave;
  double lambda = 0.33;
  long long rhoC = 1057LL * 3780;
  int sampleRateHz = 2;
};
using WaveletConverter = std::function<ConversionResult(const WaveletConversionInput&, ProgressSink&)>;

// The wavelet band filter of the normalised record of `side` over [lowHz, highHz]: the filtered record,
// normalised scale.
using WaveletBandFilter = std::function<ConversionResult(Side side, const std::vector<double>& normalized,
                                                         double lowHz, double highHz, int sampleRateHz, ProgressSink&)>;

class TransformSession {
 public:
  // Start values: gerc 2, separator '.', Fourier method, "Thermal wave", "Normalized values", a = "1", b = "0",
  // T band 0 .. 0.1 Hz (texts "0", "0.1"), BF band 0 .. 2 Hz ("0", "2"), default tissue, T0 "36.24", English.
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
  void setLanguage(InterfaceLanguage language);
  InterfaceLanguage language() const;
  // Switching the method re-lays out the parameter grid (Shitzer or thermal-wave cells) and shows/hides T0.
  void setMethod(ConversionMethod method);
  ConversionMethod method() const;
  void setModel(ConversionModel model);
  ConversionModel model() const;
  void setNonlinear(bool on);
  bool nonlinear() const;
  void setScalingMode(ScalingMode mode);
  ScalingMode scalingMode() const;
  // Texts of Edit4 (a) and Edit5 (b) for T*, Edit6 (a) and Edit7 (b) for BF*; parsed when used.
  void setScalingTextsT(std::string a, std::string b);
  void setScalingTextsBF(std::string a, std::string b);
  // Text of Edit9, the start temperature T0 of Shitzer's BF -> T*; parsed when used.
  void setStartTemperatureText(std::string text);
  const std::string& startTemperatureText() const;
  void setTissueParameters(const TissueParameters& parameters);
  const TissueParameters& tissueParameters() const;

  // Bands of the T and BF selectors (slots 1 and 2), in Hz, with the texts their edits show (EditS1/EditS2 for T,
  // EditS3/EditS4 for BF; the automatic filtering of a load reads the texts). Setting a band does not filter;
  // call FilterT / FilterBF.
  void setBandT(double lowHz, double highHz);
  void setBandBF(double lowHz, double highHz);
  void setBandTextsT(std::string lowText, std::string highText);
  void setBandTextsBF(std::string lowText, std::string highText);
  double bandTLow() const;
  double bandTHigh() const;
  double bandBFLow() const;
  double bandBFHigh() const;

  // "Filtered Signal" boxes of the T and BF charts.
  void setFilterSignalT(bool ticked);
  void setFilterSignalBF(bool ticked);

  // Optional methods supplied by the wavelet module; without them the wavelet conversion reports that it is not
  // available and loads skip the wavelet filtering.
  void setWaveletConverter(WaveletConverter converter);
  void setWaveletBandFilter(WaveletBandFilter filter);

  // ----- the parameter grid (StringGrid1) -----
  const ParameterGrid& grid() const;
  // The user changed cell (column, row) to `text`: the text is stored in the cell, then the grid's editing rule
  // runs; a message (separator, conversion error) means no parameter changed.
  GridEditResult editGridCell(int column, int row, const std::string& text);
  void pressSkinDefaults();   // "Skin"
  void pressBloodDefaults();  // "Blood"
  void pressAirDefaults();    // "Air"

  // ----- jobs -----
  class Job;
  // Jobs of the long operations below; each is the operation of the same name in three steps. A refused job (the
  // record is not loaded, another job is out) runs as nothing and commits its refusal.
  Job prepareLoadFile(Side side, const std::string& path, const std::string& label = {});
  Job prepareLoadRecord(Side side, const SignalRecord& record, const std::string& source);
  Job prepareLoadBFFromSamples(const std::vector<double>& samples, const std::string& label);
  Job prepareFilter(Side side);
  Job prepareConversion(Side side);
  // Owner's thread, after Job::run: keeps the job's outcome when it succeeded (records, flags, view data;
  // settings given while the job was out are replaced by those it was prepared with) and returns it.
  SessionResult commit(Job job);
  // True while a job is out (prepared and not yet committed or dropped).
  bool busy() const;

  // ----- operations -----
  // LoadT / LoadBF: read a signal file (T with the kelvin check), reset the converted side (Action1 / Action2),
  // invalidate the side's transform slots (1, 4, 5 / 2, 6, 7), normalise, set the count text, enable the arrow
  // button, and filter automatically unless the band texts are the full defaults ("0".."0.1" / "0".."2") or the
  // method is Shitzer's. `label` replaces the path in the source text (e.g. "Example 1"). Cost: the read plus one
  // band filter run.
  SessionResult LoadT(const std::string& path, ProgressSink& progress, const std::string& label = {});
  SessionResult LoadBF(const std::string& path, ProgressSink& progress, const std::string& label = {});
  // A record read elsewhere (the command-line tool reads its inputs itself) becomes the record of `side` as a load
  // of a file would make it: the side's reset, `source` in the source text, count, slots invalidated, automatic
  // filtering. Cost: one band filter run.
  SessionResult LoadRecord(Side side, const SignalRecord& record, const std::string& source, ProgressSink& progress);
  // The PPG "<--" hand-over: the BF-side reset, then `samples` become the BF record as a BF load would make it
  // (minimum, maximum, normalised, count, slots 2, 6, 7 invalidated, automatic filtering). At most
  // kMaxRecordSamples samples; non-finite samples are refused.
  SessionResult LoadBFFromSamples(const std::vector<double>& samples, const std::string& label,
                                  ProgressSink& progress);

  // The Examples menu: "<examplesFolder>/T<number>.txt" into T (source "Example <number>"), then
  // "<examplesFolder>/BF<number>.txt" into BF. A missing file gives "File " + path + " does not exist"; when only
  // the BF file is missing the T record stays loaded (as the menu does). Example 1 is "Rest", 2 "Cuff Test".
  SessionResult LoadExample(int number, const std::string& examplesFolder, ProgressSink& progress);

  // Save buttons "T*" / "BF*": write T* (BF's length) or BF* (T's length) to `path` with the decimal separator
  // and three decimals. The caller applies EnsureExtension to a name from a save dialog. Need the record ready;
  // a failed write leaves an existing file intact.
  SessionResult SaveConvertedT(const std::string& path) const;
  SessionResult SaveConvertedBF(const std::string& path) const;

  // Band filter runs over the normalised T (slot 1) / BF (slot 2) with the current band (Fourier or, with the
  // wavelet method and a filter installed, wavelet). Ticks the side's "Filtered Signal" box. Needs the record.
  SessionResult FilterT(ProgressSink& progress);
  SessionResult FilterBF(ProgressSink& progress);

  // The arrow buttons. Tag 0 (record not loaded): nothing happens and the result is ok. Fourier -> FurieT /
  // FurieBF; Wavelet -> the wavelet converter (T -> BF*), and for BF -> T* only clears the T* chart; Shitzer ->
  // derivative + ShitzerT / ShitzerBF with the post-processing. Cost: Fourier about N' x bins terms, Shitzer
  // O(n * 300) for T -> BF* and O(n) for BF -> T*.
  SessionResult BtnTtoBF(ProgressSink& progress);
  SessionResult BtnBFtoT(ProgressSink& progress);

  // "Output BF" / "Output Т": overlay the measured (or filtered) record on the converted one and show the
  // correlation. Need both the measured and the converted record.
  SessionResult OutputBF();
  SessionResult OutputT();
  // Correlation texts: Correl1 measured/filtered BF against BF*, Correl2 measured/filtered T against T*, over
  // the samples both records have. A constant record has no correlation: the label is emptied and an error
  // returned.
  SessionResult Correl1();
  SessionResult Correl2();

  // ----- state -----
  const SignalRecord& recordT() const;
  const SignalRecord& recordBF() const;
  const std::vector<double>& convertedT() const;   // T*, samples 0 .. BF's last index
  const std::vector<double>& convertedBF() const;  // BF*, samples 0 .. T's last index
  const std::vector<double>& filteredT() const;    // normalised scale
  const std::vector<double>& filteredBF() const;
  bool tLoaded() const;
  bool bfLoaded() const;
  bool tStarReady() const;
  bool bfStarReady() const;
  // The record the filtering pages work on (1 = T after LoadT, 2 = BF after a BF load; 0 at start) and its
  // last index.
  int activeRecord() const;
  int currentLength() const;
  // The correlation shown last on each side (none when emptied or undefined).
  std::optional<double> correlationBF() const;
  std::optional<double> correlationT() const;
  // The Transform page's flat view.
  TransformViewState viewState() const;

  // The correlation text for `r` (rounded to three decimals) in `language`, with `decimalSeparator`.
  static std::string CorrelationText(double r, InterfaceLanguage language, char decimalSeparator);

 private:
  struct State;
  struct Engine;
  using Work = std::function<SessionResult(State& next, Engine& engine, ProgressSink& progress)>;
  Job prepare(Work work) const;
  static Job refused(SessionResult result);
  SessionResult runNow(Job job, ProgressSink& progress);
  // Makes `record` the record of `side` in the staged state (the side's reset, texts, slots, automatic filter).
  static SessionResult adoptRecord(State& next, Engine& engine, Side side, const SignalRecord& record,
                                   const std::string& source, ProgressSink& progress);
  static SessionResult convertTemperature(State& next, Engine& engine, ProgressSink& progress);
  static SessionResult convertBloodFlow(State& next, Engine& engine, ProgressSink& progress);
  // The wavelet T -> BF* method: the installed converter's reconstruction output, or an error while none is
  // installed.
  static ConversionResult WaveLetT(const State& s, Engine& engine, ProgressSink& progress);
  // The band filter of one side into the staged state; `automatic` applies the rule of a load.
  static SessionResult runFilter(State& next, Engine& engine, bool temperature, bool automatic,
                                 ProgressSink& progress);
  // The reset before a T load (Action1, temperatureLoad) or a BF load (Action2).
  static void resetOutputs(State& s, bool temperatureLoad);
  // a and b of the side's "Scaled values:" edits; true without parsing unless that mode is chosen.
  static bool parseScaling(const State& s, bool temperature, double& a, double& b, std::string& error);
  // The Pearson coefficient of a side and its label text; the label is emptied when it is undefined.
  static SessionResult correlate(const State& s, bool temperature, std::string& label, std::optional<double>& value);

  std::unique_ptr<State> m_state;    // records, flags, settings, view data: copied whole for all-or-nothing updates
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
