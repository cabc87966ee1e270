// The "Wavelet filtration" page and the run display: a full run, STOP, closing the window and a superseding run
// during a run, a signal the engine cannot hold, the strip, and the texts of the elapsed and remaining times.
#include "pages/wavelet_page.h"

#include <QAction>
#include <QCheckBox>
#include <QFileInfo>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QTemporaryDir>
#include <QToolButton>
#include <QtTest>
#include <cmath>
#include <memory>

#include "shell/signal_messages.h"
#include "shell/app_context.h"
#include "shell/main_window.h"
#include "shell/number_text.h"
#include "charts/plot_view.h"
#include "shell/run_progress.h"
#include "shell/run_progress_view.h"
#include "signals/transform_session.h"
#include "signals/wavelet_transform_methods.h"
#include "pages/transform_page.h"
#include "shell/task_runner.h"
#include "charts/workspace_strip.h"
#include "workspace_test_support.h"

using namespace kelvora;

namespace {

std::vector<double> Wave(int n) {
  std::vector<double> x(static_cast<size_t>(n));
  for (int i = 0; i < n; ++i) x[static_cast<size_t>(i)] = 20.0 + std::sin(0.2 * i) + 0.3 * std::sin(0.05 * i);
  return x;
}

}  // namespace

class WaveletPageTest : public QObject {
  Q_OBJECT

 private slots:
  void init();
  void cleanup();
  void fullRunShowsReadyAndTheFilteredSignal();
  void stopLeavesNoResultAndEnabledControls();
  void closingTheWindowDuringARunEndsItSilently();
  void destroyingTheWindowDuringARunWaitsForTheWorkers();
  void threadMenuSetsTheWorkerCount();
  void aNewBandDuringARunSupersedesIt();
  void tooLongSignalIsRefusedBeforeAnythingChanges();
  void draggingTheStripShowsFrequenciesAndScaleIndices();
  void aRecordTheTransformPageFilteredBecomesThePagesSignal();
  void aWaveletConversionLeavesThePagesSignalAndResult();
  void elapsedRemainingAndPercentTexts();
  void runDisplayWithAnInjectedClock();

 private:
  WaveletPage* page() const { return m_window->waveletPage(); }
  template <typename T>
  T* find(const char* name) const {
    T* widget = m_window->findChild<T*>(QString::fromLatin1(name));
    if (!widget) qFatal("no widget %s", name);
    return widget;
  }
  QString writeSignal(const char* name, const std::vector<double>& values) {
    const QString path = m_dir->filePath(QString::fromLatin1(name));
    if (!test::WriteSamples(path, values)) qFatal("cannot write %s", name);
    return path;
  }
  QString panel(int i) const { return m_window->findChild<QLabel*>(QStringLiteral("StatusPanel%1").arg(i))->text(); }
  // Lets the runner deliver the result and the page handle the end of the run.
  void settle() {
    m_window->runner()->waitForIdle();
    QCoreApplication::processEvents();
    QCoreApplication::processEvents();
  }
  bool controlsEnabled() const {
    for (const char* name : {"BitBtn11", "SpeedButton15", "SpeedButton16", "SpeedButton17", "SpeedButton18"}) {
      if (!m_window->findChild<QWidget*>(QString::fromLatin1(name))->isEnabled()) return false;
    }
    return true;
  }
  qsizetype filteredPoints() const {
    auto* chart = find<PlotView>("Chart12");
    return chart->sourcePointCount(chart->series(QStringLiteral("Series23")));
  }
  // A run of several seconds: the widest band on one thread.
  void startLongRun() {
    m_window->context()->setPotoks(1);
    page()->setBand(0.0001, 2.0);
    QVERIFY(page()->loadSignal(writeSignal("long.txt", Wave(3601))));
    QVERIFY(page()->isRunning());
    QVERIFY(!controlsEnabled());
  }

  std::unique_ptr<QTemporaryDir> m_dir;
  std::unique_ptr<TForm1> m_window;
  QStringList m_errors;
};

