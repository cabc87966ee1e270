// The "Analysis" page: a run on a record of known tones against the library and the tones themselves, STOP, a
// failed load keeping the result, and the pair run whose band depth goes to the Transform page's D.
#include "formats/mat_file.h"
#include "pages/analysis_page.h"

#include <QAction>
#include <QComboBox>
#include <QFile>
#include <QLineSeries>
#include <QScatterSeries>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QSpinBox>
#include <QTableWidget>
#include <QTemporaryDir>
#include <QTimer>
#include <QtTest>
#include <cmath>
#include <memory>
#include <numbers>

#include "analysis/record_analysis.h"
#include "shell/app_context.h"
#include "dialogs/import_dialog.h"
#include "core/text_helpers.h"
#include "shell/language_tables.h"
#include "shell/main_window.h"
#include "window_under_test.h"
#include "shell/number_text.h"
#include "charts/plot_view.h"
#include "charts/scalogram_view.h"
#include "signals/transform_session.h"
#include "shell/task_runner.h"
#include "pages/transform_page.h"
#include "workspace_test_support.h"

using namespace kelvora;

namespace {

constexpr double kPi = std::numbers::pi;

// 2 cos(2 pi 0.1 t) + cos(2 pi 0.3 t) + 0.01 t at 2 Hz: tones in the myogenic and respiratory bands on a trend.
std::vector<double> Tones(int count) {
  std::vector<double> values(static_cast<std::size_t>(count));
  for (int n = 0; n < count; ++n) {
    const double t = n / 2.0;
    values[static_cast<std::size_t>(n)] = 2.0 * std::cos(2 * kPi * 0.1 * t) + std::cos(2 * kPi * 0.3 * t) + 0.01 * t;
  }
  return values;
}

double Cell(QTableWidget* table, int row, int column) {
  bool ok = false;
  const double value = ParseDecimal(table->item(row, column)->text(), &ok);
  return ok ? value : std::nan("");
}

int RowOf(QTableWidget* table, const QString& band) {
  for (int r = 0; r < table->rowCount(); ++r) {
    if (table->item(r, 0)->text() == band) return r;
  }
  return -1;
}

// Runs `step` on the next Import dialog once it is shown (the page calls exec()).
void OnNextDialog(std::function<void(ImportDialog*)> step) {
  QTimer::singleShot(0, [step] {
    for (int tries = 0; tries < 100; ++tries) {
      if (auto* dialog = qobject_cast<ImportDialog*>(QApplication::activeModalWidget())) {
        step(dialog);
        return;
      }
      QTest::qWait(10);
    }
  });
}

}  // namespace

class AnalysisPageTest : public QObject {
  Q_OBJECT

 private slots:
  void init();
  void cleanup();
  void toneRecordGivesTheLibrarysTableAndTheToneAmplitudes();
  void stopEndsTheRunAndKeepsThePreviousResult();
  void failedLoadKeepsThePreviousResult();
  void pairRunHandsTheBandDepthToTheTransformPage();
  void instrumentCsvArrivesAtItsOwnRateAndCancelKeepsTheSource();
  void fortyHertzTwoChannelCsvIsAnalysedAtFortyHertzWithTheProposedSettings();
  void pairOfTwoHertzAndOneHertzFilesIsRefusedNamingBothRates();
  void markersBesideTheRecordAreDrawnOnTheSignalChart();

 private:
  AnalysisPage* page() const { return m_window->analysisPage(); }
  template <typename T>
  T* find(const char* name) const {
    T* widget = m_window->findChild<T*>(QString::fromLatin1(name));
    if (!widget) qFatal("no widget %s", name);
    return widget;
  }
  void runToneRecord();
  void expectSpectrumOf(const std::vector<double>& values, double rateHz);

  std::unique_ptr<QTemporaryDir> m_dir;
  std::unique_ptr<TForm1> m_window;
  QStringList m_errors;
};

void AnalysisPageTest::init() {
  QVERIFY(test::OpenWindowUnderTest(m_dir, m_window, m_errors, QSize(1400, 900)));
  find<QTabWidget>("PageControl1")->setCurrentWidget(page());
}

