#pragma once
// Page of the main window: the wavelet filtration workspace.
#include <memory>
#include <vector>

#include "pages/band_workspace.h"
#include "signals/wavelet_transform_methods.h"

class QGroupBox;
class QLabel;
class QRadioButton;

namespace kelvora {

class RunProgressView;

// One page of PageControl1 (object name "TabSheet4"): one signal (BitBtn11, Chart11/Series22), the band strip
// Image5 (Label27 low, Label26 high, Label28 while dragging), the presets, the wavelet type RadioGroup3, and the
// filtered signal (Chart12/Series23, saved by BtnSaveW).
//
// The wavelet engine (its rows allocated as runs compute them) is the window's WaveletMethods, shared with the
// Transform session (`WMorlPaul`, `WaveLetT`); a record the Transform page filtered in it (`WMorlPaul`) becomes
// the page's signal. Runs are the page's background runs (PageRun), never on the UI thread, with the run display
// of RunProgressView. STOP and closing the window ask the engine to stop; the page re-enables its controls only
// when the run has returned, and a run that is superseded (a new band, another wavelet type) is stopped and
// waited for before the next one starts, its result dropped. UI thread only.
class WaveletPage : public BandWorkspace {
  Q_OBJECT

 public:
  WaveletPage(AppContext* context, QWidget* parent = nullptr);
  ~WaveletPage() override;

  // Reads a signal file and runs the filtration (BitBtn11 after its dialog). A file the engine cannot hold (more
  // than 3601 points) or cannot read is refused with a message before anything changes; returns false then.
  bool loadSignal(const QString& path) override;
  bool loadRecord(SignalRecord record, bool truncated) override;
  // "Calculation": runs the filtration of the loaded signal with the page's band. A run of this page that is
  // still going is stopped and waited for first. False when nothing was started.
  bool calculate();
  // The band setter of the page (presets): stores and shows the band, places the markers, and runs when a
  // signal is loaded and "Automatic" is ticked.
  void setBand(double lowHz, double highHz);
  // Saves the filtered signal (BtnSaveW after its dialog); ".txt" is ensured.
  bool saveFiltered(const QString& path) override;

  double lowHz() const { return m_lowHz; }
  double highHz() const { return m_highHz; }
  bool signalLoaded() const { return m_loaded; }
  // True from the start of a run of this page until its result (or its end) has been handled.
  bool isRunning() const { return isBusy(); }
  const std::vector<double>& filteredSignal() const { return m_filtered; }
  // The page's signal, normalised as the engine is given it.
  const std::vector<double>& pageSignal() const { return m_pageSignal; }
  RunProgressView* runView() const { return m_view; }

 private:
  void buildControls();
  void layoutArea() override;
  void presetChosen(int index) override;
  void calculationPressed() override { calculate(); }
  bool hasFilteredSignal() const override { return !m_filtered.empty(); }
  int signalRateHz() const override;
  QString recentRole() const override { return QStringLiteral("Wavelet"); }
  std::vector<double> filteredForCsv() const override { return m_filtered; }
  std::optional<FilterProvenance> filterProvenance() const override { return m_filterMade; }
  // False (with the message shown) while another page's computation holds the engine.
  bool engineFree();
  // Hands the record to the engine and shows it; false (with the engine's message) when refused.
  bool showSignal(const SignalRecord& record);
  void placeMarkers();
  void showBandTexts();
  void onStripPressed(int x, Qt::MouseButton button);
  void onStripMoved(int x);
  void onStripReleased(int x);
  void onStopPressed();
  void finishRun(const WaveletRunResult& result, const FilterProvenance& made);
  void refreshFromEngine();
  WaveletRunSettings runSettings() const;

  // The wavelet methods of the window (engine and page filtering, shared with the Transform session), or the
  // page's own when the window has none.
  WaveletMethods* methods() const;
  std::shared_ptr<WaveletMethods> m_ownMethods;
  RunProgressView* m_view = nullptr;

  QGroupBox* m_radioGroup = nullptr;  // RadioGroup3
  QRadioButton* m_radioItems[2] = {};
  QLabel* m_label28 = nullptr;

  double m_lowHz = WaveletFiltering::kStartBand.low;
  double m_highHz = WaveletFiltering::kStartBand.high;
  int m_lowPos = 0;  // left edges of the markers; a marker points at its left edge + 8
  int m_highPos = 0;
  bool m_markersPlaced = false;
  bool m_dragging = false;
  bool m_lowGrabbed = false;
  bool m_highGrabbed = false;

  bool m_loaded = false;
  std::vector<double> m_filtered;
  std::optional<FilterProvenance> m_filterMade;  // the settings of the run that made m_filtered
  std::vector<double> m_pageSignal;  // the normalised signal of the page, as the engine was given it
};

}  // namespace kelvora
