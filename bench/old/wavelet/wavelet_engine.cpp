#include "bench/old/wavelet/wavelet_engine.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <string>

#include "bench/old/wavelet/twav_morle1.h"
#include "bench/old/wavelet/twav_morle2.h"
#include "bench/old/wavelet/twav_morle3.h"
#include "bench/old/wavelet/wavelet_conversion.h"
#include "bench/old/wavelet/worker_pool.h"

namespace kelvora::old {

namespace {

constexpr long double kMorletDivisor = 12.835L;
constexpr long double kPaulDivisor = 1000.0L;

double ReconstructionExponent(WaveletType type) { return type == WaveletType::Morlet ? 1.1 : 1.4; }

// Tabulates the kernels of `rows` on the pool; false when stopped.
template <typename MakeTable>
bool TabulateRows(const std::vector<int>& rows, std::vector<KernelTable>& tables, int threads,
                  const char* threadName, std::atomic<bool>& stop, ProgressSink& progress,
                  MakeTable makeTable) {
  return RunTimePointTasks(
      static_cast<int>(rows.size()), threads, threadName,
      [&](int i) {
        const int k = rows[static_cast<size_t>(i)];
        tables[static_cast<size_t>(k)] = makeTable(k);
      },
      stop, progress, 0, 0, false);
}

}  // namespace

WaveletEngine::WaveletEngine() = default;

std::optional<WaveletError> WaveletEngine::loadSignal(std::span<const double> normalized, FrequencyBand band) {
  const std::lock_guard<std::mutex> lock(m_runMutex);
  if (normalized.empty()) return WaveletError{"The signal is empty"};
  if (normalized.size() > static_cast<size_t>(kWaveletMaxSamples)) {
    return WaveletError{"The signal has " + std::to_string(normalized.size()) +
                        " points; the wavelet transform holds at most " + std::to_string(kWaveletMaxSamples) +
                        " points"};
  }
  for (double v : normalized) {
    if (!std::isfinite(v)) return WaveletError{"The signal holds a value that is not a finite number"};
  }
  m_input.assign(normalized.begin(), normalized.end());
  m_sampleCount = static_cast<int>(normalized.size());
  std::memset(m_rowComputed, 0, sizeof m_rowComputed);
  std::memset(m_savedRowComputed, 0, sizeof m_savedRowComputed);
  std::fill(std::begin(m_rowSign), std::end(m_rowSign), 0);
  for (int k = 1; k <= kWaveletScaleCount; ++k) std::fill_n(m_cache.row(k), kWaveletMaxSamples, 0.0);
  m_previousRange = PreviousRangeFromBand(band);
  m_computedRange = ScaleRange{};
  return std::nullopt;
}

WaveletRunResult WaveletEngine::run(const WaveletRunRequest& request, ProgressSink& progress) {
  // A second run waits here until the one being stopped has ended.
  const std::lock_guard<std::mutex> lock(m_runMutex);
  // Step 1: a new run clears the stop request.
  m_stopRequest.store(false);
  WaveletRunResult result;
  if (!signalLoaded()) {
    result.error = WaveletError{"No signal loaded"};
    return result;
  }
  const FrequencyBand band = request.band;
  if (!std::isfinite(band.low) || !std::isfinite(band.high) || band.low < 0.0 || band.high < 0.0) {
    result.error = WaveletError{"The band frequencies must be finite and not negative"};
    return result;
  }
  if (request.thermal && (!(request.thermal->lambda > 0.0L) || !(request.thermal->rhoC > 0.0L) ||
                          !std::isfinite(static_cast<double>(request.thermal->lambda)) ||
                          !std::isfinite(static_cast<double>(request.thermal->rhoC)) ||
                          request.thermal->sampleRateHz < 1)) {
    result.error = WaveletError{"The tissue parameters must be positive"};
    return result;
  }

  const int n = m_sampleCount;
  const int threads = std::clamp(request.threads, kWaveletMinThreads, kWaveletMaxThreads);
  const WaveletType type = request.type;
  const int current = index(type);
  const int other = 1 - current;
  const bool thermal = request.thermal.has_value();
  const ScaleRange range = BandToScaleRange(band);
  result.stats.range = range;

  // What a stop must leave as it was.
  int savedSigns[kWaveletRows + 1];
  unsigned char savedWorking[kWaveletRows + 1];
  std::memcpy(savedSigns, m_rowSign, sizeof savedSigns);
  std::memcpy(savedWorking, m_rowComputed, sizeof savedWorking);
  std::vector<int> forwardRows;
  auto abandon = [&] {
    // Signs and flags as before the run, except rows whose coefficients this run began to overwrite.
    std::memcpy(m_rowSign, savedSigns, sizeof savedSigns);
    std::memcpy(m_rowComputed, savedWorking, sizeof m_rowComputed);
    for (int k : forwardRows) m_rowComputed[k] = 0;
    progress.setPosition(0);
    result.status = WaveletRunStatus::Stopped;
    result.output.clear();
    return result;
  };

  // The conversion moves every scale through the tissue, so its contributions are never reused.
  if (thermal) {
    for (int k = range.first; k <= range.last; ++k) m_savedRowComputed[current][k] = 0;
  }
  std::memcpy(m_rowComputed, m_savedRowComputed[current], sizeof m_rowComputed);

  // Step 3: rows whose coefficients must be computed. Their old coefficients (of either type) are overwritten,
  // so the other type's saved flag goes at once; a stopped run then leaves no half-written row marked.
  for (int k = range.first; k <= range.last; ++k) {
    if (m_rowComputed[k] == 0) {
      forwardRows.push_back(k);
      m_rowSign[k] = 1;
      m_savedRowComputed[other][k] = 0;
    }
  }
  result.stats.forwardRows = static_cast<int>(forwardRows.size());

  const long long maximum = 2LL * n;
  progress.setRange(0, maximum);
  progress.setPosition(0);

  std::vector<long double> rowFactor(kWaveletRows + 1, 1.0L);
  std::vector<KernelTable> tables(kWaveletRows + 1);
  WaveletPassData data;
  data.input = m_input.data();
  data.matrix = &m_matrix;
  data.cache = &m_cache;
  data.rowComputed = m_rowComputed;
  data.rowSign = m_rowSign;
  data.tables = &tables;
  data.rowFactor = &rowFactor;

  WaveletWorkerFields fields;
  fields.firstIndex = range.first;
  fields.lastIndex = range.last;
  fields.n = n;
  fields.morlet = type == WaveletType::Morlet;
  fields.exponent = ReconstructionExponent(type);

  // Steps 4 to 6: the forward pass.
  if (forwardRows.empty()) {
    result.stats.forwardSkipped = true;
    progress.setPosition(n);
  } else {
    const bool tabulated = TabulateRows(forwardRows, tables, threads, TWavMorle1::kThreadName, m_stopRequest,
                                        progress, [&](int k) {
                                          const long double a = m_scales[k];
                                          return KernelTable::tabulate(n, [&](int d) {
                                            return ForwardKernel(type, a, 0.0L, static_cast<long double>(d));
                                          });
                                        });
    if (!tabulated) return abandon();
    for (int k : forwardRows) {
      rowFactor[static_cast<size_t>(k)] = type == WaveletType::Morlet ? 1.0L / m_scales[k] : 1.0L;
    }
    const bool done = RunTimePointTasks(
        n, threads, TWavMorle1::kThreadName,
        [&](int b) {
          WaveletWorkerFields own = fields;
          own.b = b;
          TWavMorle1(own, data).Execute();
        },
        m_stopRequest, progress, 0, maximum);
    if (!done) return abandon();
  }

  // Step 7: follow the band. Rows that left the band lose their contribution; rows that entered it (even when
  // their coefficients are present) have their contribution computed afresh.
  const ScaleRange old = m_previousRange;
  for (int k = 1; k <= kWaveletScaleCount; ++k) {
    if (old.contains(k) && !range.contains(k) && m_rowComputed[k] != 0) {
      m_rowSign[k] = -1;
      m_rowComputed[k] = 0;
    }
    if (range.contains(k) && !old.contains(k)) {
      m_rowComputed[k] = 0;
      m_rowSign[k] = 1;
    }
  }

  // Step 8: the reconstruction pass.
  std::vector<int> reconstructRows;
  for (int k = range.first; k <= range.last; ++k) {
    if (m_rowComputed[k] == 0) reconstructRows.push_back(k);
  }
  result.stats.reconstructedRows = static_cast<int>(reconstructRows.size());
  result.stats.reusedRows = range.size() - result.stats.reconstructedRows;
  for (KernelTable& table : tables) table = KernelTable{};

  const char* threadName = thermal ? TWavMorle3::kThreadName : TWavMorle2::kThreadName;
  const long double divisor = type == WaveletType::Morlet ? kMorletDivisor : kPaulDivisor;
  const long double exponent = static_cast<long double>(fields.exponent);
  std::vector<ThermalShift> shifts(kWaveletRows + 1);
  for (int k : reconstructRows) {
    // a^m by the sign-preserving power (a > 0); the conversion also multiplies by the row's gain.
    const long double scalePower = std::exp(exponent * std::log(m_scales[k]));
    if (thermal) shifts[static_cast<size_t>(k)] = ThermalShiftOfScale(k, *request.thermal);
    rowFactor[static_cast<size_t>(k)] = shifts[static_cast<size_t>(k)].gain / scalePower / divisor;
  }
  const bool tabulated = TabulateRows(reconstructRows, tables, threads, threadName, m_stopRequest, progress,
                                      [&](int k) {
                                        const long double a = m_scales[k];
                                        const long double delay = shifts[static_cast<size_t>(k)].delay;
                                        return KernelTable::tabulate(n, [&](int d) {
                                          const long double s = static_cast<long double>(d);
                                          return thermal ? ThermalKernel(type, a, delay, 0.0L, s)
                                                         : ReconstructionKernel(type, a, 0.0L, s);
                                        });
                                      });
  if (!tabulated) return abandon();
  std::vector<std::vector<double>> coefficientRe(kWaveletRows + 1);
  std::vector<std::vector<double>> coefficientIm(kWaveletRows + 1);
  for (int k : reconstructRows) {
    const Complex* row = m_matrix.row(k);
    std::vector<double>& re = coefficientRe[static_cast<size_t>(k)];
    std::vector<double>& im = coefficientIm[static_cast<size_t>(k)];
    re.resize(static_cast<size_t>(n));
    im.resize(static_cast<size_t>(n));
    for (int s = 0; s < n; ++s) {
      re[static_cast<size_t>(s)] = static_cast<double>(row[s].re);
      im[static_cast<size_t>(s)] = static_cast<double>(row[s].im);
    }
  }
  data.coefficientRe = &coefficientRe;
  data.coefficientIm = &coefficientIm;

  std::vector<double> output(static_cast<size_t>(n), 0.0);
  data.output = output.data();
  const bool done = RunTimePointTasks(
      n, threads, threadName,
      [&](int b) {
        WaveletWorkerFields own = fields;
        own.b = b;
        if (thermal) {
          TWavMorle3(own, data).Execute();
        } else {
          TWavMorle2(own, data).Execute();
        }
      },
      m_stopRequest, progress, n, maximum);
  if (!done) return abandon();

  // Step 9: the run's range is now present for this type (the conversion's contributions are not reused).
  m_previousRange = range;
  m_computedRange = range;
  for (int k = range.first; k <= range.last; ++k) {
    m_savedRowComputed[current][k] = thermal ? 0 : 1;
    m_savedRowComputed[other][k] = 0;
    m_rowComputed[k] = thermal ? 0 : 1;
  }
  progress.setPosition(0);
  result.status = WaveletRunStatus::Completed;
  result.output = std::move(output);
  return result;
}

}  // namespace kelvora::old
