#pragma once
// Page of the main window: a study of many recordings. A manifest table (subject, group, condition, file,
// bf_file) made by adding or dropping files or opened from a manifest CSV; the measures, the conditions (whole
// records, the segments between each record's markers, or typed segments), the occlusion and heating protocol
// and the analysis settings;
// a run of every recording on the window's runner (progress, STOP, resume from the output folder's results); the
// summary and tests tables and box plots of a measure per band; the study's files in the output folder and a PDF
// of the page.
#include <QString>
#include <QStringList>
#include <QWidget>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "analysis/study.h"
#include "analysis/study_protocol.h"
#include "formats/marker_file.h"
#include "formats/record_file_error.h"
#include "pages/analysis_controls.h"

class QCheckBox;
class QChart;
class QChartView;
class QComboBox;
class QLabel;
class QLineEdit;
class QListWidget;
class QPushButton;
class QStandardItemModel;
class QTabWidget;
class QTableView;
class QTableWidget;

namespace kelvora {

class AppContext;
class PageRun;

// The subject a file proposes: its name without the extension and without a trailing "_T", "_BF", "-T" or "-BF"
// (any case), so that a pair's two files propose one subject.
QString ProposedSubject(const QString& path);

// One page of PageControl1 (object name "TabSheetStudy"). UI thread only.
class StudyPage : public QWidget {
  Q_OBJECT

 public:
  // What the last finished run gave.
  // A recording without a result: its manifest line and why (worded when shown, in the language of the moment).
  struct Problem {
    int line = 0;
    StudyRecordingState state = StudyRecordingState::kNotRun;
    std::optional<StudyError> error;
    std::optional<RecordFileError> readError;  // the reader's fault of a kLoad error
    // Or the fault of the flux record's protocol: its markers could not be read, or not taken as asked.
    std::optional<MarkerFileError> markerError;
    std::optional<StudyProtocolError> protocolError;
  };
  struct RunReport {
    int recordings = 0, computed = 0, reused = 0, failed = 0;
    bool stopped = false;
    std::vector<Problem> problems;  // in manifest order
    std::string settingsJson;
  };
  // "Line N: reason" of each problem of the last run.
  QStringList problemTexts() const;

  StudyPage(AppContext* context, QWidget* parent = nullptr);
  ~StudyPage() override;

  // One manifest row per file, subject proposed from the file name ("Add files...", a drop on the table); a BF
  // file ("s01_BF.txt") goes to the bf_file of its T file's row ("s01_T.txt") when that has none.
  bool addFiles(const QStringList& paths);
  // Replaces the table by the manifest at `path`; a manifest that cannot be read or is not valid is refused
  // with its reason and the table stays as it was.
  bool openManifest(const QString& path);
  // Writes the table as a manifest CSV (atomically: a failed write leaves an existing file as it was).
  bool saveManifest(const QString& path);
  // The manifest CSV text of the table (header line, then the rows that are not blank), with paths as typed.
  std::string manifestText() const;
  // "Run study": reads the table and the settings and starts the run; false (with the reason shown) when it
  // cannot start.
  bool run();
  // The one-page PDF of the results: box plots, the summary and tests tables, the settings and the failures.
  bool writeReport(const QString& path);
  void reportDialog();

  bool isBusy() const;
  // The tables of the last completed run (null before one).
  const StudyTables* tables() const { return m_tables.get(); }
  const std::optional<RunReport>& lastRun() const { return m_report; }

 private:
  void buildControls();
  void retranslate();
  void showBusy(bool busy);
  void enableProtocol();
  // The conditions, occlusions and heating phases the controls ask for; false (with the reason shown) when a
  // field cannot be read.
  bool readProtocol(StudySettings& settings);
  void setColumns(const std::vector<std::string>& columns);
  void addRow(const QStringList& cells);
  void showRun(const RunReport& report, std::shared_ptr<const StudyTables> tables);
  void fillTables();
  void fillMeasures();
  void showChart();
  QString cell(int row, int column) const;

  AppContext* m_context;
  PageRun* m_run = nullptr;
  AnalysisControls m_controls;
  std::vector<std::string> m_columns;  // manifest column names, in table order
  QString m_folder;                    // relative paths of the table start here (the manifest's folder)
  QString m_manifestPath;              // the manifest last opened or saved

  QPushButton* m_btnNew = nullptr;
  QPushButton* m_btnOpen = nullptr;
  QPushButton* m_btnSave = nullptr;
  QPushButton* m_btnAdd = nullptr;
  QPushButton* m_btnRemove = nullptr;
  QLineEdit* m_rate = nullptr;
  QCheckBox* m_bands = nullptr;
  QCheckBox* m_coherence = nullptr;
  QCheckBox* m_interSubject = nullptr;
  QCheckBox* m_porh = nullptr;
  QCheckBox* m_heating = nullptr;
  QComboBox* m_segments = nullptr;     // whole records, segments between markers, typed segments
  QLineEdit* m_segmentList = nullptr;  // the typed segments: NAME:START:END,... or a segment table file
  QCheckBox* m_findOcclusions = nullptr;
  QLineEdit* m_baseline = nullptr;     // START:END or a segment's name; empty: the 60 s before each onset
  QLineEdit* m_heatingPhase = nullptr; // START:END,... or a segment's name
  QLineEdit* m_maximum = nullptr;      // START:END or a segment's name; empty: none
  QLineEdit* m_out = nullptr;
  QPushButton* m_btnOut = nullptr;
  QPushButton* m_btnRun = nullptr;
  QPushButton* m_btnReport = nullptr;
  QLabel* m_status = nullptr;
  QTableWidget* m_table = nullptr;
  QListWidget* m_problems = nullptr;
  QComboBox* m_measure = nullptr;
  QComboBox* m_by = nullptr;
  QChartView* m_chartView = nullptr;
  QChart* m_chart = nullptr;
  QTabWidget* m_resultTabs = nullptr;
  QTableView* m_summaryView = nullptr;
  QTableView* m_testsView = nullptr;
  QStandardItemModel* m_summary = nullptr;
  QStandardItemModel* m_tests = nullptr;

  std::shared_ptr<const StudyTables> m_tables;
  std::optional<RunReport> m_report;
  AnalysisOptions m_madeWith;  // the analysis settings of the shown result (for its error texts)
};

}  // namespace kelvora
