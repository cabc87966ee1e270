// The "Fourier filtration" page: dragging the band edges, "Calculation", the amplitude spectrum, "Log Ox",
// saving, and bad input.
#include "pages/fourier_page.h"

#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTemporaryDir>
#include <QToolButton>
#include <QtTest>
#include <cmath>
#include <complex>
#include <memory>

#include "shell/app_context.h"
#include "shell/main_window.h"
#include "shell/number_text.h"
#include "charts/plot_view.h"
#include "charts/fourier_bars_chart.h"
#include "shell/task_runner.h"
#include "charts/workspace_strip.h"
#include "workspace_test_support.h"

using namespace kelvora;

namespace {

constexpr double kTau = 6.283185307179586;

// 400 samples at 2 Hz: 10 + sin(2 pi 0.01 t) + 0.5 sin(2 pi 0.4 t).
std::vector<double> TwoToneSignal() {
  std::vector<double> x(400);
  for (size_t i = 0; i < x.size(); ++i) {
    const double t = static_cast<double>(i) / 2.0;
    x[i] = 10.0 + std::sin(kTau * 0.01 * t) + 0.5 * std::sin(kTau * 0.4 * t);
  }
  return x;
}

// The strip's frequency under pixel x, worked out from the scale: round(2.15^(9.93 x / W) * 2) / 2000 - 0.001,
// 3 decimals above 0.01 Hz.
double ScaleFrequency(int x, int w) {
  double f = std::round(std::pow(2.15, 9.93 * x / w) * 2.0) / 2000.0 - 0.001;
  if (f > 0.01) f = std::round(f * 1000.0) / 1000.0;
  return f;
}

}  // namespace

class FourierPageTest : public QObject {
  Q_OBJECT

 private slots:
  void init();
  void cleanup();
  void draggingWithoutAutomaticChangesOnlyTheLabelsThenCalculationFilters();
  void draggingInAmplitudeModeShowsPercentages();
  void logOxResetsEdit19AndBothAxes();
  void amplitudeModeFillsSeries16FromTheZeroToOneHertzTransform();
  void showSpectrumAnimatesTheWidthsAndFillsSeries16();
  void savedFilteredSignalIsInTheSignalsUnits();
  void badFileKeepsTheLoadedSignal();

 private:
  FourierPage* page() const { return m_window->fourierPage(); }
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

  std::unique_ptr<QTemporaryDir> m_dir;
  std::unique_ptr<TForm1> m_window;
  QStringList m_errors;
};

void FourierPageTest::init() {
  m_dir = std::make_unique<QTemporaryDir>();
  m_window = std::make_unique<TForm1>(nullptr, m_dir->filePath(QStringLiteral("option.ini")));
  m_window->context()->setErrorInterceptor([this](const QString& message) { m_errors << message; });
  m_window->context()->setAnimation(false);
  m_errors.clear();
  m_window->resize(1400, 900);
  m_window->show();
  find<QTabWidget>("PageControl1")->setCurrentIndex(2);
  QVERIFY(QTest::qWaitForWindowExposed(m_window.get()));
  QCoreApplication::processEvents();
}

void FourierPageTest::cleanup() {
  m_window.reset();
  m_dir.reset();
}

