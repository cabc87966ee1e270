// The window while a run holds its one runner, and the small faults of the window: every open, arrow, example
// and recent file is disabled or refused with the run named; STOP says so; the worker count of the analysis; one
// percentage; File -> Quit; the band the table leaves out; a PPG rate typed after loading; the tissue grid's D;
// the words of the Transform page and Qt's own dialogs in Russian.
#include <QAction>
#include <QDialogButtonBox>
#include <QFileDialog>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMimeData>
#include <QPushButton>
#include <QTableWidget>
#include <QTemporaryDir>
#include <QTranslator>
#include <QtTest>
#include <atomic>
#include <cmath>
#include <memory>
#include <numbers>
#include <thread>

#include "charts/frequency_strip.h"
#include "charts/plot_view.h"
#include "pages/analysis_page.h"
#include "pages/ppg_page.h"
#include "pages/record_side_panel.h"
#include "pages/transform_page.h"
#include "shell/app_context.h"
#include "shell/language_tables.h"
#include "shell/main_window.h"
#include "window_under_test.h"
#include "shell/page_run.h"
#include "shell/run_progress.h"
#include "shell/task_runner.h"
#include "signals/transform_session.h"
#include "workspace_test_support.h"

using namespace kelvora;

namespace {

constexpr double kPi = std::numbers::pi;

std::vector<double> Tones(int count) {
  std::vector<double> values(static_cast<std::size_t>(count));
  for (int n = 0; n < count; ++n) {
    const double t = n / 2.0;
    values[static_cast<std::size_t>(n)] = 2.0 * std::cos(2 * kPi * 0.1 * t) + std::cos(2 * kPi * 0.3 * t);
  }
  return values;
}

}  // namespace

class BusyWindowTest : public QObject {
  Q_OBJECT

 private slots:
  void init();
  void cleanup();
  void coherenceRunDisablesEveryOpenAndEveryRefusalSaysWhichRunHoldsTheRunner();
  void stoppedRunSaysStoppedAndKeepsTheLastCompleteResult();
  void analysisWorkersAreCappedAtTheMachinesCores();
  void onlyOnePercentageBesideTheProgressBarAndTheTimesOfEveryRun();
  void fileQuitClosesTheWindowWithCtrlQ();
  void fiveBandsNameTheLeftOutCardiacBandAndWhy();
  void ppgRateTypedAfterLoadingRetimesTheRecordAndItsPeaks();
  void tissueGridShowsTheDepthInFull();
  void russianInterfaceTranslatesTheRecordWordsAndQtsOwnDialogs();

 private:
  template <typename T>
  T* find(const char* name) const {
    T* widget = m_window->findChild<T*>(QString::fromLatin1(name));
    if (!widget) qFatal("no object %s", name);
    return widget;
  }
  QString runState() const { return find<QLabel>("StatusRun")->text(); }
  // Starts a run of `kind` that holds the runner until `release` is set (or STOP is pressed).
  PageRun* holdRunner(RunKind kind, std::atomic<bool>& release);
  void loadTransformRecords();

  std::unique_ptr<QTemporaryDir> m_dir;
  std::unique_ptr<TForm1> m_window;
  QStringList m_errors;
};

void BusyWindowTest::init() {
  QVERIFY(test::OpenWindowUnderTest(m_dir, m_window, m_errors, QSize(1280, 800)));
}

void BusyWindowTest::cleanup() {
  m_window.reset();
  m_dir.reset();
}

PageRun* BusyWindowTest::holdRunner(RunKind kind, std::atomic<bool>& release) {
  auto* run = new PageRun(m_window->context(), m_window->analysisPage(), nullptr);
  run->setKind(kind);
  ProgressSink* sink = &run->sink();
  const bool started = run->start([&release, sink]() -> PageRun::Outcome {
    while (!release.load() && !sink->stopRequested()) std::this_thread::sleep_for(std::chrono::milliseconds(2));
    return {nullptr, !sink->stopRequested()};
  });
  if (!started) qFatal("the holding run did not start");
  return run;
}

void BusyWindowTest::loadTransformRecords() {
  const QString t = m_dir->filePath(QStringLiteral("t.txt"));
  const QString bf = m_dir->filePath(QStringLiteral("bf.txt"));
  QVERIFY(test::WriteSamples(t, Tones(1200)));
  QVERIFY(test::WriteSamples(bf, Tones(1200)));
  QVERIFY(m_window->transformPage()->loadT(t));
  m_window->runner()->waitForIdle();
  QVERIFY(m_window->transformPage()->loadBF(bf));
  m_window->runner()->waitForIdle();
}

