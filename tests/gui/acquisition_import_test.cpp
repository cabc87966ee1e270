// LabChart text exports and MATLAB files into the window and .mat files out of it: the Import dialog lists the
// channels and blocks, or the variables with their sizes; the record chosen arrives with its values, its own
// rate and its comments as markers; a file of one signal at a stated rate needs no dialog; a converted record
// saved as .mat reads back with the same values.
#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QFile>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QTableWidget>
#include <QTemporaryDir>
#include <QTimer>
#include <QtTest>
#include <functional>

#include "dialogs/import_dialog.h"
#include "formats/mat_file.h"
#include "formats/record_file.h"
#include "pages/analysis_page.h"
#include "pages/transform_page.h"
#include "shell/app_context.h"
#include "shell/main_window.h"
#include "shell/settings.h"
#include "signals/transform_session.h"
#include "../formats/acquisition_files.h"

using namespace kelvora;

namespace {

// Runs `step` on the next modal Import dialog once it is shown (the code under test calls exec()).
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

// Values exact in binary and in the text writer's 17 digits.
std::vector<double> Ramp(std::size_t n, double base, double step) {
  std::vector<double> v(n);
  for (std::size_t i = 0; i < n; ++i) v[i] = base + step * static_cast<double>(i) + 0.125 * static_cast<double>(i % 3);
  return v;
}

}  // namespace

class AcquisitionImportTest : public QObject {
  Q_OBJECT

 private slots:
  void init();
  void cleanup();
  void labChartTextChannelAndBlockChosenInTheDialog();
  void matVariablesListedWithTheirSizes();
  void matOfOneSignalWithFsNeedsNoDialog();
  void matWithoutFsTakesTheTypedRate();
  void convertedRecordSavedAsMatReadsBack();

 private:
  template <typename T>
  T* find(QObject* root, const char* name) {
    return root->findChild<T*>(QString::fromLatin1(name));
  }
  AnalysisPage* analysis() { return m_window->analysisPage(); }

  QTemporaryDir* m_dir = nullptr;
  TForm1* m_window = nullptr;
  QStringList m_errors;
};

void AcquisitionImportTest::init() {
  m_dir = new QTemporaryDir;
  QFile settings(m_dir->filePath(QStringLiteral("option.ini")));
  QVERIFY(settings.open(QIODevice::WriteOnly));
  settings.write("[position]\nMaximized=0\nwidth=1400\nheight=900\n");
  settings.close();
  m_window = new TForm1(nullptr, m_dir->filePath(QStringLiteral("option.ini")));
  m_errors.clear();
  m_window->context()->setErrorInterceptor([this](const QString& message) { m_errors << message; });
  m_window->showAtStart();
  // The dialogs' pictures in Russian too: KELVORA_SHOTS_RUSSIAN=1 switches the window's language (menu item N2).
  if (qEnvironmentVariableIsSet("KELVORA_SHOTS_RUSSIAN")) m_window->findChild<QAction*>(QStringLiteral("N2"))->trigger();
}

void AcquisitionImportTest::cleanup() {
  delete m_window;
  m_window = nullptr;
  delete m_dir;
  m_dir = nullptr;
}

