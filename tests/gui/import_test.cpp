// Instrument files into the window: the Import dialog on delimited text and on EDF, the pair import with its
// block means, a cancelled and a failed import, drops of files on the charts, and the "Recent files" list.
#include "dialogs/import_dialog.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QDragEnterEvent>
#include <QPlainTextEdit>
#include <QMimeData>
#include <QPushButton>
#include <QSpinBox>
#include <QTableWidget>
#include <QTemporaryDir>
#include <QTimer>
#include <QUrl>
#include <QtTest>
#include <algorithm>
#include <cmath>
#include <functional>

#include "shell/app_context.h"
#include "shell/main_window.h"
#include "charts/plot_view.h"
#include "shell/settings.h"
#include "formats/edf_writer.h"
#include "signals/transform_session.h"
#include "pages/analysis_page.h"
#include "pages/fourier_page.h"
#include "pages/ppg_page.h"
#include "pages/transform_page.h"
#include "pages/wavelet_page.h"
#include "shell/task_runner.h"

using namespace kelvora;

namespace {

// The samples of the generated recording at 32 Hz: a slow temperature wave and a faster blood-flow one.
double TemperatureAt(int i) { return 31.5 + 0.4 * std::sin(2.0 * M_PI * 0.01 * i / 32.0) + 0.001 * (i % 7); }
double BloodFlowAt(int i) { return 12.0 + 3.0 * std::sin(2.0 * M_PI * 0.15 * i / 32.0) + 0.01 * (i % 5); }

// The mean of each block of `ratio` samples of f(0 .. count-1), worked out directly.
std::vector<double> BlockMeans(const std::function<double(int)>& f, int count, int ratio) {
  std::vector<double> means;
  for (int start = 0; start + ratio <= count; start += ratio) {
    long double sum = 0;
    for (int i = start; i < start + ratio; ++i) sum += f(i);
    means.push_back(static_cast<double>(sum / ratio));
  }
  return means;
}

// A laser-Doppler monitor's export: a title line, a names line, then "time, T, BF" rows at 32 Hz.
QString WriteInstrumentCsv(const QString& path, int rows) {
  QFile file(path);
  if (!file.open(QIODevice::WriteOnly)) return {};
  file.write("Monitor export, probe 1\n");
  file.write("time (s),T (degC),BF (PU)\n");
  for (int i = 0; i < rows; ++i) {
    file.write(QByteArray::number(i / 32.0, 'f', 5) + ',' + QByteArray::number(TemperatureAt(i), 'g', 17) + ',' +
               QByteArray::number(BloodFlowAt(i), 'g', 17) + '\n');
  }
  return path;
}

QString WriteColumn(const QString& path, const std::vector<double>& values) {
  QFile file(path);
  if (file.open(QIODevice::WriteOnly)) {
    for (double v : values) file.write(QByteArray::number(v, 'g', 17) + "\n");
  }
  return path;
}

// Runs `step` on the next modal dialog once it is shown (the code under test calls exec()).
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

void SaveShot(QWidget* widget, const char* name) {
  const QByteArray folder = qgetenv("KELVORA_SHOTS");
  if (folder.isEmpty()) return;
  widget->grab().save(QString::fromLocal8Bit(folder) + QLatin1Char('/') + QLatin1String(name));
}

void ExpectSamples(const std::vector<double>& actual, const std::vector<double>& expected, double tolerance) {
  QCOMPARE(actual.size(), expected.size());
  for (std::size_t i = 0; i < expected.size(); ++i) {
    if (std::abs(actual[i] - expected[i]) > tolerance) {
      QFAIL(qPrintable(QStringLiteral("sample %1: %2, expected %3").arg(i).arg(actual[i], 0, 'g', 17).arg(expected[i], 0, 'g', 17)));
    }
  }
}

}  // namespace

class ImportTest : public QObject {
  Q_OBJECT

 private slots:
  void init();
  void cleanup();
  void csvPairArrivesAsBlockMeansAndConvertsAsOneColumnFiles();
  void cancelledOrFailedImportChangesNoRecord();
  void edfChannelsAtOneAndThirtyTwoHertzImportAtTheChosenRate();
  void dropOfOneColumnFileLoadsIt();
  void recentFilesNewestFirstAtMostEight();
  void headerlessTabFileWithTimeColumnGivesItsSignalOnEveryPage();

 private:
  template <typename T>
  T* find(QObject* root, const char* name) {
    return root->findChild<T*>(QString::fromLatin1(name));
  }
  TransformSession* session() { return m_window->context()->session(); }

