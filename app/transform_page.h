#pragma once
// The "Transform" page: T and BF records, their conversion into BF* and T*, band strips and charts.
#include <QColor>
#include <QTimer>
#include <QWidget>
#include <functional>
#include <vector>

#include "signals/transform_session.h"

class QAbstractButton;
class QCheckBox;
class QFrame;
class QGroupBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QRadioButton;
class QSpinBox;
class QSplitter;
class QTableWidget;
class QToolButton;
class QXYSeries;

namespace kelvora {

class AppContext;
class BandEditFilter;
class ColorSwatch;
class FrequencyStrip;
class PageRun;
class PlotView;

// Page 0 of PageControl1 (object name "TabSheet1"). Every control carries its name from the window design
// (BtnReadT, Chart1, EditS1, ...). The numbers live in the Transform session; the page reads its inputs from
// the controls, runs the session's operations off the UI thread, and shows what the session's view state says.
// UI thread only.
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

  // Writes T* (`temperature`) or BF* to `path` (".txt" appended when missing) with the locale's separator and
  // three decimals; an existing file is replaced only by a complete one. Shows the error and returns false when
  // the file cannot be written or there is nothing to write.
  bool saveConvertedTo(bool temperature, const QString& path);
  // Saves `chart` (Chart3 or Chart4) as a picture on a white background under `name`, with `extension` (".bmp"
  // or ".png") appended unless the name already ends with it (or with it in upper case). Shows the error and
  // returns false when the file cannot be written.
  bool savePlot(PlotView* chart, const QString& name, const QString& extension);

  // Sets UpDown1/Edit1 and the hints of the read buttons ("2 Hz").
  void setSampleRate(int hz);

  // The Transform strips' band presets: side 1 = temperature (Image3), 2 = blood flow (Image4).
  void setBand(int side, double lowHz, double highHz);

  // Smallest width the page's controls need, pixels.
  int minimumContentWidth() const;
  LayoutState layoutState() const { return m_layoutState; }
  // True while a computation of this page runs.
  bool isBusy() const;
  // Waits for a running computation and shows its result (tests).
  void waitForIdle();

  // Starts making `samples` the BF record (the PPG page's "<--", through AppContext::handOverBloodFlow), with
  // `source` in the source text; false when another computation runs. The session is touched only on this thread.
  bool takeBloodFlow(const std::vector<double>& samples, const QString& source);

  // Band scales (actions SchkalaNevid / SchkalaVid).
  void hideBandScales();
  void showBandScales();

 private:
  void buildTopRow();
  QWidget* buildInputSide();
  QWidget* buildOutputSide();
  QWidget* buildArrowColumn();
  QWidget* buildBottomPanel();
  QFrame* buildFilterPanel(int side);
  void buildGrid();
  void connectControls();

  // Actions.
  void readT();
  void readBF();
  void btnTtoBF();
  void btnBFtoT();
  void outputBF();
  void outputT();
  void saveConverted(bool temperature);
  void plotChart(PlotView* chart);
  void toggleFilterPanel(int side);
  void chooseColor(int side, bool fromPanel);
  void toggleEnlarged(int side);
  void onMethodChanged();
  void onStripDragged(int side, double lowHz, double highHz);
  void onStripReleased(int side);
  void onStripDoubleClicked(int side);
  void onBandEditEnter(QObject* edit);
  void onInputCheck(int side, bool filteredBox);
  void animateStep();
  void applyGridMode();

  // Runs the filter of `side` for the current band when its record is loaded and a band is chosen; the band
  // texts "0" .. `noBandHigh` switch the filtered display off instead.
  void filterSide(int side, const QString& noBandHigh);
  // Runs the session job off the UI thread and commits it on the UI thread; `then` (may be empty) follows with
  // the outcome.
  bool runJob(TransformSession::Job job, std::function<void(const SessionResult&)> then);
  // The controls a run disables.
  void showBusy(bool busy);
  // Hands the controls' current inputs (method, model, scaling, edits, bands, boxes) to the session.
  void syncSession();
  // Shows the outcome of a session operation: its error or notice in the error box, then the view state.
  void finishOperation(const SessionResult& result);
  // Shows the session's view state: records in the charts, texts, enabled buttons.
  void showView();
  void showGrid();
  void onGridEdited(int row, int column);
  TransformSession* session() const;
  void resetOutputSide(int side);
  void refreshSeriesColours();

  AppContext* m_context;

