// The Transform page driven as a user would: Example 1, both conversions by Fourier and Shitzer, the "Output"
// overlays with their correlation, the wavelet arrow, band presets, strip dragging, band edits and bad files.
#include "pages/transform_page.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QFile>
#include <QFileDialog>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QSpinBox>
#include <QTableWidget>
#include <QTemporaryDir>
#include <QTimer>
#include <QToolButton>
#include <QtTest>
#include <cmath>

#include "shell/app_context.h"
#include "charts/frequency_strip.h"
#include "shell/main_window.h"
#include "shell/number_text.h"
#include "charts/plot_view.h"
#include "signals/transform_session.h"

using namespace kelvora;

namespace {

// Answers the next file dialog with `path`, as a user choosing that file would.
void AnswerFileDialog(const QString& path) {
  QTimer::singleShot(0, [path] {
    auto* dialog = qobject_cast<QFileDialog*>(QApplication::activeModalWidget());
    if (!dialog) return;
    dialog->selectFile(path);
    static_cast<QDialog*>(dialog)->accept();
  });
}

QString WriteColumn(const QString& path, const std::vector<double>& values) {
  QFile file(path);
  if (file.open(QIODevice::WriteOnly)) {
    for (double v : values) file.write(QByteArray::number(v, 'g', 10) + "\n");
  }
  return path;
}

// The samples of a one-column example file, read here without the program's reader.
std::vector<double> ReadColumn(const QString& path) {
  std::vector<double> values;
  QFile file(path);
  if (!file.open(QIODevice::ReadOnly | QIODevice::Text)) return values;
  while (!file.atEnd()) {
    const QByteArray line = file.readLine().trimmed();
    if (!line.isEmpty()) values.push_back(line.split('\t').first().toDouble());
  }
  return values;
}

double Pearson(const std::vector<double>& x, const std::vector<double>& y) {
  const size_t n = std::min(x.size(), y.size());
  double mx = 0, my = 0;
  for (size_t i = 0; i < n; ++i) {
    mx += x[i];
    my += y[i];
  }
  mx /= n;
  my /= n;
  double sxy = 0, sxx = 0, syy = 0;
  for (size_t i = 0; i < n; ++i) {
    sxy += (x[i] - mx) * (y[i] - my);
    sxx += (x[i] - mx) * (x[i] - mx);
    syy += (y[i] - my) * (y[i] - my);
  }
  return sxy / std::sqrt(sxx * syy);
}

}  // namespace

class TransformPageTest : public QObject {
  Q_OBJECT

 private slots:
  void initTestCase();
  void init();
  void cleanup();
  void exampleOneLoadsBothRecords();
  void fourierBothWaysWithOutputAndCorrelation();
  void shitzerBothWaysWithOutputAndCorrelation();
  void waveletArrowFromBloodFlowClearsChart4();
  void arrowsDoNothingBeforeALoad();
  void badFileShowsTheErrorAndKeepsTheRecords();
  void neurogenicOnTheTemperatureStripFilters();
  void draggingTheHighMarkerToTheEndShowsTwo();
  void enterInABandEditMovesTheMarkerAndFilters();
  void doubleClickOnTheBloodFlowStripResetsItsBand();
  void gridEditsReachTheModelAndBadTextsAreRefused();
  void savingTheConvertedRecordWritesItsSamples();
  void failedLoadKeepsTheSourceTextOfTheLoadedRecord();
  void waveletConversionShowsTheRateTheRecordsNowHave();
  void temperatureBandZeroToTenthIsNoBandWhenEntered();

 private:
  template <typename T>
  T* find(const char* name) {
    return m_window->findChild<T*>(QString::fromLatin1(name));
  }
  void loadExample();
  QString exampleFile(const char* name) const { return m_examples + QLatin1Char('/') + QLatin1String(name); }

  QString m_examples;
  QTemporaryDir* m_dir = nullptr;
  TForm1* m_window = nullptr;
  QStringList m_errors;
};

void TransformPageTest::initTestCase() {
  m_examples = AppContext::dataFolder() + QStringLiteral("/Examples");
  if (!QFile::exists(m_examples + QStringLiteral("/T1.txt"))) QSKIP("The example signals are not beside the program");
}

