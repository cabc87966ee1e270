#include "signals/transform_session.h"

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <utility>

#include "core/band_filter.h"
#include "core/band_transform.h"
#include "core/fourier_conversion.h"
#include "core/frequency_band.h"
#include "signals/signal_file.h"
#include "wavelet/wavelet_types.h"

namespace kelvora {
namespace {

constexpr const char* kPointsSuffix = " points";
constexpr const char* kTemperaturePrefix = "Temperature: ";
constexpr const char* kBloodFlowPrefix = "  Blood Flow:  ";

std::string JoinNotices(const std::string& first, const std::string& second) {
  if (first.empty()) return second;
  if (second.empty()) return first;
  return first + "\n" + second;
}

constexpr const char* kWaveletUnavailable = "Wavelet conversion is not available yet";
constexpr const char* kBloodFlowTitle = "BF, mm^3/sec";
constexpr const char* kBloodFlowOutputTitle = "BF, V";
constexpr const char* kTemperatureTitle = "T, °C";
// The wavelet conversion keeps its own normalisation: the range gets 1e-8 added.
constexpr double kWaveletRangeGuard = 1e-8;

ChartSeries SeriesOf(const std::vector<double>& values, int rate, std::size_t count) {
  ChartSeries series;
  count = std::min(count, values.size());
  series.x.resize(count);
  series.y.assign(values.begin(), values.begin() + static_cast<std::ptrdiff_t>(count));
  for (std::size_t i = 0; i < count; ++i)
    series.x[i] = static_cast<double>(i) / static_cast<double>(rate) / 60.0;
  return series;
}

ChartSeries SeriesOf(const std::vector<double>& values, int rate) { return SeriesOf(values, rate, values.size()); }

bool AllFinite(const std::vector<double>& values) {
  return std::all_of(values.begin(), values.end(), [](double v) { return std::isfinite(v); });
}

// "FILE:LINE: 'text' is not a valid number", "FILE: File does not exist": the form the command-line tool uses.
std::string DescribeFileError(const SignalFileError& error) {
  std::string text = error.path;
  if (error.line > 0) text += ":" + std::to_string(error.line);
  text += ": ";
  if (error.kind == SignalFileErrorKind::kInvalidNumber) text += "'" + error.text + "' ";
  return text + error.message;
}

std::string TenthText(char separator) { return std::string("0") + separator + "1"; }
std::string StartTemperatureText(char separator) { return std::string("36") + separator + "24"; }

std::string NotANumber(const std::string& text) { return "'" + text + "' is not a valid floating point value"; }

}  // namespace

struct TransformSession::State {
  // Settings.
  int gerc = 2;
  char separator = '.';
  InterfaceLanguage language = InterfaceLanguage::English;
  ConversionMethod method = ConversionMethod::Fourier;
  ConversionModel model = ConversionModel::ThermalWave;
  bool nonlinear = false;
  ScalingMode scaling = ScalingMode::Normalized;
  std::string aT = "1", bT = "0", aBF = "1", bBF = "0";
  std::string startTemperature = StartTemperatureText('.');
  TissueParameters tissue;
  ParameterGrid grid;
  FrequencyBand bandT{0.0, 0.1}, bandBF{0.0, 2.0};  // the selectors' bands (slots 1 and 2)
  std::string bandTextLowT = "0", bandTextHighT = TenthText('.');
  std::string bandTextLowBF = "0", bandTextHighBF = "2";
  bool filterSignalT = false;
  bool filterSignalBF = false;

  // Records and flags.
  SignalRecord t, bf;
  std::vector<double> tStar, bfStar, filteredT, filteredBF;
  bool tLoaded = false, bfLoaded = false, tStarReady = false, bfStarReady = false;
  int activeRecord = 0;
  int currentLength = 0;
  std::optional<double> correlationBF, correlationT;

