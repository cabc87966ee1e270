#include "wavelet/wavelet_engine.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <string>
#include <utility>

#include "core/parallel_tasks.h"
#include "wavelet/row_convolution.h"
#include "wavelet/twav_morle1.h"
#include "wavelet/twav_morle2.h"
#include "wavelet/twav_morle3.h"
#include "wavelet/wavelet_conversion.h"

namespace kelvora {

namespace {

// Runs rowTask(k, scratch) for every row of `rows` on `threads` workers named `threadName`, one scratch space
// per worker. Progress: positionOffset + n * (rows done) / (rows), with its percentage of `maximum` as text when
// that changes. False when stopped.
template <typename RowTask>
bool RunRows(const std::vector<int>& rows, int threads, const char* threadName, std::atomic<bool>& stop,
             ProgressSink& progress, long long positionOffset, long long n, long long maximum, RowTask rowTask) {
  const int workers = std::clamp(threads, kWaveletMinThreads, kWaveletMaxThreads);
  std::vector<RowConvolution> scratch(std::min<std::size_t>(static_cast<std::size_t>(workers), rows.size()));
  long long shownPercent = -1;
  ParallelTaskControl control;
  control.threads = workers;
  control.threadName = threadName;
  control.stop = &stop;
  control.progress = &progress;
  control.onProgress = [&](long long done) {
    const long long position = positionOffset + n * done / static_cast<long long>(rows.size());
    progress.setPosition(position);
    const long long percent = maximum > 0 ? position * 100 / maximum : 100;
    if (percent != shownPercent) {
      shownPercent = percent;
      progress.setText(std::to_string(percent) + "%");
    }
  };
  return RunParallelTasks(static_cast<long long>(rows.size()), control, [&](long long i, int worker) {
    rowTask(rows[static_cast<std::size_t>(i)], scratch[static_cast<std::size_t>(worker)]);
  });
}

}  // namespace

WaveletEngine::WaveletEngine() = default;

std::optional<WaveletError> WaveletEngine::loadSignal(std::span<const double> normalized, FrequencyBand band) {
  const std::lock_guard<std::mutex> lock(m_runMutex);
  if (normalized.empty()) return WaveletError{"The signal is empty"};
  for (double v : normalized) {
    if (!std::isfinite(v)) return WaveletError{"The signal holds a value that is not a finite number"};
  }
  m_input.assign(normalized.begin(), normalized.end());
  m_sampleCount = static_cast<int>(normalized.size());
  std::memset(m_rowComputed, 0, sizeof m_rowComputed);
  std::memset(m_savedRowComputed, 0, sizeof m_savedRowComputed);
  std::fill(std::begin(m_rowSign), std::end(m_rowSign), 0);
  m_matrix.clear();
  m_cache.clear();
  m_previousRange = PreviousRangeFromBand(band);
  m_computedRange = ScaleRange{};
  return std::nullopt;
}

WaveletRunResult WaveletEngine::run(const WaveletRunRequest& request, ProgressSink& progress) {
  // A second run waits here until the one being stopped has ended.
  const std::lock_guard<std::mutex> lock(m_runMutex);
  // A new run clears the stop request.
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
  if (request.thermal && (!(request.thermal->tissue.lambda > 0.0) || !std::isfinite(request.thermal->tissue.lambda) ||
                          !(request.thermal->tissue.rhoC() > 0) || !std::isfinite(request.thermal->tissue.depthM) ||
                          request.thermal->sampleRateHz < 1)) {
    result.error = WaveletError{"The tissue parameters must be positive"};
    return result;
  }
  if (request.thermal && request.forwardOnly) {
    result.error = WaveletError{"A forward-only run has no conversion"};
    return result;
  }

  const int n = m_sampleCount;
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

  // The rows whose coefficients must be computed. Their old coefficients (of either type) are overwritten,
  // so the other type's saved flag goes at once; a stopped run then leaves no half-written row marked.
  for (int k = range.first; k <= range.last; ++k) {
    if (m_rowComputed[k] == 0) {
      forwardRows.push_back(k);
      m_rowSign[k] = 1;
      m_savedRowComputed[other][k] = 0;
    }
  }
  result.stats.forwardRows = static_cast<int>(forwardRows.size());

  const long long maximum = request.forwardOnly ? n : 2LL * n;
  progress.setRange(0, maximum);
  progress.setPosition(0);

  // The filter's forward and reconstruction kernels are the same, so a short signal's forward pass keeps each
  // row's kernel spectrum for the reconstruction (within 64 MB: at most 2N complex values a row).
  constexpr double kKeptSpectraBytes = 64e6;
  const double keptBytes = static_cast<double>(range.size()) * 2.0 * n * sizeof(WaveletComplex);
  const bool keepSpectra = !thermal && !request.forwardOnly && keptBytes <= kKeptSpectraBytes;
  std::vector<KernelSpectrum> keptSpectra(keepSpectra ? kWaveletRows + 1 : 0);
  auto keptSpectrum = [&](int k) { return keepSpectra ? &keptSpectra[static_cast<std::size_t>(k)] : nullptr; };

  // The forward pass, one row per task.
  if (forwardRows.empty()) {
    result.stats.forwardSkipped = true;
    progress.setPosition(n);
  } else {
    const std::span<const double> x(m_input.data(), static_cast<std::size_t>(n));
    const bool done = RunRows(forwardRows, request.threads, TWavMorle1::kThreadName, m_stopRequest, progress, 0, n,
                              maximum, [&](int k, RowConvolution& scratch) {
                                TWavMorle1::Execute(scratch, x, type, m_scales[k], m_matrix.resetRow(k, n),
                                                    keptSpectrum(k));
                              });
    if (!done) return abandon();
  }
  if (request.forwardOnly) {
    for (int k : forwardRows) m_rowComputed[k] = 0;
    progress.setPosition(0);
    result.status = WaveletRunStatus::Completed;
    return result;
  }

  // Follow the band. Rows that left the band lose their contribution; rows that entered it (even when
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

  // The reconstruction pass, one row per task; the output adds the rows' contributions in row order.
  std::vector<int> reconstructRows;
  for (int k = range.first; k <= range.last; ++k) {
    if (m_rowComputed[k] == 0) reconstructRows.push_back(k);
  }
  result.stats.reconstructedRows = static_cast<int>(reconstructRows.size());
  result.stats.reusedRows = range.size() - result.stats.reconstructedRows;

  std::vector<ThermalShift> shifts(kWaveletRows + 1);
  if (thermal) {
    for (int k : reconstructRows) shifts[static_cast<std::size_t>(k)] = ThermalShiftOfScale(k, *request.thermal);
  }
  const char* threadName = thermal ? TWavMorle3::kThreadName : TWavMorle2::kThreadName;
  if (!reconstructRows.empty()) {
    const bool done = RunRows(reconstructRows, request.threads, threadName, m_stopRequest, progress, n, n, maximum,
                              [&](int k, RowConvolution& scratch) {
                                const std::span<const WaveletComplex> w = std::as_const(m_matrix).row(k);
                                const std::span<double> cacheRow = m_cache.resetRow(k, n);
                                if (thermal) {
                                  const ThermalShift& shift = shifts[static_cast<std::size_t>(k)];
                                  TWavMorle3::Execute(scratch, w, type, m_scales[k], shift.delay, shift.gain,
                                                      request.thermal->delays, cacheRow);
                                } else {
                                  // A row's spectrum kept by the forward pass is ready; any other row's is not,
                                  // and is then filled and dropped with the run.
                                  TWavMorle2::Execute(scratch, w, type, m_scales[k], cacheRow, keptSpectrum(k));
                                }
                              });
    if (!done) return abandon();
  } else if (m_stopRequest.load() || progress.stopRequested()) {
    return abandon();
  }

  std::vector<long double> sum(static_cast<std::size_t>(n), 0.0L);
  for (int k = range.first; k <= range.last; ++k) {
    const std::span<const double> cacheRow = std::as_const(m_cache).row(k);
    if (cacheRow.size() != static_cast<std::size_t>(n)) continue;  // a row never reconstructed contributes zeros
    const long double sign = thermal ? 1.0L : static_cast<long double>(m_rowSign[k]);
    for (int b = 0; b < n; ++b) sum[static_cast<std::size_t>(b)] += sign * cacheRow[static_cast<std::size_t>(b)];
  }
  std::vector<double> output(sum.begin(), sum.end());
  progress.setPosition(2LL * n);

  // Bookkeeping: the run's range is now present for this type (the conversion's contributions are not reused).
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

}  // namespace kelvora