void WaveletPageTest::init() {
  m_dir = std::make_unique<QTemporaryDir>();
  m_window = std::make_unique<TForm1>(nullptr, m_dir->filePath(QStringLiteral("option.ini")));
  m_window->context()->setErrorInterceptor([this](const QString& message) { m_errors << message; });
  m_window->context()->setSound(false);
  m_errors.clear();
  m_window->resize(1400, 900);
  m_window->show();
  find<QTabWidget>("PageControl1")->setCurrentIndex(3);
  QVERIFY(QTest::qWaitForWindowExposed(m_window.get()));
}

void WaveletPageTest::cleanup() {
  m_window.reset();
  m_dir.reset();
}

void WaveletPageTest::fullRunShowsReadyAndTheFilteredSignal() {
  page()->setBand(0.02, 0.05);
  QVERIFY(page()->loadSignal(writeSignal("short.txt", Wave(120))));
  QVERIFY(page()->isRunning());
  QVERIFY(find<QPushButton>("BtnStop")->isEnabled());
  settle();
  QVERIFY(!page()->isRunning());
  QVERIFY(panel(0).startsWith(QStringLiteral("Elapsed Time: ")));
  QVERIFY2(panel(0).endsWith(QStringLiteral(" DONE")), qPrintable(panel(0)));
  QCOMPARE(find<QLabel>("Progress")->text(), QStringLiteral("100%"));
  QCOMPARE(find<QProgressBar>("ProgressBarP")->value(), find<QProgressBar>("ProgressBarP")->minimum());
  QCOMPARE(filteredPoints(), 120);
  QCOMPARE(page()->filteredSignal().size(), size_t{120});
  QVERIFY(controlsEnabled());
  QVERIFY(find<QPushButton>("BtnSaveW")->isEnabled());
  QVERIFY(!find<QPushButton>("BtnStop")->isEnabled());

  const QString target = m_dir->filePath(QStringLiteral("wavelet"));
  QVERIFY(page()->saveFiltered(target));
  const QStringList lines = test::ReadLines(target + QStringLiteral(".txt"));
  QCOMPARE(lines.size(), 120);
  QVERIFY(std::abs(lines[60].toDouble() - page()->filteredSignal()[60]) <= 0.0005 + 1e-12);
  QVERIFY(m_errors.isEmpty());
}

void WaveletPageTest::stopLeavesNoResultAndEnabledControls() {
  startLongRun();
  QTest::mouseClick(find<QPushButton>("BtnStop"), Qt::LeftButton);
  QCOMPARE(panel(1), QStringLiteral("Stopped"));
  settle();
  QVERIFY(!page()->isRunning());
  QVERIFY(controlsEnabled());
  QCOMPARE(filteredPoints(), 0);
  QVERIFY(page()->filteredSignal().empty());
  QVERIFY(!find<QPushButton>("BtnSaveW")->isEnabled());
  QVERIFY(!panel(0).contains(QStringLiteral("DONE")));
  QCOMPARE(panel(1), QStringLiteral("Stopped"));
  QVERIFY(m_errors.isEmpty());
  // The page still runs afterwards.
  page()->setBand(0.05, 0.15);
  m_window->context()->setPotoks(4);
  QVERIFY(page()->calculate());
  settle();
  QCOMPARE(filteredPoints(), 3601);
}

void WaveletPageTest::closingTheWindowDuringARunEndsItSilently() {
  startLongRun();
  const QString settings = m_dir->filePath(QStringLiteral("option.ini"));
  QVERIFY(!QFileInfo::exists(settings));
  m_window->close();
  QVERIFY(!m_window->runner()->isBusy());
  QVERIFY(QFileInfo::exists(settings));
  QCoreApplication::processEvents();
  QCoreApplication::processEvents();
  QVERIFY(!page()->isRunning());
  QVERIFY(controlsEnabled());
  QCOMPARE(filteredPoints(), 0);
  QVERIFY(!panel(0).contains(QStringLiteral("DONE")));
  QVERIFY(m_errors.isEmpty());
  m_window.reset();
}