void AnalysisPageTest::cleanup() {
  m_window.reset();
  m_dir.reset();
}

// 1200 samples at 2 Hz (10 minutes) through the page's own controls.
void AnalysisPageTest::runToneRecord() {
  const QString path = m_dir->filePath(QStringLiteral("tones.txt"));
  QVERIFY(test::WriteSamples(path, Tones(1200)));
  QVERIFY(page()->loadFile(AnalysisPage::FileSlot::Single, path));
  find<QLineEdit>("EditAnalysisRate")->setText(QStringLiteral("2"));
  QTest::mouseClick(find<QPushButton>("BtnAnalysisCalc"), Qt::LeftButton);
  m_window->runner()->waitForIdle();
  QVERIFY2(m_errors.isEmpty(), qPrintable(m_errors.join(QLatin1Char('\n'))));
  QVERIFY(page()->result());
}

void AnalysisPageTest::toneRecordGivesTheLibrarysTableAndTheToneAmplitudes() {
  runToneRecord();
  // The library's own run with the page's defaults.
  AnalysisOptions options;
  options.sampleRateHz = 2.0;
  options.threads = 1;
  const AnalysisOutcome expected = AnalyzeRecord(Tones(1200), options);
  QVERIFY(expected.ok());
  auto* table = find<QTableWidget>("AnalysisBandTable");
  // f_max = fs / 3 leaves the cardiac band out: endothelial .. respiratory.
  QCOMPARE(table->rowCount(), 4);
  QCOMPARE(static_cast<int>(expected.result.table.rows.size()), 4);
  for (int r = 0; r < 4; ++r) {
    const BandRow& row = expected.result.table.rows[static_cast<std::size_t>(r)];
    QCOMPARE(table->item(r, 0)->text(), AnalysisBandName(row.band, Language::English));
    if (row.amplitude) QVERIFY(std::abs(Cell(table, r, 3) / *row.amplitude - 1.0) < 1e-5);
  }
  // The tones themselves: |W| at a tone's frequency is its amplitude (the spectrum's nearest grid point).
  for (const auto& [frequency, amplitude] : {std::pair{0.1, 2.0}, std::pair{0.3, 1.0}}) {
    const SpectrumPoint* nearest = nullptr;
    for (const SpectrumPoint& p : page()->result()->spectrum) {
      if (!nearest || std::abs(std::log(p.frequencyHz / frequency)) < std::abs(std::log(nearest->frequencyHz / frequency)))
        nearest = &p;
    }
    QVERIFY(nearest && nearest->amplitude);
    QVERIFY2(std::abs(*nearest->amplitude / amplitude - 1.0) < 0.01, qPrintable(QString::number(*nearest->amplitude)));
  }
  // 10 minutes are too short for 0.005 Hz: M = (2 c f0 / lo + 1 / lo) / 60 = 20.507 -> 20.6 min.
  const QString minutes = QStringLiteral("20") + DecimalSeparator() + QStringLiteral("6");
  QCOMPARE(table->item(0, 13)->text(), QStringLiteral("record too short for this band: it needs at least %1 min").arg(minutes));
  m_window->findChild<QAction*>(QStringLiteral("N2"))->trigger();
  QCOMPARE(table->item(0, 13)->text(), QStringLiteral("запись слишком коротка для этой полосы: нужно не менее %1 мин").arg(minutes));
  QCOMPARE(table->item(0, 0)->text(), QStringLiteral("Эндотелиальный"));
  QCOMPARE(find<QTabWidget>("PageControl1")->tabText(4), QStringLiteral("Анализ"));

  // Hovering names the time, the frequency and the value.
  auto* scalogram = find<ScalogramView>("AnalysisScalogram");
  QVERIFY(scalogram->hasPicture());
  const QString hover = scalogram->hoverText(scalogram->plotRect().center());
  QVERIFY2(hover.contains(QStringLiteral("мин")) && hover.contains(QStringLiteral("Гц")), qPrintable(hover));

  // The exports write the library's formats.
  const QString spectrum = m_dir->filePath(QStringLiteral("spectrum.csv"));
  QVERIFY(page()->exportTo(AnalysisPage::Export::Spectrum, spectrum));
  const QStringList lines = test::ReadLines(spectrum);
  QCOMPARE(lines.first(), QStringLiteral("frequency_hz,amplitude,power"));
  QCOMPARE(lines.size(), static_cast<int>(expected.result.spectrum.size()) + 1);
  const QString png = m_dir->filePath(QStringLiteral("scalogram.png"));
  QVERIFY(page()->exportTo(AnalysisPage::Export::ScalogramPng, png));
  QVERIFY(QImage(png).height() >= 400);
  // The spectrum as MATLAB variables: the run's amplitudes (0 where none) and the rate it ran at.
  const QString mat = m_dir->filePath(QStringLiteral("spectrum.mat"));
  QVERIFY(page()->exportTo(AnalysisPage::Export::Spectrum, mat));
  MatReadOptions amplitudes;
  amplitudes.variable = "spectrum.amplitude";
  const MatReadResult fromMat = ReadMatFile(mat.toStdString(), amplitudes);
  QVERIFY(fromMat.ok());
  const std::vector<double>& values = fromMat.blocks[0].channels[0].values;
  QCOMPARE(values.size(), page()->result()->spectrum.size());
  for (std::size_t i = 0; i < values.size(); ++i) QCOMPARE(values[i], page()->result()->spectrum[i].amplitude.value_or(0.0));
  QCOMPARE(*fromMat.fsHz, page()->result()->sampleRateHz);
  QVERIFY(!page()->exportTo(AnalysisPage::Export::Table, m_dir->filePath(QStringLiteral("no/such/folder.csv"))));
  QCOMPARE(m_errors.size(), 1);

  // The PDF report is one page; a report into a missing folder fails with a message and writes nothing.
  const QString pdf = m_dir->filePath(QStringLiteral("analysis.pdf"));
  QVERIFY(page()->writeReport(pdf));
  QFile report(pdf);
  QVERIFY(report.open(QIODevice::ReadOnly));
  const QByteArray bytes = report.readAll();
  QVERIFY(bytes.startsWith("%PDF"));
  QCOMPARE(bytes.count("/Type /Page\n") + bytes.count("/Type /Page\r") + bytes.count("/Type /Page "), 1);
  QVERIFY(!page()->writeReport(m_dir->filePath(QStringLiteral("no/such/folder.pdf"))));
  QCOMPARE(m_errors.size(), 2);
}