void TransformPageTest::init() {
  m_dir = new QTemporaryDir;
  QFile settings(m_dir->filePath(QStringLiteral("option.ini")));
  QVERIFY(settings.open(QIODevice::WriteOnly));
  settings.write("[position]\nMaximized=0\n");
  settings.close();
  m_window = new TForm1(nullptr, m_dir->filePath(QStringLiteral("option.ini")));
  m_errors.clear();
  m_window->context()->setErrorInterceptor([this](const QString& message) { m_errors << message; });
  m_window->showAtStart();
}

void TransformPageTest::cleanup() {
  delete m_window;
  m_window = nullptr;
  delete m_dir;
  m_dir = nullptr;
}

void TransformPageTest::loadExample() {
  m_window->findChild<QAction*>(QStringLiteral("Example21"))->trigger();
  m_window->transformPage()->waitForIdle();
  QVERIFY2(m_errors.isEmpty(), qPrintable(m_errors.join('\n')));
}

void TransformPageTest::exampleOneLoadsBothRecords() {
  loadExample();
  const size_t t = ReadColumn(exampleFile("T1.txt")).size();
  const size_t bf = ReadColumn(exampleFile("BF1.txt")).size();
  QVERIFY(t > 100);
  QCOMPARE(find<QLineEdit>("Edit17")->text(), QString::number(t) + QStringLiteral(" points"));
  QCOMPARE(find<QLineEdit>("Edit18")->text(), QString::number(bf) + QStringLiteral(" points"));
  QCOMPARE(find<QLineEdit>("Edit10")->text(), QStringLiteral("Temperature: Example 1"));
  QCOMPARE(find<QLineEdit>("Edit16")->text(), QStringLiteral("  Blood Flow:  Example 1"));
  auto* chart1 = find<PlotView>("Chart1");
  QCOMPARE(chart1->sourcePointCount(chart1->series(QStringLiteral("Series1"))), static_cast<qsizetype>(t));
  auto* chart2 = find<PlotView>("Chart2");
  QCOMPARE(chart2->sourcePointCount(chart2->series(QStringLiteral("Series2"))), static_cast<qsizetype>(bf));
  QCOMPARE(find<QPushButton>("BtnTtoBF")->property("tag").toInt(), 1);
  QCOMPARE(find<QPushButton>("BtnBFtoT")->property("tag").toInt(), 1);
  QVERIFY(!find<QPushButton>("BtnSaveBF")->isEnabled());
  QVERIFY(!find<QPushButton>("BtnOutputBF")->isEnabled());
  // The chart's time axis runs in minutes at the page's 2 Hz: the last sample lies at (n - 1) / 2 / 60.
  QCOMPARE(chart1->axisX()->min(), 0.0);
  QCOMPARE(chart1->axisX()->max(), (t - 1) / 2.0 / 60.0);
}