void WaveletPageTest::destroyingTheWindowDuringARunWaitsForTheWorkers() {
  startLongRun();
  // The window goes while the workers write into the shared engine: it stops them and waits before its storage
  // is freed.
  m_window.reset();
  QVERIFY(m_errors.isEmpty());
}

void WaveletPageTest::threadMenuSetsTheWorkerCount() {
  m_window->findChild<QAction*>(QStringLiteral("N31"))->trigger();
  QCOMPARE(m_window->context()->potoks(), 4);
  QCOMPARE(m_window->context()->waveletMethods()->threads(), 4);
  m_window->findChild<QAction*>(QStringLiteral("N11"))->trigger();
  QCOMPARE(m_window->context()->waveletMethods()->threads(), 1);
  page()->setBand(0.05, 0.15);
  QVERIFY(page()->loadSignal(writeSignal("short.txt", Wave(100))));
  settle();
  QCOMPARE(filteredPoints(), 100);
}

void WaveletPageTest::aNewBandDuringARunSupersedesIt() {
  startLongRun();
  // The presets are off during a run; the strip is not. "Automatic" is ticked: releasing the dragged marker
  // starts a new run, which first stops the one going and drops its result.
  QVERIFY(!find<QToolButton>("SpeedButton18")->isEnabled());
  m_window->context()->setPotoks(4);
  auto* strip = find<WorkspaceStrip>("Image5");
  const int target = static_cast<int>(std::lround(FrequencyPixel(0.05, strip->width())));
  test::DragAlong(strip, strip->highPixel(), {target});
  QVERIFY(page()->isRunning());
  QVERIFY(std::abs(page()->highHz() - 0.05) < 0.002);
  settle();
  QVERIFY(!page()->isRunning());
  QVERIFY(controlsEnabled());
  QCOMPARE(filteredPoints(), 3601);
  QVERIFY(panel(0).endsWith(QStringLiteral(" DONE")));
  QVERIFY(m_errors.isEmpty());
}

void WaveletPageTest::tooLongSignalIsRefusedBeforeAnythingChanges() {
  page()->setBand(0.05, 0.15);
  QVERIFY(page()->loadSignal(writeSignal("short.txt", Wave(200))));
  settle();
  const std::vector<double> before = page()->filteredSignal();
  QCOMPARE(before.size(), size_t{200});
  QVERIFY(!page()->loadSignal(writeSignal("too_long.txt", Wave(3602))));
  QCOMPARE(m_errors.size(), 1);
  QVERIFY2(m_errors.first().contains(QStringLiteral("3601")), qPrintable(m_errors.first()));
  QVERIFY(!page()->isRunning());
  QVERIFY(!m_window->runner()->isBusy());
  auto* chart11 = find<PlotView>("Chart11");
  QCOMPARE(chart11->sourcePointCount(chart11->series(QStringLiteral("Series22"))), 200);
  QCOMPARE(page()->filteredSignal(), before);
  QCOMPARE(filteredPoints(), 200);
  // The page's signal is still the one the engine holds: a new calculation gives the same result.
  QVERIFY(page()->calculate());
  settle();
  QCOMPARE(page()->filteredSignal(), before);
}

void WaveletPageTest::draggingTheStripShowsFrequenciesAndScaleIndices() {
  find<QCheckBox>("AutoSchetW")->setChecked(false);
  auto* strip = find<WorkspaceStrip>("Image5");
  const int w = strip->width();
  // Start state: the high marker's left edge at round(0.4 W - 8); it points 8 pixels further right.
  QCOMPARE(strip->highPixel(), static_cast<int>(std::lround(0.4 * w - 8)) + 8);
  QCOMPARE(find<QLabel>("Label26")->text(), FormatDecimal(0.02));
  const int target = static_cast<int>(0.7 * w);
  test::DragAlong(strip, strip->highPixel(), {target});
  // F = round(2.15^((position + 8) / W * 9.93) * 2) / 2000 - 0.001 with position = target - 8.
  double f = std::round(std::pow(2.15, static_cast<double>(target) / w * 9.93) * 2.0) / 2000.0 - 0.001;
  if (f > 0.01) f = std::round(f * 1000.0) / 1000.0;
  QCOMPARE(page()->highHz(), f);
  QCOMPARE(find<QLabel>("Label26")->text(), FormatDecimal(f));
  // The low marker dragged to the left end gives 0, shown as 0.0001 Hz.
  test::DragAlong(strip, strip->lowPixel(), {-20});
  QCOMPARE(page()->lowHz(), 0.0001);
  QVERIFY(!find<QLabel>("Label28")->isVisible());
  QVERIFY(!page()->isRunning());
}