void AnalysisPageTest::stopEndsTheRunAndKeepsThePreviousResult() {
  runToneRecord();
  // A long run: 20,000 samples at 40 Hz over 0.005 .. 13 Hz at 128 voices.
  std::vector<double> values(20000);
  for (std::size_t n = 0; n < values.size(); ++n) values[n] = std::sin(0.37 * static_cast<double>(n));
  const QString path = m_dir->filePath(QStringLiteral("long.txt"));
  QVERIFY(test::WriteSamples(path, values));
  QVERIFY(page()->loadFile(AnalysisPage::FileSlot::Single, path));
  // The new file took the tone record's result away.
  QVERIFY(!page()->result());
  find<QLineEdit>("EditAnalysisRate")->setText(QStringLiteral("40"));
  find<QSpinBox>("SpinAnalysisVoices")->setValue(128);
  QTest::mouseClick(find<QPushButton>("BtnAnalysisCalc"), Qt::LeftButton);
  QVERIFY(page()->isBusy());
  QVERIFY(!find<QPushButton>("BtnAnalysisCalc")->isEnabled());
  QTest::mouseClick(find<QPushButton>("BtnStop"), Qt::LeftButton);
  m_window->runner()->waitForIdle();
  QCoreApplication::processEvents();
  QVERIFY(!page()->isBusy());
  QVERIFY(m_errors.isEmpty());
  // The stopped run left no half result.
  QVERIFY(!page()->result());
  QVERIFY(find<QPushButton>("BtnAnalysisCalc")->isEnabled());
}

