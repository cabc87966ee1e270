#pragma once
// Wavelet band filtering of the wavelet page: the page's signal, band and last filtered output, and the
// operations behind "Signal", `WMorlPaul`, "Calculation", the wavelet type choice and "Save Filtered Signal".
//
// Threads: the operations that run the engine block their caller for the run; the desktop program calls them
// on a worker thread and stops them with engine().requestStop().
#include <span>
#include <string>
#include <vector>

#include "core/progress.h"
#include "wavelet/filtered_output_file.h"
#include "wavelet/wavelet_engine.h"

namespace kelvora {

// How a page run is carried out: the wavelet type ("Type of wavelet") and the worker count (`potoks`).
struct WaveletRunSettings {
  WaveletType type = WaveletType::Morlet;
  int threads = 1;
};

// The record a signal came from, for the chart that shows the result (`Series22` source file, `Series19` for
// the temperature record, `Series21` for the blood-flow record).
enum class WaveletSource { File = 0, Temperature = 1, BloodFlow = 2 };

class WaveletFiltering {
 public:
  // The page's start band: 0.0001218 .. 0.02 Hz.
  static constexpr FrequencyBand kStartBand{0.0001218, 0.02};

  explicit WaveletFiltering(WaveletEngine& engine) : m_engine(engine) {}

  // Loads a signal given as its normalised copy (x - min) / (max - min) into the wavelet input ("Signal" after
  // a successful read, or the first half of `WMorlPaul`): the engine input, all per-row flags cleared, the
  // previous range from the current band, the output cleared to N zeros. Does not run. Refuses an empty signal
  // or one longer than 3601 samples (the message names the limit); a refusal changes nothing.
  std::optional<WaveletError> loadSignal(std::span<const double> normalized, WaveletSource source);

  // `WMorlPaul`: copies the temperature (`source` Temperature) or blood-flow record's normalised samples and its
  // band into the page, then runs the filtration. A refusal leaves the page as it was; after a stop the page
  // holds the new signal with a zero output, as after loadSignal().
  WaveletRunResult WMorlPaul(std::span<const double> normalized, FrequencyBand recordBand, WaveletSource source,
                             const WaveletRunSettings& settings, ProgressSink& progress = NullProgress());

  // "Calculation": runs the filtration of the loaded signal with the current band. Without a signal it is
  // refused ("No signal loaded") and nothing changes. A completed run replaces output(). When the shared engine
  // holds another input (the wavelet conversion loads its own), the page's signal is loaded into it again first.
  WaveletRunResult calculate(const WaveletRunSettings& settings, ProgressSink& progress = NullProgress());

  // The wavelet type was changed: runs again with the new type when a signal is loaded and `automatic`
  // ("Automatic") is ticked; otherwise returns a Refused result with no error and changes nothing.
  WaveletRunResult waveletTypeChanged(const WaveletRunSettings& settings, bool automatic,
                                      ProgressSink& progress = NullProgress());

  // The band of the page in Hz; a low edge of 0 becomes 0.0001 Hz (ApplyWaveletLowEdgeRule).
  void setBand(FrequencyBand band) { m_band = ApplyWaveletLowEdgeRule(band); }
  FrequencyBand band() const { return m_band; }

  bool signalLoaded() const { return m_signalLoaded; }
  WaveletSource source() const { return m_source; }
  // The page's signal as it was loaded (normalised), and the last completed filtration of it (one value per time
  // point, zeros after a load): the two always belong together, whatever else the engine ran meanwhile.
  const std::vector<double>& signal() const { return m_signal; }
  const std::vector<double>& output() const { return m_output; }
  WaveletEngine& engine() { return m_engine; }

 private:
  WaveletEngine& m_engine;
  FrequencyBand m_band = kStartBand;
  bool m_signalLoaded = false;
  WaveletSource m_source = WaveletSource::File;
  std::vector<double> m_signal;
  std::vector<double> m_output;
};

}  // namespace kelvora
