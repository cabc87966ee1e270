#pragma once
// The wavelet engine: continuous wavelet transform and band reconstruction, each scale row by one FFT linear
// convolution in double (the numbers of the direct sums to about 1e-15 of the largest output), and the state that
// persists between runs (coefficient matrix, reconstruction cache, per-row flags, computed ranges). The engine
// takes signals of any length; its rows are allocated as runs compute them.
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
#include "core/thermal_wave.h"
#include "wavelet/coefficient_storage.h"
#include "wavelet/scale_table.h"
#include "wavelet/wavelet_types.h"

namespace kelvora {

// Parameters of the conversion reconstruction: a run with these uses `TWavMorle3` instead of `TWavMorle2`. The
// model moves each scale through the tissue as the Fourier method moves a component (the legacy delay rule
// uses a depth of 0.002 m always).
struct ThermalReconstruction {
  ConversionModel model = ConversionModel::ThermalWave;
  ThermalWaveTissue tissue;
  int sampleRateHz = kWaveletSampleRateHz;  // `gerc` of the run: the delays' seconds to samples (corrected rule)
  WaveletDelayRule delays = WaveletDelayRule::Corrected;
};

// One run's request.
struct WaveletRunRequest {
  FrequencyBand band;                         // Hz; mapped to scale indices by BandToScaleRange
  WaveletType type = WaveletType::Morlet;
  int threads = 1;                            // worker threads, clamped to 1 .. 32
  std::optional<ThermalReconstruction> thermal;  // set for the temperature-to-blood-flow conversion
  // Only the forward pass: the coefficients of the band's rows end up in coefficients(), progress runs 0 .. N,
  // the output is empty. The rows are not marked computed (their contributions are not), so a later full run
  // computes them again. Not with `thermal`.
  bool forwardOnly = false;
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
  // Allocates nothing yet: rows are allocated as runs compute them.
  WaveletEngine();
  WaveletEngine(const WaveletEngine&) = delete;
  WaveletEngine& operator=(const WaveletEngine&) = delete;

  // Loads a normalised signal (values in 0 .. 1) as the transform input: clears every per-row flag (both saved
  // copies and the signs), zeroes the cache rows 1 .. 300, records the previous range of `band`
  // (PreviousRangeFromBand) and frees the rows of the previous signal. Any length is taken (the wavelet page and
  // the conversion hold their records to kWaveletMaxSamples themselves). Refuses an empty signal or one holding
  // a NaN or an infinity; a refusal changes nothing. Cost: O(N).
  std::optional<WaveletError> loadSignal(std::span<const double> normalized, FrequencyBand band);

  // Runs the forward transform (`TWavMorle1`) and the reconstruction (`TWavMorle2`, or `TWavMorle3` when
  // request.thermal is set) of the loaded signal over the band's scale rows, on request.threads worker threads,
  // reusing rows already present for the same wavelet type. Progress runs 0 .. 2N through `progress`; the run
  // ends within 0.1 s when requestStop() is called or progress.stopRequested() turns true (both are checked
  // between rows, and a row takes a few ms even at 72,000 samples). Blocks the caller. The rows of a pass are
  // spread over the workers, each row by one FFT convolution: two or three complex FFTs of length about N + the
  // kernel's reach (at most 2N) per row and pass. Memory: 16 bytes per coefficient and 8 per cached
  // contribution of the rows computed, plus a few arrays of that FFT length per worker.
  // 3601 samples x rows 6 .. 55, both passes, take about 10 ms on 2 workers.
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
  // Bytes held by the coefficient rows and the cache rows.
  std::size_t storageBytes() const { return m_matrix.bytes() + m_cache.bytes(); }

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

}  // namespace kelvora