void TransformPageTest::fourierBothWaysWithOutputAndCorrelation() {
  loadExample();
  QVERIFY(find<QRadioButton>("RadioTypeFourier")->isChecked());
  find<QPushButton>("BtnTtoBF")->click();
  m_window->transformPage()->waitForIdle();
  QVERIFY2(m_errors.isEmpty(), qPrintable(m_errors.join('\n')));
  auto* chart3 = find<PlotView>("Chart3");
  QXYSeries* series3 = chart3->series(QStringLiteral("Series3"));
  const std::vector<double> bfStar = chart3->sourceValues(series3);
  const std::vector<double> t = ReadColumn(exampleFile("T1.txt"));
  QCOMPARE(bfStar.size(), t.size());
  // "Normalized values": the converted record spans exactly 0 .. 1.
  QCOMPARE(*std::min_element(bfStar.begin(), bfStar.end()), 0.0);
  QCOMPARE(*std::max_element(bfStar.begin(), bfStar.end()), 1.0);
  QCOMPARE(chart3->axisY()->titleText(), QStringLiteral("BF, arb. units"));
  QVERIFY(find<QPushButton>("BtnSaveBF")->isEnabled());
  QVERIFY(find<QPushButton>("BtnPlotBF")->isEnabled());
  QVERIFY(find<QPushButton>("BtnOutputBF")->isEnabled());

  find<QPushButton>("BtnOutputBF")->click();
  const std::vector<double> bf = ReadColumn(exampleFile("BF1.txt"));
  const double r = Pearson(bf, bfStar);
  QCOMPARE(find<QLabel>("LBCorrel1")->text(),
           QStringLiteral("Correlation: ") + QString::number(std::round(r * 1000) / 1000, 'g', 10));
  QCOMPARE(chart3->sourcePointCount(chart3->series(QStringLiteral("Series5"))), static_cast<qsizetype>(bf.size()));
  QCOMPARE(chart3->axisY()->titleText(), QStringLiteral("BF, V"));

  find<QPushButton>("BtnBFtoT")->click();
  m_window->transformPage()->waitForIdle();
  QVERIFY2(m_errors.isEmpty(), qPrintable(m_errors.join('\n')));
  auto* chart4 = find<PlotView>("Chart4");
  const std::vector<double> tStar = chart4->sourceValues(chart4->series(QStringLiteral("Series4")));
  QCOMPARE(tStar.size(), bf.size());
  QVERIFY(find<QPushButton>("BtnOutputT")->isEnabled());
  find<QPushButton>("BtnOutputT")->click();
  const double r2 = Pearson(t, chart4->sourceValues(chart4->series(QStringLiteral("Series4"))));
  QCOMPARE(find<QLabel>("LBCorrel2")->text(),
           QStringLiteral("Correlation: ") + QString::number(std::round(r2 * 1000) / 1000, 'g', 10));
  QCOMPARE(chart4->axisY()->titleText(), QStringLiteral("T, °C"));
}

void TransformPageTest::shitzerBothWaysWithOutputAndCorrelation() {
  loadExample();
  find<QRadioButton>("RadioTypeShitzer")->click();
  QVERIFY(find<QLineEdit>("Edit9")->isVisible());
  QCOMPARE(find<QLineEdit>("Edit9")->text(), QStringLiteral("36.24"));
  QCOMPARE(find<QPushButton>("Button2")->text(), QStringLiteral("Blood"));
  find<QPushButton>("BtnTtoBF")->click();
  m_window->transformPage()->waitForIdle();
  QVERIFY2(m_errors.isEmpty(), qPrintable(m_errors.join('\n')));
  find<QPushButton>("BtnOutputBF")->click();
  auto* chart3 = find<PlotView>("Chart3");
  const double r =
      Pearson(ReadColumn(exampleFile("BF1.txt")), chart3->sourceValues(chart3->series(QStringLiteral("Series3"))));
  QCOMPARE(find<QLabel>("LBCorrel1")->text(),
           QStringLiteral("Correlation: ") + QString::number(std::round(r * 1000) / 1000, 'g', 10));

  find<QPushButton>("BtnBFtoT")->click();
  m_window->transformPage()->waitForIdle();
  QVERIFY2(m_errors.isEmpty(), qPrintable(m_errors.join('\n')));
  auto* chart4 = find<PlotView>("Chart4");
  const std::vector<double> tStar = chart4->sourceValues(chart4->series(QStringLiteral("Series4")));
  QCOMPARE(tStar.size(), ReadColumn(exampleFile("BF1.txt")).size());
  QCOMPARE(*std::min_element(tStar.begin(), tStar.end()), 0.0);
  QCOMPARE(*std::max_element(tStar.begin(), tStar.end()), 1.0);
  QCOMPARE(chart4->axisY()->titleText(), QStringLiteral("T, arb. units"));
  find<QPushButton>("BtnOutputT")->click();
  QVERIFY(find<QLabel>("LBCorrel2")->text().startsWith(QStringLiteral("Correlation: ")));
}

void TransformPageTest::waveletArrowFromBloodFlowClearsChart4() {
  loadExample();
  find<QPushButton>("BtnBFtoT")->click();
  m_window->transformPage()->waitForIdle();
  auto* chart4 = find<PlotView>("Chart4");
  QVERIFY(chart4->sourcePointCount(chart4->series(QStringLiteral("Series4"))) > 0);
  find<QRadioButton>("RadioTypeWavelet")->click();
  find<QPushButton>("BtnBFtoT")->click();
  m_window->transformPage()->waitForIdle();
  QCOMPARE(chart4->sourcePointCount(chart4->series(QStringLiteral("Series4"))), 0);
  QCOMPARE(chart4->sourcePointCount(chart4->series(QStringLiteral("Series6"))), 0);
  QVERIFY(m_errors.isEmpty());
}