void FourierPageTest::draggingWithoutAutomaticChangesOnlyTheLabelsThenCalculationFilters() {
  QVERIFY(page()->loadSignal(writeSignal("two_tone.txt", TwoToneSignal())));
  find<QCheckBox>("AutoSchet")->setChecked(false);
  auto* strip = find<WorkspaceStrip>("Image2");
  const int w = strip->width();
  QVERIFY(w > 400);
  // The start band 0 .. 0.02 Hz: the right edge lies where the scale puts 0.02 Hz.
  QCOMPARE(find<QLabel>("Label20")->text(), FormatDecimal(0.02));
  const int right = strip->highPixel();
  QVERIFY(std::abs(right - static_cast<int>(std::lround(w * std::log(21.0) / std::log(2.15) / 9.931))) <= 1);

  const int target = static_cast<int>(std::lround(w * std::log(1000.0 * 0.1 + 1.0) / std::log(2.15) / 9.931));
  test::DragAlong(strip, right, {right + 20, target});
  QCOMPARE(find<QLabel>("Label20")->text(), FormatDecimal(ScaleFrequency(target, w)));
  QCOMPARE(find<QLabel>("Label19")->text(), QStringLiteral("0"));
  QCOMPARE(find<QLabel>("Label18")->text(),
           FormatDecimal(0.0, 3) + QStringLiteral("-") + FormatDecimal(static_cast<double>(target) / w, 3));
  QVERIFY(!find<QLabel>("Panel14")->isVisible());
  // Nothing was filtered.
  QVERIFY(!m_window->runner()->isBusy());
  auto* chart6 = find<PlotView>("Chart6");
  QCOMPARE(chart6->sourcePointCount(chart6->series(QStringLiteral("Series8"))), 0);
  QVERIFY(page()->filteredSignal().empty());

  QTest::mouseClick(find<QToolButton>("SpeedButton12"), Qt::LeftButton);
  m_window->runner()->waitForIdle();
  const std::vector<double> filtered = page()->filteredSignal();
  QCOMPARE(filtered.size(), size_t{400});
  QCOMPARE(chart6->sourcePointCount(chart6->series(QStringLiteral("Series8"))), 400);
  // The band keeps the 0.01 Hz tone and the mean and drops the 0.4 Hz tone (away from the ends).
  for (size_t i = 100; i < 300; ++i) {
    const double expected = 10.0 + std::sin(kTau * 0.01 * static_cast<double>(i) / 2.0);
    QVERIFY2(std::abs(filtered[i] - expected) < 0.12, qPrintable(QString::number(i)));
  }
  QVERIFY(find<QPushButton>("BtnSaveF")->isEnabled());
  QVERIFY(find<QPushButton>("BitBtn25")->isEnabled());
  QVERIFY(m_errors.isEmpty());
}

void FourierPageTest::draggingInAmplitudeModeShowsPercentages() {
  QTest::mouseClick(find<QRadioButton>("RadioGroupFFItem1"), Qt::LeftButton);
  QCOMPARE(page()->mode(), FourierPage::Mode::Amplitude);
  auto* strip = find<WorkspaceStrip>("Image2");
  const int w = strip->width();
  const int target = w / 2;
  test::DragAlong(strip, strip->highPixel(), {target});
  // Right edge round(10^(3 x / W - 1) * 2000) / 2000 %.
  const double expected = std::round(std::pow(10.0, 3.0 * target / w - 1.0) * 2000.0) / 2000.0;
  QCOMPARE(find<QLabel>("Label20")->text(), FormatDecimal(expected));
  QCOMPARE(page()->highPercent(), expected);
  // The left edge at pixel 0: 10^-1 rounded, less 0.004.
  QCOMPARE(page()->lowPercent(), 0.1 - 0.004);
}

