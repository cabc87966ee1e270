// What the window shows and writes of a result is what made it: exports, reports and titles describe the run,
// not the controls at save time; a setting changed after a run marks the result instead of relabelling it; a new
// record leaves no result of the old one drawn; a save with nothing to write says so before asking for a name.
#include <QAction>
#include <QApplication>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QSpinBox>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QTimer>
#include <QtTest>
#include <QXYSeries>
#include <cmath>
#include <memory>

#include "formats/record_file.h"
#include "charts/plot_view.h"
#include "dialogs/import_dialog.h"
#include "formats/edf_reader.h"
#include "pages/analysis_page.h"
#include "pages/fourier_page.h"
#include "pages/transform_page.h"
#include "shell/app_context.h"
#include "shell/language_tables.h"
#include "shell/main_window.h"
#include "shell/task_runner.h"
#include "signals/transform_session.h"
#include "workspace_test_support.h"

using namespace kelvora;

class ProvenanceTest : public QObject {
  Q_OBJECT

 private slots:
  void initTestCase();
  void init();
  void cleanup();
  void exportsAfterDepthAndMethodChangeDescribeTheFourierRunAtTwoMillimetres();
  void newTAndBFRecordsLeaveNoOldConvertedCurveDrawn();
  void analysisResultGoesAfterModeSwitchOrNewFile();
  void savesWithNothingToWriteSaySoWithoutAskingForAFileName();
  void fourierFilteredCsvKeepsTheRateAndBandOfItsRun();

 private:
  TransformPage* page() const { return m_window->transformPage(); }
  TransformSession* session() const { return m_window->context()->session(); }
  template <typename T>
  T* find(const char* name) const {
    T* widget = m_window->findChild<T*>(QString::fromLatin1(name));
    if (!widget) qFatal("no widget %s", name);
    return widget;
  }
  qsizetype points(const char* chart, const char* series) const {
    auto* view = find<PlotView>(chart);
    return view->sourcePointCount(view->series(QString::fromLatin1(series)));
  }
  void loadExample();
  // With KELVORA_SHOTS set, the window as a picture in that folder.
  void shot(const char* name) const {
    const QByteArray folder = qgetenv("KELVORA_SHOTS");
    QCoreApplication::processEvents();
    if (!folder.isEmpty()) m_window->grab().save(QString::fromLocal8Bit(folder) + QLatin1Char('/') + QLatin1String(name) + QStringLiteral(".png"));
  }
  void click(const char* button) {
    find<QPushButton>(button)->click();
    page()->waitForIdle();
  }

  std::unique_ptr<QTemporaryDir> m_dir;
  std::unique_ptr<TForm1> m_window;
  QStringList m_errors;
};

void ProvenanceTest::initTestCase() {
  if (!QFile::exists(AppContext::dataFolder() + QStringLiteral("/Examples/T1.txt")))
    QSKIP("The example signals are not beside the program");
}

void ProvenanceTest::init() {
  m_dir = std::make_unique<QTemporaryDir>();
  m_window = std::make_unique<TForm1>(nullptr, m_dir->filePath(QStringLiteral("option.ini")));
  m_errors.clear();
  m_window->context()->setErrorInterceptor([this](const QString& message) { m_errors << message; });
  m_window->resize(1400, 900);
  m_window->show();
  QVERIFY(QTest::qWaitForWindowExposed(m_window.get()));
}

void ProvenanceTest::cleanup() {
  m_window.reset();
  m_dir.reset();
}

void ProvenanceTest::loadExample() {
  m_window->findChild<QAction*>(QStringLiteral("Example21"))->trigger();
  page()->waitForIdle();
  QVERIFY(session()->loaded(Side::Temperature) && session()->loaded(Side::BloodFlow));
}

