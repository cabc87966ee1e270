#include "signals/transform_session.h"

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <utility>

#include "core/band_filter.h"
#include "core/band_transform.h"
#include "core/fourier_conversion.h"
#include "core/text_helpers.h"
#include "formats/signal_file.h"
#include "wavelet/wavelet_types.h"

namespace kelvora {
namespace {

// What differs between the two sides.
struct SideRules {
  bool kelvinCheck;            // a load of the temperature side takes a first value above 250 as kelvin
  int bandSlot;                // the selector's slot of the band-limited transform
  bool overlayOnCommonLength;  // "Output T" shows both curves over the shorter record; "Output BF" does not
};

constexpr SideRules kRules[2] = {
    {true, kTemperatureBandSlot, false},
    {false, kBloodFlowBandSlot, true},
};

const SideRules& RulesOf(Side side) { return kRules[SideIndex(side)]; }

SessionResult Failed(Problem problem) {
  SessionResult result;
  result.error = std::move(problem);
  return result;
}
SessionResult Failed(ProblemKind kind) { return Failed(Problem{kind}); }
// A refusal that names the side.
SessionResult Failed(ProblemKind kind, Side side) {
  Problem problem{kind};
  problem.bloodFlow = side == Side::BloodFlow;
  return Failed(std::move(problem));
}
SessionResult FileFailed(SignalFileError error) {
  SessionResult result;
  result.fileError = std::move(error);
  return result;
}
SessionResult Noticed(Problem problem) {
  SessionResult result;
  result.notices.push_back(std::move(problem));
  return result;
}

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

Problem TooBig() {
  Problem problem{ProblemKind::kRecordTooBig};
  problem.limit = kMaxRecordSamples;
  return problem;
}

// Why a record made elsewhere (an import) cannot become T or BF; nothing when it can.
std::optional<Problem> CheckAdoptedRecord(const SignalRecord& record) {
  if (record.empty() || record.count() > static_cast<int>(record.values.size()))
    return Problem{ProblemKind::kRecordNoSamples};
  if (record.count() > kMaxRecordSamples) return TooBig();
  for (int i = 0; i < record.count(); ++i)
    if (!std::isfinite(record.values[static_cast<std::size_t>(i)])) return Problem{ProblemKind::kRecordNotANumber};
  if (record.normalized.size() != static_cast<std::size_t>(record.count()))
    return Problem{ProblemKind::kRecordNotNormalized};
  return std::nullopt;
}

std::string TenthText(char separator) { return std::string("0") + separator + "1"; }
std::string StartTemperatureText(char separator) { return std::string("36") + separator + "24"; }

// The band texts "0" .. this mean that no band is chosen: 0.1 Hz on the temperature side (its start state),
// 2 Hz on the blood-flow side.
std::string NoBandHighText(Side side, char separator) {
  return side == Side::Temperature ? TenthText(separator) : std::string("2");
}

SessionResult NotANumber(const std::string& text) {
  Problem problem{ProblemKind::kNotAValue};
  problem.text = text;
  return Failed(std::move(problem));
}

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

// What the setters change; a job reads it and its commit leaves it as the owner has set it meanwhile.
struct TransformSession::Settings {
  struct SideSettings {
    FrequencyBand band;
    std::string bandLowText = "0";
    std::string bandHighText;
    std::string scaleA = "1";  // "Scaled values:" a and b of the record converted from the side
    std::string scaleB = "0";
  };
  int gerc = 2;
  char separator = '.';
  ConversionMethod method = ConversionMethod::Fourier;
  ConversionModel model = ConversionModel::ThermalWave;
  bool nonlinear = false;
  ScalingMode scaling = ScalingMode::Normalized;
  std::string startTemperature = StartTemperatureText('.');
  TissueParameters tissue;
  std::optional<WaveletType> waveletType;
  std::optional<WaveletDelayRule> delayRule;
  ParameterGrid grid;
  std::array<SideSettings, 2> sides{SideSettings{{0.0, 0.1}, "0", TenthText('.')},
                                    SideSettings{{0.0, 2.0}, "0", "2"}};

