#pragma once
// Page of the main window: the time-frequency analysis of a record (scalogram, time-averaged spectrum, band
// table) and, in pair mode, the phase coherence of T and BF with the lag and the depth it implies.
#include <QString>
#include <QStringList>
#include <optional>
#include <QWidget>
#include <array>
#include <functional>
#include <map>
#include <memory>
#include <vector>

#include "analysis/analysis_provenance.h"
#include "analysis/phase_coherence.h"
#include "analysis/record_analysis.h"
#include "pages/analysis_controls.h"

class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QRadioButton;
class QSpinBox;
class QCheckBox;
class QStackedWidget;
class QTableWidget;
class QTabWidget;

namespace kelvora {

class AppContext;
class CoherenceMapView;
struct CoherenceOverTime;
class LogFrequencyChart;
class MarkerEditor;
class ResponsePanel;
class SegmentTable;
class PageRun;
class PlotView;
class ScalogramView;

// The workers of an analysis or coherence run for the "Number of threads" option `potoks`: the option, capped at
// the machine's cores (std::thread::hardware_concurrency(); a larger option is for the wavelet pages) and at
// kMaxAnalysisThreads; at least 1.
int AnalysisWorkerCount(int potoks);

// One page of PageControl1 (object name "TabSheet5"). One record: a signal file, or the T or BF record of the
// Transform page, or the PPG page's envelope; its analysis runs on the page-run helper ("Calculation", with the
// window's progress and STOP). Pair mode: T and BF of the Transform page or two files; the coherence run adds the
// coherence, lag and depth charts and columns, and "Use this depth" hands the chosen band's median depth to the
// Transform page's tissue grid. A failed load or run leaves the page's previous result. UI thread only.
class AnalysisPage : public QWidget {
  Q_OBJECT

 public:
  enum class Source { File = 0, Temperature = 1, BloodFlow = 2, PpgEnvelope = 3 };
  enum class PairSource { Transform = 0, Files = 1 };
  // The file slots: the one record's file, the pair's T file and its BF file.
  enum class FileSlot { Single = 0, PairT = 1, PairBF = 2 };
  enum class Export { Table, Spectrum, ScalogramPng, ScalogramCsv };
  // The PPG envelope and its rate, as the PPG page holds them (values empty when there is none).
  struct Envelope {
    std::vector<double> values;
    double rateHz = 0.0;
  };

  AnalysisPage(AppContext* context, QWidget* parent = nullptr);
  ~AnalysisPage() override;

  // Where the envelope source reads from (the main window connects the PPG page).
  void setEnvelopeSource(std::function<Envelope()> source) { m_envelopeSource = std::move(source); }

  // Reads a one-column signal file into `slot` (the open buttons after their dialogs). A failed read shows the
  // error and keeps the slot and the result as they were.
  bool loadFile(FileSlot slot, const QString& path);
  // A file for `slot` from the open buttons or a drop: a one-column signal file is read by loadFile, any other
  // file goes through the Import dialog, whose record fills the slot and whose rate the "File rate, Hz" edit
  // takes. A cancelled or failed import keeps the slot as it was.
  bool openFile(FileSlot slot, const QString& path);
  // A file dropped on the signal chart: the single file; in pair mode the T file while it is empty, else BF.
  void dropFile(const QString& path);
  void setPairMode(bool pair);
  bool pairMode() const { return m_pair; }
  // "Calculation": reads the settings and the source and starts the run; false (with the reason shown) when it
  // cannot start.
  bool calculate();
  // The export buttons after their dialogs; false (with the reason shown) when there is nothing to write or the
  // file cannot be written, which then keeps an existing file as it was.
  // A ".mat" path (not for the PNG) writes the result's MATLAB variables instead (exportMatTo).
  bool exportTo(Export kind, const QString& path);
  // The table (`bands`, or `coherence_bands`), the spectrum (`spectrum`, or `coherence_curves`) or the scalogram
  // (scalogram_amplitude, _valid, _frequency_hz, _time_s) with the result's `fs`, as analyze --mat and
  // coherence --mat write them, atomically.
  bool exportMatTo(Export kind, const QString& path);
  // The one-page PDF report of the result: the charts, the scalogram, the band table and the settings.
  bool writeReport(const QString& path);
  // File -> "Analysis page report (PDF)...": the save dialog, then writeReport.
  void reportDialog();
  // "Use this depth": the median depth of the selected band row to the Transform page's D.
  bool useSelectedDepth();

