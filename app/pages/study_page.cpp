#include "pages/study_page.h"

#include <QBarCategoryAxis>
#include <QBoxPlotSeries>
#include <QBoxSet>
#include <QChart>
#include <QChartView>
#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QRegularExpression>
#include <QSplitter>
#include <QStandardItemModel>
#include <QTabWidget>
#include <QTableView>
#include <QTableWidget>
#include <QValueAxis>
#include <QVBoxLayout>
#include <algorithm>
#include <cmath>
#include <filesystem>
#include <fstream>
#include <map>
#include <mutex>
#include <set>
#include <sstream>

#include "analysis/analysis_csv.h"
#include "analysis/study_provenance.h"
#include "analysis/study_report.h"
#include "analysis/study_statistics.h"
#include "core/atomic_file.h"
#include "core/file_digest.h"
#include "formats/record_file.h"
#include "formats/record_markers.h"
#include "pages/marker_words.h"
#include "pages/analysis_page.h"
#include "shell/app_context.h"
#include "shell/file_drop.h"
#include "shell/language_tables.h"
#include "shell/named_controls.h"
#include "shell/number_text.h"
#include "shell/page_run.h"
#include "shell/pdf_report.h"
#include "signals/transform_session.h"

namespace kelvora {

namespace {

using SW = StudyWord;

const char* const kBaseColumns[] = {"subject", "group", "condition", "file", "bf_file"};
constexpr SW kBaseWords[] = {SW::kColSubject, SW::kColGroup, SW::kColCondition, SW::kColFile, SW::kColBfFile};
constexpr SW kSummaryWords[] = {SW::kSumGroup, SW::kSumCondition, SW::kSumBand,   SW::kSumMeasure, SW::kSumN,
                                SW::kSumMedian, SW::kSumQ1,      SW::kSumQ3,     SW::kSumMean,    SW::kSumSd};
constexpr SW kTestWords[] = {SW::kTestBand, SW::kTestMeasure,   SW::kTestComparison, SW::kTestName, SW::kTestN,
                             SW::kTestStatistic, SW::kTestP, SW::kTestPHolm, SW::kTestEstimate};

// The response measures (porh, heating) have no band: an empty name.
QString BandName(const std::string& name, Language language) {
  return name.empty() ? QString() : AnalysisBandName(AnalysisBand{name, {}, true}, language);
}

QStandardItem* NumberItem(const std::optional<double>& value) {
  auto* item = new QStandardItem(value && std::isfinite(*value) ? FormatDecimal(*value, 6) : QString());
  if (value && std::isfinite(*value)) item->setData(*value, Qt::UserRole);
  item->setTextAlignment(Qt::AlignRight | Qt::AlignVCenter);
  return item;
}

QStandardItem* TextItem(const QString& text) { return new QStandardItem(text); }

std::string ReadBytes(const std::string& path, bool& ok) {
  std::ifstream in(path, std::ios::binary);
  ok = static_cast<bool>(in);
  std::ostringstream text;
  if (ok) text << in.rdbuf();
  return text.str();
}

// Everything a run needs, copied from the page on the UI thread.
struct StudyJob {
  std::vector<StudyEntry> entries;
  StudySettings settings;
  std::string manifestText, manifestPath, directory;
  int workers = 1;
  int defaultRateHz = 2;
  char separator = '.';
  Language language = Language::English;
};

// The readers' faults of a run by path, kept so that their texts follow the language.
struct ReadFaults {
  std::mutex mutex;
  std::map<std::string, RecordFileError> byPath;
  std::map<std::string, MarkerFileError> markersByPath;
  std::map<std::string, StudyProtocolError> protocolByPath;
};

struct StudyJobResult {
  StudyPage::RunReport report;
  std::shared_ptr<StudyTables> tables;  // null when stopped or the folder could not be made
  QStringList writeErrors;
};

// The words of DIR/report.pdf in `language`: the page's names of bands, measures, comparisons and tests.
StudyReportTexts StudyReportWords(const std::string& manifestName, int recordings, int failed, Language language) {
  auto utf8 = [](const QString& text) { return text.toStdString(); };
  StudyReportTexts texts;
  texts.title = utf8(StudyText(SW::kReportHeading, language)) + (manifestName.empty() ? "" : ": " + manifestName);
  texts.lines = {utf8(StudyText(SW::kReportCounts, language).arg(QStringLiteral(KELVORA_VERSION)).arg(recordings).arg(failed)),
                 utf8(StudyText(SW::kReportMethod1, language)), utf8(StudyText(SW::kReportMethod2, language))};
  texts.summaryHeading = utf8(StudyText(SW::kTabSummary, language));
  texts.testsHeading = utf8(StudyText(SW::kTabTests, language));
  for (SW word : kSummaryWords) texts.summaryColumns.push_back(utf8(StudyText(word, language)));
  for (SW word : kTestWords) texts.testsColumns.push_back(utf8(StudyText(word, language)));
  texts.allLabel = utf8(StudyText(SW::kNoGroup, language));
  texts.countLabel = "n=";
  texts.band = [language](const std::string& band) { return BandName(band, language).toStdString(); };
  texts.measure = [language](const std::string& name) { return StudyMeasureLabel(name, language).toStdString(); };
  texts.comparison = [language](const std::string& name) { return StudyComparisonLabel(name, language).toStdString(); };
  texts.test = [language](const std::string& name) { return StudyTestLabel(name, language).toStdString(); };
  texts.measurePage = [language](const std::string& name, bool banded) {
    const QString label = StudyMeasureLabel(name, language);
    return (banded ? StudyText(SW::kChartTitle, language).arg(label) : label).toStdString();
  };
  return texts;
}

// The study as the CLI's study runs it: the recordings (reusing what DIR/results holds for these settings), then
// the index, the settings and, unless stopped, the tables and the provenance, all written atomically.
StudyJobResult RunStudyJob(const StudyJob& job, ProgressSink& progress) {
  StudyJobResult result;
  const Language language = job.language;
  const int defaultRate = job.defaultRateHz;
  const char separator = job.separator;
  auto faults = std::make_shared<ReadFaults>();
  const StudySettings& settings = job.settings;
  StudyLoader loader = [defaultRate, separator, language, faults, &settings](const StudyEntry& entry, bool bloodFlow) {
    RecordReadOptions options;
    if (entry.fs) options.givenRateHz = *entry.fs;
    options.defaultRateHz = defaultRate;
    options.temperature = entry.paired() && !bloodFlow;
    options.maxSamples = kMaxAnalysisRecordSamples;
    options.decimal = DecimalFormat::ForSeparator(separator);
    if (!entry.column.empty()) options.column = ChannelRef::Parse(entry.column);
    if (!entry.channel.empty()) options.channel = ChannelRef::Parse(entry.channel);
    const std::string& path = bloodFlow ? entry.bfFile : entry.file;
    RecordFileResult read = ReadRecordFile(path, options);
    StudyLoadResult loaded;
    if (!read.ok()) {
      loaded.message = RecordFileErrorText(*read.error, language).toStdString();
      std::lock_guard<std::mutex> lock(faults->mutex);
      faults->byPath.emplace(path, *read.error);
      return loaded;
    }
    const auto count = static_cast<std::size_t>(read.record.count());
    read.record.values.resize(count);
    loaded.record.emplace();
    loaded.record->values = std::move(read.record.values);
    loaded.record->sampleRateHz = read.sampleRateHz;
    // The flux record (BF of a pair) carries the protocol.
    if (!bloodFlow && entry.paired()) return loaded;
    std::vector<Marker> markers;
    if (StudyUsesMarkers(settings)) {
      RecordMarkerOptions from;
      from.format = read.format;
      if (!settings.protocol.markerColumn.empty()) from.column.column = ChannelRef::Parse(settings.protocol.markerColumn);
      from.column.sampleRateHz = read.sourceRateHz > 0.0 ? read.sourceRateHz : read.sampleRateHz;
      from.comments = std::move(read.markers);
      from.sidecar = entry.markers;
      MarkerReadResult gathered = ReadRecordMarkers(path, from);
      if (!gathered.ok()) {
        loaded.protocolError = MarkerFileErrorText(*gathered.error, language).toStdString();
        std::lock_guard<std::mutex> lock(faults->mutex);
        faults->markersByPath.emplace(path, *gathered.error);
        return loaded;
      }
      markers = std::move(gathered.markers);
    }
    if (const auto error = ResolveStudyProtocol(settings, std::move(markers), *loaded.record)) {
      loaded.protocolError = StudyProtocolErrorText(*error, path, language).toStdString();
      std::lock_guard<std::mutex> lock(faults->mutex);
      faults->protocolByPath.emplace(path, *error);
    }
    return loaded;
  };
  StudyRunOptions run;
  run.directory = job.directory;
  run.workers = job.workers;
  for (std::size_t i = 0; i < job.entries.size(); ++i) run.selection.push_back(i);
  const StudyRunOutcome outcome = RunStudy(job.entries, job.settings, loader, run, progress);
  StudyPage::RunReport& report = result.report;
  report.settingsJson = StudySettingsJson(job.settings);
  report.recordings = static_cast<int>(job.entries.size());
  if (outcome.directoryError) {
    result.writeErrors << QString::fromStdString(job.directory + ": " + *outcome.directoryError);
    report.failed = report.recordings;
    return result;
  }
  report.stopped = outcome.stopped || progress.stopRequested();

  StudyCollected collected = CollectStudyResults(job.entries, run, outcome, report.settingsJson, job.manifestText);
  report.computed = collected.computed;
  report.reused = collected.reused;
  report.failed = static_cast<int>(collected.failed.size());
  for (const std::size_t s : collected.failed) {
    const StudyRecordingOutcome& state = outcome.outcomes[s];
    StudyPage::Problem problem;
    problem.line = job.entries[run.selection[s]].line;
    problem.state = state.state;
    problem.error = state.error;
    if (state.error && state.error->kind == StudyErrorKind::kLoad) {
      std::lock_guard<std::mutex> lock(faults->mutex);
      const std::string& path = state.error->path;
      if (const auto it = faults->byPath.find(path); it != faults->byPath.end()) problem.readError = it->second;
      if (const auto it = faults->markersByPath.find(path); it != faults->markersByPath.end())
        problem.markerError = it->second;
      if (const auto it = faults->protocolByPath.find(path); it != faults->protocolByPath.end())
        problem.protocolError = it->second;
    }
    report.problems.push_back(std::move(problem));
  }
  const StudyIndex& index = collected.index;
  const std::vector<StudyResultFile>& results = collected.results;
  std::vector<StudyProvenanceInput> inputs = {{0, "manifest", job.manifestPath, index.manifestDigest}};
  inputs.insert(inputs.end(), collected.inputs.begin(), collected.inputs.end());
  const std::filesystem::path dir(job.directory);
  if (report.stopped) return result;  // the results kept so far are what the next run starts from

  auto write = [&](const char* name, const std::string& text) {
    const std::string path = (dir / name).string();
    if (const auto error = WriteFileAtomically(path, text))
      result.writeErrors << QString::fromStdString(path + ": " + *error);
  };
  auto tables = std::make_shared<StudyTables>(BuildStudyTables(results));
  write("settings.json", report.settingsJson);
  write("study-index.csv", FormatStudyIndex(index));
  write("rows.csv", tables->rowsCsv);
  write("summary.csv", tables->summaryCsv);
  write("tests.csv", tables->testsCsv);
  if (tables->groupCoherenceCsv != kStudyGroupCoherenceCsvHeader) write("group_coherence.csv", tables->groupCoherenceCsv);
  const std::string provenance = StudyProvenanceJson(
      "kelvora", "study", report.settingsJson,
      {{"shard", StudyJsonString("1/1")}, {"workers", std::to_string(job.workers)},
       {"recordings", std::to_string(report.recordings)}, {"computed", std::to_string(report.computed)},
       {"reused", std::to_string(report.reused)}, {"failed", std::to_string(report.failed)}},
      inputs);
  write("provenance.json", provenance);
  const std::string reportPath = (dir / "report.pdf").string();
  const std::string title = std::filesystem::path(job.manifestPath).filename().string();
  if (const auto error = WriteStudyReport(reportPath, *tables,
                                          StudyReportWords(title, static_cast<int>(results.size()), report.failed, language)))
    result.writeErrors << QString::fromStdString(reportPath + ": " + *error);
  result.tables = std::move(tables);
  return result;
}

}  // namespace

QString ProposedSubject(const QString& path) {
  QString name = QFileInfo(path).completeBaseName();
  static const QRegularExpression kSide(QStringLiteral("[_-](t|bf)$"), QRegularExpression::CaseInsensitiveOption);
  const QString stripped = name.remove(kSide);
  return stripped.isEmpty() ? QFileInfo(path).completeBaseName() : stripped;
}

StudyPage::StudyPage(AppContext* context, QWidget* parent) : QWidget(parent), m_context(context) {
  setObjectName(QStringLiteral("TabSheetStudy"));
  buildControls();
  m_run = new PageRun(context, this, [this](bool busy) { showBusy(busy); });
  m_run->setKind(RunKind::Study);
  connect(m_context, &AppContext::languageChanged, this, &StudyPage::retranslate);
  retranslate();
}

StudyPage::~StudyPage() = default;

bool StudyPage::isBusy() const { return m_run && m_run->isBusy(); }

void StudyPage::buildControls() {
  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(4, 4, 4, 4);
  layout->setSpacing(4);

  auto* row1 = new QHBoxLayout;
  m_btnNew = NamedButton("BtnStudyNew", QStringLiteral("New"), this);
  m_btnOpen = NamedButton("BtnStudyOpen", QStringLiteral("Open manifest..."), this);
  m_btnSave = NamedButton("BtnStudySave", QStringLiteral("Save manifest..."), this);
  m_btnAdd = NamedButton("BtnStudyAddFiles", QStringLiteral("Add files..."), this);
  m_btnRemove = NamedButton("BtnStudyRemove", QStringLiteral("Remove rows"), this);
  m_rate = NamedEdit("EditStudyRate", QStringLiteral("2"), this, 60);
  m_bands = new QCheckBox(QStringLiteral("Bands"), this);
  m_bands->setObjectName(QStringLiteral("CheckStudyBands"));
  m_bands->setChecked(true);
  m_coherence = new QCheckBox(QStringLiteral("Coherence"), this);
  m_coherence->setObjectName(QStringLiteral("CheckStudyCoherence"));
  m_interSubject = new QCheckBox(QStringLiteral("Inter-subject level"), this);
  m_interSubject->setObjectName(QStringLiteral("CheckStudyInterSubject"));
  m_interSubject->setChecked(true);
  m_porh = new QCheckBox(QStringLiteral("Occlusion (PORH)"), this);
  m_porh->setObjectName(QStringLiteral("CheckStudyPorh"));
  m_heating = new QCheckBox(QStringLiteral("Heating"), this);
  m_heating->setObjectName(QStringLiteral("CheckStudyHeating"));
  for (QWidget* w : std::initializer_list<QWidget*>{m_btnNew, m_btnOpen, m_btnSave, m_btnAdd, m_btnRemove})
    row1->addWidget(w);
  row1->addSpacing(12);
  row1->addWidget(NamedLabel("LabelStudyMeasures", QStringLiteral("Measures:"), this));
  row1->addWidget(m_bands);
  row1->addWidget(m_coherence);
  row1->addWidget(m_interSubject);
  row1->addWidget(m_porh);
  row1->addWidget(m_heating);
  row1->addStretch(1);
  layout->addLayout(row1);

  // The protocol: where the conditions come from, and the intervals of the response measures.
  auto* rowProtocol = new QHBoxLayout;
  m_segments = new QComboBox(this);
  m_segments->setObjectName(QStringLiteral("ComboStudySegments"));
  for (int i = 0; i < 3; ++i) m_segments->addItem(QString());
  m_segmentList = NamedEdit("EditStudySegments", QString(), this);
  m_segmentList->setMinimumWidth(220);
  m_findOcclusions = new QCheckBox(QStringLiteral("Find occlusions"), this);
  m_findOcclusions->setObjectName(QStringLiteral("CheckStudyFindOcclusions"));
  m_baseline = NamedEdit("EditStudyBaseline", QString(), this, 130);
  m_heatingPhase = NamedEdit("EditStudyHeatingPhase", QStringLiteral("heating"), this, 110);
  m_maximum = NamedEdit("EditStudyMaximum", QString(), this, 110);
  rowProtocol->addWidget(NamedLabel("LabelStudyConditions", QStringLiteral("Conditions:"), this));
  rowProtocol->addWidget(m_segments);
  rowProtocol->addWidget(m_segmentList, 2);
  rowProtocol->addSpacing(12);
  rowProtocol->addWidget(m_findOcclusions);
  rowProtocol->addWidget(NamedLabel("LabelStudyBaseline", QStringLiteral("Baseline"), this));
  rowProtocol->addWidget(m_baseline, 1);
  rowProtocol->addWidget(NamedLabel("LabelStudyHeatingPhase", QStringLiteral("Heating phase"), this));
  rowProtocol->addWidget(m_heatingPhase, 1);
  rowProtocol->addWidget(NamedLabel("LabelStudyMaximum", QStringLiteral("Maximum"), this));
  rowProtocol->addWidget(m_maximum, 1);
  layout->addLayout(rowProtocol);

  auto* row2 = new QHBoxLayout;
  m_controls = AnalysisControls::Make(this, "Study");
  m_controls.addTo(row2);
  layout->addLayout(row2);

  auto* row3 = new QHBoxLayout;
  m_out = NamedEdit("EditStudyOut", QString(), this);
  m_out->setMinimumWidth(240);
  m_btnOut = NamedButton("BtnStudyOutBrowse", QStringLiteral("Folder..."), this);
  m_btnRun = NamedButton("BtnStudyRun", QStringLiteral("Run study"), this);
  m_btnReport = NamedButton("BtnStudyReport", QStringLiteral("PDF report..."), this);
  m_status = NamedLabel("LabelStudyStatus", QString(), this);
  m_status->setWordWrap(true);
  row3->addWidget(NamedLabel("LabelStudyOut", QStringLiteral("Output folder"), this));
  row3->addWidget(m_out, 2);
  row3->addWidget(m_btnOut);
  row3->addWidget(NamedLabel("LabelStudyRate", QStringLiteral("File rate, Hz"), this));
  row3->addWidget(m_rate);
  row3->addWidget(m_btnRun);
  row3->addWidget(m_btnReport);
  row3->addWidget(m_status, 3);
  layout->addLayout(row3);

  auto* split = new QSplitter(Qt::Horizontal, this);
  split->setObjectName(QStringLiteral("SplitterStudy"));
  auto* left = new QSplitter(Qt::Vertical, split);
  m_table = new QTableWidget(0, 0, left);
  m_table->setObjectName(QStringLiteral("TableStudyManifest"));
  m_table->setSelectionBehavior(QAbstractItemView::SelectRows);
  m_table->horizontalHeader()->setStretchLastSection(true);
  // Paths keep their file names in view: one line, cut at the left.
  m_table->setWordWrap(false);
  m_table->setTextElideMode(Qt::ElideLeft);
  m_table->verticalHeader()->setDefaultSectionSize(m_table->fontMetrics().height() + 6);
  FileDrop::InstallMany(m_table, [this](const QStringList& paths) { addFiles(paths); });
  auto* problemsBox = new QWidget(left);
  auto* problemsLayout = new QVBoxLayout(problemsBox);
  problemsLayout->setContentsMargins(0, 0, 0, 0);
  problemsLayout->setSpacing(2);
  problemsLayout->addWidget(NamedLabel("LabelStudyProblems", QStringLiteral("Recordings without a result:"), problemsBox));
  m_problems = new QListWidget(problemsBox);
  m_problems->setObjectName(QStringLiteral("ListStudyProblems"));
  m_problems->setWordWrap(true);
  problemsLayout->addWidget(m_problems, 1);
  left->addWidget(m_table);
  left->addWidget(problemsBox);
  left->setStretchFactor(0, 4);
  left->setStretchFactor(1, 1);

  auto* right = new QWidget(split);
  auto* rightLayout = new QVBoxLayout(right);
  rightLayout->setContentsMargins(0, 0, 0, 0);
  rightLayout->setSpacing(2);
  auto* chartRow = new QHBoxLayout;
  m_measure = new QComboBox(right);
  m_measure->setObjectName(QStringLiteral("ComboStudyMeasure"));
  m_measure->setSizeAdjustPolicy(QComboBox::AdjustToContents);
  m_by = new QComboBox(right);
  m_by->setObjectName(QStringLiteral("ComboStudyBy"));
  m_by->addItem(QString());
  m_by->addItem(QString());
  chartRow->addWidget(NamedLabel("LabelStudyMeasure", QStringLiteral("Measure"), right));
  chartRow->addWidget(m_measure);
  chartRow->addWidget(m_by);
  chartRow->addStretch(1);
  rightLayout->addLayout(chartRow);
  auto* rightSplit = new QSplitter(Qt::Vertical, right);
  m_chart = new QChart;
  m_chart->legend()->setAlignment(Qt::AlignBottom);
  m_chart->setMargins(QMargins(2, 2, 2, 2));
  m_chartView = new QChartView(m_chart, rightSplit);
  m_chartView->setObjectName(QStringLiteral("ChartStudyBoxes"));
  m_chartView->setRenderHint(QPainter::Antialiasing);
  m_chartView->setMinimumHeight(200);
  m_resultTabs = new QTabWidget(rightSplit);
  m_resultTabs->setObjectName(QStringLiteral("TabsStudyResults"));
  m_summary = new QStandardItemModel(this);
  m_tests = new QStandardItemModel(this);
  m_summaryView = new QTableView(m_resultTabs);
  m_summaryView->setObjectName(QStringLiteral("TableStudySummary"));
  m_summaryView->setModel(m_summary);
  m_testsView = new QTableView(m_resultTabs);
  m_testsView->setObjectName(QStringLiteral("TableStudyTests"));
  m_testsView->setModel(m_tests);
  for (QTableView* view : {m_summaryView, m_testsView}) {
    view->setEditTriggers(QAbstractItemView::NoEditTriggers);
    view->verticalHeader()->hide();
    view->verticalHeader()->setDefaultSectionSize(view->fontMetrics().height() + 6);
    view->horizontalHeader()->setSectionResizeMode(QHeaderView::ResizeToContents);
  }
  m_resultTabs->addTab(m_summaryView, QString());
  m_resultTabs->addTab(m_testsView, QString());
  rightSplit->addWidget(m_chartView);
  rightSplit->addWidget(m_resultTabs);
  rightSplit->setStretchFactor(0, 2);
  rightSplit->setStretchFactor(1, 3);
  rightLayout->addWidget(rightSplit, 1);
  split->addWidget(left);
  split->addWidget(right);
  split->setStretchFactor(0, 1);
  split->setStretchFactor(1, 1);
  split->setSizes({470, 810});  // the results need the room more than the manifest
  layout->addWidget(split, 1);

  setColumns({kBaseColumns, kBaseColumns + 5});

  connect(m_btnNew, &QPushButton::clicked, this, [this] {
    if (m_context->refuseWhileHeld()) return;
    m_table->setRowCount(0);
    setColumns({kBaseColumns, kBaseColumns + 5});
    m_folder.clear();
    m_manifestPath.clear();
  });
  connect(m_btnOpen, &QPushButton::clicked, this, [this] {
    const Language language = m_context->language();
    const QString path = QFileDialog::getOpenFileName(this, StudyText(SW::kOpenTitle, language), m_folder,
                                                      StudyText(SW::kManifestFilter, language));
    if (!path.isEmpty()) openManifest(path);
  });
  connect(m_btnSave, &QPushButton::clicked, this, [this] {
    const Language language = m_context->language();
    const QString path = QFileDialog::getSaveFileName(this, StudyText(SW::kSaveTitle, language),
                                                      m_manifestPath.isEmpty() ? m_folder : m_manifestPath,
                                                      StudyText(SW::kManifestFilter, language));
    if (!path.isEmpty()) saveManifest(path);
  });
  connect(m_btnAdd, &QPushButton::clicked, this, [this] {
    const QStringList paths = QFileDialog::getOpenFileNames(this, StudyText(SW::kAddTitle, m_context->language()),
                                                            m_folder);
    if (!paths.isEmpty()) addFiles(paths);
  });
  connect(m_btnRemove, &QPushButton::clicked, this, [this] {
    if (m_context->refuseWhileHeld()) return;
    std::set<int, std::greater<int>> rows;
    for (const QModelIndex& index : m_table->selectionModel()->selectedIndexes()) rows.insert(index.row());
    for (int row : rows) m_table->removeRow(row);
  });
  connect(m_btnOut, &QPushButton::clicked, this, [this] {
    const QString dir = QFileDialog::getExistingDirectory(this, StudyText(SW::kOutTitle, m_context->language()),
                                                          m_out->text());
    if (!dir.isEmpty()) m_out->setText(QDir::toNativeSeparators(dir));
  });
  connect(m_btnRun, &QPushButton::clicked, this, &StudyPage::run);
  connect(m_btnReport, &QPushButton::clicked, this, &StudyPage::reportDialog);
  connect(m_coherence, &QCheckBox::toggled, m_interSubject, &QWidget::setEnabled);
  m_interSubject->setEnabled(false);
  for (QCheckBox* box : {m_porh, m_heating}) connect(box, &QCheckBox::toggled, this, &StudyPage::enableProtocol);
  connect(m_segments, &QComboBox::currentIndexChanged, this, &StudyPage::enableProtocol);
  enableProtocol();
  connect(m_measure, &QComboBox::currentIndexChanged, this, &StudyPage::showChart);
  auto customBands = [this] { m_controls.customBands->setEnabled(m_controls.bands->currentIndex() == 2); };
  connect(m_controls.bands, &QComboBox::currentIndexChanged, this, customBands);
  customBands();
  connect(m_by, &QComboBox::currentIndexChanged, this, &StudyPage::showChart);
}

void StudyPage::retranslate() {
  const Language language = m_context->language();
  m_controls.retranslate(language);
  setColumns(m_columns);
  m_by->setItemText(0, StudyText(SW::kByGroup, language));
  m_segments->setItemText(0, StudyText(SW::kSegmentsWhole, language));
  m_segments->setItemText(1, StudyText(SW::kSegmentsMarkers, language));
  m_segments->setItemText(2, StudyText(SW::kSegmentsTyped, language));
  m_segmentList->setPlaceholderText(StudyText(SW::kSegmentsHint, language));
  m_baseline->setPlaceholderText(StudyText(SW::kBaselineHint, language));
  m_maximum->setPlaceholderText(StudyText(SW::kMaximumHint, language));
  for (QLineEdit* edit : {m_baseline, m_heatingPhase, m_maximum})
    edit->setToolTip(StudyText(SW::kIntervalHint, language));
  m_by->setItemText(1, StudyText(SW::kByCondition, language));
  m_resultTabs->setTabText(0, StudyText(SW::kTabSummary, language));
  m_resultTabs->setTabText(1, StudyText(SW::kTabTests, language));
  for (QComboBox* combo : findChildren<QComboBox*>()) combo->setMinimumWidth(combo->sizeHint().width());
  if (m_report) {
    m_status->setText(m_report->stopped ? StoppedText(language)
                                        : StudyText(SW::kDone, language)
                                              .arg(m_report->recordings)
                                              .arg(m_report->computed)
                                              .arg(m_report->reused)
                                              .arg(m_report->failed));
  }
  m_problems->clear();
  m_problems->addItems(problemTexts());
  for (int i = 0; i < m_measure->count(); ++i)
    m_measure->setItemText(i, StudyMeasureLabel(m_measure->itemData(i).toString().toStdString(), language));
  fillMeasures();  // the measures' names in the new language
  fillTables();
  showChart();
}

void StudyPage::setColumns(const std::vector<std::string>& columns) {
  const Language language = m_context->language();
  m_columns = columns;
  m_table->setColumnCount(static_cast<int>(columns.size()));
  QStringList headers;
  for (const std::string& name : columns) {
    QString header = QString::fromStdString(name);
    for (int i = 0; i < 5; ++i)
      if (name == kBaseColumns[i]) header = StudyText(kBaseWords[i], language);
    if (name == "markers") header = StudyText(SW::kColMarkers, language);
    headers << header;
  }
  m_table->setHorizontalHeaderLabels(headers);
  for (int c = 0; c < m_table->columnCount(); ++c) {
    const std::string& name = m_columns[static_cast<std::size_t>(c)];
    const bool path = name == "file" || name == "bf_file";
    m_table->horizontalHeader()->setSectionResizeMode(c, path ? QHeaderView::Stretch : QHeaderView::Interactive);
    if (!path) m_table->setColumnWidth(c, std::max(60, m_table->horizontalHeader()->sectionSizeHint(c)));
  }
}

QString StudyPage::cell(int row, int column) const {
  const QTableWidgetItem* item = m_table->item(row, column);
  return item ? item->text().trimmed() : QString();
}

void StudyPage::addRow(const QStringList& cells) {
  const int row = m_table->rowCount();
  m_table->insertRow(row);
  for (int c = 0; c < m_table->columnCount(); ++c)
    m_table->setItem(row, c, new QTableWidgetItem(c < cells.size() ? cells[c] : QString()));
  // A cut path is whole in its tooltip.
  for (int c = 0; c < m_table->columnCount(); ++c) m_table->item(row, c)->setToolTip(m_table->item(row, c)->text());
}

bool StudyPage::addFiles(const QStringList& paths) {
  if (m_context->refuseWhileHeld() || isBusy()) return false;
  auto columnOf = [this](const char* name) {
    return static_cast<int>(std::find(m_columns.begin(), m_columns.end(), name) - m_columns.begin());
  };
  const int fileColumn = columnOf("file");
  const int bfColumn = columnOf("bf_file");
  static const QRegularExpression kBloodFlow(QStringLiteral("[_-]bf$"), QRegularExpression::CaseInsensitiveOption);
  for (const QString& path : paths) {
    const QString subject = ProposedSubject(path);
    const QString whole = QDir::toNativeSeparators(QFileInfo(path).absoluteFilePath());
    // A BF file ("..._BF") joins the row of its T file when that row has no bf_file yet: one recording, a pair.
    if (kBloodFlow.match(QFileInfo(path).completeBaseName()).hasMatch()) {
      int partner = -1;
      for (int r = 0; r < m_table->rowCount() && partner < 0; ++r)
        if (cell(r, 0) == subject && cell(r, bfColumn).isEmpty()) partner = r;
      if (partner >= 0) {
        m_table->item(partner, bfColumn)->setText(whole);
        m_table->item(partner, bfColumn)->setToolTip(whole);
        continue;
      }
    }
    QStringList cells;
    for (int c = 0; c < static_cast<int>(m_columns.size()); ++c) cells << QString();
    cells[0] = subject;
    cells[fileColumn] = whole;
    addRow(cells);
  }
  return !paths.isEmpty();
}

std::string StudyPage::manifestText() const {
  std::string text;
  for (std::size_t c = 0; c < m_columns.size(); ++c) {
    if (c) text += ',';
    text += m_columns[c];
  }
  text += '\n';
  for (int r = 0; r < m_table->rowCount(); ++r) {
    std::string line;
    bool blank = true;
    for (int c = 0; c < m_table->columnCount(); ++c) {
      const QString value = cell(r, c);
      if (!value.isEmpty()) blank = false;
      if (c) line += ',';
      line += CsvField(value.toStdString());
    }
    if (!blank) text += line + '\n';
  }
  return text;
}

bool StudyPage::openManifest(const QString& path) {
  if (m_context->refuseWhileHeld() || isBusy()) return false;
  const Language language = m_context->language();
  bool readable = false;
  const std::string text = ReadBytes(path.toStdString(), readable);
  if (!readable) {
    m_context->showError(FileMissingText(QDir::toNativeSeparators(path), language));
    return false;
  }
  const std::filesystem::path folder = std::filesystem::path(path.toStdString()).parent_path();
  const ManifestParse parse = ParseStudyManifest(text, folder);
  if (!parse.ok()) {
    m_context->showError(QDir::toNativeSeparators(path) + QStringLiteral(": ") +
                         StudyManifestErrorText(*parse.error, language));
    return false;
  }
  // The table shows the fields as written; the base columns always, the reading columns the manifest has.
  std::vector<std::vector<std::string>> lines;
  std::istringstream in(text);
  std::string line;
  while (std::getline(in, line)) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (line.find_first_not_of(" \t") == std::string::npos) continue;
    if (auto fields = SplitCsvLine(line)) lines.push_back(std::move(*fields));
  }
  if (lines.empty()) return false;
  const std::vector<std::string>& header = lines.front();
  std::vector<std::string> columns(kBaseColumns, kBaseColumns + 5);
  for (const std::string& name : header)
    if (std::find(columns.begin(), columns.end(), name) == columns.end()) columns.push_back(name);
  m_table->setRowCount(0);
  setColumns(columns);
  for (std::size_t l = 1; l < lines.size(); ++l) {
    QStringList cells;
    for (const std::string& name : columns) {
      const auto at = std::find(header.begin(), header.end(), name);
      const std::size_t i = static_cast<std::size_t>(at - header.begin());
      cells << (at != header.end() && i < lines[l].size() ? QString::fromStdString(lines[l][i]) : QString());
    }
    addRow(cells);
  }
  m_folder = QString::fromStdString(folder.string());
  m_manifestPath = path;
  return true;
}