void AcquisitionImportTest::labChartTextChannelAndBlockChosenInTheDialog() {
  // Two blocks of T and BF at 40 Hz, the second following the first, with comments.
  testing::TextBlockPlan a;
  a.intervalS = 0.025;
  a.titles = {"T", "BF"};
  a.units = {"degC", "PU"};
  a.excelDays = 45000.5;
  a.channels = {Ramp(80, 30.0, 0.0625), Ramp(80, 100.0, 0.5)};
  a.comments[10] = "cold start";
  testing::TextBlockPlan b = a;
  b.excelDays = 45000.5 + 80 * 0.025 / 86400.0;
  b.channels = {Ramp(120, 31.0, -0.25), Ramp(120, 90.0, 0.75)};
  b.comments = {{20, "cuff on"}, {100, "cuff off"}};
  const QString path = m_dir->filePath(QStringLiteral("session.txt"));
  {
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write(QByteArray::fromStdString(testing::LabChartText({a, b})));
  }
  bool checked = false;
  OnNextDialog([&](ImportDialog* dialog) {
    QVERIFY(dialog->isBlockFile());
    auto* channels = find<QTableWidget>(dialog, "ImportChannels");
    QCOMPARE(channels->rowCount(), 2);
    QCOMPARE(channels->item(0, 1)->text(), QStringLiteral("T"));
    QCOMPARE(channels->item(0, 2)->text(), QStringLiteral("degC"));
    QCOMPARE(channels->item(1, 1)->text(), QStringLiteral("BF"));
    QCOMPARE(channels->item(1, 3)->text(), QStringLiteral("40"));
    QCOMPARE(channels->item(1, 4)->text(), QStringLiteral("80"));
    auto* blocks = find<QTableWidget>(dialog, "ImportBlocks");
    QCOMPARE(blocks->rowCount(), 2);
    QCOMPARE(blocks->item(1, 2)->text(), QStringLiteral("120"));
    QCOMPARE(blocks->item(1, 3)->text(), QStringLiteral("2"));
    QCOMPARE(find<QTableWidget>(dialog, "ImportAnnotations")->rowCount(), 3);
    auto* block = find<QComboBox>(dialog, "ImportBlock");
    QCOMPARE(block->count(), 3);  // 1, 2, all joined
    auto* choice = find<QComboBox>(dialog, "ImportChoice");
    QCOMPARE(choice->count(), 2);
    choice->setCurrentIndex(1);
    block->setCurrentIndex(1);
    QVERIFY2(dialog->message().isEmpty(), qPrintable(dialog->message()));
    SaveShot(dialog, "import_dialog_labchart.png");
    checked = true;
    find<QPushButton>(dialog, "ImportButton")->click();
  });
  QVERIFY(analysis()->openFile(AnalysisPage::FileSlot::Single, path));
  QVERIFY(checked);
  QVERIFY2(m_errors.isEmpty(), qPrintable(m_errors.join('\n')));
  QCOMPARE(analysis()->fileValues(AnalysisPage::FileSlot::Single), b.channels[1]);
  QCOMPARE(analysis()->fileRateHz(AnalysisPage::FileSlot::Single), 40.0);
  // The second block's comments, at their rows' times: the record's markers.
  const std::vector<Marker>& markers = analysis()->fileMarkers(AnalysisPage::FileSlot::Single);
  QCOMPARE(markers.size(), std::size_t{2});
  QCOMPARE(markers[0].label, std::string("cuff on"));
  QCOMPARE(markers[0].timeS, 0.5);
  QCOMPARE(markers[1].label, std::string("cuff off"));
  QCOMPARE(markers[1].timeS, 2.5);
  QCOMPARE(markers[1].source, MarkerSource::kLabChart);
}

void AcquisitionImportTest::matVariablesListedWithTheirSizes() {
  const std::vector<double> flux = Ramp(720, 12.0, 0.25);
  const std::vector<double> matrix = Ramp(150, -5.0, 0.5);  // 50 x 3, column after column
  const QString path = m_dir->filePath(QStringLiteral("study.mat"));
  QVERIFY(!WriteMatFile(path.toStdString(), {MatValue::Row("flux", flux), MatValue::Matrix("bf", 50, 3, matrix),
                                             MatValue::Text("note", "probe 2"), MatValue::Scalar("fs", 4)})
               .has_value());
  bool checked = false;
  OnNextDialog([&](ImportDialog* dialog) {
    auto* variables = find<QListWidget>(dialog, "ImportVariables");
    QVERIFY(variables);
    QStringList listed;
    for (int i = 0; i < variables->count(); ++i) listed << variables->item(i)->text();
    QCOMPARE(listed, (QStringList{QStringLiteral("flux  1 × 720"), QStringLiteral("bf  50 × 3"),
                                  QStringLiteral("note  1 × 7"), QStringLiteral("fs  1 × 1")}));
    auto* choice = find<QComboBox>(dialog, "ImportChoice");
    QCOMPARE(choice->count(), 4);  // flux, bf(1), bf(2), bf(3)
    QCOMPARE(choice->itemText(3), QStringLiteral("4: bf(3)"));
    QCOMPARE(find<QTableWidget>(dialog, "ImportChannels")->item(3, 4)->text(), QStringLiteral("50"));
    QCOMPARE(find<QTableWidget>(dialog, "ImportChannels")->item(3, 3)->text(), QStringLiteral("4"));
    choice->setCurrentIndex(2);
    SaveShot(dialog, "import_dialog_mat.png");
    checked = true;
    find<QPushButton>(dialog, "ImportButton")->click();
  });
  QVERIFY(analysis()->openFile(AnalysisPage::FileSlot::Single, path));
  QVERIFY(checked);
  QVERIFY2(m_errors.isEmpty(), qPrintable(m_errors.join('\n')));
  QCOMPARE(analysis()->fileValues(AnalysisPage::FileSlot::Single), std::vector<double>(matrix.begin() + 50, matrix.begin() + 100));
  QCOMPARE(analysis()->fileRateHz(AnalysisPage::FileSlot::Single), 4.0);
}