// The fault: convert by Fourier at D = 2 mm, set D = 3 and choose Wavelet without running: the CSV and the
// report said "Wavelet filtration, depth_mm: 3" over the Fourier record at 2 mm.
void ProvenanceTest::exportsAfterDepthAndMethodChangeDescribeTheFourierRunAtTwoMillimetres() {
  loadExample();
  QCOMPARE(session()->tissueParameters().wave.depthM, 0.002);
  click("BtnTtoBF");
  QVERIFY(session()->convertedReady(Side::Temperature));
  const QString title = find<PlotView>("Chart3")->chart()->title();
  QVERIFY2(!title.contains(OutdatedSuffix(Language::English)), qPrintable(title));

  QVERIFY(page()->takeDepth(3.0));
  find<QRadioButton>("RadioTypeWavelet")->click();
  QCOMPARE(session()->method(), ConversionMethod::Wavelet);
  QCOMPARE(session()->tissueParameters().wave.depthM, 0.003);
  // The chart says its record is out of date, in both languages.
  QCOMPARE(find<PlotView>("Chart3")->chart()->title(), QStringLiteral("BloodFlow*") + OutdatedSuffix(Language::English));
  shot("transform_outdated_en");
  m_window->findChild<QAction*>(QStringLiteral("N2"))->trigger();
  QCoreApplication::processEvents();
  QCOMPARE(find<PlotView>("Chart3")->chart()->title(),
           QStringLiteral("Кровоток*") + QStringLiteral(" (устарело: настройки изменены)"));
  shot("transform_outdated_ru");
  m_window->findChild<QAction*>(QStringLiteral("English1"))->trigger();
  QCoreApplication::processEvents();
  QCOMPARE(find<PlotView>("Chart3")->chart()->title(), QStringLiteral("BloodFlow*") + OutdatedSuffix(Language::English));

  // CSV: the comment block of the run.
  const QString csv = m_dir->filePath(QStringLiteral("bf_star.csv"));
  QVERIFY(page()->saveConvertedCsvTo(false, csv));
  const QStringList lines = test::ReadLines(csv);
  QVERIFY2(lines.contains(QStringLiteral("# method: Fourier filtration")), qPrintable(lines.join('\n')));
  QVERIFY(lines.contains(QStringLiteral("# depth_mm: 2")));
  QVERIFY(lines.contains(QStringLiteral("# record: BF*")));
  QVERIFY(lines.contains(QStringLiteral("# program: Kelvora " KELVORA_VERSION)));
  QVERIFY(lines.contains(QStringLiteral("# T_source: Example 1")));
  QVERIFY(!lines.join('\n').contains(QStringLiteral("Wavelet")));
  QVERIFY(!lines.contains(QStringLiteral("# depth_mm: 3")));

  // The report: the lines written into it are those of the run, its record marked out of date.
  const QStringList report = page()->reportLines();
  QVERIFY2(report.contains(QStringLiteral("method: Fourier filtration")), qPrintable(report.join('\n')));
  QVERIFY(report.contains(QStringLiteral("depth_mm: 2")));
  QVERIFY(report.contains(QStringLiteral("record: BF*") + OutdatedSuffix(Language::English)));
  QVERIFY(!report.join('\n').contains(QStringLiteral("Wavelet")));
  QVERIFY(page()->writeReport(m_dir->filePath(QStringLiteral("report.pdf"))));

  // EDF+: the annotation of BF* names the run.
  const QString edf = m_dir->filePath(QStringLiteral("all.edf"));
  QVERIFY(page()->exportEdf(edf));
  const EdfReadResult read = ReadEdfFile(edf.toStdString());
  QVERIFY(read.ok());
  bool named = false;
  for (const EdfAnnotation& a : read.info.annotations) named = named || a.text.rfind("BF*: Fourier wave D=2mm", 0) == 0;
  QVERIFY(named);

  // Back to the run's settings: current again.
  QVERIFY(page()->takeDepth(2.0));
  find<QRadioButton>("RadioTypeFourier")->click();
  QCOMPARE(find<PlotView>("Chart3")->chart()->title(), QStringLiteral("BloodFlow*"));
  QVERIFY2(m_errors.isEmpty(), qPrintable(m_errors.join('\n')));
}