  QTemporaryDir* m_dir = nullptr;
  TForm1* m_window = nullptr;
  QStringList m_errors;
};

void ImportTest::init() {
  m_dir = new QTemporaryDir;
  QFile settings(m_dir->filePath(QStringLiteral("option.ini")));
  QVERIFY(settings.open(QIODevice::WriteOnly));
  settings.write("[position]\nMaximized=0\nwidth=1400\nheight=900\n[freq]\ngerc=2\n");
  settings.close();
  m_window = new TForm1(nullptr, m_dir->filePath(QStringLiteral("option.ini")));
  m_errors.clear();
  m_window->context()->setErrorInterceptor([this](const QString& message) { m_errors << message; });
  m_window->showAtStart();
  // The dialogs' pictures in Russian too: KELVORA_SHOTS_RUSSIAN=1 switches the window's language (menu item N2).
  if (qEnvironmentVariableIsSet("KELVORA_SHOTS_RUSSIAN")) m_window->findChild<QAction*>(QStringLiteral("N2"))->trigger();
}

void ImportTest::cleanup() {
  delete m_window;
  m_window = nullptr;
  delete m_dir;
  m_dir = nullptr;
}

void ImportTest::csvPairArrivesAsBlockMeansAndConvertsAsOneColumnFiles() {
  const int rows = 32 * 60 * 2;  // two minutes at 32 Hz: 240 samples at 2 Hz
  const QString csv = WriteInstrumentCsv(m_dir->filePath(QStringLiteral("monitor.csv")), rows);
  QCOMPARE(ReadFileLayout(csv.toStdString()).layout.format, FileFormat::kDelimited);
  bool checked = false;
  OnNextDialog([&](ImportDialog* dialog) {
    // What detection found: comma, point, two header lines, time in column 1, T chosen for the T button.
    QCOMPARE(find<QComboBox>(dialog, "ImportSeparator")->currentIndex(), 0);
    QCOMPARE(find<QComboBox>(dialog, "ImportDecimal")->currentIndex(), 0);
    QCOMPARE(find<QSpinBox>(dialog, "ImportHeaderLines")->value(), 2);
    QCOMPARE(find<QComboBox>(dialog, "ImportTimeColumn")->currentData().toInt(), 1);
    QCOMPARE(find<QTableWidget>(dialog, "ImportColumns")->item(2, 1)->text(), QStringLiteral("BF (PU)"));
    QVERIFY(find<QPlainTextEdit>(dialog, "ImportPreview")->toPlainText().contains(QStringLiteral("Monitor export")));
    QCOMPARE(find<QComboBox>(dialog, "ImportChoice")->currentText(), QStringLiteral("2: T (degC)"));
    find<QCheckBox>(dialog, "ImportPair")->setChecked(true);
    QCOMPARE(find<QComboBox>(dialog, "ImportChoiceBF")->currentText(), QStringLiteral("3: BF (PU)"));
    QVERIFY(find<QLabel>(dialog, "ImportRateInfo")->text().startsWith(QStringLiteral("32 Hz")));
    // The file's own rate is proposed; block means to 2 Hz are the user's choice.
    QCOMPARE(find<QSpinBox>(dialog, "ImportTargetRate")->value(), 0);
    find<QSpinBox>(dialog, "ImportTargetRate")->setValue(2);
    QVERIFY(find<QLabel>(dialog, "ImportResampleInfo")->text().contains(QStringLiteral("16")));
    SaveShot(dialog, "import_dialog_csv.png");
    checked = true;
    find<QPushButton>(dialog, "ImportButton")->click();
  });
  m_window->transformPage()->openFile(Side::Temperature, csv);
  m_window->transformPage()->waitForIdle();
  QVERIFY(checked);
  QVERIFY2(m_errors.isEmpty(), qPrintable(m_errors.join('\n')));

  const std::vector<double> t = BlockMeans(TemperatureAt, rows, 16);
  const std::vector<double> bf = BlockMeans(BloodFlowAt, rows, 16);
  ExpectSamples(session()->record(Side::Temperature).values, t, 1e-12);
  ExpectSamples(session()->record(Side::BloodFlow).values, bf, 1e-12);
  QCOMPARE(session()->sampleRate(), 2);

  // The same conversion as one-column files of the block means.
  find<QPushButton>(m_window, "BtnTtoBF")->click();
  m_window->transformPage()->waitForIdle();
  const std::vector<double> imported = session()->converted(Side::Temperature);
  QVERIFY(!imported.empty());
  QVERIFY(m_window->transformPage()->loadT(WriteColumn(m_dir->filePath(QStringLiteral("t.txt")), t)));
  m_window->transformPage()->waitForIdle();
  QVERIFY(m_window->transformPage()->loadBF(WriteColumn(m_dir->filePath(QStringLiteral("bf.txt")), bf)));
  m_window->transformPage()->waitForIdle();
  find<QPushButton>(m_window, "BtnTtoBF")->click();
  m_window->transformPage()->waitForIdle();
  ExpectSamples(session()->converted(Side::Temperature), imported, 1e-9);
}