void TransformPageTest::arrowsDoNothingBeforeALoad() {
  find<QPushButton>("BtnTtoBF")->click();
  find<QPushButton>("BtnBFtoT")->click();
  m_window->transformPage()->waitForIdle();
  QVERIFY(m_errors.isEmpty());
  auto* chart3 = find<PlotView>("Chart3");
  QCOMPARE(chart3->sourcePointCount(chart3->series(QStringLiteral("Series3"))), 0);
  QVERIFY(!find<QPushButton>("BtnSaveBF")->isEnabled());
}

void TransformPageTest::badFileShowsTheErrorAndKeepsTheRecords() {
  loadExample();
  const QString before = find<QLineEdit>("Edit17")->text();
  auto* chart1 = find<PlotView>("Chart1");
  const qsizetype points = chart1->sourcePointCount(chart1->series(QStringLiteral("Series1")));
  QTemporaryDir dir;
  const QString bad = dir.filePath(QStringLiteral("bad.txt"));
  QFile file(bad);
  QVERIFY(file.open(QIODevice::WriteOnly));
  file.write("36.6\nwarm\n36.7\n");
  file.close();
  QVERIFY(m_window->transformPage()->loadT(bad));
  m_window->transformPage()->waitForIdle();
  QCOMPARE(m_errors.size(), 1);
  QCOMPARE(find<QLineEdit>("Edit17")->text(), before);
  QCOMPARE(chart1->sourcePointCount(chart1->series(QStringLiteral("Series1"))), points);
  QCOMPARE(find<QPushButton>("BtnTtoBF")->property("tag").toInt(), 1);

  m_errors.clear();
  QVERIFY(m_window->transformPage()->loadBF(dir.filePath(QStringLiteral("missing.txt"))));
  m_window->transformPage()->waitForIdle();
  QCOMPARE(m_errors.size(), 1);
  QCOMPARE(find<QLineEdit>("Edit18")->text(),
           QString::number(ReadColumn(exampleFile("BF1.txt")).size()) + QStringLiteral(" points"));
}

void TransformPageTest::neurogenicOnTheTemperatureStripFilters() {
  loadExample();
  QVERIFY(!find<QCheckBox>("CBFilterSignalT")->isChecked());
  auto* button = find<QToolButton>("SpeedButton7");
  QCOMPARE(button->toolTip(), QStringLiteral("0.02-0.05 Hz"));
  button->click();
  m_window->transformPage()->waitForIdle();
  QVERIFY2(m_errors.isEmpty(), qPrintable(m_errors.join('\n')));
  QCOMPARE(find<QLineEdit>("EditS1")->text(), QStringLiteral("0.02"));
  QCOMPARE(find<QLineEdit>("EditS2")->text(), QStringLiteral("0.05"));
  QVERIFY(find<QCheckBox>("CBFilterSignalT")->isChecked());
  auto* chart1 = find<PlotView>("Chart1");
  QXYSeries* filtered = chart1->series(QStringLiteral("Series19"));
  QCOMPARE(chart1->sourcePointCount(filtered), chart1->sourcePointCount(chart1->series(QStringLiteral("Series1"))));
  QVERIFY(filtered->isVisible());
  auto* strip = find<FrequencyStrip>("Image3");
  QCOMPARE(strip->lowMarker(), FrequencyToMarker(0.02, strip->width()));
  QCOMPARE(strip->highMarker(), FrequencyToMarker(0.05, strip->width()) - 1);
}

