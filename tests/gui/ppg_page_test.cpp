// The "PPG-->BloodFlow" page: the examples, the envelope, saving, the "<--" hand-over to the Transform page's BF
// record, bad input, and drawing a long PPG through the decimating chart.
#include "pages/ppg_page.h"

#include <QLineEdit>
#include <QPushButton>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QtTest>
#include <cmath>
#include <memory>

#include "shell/app_context.h"
#include "shell/main_window.h"
#include "charts/plot_view.h"
#include "signals/transform_session.h"
#include "shell/task_runner.h"
#include "pages/transform_page.h"
#include "workspace_test_support.h"

using namespace kelvora;

class PpgPageTest : public QObject {
  Q_OBJECT

 private slots:
  void init();
  void cleanup();
  void exampleLoadsWithItsPointCount();
  void envelopeComputesAndHandsOverToTheTransformPage();
  void savedEnvelopeHasTimeTimesOutputRateSamples();
  void missingExampleAndBadEditsShowTheErrorAndKeepThePage();
  void headerOnlyFileGivesNoSamplesAndNoEnvelope();
  void twoMillionSamplesAreDrawnDecimated();
  void handOverLeavesTheSessionToTheTransformPageOnTheUiThread();

 private:
  PpgPage* page() const { return m_window->ppgPage(); }
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

  std::unique_ptr<QTemporaryDir> m_dir;
  std::unique_ptr<TForm1> m_window;
  std::unique_ptr<TransformSession> m_session;
  QStringList m_errors;
};

void PpgPageTest::init() {
  m_dir = std::make_unique<QTemporaryDir>();
  m_window = std::make_unique<TForm1>(nullptr, m_dir->filePath(QStringLiteral("option.ini")));
  m_window->context()->setErrorInterceptor([this](const QString& message) { m_errors << message; });
  if (!m_window->context()->session()) {
    m_session = std::make_unique<TransformSession>();
    m_window->context()->setSession(m_session.get());
  }
  m_errors.clear();
  m_window->resize(1400, 900);
  m_window->show();
  QVERIFY(QTest::qWaitForWindowExposed(m_window.get()));
}

void PpgPageTest::cleanup() {
  m_window.reset();
  m_session.reset();
  m_dir.reset();
}

void PpgPageTest::exampleLoadsWithItsPointCount() {
  QVERIFY(!find<QPushButton>("BtnPPGintoBF")->isEnabled());
  m_window->findChild<QAction*>(QStringLiteral("ExamplePPG21"))->trigger();
  QCOMPARE(find<QTabWidget>("PageControl1")->currentIndex(), 1);
  QCOMPARE(find<QLineEdit>("Edit20")->text(), QStringLiteral("72350 points"));
  QCOMPARE(find<QLineEdit>("Edit3")->text(), QStringLiteral("PPG: Example 1"));
  // round(72349 / 50) seconds.
  QCOMPARE(find<QLineEdit>("Edit13")->text(), QStringLiteral("1447"));
  QCOMPARE(points("Chart7", "Series9"), 72350);
  QVERIFY(find<QPushButton>("BtnPPGintoBF")->isEnabled());
  QVERIFY(!find<QPushButton>("BtnSavePPGBF")->isEnabled());
  QVERIFY(!find<QPushButton>("BitBtn20")->isEnabled());

  QVERIFY(page()->loadExample(2));
  QCOMPARE(find<QLineEdit>("Edit20")->text(), QStringLiteral("58050 points"));
  QCOMPARE(find<QLineEdit>("Edit3")->text(), QStringLiteral("PPG: Example 2"));
  QVERIFY(m_errors.isEmpty());
}