void WaveletPageTest::aRecordTheTransformPageFilteredBecomesThePagesSignal() {
  page()->setBand(0.05, 0.15);
  QVERIFY(page()->loadSignal(writeSignal("short.txt", Wave(200))));
  settle();
  // The Transform page filters its T record by wavelet (`WMorlPaul` through the shared wavelet methods).
  TransformSession* session = m_window->context()->session();
  QVERIFY(session);
  session->setMethod(ConversionMethod::Wavelet);
  session->setBand(Side::Temperature, 0.05, 0.15);
  session->setBandTexts(Side::Temperature, "0.05", "0.15");
  const std::vector<double> t = Wave(300);
  const QString path = writeSignal("t.txt", t);
  SessionResult loaded;
  QVERIFY(m_window->runner()->start([&]() -> TaskRunner::Continuation {
    loaded = session->LoadT(path.toStdString(), NullProgress());
    return nullptr;
  }));
  settle();
  QVERIFY2(loaded.ok(), qPrintable(SessionErrorText(loaded, Language::English)));
  QCOMPARE(session->filtered(Side::Temperature).size(), size_t{300});
  auto* chart11 = find<PlotView>("Chart11");
  QCOMPARE(chart11->sourcePointCount(chart11->series(QStringLiteral("Series22"))), 300);
  QCOMPARE(filteredPoints(), 300);
  // "Calculation" now filters that record.
  QVERIFY(page()->calculate());
  settle();
  QCOMPARE(page()->filteredSignal().size(), size_t{300});
}

// The fault: the wavelet conversion loads its centred T straight into the shared engine, and the page then took
// that input as its signal together with an output of another signal whenever the lengths matched.
void WaveletPageTest::aWaveletConversionLeavesThePagesSignalAndResult() {
  page()->setBand(0.05, 0.15);
  QVERIFY(page()->loadSignal(writeSignal("page.txt", Wave(300))));
  settle();
  const std::vector<double> filtered = page()->filteredSignal();
  QCOMPARE(filtered.size(), size_t{300});
  auto* chart11 = find<PlotView>("Chart11");
  const std::vector<double> shown = chart11->sourceValues(chart11->series(QStringLiteral("Series22")));

  // A T record of the same length, converted by the wavelet method on the Transform page.
  std::vector<double> t(300);
  for (size_t i = 0; i < t.size(); ++i) t[i] = 32.0 + std::sin(i / 7.0) + 0.1 * std::sin(i / 2.0);
  QVERIFY(m_window->transformPage()->loadT(writeSignal("t.txt", t)));
  m_window->transformPage()->waitForIdle();
  find<QRadioButton>("RadioTypeWavelet")->click();
  find<QPushButton>("BtnTtoBF")->click();
  m_window->transformPage()->waitForIdle();
  settle();
  QVERIFY2(m_errors.isEmpty(), qPrintable(m_errors.join('\n')));
  QVERIFY(m_window->context()->session()->convertedReady(Side::Temperature));
  QCOMPARE(chart11->sourceValues(chart11->series(QStringLiteral("Series22"))), shown);
  QCOMPARE(page()->filteredSignal(), filtered);
  // "Calculation" filters the page's own signal again, not the converted record.
  QVERIFY(page()->calculate());
  settle();
  QCOMPARE(page()->filteredSignal().size(), filtered.size());
  for (size_t i = 0; i < filtered.size(); ++i) QVERIFY(std::abs(page()->filteredSignal()[i] - filtered[i]) < 1e-12);
}