bool StudyPage::saveManifest(const QString& path) {
  const std::filesystem::path target = std::filesystem::path(path.toStdString()).parent_path();
  // Relative paths of the table start at the old manifest's folder: in another folder they are written whole.
  const std::string oldFolder = m_folder.toStdString();
  if (!oldFolder.empty() && std::filesystem::path(oldFolder) != target) {
    for (int c = 0; c < m_table->columnCount(); ++c) {
      const std::string& name = m_columns[static_cast<std::size_t>(c)];
      if (name != "file" && name != "bf_file" && name != "markers") continue;
      for (int r = 0; r < m_table->rowCount(); ++r) {
        const std::string value = cell(r, c).toStdString();
        if (value.empty() || std::filesystem::path(value).is_absolute()) continue;
        m_table->item(r, c)->setText(QString::fromStdString((std::filesystem::path(oldFolder) / value).string()));
      }
    }
  }
  if (const auto error = WriteFileAtomically(path.toStdString(), manifestText())) {
    m_context->showError(QDir::toNativeSeparators(path) + QStringLiteral(": ") + QString::fromStdString(*error));
    return false;
  }
  m_folder = QString::fromStdString(target.string());
  m_manifestPath = path;
  return true;
}

void StudyPage::enableProtocol() {
  const bool porh = m_porh->isChecked(), heating = m_heating->isChecked();
  m_segmentList->setEnabled(m_segments->currentIndex() == 2);
  // The finder cuts occlusions for the porh measures, or marks them among the markers that cut segments.
  m_findOcclusions->setEnabled(porh || m_segments->currentIndex() == 1);
  m_baseline->setEnabled(porh || heating);
  m_heatingPhase->setEnabled(heating);
  m_maximum->setEnabled(heating);
}