void FourierPageTest::logOxResetsEdit19AndBothAxes() {
  auto* logOx = find<QCheckBox>("CheckBox6");
  auto* edit19 = find<QLineEdit>("Edit19");
  auto* chart9 = find<SpectrumChart>("Chart9");
  auto* chart10 = find<SpectrumChart>("Chart10");
  QVERIFY(!logOx->isVisible());
  QTest::mouseClick(find<QCheckBox>("CheckSPKTR"), Qt::LeftButton);
  QCOMPARE(page()->layoutState(), FourierPage::SpectrumShown);
  QVERIFY(logOx->isVisible() && edit19->isVisible());
  QVERIFY(chart9->isVisible() && chart10->isVisible());
  // The signal charts take two thirds of the area's width less 5.
  QVERIFY(std::abs(find<PlotView>("Chart5")->width() * 3 - 2 * (chart9->parentWidget()->width() - 5)) <= 3);

  edit19->setText(QStringLiteral("1"));
  QCOMPARE(chart9->axisMaximum(), 1.0);
  QTest::mouseClick(logOx, Qt::LeftButton);
  QVERIFY(logOx->isChecked());
  QVERIFY(m_window->context()->logOx());
  QCOMPARE(edit19->text(), QStringLiteral("0") + DecimalSeparator() + QStringLiteral("1"));
  for (SpectrumChart* chart : {chart9, chart10}) {
    QVERIFY(chart->logarithmic());
    QCOMPARE(chart->axisMinimum(), 0.0001);
    QCOMPARE(chart->axisMaximum(), 0.1);
  }
  // A maximum typed into Edit19 applies to both charts; text that is not a positive number is ignored.
  edit19->setText(QStringLiteral("0") + DecimalSeparator() + QStringLiteral("05"));
  QCOMPARE(chart10->axisMaximum(), 0.05);
  edit19->setText(QStringLiteral("abc"));
  QCOMPARE(chart10->axisMaximum(), 0.05);
  edit19->setText(QStringLiteral("0"));
  QCOMPARE(chart9->axisMaximum(), 0.05);

  QTest::mouseClick(logOx, Qt::LeftButton);
  QCOMPARE(edit19->text(), QStringLiteral("2"));
  for (SpectrumChart* chart : {chart9, chart10}) {
    QVERIFY(!chart->logarithmic());
    QCOMPARE(chart->axisMinimum(), 0.0);
    QCOMPARE(chart->axisMaximum(), 2.0);
  }
  QTest::mouseClick(find<QCheckBox>("CheckSPKTR"), Qt::LeftButton);
  QCOMPARE(page()->layoutState(), FourierPage::SpectrumHidden);
  QVERIFY(!logOx->isVisible());
  QVERIFY(!chart9->isVisible());
}

void FourierPageTest::amplitudeModeFillsSeries16FromTheZeroToOneHertzTransform() {
  QTest::mouseClick(find<QRadioButton>("RadioGroupFFItem1"), Qt::LeftButton);
  std::vector<double> x(150);
  for (size_t i = 0; i < x.size(); ++i)
    x[i] = 3.0 + std::cos(0.3 * static_cast<double>(i)) + 0.01 * static_cast<double>(i % 7);
  QVERIFY(page()->loadSignal(writeSignal("amp.txt", x)));
  m_window->runner()->waitForIdle();

  // Direct evaluation: the normalised signal padded by 600 copies of its end samples, raised by 2;
  // C[k] = 1/N' sum_{n=0..N'} p[n] e^{-i 2 pi k n / N'}, f[k] = k fs / N', bins 1 .. round(N' * 1 Hz / fs).
  const double lo = *std::min_element(x.begin(), x.end());
  const double hi = *std::max_element(x.begin(), x.end());
  std::vector<long double> padded;
  for (int i = 0; i < 600; ++i) padded.push_back((x.front() - lo) / (hi - lo) + 2.0);
  for (double v : x) padded.push_back((v - lo) / (hi - lo) + 2.0);
  for (int i = 0; i < 600; ++i) padded.push_back((x.back() - lo) / (hi - lo) + 2.0);
  const int nPrime = static_cast<int>(padded.size()) - 1;
  const int fs = m_window->context()->gerc();
  // The nearest bin, a tie going to the even one: N' = 1349 at 2 Hz gives 674.5, so bin 674.
  const int kHigh = static_cast<int>(std::nearbyint(static_cast<double>(nPrime) * 1.0 / fs));
  QCOMPARE(kHigh, 674);
  const std::vector<SpectrumBar>& bars = find<SpectrumChart>("Chart9")->bars();
  QCOMPARE(static_cast<int>(bars.size()), kHigh);
  for (int k : {1, 2, 37, 113, kHigh}) {
    std::complex<long double> sum = 0.0L;
    for (int n = 0; n <= nPrime; ++n) {
      const long double angle = -2.0L * 3.14159265358979323846L * k * n / nPrime;
      sum += padded[static_cast<size_t>(n)] * std::complex<long double>(std::cos(angle), std::sin(angle));
    }
    const double expected = static_cast<double>(std::abs(sum) / nPrime);
    const SpectrumBar& bar = bars[static_cast<size_t>(k - 1)];
    QVERIFY2(std::abs(bar.height - expected) <= 1e-9 * std::max(1.0, expected), qPrintable(QString::number(k)));
    QVERIFY(std::abs(bar.frequencyHz - static_cast<double>(k) * fs / nPrime) < 1e-12);
  }
}