void AnalysisPageTest::failedLoadKeepsThePreviousResult() {
  runToneRecord();
  const AnalysisResult* first = page()->result();
  auto* table = find<QTableWidget>("AnalysisBandTable");
  const QString cell = table->item(2, 3)->text();
  const QString bad = m_dir->filePath(QStringLiteral("bad.txt"));
  QVERIFY(test::WriteSamples(bad, {1.0, 2.0}));
  QFile file(bad);
  QVERIFY(file.open(QIODevice::Append));
  file.write("abc\n");
  file.close();
  QVERIFY(!page()->loadFile(AnalysisPage::FileSlot::Single, bad));
  QVERIFY(!page()->loadFile(AnalysisPage::FileSlot::Single, m_dir->filePath(QStringLiteral("missing.txt"))));
  QCOMPARE(m_errors.size(), 2);
  QVERIFY(m_errors.first().contains(QStringLiteral("bad.txt:3")));
  QCOMPARE(page()->result(), first);
  QCOMPARE(table->item(2, 3)->text(), cell);
  QCOMPARE(find<QLineEdit>("EditAnalysisSourceName")->text(), QStringLiteral("tones.txt"));
  // The kept file still runs.
  QTest::mouseClick(find<QPushButton>("BtnAnalysisCalc"), Qt::LeftButton);
  m_window->runner()->waitForIdle();
  QCOMPARE(table->item(2, 3)->text(), cell);
}

void AnalysisPageTest::pairRunHandsTheBandDepthToTheTransformPage() {
  // BF: three tones of random phase and a little noise; T follows it 3 s later (6 samples), so the lag is 3 s
  // at every frequency below 1 / 6 Hz and the thermal wave gives x(f) = 2 * 3 s * sqrt(pi f lambda / (rho c)).
  const int count = 2400, delay = 6;
  std::vector<double> bf(count + delay), t(count);
  unsigned state = 12345;
  auto noise = [&state] {
    state = state * 1103515245u + 12345u;
    return ((state >> 8) & 0xffff) / 65536.0 - 0.5;
  };
  for (int n = 0; n < count + delay; ++n) {
    const double s = (n - delay) / 2.0;
    bf[n] = 5.0 + std::sin(2 * kPi * 0.03 * s + 0.4) + 0.8 * std::sin(2 * kPi * 0.07 * s + 2.0) +
            0.6 * std::sin(2 * kPi * 0.012 * s + 1.0) + 0.3 * noise();
  }
  for (int n = 0; n < count; ++n) t[n] = 30.0 + 0.2 * bf[n];
  bf.erase(bf.begin(), bf.begin() + delay);  // bf[n] is now the flow at n, t[n] the flow 3 s earlier
  const QString tPath = m_dir->filePath(QStringLiteral("t.txt")), bfPath = m_dir->filePath(QStringLiteral("bf.txt"));
  QVERIFY(test::WriteSamples(tPath, t));
  QVERIFY(test::WriteSamples(bfPath, bf));
  QVERIFY(m_window->transformPage()->loadT(tPath));
  m_window->transformPage()->waitForIdle();
  QVERIFY(m_window->transformPage()->loadBF(bfPath));
  m_window->transformPage()->waitForIdle();
  QVERIFY(m_errors.isEmpty());

  QTest::mouseClick(find<QRadioButton>("RadioAnalysisPair"), Qt::LeftButton);
  QVERIFY(page()->pairMode());
  find<QComboBox>("ComboAnalysisPairSource")->setCurrentIndex(static_cast<int>(AnalysisPage::PairSource::Transform));
  find<QSpinBox>("SpinAnalysisSurrogates")->setValue(19);
  QTest::mouseClick(find<QPushButton>("BtnAnalysisCalc"), Qt::LeftButton);
  m_window->runner()->waitForIdle();
  QVERIFY2(m_errors.isEmpty(), qPrintable(m_errors.join(QLatin1Char('\n'))));
  QVERIFY(page()->coherence());
  // The coherence over time sits under the scalogram in pair mode, beside the MODA-compatible choice.
  QVERIFY(page()->findChild<QWidget*>(QStringLiteral("AnalysisCoherenceMap"))->isVisibleTo(page()));
  QVERIFY(page()->findChild<QWidget*>(QStringLiteral("CheckAnalysisModa"))->isVisibleTo(page()));

  auto* table = find<QTableWidget>("AnalysisBandTable");
  const int row = RowOf(table, QStringLiteral("Neurogenic"));
  QVERIFY(row >= 0);
  QVERIFY(!table->isColumnHidden(12));
  const CoherenceBandRow* band = nullptr;
  for (const CoherenceBandRow& b : page()->coherence()->bands) {
    if (b.band.name == "neurogenic") band = &b;
  }
  QVERIFY(band && band->depthMm);
  // The median depth lies between the depths of the band's edges for a 3 s lag.
  const TissueParameters& tissue = m_window->context()->session()->tissueParameters();
  auto depthMm = [&](double f) {
    return 1000.0 * 2.0 * 3.0 * std::sqrt(kPi * f * tissue.wave.lambda / (tissue.shitzer.rhoSkin * tissue.wave.heatCapacity));
  };
  QVERIFY2(*band->depthMm > 0.95 * depthMm(0.02) && *band->depthMm < 1.05 * depthMm(0.05),
           qPrintable(QString::number(*band->depthMm)));
  QVERIFY(std::abs(Cell(table, row, 12) / *band->depthMm - 1.0) < 1e-3);

  table->selectRow(row);
  QVERIFY(find<QPushButton>("BtnAnalysisUseDepth")->isEnabled());
  QTest::mouseClick(find<QPushButton>("BtnAnalysisUseDepth"), Qt::LeftButton);
  QVERIFY(m_errors.isEmpty());
  const double stored = m_window->context()->session()->tissueParameters().wave.depthM;
  QCOMPARE(stored, std::round(*band->depthMm * 1000.0) / 1e6);
  QCOMPARE(m_window->context()->session()->grid().cell(10, 1), FormatRealText(stored * 1000.0, DecimalSeparator().toLatin1()));
}


