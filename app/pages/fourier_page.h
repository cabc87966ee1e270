#pragma once
// Page of the main window: the Fourier filtration workspace.
#include <memory>
#include <vector>

#include "pages/band_workspace.h"
#include "core/band_filter.h"
#include "core/signal_record.h"

class QAction;
class QCheckBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QMenu;
class QRadioButton;

namespace kelvora {

class SpectrumChart;
class WidthAnimation;

// One page of PageControl1 (object name "TabSheet2"): one signal (BitBtn25, Chart5/Series7), its spectrum
// (Chart9/Series16 in amplitude mode, Chart10/Series17 after filtering), the band strip Image2 with two draggable
// edges, and the filtered signal (Chart6/Series8, saved by BtnSaveF). RadioGroupFF item 0 filters by frequency
// (slot 3), item 1 by amplitude (slot 8, band 0 .. 1 Hz, the strip edges are percentages of |C[1]|).
// The band filter runs as the page's background run (PageRun), one run at a time; a request while one runs is
// ignored. UI thread only.
class FourierPage : public BandWorkspace {
  Q_OBJECT

 public:
  FourierPage(AppContext* context, QWidget* parent = nullptr);
  ~FourierPage() override;

  enum class Mode { Frequency = 0, Amplitude = 1 };
  // Layout states of the signal charts' width: 5 with the spectrum charts shown, 6 without.
  enum LayoutState { SpectrumShown = 5, SpectrumHidden = 6 };

  // Reads a signal file into the page (the work of BitBtn25 after its dialog). A failed read shows the error and
  // keeps the page as it was; returns false then.
  bool loadSignal(const QString& path) override;
  bool loadRecord(SignalRecord record, bool truncated) override;
  // Writes the filtered signal in the signal's own units (BtnSaveF after its dialog); ".txt" is ensured.
  bool saveFiltered(const QString& path) override;
  // The band setter of the page (presets, popup menu): stores the band, shows it, places the markers, filters
  // when a signal is loaded.
  void setBand(double lowHz, double highHz);
  // Runs the band filter of the current mode when a signal is loaded and no run is going ("Calculation").
  void calculate();
  void setMode(Mode mode);

  Mode mode() const { return m_mode; }
  double lowHz() const { return m_lowHz; }
  double highHz() const { return m_highHz; }
  double lowPercent() const { return m_lowPercent; }
  double highPercent() const { return m_highPercent; }
  bool signalLoaded() const { return m_loaded; }
  LayoutState layoutState() const { return m_layoutState; }
  const SignalRecord& signal() const { return m_signal; }
  // The last filtered signal in the signal's units (empty before the first run).
  const std::vector<double>& filteredSignal() const { return m_filteredUnits; }

 private:
  struct Engine;

  void buildControls();
  void layoutArea() override;
  void presetChosen(int index) override;
  void calculationPressed() override { calculate(); }
  void showBusy(bool busy) override;
  bool hasFilteredSignal() const override { return !m_filteredUnits.empty(); }
  int signalRateHz() const override;
  QString recentRole() const override { return QStringLiteral("Fourier"); }
  std::vector<double> filteredForCsv() const override { return m_filteredUnits; }
  std::optional<FilterProvenance> filterProvenance() const override { return m_filterMade; }
  // A new signal in the chart, the filtered results and spectra emptied; then its spectrum when shown.
  void showSignal(SignalRecord record);
  void showSpectrumOfSignal();
  // The width of Chart5/Chart6 in the current layout state.
  int signalTargetWidth() const;
  void onStripPressed(int x, Qt::MouseButton button);
  void onStripMoved(int x);
  void onStripReleased(int x);
  void onStripResized(int width);
  void onShowSpectrum();
  void onLogOx(bool on);
  void applyLogOx(bool on);
  void showEdgeTexts();
  void computeAmplitudeSpectrum();
  void showFiltered(BandFilterResult result, const FilterProvenance& made);
  int stripWidth() const;

  std::shared_ptr<Engine> m_engine;

  QGroupBox* m_radioGroup = nullptr;  // RadioGroupFF
  QRadioButton* m_radioItems[2] = {};
  QMenu* m_popup = nullptr;           // PopupMenu1 of Image2
  QAction* m_presetItems[3] = {};
  QCheckBox* m_showSpectrum = nullptr;  // CheckSPKTR
  QCheckBox* m_logOx = nullptr;         // CheckBox6
  QLineEdit* m_edit19 = nullptr;
  QLabel* m_label21 = nullptr;
  SpectrumChart* m_chart9 = nullptr;
  SpectrumChart* m_chart10 = nullptr;
  QLabel* m_label18 = nullptr;
  QLabel* m_panel14 = nullptr;

  SignalRecord m_signal;
  bool m_loaded = false;
  Mode m_mode = Mode::Frequency;
  double m_lowHz = 0.0;
  double m_highHz = 0.02;
  double m_lowPercent = 0.0;
  double m_highPercent = 100.0;
  int m_lowX = 0;  // pixels the edges point at
  int m_highX = 0;
  int m_stripWidthSeen = 0;
  bool m_dragging = false;
  bool m_leftGrabbed = false;
  bool m_rightGrabbed = false;
  std::vector<double> m_filteredUnits;
  std::optional<FilterProvenance> m_filterMade;  // the settings of the run that made m_filteredUnits
  std::vector<double> m_filteredRaised;

  LayoutState m_layoutState = SpectrumHidden;
  int m_signalWidth = -1;  // current width of Chart5/Chart6 while animating; -1: follow the target
  WidthAnimation* m_animation = nullptr;
};

}  // namespace kelvora