void TransformPageTest::draggingTheHighMarkerToTheEndShowsTwo() {
  loadExample();
  auto* strip = find<FrequencyStrip>("Image3");
  QVERIFY(QTest::qWaitForWindowExposed(m_window));
  const int y = strip->height() / 2;
  QTest::mousePress(strip, Qt::LeftButton, {}, QPoint(strip->highMarker() + 3, y));
  QMouseEvent move(QEvent::MouseMove, QPointF(strip->width() + 50, y),
                   strip->mapToGlobal(QPointF(strip->width() + 50, y)), Qt::NoButton, Qt::LeftButton, Qt::NoModifier);
  QApplication::sendEvent(strip, &move);
  QCOMPARE(find<QLineEdit>("EditS2")->text(), QStringLiteral("2"));
  QTest::mouseRelease(strip, Qt::LeftButton, {}, QPoint(strip->width() - 1, y));
  m_window->transformPage()->waitForIdle();
  QVERIFY2(m_errors.isEmpty(), qPrintable(m_errors.join('\n')));
  // A band of 0 .. 2 Hz is a band: the filtered curve is shown.
  QVERIFY(find<QCheckBox>("CBFilterSignalT")->isChecked());
}

void TransformPageTest::enterInABandEditMovesTheMarkerAndFilters() {
  loadExample();
  auto* edit = find<QLineEdit>("EditS2");
  edit->setFocus();
  edit->selectAll();
  QTest::keyClicks(edit, QStringLiteral("0,0z5"));  // "," and letters are dropped by the key filter
  QCOMPARE(edit->text(), QStringLiteral("005"));
  edit->clear();
  QTest::keyClicks(edit, QStringLiteral("0.05"));
  QTest::keyClick(edit, Qt::Key_Return);
  m_window->transformPage()->waitForIdle();
  QVERIFY2(m_errors.isEmpty(), qPrintable(m_errors.join('\n')));
  auto* strip = find<FrequencyStrip>("Image3");
  QCOMPARE(strip->highHz(), 0.05);
  QCOMPARE(strip->highMarker(), FrequencyToMarker(0.05, strip->width()) - 1);
  QVERIFY(find<QCheckBox>("CBFilterSignalT")->isChecked());
}

void TransformPageTest::doubleClickOnTheBloodFlowStripResetsItsBand() {
  loadExample();
  find<QToolButton>("SpeedButton13")->click();
  m_window->transformPage()->waitForIdle();
  QVERIFY(find<QCheckBox>("CBFilterSignalBF")->isChecked());
  auto* strip = find<FrequencyStrip>("Image4");
  QTest::mouseDClick(strip, Qt::LeftButton, {}, QPoint(strip->width() / 3, strip->height() / 2));
  QCOMPARE(find<QLineEdit>("EditS3")->text(), QStringLiteral("0"));
  QCOMPARE(find<QLineEdit>("EditS4")->text(), QStringLiteral("2"));
  QCOMPARE(strip->highMarker(), strip->width() - 8 - 1);
  QVERIFY(!find<PlotView>("Chart2")->series(QStringLiteral("Series21"))->isVisible());
  QVERIFY(!find<QCheckBox>("CBFilterSignalBF")->isChecked());
}

void TransformPageTest::gridEditsReachTheModelAndBadTextsAreRefused() {
  find<QRadioButton>("RadioTypeShitzer")->click();
  auto* grid = find<QTableWidget>("StringGrid1");
  TransformSession* session = m_window->context()->session();
  QCOMPARE(grid->item(1, 3)->text(), QStringLiteral("Rho"));
  QCOMPARE(grid->item(1, 4)->text(), QStringLiteral("1069"));
  grid->item(1, 4)->setText(QStringLiteral("1100"));
  QVERIFY(m_errors.isEmpty());
  QCOMPARE(session->tissueParameters().shitzer.rhoBlood, 1100);
  // A decimal number in an integer cell is refused with a message; the parameter keeps its value.
  grid->item(2, 4)->setText(QStringLiteral("3650.5"));
  QCOMPARE(m_errors.size(), 1);
  QCOMPARE(session->tissueParameters().shitzer.cBlood, 3650);
  // "Blood" restores the blood defaults in the model and in the grid.
  find<QPushButton>("Button2")->click();
  QCOMPARE(session->tissueParameters().shitzer.rhoBlood, 1069);
  QCOMPARE(grid->item(1, 4)->text(), QStringLiteral("1069"));
  // Label cells cannot be edited.
  QVERIFY(!(grid->item(1, 3)->flags() & Qt::ItemIsEditable));
  QVERIFY(grid->item(1, 4)->flags() & Qt::ItemIsEditable);
}

