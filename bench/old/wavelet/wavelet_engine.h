#pragma once
// The implementation this program had before its transforms moved to FFTW, kept unchanged (namespace aside)
// only so that the benchmarks can measure old and new code in the same run. Nothing in the program uses it.
// The wavelet engine: continuous wavelet transform by direct summation, band reconstruction, and the state
// that persists between runs (coefficient matrix, reconstruction cache, per-row flags, computed ranges).
//
// Threads: one engine is driven by one thread at a time (loadSignal, run and the queries); the desktop program
// calls run() on a worker thread. requestStop() may be called from any thread at any time. run() and
// loadSignal() called while a run is still ending (stopped, not yet returned) wait for it to return first.
#include <atomic>
#include <mutex>
#include <optional>
#include <span>
#include <vector>

#include "core/progress.h"
#include "bench/old/wavelet/coefficient_storage.h"
#include "wavelet/scale_table.h"
#include "wavelet/wavelet_types.h"

namespace kelvora::old {

// The model by which the conversion reconstruction (`TWavMorle3`) moves each scale through the tissue.
enum class WaveletConversionModel { ThermalWave = 0, Derivative = 1 };

// Parameters of the conversion reconstruction: a run with these uses `TWavMorle3` instead of `TWavMorle2`.
struct ThermalReconstruction {
  WaveletConversionModel model = WaveletConversionModel::ThermalWave;
  long double lambda = 0.33L;             // thermal conductivity, W/(m K); > 0
  long double rhoC = 1057.0L * 3780.0L;   // density x heat capacity (integer product), J/(m^3 K); > 0
  int sampleRateHz = kWaveletSampleRateHz;  // `gerc` of the run: converts the delays from seconds to samples
};

// One run's request.
struct WaveletRunRequest {
  FrequencyBand band;                         // Hz; mapped to scale indices by BandToScaleRange
  WaveletType type = WaveletType::Morlet;
  int threads = 1;                            // worker threads, clamped to 1 .. 32
  std::optional<ThermalReconstruction> thermal;  // set for the temperature-to-blood-flow conversion
};

enum class WaveletRunStatus {
  Completed,  // output holds the reconstruction
  Stopped,    // the stop request ended the run; no output, flags and ranges as before the run
  Refused,    // bad request or no signal; error says why; nothing changed
};

// What a run did, for the status line and for tests.
struct WaveletRunStats {
  ScaleRange range;             // the run's scale indices
  int forwardRows = 0;          // rows whose coefficients were computed (forward pass)
  int reconstructedRows = 0;    // rows whose contribution was computed from the coefficients
  int reusedRows = 0;           // rows whose cached contribution was reused
  bool forwardSkipped = false;  // every row of the range was already present
};

struct WaveletRunResult {
  WaveletRunStatus status = WaveletRunStatus::Refused;
  std::vector<double> output;   // one value per time point when Completed, else empty
  WaveletRunStats stats;
  std::optional<WaveletError> error;
  bool completed() const { return status == WaveletRunStatus::Completed; }
};

class WaveletEngine {
 public:
  // Allocates the matrix and the cache (about 72 MB) once.
  WaveletEngine();
  WaveletEngine(const WaveletEngine&) = delete;
  WaveletEngine& operator=(const WaveletEngine&) = delete;

  // Loads a normalised signal (values in 0 .. 1) as the transform input: clears every per-row flag (both saved
  // copies and the signs), zeroes the cache rows 1 .. 300, records the previous range of `band`
  // (PreviousRangeFromBand). Refuses an empty signal, one longer than 3601 samples, or one holding a NaN or an
  // infinity; a refusal changes nothing. Cost: O(rows x N) memory writes.
  std::optional<WaveletError> loadSignal(std::span<const double> normalized, FrequencyBand band);

  // Runs the forward transform (`TWavMorle1`) and the reconstruction (`TWavMorle2`, or `TWavMorle3` when
  // request.thermal is set) of the loaded signal over the band's scale rows, on request.threads worker threads,
  // reusing rows already present for the same wavelet type. Progress runs 0 .. 2N through `progress`; the run
  // ends within 0.1 s when requestStop() is called or progress.stopRequested() turns true. Blocks the caller.
  // Cost per pass: about N x rows x (kernel support) extended-precision multiply-adds.
  WaveletRunResult run(const WaveletRunRequest& request, ProgressSink& progress = NullProgress());

  // Asks a running run() to stop. Any thread. A request made while no run is in progress is dropped at the
  // start of the next run.
  void requestStop() { m_stopRequest.store(true); }
  bool stopRequested() const { return m_stopRequest.load(); }

  // Queries (same thread as run()).
  bool signalLoaded() const { return m_sampleCount > 0; }
  int sampleCount() const { return m_sampleCount; }
  std::span<const double> input() const { return {m_input.data(), static_cast<size_t>(m_sampleCount)}; }
  // Working flag of row k (1 .. 500): the row's contribution is present in the cache for the current type.
  bool rowComputed(int k) const { return m_rowComputed[k] != 0; }
  // +1 adds the row's cached contribution, -1 subtracts it.
  int rowSign(int k) const { return m_rowSign[k]; }
  // The saved per-type copy of the flags: row k holds coefficients and contribution of that type.
  bool savedRowComputed(WaveletType type, int k) const { return m_savedRowComputed[index(type)][k] != 0; }
  // Range of the last completed run, and the "old" range the next run compares its band with.
  ScaleRange computedRange() const { return m_computedRange; }
  ScaleRange previousRange() const { return m_previousRange; }
  const ScaleTable& scales() const { return m_scales; }
  const CoefficientMatrix& coefficients() const { return m_matrix; }
  const ReconstructionCache& cache() const { return m_cache; }

 private:
  static int index(WaveletType type) { return type == WaveletType::Morlet ? 0 : 1; }

  ScaleTable m_scales;
  CoefficientMatrix m_matrix;
  ReconstructionCache m_cache;
  std::vector<double> m_input;
  int m_sampleCount = 0;
  unsigned char m_rowComputed[kWaveletRows + 1] = {};
  int m_rowSign[kWaveletRows + 1] = {};
  unsigned char m_savedRowComputed[2][kWaveletRows + 1] = {};
  ScaleRange m_computedRange;
  ScaleRange m_previousRange;
  std::atomic<bool> m_stopRequest{false};
  std::mutex m_runMutex;  // held by run() and loadSignal() for their whole length
};

}  // namespace kelvora::old