  // Top row.
  QLabel* m_label5 = nullptr;
  QSpinBox* m_upDown1 = nullptr;
  QLineEdit* m_edit1 = nullptr;
  QPushButton* m_btnReadT = nullptr;
  QPushButton* m_btnReadBF = nullptr;
  QLineEdit* m_edit10 = nullptr;
  QLineEdit* m_edit16 = nullptr;
  QLineEdit* m_edit17 = nullptr;
  QLineEdit* m_edit18 = nullptr;

  // Sides.
  QWidget* m_panelL = nullptr;
  QWidget* m_panelP = nullptr;
  QWidget* m_arrows = nullptr;
  QSplitter* m_splitterL = nullptr;
  QSplitter* m_splitterP = nullptr;
  PlotView* m_chart1 = nullptr;
  PlotView* m_chart2 = nullptr;
  PlotView* m_chart3 = nullptr;
  PlotView* m_chart4 = nullptr;
  QXYSeries* m_series1 = nullptr;
  QXYSeries* m_series2 = nullptr;
  QXYSeries* m_series3 = nullptr;
  QXYSeries* m_series4 = nullptr;
  QXYSeries* m_series5 = nullptr;
  QXYSeries* m_series6 = nullptr;
  QXYSeries* m_series19 = nullptr;
  QXYSeries* m_series20 = nullptr;
  QXYSeries* m_series21 = nullptr;
  QToolButton* m_speedButton4 = nullptr;
  QToolButton* m_speedButton3 = nullptr;

  // Filter panels and strips: index 0 temperature, 1 blood flow.
  QFrame* m_filterPanel[2] = {};
  QPushButton* m_filterButton[2] = {};
  QCheckBox* m_inputBox[2] = {};
  QCheckBox* m_filteredBox[2] = {};
  QToolButton* m_letter[2][3] = {};
  FrequencyStrip* m_strip[2] = {};
  QLineEdit* m_lowEdit[2] = {};
  QLineEdit* m_highEdit[2] = {};
  BandEditFilter* m_keyFilter = nullptr;

  // Arrow column.
  QPushButton* m_btnTtoBF = nullptr;
  QPushButton* m_btnBFtoT = nullptr;
  QFrame* m_panel15 = nullptr;
  ColorSwatch* m_image6 = nullptr;
  ColorSwatch* m_image7 = nullptr;
  QPushButton* m_panel9 = nullptr;
  QPushButton* m_panel10 = nullptr;
  QColor m_panelText[2] = {Qt::white, Qt::white};

  // Output side.
  QPushButton* m_btnOutputBF = nullptr;
  QPushButton* m_btnOutputT = nullptr;
  QPushButton* m_btnSaveBF = nullptr;
  QPushButton* m_btnSaveT = nullptr;
  QPushButton* m_btnPlotBF = nullptr;
  QPushButton* m_btnPlotT = nullptr;
  QLabel* m_lbCorrel1 = nullptr;
  QLabel* m_lbCorrel2 = nullptr;

  // Bottom panel.
  QFrame* m_panel12 = nullptr;
  QRadioButton* m_radioFourier = nullptr;
  QRadioButton* m_radioWavelet = nullptr;
  QRadioButton* m_radioShitzer = nullptr;
  QCheckBox* m_checkBox1 = nullptr;
  QGroupBox* m_radioGroup2 = nullptr;
  QRadioButton* m_thermalWave = nullptr;
  QRadioButton* m_derivative = nullptr;
  QGroupBox* m_groupBox1 = nullptr;
  QRadioButton* m_normaliz[3] = {};
  QLineEdit* m_edit4 = nullptr;
  QLineEdit* m_edit5 = nullptr;
  QLineEdit* m_edit6 = nullptr;
  QLineEdit* m_edit7 = nullptr;
  QGroupBox* m_groupBox2 = nullptr;
  QTableWidget* m_grid = nullptr;
  QPushButton* m_button1 = nullptr;
  QPushButton* m_button2 = nullptr;
  QPushButton* m_button3 = nullptr;
  QGroupBox* m_radioGroup4 = nullptr;
  QRadioButton* m_morlet = nullptr;
  QRadioButton* m_paul = nullptr;
  QLabel* m_label9 = nullptr;
  QLineEdit* m_edit9 = nullptr;

  // Enlarged views and their animation (Timer1, 20 ms).
  LayoutState m_layoutState = BothSides;
  QTimer m_timer1;
  QWidget* m_animated = nullptr;
  int m_animationTarget = 0;
  std::function<void()> m_animationDone;

  // Starts LoadT / LoadBF of `path`; `then` (may be empty) runs on the UI thread with the outcome.
  bool loadRecord(bool temperature, const QString& path, const QString& label, std::function<void(bool)> then);

  PageRun* m_run = nullptr;
  bool m_lastResultOk = false;
  bool m_gridUpdating = false;
};

}  // namespace kelvora