void TransformPageTest::savingTheConvertedRecordWritesItsSamples() {
  QTemporaryDir dir;
  QVERIFY(!m_window->transformPage()->saveConvertedTo(false, dir.filePath(QStringLiteral("early"))));
  QCOMPARE(m_errors.size(), 1);
  m_errors.clear();
  loadExample();
  find<QRadioButton>("RadioTypeShitzer")->click();
  find<QRadioButton>("RadioNormaliz2")->click();
  find<QPushButton>("BtnBFtoT")->click();
  m_window->transformPage()->waitForIdle();
  QVERIFY2(m_errors.isEmpty(), qPrintable(m_errors.join('\n')));
  QVERIFY(m_window->transformPage()->saveConvertedTo(true, dir.filePath(QStringLiteral("tstar"))));
  const std::vector<double> written = ReadColumn(dir.filePath(QStringLiteral("tstar.txt")));
  auto* chart4 = find<PlotView>("Chart4");
  const std::vector<double> shown = chart4->sourceValues(chart4->series(QStringLiteral("Series4")));
  QCOMPARE(written.size(), shown.size());
  // Three decimals at most: every written sample is within half a thousandth of the computed one.
  for (size_t i = 0; i < written.size(); ++i) QVERIFY(std::abs(written[i] - shown[i]) <= 0.0005 + 1e-12);
  // "Absolute values": T* starts at T0 = 36.24.
  QCOMPARE(written.front(), 36.24);
  // A folder in the way: the error is shown and nothing is written.
  QVERIFY(QDir().mkpath(dir.filePath(QStringLiteral("blocked.txt"))));
  QVERIFY(!m_window->transformPage()->saveConvertedTo(true, dir.filePath(QStringLiteral("blocked.txt"))));
  QCOMPARE(m_errors.size(), 1);

  // Chart pictures: ".bmp" is appended unless the name ends with it exactly or in upper case.
  auto* page = m_window->transformPage();
  const QColor screen = chart4->chart()->backgroundBrush().color();
  QVERIFY(page->savePlot(chart4, dir.filePath(QStringLiteral("plot")), QStringLiteral(".bmp")));
  QVERIFY(QFile::exists(dir.filePath(QStringLiteral("plot.bmp"))));
  QVERIFY(page->savePlot(chart4, dir.filePath(QStringLiteral("PLOT.BMP")), QStringLiteral(".bmp")));
  QVERIFY(QFile::exists(dir.filePath(QStringLiteral("PLOT.BMP"))));
  QVERIFY(page->savePlot(chart4, dir.filePath(QStringLiteral("odd.Bmp")), QStringLiteral(".bmp")));
  QVERIFY(QFile::exists(dir.filePath(QStringLiteral("odd.Bmp.bmp"))));
  QVERIFY(page->savePlot(chart4, dir.filePath(QStringLiteral("picture")), QStringLiteral(".png")));
  QCOMPARE(QImage(dir.filePath(QStringLiteral("picture.png"))).pixelColor(2, 2), QColor(Qt::white));
  QCOMPARE(chart4->chart()->backgroundBrush().color(), screen);
}

// The fault: the source text was set when the load started, and a failed load returned before the view was
// shown again, so "Temperature: <path>" named a file that was never loaded.
void TransformPageTest::failedLoadKeepsTheSourceTextOfTheLoadedRecord() {
  loadExample();
  QTemporaryDir dir;
  const QString bad = dir.filePath(QStringLiteral("bad.txt"));
  QFile file(bad);
  QVERIFY(file.open(QIODevice::WriteOnly));
  file.write("36.6\nwarm\n");
  file.close();
  for (const char* button : {"BtnReadT", "BtnReadBF"}) {
    AnswerFileDialog(bad);
    find<QPushButton>(button)->click();
    m_window->transformPage()->waitForIdle();
  }
  QCOMPARE(m_errors.size(), 2);
  QCOMPARE(find<QLineEdit>("Edit10")->text(), QStringLiteral("Temperature: Example 1"));
  QCOMPARE(find<QLineEdit>("Edit16")->text(), QStringLiteral("  Blood Flow:  Example 1"));
  // A good file chosen the same way is named.
  m_errors.clear();
  std::vector<double> t(200);
  for (size_t i = 0; i < t.size(); ++i) t[i] = 32.0 + std::sin(i / 9.0);
  const QString good = WriteColumn(dir.filePath(QStringLiteral("good.txt")), t);
  AnswerFileDialog(good);
  find<QPushButton>("BtnReadT")->click();
  m_window->transformPage()->waitForIdle();
  QVERIFY2(m_errors.isEmpty(), qPrintable(m_errors.join('\n')));
  QCOMPARE(find<QLineEdit>("Edit10")->text(), QStringLiteral("Temperature: ") + good);
}