namespace {

// START:END seconds with 0 <= START < END; empty when the text is not one.
std::optional<TimeInterval> ReadInterval(const QString& text) {
  const QStringList parts = text.split(QLatin1Char(':'));
  if (parts.size() != 2) return std::nullopt;
  bool okStart = false, okEnd = false;
  const double start = ParseDecimal(parts[0].trimmed(), &okStart);
  const double end = ParseDecimal(parts[1].trimmed(), &okEnd);
  if (!okStart || !okEnd || !(start >= 0.0) || !(end > start)) return std::nullopt;
  return TimeInterval{start, end};
}

}  // namespace

bool StudyPage::readProtocol(StudySettings& settings) {
  const Language language = m_context->language();
  StudyProtocolSettings& p = settings.protocol;
  // The command line's names of what the protocol makes, in either language, so that a study's tables (and its
  // results, reused either way) are the same from the window and from kelvora-cli.
  p.names = {"before", "occlusion", "recovery", "heating"};
  p.heatingName = p.names.heating;
  const bool porh = m_porh->isChecked(), heating = m_heating->isChecked();
  if (m_segments->currentIndex() == 1) {
    p.segments = StudySegmentsMode::kMarkers;
  } else if (m_segments->currentIndex() == 2) {
    const QString text = m_segmentList->text().trimmed();
    if (text.isEmpty()) {
      m_context->showError(StudyText(SW::kNoTypedSegments, language));
      return false;
    }
    // A file (a name ending in .csv, or one without ':') is found from the manifest's folder.
    SegmentReadResult read;
    if (text.endsWith(QStringLiteral(".csv"), Qt::CaseInsensitive) || !text.contains(QLatin1Char(':'))) {
      std::filesystem::path file(QDir::fromNativeSeparators(text).toStdString());
      if (file.is_relative() && !m_folder.isEmpty()) file = std::filesystem::path(m_folder.toStdString()) / file;
      read = ReadSegmentTable(file.string());
    } else {
      read = ParseSegmentList(text.toStdString());
    }
    if (!read.ok() || read.segments.empty()) {
      m_context->showError(read.ok() ? StudyText(SW::kNoTypedSegments, language)
                                     : StudyText(SW::kTypedSegments, language).arg(MarkerFileErrorText(*read.error, language)));
      return false;
    }
    p.segments = StudySegmentsMode::kGiven;
    p.givenSegments = read.segments;
  }
  p.findOcclusions = m_findOcclusions->isEnabled() && m_findOcclusions->isChecked();
  // An interval's field: START:END, else a segment's name; text with ':' that is no interval is refused.
  auto field = [&](QLineEdit* edit, const char* labelName, std::optional<TimeInterval>& interval,
                   std::string& name) {
    const QString text = edit->text().trimmed();
    interval.reset();
    name.clear();
    if (text.isEmpty()) return true;
    interval = ReadInterval(text);
    if (interval) return true;
    if (text.contains(QLatin1Char(':'))) {
      const auto* label = findChild<QLabel*>(QString::fromLatin1(labelName));
      m_context->showError(StudyText(SW::kBadInterval, language).arg(label ? label->text() : QString(), text));
      return false;
    }
    name = text.toStdString();
    return true;
  };
  if ((porh || heating) && !field(m_baseline, "LabelStudyBaseline", p.baseline, p.baselineName)) return false;
  if (heating) {
    if (!field(m_maximum, "LabelStudyMaximum", p.maximum, p.maximumName)) return false;
    const QString text = m_heatingPhase->text().trimmed();
    const QStringList items = text.split(QLatin1Char(','), Qt::SkipEmptyParts);
    if (text.contains(QLatin1Char(':'))) {
      for (const QString& item : items) {
        const std::optional<TimeInterval> interval = ReadInterval(item.trimmed());
        if (!interval) {
          m_context->showError(StudyText(SW::kHeatingList, language).arg(item.trimmed()));
          return false;
        }
        p.heating.push_back(*interval);
      }
    } else if (!text.isEmpty()) {
      p.heatingName = text.toStdString();
    }
  }
  return true;
}

