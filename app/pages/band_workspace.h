#pragma once
// What the two band workspaces of the window, the Fourier filtration page and the wavelet filtration page,
// share: the tool row (Signal open and save, the page's mode group, "Automatic", "Calculation", the three band
// presets), the chart area with the signal chart, the band strip with its edge labels and the filtered-signal
// chart, the dialogs of the Signal buttons, the page's background runs and the controls they disable.
#include <QWidget>
#include <string>
#include <utility>
#include <vector>

#include "core/frequency_band.h"
#include "core/signal_record.h"
#include "signals/filter_provenance.h"

class QAction;
class QCheckBox;
class QHBoxLayout;
class QLabel;
class QPushButton;
class QToolButton;

namespace kelvora {

class AppContext;
class PageRun;
class PlotView;
class WorkspaceStrip;

// The base of a band workspace page. A page builds its own mode group and extra controls, then calls build();
// it implements the file operations, the calculation and the presets. UI thread only.
class BandWorkspace : public QWidget {
  Q_OBJECT

 public:
  // The object names of the shared controls (the tests and the language tables find them by these).
  struct Names {
    const char* page;            // TabSheet2 / TabSheet4
    const char* signalButton;    // BitBtn25 / BitBtn11
    const char* saveButton;      // BtnSaveF / BtnSaveW
    const char* automatic;       // AutoSchet / AutoSchetW
    const char* calculation;     // SpeedButton12 / SpeedButton15
    const char* presets[3];      // Endothelial, Neurogenic, Myogenic: SpeedButton1, 10, 11 / SpeedButton16, 17, 18
    const char* area;            // FourierChartArea / WaveletChartArea
    const char* signalChart;     // Chart5 / Chart11
    const char* signalSeries;    // Series7 / Series22
    const char* filteredChart;   // Chart6 / Chart12
    const char* filteredSeries;  // Series8 / Series23
    const char* strip;           // Image2 / Image5
    const char* lowLabel;        // Label19 / Label27
    const char* highLabel;       // Label20 / Label26
    const char* disableAction;   // FEnF / EnF: the page's controls off around a run
    const char* enableAction;    // FEnT / EnT: and on again
  };

  // The three presets in button order (Endothelial, Neurogenic, Myogenic), with their hints.
  struct Preset {
    const char* text;
    FrequencyBand band;
    const char* hint;
  };
  static const Preset kPresets[3];

  BandWorkspace(AppContext* context, const Names& names, QWidget* parent);
  ~BandWorkspace() override;

  // Reads a signal file into the page (the work of the Signal button after its dialog); false when refused.
  virtual bool loadSignal(const QString& path) = 0;
  // A record made elsewhere (the Import dialog) becomes the page's signal as a read of a file would make it;
  // `truncated` reports the record limit as a "Big file" read does. False when refused.
  virtual bool loadRecord(SignalRecord record, bool truncated) = 0;
  // Opens `path` as the Signal button and drops do: a one-column text file through loadSignal, any other file
  // through the Import dialog at the page's rate. Nothing changes when the dialog is cancelled or fails.
  bool openFile(const QString& path);
  // Writes the filtered signal (the save button after its dialog); ".txt" is ensured. False when not written.
  virtual bool saveFiltered(const QString& path) = 0;
  // Writes the filtered signal as CSV (".csv" ensured): comment lines with the method and band, then t_s and the
  // values at the page's rate, through the atomic writer. A ".mat" path gets the same as MATLAB variables
  // (MatVariablesOfColumns: `filtered`, `fs`, `settings`). False with the error shown when not written.
  bool saveFilteredCsv(const QString& path);
  // True while a run of this page goes.
  bool isBusy() const;

 protected:
  // Builds the tool row (with `modeGroup` after the Signal buttons) and the chart area; returns the row so the
  // page can add controls after its stretch.
  QHBoxLayout* build(QWidget* modeGroup);

  // The rows of the chart area, pixels: the page places its own widgets (spectra, edge texts) by them.
  struct AreaRows {
    int fullWidth;    // the strip's width
    int chartHeight;  // the upper chart's height
    int labelsTop;    // the edge labels above the strip
    int stripTop;
    int lowerTop;     // the lower chart
    int lowerHeight;
  };
  // Places the signal chart, the edge labels, the strip and the filtered chart, the charts `chartWidth` wide.
  AreaRows placeArea(int chartWidth);
  // Lays out the chart area (on every resize of it).
  virtual void layoutArea() = 0;
  // The preset button `index` was clicked.
  virtual void presetChosen(int index) = 0;
  // "Calculation".
  virtual void calculationPressed() = 0;
  // The controls a run disables (the signal, save, calculation and preset buttons, through the page's
  // disable/enable actions); a page adds its own. The save button comes back only with a filtered signal.
  virtual void showBusy(bool busy);
  virtual bool hasFilteredSignal() const = 0;
  // The rate the page's signals have, Hz (the records' rate, or the wavelet page's 2 Hz).
  virtual int signalRateHz() const = 0;
  // "Fourier" / "Wavelet": the page's role in the "Recent files" menu.
  virtual QString recentRole() const = 0;
  // What a CSV of the filtered signal holds: its values and the settings its run was made with (none while
  // there is no filtered signal).
  virtual std::vector<double> filteredForCsv() const = 0;
  virtual std::optional<FilterProvenance> filterProvenance() const = 0;

  bool eventFilter(QObject* watched, QEvent* event) override;

  AppContext* m_context;
  PageRun* m_run = nullptr;
  QPushButton* m_btnSignal = nullptr;
  QPushButton* m_btnSave = nullptr;
  QCheckBox* m_auto = nullptr;
  QToolButton* m_calc = nullptr;
  QToolButton* m_presets[3] = {};
  QWidget* m_area = nullptr;
  PlotView* m_signalChart = nullptr;
  PlotView* m_filteredChart = nullptr;
  WorkspaceStrip* m_strip = nullptr;
  QLabel* m_lowLabel = nullptr;
  QLabel* m_highLabel = nullptr;

 private:
  void openDialog();
  void saveDialog();

  Names m_names;
  QAction* m_disable = nullptr;
  QAction* m_enable = nullptr;
};

}  // namespace kelvora