void AcquisitionImportTest::matOfOneSignalWithFsNeedsNoDialog() {
  const std::vector<double> flux = Ramp(400, 7.0, 0.125);
  const QString path = m_dir->filePath(QStringLiteral("flux.mat"));
  QVERIFY(!WriteMatFile(path.toStdString(), {MatValue::Column("flux", flux), MatValue::Scalar("fs", 10)}).has_value());
  bool shown = false;
  OnNextDialog([&](ImportDialog* dialog) {
    shown = true;
    find<QPushButton>(dialog, "ImportCancel")->click();
  });
  QVERIFY(analysis()->openFile(AnalysisPage::FileSlot::Single, path));
  QVERIFY(!shown);
  QCOMPARE(analysis()->fileValues(AnalysisPage::FileSlot::Single), flux);
  QCOMPARE(analysis()->fileRateHz(AnalysisPage::FileSlot::Single), 10.0);
  QVERIFY2(m_errors.isEmpty(), qPrintable(m_errors.join('\n')));
}

void AcquisitionImportTest::matWithoutFsTakesTheTypedRate() {
  const std::vector<double> flux = Ramp(300, 3.0, 0.5);
  const QString path = m_dir->filePath(QStringLiteral("nofs.mat"));
  QVERIFY(!WriteMatFile(path.toStdString(), {MatValue::Column("flux", flux)}).has_value());
  bool checked = false;
  OnNextDialog([&](ImportDialog* dialog) {
    auto* rate = find<QLineEdit>(dialog, "ImportRate");
    QVERIFY(rate);
    // Without a rate nothing can be imported; a rate that is not a whole number of hertz is refused too.
    rate->clear();
    QTest::keyClicks(rate, QStringLiteral("2.5"));
    QVERIFY(!dialog->importNow());
    rate->clear();
    QTest::keyClicks(rate, QStringLiteral("5"));
    QVERIFY2(dialog->message().isEmpty(), qPrintable(dialog->message()));
    SaveShot(dialog, "import_dialog_mat_no_fs.png");
    checked = true;
    find<QPushButton>(dialog, "ImportButton")->click();
  });
  QVERIFY(analysis()->openFile(AnalysisPage::FileSlot::Single, path));
  QVERIFY(checked);
  QCOMPARE(analysis()->fileValues(AnalysisPage::FileSlot::Single), flux);
  QCOMPARE(analysis()->fileRateHz(AnalysisPage::FileSlot::Single), 5.0);
  QVERIFY2(m_errors.isEmpty(), qPrintable(m_errors.join('\n')));
}

void AcquisitionImportTest::convertedRecordSavedAsMatReadsBack() {
  if (!QFile::exists(AppContext::dataFolder() + QStringLiteral("/Examples/T1.txt")))
    QSKIP("The example signals are not beside the program");
  m_window->findChild<QAction*>(QStringLiteral("Example21"))->trigger();
  m_window->transformPage()->waitForIdle();
  find<QPushButton>(m_window, "BtnTtoBF")->click();
  m_window->transformPage()->waitForIdle();
  TransformSession* session = m_window->context()->session();
  QVERIFY(session->convertedReady(Side::Temperature));
  const int count = session->record(Side::Temperature).count();
  const std::vector<double> bfStar(session->converted(Side::Temperature).begin(),
                                   session->converted(Side::Temperature).begin() + count);
  const QString path = m_dir->filePath(QStringLiteral("bf_star.mat"));
  QVERIFY(m_window->transformPage()->saveConvertedCsvTo(false, path));
  RecordReadOptions options;
  options.variable = "BF_";
  const RecordFileResult read = ReadRecordFile(path.toStdString(), options);
  QVERIFY(read.ok());
  QCOMPARE(read.record.values, bfStar);
  QCOMPARE(read.sampleRateHz, session->provenance(Side::Temperature)->resultRateHz);
  const MatReadResult settings = ReadMatFile(path.toStdString());
  QStringList names;
  for (const MatVariableInfo& v : settings.variables) names << QString::fromStdString(v.name);
  QCOMPARE(names, (QStringList{QStringLiteral("BF_"), QStringLiteral("fs"), QStringLiteral("settings")}));

  // A save that cannot be written leaves the file as it was.
  const QByteArray before = [&] {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
  }();
  QVERIFY(!m_window->transformPage()->saveConvertedCsvTo(false, m_dir->filePath(QStringLiteral("missing/x.mat"))));
  QFile again(path);
  QVERIFY(again.open(QIODevice::ReadOnly));
  QCOMPARE(again.readAll(), before);
}

QTEST_MAIN(AcquisitionImportTest)
#include "acquisition_import_test.moc"