// The page's spectrum against the library's analysis of `values` at `rateHz`.
void AnalysisPageTest::expectSpectrumOf(const std::vector<double>& values, double rateHz) {
  QVERIFY(page()->result());
  AnalysisOptions options;
  options.sampleRateHz = rateHz;
  options.threads = 1;
  const AnalysisOutcome expected = AnalyzeRecord(values, options);
  QVERIFY(expected.ok());
  const std::vector<SpectrumPoint>& got = page()->result()->spectrum;
  QCOMPARE(got.size(), expected.result.spectrum.size());
  for (std::size_t i = 0; i < got.size(); ++i) {
    const std::optional<double>& want = expected.result.spectrum[i].amplitude;
    QCOMPARE(got[i].amplitude.has_value(), want.has_value());
    if (want) QVERIFY(std::abs(*got[i].amplitude - *want) <= 1e-9 * (1.0 + std::abs(*want)));
  }
}

// A sidecar beside the file: each marker a vertical line at its time (minutes) with its label, the record cut
// into shaded segments; shown in both languages (KELVORA_SHOTS keeps the pictures).
void AnalysisPageTest::markersBesideTheRecordAreDrawnOnTheSignalChart() {
  const QByteArray folder = qgetenv("KELVORA_SHOTS");
  runToneRecord();
  if (!folder.isEmpty()) m_window->grab().save(QString::fromLocal8Bit(folder) + QStringLiteral("/analysis_no_markers.png"));
  QFile sidecar(m_dir->filePath(QStringLiteral("tones.markers.csv")));
  QVERIFY(sidecar.open(QIODevice::WriteOnly));
  sidecar.write("time_s,label\n120,occlusion 1\n300,recovery 1\n");
  sidecar.close();
  runToneRecord();
  auto* chart = find<PlotView>("ChartAnalysisSignal");
  int lines = 0, segments = 0;
  for (QAbstractSeries* series : chart->chart()->series()) {
    const QString name = series->objectName();
    if (name.startsWith(QStringLiteral("SeriesMarkerSegment"))) ++segments;
    if (!name.startsWith(QStringLiteral("SeriesMarkerLine"))) continue;
    auto* line = qobject_cast<QLineSeries*>(series);
    QVERIFY(line);
    QCOMPARE(line->count(), 2);
    QCOMPARE(line->at(0).x(), lines == 0 ? 2.0 : 5.0);
    ++lines;
  }
  QCOMPARE(lines, 2);
  QCOMPARE(segments, 3);  // before the first marker, between them, after the last
  QScatterSeries* label = nullptr;
  for (QAbstractSeries* series : chart->chart()->series())
    if (series->objectName() == QStringLiteral("SeriesMarkerLabel1")) label = qobject_cast<QScatterSeries*>(series);
  QVERIFY(label);
  QCOMPARE(label->pointLabelsFormat(), QStringLiteral("recovery 1"));
  if (!folder.isEmpty()) m_window->grab().save(QString::fromLocal8Bit(folder) + QStringLiteral("/analysis_markers_en.png"));
  m_window->findChild<QAction*>(QStringLiteral("N2"))->trigger();
  QCoreApplication::processEvents();
  if (!folder.isEmpty()) m_window->grab().save(QString::fromLocal8Bit(folder) + QStringLiteral("/analysis_markers_ru.png"));
  m_window->findChild<QAction*>(QStringLiteral("English1"))->trigger();
}

