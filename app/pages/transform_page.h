#pragma once
// The "Transform" page: T and BF records, their conversion into BF* and T*, band strips and charts.
#include <QStringList>
#include <QWidget>
#include <array>
#include <functional>
#include <vector>

#include "dialogs/import_dialog.h"
#include "shell/app_context.h"
#include "signals/transform_session.h"

class QCheckBox;
class QFrame;
class QGroupBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QRadioButton;
class QSpinBox;
class QSplitter;
class QToolButton;
class QXYSeries;

namespace kelvora {

class AppContext;
class ConversionControls;
class ConvertedRecordPanel;
class PageRun;
class PlotView;
class RecordColours;
class RecordSidePanel;
class WidthAnimation;

// Page 0 of PageControl1 (object name "TabSheet1"). Every control carries its name from the window design
// (BtnReadT, Chart1, EditS1, ...). The page is the one user of the window's TransformSession (which the main
// window keeps): it hands the controls' inputs to it, runs its long operations as jobs off the UI thread
// (PageRun), commits them here and shows the view state; other pages reach the session only through it. The two measured records are RecordSidePanels, the tissue parameters a ParameterGridView; this class
// arranges them with the converted charts, the arrow buttons and the conversion controls. UI thread only.
// The two records of the page, T first.
inline constexpr Side kBothSides[2] = {Side::Temperature, Side::BloodFlow};

class TransformPage : public QWidget {
  Q_OBJECT

 public:
  explicit TransformPage(AppContext* context, QWidget* parent = nullptr);
  ~TransformPage() override;

  // Layout states of the enlarged views.
  enum LayoutState { BothSides = 1, InputEnlarged = 2, OutputEnlarged = 3, BothSidesRestored = 4 };

  // Menu Examples: loads Examples/T<n>.txt and Examples/BF<n>.txt from the program's folder (n = 1 or 2).
  void loadExample(int number);
  // Starts loading a T or BF file (the work of LoadT / LoadBF after the open dialog) off the UI thread; false
  // when another computation runs. A failure is shown in the error box and the records keep what they held.
  bool loadT(const QString& path);
  bool loadBF(const QString& path);
  // Opens `path` for `side` as the T and BF open buttons and drops do: the program's one-column text file loads
  // as loadT / loadBF; any other file opens the Import dialog, whose records then load (a pair fills both
  // sides). Nothing changes when the dialog is cancelled or the import fails.
  bool openFile(Side side, const QString& path);
  // Loads records made by the Import dialog (one for `side`, or a T and BF pair) through the session's load
  // entry point, after setting the records' rate to theirs; false when another computation runs or the rate
  // cannot change because the other side's record is at the present one.
  bool loadImported(Side side, const std::vector<ImportedRecord>& records, const QString& path = QString());
  // Starts making `samples` the BF record (the PPG page's "<--", through AppContext::handOverBloodFlow), with
  // `source` as its source; false when another computation runs.
  bool takeBloodFlow(const std::vector<double>& samples, const QString& source);
  // Makes `depthMm` the thermal wave's D of the tissue grid (rounded to 0.001 mm), so that the next conversion
  // uses it; false while a computation runs or for a depth not above 0.
  bool takeDepth(double depthMm);

  // Writes T* (`temperature`) or BF* to `path` (".txt" appended when missing) with the locale's separator and
  // three decimals; an existing file is replaced only by a complete one. Shows the error and returns false when
  // the file cannot be written or there is nothing to write.
  bool saveConvertedTo(bool temperature, const QString& path);
  // Writes T* (`temperature`) or BF* to `path` as CSV (".csv" appended when missing): '#' comment lines with
  // the method, its parameters and the sources, the header "t_s,<record>", then a row per sample with its time
  // in seconds. A ".mat" path gets the same as MATLAB variables (MatVariablesOfColumns: `T_` or `BF_`, `fs`,
  // `settings`). An existing file is replaced only by a complete one; false with the error shown otherwise.
  bool saveConvertedCsvTo(bool temperature, const QString& path);
  // The comment lines of the files written of the record converted from `from`: the settings it was made with
  // (method, model, tissue, band, scaling, rates, source, program version), whatever the controls hold now;
  // empty before a conversion.
  std::vector<std::pair<std::string, std::string>> methodComments(Side from) const;
  // The text lines of the PDF report: correlations, then each converted record's methodComments (its record
  // line marked when settings changed since), then the sources.
  QStringList reportLines() const;
  // True when there is something to export (a record loaded).
  bool hasExport() const;
  // Writes T, BF, T* and BF* (those that are there) as one EDF+ file (".edf" appended when missing), each with
  // its label and unit, at the records' rate. False with the error shown when nothing is loaded or the file
  // cannot be written; an existing file then stays as it was.
  bool exportEdf(const QString& path);
  // A one-page PDF report of the page (".pdf" appended when missing): the four charts, the correlations, the
  // method and parameters, the source files. Written whole or not at all; false with the error shown.
  bool writeReport(const QString& path);
  // File -> export items: the save dialog, then exportEdf / writeReport.
  void exportEdfDialog();
  void reportDialog();
  // Saves `chart` (Chart3 or Chart4) as a picture on a white background under `name`, with `extension` (".bmp"
  // or ".png") appended unless the name already ends with it (or with it in upper case). Shows the error and
  // returns false when the file cannot be written.
  bool savePlot(PlotView* chart, const QString& name, const QString& extension);