bool StudyPage::run() {
  if (m_context->refuseWhileHeld() || isBusy()) return false;
  const Language language = m_context->language();
  StudyJob job;
  job.language = language;
  job.separator = DecimalSeparatorByte();
  bool ok = false;
  const int rate = m_rate->text().trimmed().toInt(&ok);
  if (!ok || rate < 1 || rate > 1000000) {
    m_context->showError(StudyText(SW::kBadRate, language));
    return false;
  }
  job.defaultRateHz = rate;
  if (m_bands->isChecked()) job.settings.measures.assign(1, StudyMeasure::kBands);
  else job.settings.measures.clear();
  if (m_coherence->isChecked()) job.settings.measures.push_back(StudyMeasure::kCoherence);
  if (m_porh->isChecked()) job.settings.measures.push_back(StudyMeasure::kPorh);
  if (m_heating->isChecked()) job.settings.measures.push_back(StudyMeasure::kHeating);
  if (job.settings.measures.empty()) {
    m_context->showError(StudyText(SW::kNoMeasure, language));
    return false;
  }
  const bool coherence = m_coherence->isChecked();
  QString error;
  const auto values = m_controls.read(rate, 1, coherence, language, &error);
  if (!values) {
    m_context->showError(error);
    return false;
  }
  job.directory = QDir::fromNativeSeparators(m_out->text().trimmed()).toStdString();
  if (job.directory.empty()) {
    m_context->showError(StudyText(SW::kNoOut, language));
    return false;
  }
  job.manifestText = manifestText();
  job.manifestPath = m_manifestPath.toStdString();
  const ManifestParse parse = ParseStudyManifest(job.manifestText, std::filesystem::path(m_folder.toStdString()));
  if (!parse.ok()) {
    m_context->showError(parse.error->kind == ManifestErrorKind::kNoRecordings
                             ? StudyText(SW::kNoRows, language)
                             : StudyManifestErrorText(*parse.error, language));
    return false;
  }
  if (!readProtocol(job.settings)) return false;
  // Markers given for nothing that takes them are refused rather than left unused in silence.
  for (const StudyEntry& entry : parse.entries)
    if (!entry.markers.empty() && !StudyUsesMarkers(job.settings)) {
      m_context->showError(StudyText(SW::kMarkersColumn, language).arg(entry.line));
      return false;
    }
  if (coherence) {
    for (const StudyEntry& entry : parse.entries)
      if (!entry.paired()) {
        m_context->showError(StudyText(SW::kNeedsPair, language).arg(entry.line));
        return false;
      }
  }
  job.entries = parse.entries;
  StudySettings& settings = job.settings;
  settings.programVersion = KELVORA_VERSION;
  settings.analysis = values->analysis;
  settings.analysis.threads = 0;  // the study runs recordings side by side, each on one thread
  settings.coherence.surrogatePairs = values->surrogates;
  settings.coherence.seed = values->seed;
  if (const TransformSession* session = m_context->session()) {
    const TissueParameters& tissue = session->tissueParameters();
    settings.coherence.tissue.lambda = tissue.wave.lambda;
    settings.coherence.tissue.rho = tissue.shitzer.rhoSkin;
    settings.coherence.tissue.heatCapacity = tissue.wave.heatCapacity;
  }
  settings.interSubject = m_interSubject->isChecked();
  // The notes of rows.csv in the language of the run, as the Analysis page's tables are written.
  settings.notes.band = [language](const BandRow& row) {
    return AnalysisNoteText(row.note, row.neededMinutes, language, '.').toStdString();
  };
  settings.notes.measures = [language](const std::vector<MeasureNote>& notes) {
    QStringList texts;
    for (const MeasureNote note : notes) texts << MeasureNoteText(note, language);
    return texts.join(QStringLiteral("; ")).toStdString();
  };
  job.workers = AnalysisWorkerCount(m_context->potoks());
  m_madeWith = settings.analysis;
  m_madeWith.sampleRateHz = rate;

  auto shared = std::make_shared<const StudyJob>(std::move(job));
  return m_run->start([this, shared, sink = &m_run->sink()]() -> PageRun::Outcome {
    auto result = std::make_shared<StudyJobResult>(RunStudyJob(*shared, *sink));
    return {[this, result] {
              if (!result->writeErrors.isEmpty()) m_context->showError(result->writeErrors.join(QLatin1Char('\n')));
              showRun(result->report, result->tables);
            },
            !result->report.stopped};
  });
}

