#pragma once
// The wavelet methods of the "Transform" page, on the wavelet engine that the wavelet page shares:
// `WaveLetT` for T -> BF* and `WMorlPaul` for the automatic wavelet filtering of a loaded T or BF record.
//
// The desktop program keeps one WaveletMethods for its lifetime, installs it into its TransformSession and
// drives the wavelet page through page(); the command-line tool does the same per command.
// Threads: the methods run on the thread that runs the session's operation; the settings are read when a run
// starts and are set by the user-interface thread between runs. Stop a run with stop() from any thread.
#include <atomic>
#include <memory>
#include <mutex>
#include <vector>

#include "core/conversion_result.h"
#include "core/progress.h"
#include "signals/transform_session.h"
#include "wavelet/wavelet_filtering.h"

namespace kelvora {

class WaveletMethods {
 public:
  // The engine is made on first use (its rows are allocated as runs compute them).
  WaveletMethods();
  ~WaveletMethods();
  WaveletMethods(const WaveletMethods&) = delete;
  WaveletMethods& operator=(const WaveletMethods&) = delete;

  // The Transform page's wavelet type (`RadioGroup4`), used by `WaveLetT`.
  void setConversionType(WaveletType type) { m_conversionType = type; }
  WaveletType conversionType() const { return m_conversionType; }
  // The wavelet page's type (`RadioGroup3`), used by `WMorlPaul` and the page's own runs.
  void setFilterType(WaveletType type) { m_filterType = type; }
  WaveletType filterType() const { return m_filterType; }
  // The delay rule of `WaveLetT` (option.ini `Options`/`WaveletDelays`): corrected by default.
  void setDelayRule(WaveletDelayRule rule) { m_delayRule = rule; }
  WaveletDelayRule delayRule() const { return m_delayRule; }
  // `potoks`: worker threads of every wavelet run, clamped to 1 .. 32. Default: the number of cores.
  void setThreads(int threads);
  int threads() const { return m_threads; }

  WaveletEngine& engine();
  WaveletFiltering& page();
  // Asks a running wavelet run to stop. Any thread; a run that has not started yet is not affected.
  void stop();

  // `WaveLetT` in the session's shape: BF*, one value per T sample, finished as the library's WaveLetT finishes
  // it. Refuses a T longer than 3601 samples (kWaveletTooLong names the limit); a stop gives
  // kStopped.
  ConversionResult convert(const WaveletConversionInput& input, ProgressSink& progress);

  // `WMorlPaul`: copies the normalised samples of the record of `side` and its band into the wavelet page and
  // runs the filtration with the page's wavelet type; gives the filtered record on the normalised scale.
  ConversionResult filter(Side side, const std::vector<double>& normalized, double lowHz, double highHz,
                          ProgressSink& progress);

 private:
  std::atomic<WaveletType> m_conversionType{WaveletType::Morlet};
  std::atomic<WaveletType> m_filterType{WaveletType::Morlet};
  std::atomic<WaveletDelayRule> m_delayRule{WaveletDelayRule::Corrected};
  std::atomic<int> m_threads{1};
  std::mutex m_allocation;
  std::unique_ptr<WaveletEngine> m_engine;
  std::unique_ptr<WaveletFiltering> m_page;
};

// Installs `methods` as the session's wavelet converter and wavelet band filter. The session keeps `methods`
// alive.
void InstallWaveletMethods(TransformSession& session, std::shared_ptr<WaveletMethods> methods);

}  // namespace kelvora