// The fault: after new T and BF records arrived (an example, an import, the PPG page's hand-over), the old BF*
// and T* curves and their overlays stayed drawn.
void ProvenanceTest::newTAndBFRecordsLeaveNoOldConvertedCurveDrawn() {
  const auto convertAll = [this] {
    click("BtnTtoBF");
    click("BtnBFtoT");
    find<QPushButton>("BtnOutputBF")->click();
    find<QPushButton>("BtnOutputT")->click();
    QVERIFY(points("Chart3", "Series3") > 0 && points("Chart3", "Series5") > 0);
    QVERIFY(points("Chart4", "Series4") > 0 && points("Chart4", "Series6") > 0);
  };
  loadExample();
  convertAll();
  // Example 1 again: both records replaced.
  loadExample();
  for (auto [chart, series] : {std::pair{"Chart3", "Series3"}, {"Chart3", "Series5"}, {"Chart4", "Series4"},
                               {"Chart4", "Series6"}})
    QVERIFY2(points(chart, series) == 0, series);

  // The PPG page's hand-over replaces BF: T* goes, BF* stays without its overlay of the old BF.
  convertAll();
  const std::vector<double> bf(session()->record(Side::BloodFlow).values.begin(),
                               session()->record(Side::BloodFlow).values.begin() + session()->record(Side::BloodFlow).count());
  QVERIFY(m_window->context()->handOverBloodFlow(bf, QStringLiteral("PPG")));
  page()->waitForIdle();
  shot("transform_after_ppg_handover");
  QCOMPARE(points("Chart4", "Series4"), qsizetype{0});
  QCOMPARE(points("Chart4", "Series6"), qsizetype{0});
  QCOMPARE(points("Chart3", "Series5"), qsizetype{0});
  QVERIFY(points("Chart3", "Series3") > 0);

  // An imported pair replaces both.
  convertAll();
  const std::vector<ImportedRecord> pair = {
      ImportedRecord{ImportTarget::Temperature, session()->record(Side::Temperature), 2.0, false, QStringLiteral("pair.csv: T"), "degC", {}},
      ImportedRecord{ImportTarget::BloodFlow, session()->record(Side::BloodFlow), 2.0, false, QStringLiteral("pair.csv: BF"), "", {}}};
  QVERIFY(page()->loadImported(Side::Temperature, pair));
  page()->waitForIdle();
  for (auto [chart, series] : {std::pair{"Chart3", "Series3"}, {"Chart3", "Series5"}, {"Chart4", "Series4"},
                               {"Chart4", "Series6"}})
    QVERIFY2(points(chart, series) == 0, series);
  QVERIFY2(m_errors.isEmpty(), qPrintable(m_errors.join('\n')));
}

// The fault: on the Analysis page the old result stayed after a mode switch or a new file.
void ProvenanceTest::analysisResultGoesAfterModeSwitchOrNewFile() {
  AnalysisPage* analysis = m_window->analysisPage();
  std::vector<double> values(1200);
  for (std::size_t i = 0; i < values.size(); ++i) values[i] = std::cos(2 * M_PI * 0.1 * static_cast<double>(i) / 2.0);
  const QString path = m_dir->filePath(QStringLiteral("tones.txt"));
  QVERIFY(test::WriteSamples(path, values));
  const auto run = [&] {
    QVERIFY(analysis->loadFile(AnalysisPage::FileSlot::Single, path));
    find<QLineEdit>("EditAnalysisRate")->setText(QStringLiteral("2"));
    QVERIFY(analysis->calculate());
    m_window->runner()->waitForIdle();
    QVERIFY(analysis->result() && analysis->provenance());
    QCOMPARE(analysis->provenance()->options.sampleRateHz, 2.0);
  };
  run();
  find<QTabWidget>("PageControl1")->setCurrentWidget(analysis);
  shot("analysis_single_result");
  analysis->setPairMode(true);
  QVERIFY(!analysis->result());
  shot("analysis_after_mode_switch");
  QVERIFY(analysis->reportLines().isEmpty());
  analysis->setPairMode(false);
  QVERIFY(find<QRadioButton>("RadioAnalysisSingle")->isChecked());
  run();
  QVERIFY(analysis->loadFile(AnalysisPage::FileSlot::Single, path));
  QVERIFY(!analysis->result());
  QCOMPARE(find<PlotView>("ChartAnalysisSignal")->sourcePointCount(
               find<PlotView>("ChartAnalysisSignal")->series(QStringLiteral("SeriesAnalysisSignal"))),
           qsizetype{0});

  // A changed setting marks the result; its report keeps the run's settings.
  run();
  const int voices = analysis->provenance()->options.voicesPerOctave;
  find<QSpinBox>("SpinAnalysisVoices")->setValue(voices + 1);
  QVERIFY(analysis->resultOutdated());
  shot("analysis_outdated");
  QVERIFY(find<QLabel>("LabelAnalysisStatus")->text().contains(OutdatedSuffix(Language::English)));
  QVERIFY(analysis->reportLines().join('\n').contains(QStringLiteral("voices per octave: %1,").arg(voices)));
  QVERIFY2(m_errors.isEmpty(), qPrintable(m_errors.join('\n')));
}