QStringList StudyPage::problemTexts() const {
  const Language language = m_context->language();
  QStringList texts;
  if (!m_report) return texts;
  for (const Problem& problem : m_report->problems) {
    const QString reason = problem.readError     ? RecordFileErrorText(*problem.readError, language)
                           : problem.markerError ? MarkerFileErrorText(*problem.markerError, language)
                           : problem.protocolError
                               ? StudyProtocolErrorText(*problem.protocolError, problem.error->path, language)
                           : problem.error ? StudyErrorText(*problem.error, m_madeWith, language)
                           : problem.state == StudyRecordingState::kNotRun ? StudyText(SW::kNotRun, language)
                                                                           : StudyText(SW::kNoResultFile, language);
    texts << StudyText(SW::kLine, language).arg(problem.line).arg(reason);
  }
  return texts;
}

void StudyPage::showBusy(bool busy) {
  for (QWidget* w : std::initializer_list<QWidget*>{m_btnNew, m_btnOpen, m_btnAdd, m_btnRemove, m_btnRun,
                                                   m_btnReport})
    w->setEnabled(!busy);
  m_table->setEditTriggers(busy ? QAbstractItemView::NoEditTriggers
                                : QAbstractItemView::DoubleClicked | QAbstractItemView::EditKeyPressed |
                                      QAbstractItemView::AnyKeyPressed);
}