  bool isBusy() const;
  // The shown results (null before the first run).
  const AnalysisResult* result() const { return m_result.get(); }
  // The samples of the file loaded into `slot` (empty until one is).
  const std::vector<double>& fileValues(FileSlot slot) const { return m_files[static_cast<std::size_t>(slot)].values; }
  // The rate of an imported file's record (0 for a one-column file, at the typed rate) and its markers.
  double fileRateHz(FileSlot slot) const { return m_files[static_cast<std::size_t>(slot)].rateHz; }
  const std::vector<Marker>& fileMarkers(FileSlot slot) const { return m_files[static_cast<std::size_t>(slot)].markers; }
  const CoherenceResult* coherence() const { return m_coherence.get(); }
  // The settings the shown result was made with (none before a run), and whether a setting changed since.
  const std::optional<AnalysisProvenance>& provenance() const { return m_made; }
  bool resultOutdated() const { return m_outdated; }
  // The text lines of the PDF report, written from provenance(); empty without a result.
  QStringList reportLines() const;
  // The shown record's markers and the segments they cut it into; the per-segment table and the response
  // measures beside the chart. The segment results are out of date once the segments differ from the run's.
  MarkerEditor* markerEditor() const { return m_markerEditor; }
  SegmentTable* segmentTable() const { return m_segmentTable; }
  ResponsePanel* responsePanel() const { return m_response; }
  const std::vector<Segment>& shownSegments() const { return m_shownSegments; }
  bool segmentsOutdated() const { return m_segmentsOutdated; }

 private:
  struct Input {
    std::vector<double> values;
    double rateHz = 0.0;  // the record's own rate; for a one-column file, "File rate, Hz" as typed when it is used
    QString label;
    bool rateFromFile = false;  // the file states its rate (an import); else the typed "File rate, Hz" applies
    std::vector<Marker> markers;  // the file's protocol markers (drawn on the signal chart)
    QString path;                 // the file it was read from; empty for the other sources
  };
  struct Settings {
    AnalysisOptions analysis;
    int surrogates = 100;
    std::uint64_t seed = 1;
  };

  void buildControls();
  void retranslate();
  void showMode();
  void showBusy(bool busy);
  void openDialog(FileSlot slot);
  void showFileSlot(FileSlot slot);
  void saveDialog(Export kind);
  // The record of a single-mode source or a pair side; shows the reason and gives nothing when it is missing.
  std::optional<Input> singleInput();
  std::optional<Input> pairInput(int side);
  std::optional<Input> fileInput(const Input& file);
  // The rate of the other file of a pair (its own, or the typed one of a one-column file); nothing for the
  // single file or while the other slot is empty.
  std::optional<double> pairPartnerRate(FileSlot slot) const;
  // True when a record at `rateHz` may go into `slot`; else the refusal naming both rates is shown.
  bool pairRatesAgree(FileSlot slot, double rateHz);
  std::optional<Settings> readSettings(double rateHz);
  void showSingle(std::shared_ptr<const AnalysisResult> result, Input input);
  void showPair(std::shared_ptr<const AnalysisResult> result, std::shared_ptr<const CoherenceResult> coherence,
                std::shared_ptr<const CoherenceOverTime> map,
                Input t, Input bf);
  void showResult();
  // Removes the shown result (its charts, table and picture): the records it was made from were replaced or
  // the mode changed.
  void clearResult();
  // A setting of the next run changed: the shown result says it is out of date.
  void markOutdated();
  // The status line under the settings: the samples a pair left out and the bands the table leaves out, why.
  void showStatus();
  // The markers of the shown record changed (or it was shown): every chart, the segments and the measures follow.
  void markersEdited();
  // The segments of `markers` on a record of durationS seconds, the unnamed first one named in the language.
  std::vector<Segment> segmentsOf(const std::vector<Marker>& markers, double durationS) const;
  // The shown record for the marker editor and the response measures.
  void showRecord(const Input& input, std::shared_ptr<const std::vector<double>> flux, int slot,
                  std::function<double(double)> yOf);
  void fillTable();
  void showPicture();
  void updateButtons();
  QString analysisError(const AnalysisError& error) const;