  // What the window shows.
  bool saveBF = false, plotBF = false, outputBF = false;
  bool saveT = false, plotT = false, outputT = false;
  std::string edit10, edit16, edit17, edit18, lbCorrel1, lbCorrel2;
  ChartSeries series1, series19, series2, series21, series3, series5, series4, series6;
  std::string chart3Title, chart4Title;
};

struct TransformSession::Engine {
  BandTransform transform;
  BandFilter filter{transform};
  WaveletConverter waveletConverter;
  WaveletBandFilter waveletFilter;
};

TransformSession::TransformSession() : m_state(std::make_unique<State>()), m_engine(std::make_shared<Engine>()) {
  LayOutParameterGrid(m_state->grid, GridMode::ThermalWave, m_state->tissue, m_state->separator);
  m_state->series19.visible = false;
  m_state->series21.visible = false;
}

TransformSession::~TransformSession() = default;

// ----- settings -----

bool TransformSession::setSampleRate(int hertz) {
  if (hertz < 1) return false;
  m_state->gerc = hertz;
  return true;
}
int TransformSession::sampleRate() const { return m_state->gerc; }

void TransformSession::setDecimalSeparator(char separator) {
  State& s = *m_state;
  const char old = s.separator;
  s.separator = separator;
  if (s.bandTextHighT == TenthText(old)) s.bandTextHighT = TenthText(separator);
  if (s.startTemperature == StartTemperatureText(old)) s.startTemperature = StartTemperatureText(separator);
  LayOutParameterGrid(s.grid, s.method == ConversionMethod::Shitzer ? GridMode::Shitzer : GridMode::ThermalWave,
                      s.tissue, separator);
}
char TransformSession::decimalSeparator() const { return m_state->separator; }

void TransformSession::setLanguage(InterfaceLanguage language) { m_state->language = language; }
InterfaceLanguage TransformSession::language() const { return m_state->language; }

void TransformSession::setMethod(ConversionMethod method) {
  State& s = *m_state;
  const bool wasShitzer = s.method == ConversionMethod::Shitzer;
  s.method = method;
  const bool isShitzer = method == ConversionMethod::Shitzer;
  if (wasShitzer != isShitzer)
    LayOutParameterGrid(s.grid, isShitzer ? GridMode::Shitzer : GridMode::ThermalWave, s.tissue, s.separator);
}
ConversionMethod TransformSession::method() const { return m_state->method; }

void TransformSession::setModel(ConversionModel model) { m_state->model = model; }
ConversionModel TransformSession::model() const { return m_state->model; }
void TransformSession::setNonlinear(bool on) { m_state->nonlinear = on; }
bool TransformSession::nonlinear() const { return m_state->nonlinear; }
void TransformSession::setScalingMode(ScalingMode mode) { m_state->scaling = mode; }
ScalingMode TransformSession::scalingMode() const { return m_state->scaling; }

void TransformSession::setScalingTextsT(std::string a, std::string b) {
  m_state->aT = std::move(a);
  m_state->bT = std::move(b);
}
void TransformSession::setScalingTextsBF(std::string a, std::string b) {
  m_state->aBF = std::move(a);
  m_state->bBF = std::move(b);
}
void TransformSession::setStartTemperatureText(std::string text) { m_state->startTemperature = std::move(text); }
const std::string& TransformSession::startTemperatureText() const { return m_state->startTemperature; }

void TransformSession::setTissueParameters(const TissueParameters& parameters) {
  State& s = *m_state;
  s.tissue = parameters;
  LayOutParameterGrid(s.grid, s.method == ConversionMethod::Shitzer ? GridMode::Shitzer : GridMode::ThermalWave,
                      s.tissue, s.separator);
}
const TissueParameters& TransformSession::tissueParameters() const { return m_state->tissue; }

void TransformSession::setBandT(double lowHz, double highHz) { m_state->bandT = FrequencyBand{lowHz, highHz}; }
void TransformSession::setBandBF(double lowHz, double highHz) { m_state->bandBF = FrequencyBand{lowHz, highHz}; }
void TransformSession::setBandTextsT(std::string lowText, std::string highText) {
  m_state->bandTextLowT = std::move(lowText);
  m_state->bandTextHighT = std::move(highText);
}
void TransformSession::setBandTextsBF(std::string lowText, std::string highText) {
  m_state->bandTextLowBF = std::move(lowText);
  m_state->bandTextHighBF = std::move(highText);
}
double TransformSession::bandTLow() const { return m_state->bandT.low; }
double TransformSession::bandTHigh() const { return m_state->bandT.high; }
double TransformSession::bandBFLow() const { return m_state->bandBF.low; }
double TransformSession::bandBFHigh() const { return m_state->bandBF.high; }

void TransformSession::setFilterSignalT(bool ticked) {
  m_state->filterSignalT = ticked;
  m_state->series19.visible = ticked;
}
void TransformSession::setFilterSignalBF(bool ticked) {
  m_state->filterSignalBF = ticked;
  m_state->series21.visible = ticked;
}

void TransformSession::setWaveletConverter(WaveletConverter converter) {
  m_engine->waveletConverter = std::move(converter);
}
void TransformSession::setWaveletBandFilter(WaveletBandFilter filter) { m_engine->waveletFilter = std::move(filter); }

// ----- grid -----

const ParameterGrid& TransformSession::grid() const { return m_state->grid; }

GridEditResult TransformSession::editGridCell(int column, int row, const std::string& text) {
  State& s = *m_state;
  s.grid.setCell(column, row, text);
  return EditParameterGrid(s.grid, column, row,
                           s.method == ConversionMethod::Shitzer ? GridMode::Shitzer : GridMode::ThermalWave,
                           s.separator, s.tissue);
}

void TransformSession::pressSkinDefaults() {
  State& s = *m_state;
  ApplySkinDefaults(s.grid, s.method == ConversionMethod::Shitzer ? GridMode::Shitzer : GridMode::ThermalWave,
                    s.separator, s.tissue);
}
void TransformSession::pressBloodDefaults() { ApplyBloodDefaults(m_state->grid, m_state->tissue); }
void TransformSession::pressAirDefaults() { ApplyAirDefaults(m_state->grid, m_state->tissue); }

// ----- helpers of the operations -----

SessionResult TransformSession::runFilter(State& next, Engine& engine, bool temperature, bool automatic,
                                          ProgressSink& progress) {
  const SignalRecord& record = temperature ? next.t : next.bf;
  std::vector<double>& filtered = temperature ? next.filteredT : next.filteredBF;
  ChartSeries& series = temperature ? next.series19 : next.series21;
  bool& ticked = temperature ? next.filterSignalT : next.filterSignalBF;
  const int slot = temperature ? kTemperatureBandSlot : kBloodFlowBandSlot;

  const auto untick = [&] {
    ticked = false;
    series.visible = false;
  };
  if (automatic) {
    const bool fullBand = temperature ? (next.bandTextLowT == "0" && next.bandTextHighT == TenthText(next.separator))
                                      : (next.bandTextLowBF == "0" && next.bandTextHighBF == "2");
    if (fullBand || next.method == ConversionMethod::Shitzer) {
      // Nothing is filtered; a filtered record of the previous signal must not stay behind.
      filtered.clear();
      series = ChartSeries{};
      untick();
      return {};
    }
  }
  if (record.empty()) {
    filtered.clear();
    series = ChartSeries{};
    untick();
    return {};
  }

  std::vector<double> values;
  if (next.method == ConversionMethod::Wavelet) {
    if (!engine.waveletFilter) {
      filtered.clear();
      series = ChartSeries{};
      untick();
      return {};
    }
    if (automatic && record.count() > kWaveletMaxSamples) {
      // A load must not fail because its automatic filtering cannot run: the record is kept unfiltered.
      filtered.clear();
      series = ChartSeries{};
      untick();
      return {{}, "The record is not wavelet-filtered: the wavelet method holds at most " +
                      std::to_string(kWaveletMaxSamples) + " samples"};
    }
    const FrequencyBand band = temperature ? next.bandT : next.bandBF;
    ConversionResult result = engine.waveletFilter(temperature ? Side::Temperature : Side::BloodFlow,
                                                   record.normalized, band.low, band.high, next.gerc, progress);
    if (!result.ok()) return {result.error, {}};
    if (result.values.size() != record.normalized.size() || !AllFinite(result.values))
      return {"The wavelet filter gave a record of the wrong length or a value that is not a number", {}};
    values = std::move(result.values);
  } else {
    engine.transform.setBand(slot, temperature ? next.bandT : next.bandBF);
    BandFilterRequest request;
    request.slot = slot;
    request.signal = record.normalized;
    request.minimum = record.minimum;
    request.maximum = record.maximum;
    request.sampleRateHz = next.gerc;
    BandFilterResult result = engine.filter.run(request, progress);
    if (result.status == BandFilterStatus::kBusy) return {"The band filter is already running", {}};
    if (!result.ok()) return {"The record cannot be filtered: it is empty or holds a value that is not a number", {}};
    if (progress.stopRequested()) return {kConversionStoppedMessage, {}};
    values = std::move(result.filtered);
  }
  std::vector<double> shown(values.size());
  for (std::size_t i = 0; i < values.size(); ++i)
    shown[i] = values[i] * (record.maximum - record.minimum) + record.minimum;
  filtered = std::move(values);
  series = SeriesOf(shown, next.gerc);
  ticked = true;
  series.visible = true;
  return {};
}

void TransformSession::resetOutputs(State& s, bool temperatureLoad) {
  if (temperatureLoad) {
    s.bfStarReady = false;
    s.saveBF = s.plotBF = false;
  } else {
    s.tStarReady = false;
    s.saveT = s.plotT = false;
  }
  s.outputBF = s.outputT = false;
  s.lbCorrel1.clear();
  s.lbCorrel2.clear();
  s.correlationBF.reset();
  s.correlationT.reset();
}

bool TransformSession::parseScaling(const State& s, bool temperature, double& a, double& b, std::string& error) {
  if (s.scaling != ScalingMode::Scaled) return true;
  const std::string& aText = temperature ? s.aT : s.aBF;
  const std::string& bText = temperature ? s.bT : s.bBF;
  if (!ParseRealText(aText, s.separator, a)) {
    error = NotANumber(aText);
    return false;
  }
  if (!ParseRealText(bText, s.separator, b)) {
    error = NotANumber(bText);
    return false;
  }
  return true;
}

// The staged state of an operation: a copy that replaces the session's state only when the operation succeeds.
// The transform's caches are not staged; a failed load empties the slots it may have filled with the new record.

// ----- jobs -----

TransformSession::Job::Job() = default;
TransformSession::Job::Job(Job&&) noexcept = default;
TransformSession::Job& TransformSession::Job::operator=(Job&&) noexcept = default;
TransformSession::Job::~Job() = default;

SessionResult TransformSession::Job::run(ProgressSink& progress) {
  if (!m_ran && m_work) m_result = m_work(*m_next, *m_engine, progress);
  m_ran = true;
  return m_result;
}

TransformSession::Job TransformSession::prepare(Work work) const {
  Job job;
  if (busy()) {
    job.m_result = {"Another computation of the Transform page is still running", {}};
    job.m_ran = true;
    return job;
  }
  job.m_next = std::make_unique<State>(*m_state);
  job.m_engine = m_engine;
  job.m_work = std::move(work);
  return job;
}

TransformSession::Job TransformSession::refused(SessionResult result) {
  Job job;
  job.m_result = std::move(result);
  job.m_ran = true;
  return job;
}

SessionResult TransformSession::commit(Job job) {
  if (!job.m_ran) return {"The computation did not run", {}};
  job.m_engine.reset();
  if (job.m_result.ok() && job.m_next) *m_state = std::move(*job.m_next);
  return job.m_result;
}

bool TransformSession::busy() const { return m_engine.use_count() > 1; }

SessionResult TransformSession::runNow(Job job, ProgressSink& progress) {
  job.run(progress);
  return commit(std::move(job));
}

// ----- loads -----

TransformSession::Job TransformSession::prepareLoadFile(Side side, const std::string& path, const std::string& label) {
  const DecimalFormat format = DecimalFormat::ForSeparator(m_state->separator);
  return prepare([side, path, label, format](State& next, Engine& engine, ProgressSink& progress) -> SessionResult {
    const SignalReadResult read = ReadSignalFile(path, side == Side::Temperature, format);
    if (!read.ok()) return {DescribeFileError(*read.error), {}};
    SessionResult result = adoptRecord(next, engine, side, read.record, label.empty() ? path : label, progress);
    if (result.ok()) result.notice = JoinNotices(read.warning, result.notice);
    return result;
  });
}

TransformSession::Job TransformSession::prepareLoadRecord(Side side, const SignalRecord& record,
                                                          const std::string& source) {
  return prepare([side, record, source](State& next, Engine& engine, ProgressSink& progress) {
    return adoptRecord(next, engine, side, record, source, progress);
  });
}

TransformSession::Job TransformSession::prepareLoadBFFromSamples(const std::vector<double>& samples,
                                                                 const std::string& label) {
  if (samples.size() > static_cast<std::size_t>(kMaxRecordSamples)) return refused({"Big file - points > 20000", {}});
  if (samples.empty()) return refused({"There are no blood-flow samples to take over", {}});
  if (!AllFinite(samples)) return refused({"The blood-flow samples hold a value that is not a number", {}});
  SignalRecord record;
  record.values = samples;
  record.lastIndex = static_cast<int>(samples.size()) - 1;
  NormalizeRecord(record);
  return prepareLoadRecord(Side::BloodFlow, record, label);
}

SessionResult TransformSession::LoadT(const std::string& path, ProgressSink& progress, const std::string& label) {
  return runNow(prepareLoadFile(Side::Temperature, path, label), progress);
}

SessionResult TransformSession::LoadBF(const std::string& path, ProgressSink& progress, const std::string& label) {
  return runNow(prepareLoadFile(Side::BloodFlow, path, label), progress);
}

SessionResult TransformSession::LoadBFFromSamples(const std::vector<double>& samples, const std::string& label,
                                                  ProgressSink& progress) {
  return runNow(prepareLoadBFFromSamples(samples, label), progress);
}

SessionResult TransformSession::LoadRecord(Side side, const SignalRecord& record, const std::string& source,
                                           ProgressSink& progress) {
  return runNow(prepareLoadRecord(side, record, source), progress);
}

SessionResult TransformSession::adoptRecord(State& next, Engine& engine, Side side, const SignalRecord& record,
                                            const std::string& source, ProgressSink& progress) {
  const bool temperature = side == Side::Temperature;
  resetOutputs(next, temperature);
  (temperature ? next.t : next.bf) = record;
  const SignalRecord& loaded = temperature ? next.t : next.bf;
  (temperature ? next.series1 : next.series2) =
      SeriesOf(loaded.values, next.gerc, static_cast<std::size_t>(loaded.count()));
  (temperature ? next.edit17 : next.edit18) = std::to_string(loaded.count()) + kPointsSuffix;
  (temperature ? next.edit10 : next.edit16) = (temperature ? kTemperaturePrefix : kBloodFlowPrefix) + source;
  (temperature ? next.tLoaded : next.bfLoaded) = true;
  if (temperature ? next.tStarReady : next.bfStarReady) (temperature ? next.outputT : next.outputBF) = true;
  next.activeRecord = temperature ? 1 : 2;
  next.currentLength = loaded.lastIndex;

  const auto clearSlots = [&] {
    if (temperature)
      engine.transform.clearTemperatureSlots();
    else
      engine.transform.clearBloodFlowSlots();
  };
  clearSlots();
  SessionResult filtered = runFilter(next, engine, temperature, true, progress);
  // A failed load empties the slots it may have filled with the new record.
  if (!filtered.ok()) clearSlots();
  return filtered;
}

SessionResult TransformSession::LoadExample(int number, const std::string& examplesFolder, ProgressSink& progress) {
  const std::string label = "Example " + std::to_string(number);
  const std::string tPath = (std::filesystem::path(examplesFolder) / ("T" + std::to_string(number) + ".txt")).string();
  const std::string bfPath =
      (std::filesystem::path(examplesFolder) / ("BF" + std::to_string(number) + ".txt")).string();
  if (!std::filesystem::exists(tPath)) return {"File " + tPath + " does not exist", {}};
  SessionResult t = LoadT(tPath, progress, label);
  if (!t.ok()) return t;
  if (!std::filesystem::exists(bfPath)) return {"File " + bfPath + " does not exist", t.notice};
  SessionResult bf = LoadBF(bfPath, progress, label);
  if (bf.notice.empty()) bf.notice = t.notice;
  return bf;
}

SessionResult TransformSession::SaveConvertedT(const std::string& path) const {
  const State& s = *m_state;
  if (!s.tStarReady) return {"There is no T* to save", {}};
  const std::optional<SignalFileError> error = WriteSignalFile(s.tStar, s.bf.lastIndex, path, s.separator);
  if (error) return {DescribeFileError(*error), {}};
  return {};
}

SessionResult TransformSession::SaveConvertedBF(const std::string& path) const {
  const State& s = *m_state;
  if (!s.bfStarReady) return {"There is no BF* to save", {}};
  const std::optional<SignalFileError> error = WriteSignalFile(s.bfStar, s.t.lastIndex, path, s.separator);
  if (error) return {DescribeFileError(*error), {}};
  return {};
}

TransformSession::Job TransformSession::prepareFilter(Side side) {
  const bool temperature = side == Side::Temperature;
  if (!(temperature ? m_state->tLoaded : m_state->bfLoaded))
    return refused({temperature ? "No temperature record is loaded" : "No blood-flow record is loaded", {}});
  return prepare([temperature](State& next, Engine& engine, ProgressSink& progress) {
    return runFilter(next, engine, temperature, false, progress);
  });
}

SessionResult TransformSession::FilterT(ProgressSink& progress) {
  return runNow(prepareFilter(Side::Temperature), progress);
}

SessionResult TransformSession::FilterBF(ProgressSink& progress) {
  return runNow(prepareFilter(Side::BloodFlow), progress);
}

// ----- conversions -----

TransformSession::Job TransformSession::prepareConversion(Side side) {
  const bool temperature = side == Side::Temperature;
  if (!(temperature ? m_state->tLoaded : m_state->bfLoaded)) return refused({});
  return prepare([temperature](State& next, Engine& engine, ProgressSink& progress) {
    return temperature ? convertTemperature(next, engine, progress) : convertBloodFlow(next, engine, progress);
  });
}

SessionResult TransformSession::BtnTtoBF(ProgressSink& progress) {
  return runNow(prepareConversion(Side::Temperature), progress);
}

SessionResult TransformSession::BtnBFtoT(ProgressSink& progress) {
  return runNow(prepareConversion(Side::BloodFlow), progress);
}

SessionResult TransformSession::convertTemperature(State& next, Engine& engine, ProgressSink& progress) {
  const State& s = next;
  double a = 1.0, b = 0.0;
  std::string error;
  if (!parseScaling(s, false, a, b, error)) return {error, {}};
  if (s.t.empty()) return {"The temperature record is empty", {}};

  std::vector<double> bfStar;
  std::string title;
  int rate = s.gerc;
  switch (s.method) {
    case ConversionMethod::Fourier: {
      FourierConversionOptions options;
      options.model = s.model;
      options.tissue = {s.tissue.wave.lambda, static_cast<long long>(s.tissue.shitzer.rhoSkin) * s.tissue.wave.heatCapacity,
                        s.tissue.wave.depthM};
      options.nonlinear = s.nonlinear;
      options.scaling = s.scaling;
      options.a = a;
      options.b = b;
      engine.transform.setBand(kTemperatureBandSlot, s.bandT);
      ConversionResult result = FurieT(engine.transform, s.t.normalized, s.t.minimum, s.t.maximum, s.gerc,
                                       options, progress);
      if (!result.ok()) return {result.error, {}};
      bfStar = std::move(result.values);
      title = BloodFlowAxisTitle(s.scaling);
      break;
    }
    case ConversionMethod::Wavelet: {
      ConversionResult result = WaveLetT(s, engine, progress);
      if (!result.ok()) return {result.error, {}};
      bfStar = std::move(result.values);
      for (double& v : bfStar) v = v * (s.t.maximum - s.t.minimum) + s.t.minimum;
      if (s.nonlinear) ApplyPowerLaw(bfStar, 1.5);
      title = kBloodFlowTitle;
      if (s.scaling == ScalingMode::Scaled) {
        for (double& v : bfStar) v = a * v + b;
      } else if (s.scaling == ScalingMode::Normalized) {
        const auto [low, high] = std::minmax_element(bfStar.begin(), bfStar.end());
        const double minimum = *low, range = *high - *low + kWaveletRangeGuard;
        for (double& v : bfStar) v = (v - minimum) / range;
        title = BloodFlowAxisTitle(ScalingMode::Normalized);
      }
      // The wavelet method works at 2 Hz and leaves the sample rate there.
      rate = 2;
      break;
    }
    case ConversionMethod::Shitzer: {
      const ConversionResult derivative = TemperatureDerivative(s.t.values);
      if (!derivative.ok()) return {derivative.error, {}};
      ConversionResult result = ShitzerT(s.t.values, derivative.values, s.tissue.shitzer, s.gerc, progress);
      if (!result.ok()) return {result.error, {}};
      bfStar = std::move(result.values);
      title = kBloodFlowTitle;
      if (s.scaling == ScalingMode::Scaled) {
        for (double& v : bfStar) v = a * v + b;
      } else if (s.scaling == ScalingMode::Normalized) {
        NormalizeToUnitRange(bfStar);
        title = BloodFlowAxisTitle(ScalingMode::Normalized);
      }
      break;
    }
  }
  if (!AllFinite(bfStar)) return {"The conversion gave a value that is not a number", {}};

  next.gerc = rate;
  next.lbCorrel1.clear();
  next.correlationBF.reset();
  next.bfStar = std::move(bfStar);
  next.chart3Title = title;
  next.series3 = SeriesOf(next.bfStar, next.gerc);
  next.series5 = ChartSeries{};
  next.saveBF = next.plotBF = true;
  next.bfStarReady = true;
  if (next.bfLoaded) next.outputBF = true;
  return {};
}

ConversionResult TransformSession::WaveLetT(const State& s, Engine& engine, ProgressSink& progress) {
  if (!engine.waveletConverter) return ConversionResult::Failure(kWaveletUnavailable);
  WaveletConversionInput input;
  input.normalizedT = s.t.normalized;
  input.bandLowHz = s.bandT.low;
  input.bandHighHz = s.bandT.high;
  input.model = s.model;
  input.lambda = s.tissue.wave.lambda;
  input.rhoC = static_cast<long long>(s.tissue.shitzer.rhoSkin) * s.tissue.wave.heatCapacity;
  input.sampleRateHz = s.gerc;
  ConversionResult result = engine.waveletConverter(input, progress);
  if (result.ok() && result.values.size() != input.normalizedT.size())
    return ConversionResult::Failure("The wavelet conversion gave a record of the wrong length");
  return result;
}

SessionResult TransformSession::convertBloodFlow(State& next, Engine& engine, ProgressSink& progress) {
  const State& s = next;

  if (s.method == ConversionMethod::Wavelet) {
    // The wavelet method has no BF -> T* conversion: the T* chart is cleared and nothing is computed.
    next.lbCorrel2.clear();
    next.correlationT.reset();
    next.series4 = ChartSeries{};
    next.series6 = ChartSeries{};
    return {};
  }

  double a = 1.0, b = 0.0;
  std::string error;
  if (!parseScaling(s, true, a, b, error)) return {error, {}};
  if (s.bf.empty()) return {"The blood-flow record is empty", {}};

  std::vector<double> tStar;
  std::string title;
  if (s.method == ConversionMethod::Fourier) {
    FourierConversionOptions options;
    options.model = s.model;
    options.tissue = {s.tissue.wave.lambda, static_cast<long long>(s.tissue.shitzer.rhoSkin) * s.tissue.wave.heatCapacity,
                      s.tissue.wave.depthM};
    options.nonlinear = s.nonlinear;
    options.scaling = s.scaling;
    options.a = a;
    options.b = b;
    engine.transform.setBand(kBloodFlowBandSlot, s.bandBF);
    ConversionResult result = FurieBF(engine.transform, s.bf.normalized, s.gerc, options, progress);
    if (!result.ok()) return {result.error, {}};
    tStar = std::move(result.values);
    title = TemperatureAxisTitle(s.scaling);
  } else {
    double startTemperature = 0.0;
    if (!ParseRealText(s.startTemperature, s.separator, startTemperature))
      return {NotANumber(s.startTemperature), {}};
    ConversionResult result =
        ShitzerBF(s.bf.values, s.bf.minimum, s.bf.maximum, startTemperature, s.tissue.shitzer, s.gerc, progress);
    if (!result.ok()) return {result.error, {}};
    tStar = std::move(result.values);
    if (s.nonlinear) ApplyPowerLaw(tStar, 2.0 / 3.0);
    title = kTemperatureTitle;
    if (s.scaling == ScalingMode::Scaled) {
      for (double& v : tStar) v = a * v + b;
    } else if (s.scaling == ScalingMode::Normalized) {
      NormalizeToUnitRange(tStar);
      title = TemperatureAxisTitle(ScalingMode::Normalized);
    }
  }
  if (!AllFinite(tStar)) return {"The conversion gave a value that is not a number", {}};

  next.lbCorrel2.clear();
  next.correlationT.reset();
  next.tStar = std::move(tStar);
  next.chart4Title = title;
  next.series4 = SeriesOf(next.tStar, next.gerc);
  next.series6 = ChartSeries{};
  next.tStarReady = true;
  if (next.tLoaded) next.outputT = true;
  next.saveT = next.plotT = true;
  return {};
}

// ----- output overlays and correlation -----

namespace {

// The measured curve an "Output" overlay shows: the filtered record (normalised scale) or the record itself,
// in normalised units or mapped back to the record's own units.
std::vector<double> MeasuredCurve(const SignalRecord& record, const std::vector<double>& filtered, bool useFiltered,
                                  bool normalized) {
  if (!useFiltered) return normalized ? record.normalized : record.values;
  std::vector<double> curve = filtered;
  if (!normalized)
    for (double& v : curve) v = v * (record.maximum - record.minimum) + record.minimum;
  return curve;
}

}  // namespace

SessionResult TransformSession::OutputBF() {
  const State& s = *m_state;
  if (!s.bfLoaded || !s.bfStarReady) return {"Output BF needs the measured BF and the computed BF*", {}};
  const bool normalized = s.scaling == ScalingMode::Normalized;
  const bool useFiltered = s.filterSignalBF && s.method == ConversionMethod::Fourier && !s.filteredBF.empty();

  const std::vector<double> measured = MeasuredCurve(s.bf, s.filteredBF, useFiltered, normalized);
  std::vector<double> converted = s.bfStar;
  if (normalized) NormalizeToUnitRange(converted);

  State& next = *m_state;
  next.series5 = SeriesOf(measured, next.gerc, static_cast<std::size_t>(next.bf.count()));
  next.series3 = SeriesOf(converted, next.gerc);
  next.chart3Title = kBloodFlowOutputTitle;
  const SessionResult correlation = Correl1();
  return {{}, correlation.error};
}

SessionResult TransformSession::OutputT() {
  const State& s = *m_state;
  if (!s.tLoaded || !s.tStarReady) return {"Output T needs the measured T and the computed T*", {}};
  const bool normalized = s.scaling == ScalingMode::Normalized;
  const bool useFiltered = s.filterSignalT && s.method == ConversionMethod::Fourier && !s.filteredT.empty();
  const std::size_t length = static_cast<std::size_t>(std::max(0, std::min(s.bf.lastIndex, s.t.lastIndex) + 1));

  const std::vector<double> measured = MeasuredCurve(s.t, s.filteredT, useFiltered, normalized);
  std::vector<double> converted = s.tStar;
  if (normalized) NormalizeToUnitRange(converted);

  State& next = *m_state;
  next.series6 = SeriesOf(measured, next.gerc, length);
  next.series4 = SeriesOf(converted, next.gerc, length);
  next.chart4Title = kTemperatureTitle;
  const SessionResult correlation = Correl2();
  return {{}, correlation.error};
}

SessionResult TransformSession::correlate(const State& s, bool temperature, std::string& label,
                                         std::optional<double>& value) {
  const bool loaded = temperature ? s.tLoaded : s.bfLoaded;
  const bool ready = temperature ? s.tStarReady : s.bfStarReady;
  if (!loaded || !ready) return {"The correlation needs the measured and the computed record", {}};
  const bool ticked = temperature ? s.filterSignalT : s.filterSignalBF;
  const std::vector<double>& filtered = temperature ? s.filteredT : s.filteredBF;
  const SignalRecord& record = temperature ? s.t : s.bf;
  const std::vector<double>& x =
      ticked && s.method == ConversionMethod::Fourier && !filtered.empty() ? filtered : record.values;
  const std::vector<double>& y = temperature ? s.tStar : s.bfStar;
  const std::optional<double> r = PearsonCorrelation(x, y);
  if (!r) {
    label.clear();
    value.reset();
    return {"The correlation is undefined: a record is constant or shorter than two samples", {}};
  }
  value = r;
  label = CorrelationText(*r, s.language, s.separator);
  return {};
}

SessionResult TransformSession::Correl1() {
  State& s = *m_state;
  std::string label = s.lbCorrel1;
  std::optional<double> value = s.correlationBF;
  SessionResult result = correlate(s, false, label, value);
  s.lbCorrel1 = label;
  s.correlationBF = value;
  return result;
}

SessionResult TransformSession::Correl2() {
  State& s = *m_state;
  std::string label = s.lbCorrel2;
  std::optional<double> value = s.correlationT;
  SessionResult result = correlate(s, true, label, value);
  s.lbCorrel2 = label;
  s.correlationT = value;
  return result;
}

std::string TransformSession::CorrelationText(double r, InterfaceLanguage language, char decimalSeparator) {
  double rounded = std::round(r * 1000.0) / 1000.0;
  if (rounded == 0.0) rounded = 0.0;  // no "-0"
  const std::string prefix = language == InterfaceLanguage::Russian ? "Корреляция: " : "Correlation: ";
  return prefix + FormatRealText(rounded, decimalSeparator);
}

// ----- state -----

const SignalRecord& TransformSession::recordT() const { return m_state->t; }
const SignalRecord& TransformSession::recordBF() const { return m_state->bf; }
const std::vector<double>& TransformSession::convertedT() const { return m_state->tStar; }
const std::vector<double>& TransformSession::convertedBF() const { return m_state->bfStar; }
const std::vector<double>& TransformSession::filteredT() const { return m_state->filteredT; }
const std::vector<double>& TransformSession::filteredBF() const { return m_state->filteredBF; }
int TransformSession::activeRecord() const { return m_state->activeRecord; }
int TransformSession::currentLength() const { return m_state->currentLength; }
bool TransformSession::tLoaded() const { return m_state->tLoaded; }
bool TransformSession::bfLoaded() const { return m_state->bfLoaded; }
bool TransformSession::tStarReady() const { return m_state->tStarReady; }
bool TransformSession::bfStarReady() const { return m_state->bfStarReady; }
std::optional<double> TransformSession::correlationBF() const { return m_state->correlationBF; }
std::optional<double> TransformSession::correlationT() const { return m_state->correlationT; }


TransformViewState TransformSession::viewState() const {
  const State& s = *m_state;
  TransformViewState v;
  v.btnTtoBFImage = s.tLoaded ? 0 : 1;
  v.btnTtoBFTag = s.tLoaded ? 1 : 0;
  v.btnBFtoTImage = s.bfLoaded ? 2 : 3;
  v.btnBFtoTTag = s.bfLoaded ? 1 : 0;
  v.btnSaveBFEnabled = s.saveBF;
  v.btnPlotBFEnabled = s.plotBF;
  v.btnOutputBFEnabled = s.outputBF;
  v.btnSaveTEnabled = s.saveT;
  v.btnPlotTEnabled = s.plotT;
  v.btnOutputTEnabled = s.outputT;
  v.edit10 = s.edit10;
  v.edit16 = s.edit16;
  v.edit17 = s.edit17;
  v.edit18 = s.edit18;
  v.lbCorrel1 = s.lbCorrel1;
  v.lbCorrel2 = s.lbCorrel2;
  v.cbFilterSignalT = s.filterSignalT;
  v.cbFilterSignalBF = s.filterSignalBF;
  v.edit9Visible = s.method == ConversionMethod::Shitzer;
  v.series1 = s.series1;
  v.series19 = s.series19;
  v.series2 = s.series2;
  v.series21 = s.series21;
  v.series3 = s.series3;
  v.series5 = s.series5;
  v.series4 = s.series4;
  v.series6 = s.series6;
  v.chart3LeftAxisTitle = s.chart3Title;
  v.chart4LeftAxisTitle = s.chart4Title;
  return v;
}

}  // namespace kelvora
