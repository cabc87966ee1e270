// The "Study" page: a manifest of generated recordings in two groups (one of them unreadable) dropped on the table
// and run against the library's study of the same manifest, STOP and the resume after it, a manifest saved and
// opened again, and a protocol of segments, occlusions and heating against the command-line study.
#include "pages/study_page.h"

#include <QAction>
#include <QBoxPlotSeries>
#include <QBoxSet>
#include <QChart>
#include <QChartView>
#include <QCheckBox>
#include <QComboBox>
#include <QSpinBox>
#include <QDir>
#include <QDropEvent>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMimeData>
#include <QProcess>
#include <QPushButton>
#include <QStandardItemModel>
#include <QTableView>
#include <QTableWidget>
#include <QTemporaryDir>
#include <QUrl>
#include <QtTest>
#include <cmath>
#include <filesystem>
#include <fstream>
#include <memory>
#include <numbers>
#include <sstream>

#include "analysis/study.h"
#include "analysis/study_manifest.h"
#include "core/file_digest.h"
#include "formats/record_file.h"
#include "shell/app_context.h"
#include "shell/language_tables.h"
#include "shell/main_window.h"
#include "window_under_test.h"
#include "shell/task_runner.h"
#include "signals/transform_session.h"
#include "workspace_test_support.h"

using namespace kelvora;