// The fault: the Analysis report asked for a file name, then said "Nothing to save".
void ProvenanceTest::savesWithNothingToWriteSaySoWithoutAskingForAFileName() {
  int dialogs = 0;
  // Any dialog that opens is counted and closed.
  QTimer watcher;
  connect(&watcher, &QTimer::timeout, this, [&dialogs] {
    if (QWidget* modal = QApplication::activeModalWidget()) {
      ++dialogs;
      modal->close();
    }
  });
  watcher.start(20);
  m_window->analysisPage()->reportDialog();
  QCOMPARE(m_errors.size(), 1);
  page()->exportEdfDialog();
  page()->reportDialog();
  QCOMPARE(m_errors.size(), 3);
  QCOMPARE(dialogs, 0);
  for (const QString& e : m_errors) QVERIFY2(!e.isEmpty(), qPrintable(e));
}

// The fault: the filtered signal's CSV took the band, mode and rate from the page at save time.
void ProvenanceTest::fourierFilteredCsvKeepsTheRateAndBandOfItsRun() {
  std::vector<double> values(1200);
  for (std::size_t i = 0; i < values.size(); ++i) values[i] = std::cos(2 * M_PI * 0.1 * static_cast<double>(i) / 2.0);
  const QString path = m_dir->filePath(QStringLiteral("tones.txt"));
  QVERIFY(test::WriteSamples(path, values));
  FourierPage* fourier = m_window->fourierPage();
  QVERIFY(fourier->loadSignal(path));
  m_window->runner()->waitForIdle();
  fourier->setBand(0.05, 0.15);
  m_window->runner()->waitForIdle();
  QVERIFY(!fourier->filteredSignal().empty());
  // The records' rate changes afterwards on the Transform page; the filtered signal was made at 2 Hz.
  find<QSpinBox>("UpDown1")->setValue(5);
  QCOMPARE(m_window->context()->gerc(), 5);
  const QString csv = m_dir->filePath(QStringLiteral("filtered.csv"));
  QVERIFY(fourier->saveFilteredCsv(csv));
  const QStringList lines = test::ReadLines(csv);
  QVERIFY2(lines.contains(QStringLiteral("# sample_rate_hz: 2")), qPrintable(lines.join('\n')));
  QVERIFY(lines.contains(QStringLiteral("# band_Hz: 0.05 .. 0.15")));
  QVERIFY(lines.contains(QStringLiteral("# method: Fourier frequency filtering")));
  // As a MATLAB file: the same samples, and fs of the run, not of the controls.
  const QString mat = m_dir->filePath(QStringLiteral("filtered.mat"));
  QVERIFY(fourier->saveFilteredCsv(mat));
  RecordReadOptions filtered;
  filtered.variable = "filtered";
  const RecordFileResult fromMat = ReadRecordFile(mat.toStdString(), filtered);
  const RecordFileResult fromCsv = ReadRecordFile(csv.toStdString(), {});
  QVERIFY(fromMat.ok() && fromCsv.ok());
  QCOMPARE(fromMat.sampleRateHz, 2);
  QCOMPARE(fromMat.record.values, fromCsv.record.values);
  QVERIFY2(m_errors.isEmpty(), qPrintable(m_errors.join('\n')));
}

QTEST_MAIN(ProvenanceTest)
#include "provenance_test.moc"