  AppContext* m_context;
  PageRun* m_run = nullptr;
  std::function<Envelope()> m_envelopeSource;

  QRadioButton* m_radioSingle = nullptr;
  QRadioButton* m_radioPair = nullptr;
  QComboBox* m_source = nullptr;
  QComboBox* m_pairSource = nullptr;
  QPushButton* m_btnOpen = nullptr;
  QPushButton* m_btnOpenT = nullptr;
  QPushButton* m_btnOpenBF = nullptr;
  QLineEdit* m_sourceName = nullptr;
  QLineEdit* m_rate = nullptr;
  AnalysisControls m_controls;  // the settings, shared with the Study page
  QComboBox* m_bands = nullptr;
  QLineEdit* m_customBands = nullptr;
  QLineEdit* m_f0 = nullptr;
  QSpinBox* m_voices = nullptr;
  QLineEdit* m_fmin = nullptr;
  QLineEdit* m_fmax = nullptr;
  QComboBox* m_detrend = nullptr;
  QLabel* m_surrogatesLabel = nullptr;
  QSpinBox* m_surrogates = nullptr;
  QLabel* m_seedLabel = nullptr;
  QLineEdit* m_seed = nullptr;
  QPushButton* m_btnCalc = nullptr;
  QComboBox* m_quantity = nullptr;
  QComboBox* m_colour = nullptr;
  std::array<QPushButton*, 4> m_btnExport{};
  QPushButton* m_btnUseDepth = nullptr;
  QLabel* m_status = nullptr;
  PlotView* m_signalChart = nullptr;
  ScalogramView* m_scalogram = nullptr;
  CoherenceMapView* m_map = nullptr;    // pair mode: the coherence over time under the scalogram
  QCheckBox* m_moda = nullptr;          // pair mode: compute as MODA does
  QStackedWidget* m_curves = nullptr;
  LogFrequencyChart* m_spectrumChart = nullptr;
  LogFrequencyChart* m_coherenceChart = nullptr;
  LogFrequencyChart* m_lagChart = nullptr;
  LogFrequencyChart* m_depthChart = nullptr;
  QTableWidget* m_table = nullptr;
  QTabWidget* m_tables = nullptr;
  MarkerEditor* m_markerEditor = nullptr;
  SegmentTable* m_segmentTable = nullptr;
  ResponsePanel* m_response = nullptr;

  bool m_pair = false;
  std::array<Input, 3> m_files;  // by FileSlot; values empty until loaded
  // The shown results and what they were computed from.
  std::shared_ptr<const AnalysisResult> m_result;
  std::shared_ptr<const CoherenceResult> m_coherence;  // set only by a pair run
  QString m_resultLabel;
  std::optional<AnalysisProvenance> m_made;
  bool m_outdated = false;
  bool m_resultFromTransform = false;  // made from the Transform page's records
  // The record the shown result was made from, for the markers and the response measures.
  std::shared_ptr<const std::vector<double>> m_shownFlux;
  double m_shownRateHz = 0.0;
  int m_shownSlot = -1;        // the file slot its markers belong to; -1: a source without a file
  QString m_shownLabel;        // the source's name (the markers of a source without a file are kept by it)
  std::function<double(double)> m_shownY;
  std::vector<Segment> m_shownSegments;
  bool m_segmentsOutdated = false;
  std::map<QString, std::vector<Marker>> m_sourceMarkers;  // markers of the sources without a file
};

}  // namespace kelvora