  const SideSettings& of(Side side) const { return sides[SideIndex(side)]; }
  GridMode gridMode() const { return method == ConversionMethod::Shitzer ? GridMode::Shitzer : GridMode::ThermalWave; }
};

// What the operations produce for one side.
struct TransformSession::SideState {
  // The measured record.
  SignalRecord record;
  bool loaded = false;
  std::string source;
  ChartSeries measuredCurve;
  // Its band filtering, on the normalised scale, and the curve of it in the record's units.
  bool filterTicked = false;
  std::vector<double> filtered;
  ChartSeries filteredCurve;
  // The record converted from it.
  std::vector<double> converted;
  bool convertedReady = false;
  ChartSeries convertedCurve;
  ChartSeries overlayCurve;
  AxisUnits convertedAxis = AxisUnits::Physical;
  std::optional<double> correlation;
  std::optional<ConversionProvenance> provenance;  // set with every converted record

  void clearFiltered() {
    filtered.clear();
    filteredCurve = ChartSeries{};
    filterTicked = false;
  }
};

struct TransformSession::State {
  Settings settings;
  std::array<SideState, 2> sides;
  int activeRecord = 0;
  int currentLength = 0;
  bool rateChanged = false;  // set by a job that changed settings.gerc (the wavelet conversion)