void ImportTest::cancelledOrFailedImportChangesNoRecord() {
  const std::vector<double> before = {30.1, 30.2, 30.4, 30.3, 30.2, 30.0};
  QVERIFY(m_window->transformPage()->loadT(WriteColumn(m_dir->filePath(QStringLiteral("t.txt")), before)));
  m_window->transformPage()->waitForIdle();
  const TransformViewState was = session()->viewState();

  // A semicolon file with a decimal comma and a bad cell on line 6, column 3 (BF).
  const QString bad = m_dir->filePath(QStringLiteral("bad.csv"));
  {
    QFile file(bad);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write("t;T;BF\n0,0;30,1;10,0\n0,5;30,2;10,5\n1,0;30,3;10,1\n1,5;30,2;10,2\n2,0;30,4;x3\n2,5;30,1;10,3\n");
  }
  QString failure;
  OnNextDialog([&](ImportDialog* dialog) {
    QCOMPARE(find<QComboBox>(dialog, "ImportSeparator")->currentIndex(), 1);
    QCOMPARE(find<QComboBox>(dialog, "ImportDecimal")->currentIndex(), 1);
    find<QPushButton>(dialog, "ImportButton")->click();  // fails: the dialog stays open with the message
    failure = find<QLabel>(dialog, "ImportMessage")->text();
    find<QPushButton>(dialog, "ImportCancel")->click();
  });
  QVERIFY(!m_window->transformPage()->openFile(Side::BloodFlow, bad));
  QVERIFY2(failure.contains(QStringLiteral("line 6")) && failure.contains(QStringLiteral("column 3")) &&
               failure.contains(QStringLiteral("'x3'")),
           qPrintable(failure));

  // A good file, cancelled.
  const QString good = WriteInstrumentCsv(m_dir->filePath(QStringLiteral("monitor.csv")), 320);
  OnNextDialog([&](ImportDialog* dialog) {
    find<QCheckBox>(dialog, "ImportPair")->setChecked(true);
    find<QPushButton>(dialog, "ImportCancel")->click();
  });
  QVERIFY(!m_window->transformPage()->openFile(Side::Temperature, good));
  m_window->transformPage()->waitForIdle();

  const TransformViewState now = session()->viewState();
  QCOMPARE(now.temperature.source, was.temperature.source);
  QCOMPARE(now.temperature.measured.y, was.temperature.measured.y);
  QVERIFY(!now.bloodFlow.loaded);
  ExpectSamples(session()->record(Side::Temperature).values, before, 0.0);
  QVERIFY(m_window->recentFiles().isEmpty());  // neither import counts as opened
}