void WaveletPageTest::elapsedRemainingAndPercentTexts() {
  QCOMPARE(ElapsedPanelText(0), QStringLiteral("Elapsed Time: 0:00:00:000"));
  QCOMPARE(ElapsedPanelText(19999), QStringLiteral("Elapsed Time: 0:00:19:999"));
  QCOMPARE(ElapsedPanelText(20000), QStringLiteral("Elapsed Time: 0:00:20"));
  QCOMPARE(ElapsedPanelText(3723000), QStringLiteral("Elapsed Time: 1:02:03"));
  // 1 day, 1 hour, 1 minute, 1 second.
  QCOMPARE(ElapsedPanelText(90061000), QStringLiteral("Elapsed Time: 1d.:1:01:01"));
  QCOMPARE(RemainingPanelText(12.0, 0, 100), QStringLiteral("Remaining Time: 0:00:00"));
  // 10 s for a quarter: 30 s to go.
  QCOMPARE(RemainingPanelText(10.0, 25, 100), QStringLiteral("Remaining Time: 0:00:30"));
  // 100 s for 1 of 1000: 99,900 s = 1 d. 3:45:00.
  QCOMPARE(RemainingPanelText(100.0, 1, 1000), QStringLiteral("Remaining Time: 1 d. 3:45:00"));
  QCOMPARE(PercentPanelText(1, 3), QStringLiteral("33 %"));
  QCOMPARE(PercentPanelText(2, 3), QStringLiteral("67 %"));
  QCOMPARE(PercentPanelText(5, 0), QStringLiteral("0 %"));
  QCOMPARE(PercentPanelText(7200, 7200), QStringLiteral("100 %"));
  QCOMPARE(RemainingPanelText(3600.0, 1, 50), QStringLiteral("Remaining Time: 2 d. 1:00:00"));
  QCOMPARE(RemainingPanelText(61.0, 1, 2), QStringLiteral("Remaining Time: 0:01:01"));
  QCOMPARE(RemainingPanelText(5.0, 100, 100), QStringLiteral("Remaining Time: 0:00:00"));
  QCOMPARE(ElapsedPanelText(((49 * 60 + 5) * 60 + 6) * 1000LL), QStringLiteral("Elapsed Time: 2d.:1:05:06"));
}

void WaveletPageTest::runDisplayWithAnInjectedClock() {
  qint64 now = 1000;
  RunProgressView view(m_window->context(), nullptr, [&now] { return now; });
  QCOMPARE(view.timer2()->objectName(), QStringLiteral("Timer2"));
  QCOMPARE(view.timer2()->interval(), 15);
  QCOMPARE(view.timer3()->interval(), 1000);
  view.begin();
  QVERIFY(view.timer2()->isActive() && view.timer3()->isActive());
  QCOMPARE(find<QLabel>("Progress")->text(), QStringLiteral("0%"));
  now += 25500;
  view.elapsedTick();
  QCOMPARE(panel(0), QStringLiteral("Elapsed Time: 0:00:25"));
  m_window->runProgress()->sink().setRange(0, 200);
  m_window->runProgress()->sink().setPosition(50);
  view.remainingTick();
  QCOMPARE(panel(1), QStringLiteral("Remaining Time: 0:01:17"));
  QCOMPARE(find<QLabel>("Progress")->text(), QStringLiteral("25 %"));
  view.end(true);
  QVERIFY(!view.timer2()->isActive() && !view.timer3()->isActive());
  QCOMPARE(panel(0), QStringLiteral("Elapsed Time: 0:00:25 DONE"));
  QCOMPARE(find<QLabel>("Progress")->text(), QStringLiteral("100%"));
  view.remainingTick();
  QCOMPARE(panel(1), QStringLiteral("Remaining Time: 0:00:00"));

  view.begin();
  now += 3000;
  view.stop();
  QCOMPARE(panel(1), QStringLiteral("Stopped"));
  QCOMPARE(panel(0), QStringLiteral("Elapsed Time: 0:00:03:000"));
}

QTEST_MAIN(WaveletPageTest)
#include "wavelet_page_test.moc"