void StudyPage::showRun(const RunReport& report, std::shared_ptr<const StudyTables> tables) {
  m_report = report;
  if (tables) m_tables = std::move(tables);
  retranslate();
}

void StudyPage::fillTables() {
  const Language language = m_context->language();
  m_summary->clear();
  m_tests->clear();
  QStringList summaryHeaders, testHeaders;
  for (SW word : kSummaryWords) summaryHeaders << StudyText(word, language);
  for (SW word : kTestWords) testHeaders << StudyText(word, language);
  m_summary->setHorizontalHeaderLabels(summaryHeaders);
  m_tests->setHorizontalHeaderLabels(testHeaders);
  if (!m_tables) return;
  for (const StudySummaryRow& row : m_tables->summary) {
    const SampleSummary s = Summarize(row.values);
    m_summary->appendRow({TextItem(QString::fromStdString(row.group)), TextItem(QString::fromStdString(row.condition)),
                          TextItem(BandName(row.band, language)), TextItem(StudyMeasureLabel(row.measure, language)),
                          NumberItem(static_cast<double>(s.n)), NumberItem(s.median), NumberItem(s.q1),
                          NumberItem(s.q3), NumberItem(s.mean), NumberItem(s.sd)});
  }
  for (const StudyTestRow& row : m_tables->tests) {
    m_tests->appendRow({TextItem(BandName(row.band, language)), TextItem(StudyMeasureLabel(row.measure, language)),
                        TextItem(StudyComparisonLabel(row.comparison, language)),
                        TextItem(StudyTestLabel(row.test, language)),
                        NumberItem(static_cast<double>(row.n)), NumberItem(row.statistic), NumberItem(row.p),
                        NumberItem(row.pHolm), NumberItem(row.estimate)});
  }
}