  SideState& of(Side side) { return sides[SideIndex(side)]; }
  const SideState& of(Side side) const { return sides[SideIndex(side)]; }
};

struct TransformSession::Engine {
  BandTransform transform;
  BandFilter filter{transform};
  WaveletConverter waveletConverter;
  WaveletBandFilter waveletFilter;
};

bool ConversionOutdated(const ConversionProvenance& made, const ConversionProvenance& now) {
  if (made.method != now.method || made.from != now.from || made.scaling != now.scaling) return true;
  if (made.scaling == ScalingMode::Scaled && (made.scaleA != now.scaleA || made.scaleB != now.scaleB)) return true;
  const bool shitzer = made.method == ConversionMethod::Shitzer;
  // Shitzer's T -> BF* has no power law.
  if (!(shitzer && made.from == Side::Temperature) && made.nonlinear != now.nonlinear) return true;
  if (shitzer) {
    if (made.tissue.shitzer != now.tissue.shitzer || made.inputRateHz != now.inputRateHz) return true;
    return made.from == Side::BloodFlow && made.startTemperature != now.startTemperature;
  }
  const ThermalWaveTissue& a = made.tissue.wave;
  const ThermalWaveTissue& b = now.tissue.wave;
  if (made.model != now.model || a.lambda != b.lambda || a.rho != b.rho || a.heatCapacity != b.heatCapacity ||
      a.depthM != b.depthM || made.band.low != now.band.low ||
      made.band.high != now.band.high)
    return true;
  if (made.method == ConversionMethod::Fourier) return made.inputRateHz != now.inputRateHz;
  return made.waveletType != now.waveletType || made.delayRule != now.delayRule;
}

namespace {

// The provenance of a conversion of `side` with `settings`, of the record `record` from `source`.
ConversionProvenance ProvenanceOf(const auto& settings, Side side, const std::string& source) {
  ConversionProvenance p;
  p.method = settings.method;
  p.from = side;
  p.model = settings.model;
  p.tissue = settings.tissue;
  p.nonlinear = settings.nonlinear;
  p.scaling = settings.scaling;
  p.scaleA = settings.of(side).scaleA;
  p.scaleB = settings.of(side).scaleB;
  p.startTemperature = settings.startTemperature;
  p.band = settings.of(side).band;
  p.inputRateHz = settings.gerc;
  p.resultRateHz = settings.gerc;
  if (settings.method == ConversionMethod::Wavelet) {
    p.waveletType = settings.waveletType;
    p.delayRule = settings.delayRule;
  }
  p.source = source;
  return p;
}

}  // namespace

TransformSession::TransformSession() : m_state(std::make_unique<State>()), m_engine(std::make_shared<Engine>()) {
  Settings& s = m_state->settings;
  LayOutParameterGrid(s.grid, GridMode::ThermalWave, s.tissue, s.separator);
}

TransformSession::~TransformSession() = default;

// ----- settings -----

bool TransformSession::setSampleRate(int hertz) {
  if (hertz < 1) return false;
  m_state->settings.gerc = hertz;
  return true;
}
int TransformSession::sampleRate() const { return m_state->settings.gerc; }

void TransformSession::setDecimalSeparator(char separator) {
  Settings& s = m_state->settings;
  const char old = s.separator;
  s.separator = separator;
  std::string& tenth = s.sides[SideIndex(Side::Temperature)].bandHighText;
  if (tenth == TenthText(old)) tenth = TenthText(separator);
  if (s.startTemperature == StartTemperatureText(old)) s.startTemperature = StartTemperatureText(separator);
  LayOutParameterGrid(s.grid, s.gridMode(), s.tissue, separator);
}
char TransformSession::decimalSeparator() const { return m_state->settings.separator; }

void TransformSession::setMethod(ConversionMethod method) {
  Settings& s = m_state->settings;
  const GridMode before = s.gridMode();
  s.method = method;
  if (s.gridMode() != before) LayOutParameterGrid(s.grid, s.gridMode(), s.tissue, s.separator);
}
ConversionMethod TransformSession::method() const { return m_state->settings.method; }

void TransformSession::setModel(ConversionModel model) { m_state->settings.model = model; }
ConversionModel TransformSession::model() const { return m_state->settings.model; }
void TransformSession::setNonlinear(bool on) { m_state->settings.nonlinear = on; }
bool TransformSession::nonlinear() const { return m_state->settings.nonlinear; }
void TransformSession::setScalingMode(ScalingMode mode) { m_state->settings.scaling = mode; }
ScalingMode TransformSession::scalingMode() const { return m_state->settings.scaling; }

void TransformSession::setScalingTexts(Side side, std::string a, std::string b) {
  Settings::SideSettings& s = m_state->settings.sides[SideIndex(side)];
  s.scaleA = std::move(a);
  s.scaleB = std::move(b);
}
void TransformSession::setStartTemperatureText(std::string text) {
  m_state->settings.startTemperature = std::move(text);
}
const std::string& TransformSession::startTemperatureText() const { return m_state->settings.startTemperature; }

void TransformSession::setTissueParameters(const TissueParameters& parameters) {
  Settings& s = m_state->settings;
  s.tissue = parameters;
  LayOutParameterGrid(s.grid, s.gridMode(), s.tissue, s.separator);
}
const TissueParameters& TransformSession::tissueParameters() const { return m_state->settings.tissue; }

void TransformSession::setBand(Side side, double lowHz, double highHz) {
  m_state->settings.sides[SideIndex(side)].band = FrequencyBand{lowHz, highHz};
}
FrequencyBand TransformSession::band(Side side) const { return m_state->settings.of(side).band; }
void TransformSession::setBandTexts(Side side, std::string lowText, std::string highText) {
  Settings::SideSettings& s = m_state->settings.sides[SideIndex(side)];
  s.bandLowText = std::move(lowText);
  s.bandHighText = std::move(highText);
}

void TransformSession::setWaveletChoices(std::optional<WaveletType> type, std::optional<WaveletDelayRule> delays) {
  m_state->settings.waveletType = type;
  m_state->settings.delayRule = delays;
}

void TransformSession::setFilterSignal(Side side, bool ticked) { m_state->of(side).filterTicked = ticked; }

void TransformSession::setWaveletConverter(WaveletConverter converter) {
  m_engine->waveletConverter = std::move(converter);
}
void TransformSession::setWaveletBandFilter(WaveletBandFilter filter) { m_engine->waveletFilter = std::move(filter); }

// ----- grid -----

const ParameterGrid& TransformSession::grid() const { return m_state->settings.grid; }

GridEditResult TransformSession::editGridCell(int column, int row, const std::string& text) {
  Settings& s = m_state->settings;
  s.grid.setCell(column, row, text);
  return EditParameterGrid(s.grid, column, row, s.gridMode(), s.separator, s.tissue);
}

void TransformSession::pressSkinDefaults() {
  Settings& s = m_state->settings;
  ApplySkinDefaults(s.grid, s.gridMode(), s.separator, s.tissue);
}
void TransformSession::pressBloodDefaults() { ApplyBloodDefaults(m_state->settings.grid, m_state->settings.tissue); }
void TransformSession::pressAirDefaults() { ApplyAirDefaults(m_state->settings.grid, m_state->settings.tissue); }

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
  if (busy()) return refused(Failed(ProblemKind::kSessionBusy));
  Job job;
  job.m_next = std::make_unique<State>(*m_state);
  job.m_next->rateChanged = false;
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
  if (!job.m_ran) return Failed(ProblemKind::kDidNotRun);
  job.m_engine.reset();
  if (job.m_result.ok() && job.m_next) {
    State& next = *job.m_next;
    m_state->sides = std::move(next.sides);
    m_state->activeRecord = next.activeRecord;
    m_state->currentLength = next.currentLength;
    if (next.rateChanged) m_state->settings.gerc = next.settings.gerc;
  }
  return job.m_result;
}

bool TransformSession::busy() const { return m_engine.use_count() > 1; }

SessionResult TransformSession::runNow(Job job, ProgressSink& progress) {
  job.run(progress);
  return commit(std::move(job));
}

// ----- loads -----

TransformSession::Job TransformSession::prepareLoadFile(Side side, const std::string& path, const std::string& label) {
  const DecimalFormat format = DecimalFormat::ForSeparator(m_state->settings.separator);
  return prepare([side, path, label, format](State& next, Engine& engine, ProgressSink& progress) -> SessionResult {
    const SignalReadResult read = ReadSignalFile(path, RulesOf(side).kelvinCheck, format);
    if (!read.ok()) return FileFailed(*read.error);
    SessionResult result = adoptRecord(next, engine, side, read.record, label.empty() ? path : label, progress);
    if (result.ok() && read.truncated) result.notices.insert(result.notices.begin(), BigFileNotice(read));
    return result;
  });
}

TransformSession::Job TransformSession::prepareLoadRecord(Side side, const SignalRecord& record,
                                                          const std::string& source) {
  if (std::optional<Problem> error = CheckAdoptedRecord(record)) return refused(Failed(std::move(*error)));
  return prepare([side, record, source](State& next, Engine& engine, ProgressSink& progress) {
    return adoptRecord(next, engine, side, record, source, progress);
  });
}

TransformSession::Job TransformSession::prepareLoadBFFromSamples(const std::vector<double>& samples,
                                                                 const std::string& label) {
  if (samples.size() > static_cast<std::size_t>(kMaxRecordSamples)) return refused(Failed(TooBig()));
  if (samples.empty()) return refused(Failed(ProblemKind::kNoBloodFlowSamples));
  if (!AllFinite(samples)) return refused(Failed(ProblemKind::kBloodFlowSamplesNotANumber));
  SignalRecord record;
  record.values = samples;
  record.lastIndex = static_cast<int>(samples.size()) - 1;
  NormalizeRecord(record);
  return prepareLoadRecord(Side::BloodFlow, record, label);
}

SessionResult TransformSession::Load(Side side, const std::string& path, ProgressSink& progress,
                                     const std::string& label) {
  return runNow(prepareLoadFile(side, path, label), progress);
}
SessionResult TransformSession::LoadT(const std::string& path, ProgressSink& progress, const std::string& label) {
  return Load(Side::Temperature, path, progress, label);
}
SessionResult TransformSession::LoadBF(const std::string& path, ProgressSink& progress, const std::string& label) {
  return Load(Side::BloodFlow, path, progress, label);
}

SessionResult TransformSession::LoadRecord(Side side, const SignalRecord& record, const std::string& source,
                                           ProgressSink& progress) {
  return runNow(prepareLoadRecord(side, record, source), progress);
}

SessionResult TransformSession::LoadBFFromSamples(const std::vector<double>& samples, const std::string& label,
                                                  ProgressSink& progress) {
  return runNow(prepareLoadBFFromSamples(samples, label), progress);
}

SessionResult TransformSession::adoptRecord(State& next, Engine& engine, Side side, const SignalRecord& record,
                                            const std::string& source, ProgressSink& progress) {
  // The reset of the side (Action1 / Action2): its converted record is no longer ready, both correlations go.
  // Nothing made from the record it replaces stays drawn: its converted record goes, and the other side's
  // converted record loses the overlay of it.
  SideState& own = next.of(side);
  own.convertedReady = false;
  own.converted.clear();
  own.convertedCurve = ChartSeries{};
  own.overlayCurve = ChartSeries{};
  own.provenance.reset();
  for (SideState& any : next.sides) any.correlation.reset();
  SideState& other = next.of(OtherSide(side));
  other.overlayCurve = ChartSeries{};
  if (other.convertedReady && other.provenance) {
    other.convertedCurve = SeriesOf(other.converted, other.provenance->resultRateHz);
    other.convertedAxis =
        other.provenance->scaling == ScalingMode::Normalized ? AxisUnits::Normalized : AxisUnits::Physical;
  }

  own.record = record;
  own.loaded = true;
  own.source = source;
  own.measuredCurve = SeriesOf(own.record.values, next.settings.gerc, static_cast<std::size_t>(own.record.count()));
  next.activeRecord = static_cast<int>(SideIndex(side)) + 1;
  next.currentLength = own.record.lastIndex;

  const auto clearSlots = [&] {
    if (side == Side::Temperature)
      engine.transform.clearTemperatureSlots();
    else
      engine.transform.clearBloodFlowSlots();
  };
  clearSlots();
  SessionResult filtered = runFilter(next, engine, side, true, progress);
  // A failed load empties the slots it may have filled with the new record.
  if (!filtered.ok()) clearSlots();
  return filtered;
}

SessionResult TransformSession::LoadExample(int number, const std::string& examplesFolder, ProgressSink& progress) {
  const std::string label = "Example " + std::to_string(number);
  const std::string tPath = (std::filesystem::path(examplesFolder) / ("T" + std::to_string(number) + ".txt")).string();
  const std::string bfPath =
      (std::filesystem::path(examplesFolder) / ("BF" + std::to_string(number) + ".txt")).string();
  if (!std::filesystem::exists(tPath)) return Failed(PathProblem(ProblemKind::kMissingFile, tPath));
  SessionResult t = LoadT(tPath, progress, label);
  if (!t.ok()) return t;
  if (!std::filesystem::exists(bfPath)) {
    SessionResult missing = Failed(PathProblem(ProblemKind::kMissingFile, bfPath));
    missing.notices = t.notices;
    return missing;
  }
  SessionResult bf = LoadBF(bfPath, progress, label);
  if (bf.notices.empty()) bf.notices = t.notices;
  return bf;
}

// ----- saves -----

SessionResult TransformSession::Save(Side side, const std::string& path) const {
  const SideState& own = m_state->of(side);
  if (!own.convertedReady) return Failed(ProblemKind::kNothingToSave, side);
  const std::optional<SignalFileError> error =
      WriteSignalFile(own.converted, own.record.lastIndex, path, m_state->settings.separator);
  if (error) return FileFailed(*error);
  return {};
}
SessionResult TransformSession::SaveConvertedT(const std::string& path) const { return Save(Side::BloodFlow, path); }
SessionResult TransformSession::SaveConvertedBF(const std::string& path) const {
  return Save(Side::Temperature, path);
}

// ----- band filter -----

TransformSession::Job TransformSession::prepareFilter(Side side) {
  if (!m_state->of(side).loaded) return refused(Failed(ProblemKind::kSideNotLoaded, side));
  return prepare([side](State& next, Engine& engine, ProgressSink& progress) {
    return runFilter(next, engine, side, false, progress);
  });
}

SessionResult TransformSession::Filter(Side side, ProgressSink& progress) {
  return runNow(prepareFilter(side), progress);
}
SessionResult TransformSession::FilterT(ProgressSink& progress) { return Filter(Side::Temperature, progress); }
SessionResult TransformSession::FilterBF(ProgressSink& progress) { return Filter(Side::BloodFlow, progress); }

SessionResult TransformSession::runFilter(State& next, Engine& engine, Side side, bool automatic,
                                          ProgressSink& progress) {
  const Settings& settings = next.settings;
  const Settings::SideSettings& selector = settings.of(side);
  SideState& own = next.of(side);
  if (automatic) {
    const bool noBand =
        selector.bandLowText == "0" && selector.bandHighText == NoBandHighText(side, settings.separator);
    if (noBand || settings.method == ConversionMethod::Shitzer) {
      // Nothing is filtered; a filtered record of the previous signal must not stay behind.
      own.clearFiltered();
      return {};
    }
  }
  const SignalRecord& record = own.record;
  if (record.empty()) {
    own.clearFiltered();
    return {};
  }

  std::vector<double> values;
  if (settings.method == ConversionMethod::Wavelet) {
    if (!engine.waveletFilter) {
      own.clearFiltered();
      return {};
    }
    if (automatic && record.count() > kWaveletMaxSamples) {
      // A load must not fail because its automatic filtering cannot run: the record is kept unfiltered.
      own.clearFiltered();
      Problem notice{ProblemKind::kNotWaveletFiltered};
      notice.limit = kWaveletMaxSamples;
      return Noticed(std::move(notice));
    }
    ConversionResult result = engine.waveletFilter(side, record.normalized, selector.band.low, selector.band.high,
                                                   settings.gerc, progress);
    if (!result.ok()) return Failed(*result.error);
    if (result.values.size() != record.normalized.size() || !AllFinite(result.values))
      return Failed(ProblemKind::kWaveletFilterBad);
    values = std::move(result.values);
  } else {
    const int slot = RulesOf(side).bandSlot;
    engine.transform.setBand(slot, selector.band);
    BandFilterRequest request;
    request.slot = slot;
    request.signal = record.normalized;
    request.minimum = record.minimum;
    request.maximum = record.maximum;
    request.sampleRateHz = settings.gerc;
    BandFilterResult result = engine.filter.run(request, progress);
    if (result.status == BandFilterStatus::kBusy) return Failed(ProblemKind::kBandFilterBusy);
    if (!result.ok()) return Failed(ProblemKind::kCannotFilter);
    if (progress.stopRequested()) return Failed(ProblemKind::kStopped);
    values = std::move(result.filtered);
  }
  std::vector<double> shown(values.size());
  for (std::size_t i = 0; i < values.size(); ++i)
    shown[i] = values[i] * (record.maximum - record.minimum) + record.minimum;
  own.filtered = std::move(values);
  own.filteredCurve = SeriesOf(shown, settings.gerc);
  own.filterTicked = true;
  return {};
}

// ----- conversions -----

TransformSession::Job TransformSession::prepareConversion(Side side) {
  if (!m_state->of(side).loaded) return refused({});
  return prepare([side](State& next, Engine& engine, ProgressSink& progress) {
    return runConversion(next, engine, side, progress);
  });
}

SessionResult TransformSession::Convert(Side side, ProgressSink& progress) {
  return runNow(prepareConversion(side), progress);
}
SessionResult TransformSession::BtnTtoBF(ProgressSink& progress) { return Convert(Side::Temperature, progress); }
SessionResult TransformSession::BtnBFtoT(ProgressSink& progress) { return Convert(Side::BloodFlow, progress); }

SessionResult TransformSession::runConversion(State& next, Engine& engine, Side side, ProgressSink& progress) {
  Settings& settings = next.settings;
  SideState& own = next.of(side);
  const bool fromTemperature = side == Side::Temperature;
  ConversionProvenance made = ProvenanceOf(settings, side, own.source);
  const auto clearConverted = [&] {
    own.correlation.reset();
    own.convertedCurve = ChartSeries{};
    own.overlayCurve = ChartSeries{};
  };
  if (settings.method == ConversionMethod::Wavelet && !fromTemperature) {
    // The wavelet method has no BF -> T* conversion: the T* chart is cleared and nothing is computed.
    clearConverted();
    return {};
  }

  // The finishing choices every method shares: "Scaled values:" a and b of the side, the scaling mode, and the
  // power of "Nonlinear Relationship" (1.5 for BF*, 2/3 for T*).
  ConversionFinish finish;
  finish.scaling = settings.scaling;
  if (settings.scaling == ScalingMode::Scaled) {
    const Settings::SideSettings& texts = settings.of(side);
    if (!ParseRealText(texts.scaleA, settings.separator, finish.a)) return NotANumber(texts.scaleA);
    if (!ParseRealText(texts.scaleB, settings.separator, finish.b)) return NotANumber(texts.scaleB);
  }
  const SignalRecord& record = own.record;
  if (record.empty()) return Failed(ProblemKind::kSideEmpty, side);
  const double powerExponent = fromTemperature ? 1.5 : 2.0 / 3.0;

  ConversionResult result;
  int rate = settings.gerc;
  switch (settings.method) {
    case ConversionMethod::Fourier: {
      FourierConversionOptions options;
      options.model = settings.model;
      options.tissue = settings.tissue.wave;
      options.nonlinear = settings.nonlinear;
      options.scaling = finish.scaling;
      options.a = finish.a;
      options.b = finish.b;
      engine.transform.setBand(RulesOf(side).bandSlot, settings.of(side).band);
      result = fromTemperature ? FurieT(engine.transform, record.normalized, record.minimum, record.maximum,
                                        settings.gerc, options, progress)
                               : FurieBF(engine.transform, record.normalized, settings.gerc, options, progress);
      break;
    }
    case ConversionMethod::Wavelet:
      result = WaveLetT(next, engine, progress);
      // The wavelet method works at 2 Hz and leaves the records' rate there.
      rate = kWaveletSampleRateHz;
      break;
    case ConversionMethod::Shitzer: {
      // Shitzer's T -> BF* has no power law; its BF -> T* does.
      if (fromTemperature) {
        const ConversionResult derivative = TemperatureDerivative(record.values);
        if (!derivative.ok()) return Failed(*derivative.error);
        result = ShitzerT(record.values, derivative.values, settings.tissue.shitzer, settings.gerc, progress);
      } else {
        double startTemperature = 0.0;
        if (!ParseRealText(settings.startTemperature, settings.separator, startTemperature))
          return NotANumber(settings.startTemperature);
        result = ShitzerBF(record.values, record.minimum, record.maximum, startTemperature, settings.tissue.shitzer,
                           settings.gerc, progress);
        if (settings.nonlinear) finish.powerExponent = powerExponent;
      }
      if (result.ok()) result = FinishConversion(std::move(result.values), finish);
      break;
    }
  }
  if (!result.ok()) return Failed(*result.error);
  if (result.values.size() != static_cast<std::size_t>(record.count())) return Failed(ProblemKind::kWrongLength);
  if (!AllFinite(result.values)) return Failed(ProblemKind::kResultNotANumber);

  if (rate != settings.gerc) {
    settings.gerc = rate;
    next.rateChanged = true;
  }
  clearConverted();
  own.converted = std::move(result.values);
  own.convertedAxis = finish.scaling == ScalingMode::Normalized ? AxisUnits::Normalized : AxisUnits::Physical;
  own.convertedCurve = SeriesOf(own.converted, settings.gerc);
  own.convertedReady = true;
  made.resultRateHz = settings.gerc;
  own.provenance = std::move(made);
  return {};
}

ConversionResult TransformSession::WaveLetT(const State& s, Engine& engine, ProgressSink& progress) {
  if (!engine.waveletConverter) return ConversionResult::Failure(ProblemKind::kWaveletUnavailable);
  const Settings& settings = s.settings;
  const SignalRecord& t = s.of(Side::Temperature).record;
  WaveletConversionInput input;
  input.normalizedT = t.normalized;
  input.tMinimum = t.minimum;
  input.tMaximum = t.maximum;
  input.band = settings.of(Side::Temperature).band;
  input.model = settings.model;
  input.tissue = settings.tissue.wave;
  input.nonlinear = settings.nonlinear;
  input.scaling = settings.scaling;
  input.type = settings.waveletType;
  input.delays = settings.delayRule;
  if (settings.scaling == ScalingMode::Scaled) {
    const Settings::SideSettings& texts = settings.of(Side::Temperature);
    ParseRealText(texts.scaleA, settings.separator, input.a);
    ParseRealText(texts.scaleB, settings.separator, input.b);
  }
  return engine.waveletConverter(input, progress);
}

// ----- output overlays and correlation -----

SessionResult TransformSession::Output(Side side) {
  State& s = *m_state;
  SideState& own = s.of(side);
  const SideState& other = s.of(OtherSide(side));
  if (!other.loaded || !own.convertedReady) return Failed(ProblemKind::kOutputNeeds, side);
  const Settings& settings = s.settings;
  const bool normalized = settings.scaling == ScalingMode::Normalized;
  const bool useFiltered =
      other.filterTicked && settings.method == ConversionMethod::Fourier && !other.filtered.empty();

  const std::vector<double> measured = MeasuredCurve(other.record, other.filtered, useFiltered, normalized);
  std::vector<double> converted = own.converted;
  if (normalized) NormalizeToUnitRange(converted);

  if (RulesOf(side).overlayOnCommonLength) {
    const int last = std::min(other.record.lastIndex, own.record.lastIndex);
    const std::size_t length = static_cast<std::size_t>(std::max(0, last + 1));
    own.overlayCurve = SeriesOf(measured, settings.gerc, length);
    own.convertedCurve = SeriesOf(converted, settings.gerc, length);
  } else {
    own.overlayCurve = SeriesOf(measured, settings.gerc, static_cast<std::size_t>(other.record.count()));
    own.convertedCurve = SeriesOf(converted, settings.gerc);
  }
  own.convertedAxis = AxisUnits::Measured;
  const SessionResult correlation = Correlate(side);
  SessionResult result;
  if (correlation.error) result.notices.push_back(*correlation.error);
  return result;
}
SessionResult TransformSession::OutputBF() { return Output(Side::Temperature); }
SessionResult TransformSession::OutputT() { return Output(Side::BloodFlow); }

SessionResult TransformSession::Correlate(Side side) {
  State& s = *m_state;
  SideState& own = s.of(side);
  const SideState& other = s.of(OtherSide(side));
  if (!other.loaded || !own.convertedReady) return Failed(ProblemKind::kCorrelationNeeds);
  const bool useFiltered =
      other.filterTicked && s.settings.method == ConversionMethod::Fourier && !other.filtered.empty();
  own.correlation = PearsonCorrelation(useFiltered ? other.filtered : other.record.values, own.converted);
  if (!own.correlation) return Failed(ProblemKind::kCorrelationUndefined);
  return {};
}
SessionResult TransformSession::Correl1() { return Correlate(Side::Temperature); }
SessionResult TransformSession::Correl2() { return Correlate(Side::BloodFlow); }

// ----- state -----

const SignalRecord& TransformSession::record(Side side) const { return m_state->of(side).record; }
const std::vector<double>& TransformSession::converted(Side side) const { return m_state->of(side).converted; }
const std::vector<double>& TransformSession::filtered(Side side) const { return m_state->of(side).filtered; }
bool TransformSession::loaded(Side side) const { return m_state->of(side).loaded; }
bool TransformSession::convertedReady(Side side) const { return m_state->of(side).convertedReady; }
const std::optional<ConversionProvenance>& TransformSession::provenance(Side side) const {
  return m_state->of(side).provenance;
}
ConversionProvenance TransformSession::provenanceNow(Side side) const {
  return ProvenanceOf(m_state->settings, side, m_state->of(side).source);
}
bool TransformSession::convertedOutdated(Side side) const {
  const SideState& own = m_state->of(side);
  return own.convertedReady && own.provenance && ConversionOutdated(*own.provenance, provenanceNow(side));
}
std::optional<double> TransformSession::correlation(Side side) const { return m_state->of(side).correlation; }
int TransformSession::activeRecord() const { return m_state->activeRecord; }
int TransformSession::currentLength() const { return m_state->currentLength; }

TransformViewState TransformSession::viewState() const {
  const State& s = *m_state;
  TransformViewState v;
  for (Side side : {Side::Temperature, Side::BloodFlow}) {
    const SideState& own = s.of(side);
    SideView& view = side == Side::Temperature ? v.temperature : v.bloodFlow;
    view.loaded = own.loaded;
    view.source = own.source;
    view.sampleCount = own.record.count();
    view.filterTicked = own.filterTicked;
    view.measured = own.measuredCurve;
    view.filtered = own.filteredCurve;
    ConvertedView& converted = view.converted;
    converted.ready = own.convertedReady;
    converted.outputEnabled = own.convertedReady && s.of(OtherSide(side)).loaded;
    converted.curve = own.convertedCurve;
    converted.overlay = own.overlayCurve;
    converted.axis = own.convertedAxis;
    converted.correlation = own.correlation;
    converted.outdated = own.convertedReady && own.provenance &&
                         ConversionOutdated(*own.provenance, ProvenanceOf(s.settings, side, own.source));
  }
  v.startTemperatureShown = s.settings.method == ConversionMethod::Shitzer;
  v.sampleRateHz = s.settings.gerc;
  return v;
}

}  // namespace kelvora
