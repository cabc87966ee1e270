// How the Transform page presents its charts: enlarged views (with and without animation), the filter panels,
// the input and filtered curve boxes, and a close while a conversion runs.
#include <QAction>
#include <QCheckBox>
#include <QFile>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTemporaryDir>
#include <QToolButton>
#include <QtTest>

#include "shell/app_context.h"
#include "charts/frequency_strip.h"
#include "shell/main_window.h"
#include "charts/plot_view.h"
#include "shell/settings.h"
#include "shell/task_runner.h"
#include "pages/transform_page.h"

using namespace kelvora;

class ChartPresentationTest : public QObject {
  Q_OBJECT

 private slots:
  void init();
  void cleanup();
  void enlargingTheInputSideAndBack();
  void enlargingTheOutputSideWithAnimation();
  void collapsingTheBloodFlowPanelUnchecksItsFilteredCurve();
  void oneOfInputAndFilteredStaysShown();
  void badScalingTextShowsTheErrorAndKeepsTheResult();
  void closingDuringAConversionStopsWaitsAndSaves();

 private:
  template <typename T>
  T* find(const char* name) {
    return m_window->findChild<T*>(QString::fromLatin1(name));
  }
  bool examplesPresent() const {
    return QFile::exists(AppContext::dataFolder() + QStringLiteral("/Examples/T1.txt"));
  }
  void loadExample() {
    m_window->findChild<QAction*>(QStringLiteral("Example21"))->trigger();
    m_window->transformPage()->waitForIdle();
  }

  QTemporaryDir* m_dir = nullptr;
  TForm1* m_window = nullptr;
  QStringList m_errors;
};

void ChartPresentationTest::init() {
  m_dir = new QTemporaryDir;
  QFile settings(m_dir->filePath(QStringLiteral("option.ini")));
  QVERIFY(settings.open(QIODevice::WriteOnly));
  settings.write("[position]\nMaximized=0\n");
  settings.close();
  m_window = new TForm1(nullptr, m_dir->filePath(QStringLiteral("option.ini")));
  m_errors.clear();
  m_window->context()->setErrorInterceptor([this](const QString& message) { m_errors << message; });
  m_window->showAtStart();
  QVERIFY(QTest::qWaitForWindowExposed(m_window));
}

void ChartPresentationTest::cleanup() {
  delete m_window;
  m_window = nullptr;
  delete m_dir;
}

void ChartPresentationTest::enlargingTheInputSideAndBack() {
  TransformPage* page = m_window->transformPage();
  auto* button = find<QToolButton>("SpeedButton4");
  QWidget* output = find<QWidget>("PanelP");
  QWidget* input = find<QWidget>("PanelL");
  const int halfWidth = input->width();
  button->click();
  QCOMPARE(page->layoutState(), TransformPage::InputEnlarged);
  QVERIFY(!output->isVisible());
  QVERIFY(!find<QWidget>("Panel12")->isVisible());
  QCOMPARE(button->toolTip(), QStringLiteral("Minimize"));
  QTRY_VERIFY(input->width() > 1.8 * halfWidth);
  button->click();
  QCOMPARE(page->layoutState(), TransformPage::BothSides);
  QVERIFY(output->isVisible());
  QVERIFY(find<QWidget>("Panel12")->isVisible());
  QCOMPARE(button->toolTip(), QStringLiteral("Maximize"));
}

void ChartPresentationTest::enlargingTheOutputSideWithAnimation() {
  m_window->findChild<QAction*>(QStringLiteral("Animation1"))->trigger();
  QVERIFY(m_window->context()->animation());
  TransformPage* page = m_window->transformPage();
  auto* button = find<QToolButton>("SpeedButton3");
  button->click();
  // While the panels move, the band scales are hidden; they come back when the timer has stopped.
  QVERIFY(!find<FrequencyStrip>("Image3")->isVisible());
  QVERIFY(!find<QLineEdit>("EditS1")->isVisible());
  QTRY_COMPARE(page->layoutState(), TransformPage::OutputEnlarged);
  QVERIFY(!find<QWidget>("PanelL")->isVisible());
  button->click();
  QTRY_COMPARE(page->layoutState(), TransformPage::BothSidesRestored);
  QVERIFY(find<QWidget>("PanelL")->isVisible());
  QVERIFY(find<FrequencyStrip>("Image3")->isVisible());
  QVERIFY(find<QToolButton>("SpeedButton6")->isVisible());
}