// The fault: the wavelet conversion sets the records' rate to 2 Hz, but "Signal frequency, Hz" kept the old
// value and the next operation put it back, so BF*'s time axis changed between the conversion and "Output BF".
void TransformPageTest::waveletConversionShowsTheRateTheRecordsNowHave() {
  QTemporaryDir dir;
  std::vector<double> t(300), bf(300);
  for (size_t i = 0; i < t.size(); ++i) {
    t[i] = 32.0 + std::sin(i / 9.0) + 0.2 * std::sin(i / 3.0);
    bf[i] = 10.0 + std::sin(i / 9.0 + 0.4);
  }
  auto* rate = find<QSpinBox>("UpDown1");
  rate->setValue(4);
  QVERIFY(m_window->transformPage()->loadT(WriteColumn(dir.filePath(QStringLiteral("t.txt")), t)));
  m_window->transformPage()->waitForIdle();
  QVERIFY(m_window->transformPage()->loadBF(WriteColumn(dir.filePath(QStringLiteral("bf.txt")), bf)));
  m_window->transformPage()->waitForIdle();
  find<QRadioButton>("RadioTypeWavelet")->click();
  find<QPushButton>("BtnTtoBF")->click();
  m_window->transformPage()->waitForIdle();
  QVERIFY2(m_errors.isEmpty(), qPrintable(m_errors.join('\n')));
  QCOMPARE(rate->value(), 2);
  QCOMPARE(m_window->context()->gerc(), 2);
  auto* chart3 = find<PlotView>("Chart3");
  QCOMPARE(chart3->axisX()->max(), 299 / 2.0 / 60.0);
  find<QPushButton>("BtnOutputBF")->click();
  QVERIFY2(m_errors.isEmpty(), qPrintable(m_errors.join('\n')));
  QCOMPARE(rate->value(), 2);
  QCOMPARE(chart3->axisX()->max(), 299 / 2.0 / 60.0);
}

// The fault: Enter in a temperature band edit took "0" .. "2" as "no band", where the strip and the presets
// (and the start state) take "0" .. "0.1".
void TransformPageTest::temperatureBandZeroToTenthIsNoBandWhenEntered() {
  loadExample();
  find<QToolButton>("SpeedButton7")->click();
  m_window->transformPage()->waitForIdle();
  QVERIFY(find<QCheckBox>("CBFilterSignalT")->isChecked());
  auto* low = find<QLineEdit>("EditS1");
  auto* high = find<QLineEdit>("EditS2");
  low->setText(QStringLiteral("0"));
  high->setText(FormatDecimal(0.1));
  high->setFocus();
  QTest::keyClick(high, Qt::Key_Return);
  m_window->transformPage()->waitForIdle();
  QVERIFY2(m_errors.isEmpty(), qPrintable(m_errors.join('\n')));
  QVERIFY(!find<QCheckBox>("CBFilterSignalT")->isChecked());
  QVERIFY(!find<PlotView>("Chart1")->series(QStringLiteral("Series19"))->isVisible());
  // 0 .. 2 Hz is a band on the temperature side: it is filtered.
  high->setText(QStringLiteral("2"));
  QTest::keyClick(high, Qt::Key_Return);
  m_window->transformPage()->waitForIdle();
  QVERIFY(find<QCheckBox>("CBFilterSignalT")->isChecked());
}

QTEST_MAIN(TransformPageTest)
#include "transform_page_test.moc"