void ImportTest::edfChannelsAtOneAndThirtyTwoHertzImportAtTheChosenRate() {
  const int seconds = 90;
  EdfWriteRequest request;
  EdfWriteChannel temperature{"Tskin", "degC", 1, {}};
  for (int i = 0; i < seconds; ++i) temperature.values.push_back(TemperatureAt(i * 32));
  EdfWriteChannel flow{"LDF", "PU", 32, {}};
  for (int i = 0; i < seconds * 32; ++i) flow.values.push_back(BloodFlowAt(i));
  request.channels = {temperature, flow};
  request.annotations = {EdfAnnotation{10.0, 5.0, "cuff on"}};
  request.start = EdfStartTime{2026, 3, 4, 10, 0, 0};
  const QString path = m_dir->filePath(QStringLiteral("polygraph.edf"));
  QVERIFY(!WriteEdfFile(path.toStdString(), request).has_value());

  ImportDialog::Options options;
  options.target = ImportTarget::Temperature;
  options.rateHz = 2;
  options.rateEditable = true;
  options.pairAllowed = true;
  const FileLayoutResult layout = ReadFileLayout(path.toStdString());
  QVERIFY(layout.ok());
  ImportDialog dialog(path, layout.layout, options, m_window);
  dialog.show();
  QVERIFY(dialog.isEdf());
  auto* channels = find<QTableWidget>(&dialog, "ImportChannels");
  QCOMPARE(channels->rowCount(), 2);
  QCOMPARE(channels->item(0, 1)->text(), QStringLiteral("Tskin"));
  QCOMPARE(channels->item(0, 2)->text(), QStringLiteral("degC"));
  QCOMPARE(channels->item(0, 3)->text(), QStringLiteral("1"));
  QCOMPARE(channels->item(1, 1)->text(), QStringLiteral("LDF"));
  QCOMPARE(channels->item(1, 2)->text(), QStringLiteral("PU"));
  QCOMPARE(channels->item(1, 3)->text(), QStringLiteral("32"));
  QCOMPARE(channels->item(1, 4)->text(), QString::number(seconds * 32));
  auto* annotations = find<QTableWidget>(&dialog, "ImportAnnotations");
  QCOMPARE(annotations->rowCount(), 1);
  QCOMPARE(annotations->item(0, 0)->text(), QStringLiteral("10"));
  QCOMPARE(annotations->item(0, 2)->text(), QStringLiteral("cuff on"));

  // 1 Hz cannot become 2 Hz: refused with both rates.
  find<QCheckBox>(&dialog, "ImportPair")->setChecked(true);
  QVERIFY(!dialog.importNow());
  QVERIFY2(dialog.message().contains(QStringLiteral("1 Hz to 2 Hz")), qPrintable(dialog.message()));
  find<QSpinBox>(&dialog, "ImportTargetRate")->setValue(1);
  SaveShot(&dialog, "import_dialog_edf.png");
  QVERIFY2(dialog.importNow(), qPrintable(dialog.message()));
  QCOMPARE(dialog.records().size(), std::size_t{2});

  // The file's values within its 16-bit quantisation (range / 65535), BF as means of 32 of them.
  auto step = [](const std::vector<double>& v) {
    return (*std::max_element(v.begin(), v.end()) - *std::min_element(v.begin(), v.end())) / 65535.0 * 1.01;
  };
  ExpectSamples(dialog.records()[0].record.values, temperature.values, step(temperature.values));
  ExpectSamples(dialog.records()[1].record.values, BlockMeans(BloodFlowAt, seconds * 32, 32), step(flow.values));
  QCOMPARE(dialog.records()[0].unit, std::string("degC"));

  QVERIFY(m_window->transformPage()->loadImported(Side::Temperature, dialog.records(), path));
  m_window->transformPage()->waitForIdle();
  QVERIFY2(m_errors.isEmpty(), qPrintable(m_errors.join('\n')));
  QCOMPARE(session()->sampleRate(), 1);
  QCOMPARE(find<QSpinBox>(m_window, "UpDown1")->value(), 1);
  QCOMPARE(session()->record(Side::Temperature).count(), seconds);
  QCOMPARE(session()->record(Side::BloodFlow).count(), seconds);
  QVERIFY(QString::fromStdString(session()->viewState().bloodFlow.source).endsWith(QStringLiteral(": LDF")));
}