void FourierPageTest::showSpectrumAnimatesTheWidthsAndFillsSeries16() {
  QVERIFY(page()->loadSignal(writeSignal("two_tone.txt", TwoToneSignal())));
  QVERIFY(find<SpectrumChart>("Chart9")->bars().empty());
  m_window->context()->setAnimation(true);
  auto* chart5 = find<PlotView>("Chart5");
  const int areaWidth = chart5->parentWidget()->width();
  QCOMPARE(chart5->width(), areaWidth - 5);
  QTest::mouseClick(find<QCheckBox>("CheckSPKTR"), Qt::LeftButton);
  // The width moves by halves towards round((W - 5) / 3 * 2), not at once.
  const int target = static_cast<int>(std::lround((areaWidth - 5) / 3.0 * 2.0));
  QVERIFY(chart5->width() > target);
  QTRY_COMPARE(chart5->width(), target);
  QCOMPARE(find<PlotView>("Chart6")->width(), target);
  QCOMPARE(find<SpectrumChart>("Chart9")->x(), target);
  // Showing the spectrum computes the 0 .. 1 Hz spectrum of the loaded signal.
  m_window->runner()->waitForIdle();
  QVERIFY(!find<SpectrumChart>("Chart9")->bars().empty());
  QTest::mouseClick(find<QCheckBox>("CheckSPKTR"), Qt::LeftButton);
  QTRY_COMPARE(chart5->width(), areaWidth - 5);
}

void FourierPageTest::savedFilteredSignalIsInTheSignalsUnits() {
  QVERIFY(page()->loadSignal(writeSignal("two_tone.txt", TwoToneSignal())));
  page()->calculate();
  m_window->runner()->waitForIdle();
  const std::vector<double> filtered = page()->filteredSignal();
  QCOMPARE(filtered.size(), size_t{400});
  const QString target = m_dir->filePath(QStringLiteral("filtered"));
  QVERIFY(page()->saveFiltered(target));
  const QStringList lines = test::ReadLines(target + QStringLiteral(".txt"));
  QCOMPARE(lines.size(), 400);
  for (int i = 0; i < 400; i += 37) {
    // Three decimals, in the signal's own units (about 10, not the raised normalised scale about 2.5).
    QVERIFY(std::abs(lines[i].toDouble() - filtered[static_cast<size_t>(i)]) <= 0.0005 + 1e-12);
    QVERIFY(lines[i].toDouble() > 8.0);
  }
  // A folder that does not exist: the error box, false, nothing written.
  QVERIFY(!page()->saveFiltered(m_dir->filePath(QStringLiteral("missing/filtered"))));
  QCOMPARE(m_errors.size(), 1);
}

void FourierPageTest::badFileKeepsTheLoadedSignal() {
  QVERIFY(page()->loadSignal(writeSignal("two_tone.txt", TwoToneSignal())));
  const QString bad = m_dir->filePath(QStringLiteral("bad.txt"));
  QFile file(bad);
  QVERIFY(file.open(QIODevice::WriteOnly));
  file.write("1.5\nabc\n2.5\n");
  file.close();
  QVERIFY(!page()->loadSignal(bad));
  QCOMPARE(m_errors.size(), 1);
  QVERIFY(m_errors.first().contains(QStringLiteral("abc")));
  QVERIFY(!page()->loadSignal(m_dir->filePath(QStringLiteral("absent.txt"))));
  QCOMPARE(m_errors.size(), 2);
  QCOMPARE(page()->signal().count(), 400);
  auto* chart5 = find<PlotView>("Chart5");
  QCOMPARE(chart5->sourcePointCount(chart5->series(QStringLiteral("Series7"))), 400);
}

QTEST_MAIN(FourierPageTest)
#include "fourier_page_test.moc"