void ChartPresentationTest::collapsingTheBloodFlowPanelUnchecksItsFilteredCurve() {
  if (!examplesPresent()) QSKIP("The example signals are not beside the program");
  loadExample();
  find<QToolButton>("SpeedButton13")->click();
  m_window->transformPage()->waitForIdle();
  QVERIFY(find<QCheckBox>("CBFilterSignalBF")->isChecked());
  find<QPushButton>("BitBtn10")->click();
  QVERIFY(!find<QCheckBox>("CBFilterSignalBF")->isChecked());
  QVERIFY(!find<QToolButton>("SpeedButton13")->isVisible());
  QVERIFY(!find<PlotView>("Chart2")->series(QStringLiteral("Series21"))->isVisible());
  find<QPushButton>("BitBtn10")->click();
  QVERIFY(find<QToolButton>("SpeedButton13")->isVisible());
}

void ChartPresentationTest::oneOfInputAndFilteredStaysShown() {
  auto* input = find<QCheckBox>("CheckBox2");
  auto* filtered = find<QCheckBox>("CBFilterSignalT");
  QVERIFY(input->isChecked());
  QVERIFY(!filtered->isChecked());
  input->click();  // the filtered curve takes over
  QVERIFY(!input->isChecked());
  QVERIFY(filtered->isChecked());
  filtered->click();  // unticking it with the input unticked brings the input back
  QVERIFY(input->isChecked());
  QVERIFY(!filtered->isChecked());
  QVERIFY(find<PlotView>("Chart1")->series(QStringLiteral("Series1"))->isVisible());
}

void ChartPresentationTest::badScalingTextShowsTheErrorAndKeepsTheResult() {
  if (!examplesPresent()) QSKIP("The example signals are not beside the program");
  loadExample();
  find<QRadioButton>("RadioTypeShitzer")->click();
  find<QPushButton>("BtnBFtoT")->click();
  m_window->transformPage()->waitForIdle();
  QVERIFY(m_errors.isEmpty());
  auto* chart4 = find<PlotView>("Chart4");
  const std::vector<double> before = chart4->sourceValues(chart4->series(QStringLiteral("Series4")));
  QVERIFY(!before.empty());
  find<QRadioButton>("RadioNormaliz3")->click();
  find<QLineEdit>("Edit4")->setText(QStringLiteral("x2"));
  find<QPushButton>("BtnBFtoT")->click();
  m_window->transformPage()->waitForIdle();
  QCOMPARE(m_errors.size(), 1);
  QCOMPARE(chart4->sourceValues(chart4->series(QStringLiteral("Series4"))), before);
  QVERIFY(find<QPushButton>("BtnSaveT")->isEnabled());
}

void ChartPresentationTest::closingDuringAConversionStopsWaitsAndSaves() {
  if (!examplesPresent()) QSKIP("The example signals are not beside the program");
  loadExample();
  find<QRadioButton>("RadioTypeShitzer")->click();
  find<QPushButton>("BtnTtoBF")->click();
  QVERIFY(m_window->transformPage()->isBusy());
  QVERIFY(!find<QPushButton>("BtnTtoBF")->isEnabled());  // no second run while one is going
  m_window->close();
  QVERIFY(!m_window->runner()->isBusy());
  QVERIFY(QFile::exists(m_window->settingsPath()));
  QCOMPARE(ReadSettings(m_window->settingsPath()).maximized, 0);
}

QTEST_MAIN(ChartPresentationTest)
#include "chart_presentation_test.moc"