void ImportTest::dropOfOneColumnFileLoadsIt() {
  const std::vector<double> values = {12.5, 13.0, 12.75, 14.25, 13.5, 12.0, 12.25};
  const QString path = WriteColumn(m_dir->filePath(QStringLiteral("flow.txt")), values);
  QCOMPARE(ReadFileLayout(path.toStdString()).layout.format, FileFormat::kSignalText);
  auto* chart = find<PlotView>(m_window, "Chart2");
  QMimeData mime;
  mime.setUrls({QUrl::fromLocalFile(path)});
  const QPointF centre = chart->viewport()->rect().center();
  QDragEnterEvent enter(centre.toPoint(), Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
  QApplication::sendEvent(chart->viewport(), &enter);
  QVERIFY(enter.isAccepted());
  QDropEvent drop(centre, Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
  QApplication::sendEvent(chart->viewport(), &drop);
  QVERIFY(drop.isAccepted());
  QTRY_VERIFY(session()->loaded(Side::BloodFlow) || !m_errors.isEmpty());
  m_window->transformPage()->waitForIdle();
  QVERIFY2(m_errors.isEmpty(), qPrintable(m_errors.join('\n')));
  ExpectSamples(session()->record(Side::BloodFlow).values, values, 0.0);
  QCOMPARE(find<QLineEdit>(m_window, "Edit18")->text(), QStringLiteral("7 points"));
  QCOMPARE(m_window->recentFiles(), QStringList{QStringLiteral("BF|") + path});
  QApplication::processEvents();
  SaveShot(m_window, "after_drop.png");
}

void ImportTest::recentFilesNewestFirstAtMostEight() {
  QStringList list;
  for (int i = 1; i <= 10; ++i) list = WithRecentFile(list, QStringLiteral("T|/data/r%1.csv").arg(i));
  list = WithRecentFile(list, QStringLiteral("T|/data/r5.csv"));  // opened again: moves to the top
  const QStringList expected = {QStringLiteral("T|/data/r5.csv"),  QStringLiteral("T|/data/r10.csv"),
                                QStringLiteral("T|/data/r9.csv"),  QStringLiteral("T|/data/r8.csv"),
                                QStringLiteral("T|/data/r7.csv"),  QStringLiteral("T|/data/r6.csv"),
                                QStringLiteral("T|/data/r4.csv"),  QStringLiteral("T|/data/r3.csv")};
  QCOMPARE(list, expected);
  QCOMPARE(WithRecentFile(list, QStringLiteral("T|/a\nb")), list);

  // The window shows them in the menu and option.ini keeps them across a restart.
  m_window->setRecentFiles(list);
  auto* menu = find<QMenu>(m_window, "RecentFiles");
  QCOMPARE(menu->actions().size(), 8);
  QVERIFY(menu->actions().first()->text().contains(QStringLiteral("r5.csv")));
  QVERIFY(m_window->saveSettings());
  QCOMPARE(ReadSettings(m_window->settingsPath()).recentFiles, expected);
  const QString ini = m_window->settingsPath();
  delete m_window;
  m_window = new TForm1(nullptr, ini);
  QCOMPARE(m_window->recentFiles(), expected);
}

// The fault: a headerless TAB file whose first column is the sample time loaded its time ramp as the signal on
// every page. Its first column rises in uniform steps, so it is the time column, and the signal is the second.
void ImportTest::headerlessTabFileWithTimeColumnGivesItsSignalOnEveryPage() {
  std::vector<double> values;
  const QString path = m_dir->filePath(QStringLiteral("logger.txt"));
  {
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly));
    for (int i = 0; i < 120; ++i) {
      values.push_back(std::round((12.0 + 3.0 * std::sin(0.3 * i) + 0.01 * (i % 7)) * 1000.0) / 1000.0);
      file.write(QByteArray::number(i * 0.5, 'f', 1) + '\t' + QByteArray::number(values.back(), 'f', 3) + '\n');
    }
  }
  const FileLayoutResult layout = ReadFileLayout(path.toStdString());
  QVERIFY(layout.ok());
  QCOMPARE(layout.layout.format, FileFormat::kDelimited);
  QCOMPARE(layout.layout.delimited.timeColumn, 1);
  QCOMPARE(layout.layout.fileRateHz, 2.0);
  bool dialogShown = false;
  OnNextDialog([&](ImportDialog* dialog) {
    dialogShown = true;
    find<QPushButton>(dialog, "ImportCancel")->click();
  });

  QVERIFY(m_window->transformPage()->openFile(Side::BloodFlow, path));
  m_window->transformPage()->waitForIdle();
  ExpectSamples(session()->record(Side::BloodFlow).values, values, 1e-12);

  QVERIFY(m_window->fourierPage()->openFile(path));
  m_window->runner()->waitForIdle();
  ExpectSamples(m_window->fourierPage()->signal().values, values, 1e-12);

  QVERIFY(m_window->waveletPage()->openFile(path));
  m_window->runner()->waitForIdle();
  const auto [low, high] = std::minmax_element(values.begin(), values.end());
  std::vector<double> normalised;
  for (double v : values) normalised.push_back((v - *low) / (*high - *low));
  ExpectSamples(m_window->waveletPage()->pageSignal(), normalised, 1e-9);

  QVERIFY(m_window->ppgPage()->openFile(path));
  m_window->runner()->waitForIdle();
  ExpectSamples(m_window->ppgPage()->ppg().values, values, 1e-12);

  QVERIFY(m_window->analysisPage()->openFile(AnalysisPage::FileSlot::Single, path));
  ExpectSamples(m_window->analysisPage()->fileValues(AnalysisPage::FileSlot::Single), values, 1e-12);

  QVERIFY(!dialogShown);  // one signal at a stated rate: nothing to choose
  QVERIFY2(m_errors.isEmpty(), qPrintable(m_errors.join('\n')));
}

QTEST_MAIN(ImportTest)
#include "import_test.moc"