// A CSV with a title line, a names line and one signal column timed at 8 Hz states its rate and needs no choice:
// it arrives without the dialog at 8 Hz, and the typed "File rate" (for one-column files) stays as it was; a
// cancelled import afterwards keeps that source.
void AnalysisPageTest::instrumentCsvArrivesAtItsOwnRateAndCancelKeepsTheSource() {
  const int rows = 8 * 600;
  auto at = [](int i) { return 1.5 * std::cos(2 * kPi * 0.1 * i / 8.0) + 0.002 * (i % 5); };
  const QString csv = m_dir->filePath(QStringLiteral("monitor.csv"));
  std::vector<double> samples;
  {
    QFile file(csv);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write("Monitor export\ntime (s),BF (PU)\n");
    for (int i = 0; i < rows; ++i) {
      file.write(QByteArray::number(i / 8.0, 'f', 4) + ',' + QByteArray::number(at(i), 'g', 17) + '\n');
      samples.push_back(at(i));
    }
  }
  find<QLineEdit>("EditAnalysisRate")->setText(QStringLiteral("7"));
  bool shown = false;
  OnNextDialog([&](ImportDialog* dialog) {
    shown = true;
    dialog->findChild<QPushButton*>(QStringLiteral("ImportCancel"))->click();
  });
  QVERIFY(page()->openFile(AnalysisPage::FileSlot::Single, csv));
  QVERIFY(!shown);
  QTest::qWait(50);  // lets the armed dialog step run out
  QCOMPARE(find<QLineEdit>("EditAnalysisRate")->text(), QStringLiteral("7"));
  QCOMPARE(find<QLineEdit>("EditAnalysisSourceName")->text(), QStringLiteral("monitor.csv"));

  // A cancelled import of a file with a choice to make (two signals) changes nothing.
  const QString other = m_dir->filePath(QStringLiteral("other.csv"));
  {
    QFile file(other);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write("t,x,y\n0,1,5\n1,2,6\n2,3,7\n3,4,8\n");
  }
  OnNextDialog([](ImportDialog* dialog) { dialog->findChild<QPushButton*>(QStringLiteral("ImportCancel"))->click(); });
  QVERIFY(!page()->openFile(AnalysisPage::FileSlot::Single, other));
  QCOMPARE(find<QLineEdit>("EditAnalysisRate")->text(), QStringLiteral("7"));
  QCOMPARE(find<QLineEdit>("EditAnalysisSourceName")->text(), QStringLiteral("monitor.csv"));

  QTest::mouseClick(find<QPushButton>("BtnAnalysisCalc"), Qt::LeftButton);
  m_window->runner()->waitForIdle();
  QVERIFY2(m_errors.isEmpty(), qPrintable(m_errors.join(QLatin1Char('\n'))));
  expectSpectrumOf(samples, 8.0);
}