void StudyPage::fillMeasures() {
  const QString current = m_measure->currentData().toString();
  QStringList measures;
  if (m_tables)
    for (const StudySummaryRow& row : m_tables->summary) {
      const QString name = QString::fromStdString(row.measure);
      if (!measures.contains(name)) measures << name;
    }
  const QSignalBlocker block(m_measure);
  m_measure->clear();
  for (const QString& name : measures)
    m_measure->addItem(StudyMeasureLabel(name.toStdString(), m_context->language()), name);
  const int keep = measures.indexOf(current);
  m_measure->setCurrentIndex(keep >= 0 ? keep : 0);
}

void StudyPage::showChart() {
  const Language language = m_context->language();
  // A new chart each time: the axes of the last one go with it (removed axes leave their labels drawn). The old
  // one goes when the event loop next runs: deleted at once, under the view's pending paint, it crashed.
  QChart* old = m_chart;
  m_chart = new QChart;
  m_chart->legend()->setAlignment(Qt::AlignBottom);
  m_chart->setMargins(QMargins(2, 2, 2, 2));
  m_chartView->setChart(m_chart);
  old->deleteLater();
  const std::string measure = m_measure->currentData().toString().toStdString();
  if (!m_tables || measure.empty()) return;
  // A band measure per band; a response measure (no band) on its own.
  const bool banded = std::any_of(m_tables->summary.begin(), m_tables->summary.end(),
                                  [&](const StudySummaryRow& row) { return row.measure == measure && !row.band.empty(); });
  m_chart->setTitle(banded ? StudyText(SW::kChartTitle, language).arg(m_measure->currentText()) : m_measure->currentText());
  const bool byGroup = m_by->currentIndex() == 0;
  // The boxes: per key (group or condition label) and band, every subject's value of the measure.
  std::vector<std::string> bands, keys;
  std::map<std::pair<std::string, std::string>, std::vector<double>> values;
  for (const StudySummaryRow& row : m_tables->summary) {
    if (row.measure != measure) continue;
    const std::string& key = byGroup ? row.group : row.condition;
    if (std::find(bands.begin(), bands.end(), row.band) == bands.end()) bands.push_back(row.band);
    if (std::find(keys.begin(), keys.end(), key) == keys.end()) keys.push_back(key);
    auto& list = values[{key, row.band}];
    for (double v : row.values)
      if (std::isfinite(v)) list.push_back(v);
  }
  // The bands in the order of the analysis settings (low to high), not in the order the rows first name them.
  auto rank = [this](const std::string& band) {
    const auto& set = m_madeWith.bands;
    const auto it = std::find_if(set.begin(), set.end(), [&](const AnalysisBand& b) { return b.name == band; });
    return static_cast<std::size_t>(it - set.begin());
  };
  std::stable_sort(bands.begin(), bands.end(),
                   [&](const std::string& a, const std::string& b) { return rank(a) < rank(b); });
  auto* categories = new QBarCategoryAxis;
  for (const std::string& band : bands)
    categories->append(band.empty() ? StudyText(SW::kResponseBand, language) : BandName(band, language));
  auto* axisY = new QValueAxis;
  axisY->setTitleText(m_measure->currentText());
  axisY->setLabelFormat(QStringLiteral("%.3g"));
  m_chart->addAxis(categories, Qt::AlignBottom);
  m_chart->addAxis(axisY, Qt::AlignLeft);
  double low = 0.0, high = 0.0;
  bool any = false;
  for (const std::string& key : keys) {
    auto* series = new QBoxPlotSeries;
    series->setName(key.empty() ? StudyText(SW::kNoGroup, language) : QString::fromStdString(key));
    for (const std::string& band : bands) {
      const auto it = values.find({key, band});
      auto* set = new QBoxSet(band.empty() ? StudyText(SW::kResponseBand, language) : BandName(band, language));
      if (it == values.end() || it->second.empty()) {
        // No box here: an invisible one keeps the others at their bands.
        set->setPen(Qt::NoPen);
        set->setBrush(Qt::NoBrush);
        if (any) {
          for (int i = 0; i < 5; ++i) set->setValue(i, low);
        }
      } else {
        const std::vector<double>& v = it->second;
        const double lo = *std::min_element(v.begin(), v.end());
        const double hi = *std::max_element(v.begin(), v.end());
        set->setValue(QBoxSet::LowerExtreme, lo);
        set->setValue(QBoxSet::LowerQuartile, Quantile(v, 0.25).value_or(lo));
        set->setValue(QBoxSet::Median, Quantile(v, 0.5).value_or(lo));
        set->setValue(QBoxSet::UpperQuartile, Quantile(v, 0.75).value_or(hi));
        set->setValue(QBoxSet::UpperExtreme, hi);
        low = any ? std::min(low, lo) : lo;
        high = any ? std::max(high, hi) : hi;
        any = true;
      }
      series->append(set);
    }
    m_chart->addSeries(series);
    series->attachAxis(categories);
    series->attachAxis(axisY);
  }
  if (any) {
    const double pad = high > low ? 0.05 * (high - low) : std::max(1e-12, std::fabs(high) * 0.05 + 1e-12);
    // Values that cannot be negative (amplitudes, coherence, percentages) keep the axis at or above zero.
    axisY->setRange(low >= 0.0 ? std::max(0.0, low - pad) : low - pad, high + pad);
  }
}