void PpgPageTest::envelopeComputesAndHandsOverToTheTransformPage() {
  QVERIFY(page()->loadExample(1));
  QTest::mouseClick(find<QPushButton>("BtnPPGintoBF"), Qt::LeftButton);
  m_window->runner()->waitForIdle();
  QVERIFY(m_errors.isEmpty());
  // round(1447 s x 2 Hz) samples.
  QCOMPARE(page()->envelope().values.size(), size_t{2894});
  QCOMPARE(points("Chart8", "Series10"), 2894);
  // About 72 beats a minute for 24 minutes: one accepted maximum and minimum per beat.
  const qsizetype maxima = points("Chart7", "Series13");
  QVERIFY2(maxima > 1500 && maxima < 2000, qPrintable(QString::number(maxima)));
  QCOMPARE(maxima, static_cast<qsizetype>(page()->envelope().maxima.size()));
  const qsizetype minima = points("Chart7", "Series12");
  // A minimum is kept only where the PPG rises after it, so some beats give none.
  QVERIFY2(minima > 1000 && minima <= maxima, qPrintable(QString::number(minima)));
  // The envelope lies on the 0 .. 10 scale of the PPG.
  for (double v : page()->envelope().values) QVERIFY(v >= 0.0 && v <= 10.0);
  QVERIFY(find<QPushButton>("BtnSavePPGBF")->isEnabled());
  QVERIFY(find<QPushButton>("BitBtn20")->isEnabled());

  // "<--" with a shorter time takes round(Edit13 x Edit12) samples.
  find<QLineEdit>("Edit13")->setText(QStringLiteral("1000"));
  QSignalSpy changed(m_window->context(), &AppContext::sessionChanged);
  QTest::mouseClick(find<QPushButton>("BitBtn20"), Qt::LeftButton);
  m_window->runner()->waitForIdle();
  QVERIFY(m_errors.isEmpty());
  TransformSession* session = m_window->context()->session();
  QCOMPARE(session->record(Side::BloodFlow).count(), 2000);
  QCOMPARE(session->record(Side::BloodFlow).values[1234], page()->envelope().values[1234]);
  QVERIFY(session->loaded(Side::BloodFlow));
  QCOMPARE(session->viewState().bloodFlow.sampleCount, 2000);
  QCOMPARE(QString::fromStdString(session->viewState().bloodFlow.source), QStringLiteral("PPG: Example 1"));
  QCOMPARE(changed.count(), 1);
  QCOMPARE(find<QLineEdit>("Edit18")->text(), QStringLiteral("2000 points"));
  QCOMPARE(find<QTabWidget>("PageControl1")->currentIndex(), 0);
}

void PpgPageTest::savedEnvelopeHasTimeTimesOutputRateSamples() {
  QVERIFY(page()->loadExample(2));
  QVERIFY(page()->computeEnvelope());
  m_window->runner()->waitForIdle();
  const std::vector<double>& envelope = page()->envelope().values;
  find<QLineEdit>("Edit13")->setText(QStringLiteral("600"));
  const QString target = m_dir->filePath(QStringLiteral("bf"));
  QVERIFY(page()->saveEnvelope(target));
  const QStringList lines = test::ReadLines(target + QStringLiteral(".txt"));
  QCOMPARE(lines.size(), 1200);
  QVERIFY(std::abs(lines[700].toDouble() - envelope[700]) <= 0.0005 + 1e-12);
  QVERIFY(m_errors.isEmpty());
}

void PpgPageTest::missingExampleAndBadEditsShowTheErrorAndKeepThePage() {
  QVERIFY(page()->loadExample(1));
  QVERIFY(!page()->loadExample(3));
  QCOMPARE(m_errors.size(), 1);
  QVERIFY(m_errors.first().startsWith(QStringLiteral("File ")));
  QVERIFY(m_errors.first().endsWith(QStringLiteral("PPG3.txt does not exist")));
  QCOMPARE(find<QLineEdit>("Edit20")->text(), QStringLiteral("72350 points"));

  find<QLineEdit>("Edit14")->setText(QStringLiteral("abc"));
  QVERIFY(!page()->computeEnvelope());
  QCOMPARE(m_errors.size(), 2);
  QCOMPARE(m_errors.last(), QStringLiteral("'abc' is not a valid integer value"));
  find<QLineEdit>("Edit14")->setText(QStringLiteral("69"));
  find<QLineEdit>("Edit12")->setText(QStringLiteral("x2"));
  QVERIFY(!page()->computeEnvelope());
  QCOMPARE(m_errors.last(), QStringLiteral("'x2' is not a valid floating point value"));
  QVERIFY(!m_window->runner()->isBusy());
  QVERIFY(page()->envelope().empty());

  // A line that is not a number: the file is refused and the page keeps the example.
  const QString bad = m_dir->filePath(QStringLiteral("bad.txt"));
  QVERIFY(test::WriteSamples(bad, {1.0, 2.0}, QStringLiteral("PPG")));
  QFile file(bad);
  QVERIFY(file.open(QIODevice::Append));
  file.write("1.2.3\n");
  file.close();
  QVERIFY(!page()->loadPpg(bad));
  QCOMPARE(m_errors.size(), 4);
  QCOMPARE(page()->ppg().count(), 72350);
  QCOMPARE(find<QLineEdit>("Edit3")->text(), QStringLiteral("PPG: Example 1"));
}