// The fault: the dialog proposed "Resample to, Hz: 1" for every file, so a 40 Hz Doppler CSV arrived as 1 Hz block
// means and lost its respiratory and cardiac bands. With the dialog's proposed settings it is analysed at 40 Hz.
void AnalysisPageTest::fortyHertzTwoChannelCsvIsAnalysedAtFortyHertzWithTheProposedSettings() {
  const int rows = 40 * 120;
  auto flux = [](int i) { return 50 + 10 * std::cos(2 * kPi * 1.1 * i / 40.0) + 3 * std::cos(2 * kPi * 0.25 * i / 40.0); };
  const QString csv = m_dir->filePath(QStringLiteral("ldf40.csv"));
  std::vector<double> bf;
  {
    QFile file(csv);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write("time_s,T,BF\n");
    for (int i = 0; i < rows; ++i) {
      file.write(QByteArray::number(i / 40.0, 'f', 3) + ',' + QByteArray::number(33 + 0.001 * i, 'g', 17) + ',' +
                 QByteArray::number(flux(i), 'g', 17) + '\n');
      bf.push_back(flux(i));
    }
  }
  int proposed = -1;
  OnNextDialog([&](ImportDialog* dialog) {
    proposed = dialog->findChild<QSpinBox*>(QStringLiteral("ImportTargetRate"))->value();
    dialog->findChild<QComboBox*>(QStringLiteral("ImportChoice"))->setCurrentIndex(1);  // BF
    dialog->findChild<QPushButton*>(QStringLiteral("ImportButton"))->click();
  });
  QVERIFY(page()->openFile(AnalysisPage::FileSlot::Single, csv));
  QCOMPARE(proposed, 0);  // "as in the file"
  QTest::mouseClick(find<QPushButton>("BtnAnalysisCalc"), Qt::LeftButton);
  m_window->runner()->waitForIdle();
  QVERIFY2(m_errors.isEmpty(), qPrintable(m_errors.join(QLatin1Char('\n'))));
  // Up to min(2 Hz, fs / 3): the cardiac tone at 1.1 Hz is on the grid.
  expectSpectrumOf(bf, 40.0);
}

// The fault: one "File rate" edit served both files of a pair and every import rewrote it, so a one-column T at a
// typed 2 Hz was analysed at the 1 Hz of a BF CSV. Now the second file is refused, naming both rates, and the
// page keeps what it had.
void AnalysisPageTest::pairOfTwoHertzAndOneHertzFilesIsRefusedNamingBothRates() {
  const QString t = m_dir->filePath(QStringLiteral("T1.txt"));
  {
    QFile file(t);
    QVERIFY(file.open(QIODevice::WriteOnly));
    for (int i = 0; i < 600; ++i) file.write(QByteArray::number(33 + 0.1 * std::sin(i / 30.0), 'f', 3) + '\n');
  }
  const QString bf = m_dir->filePath(QStringLiteral("bf1hz.csv"));
  {
    QFile file(bf);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write("t,BF\n");
    for (int i = 0; i < 300; ++i) file.write(QByteArray::number(i) + ',' + QByteArray::number(40 + i % 7) + '\n');
  }
  find<QRadioButton>("RadioAnalysisPair")->setChecked(true);
  find<QLineEdit>("EditAnalysisRate")->setText(QStringLiteral("2"));
  QVERIFY(page()->openFile(AnalysisPage::FileSlot::PairT, t));
  OnNextDialog([](ImportDialog* dialog) {
    // The page needs 2 Hz: resampling is proposed, but 1 Hz cannot reach it; keep the file's rate.
    dialog->findChild<QSpinBox*>(QStringLiteral("ImportTargetRate"))->setValue(0);
    dialog->findChild<QPushButton*>(QStringLiteral("ImportButton"))->click();
  });
  QVERIFY(!page()->openFile(AnalysisPage::FileSlot::PairBF, bf));
  QCOMPARE(m_errors.size(), 1);
  QVERIFY2(m_errors.front().contains(QStringLiteral("2 Hz")) && m_errors.front().contains(QStringLiteral("1 Hz")),
           qPrintable(m_errors.front()));
  QCOMPARE(find<QLineEdit>("EditAnalysisRate")->text(), QStringLiteral("2"));
  QVERIFY(!page()->result());
}

QTEST_MAIN(AnalysisPageTest)
#include "analysis_page_test.moc"