bool StudyPage::writeReport(const QString& path) {
  const Language language = m_context->language();
  if (!m_tables || !m_report) {
    m_context->showError(StudyText(SW::kNoResult, language));
    return false;
  }
  PdfReport report;
  report.title = StudyText(SW::kReportHeading, language) +
                 (m_manifestPath.isEmpty() ? QString() : QStringLiteral(": ") + QFileInfo(m_manifestPath).fileName());
  report.columns = 2;
  report.cells.push_back([this](QPainter& painter, const QRect& rect) { RenderWidgetCell(painter, m_chartView, rect); });
  report.cells.push_back([this](QPainter& painter, const QRect& rect) { RenderWidgetCell(painter, m_summaryView, rect); });
  report.lines << m_status->text();
  report.lines << QString::fromStdString(m_report->settingsJson);
  // The page has room for two columns of lines: the tests of the measure the box plots show, the first failures.
  const std::string measure = m_measure->currentData().toString().toStdString();
  for (const StudyTestRow& row : m_tables->tests) {
    if (row.measure != measure) continue;
    report.lines << QStringLiteral("%1 %2 %3 %4: n %5, p %6, p Holm %7")
                        .arg(BandName(row.band, language), StudyMeasureLabel(row.measure, language),
                             StudyComparisonLabel(row.comparison, language), StudyTestLabel(row.test, language))
                        .arg(row.n)
                        .arg(FormatDecimal(row.p, 4), FormatDecimal(row.pHolm, 4));
  }
  const QStringList problems = problemTexts();
  constexpr int kProblemLines = 8;
  report.lines << problems.mid(0, kProblemLines);
  if (problems.size() > kProblemLines)
    report.lines << StudyText(SW::kMoreProblems, language).arg(problems.size() - kProblemLines);
  report.textPercent = 40;
  if (const auto error = WritePdfReport(path, report)) {
    m_context->showError(QDir::toNativeSeparators(path) + QStringLiteral(": ") + *error);
    return false;
  }
  return true;
}

void StudyPage::reportDialog() {
  const Language language = m_context->language();
  if (!m_tables) {
    m_context->showError(StudyText(SW::kNoResult, language));
    return;
  }
  const QString start = m_out->text().isEmpty() ? QString() : QDir(m_out->text()).filePath(QStringLiteral("page.pdf"));
  const QString path =
      QFileDialog::getSaveFileName(this, StudyText(SW::kReportTitle, language), start, QStringLiteral("PDF (*.pdf)"));
  if (!path.isEmpty()) writeReport(path);
}

}  // namespace kelvora