void PpgPageTest::headerOnlyFileGivesNoSamplesAndNoEnvelope() {
  const QString path = m_dir->filePath(QStringLiteral("header.txt"));
  QVERIFY(test::WriteSamples(path, {}, QStringLiteral("PPG")));
  QVERIFY(page()->loadPpg(path));
  QCOMPARE(find<QLineEdit>("Edit20")->text(), QStringLiteral("0 points"));
  QVERIFY(page()->computeEnvelope());
  m_window->runner()->waitForIdle();
  QCOMPARE(m_errors.size(), 1);
  QVERIFY(page()->envelope().empty());
  QVERIFY(!find<QPushButton>("BitBtn20")->isEnabled());
  QVERIFY(find<QPushButton>("BtnPPG")->isEnabled());
}

void PpgPageTest::twoMillionSamplesAreDrawnDecimated() {
  std::vector<double> values(2000000);
  for (size_t i = 0; i < values.size(); ++i) values[i] = 2.0 + std::sin(static_cast<double>(i) * 0.13);
  const QString path = m_dir->filePath(QStringLiteral("long.txt"));
  QVERIFY(test::WriteSamples(path, values, QStringLiteral("PPG")));
  QVERIFY(page()->loadPpg(path));
  QCOMPARE(find<QLineEdit>("Edit20")->text(), QStringLiteral("2000000 points"));
  QCOMPARE(points("Chart7", "Series9"), 2000000);
  auto* chart = find<PlotView>("Chart7");
  chart->refreshNow();
  const qsizetype shown = chart->shownPointCount(chart->series(QStringLiteral("Series9")));
  QVERIFY2(shown > 0 && shown <= 4 * chart->width(), qPrintable(QString::number(shown)));
  QVERIFY(m_errors.isEmpty());
}

// The fault: "<--" loaded the envelope into the Transform session on the worker thread while the Transform page,
// which checked only its own busy flag, could still touch the same session. The hand-over now goes through the
// session's owner: the Transform page is busy until the result is back on the user-interface thread.
void PpgPageTest::handOverLeavesTheSessionToTheTransformPageOnTheUiThread() {
  QVERIFY(page()->loadExample(1));
  QVERIFY(page()->computeEnvelope());
  m_window->runner()->waitForIdle();
  QVERIFY(m_errors.isEmpty());
  TransformSession* session = m_window->context()->session();
  QVERIFY(page()->handOver());
  QVERIFY(m_window->transformPage()->isBusy());
  QVERIFY(!find<QPushButton>("BtnReadBF")->isEnabled());
  QVERIFY(!session->loaded(Side::BloodFlow));
  m_window->transformPage()->waitForIdle();
  QVERIFY2(m_errors.isEmpty(), qPrintable(m_errors.join('\n')));
  QVERIFY(!m_window->transformPage()->isBusy());
  QVERIFY(session->loaded(Side::BloodFlow));
  QCOMPARE(session->record(Side::BloodFlow).count(), 2894);
  QCOMPARE(find<QLineEdit>("Edit18")->text(), QStringLiteral("2894 points"));
}

QTEST_MAIN(PpgPageTest)
#include "ppg_page_test.moc"