void BusyWindowTest::coherenceRunDisablesEveryOpenAndEveryRefusalSaysWhichRunHoldsTheRunner() {
  const QString file = m_dir->filePath(QStringLiteral("signal.txt"));
  QVERIFY(test::WriteSamples(file, Tones(600)));
  m_window->setRecentFiles({QStringLiteral("T|") + file});
  std::atomic<bool> release{false};
  holdRunner(RunKind::Coherence, release);

  // Every control that would start a load or a run is disabled, on every page and in the menus.
  for (const char* name : {"BtnReadT", "BtnReadBF", "BtnTtoBF", "BtnBFtoT", "BtnPPG", "BitBtn25", "BitBtn11",
                           "BtnAnalysisOpen", "BtnAnalysisCalc"}) {
    QVERIFY2(!find<QPushButton>(name)->isEnabled(), name);
  }
  for (const char* name : {"Example21", "Example11", "ExamplePPG21", "ExamplePPG11"}) {
    QVERIFY2(!find<QAction>(name)->isEnabled(), name);
  }
  QVERIFY(!find<QMenu>("RecentFiles")->isEnabled());
  QCOMPARE(runState(), QStringLiteral("Coherence run in progress"));
  find<QAction>("N2")->trigger();
  QCOMPARE(runState(), QStringLiteral("Идёт расчёт когерентности"));
  find<QAction>("English1")->trigger();

  // What still reaches a page (a file chosen in a dialog opened before, a drop, a recent file, Example 1) is
  // refused with the run named, and nothing loads.
  const int before = static_cast<int>(m_window->context()->session()->record(Side::Temperature).count());
  QVERIFY(!m_window->transformPage()->openFile(Side::Temperature, file));
  m_window->transformPage()->loadExample(1);
  m_window->openRecent(QStringLiteral("T"), file);
  QVERIFY(!m_window->ppgPage()->openFile(file));
  QVERIFY(!m_window->analysisPage()->openFile(AnalysisPage::FileSlot::Single, file));
  QWidget* chart = m_window->transformPage()->findChild<RecordSidePanel*>()->chart();
  QMimeData mime;
  mime.setUrls({QUrl::fromLocalFile(file)});
  QWidget* target = qobject_cast<QAbstractScrollArea*>(chart) ? qobject_cast<QAbstractScrollArea*>(chart)->viewport()
                                                                : chart;
  QDropEvent drop(QPointF(20, 20), Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
  QDragEnterEvent enter(QPoint(20, 20), Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
  QApplication::sendEvent(target, &enter);
  QVERIFY(enter.isAccepted());
  QApplication::sendEvent(target, &drop);
  QTest::qWait(50);
  QVERIFY2(m_errors.size() == 6, qPrintable(m_errors.join(QLatin1Char('\n'))));
  for (const QString& message : m_errors) {
    QVERIFY2(message.startsWith(QStringLiteral("Coherence run in progress: ")), qPrintable(message));
  }
  QCOMPARE(static_cast<int>(m_window->context()->session()->record(Side::Temperature).count()), before);

  // The run ends: everything comes back and the status bar no longer names it.
  release = true;
  m_window->runner()->waitForIdle();
  QCoreApplication::processEvents();
  for (const char* name : {"BtnReadT", "BtnPPG", "BitBtn25", "BtnAnalysisOpen"}) {
    QVERIFY2(find<QPushButton>(name)->isEnabled(), name);
  }
  QVERIFY(find<QAction>("Example21")->isEnabled());
  QVERIFY(find<QMenu>("RecentFiles")->isEnabled());
  QCOMPARE(runState(), QString());
}

void BusyWindowTest::stoppedRunSaysStoppedAndKeepsTheLastCompleteResult() {
  AnalysisPage* page = m_window->analysisPage();
  const QString path = m_dir->filePath(QStringLiteral("tones.txt"));
  QVERIFY(test::WriteSamples(path, Tones(1200)));
  QVERIFY(page->loadFile(AnalysisPage::FileSlot::Single, path));
  find<QLineEdit>("EditAnalysisRate")->setText(QStringLiteral("2"));
  QTest::mouseClick(find<QPushButton>("BtnAnalysisCalc"), Qt::LeftButton);
  m_window->runner()->waitForIdle();
  QVERIFY(page->result());
  const int rows = find<QTableWidget>("AnalysisBandTable")->rowCount();
  QVERIFY(rows > 0);

  std::atomic<bool> release{false};
  holdRunner(RunKind::Analysis, release);
  QCOMPARE(runState(), QStringLiteral("Analysis run in progress"));
  QTest::mouseClick(find<QPushButton>("BtnStop"), Qt::LeftButton);
  m_window->runner()->waitForIdle();
  QCoreApplication::processEvents();
  QCOMPARE(runState(), QStringLiteral("Stopped"));
  find<QAction>("N2")->trigger();
  QCOMPARE(runState(), QStringLiteral("Остановлено"));
  // The last complete result stays, whole.
  QVERIFY(page->result());
  QCOMPARE(find<QTableWidget>("AnalysisBandTable")->rowCount(), rows);
  QVERIFY(m_errors.isEmpty());
}

void BusyWindowTest::analysisWorkersAreCappedAtTheMachinesCores() {
  const int cores = std::max(1, static_cast<int>(std::thread::hardware_concurrency()));
  QCOMPARE(AnalysisWorkerCount(32), std::min(cores, 32));
  QCOMPARE(AnalysisWorkerCount(1), 1);
  QCOMPARE(AnalysisWorkerCount(0), 1);
  QCOMPARE(AnalysisWorkerCount(cores), std::min(cores, 32));
  // The option itself stays for the wavelet pages.
  find<QAction>("N321")->trigger();
  QCOMPARE(m_window->context()->potoks(), 32);
  QCOMPARE(m_window->currentSettings().potoks, 32);
}

void BusyWindowTest::onlyOnePercentageBesideTheProgressBarAndTheTimesOfEveryRun() {
  std::atomic<bool> release{false};
  holdRunner(RunKind::Coherence, release);
  RunProgress* progress = m_window->runProgress();
  progress->sink().setRange(0, 200);
  progress->sink().setPosition(50);
  // A computation that also reports its percentage as text (the Transform page's conversions do).
  progress->sink().setText("25%");
  QTest::qWait(1100);
  QCOMPARE(find<QLabel>("Progress")->text(), QStringLiteral("25 %"));
  QCOMPARE(find<QLabel>("Label13")->text(), QString());
  QVERIFY2(find<QLabel>("StatusPanel0")->text().startsWith(QStringLiteral("Elapsed Time: ")),
           qPrintable(find<QLabel>("StatusPanel0")->text()));
  QVERIFY2(find<QLabel>("StatusPanel1")->text().startsWith(QStringLiteral("Remaining Time: ")),
           qPrintable(find<QLabel>("StatusPanel1")->text()));
  release = true;
  m_window->runner()->waitForIdle();
  QCoreApplication::processEvents();
  QCOMPARE(find<QLabel>("Progress")->text(), QStringLiteral("100%"));
  QCOMPARE(find<QLabel>("Label13")->text(), QString());
}

void BusyWindowTest::fileQuitClosesTheWindowWithCtrlQ() {
  QAction* quit = find<QAction>("Quit1");
  QCOMPARE(quit->shortcut(), QKeySequence(Qt::CTRL | Qt::Key_Q));
  QVERIFY(find<QMenu>("FileMenu")->actions().contains(quit));
  find<QAction>("N2")->trigger();
  QCOMPARE(quit->text(), QStringLiteral("Выход"));
  quit->trigger();
  QVERIFY(!m_window->isVisible());
  QVERIFY(QFile::exists(m_window->settingsPath()));
}

void BusyWindowTest::fiveBandsNameTheLeftOutCardiacBandAndWhy() {
  AnalysisPage* page = m_window->analysisPage();
  const QString path = m_dir->filePath(QStringLiteral("tones.txt"));
  QVERIFY(test::WriteSamples(path, Tones(1200)));
  QVERIFY(page->loadFile(AnalysisPage::FileSlot::Single, path));
  find<QLineEdit>("EditAnalysisRate")->setText(QStringLiteral("2"));
  QTest::mouseClick(find<QPushButton>("BtnAnalysisCalc"), Qt::LeftButton);
  m_window->runner()->waitForIdle();
  QVERIFY(page->result());
  // At 2 Hz the highest analysed frequency is below the cardiac band's top: the table lists four bands and the
  // page says which one it left out, and why.
  QCOMPARE(find<QTableWidget>("AnalysisBandTable")->rowCount(), 4);
  const QString status = find<QLabel>("LabelAnalysisStatus")->text();
  // f max is automatic: a third of the 2 Hz rate.
  QVERIFY(std::abs(page->result()->frequencyRange.high - 2.0 / 3.0) < 1e-12);
  QCOMPARE(status, QStringLiteral("Cardiac (0.6–1.6 Hz) left out: above f max 0.667 Hz"));
  find<QAction>("N2")->trigger();
  QCOMPARE(find<QLabel>("LabelAnalysisStatus")->text(), QStringLiteral("Сердечный (0.6–1.6 Гц) пропущен: выше f макс 0.667 Гц"));
}

void BusyWindowTest::ppgRateTypedAfterLoadingRetimesTheRecordAndItsPeaks() {
  // 60 s of a 1.2 Hz pulse sampled at 125 Hz, first read at the default 50 Hz.
  constexpr double kRate = 125.0;
  std::vector<double> ppg(7500);
  for (std::size_t i = 0; i < ppg.size(); ++i) ppg[i] = std::sin(2 * kPi * 1.2 * static_cast<double>(i) / kRate);
  const QString path = m_dir->filePath(QStringLiteral("ppg.txt"));
  QVERIFY(test::WriteSamples(path, ppg));
  PpgPage* page = m_window->ppgPage();
  QVERIFY(page->loadPpg(path));
  QCOMPARE(find<QLineEdit>("Edit13")->text(), QStringLiteral("150"));  // round(7499 / 50)

  find<QLineEdit>("Edit11")->setText(QStringLiteral("125"));
  QTest::mouseClick(find<QPushButton>("BtnPPGintoBF"), Qt::LeftButton);
  m_window->runner()->waitForIdle();
  QVERIFY2(m_errors.isEmpty(), qPrintable(m_errors.join(QLatin1Char('\n'))));
  // The record is 60 s long at the typed rate: the time field, the time axis and the envelope follow it.
  QCOMPARE(find<QLineEdit>("Edit13")->text(), QStringLiteral("60"));
  auto* chart = find<PlotView>("Chart7");
  // (read at 50 Hz the axis would end at 2.5 min)
  QVERIFY2(std::abs(chart->axisX()->max() - 7500.0 / kRate / 60.0) <= 1.0 / kRate / 60.0 + 1e-12,
           qPrintable(QString::number(chart->axisX()->max())));
  QCOMPARE(page->envelope().values.size(), std::size_t{120});
  // Each peak marker sits on the curve: at sample p's place, at sample p's value.
  const std::vector<double> curve = chart->sourceValues(chart->series(QStringLiteral("Series9")));
  chart->refreshNow();
  const QList<QPointF> maxima = chart->series(QStringLiteral("Series13"))->points();
  QVERIFY2(maxima.size() >= 65 && maxima.size() <= 73, qPrintable(QString::number(maxima.size())));
  for (const QPointF& point : maxima) {
    const double place = point.x() * 60.0 * kRate;
    const long long sample = std::llround(place) - 1;
    QVERIFY(std::abs(place - std::round(place)) < 1e-6);
    QVERIFY(sample >= 0 && sample < static_cast<long long>(curve.size()));
    QVERIFY2(std::abs(curve[static_cast<std::size_t>(sample)] - point.y()) < 1e-9, qPrintable(QString::number(sample)));
    QVERIFY(curve[static_cast<std::size_t>(sample)] > 0.99);
  }
}

void BusyWindowTest::tissueGridShowsTheDepthInFull() {
  QVERIFY(m_window->transformPage()->takeDepth(1.234));
  auto* grid = find<QTableWidget>("StringGrid1");
  bool found = false;
  for (int r = 0; r < grid->rowCount(); ++r) {
    for (int c = 0; c < grid->columnCount(); ++c) {
      if (grid->isColumnHidden(c)) continue;
      const QString text = grid->item(r, c)->text();
      if (text.contains(QStringLiteral("234"))) found = true;
      // Every cell's text fits its column (no "1..." for a depth).
      QVERIFY2(grid->fontMetrics().horizontalAdvance(text) + 4 <= grid->columnWidth(c),
               qPrintable(QStringLiteral("%1 in column %2").arg(text).arg(c)));
    }
  }
  QVERIFY(found);
}

void BusyWindowTest::russianInterfaceTranslatesTheRecordWordsAndQtsOwnDialogs() {
  loadTransformRecords();
  QVERIFY2(m_errors.isEmpty(), qPrintable(m_errors.join(QLatin1Char('\n'))));
  QCOMPARE(find<QLineEdit>("Edit17")->text(), QStringLiteral("1200 points"));
  find<QAction>("N2")->trigger();
  QVERIFY2(find<QLineEdit>("Edit10")->text().startsWith(QStringLiteral("Температура: ")),
           qPrintable(find<QLineEdit>("Edit10")->text()));
  QVERIFY2(find<QLineEdit>("Edit16")->text().contains(QStringLiteral("Кровоток:")),
           qPrintable(find<QLineEdit>("Edit16")->text()));
  QCOMPARE(find<QLineEdit>("Edit17")->text(), QStringLiteral("1200 точек"));
  for (FrequencyStrip* strip : m_window->findChildren<FrequencyStrip*>()) {
    QCOMPARE(strip->caption(), QStringLiteral("Полоса частот"));
  }
  // Qt's own texts: the buttons of a message box and a file dialog's words.
  QCOMPARE(QCoreApplication::translate("QPlatformTheme", "Cancel"), QStringLiteral("Отмена"));
  QCOMPARE(QCoreApplication::translate("QFileDialog", "Open"), QStringLiteral("Открыть"));
  find<QAction>("English1")->trigger();
  QCOMPARE(QCoreApplication::translate("QPlatformTheme", "Cancel"), QStringLiteral("Cancel"));
  QCOMPARE(find<QLineEdit>("Edit17")->text(), QStringLiteral("1200 points"));
}

QTEST_MAIN(BusyWindowTest)
#include "busy_window_test.moc"