  // Sets UpDown1/Edit1 and the hints of the read buttons ("2 Hz").
  void setSampleRate(int hz);
  // The band setter of a Transform strip (presets and the page): shows the band and filters the side's record
  // when one is loaded and a band is chosen.
  void setBand(Side side, double lowHz, double highHz);

  // Hands the page's settings (and the window's wavelet options) to the session again and marks the converted
  // records they outdate: the window calls it when an option of the session's runs changes.
  void takeSettings();

  // Smallest width the page's controls need, pixels.
  int minimumContentWidth() const;
  LayoutState layoutState() const { return m_layoutState; }
  // True while a computation of this page runs.
  bool isBusy() const;
  // Waits for a running computation and shows its result (tests).
  void waitForIdle();

  // Band scales (actions SchkalaNevid / SchkalaVid).
  void hideBandScales();
  void showBandScales();

 private:
  void buildTopRow();
  QWidget* buildInputSide();
  QWidget* buildOutputSide();
  QWidget* buildArrowColumn();
  void connectControls();

  // Actions of one side.
  void readRecord(Side side);
  bool loadRecord(Side side, const QString& path, const QString& label, std::function<void(bool)> then);
  // Filters the side's record for its band when one is loaded; the band texts of "no band" switch the filtered
  // display off instead.
  void filterSide(Side side);
  void convert(Side side);
  void output(Side side);
  void saveConverted(Side side);
  void plotChart(PlotView* chart);

  void refreshSeriesColours();
  // "Maximize"/"Minimize" of the input side (SpeedButton4) or the output side (SpeedButton3).
  void toggleEnlarged(bool inputSide);
  void onMethodChanged();
  void showGrid();
  void onGridEdited(int column, int row, const std::string& text);

  // Runs the session job off the UI thread and commits it on the UI thread; `then` (may be empty) follows with
  // the outcome.
  bool runJob(TransformSession::Job job, std::function<void(const SessionResult&)> then,
              RunKind kind = RunKind::Load);
  // The controls a run disables.
  void showBusy(bool busy);
  // Hands the controls' inputs (method, model, scaling, edits, bands, boxes, wavelet) to the session; called at
  // every change of a control.
  void writeSettings();
  // Marks the converted records whose settings changed since their conversion.
  void showOutdated();
  // Shows the outcome of a session operation: its error or notice in the error box, then the view state.
  void finishOperation(const SessionResult& result);
  // Shows the session's view state: records in the charts, texts, enabled buttons.
  void showView();
  void showPageZero();
  TransformSession* session() const;
  RecordSidePanel* panel(Side side) const { return m_sides[SideIndex(side)]; }
  QPushButton* arrow(Side side) const { return side == Side::Temperature ? m_btnTtoBF : m_btnBFtoT; }

  AppContext* m_context;
  PageRun* m_run = nullptr;

  // Top row.
  QSpinBox* m_upDown1 = nullptr;
  QPushButton* m_btnRead[2] = {};  // BtnReadT, BtnReadBF
  QLineEdit* m_sourceEdit[2] = {};  // Edit10, Edit16
  QLineEdit* m_countEdit[2] = {};   // Edit17, Edit18

  // Input side (PanelL), arrow column and output side (PanelP).
  QWidget* m_panelL = nullptr;
  QWidget* m_panelP = nullptr;
  QWidget* m_arrows = nullptr;
  QSplitter* m_splitterL = nullptr;
  QSplitter* m_splitterP = nullptr;
  std::array<RecordSidePanel*, 2> m_sides{};
  std::array<ConvertedRecordPanel*, 2> m_converted{};  // indexed by the side converted from
  QToolButton* m_speedButton4 = nullptr;
  QToolButton* m_speedButton3 = nullptr;
  QPushButton* m_btnTtoBF = nullptr;
  QPushButton* m_btnBFtoT = nullptr;
  RecordColours* m_colours = nullptr;  // Panel15

  ConversionControls* m_controls = nullptr;  // Panel12

  // Enlarged views and their animation (Timer1).
  LayoutState m_layoutState = BothSides;
  WidthAnimation* m_animation = nullptr;
};

}  // namespace kelvora