namespace {

// Subject k: tones at 0.1 and 0.3 Hz at 2 Hz whose sizes grow with k, so that the groups differ.
std::vector<double> Recording(int k, int count) {
  std::vector<double> values(static_cast<std::size_t>(count));
  for (int n = 0; n < count; ++n) {
    const double t = n / 2.0;
    values[static_cast<std::size_t>(n)] = (1.0 + 0.3 * k) * std::cos(2 * std::numbers::pi * 0.1 * t) +
                                          (0.5 + 0.1 * k * k) * std::cos(2 * std::numbers::pi * 0.3 * t + k);
  }
  return values;
}

std::string ReadAll(const QString& path) {
  std::ifstream in(path.toStdString(), std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

// The library's study of a manifest text (each file read through ReadRecordFile at 2 Hz), as the CLI runs it.
StudyTables LibraryStudy(const std::string& manifest, const std::string& directory, int& failed,
                         StudySettings settings = {}, int* reused = nullptr) {
  const ManifestParse parse = ParseStudyManifest(manifest, {});
  settings.programVersion = KELVORA_VERSION;
  // The page writes the notes of rows.csv in its language, as the Analysis page's tables.
  settings.notes.band = [](const BandRow& row) {
    return AnalysisNoteText(row.note, row.neededMinutes, Language::English, '.').toStdString();
  };
  StudyLoader loader = [](const StudyEntry& entry, bool bloodFlow) {
    RecordReadOptions options;
    options.defaultRateHz = 2;
    RecordFileResult read = ReadRecordFile(bloodFlow ? entry.bfFile : entry.file, options);
    StudyLoadResult loaded;
    if (!read.ok()) return loaded;
    read.record.values.resize(static_cast<std::size_t>(read.record.count()));
    loaded.record.emplace();
    loaded.record->values = read.record.values;
    loaded.record->sampleRateHz = read.sampleRateHz;
    return loaded;
  };
  StudyRunOptions run;
  run.directory = directory;
  run.workers = 2;
  for (std::size_t i = 0; i < parse.entries.size(); ++i) run.selection.push_back(i);
  const StudyRunOutcome outcome = RunStudy(parse.entries, settings, loader, run);
  std::vector<StudyResultFile> results;
  failed = 0;
  if (reused) *reused = 0;
  for (const StudyRecordingOutcome& o : outcome.outcomes) {
    if (reused && o.state == StudyRecordingState::kReused) ++*reused;
    const auto result = ParseStudyResult(
        ReadAll(QString::fromStdString(directory + "/results/" + o.key + ".csv")));
    if (o.state == StudyRecordingState::kFailed || !result) {
      ++failed;
      continue;
    }
    results.push_back(*result);
  }
  return BuildStudyTables(results);
}

// Flux of subject k at 2 Hz for 40 min: rest, an occlusion at 600-780 s (flux at 8 % of rest), a hyperaemic peak
// decaying after it, and local heating from 1500 s with an initial peak, a nadir and a plateau. The sizes grow
// with k, so that the groups differ.
std::vector<double> ProtocolFlux(int k) {
  std::vector<double> flux(4800);
  for (std::size_t n = 0; n < flux.size(); ++n) {
    const double t = static_cast<double>(n) / 2.0;
    double level = 100.0 + 4.0 * k;
    if (t >= 600.0 && t < 780.0) level = 8.0;
    if (t >= 780.0 && t < 1500.0) level += (60.0 + 10.0 * k) * std::exp(-(t - 780.0) / 60.0);
    if (t >= 1500.0) {
      const double u = t - 1500.0;
      level += (120.0 + 5.0 * k) * (1.0 - std::exp(-u / 20.0)) * std::exp(-u / 120.0) + (90.0 + 8.0 * k) * (1.0 - std::exp(-u / 300.0));
    }
    flux[n] = level + (3.0 + 0.5 * k) * std::cos(2 * std::numbers::pi * 0.1 * t) +
              2.0 * std::cos(2 * std::numbers::pi * 0.02 * t + k);
  }
  return flux;
}

bool WriteText(const QString& path, const std::string& text) {
  QFile file(path);
  return file.open(QIODevice::WriteOnly) && file.write(text.c_str(), static_cast<qint64>(text.size())) ==
                                                static_cast<qint64>(text.size());
}

// The rows of a table without its last field (rows.csv's note, which each program words itself).
std::string WithoutLastField(const std::string& text) {
  std::istringstream in(text);
  std::string line, out;
  while (std::getline(in, line)) out += line.substr(0, line.rfind(',')) + "\n";
  return out;
}

std::vector<std::vector<std::string>> CsvRows(const std::string& text) {
  std::vector<std::vector<std::string>> rows;
  std::istringstream in(text);
  std::string line;
  std::getline(in, line);  // the header
  while (std::getline(in, line)) rows.push_back(*SplitCsvLine(line));
  return rows;
}

}  // namespace

class StudyPageTest : public QObject {
  Q_OBJECT

 private slots:
  void init();
  void cleanup();
  void droppedRecordingsGiveTheLibrarysTablesAndTheBadOneIsListed();
  void stopSaysStoppedAndTheNextRunComputesOnlyWhatWasMissing();
  void savedManifestOpensAgainAndABadOneIsRefused();
  void pairsDroppedTogetherGiveTheLibrarysCoherenceSummary();
  void protocolGivesTheCommandLineStudysTables_data();
  void protocolGivesTheCommandLineStudysTables();
  void prevailPairsWithRestAndCyclesGiveTheCommandLineStudysTables();

 private:
  StudyPage* page() const { return m_window->studyPage(); }
  template <typename T>
  T* find(const char* name) const {
    T* widget = m_window->findChild<T*>(QString::fromLatin1(name));
    if (!widget) qFatal("no widget %s", name);
    return widget;
  }
  // `count` recordings of `samples` samples, named s01.txt ..; returns their paths.
  QStringList writeRecordings(int count, int samples);
  void drop(const QStringList& paths);
  void setGroups(const QStringList& groups);
  void runAndWait();
  // Runs the study into the folder m_dir/name and gives its path.
  QString runInto(const QString& name);
  void shoot(const QString& name);

  std::unique_ptr<QTemporaryDir> m_dir;
  std::unique_ptr<TForm1> m_window;
  QStringList m_errors;
};

void StudyPageTest::init() {
  QVERIFY(test::OpenWindowUnderTest(m_dir, m_window, m_errors, QSize(1280, 800)));
  find<QTabWidget>("PageControl1")->setCurrentWidget(page());
}

void StudyPageTest::cleanup() {
  m_window.reset();
  m_dir.reset();
}

QStringList StudyPageTest::writeRecordings(int count, int samples) {
  QStringList paths;
  for (int k = 1; k <= count; ++k) {
    const QString path = m_dir->filePath(QStringLiteral("s%1_T.txt").arg(k, 2, 10, QLatin1Char('0')));
    if (!test::WriteSamples(path, Recording(k, samples))) qFatal("cannot write %s", qPrintable(path));
    paths << path;
  }
  return paths;
}

// Drops `paths` on the manifest table as a file manager would.
void StudyPageTest::drop(const QStringList& paths) {
  auto* table = find<QTableWidget>("TableStudyManifest");
  QMimeData mime;
  QList<QUrl> urls;
  for (const QString& path : paths) urls << QUrl::fromLocalFile(path);
  mime.setUrls(urls);
  const QPointF at(20, 20);
  QDragEnterEvent enter(at.toPoint(), Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
  QApplication::sendEvent(table->viewport(), &enter);
  QDropEvent dropEvent(at, Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
  QApplication::sendEvent(table->viewport(), &dropEvent);
  QCoreApplication::processEvents();
}

void StudyPageTest::setGroups(const QStringList& groups) {
  auto* table = find<QTableWidget>("TableStudyManifest");
  for (int r = 0; r < groups.size(); ++r) table->item(r, 1)->setText(groups[r]);
}

void StudyPageTest::runAndWait() {
  QTest::mouseClick(find<QPushButton>("BtnStudyRun"), Qt::LeftButton);
  m_window->runner()->waitForIdle();
  QCoreApplication::processEvents();
}

QString StudyPageTest::runInto(const QString& name) {
  const QString out = m_dir->filePath(name);
  find<QLineEdit>("EditStudyOut")->setText(out);
  runAndWait();
  return out;
}

// With KELVORA_SHOTS set: the window as it is, in English and in Russian, into that folder.
void StudyPageTest::shoot(const QString& name) {
  const QString folder = qEnvironmentVariable("KELVORA_SHOTS");
  if (folder.isEmpty()) return;
  QDir().mkpath(folder);
  for (const char* language : {"English1", "N2"}) {
    find<QAction>(language)->trigger();
    QCoreApplication::processEvents();
    m_window->grab().save(QDir(folder).filePath(name + (language[0] == 'E' ? "_en.png" : "_ru.png")));
  }
  find<QAction>("English1")->trigger();
}

void StudyPageTest::droppedRecordingsGiveTheLibrarysTablesAndTheBadOneIsListed() {
  QStringList paths = writeRecordings(6, 1200);
  const QString bad = m_dir->filePath(QStringLiteral("s07_T.txt"));
  QVERIFY(test::WriteSamples(bad, {}, QStringLiteral("not a number")));
  paths.insert(4, bad);  // manifest line 6
  drop(paths);
  auto* table = find<QTableWidget>("TableStudyManifest");
  QCOMPARE(table->rowCount(), 7);
  QCOMPARE(table->item(0, 0)->text(), QStringLiteral("s01"));  // the subject from the file's name
  setGroups({"control", "control", "control", "patient", "patient", "patient", "patient"});
  const QString out = runInto(QStringLiteral("out"));
  QVERIFY2(m_errors.isEmpty(), qPrintable(m_errors.join(QLatin1Char('\n'))));
  QVERIFY(page()->lastRun());
  QCOMPARE(page()->lastRun()->computed, 6);
  QCOMPARE(page()->lastRun()->failed, 1);

  // The bad recording is listed with its manifest line.
  auto* problems = find<QListWidget>("ListStudyProblems");
  QCOMPARE(problems->count(), 1);
  QVERIFY2(problems->item(0)->text().startsWith(QStringLiteral("Line 6: ")), qPrintable(problems->item(0)->text()));

  // The folder holds the library's tables of the same manifest, byte for byte.
  int failed = 0;
  const StudyTables oracle =
      LibraryStudy(page()->manifestText(), m_dir->filePath(QStringLiteral("library")).toStdString(), failed);
  QCOMPARE(failed, 1);
  QVERIFY(oracle.summary.size() > 4);
  QCOMPARE(ReadAll(out + QStringLiteral("/rows.csv")), oracle.rowsCsv);
  QCOMPARE(ReadAll(out + QStringLiteral("/summary.csv")), oracle.summaryCsv);
  QCOMPARE(ReadAll(out + QStringLiteral("/tests.csv")), oracle.testsCsv);
  // The CLI's settings (the library's defaults) on the page's folder take every result the page kept.
  int reused = 0;
  LibraryStudy(page()->manifestText(), out.toStdString(), failed, {}, &reused);
  QCOMPARE(reused, 6);
  const std::string provenance = ReadAll(out + QStringLiteral("/provenance.json"));
  QVERIFY(provenance.find(*FileSha256Hex(paths[0].toStdString())) != std::string::npos);

  // The summary table shows the library's n and median of every group, band and measure.
  auto* summary = qobject_cast<QStandardItemModel*>(find<QTableView>("TableStudySummary")->model());
  const auto rows = CsvRows(oracle.summaryCsv);
  QCOMPARE(summary->rowCount(), static_cast<int>(rows.size()));
  for (int r = 0; r < summary->rowCount(); ++r) {
    QCOMPARE(summary->item(r, 0)->text().toStdString(), rows[r][0]);
    QCOMPARE(summary->item(r, 4)->data(Qt::UserRole).toDouble(), std::stod(rows[r][4]));
    QCOMPARE(summary->item(r, 5)->data(Qt::UserRole).toDouble(), std::stod(rows[r][5]));
  }
  QCOMPARE(find<QTableView>("TableStudyTests")->model()->rowCount(), static_cast<int>(oracle.tests.size()));

  // The box plots of "amplitude" by group: one series per group, its medians the summary's.
  auto* measure = find<QComboBox>("ComboStudyMeasure");
  measure->setCurrentIndex(measure->findData(QStringLiteral("amplitude")));
  QVERIFY(measure->currentIndex() >= 0);
  const QList<QAbstractSeries*> series = find<QChartView>("ChartStudyBoxes")->chart()->series();
  QCOMPARE(series.size(), 2);
  auto* patients = qobject_cast<QBoxPlotSeries*>(series[1]);
  QCOMPARE(patients->name(), QStringLiteral("patient"));
  auto* controls = qobject_cast<QBoxPlotSeries*>(series[0]);
  int band = 0;
  for (const auto& row : rows) {
    if (row[3] != "amplitude" || row[0] != "control") continue;
    QCOMPARE(controls->boxSets()[band]->at(QBoxSet::Median), std::stod(row[5]));
    ++band;
  }
  QVERIFY(band >= 2);
  QCOMPARE(patients->count(), band);

  // The page's PDF.
  const QString pdf = m_dir->filePath(QStringLiteral("page.pdf"));
  QVERIFY(page()->writeReport(pdf));
  QVERIFY(ReadAll(pdf).rfind("%PDF", 0) == 0);
  shoot(QStringLiteral("study"));
  find<QTabWidget>("TabsStudyResults")->setCurrentIndex(1);
  shoot(QStringLiteral("study_tests"));
}

void StudyPageTest::stopSaysStoppedAndTheNextRunComputesOnlyWhatWasMissing() {
  page()->addFiles(writeRecordings(16, 8000));
  setGroups({"a", "a", "a", "a", "a", "a", "a", "a", "b", "b", "b", "b", "b", "b", "b", "b"});
  const QString out = m_dir->filePath(QStringLiteral("out"));
  find<QLineEdit>("EditStudyOut")->setText(out);
  find<QAction>("N2")->trigger();
  QTest::mouseClick(find<QPushButton>("BtnStudyRun"), Qt::LeftButton);
  QVERIFY(page()->isBusy());
  QVERIFY(!find<QPushButton>("BtnStudyRun")->isEnabled());
  // STOP once the first recording's result is kept.
  QTRY_VERIFY_WITH_TIMEOUT(!QDir(out + QStringLiteral("/results")).entryList(QDir::Files).isEmpty(), 30000);
  QTest::mouseClick(find<QPushButton>("BtnStop"), Qt::LeftButton);
  m_window->runner()->waitForIdle();
  QCoreApplication::processEvents();
  QVERIFY(m_errors.isEmpty());
  QVERIFY(page()->lastRun() && page()->lastRun()->stopped);
  QCOMPARE(find<QLabel>("LabelStudyStatus")->text(), QStringLiteral("Остановлено"));
  QCOMPARE(find<QLabel>("StatusRun")->text(), QStringLiteral("Остановлено"));
  const int done = page()->lastRun()->computed;
  QVERIFY2(done >= 1 && done < 16, qPrintable(QString::number(done)));
  // A stopped study writes no tables of part of its recordings.
  QVERIFY(!QFile::exists(out + QStringLiteral("/summary.csv")));
  QCOMPARE(QDir(out + QStringLiteral("/results")).entryList(QDir::Files).size(), done);

  runAndWait();
  QVERIFY(m_errors.isEmpty());
  QCOMPARE(page()->lastRun()->reused, done);
  QCOMPARE(page()->lastRun()->computed, 16 - done);
  QVERIFY(QFile::exists(out + QStringLiteral("/summary.csv")));
  QVERIFY(find<QPushButton>("BtnStudyRun")->isEnabled());
}

void StudyPageTest::savedManifestOpensAgainAndABadOneIsRefused() {
  page()->addFiles(writeRecordings(3, 100));
  setGroups({"g, with comma", "g, with comma", "h"});
  const QString path = m_dir->filePath(QStringLiteral("sub/manifest.csv"));
  QVERIFY(QDir().mkpath(m_dir->filePath(QStringLiteral("sub"))));
  QVERIFY(page()->saveManifest(path));
  const std::string saved = page()->manifestText();
  QTest::mouseClick(find<QPushButton>("BtnStudyNew"), Qt::LeftButton);
  QCOMPARE(find<QTableWidget>("TableStudyManifest")->rowCount(), 0);
  QVERIFY(page()->openManifest(path));
  QCOMPARE(page()->manifestText(), saved);
  QCOMPARE(ReadAll(path), saved);

  // A manifest with an unknown column is refused with its line, and the table stays.
  const QString bad = m_dir->filePath(QStringLiteral("bad.csv"));
  QFile file(bad);
  QVERIFY(file.open(QIODevice::WriteOnly));
  file.write("subject,file,colour\na,x.txt,red\n");
  file.close();
  QVERIFY(!page()->openManifest(bad));
  QCOMPARE(m_errors.size(), 1);
  QVERIFY2(m_errors[0].contains(QStringLiteral("colour")), qPrintable(m_errors[0]));
  QCOMPARE(page()->manifestText(), saved);

  // Markers cut segments only in the command-line study: a manifest giving them is refused at Run with its
  // line, and nothing is written, rather than studied whole in silence.
  const QString marked = m_dir->filePath(QStringLiteral("sub/marked.csv"));
  QFile markedFile(marked);
  QVERIFY(markedFile.open(QIODevice::WriteOnly));
  markedFile.write("subject,file,markers\ns01,../s01.txt,\ns02,../s02.txt,m.csv\n");
  markedFile.close();
  QVERIFY(page()->openManifest(marked));
  const QString out = m_dir->filePath(QStringLiteral("marked-out"));
  find<QLineEdit>("EditStudyOut")->setText(out);
  m_errors.clear();
  QTest::mouseClick(find<QPushButton>("BtnStudyRun"), Qt::LeftButton);
  QCOMPARE(m_errors.size(), 1);
  QVERIFY2(m_errors[0].startsWith(QStringLiteral("Line 3 gives markers")), qPrintable(m_errors[0]));
  QVERIFY(!QFileInfo::exists(out));
}

void StudyPageTest::pairsDroppedTogetherGiveTheLibrarysCoherenceSummary() {
  QStringList paths;
  for (int k = 1; k <= 4; ++k) {
    const std::vector<double> bf = Recording(k, 1200);
    std::vector<double> t(bf.size());
    for (std::size_t n = 0; n < bf.size(); ++n) t[n] = 30.0 + 0.05 * bf[n > 3 ? n - 3 : 0];
    const QString stem = m_dir->filePath(QStringLiteral("p%1").arg(k));
    QVERIFY(test::WriteSamples(stem + QStringLiteral("_T.txt"), t));
    QVERIFY(test::WriteSamples(stem + QStringLiteral("_BF.txt"), bf));
    paths << stem + QStringLiteral("_T.txt") << stem + QStringLiteral("_BF.txt");
  }
  drop(paths);
  auto* table = find<QTableWidget>("TableStudyManifest");
  QCOMPARE(table->rowCount(), 4);  // each BF file joined its T file's row
  QVERIFY(table->item(3, 4)->text().endsWith(QStringLiteral("p4_BF.txt")));
  setGroups({"a", "a", "b", "b"});
  find<QCheckBox>("CheckStudyBands")->setChecked(false);
  find<QCheckBox>("CheckStudyCoherence")->setChecked(true);
  find<QSpinBox>("SpinStudySurrogates")->setValue(3);
  const QString out = runInto(QStringLiteral("out"));
  QVERIFY2(m_errors.isEmpty(), qPrintable(m_errors.join(QLatin1Char('\n'))));
  QCOMPARE(page()->lastRun()->computed, 4);

  StudySettings settings;
  settings.measures = {StudyMeasure::kCoherence};
  settings.coherence.surrogatePairs = 3;
  const TissueParameters& tissue = m_window->context()->session()->tissueParameters();
  settings.coherence.tissue.lambda = tissue.wave.lambda;
  settings.coherence.tissue.rho = tissue.shitzer.rhoSkin;
  settings.coherence.tissue.heatCapacity = tissue.wave.heatCapacity;
  int failed = 0;
  const StudyTables oracle = LibraryStudy(page()->manifestText(),
                                          m_dir->filePath(QStringLiteral("library")).toStdString(), failed, settings);
  QCOMPARE(failed, 0);
  QVERIFY(oracle.summaryCsv.find(",coherence,2,") != std::string::npos);
  QCOMPARE(ReadAll(out + QStringLiteral("/summary.csv")), oracle.summaryCsv);
  QCOMPARE(ReadAll(out + QStringLiteral("/group_coherence.csv")), oracle.groupCoherenceCsv);
}

void StudyPageTest::protocolGivesTheCommandLineStudysTables_data() {
  QTest::addColumn<int>("conditions");  // the index of ComboStudySegments
  QTest::addColumn<QString>("segments");
  QTest::addColumn<bool>("findOcclusions");
  QTest::addColumn<QString>("baseline");
  QTest::addColumn<QString>("heating");
  QTest::addColumn<QString>("maximum");
  QTest::addColumn<QStringList>("cliOptions");
  QTest::addColumn<int>("failed");
  // The segments of each record's markers (a sidecar beside it, or the manifest's markers column), the
  // occlusion and heating taken from them by name, the maximum typed; the broken sidecar fails its recording.
  QTest::newRow("markers") << 1 << QString() << false << QStringLiteral("rest") << QStringLiteral("heating")
                           << QStringLiteral("2300:2400")
                           << QStringList{"--segments", "markers", "--baseline", "rest", "--max", "2300:2400"} << 1;
  // Typed segments, the occlusions found in the flux, heating and baseline typed: no markers are read.
  QTest::newRow("typed") << 2 << QStringLiteral("rest:0:600,heat:1500:2400") << true << QStringLiteral("0:600")
                         << QStringLiteral("1500:2400") << QString()
                         << QStringList{"--segments", "rest:0:600,heat:1500:2400", "--find-occlusions", "--baseline",
                                        "0:600", "--heating", "1500:2400"}
                         << 0;
}

void StudyPageTest::protocolGivesTheCommandLineStudysTables() {
  QFETCH(int, conditions);
  QFETCH(QString, segments);
  QFETCH(bool, findOcclusions);
  QFETCH(QString, baseline);
  QFETCH(QString, heating);
  QFETCH(QString, maximum);
  QFETCH(QStringList, cliOptions);
  QFETCH(int, failed);
  const char* events = "time_s,label\n0,rest\n600,occlusion 1\n780,recovery\n1500,heating\n";
  std::string manifest = "subject,group,file,markers\n";
  for (int k = 1; k <= 5; ++k) {
    const QString name = QStringLiteral("f%1").arg(k);
    QVERIFY(test::WriteSamples(m_dir->filePath(name + QStringLiteral(".txt")), ProtocolFlux(k)));
    // Subject 4's markers are named by the manifest; subject 5's sidecar is broken.
    const QString markers = m_dir->filePath(k == 4 ? QStringLiteral("events4.csv") : name + QStringLiteral(".markers.csv"));
    QVERIFY(WriteText(markers, k == 5 ? "time_s,label\nsoon,rest\n" : events));
    const bool usesMarkers = conditions == 1;
    manifest += "s" + std::to_string(k) + "," + (k <= 2 ? "a" : "b") + ",f" + std::to_string(k) + ".txt," +
                (k == 4 && usesMarkers ? "events4.csv" : "") + "\n";
  }
  const QString manifestPath = m_dir->filePath(QStringLiteral("manifest.csv"));
  QVERIFY(WriteText(manifestPath, manifest));
  QVERIFY(page()->openManifest(manifestPath));

  find<QCheckBox>("CheckStudyPorh")->setChecked(true);
  find<QCheckBox>("CheckStudyHeating")->setChecked(true);
  find<QComboBox>("ComboStudySegments")->setCurrentIndex(conditions);
  QVERIFY(find<QLineEdit>("EditStudySegments")->isEnabled() == (conditions == 2));
  find<QLineEdit>("EditStudySegments")->setText(segments);
  find<QCheckBox>("CheckStudyFindOcclusions")->setChecked(findOcclusions);
  find<QLineEdit>("EditStudyBaseline")->setText(baseline);
  find<QLineEdit>("EditStudyHeatingPhase")->setText(heating);
  find<QLineEdit>("EditStudyMaximum")->setText(maximum);
  const QString out = runInto(QStringLiteral("out"));
  QVERIFY2(m_errors.isEmpty(), qPrintable(m_errors.join(QLatin1Char('\n'))));
  QCOMPARE(page()->lastRun()->failed, failed);
  if (failed) {
    const QStringList problems = page()->problemTexts();
    QCOMPARE(problems.size(), 1);
    QVERIFY2(problems[0].startsWith(QStringLiteral("Line 6: ")) && problems[0].contains(QStringLiteral("soon")),
             qPrintable(problems[0]));
  }

  // The command-line study of the same manifest with the same protocol gives the same tables.
  const QString cliOut = m_dir->filePath(QStringLiteral("cli"));
  QProcess cli;
  cli.setProcessChannelMode(QProcess::MergedChannels);
  cli.start(QStringLiteral(KELVORA_CLI_PATH), QStringList{"study", manifestPath, "--out", cliOut, "--measures",
                                                          "bands,porh,heating"} + cliOptions);
  QVERIFY(cli.waitForFinished(300000));
  QCOMPARE(cli.exitCode(), failed);
  const std::string rows = ReadAll(out + QStringLiteral("/rows.csv"));
  QVERIFY(rows.find(",porh") == std::string::npos);
  for (const char* measure : {",peak_pct_baseline,", ",hyperaemic_area,", ",plateau,", ",rel_amplitude,"})
    QVERIFY2(rows.find(measure) != std::string::npos, measure);
  QVERIFY(rows.find(conditions == 1 ? ",recovery," : ",heat,") != std::string::npos);
  QCOMPARE(WithoutLastField(rows), WithoutLastField(ReadAll(cliOut + QStringLiteral("/rows.csv"))));
  QCOMPARE(ReadAll(out + QStringLiteral("/summary.csv")), ReadAll(cliOut + QStringLiteral("/summary.csv")));
  QCOMPARE(ReadAll(out + QStringLiteral("/tests.csv")), ReadAll(cliOut + QStringLiteral("/tests.csv")));
  QVERIFY(ReadAll(out + QStringLiteral("/report.pdf")).rfind("%PDF", 0) == 0);

  // Run again in Russian: every result is reused, and the report is written in Russian words (cut at a
  // character's boundary, or the PDF would fail).
  find<QAction>("N2")->trigger();
  runAndWait();
  find<QAction>("English1")->trigger();
  m_window->grab();  // the box plots of a Russian run painted again in English (once a crash)
  QVERIFY2(m_errors.isEmpty(), qPrintable(m_errors.join(QLatin1Char('\n'))));
  QCOMPARE(page()->lastRun()->reused, 5 - failed);
  QCOMPARE(page()->lastRun()->computed, 0);
  if (!qEnvironmentVariableIsEmpty("KELVORA_SHOTS"))
    QFile::copy(out + QStringLiteral("/report.pdf"), QDir(qEnvironmentVariable("KELVORA_SHOTS")).filePath(QStringLiteral("report_ru.pdf")));

  // A measure's box plots: response measures have no band, one box per group.
  auto* measure = find<QComboBox>("ComboStudyMeasure");
  measure->setCurrentIndex(measure->findData(QStringLiteral("peak_pct_baseline")));
  QVERIFY(measure->currentIndex() >= 0);
  QCOMPARE(measure->currentText(), QStringLiteral("peak, % of baseline"));  // named anew after the Russian run
  QCOMPARE(find<QChartView>("ChartStudyBoxes")->chart()->series().size(), 2);
  if (conditions == 1) shoot(QStringLiteral("study_protocol"));
}

// The eight PREVAIL pairs (skipped without the data) at their files' own rates, in two groups, with rest and the
// loading cycles from a sidecar each: the page's tables are the command-line study's.
void StudyPageTest::prevailPairsWithRestAndCyclesGiveTheCommandLineStudysTables() {
  const QString data = QStringLiteral(KELVORA_SHARED_DATA_DIR);
  struct Pair {
    const char* id;
    const char* sheet;
    const char* restS;  // the first loading
  };
  const Pair pairs[] = {{"008", "j1_1", "115"}, {"009", "j2_1", "154"}, {"026", "j2_1", "168.5"},
                        {"028", "j1_1", "80.5"}, {"031", "j2_1", "105.5"}, {"032", "j2_1", "105.5"},
                        {"034", "j2_2", "99"},   {"035", "j1_2", "80"}};
  std::string manifest = "subject,group,file,bf_file,markers\n";
  for (const Pair& p : pairs) {
    const QString t = data + QStringLiteral("/skintemp_PREVAIL%1_%2.txt").arg(p.id, p.sheet);
    const QString bf = data + QStringLiteral("/ldf_PREVAIL%1_%2.txt").arg(p.id, p.sheet);
    if (!QFileInfo::exists(t) || !QFileInfo::exists(bf)) QSKIP("no PREVAIL recordings");
    const QString sidecar = m_dir->filePath(QStringLiteral("P%1.markers.csv").arg(p.id));
    QVERIFY(WriteText(sidecar, std::string("0,rest\n") + p.restS + ",cycles\n"));
    manifest += std::string("P") + p.id + "," + (std::string(p.id) < "030" ? "A" : "B") + "," + t.toStdString() +
                "," + bf.toStdString() + "," + sidecar.toStdString() + "\n";
  }
  const QString manifestPath = m_dir->filePath(QStringLiteral("prevail.csv"));
  QVERIFY(WriteText(manifestPath, manifest));
  QVERIFY(page()->openManifest(manifestPath));
  find<QCheckBox>("CheckStudyCoherence")->setChecked(true);
  find<QSpinBox>("SpinStudySurrogates")->setValue(5);
  find<QComboBox>("ComboStudySegments")->setCurrentIndex(1);
  const QString out = runInto(QStringLiteral("out"));
  QVERIFY2(m_errors.isEmpty(), qPrintable(m_errors.join(QLatin1Char('\n'))));
  QCOMPARE(page()->lastRun()->computed, 8);

  const QString cliOut = m_dir->filePath(QStringLiteral("cli"));
  QProcess cli;
  cli.setProcessChannelMode(QProcess::MergedChannels);
  const TissueParameters& tissue = m_window->context()->session()->tissueParameters();
  cli.start(QStringLiteral(KELVORA_CLI_PATH),
            QStringList{"study", manifestPath, "--out", cliOut, "--measures", "bands,coherence", "--segments",
                        "markers", "--surrogates", "5", "--lambda", QString::number(tissue.wave.lambda, 'g', 17),
                        "--rho", QString::number(tissue.shitzer.rhoSkin, 'g', 17), "--heat-capacity",
                        QString::number(tissue.wave.heatCapacity, 'g', 17)});
  QVERIFY(cli.waitForFinished(600000));
  QVERIFY2(cli.exitCode() == 0, cli.readAll().constData());
  const std::string rows = ReadAll(out + QStringLiteral("/rows.csv"));
  QVERIFY(rows.find("P035,B,,cycles,") != std::string::npos);
  QCOMPARE(WithoutLastField(rows), WithoutLastField(ReadAll(cliOut + QStringLiteral("/rows.csv"))));
  for (const char* table : {"/summary.csv", "/tests.csv", "/group_coherence.csv"})
    QCOMPARE(ReadAll(out + QString::fromLatin1(table)), ReadAll(cliOut + QString::fromLatin1(table)));
  shoot(QStringLiteral("study_prevail"));
}

QTEST_MAIN(StudyPageTest)
#include "study_page_test.moc"
