// What the Transform page writes for use elsewhere, read back by the library's readers: BF* as CSV with its
// method comments, T, BF, T* and BF* as one EDF+ file, a chart as SVG, and the one-page PDF report.
#include <QAction>
#include <QFile>
#include <QPushButton>
#include <QTemporaryDir>
#include <QtTest>
#include <algorithm>
#include <cmath>

#include "shell/app_context.h"
#include "shell/main_window.h"
#include "charts/plot_view.h"
#include "formats/delimited_reader.h"
#include "formats/edf_reader.h"
#include "signals/transform_session.h"
#include "pages/transform_page.h"

using namespace kelvora;

class ExportTest : public QObject {
  Q_OBJECT

 private slots:
  void initTestCase();
  void init();
  void cleanup();
  void convertedRecordsGoToCsvAndEdfWithTheirValues();
  void chartAsSvgAndPageAsPdf();

 private:
  void convertBothWays();
  TransformSession* session() { return m_window->context()->session(); }

  QTemporaryDir* m_dir = nullptr;
  TForm1* m_window = nullptr;
  QStringList m_errors;
};

void ExportTest::initTestCase() {
  if (!QFile::exists(AppContext::dataFolder() + QStringLiteral("/Examples/T1.txt")))
    QSKIP("The example signals are not beside the program");
}

void ExportTest::init() {
  m_dir = new QTemporaryDir;
  QFile settings(m_dir->filePath(QStringLiteral("option.ini")));
  QVERIFY(settings.open(QIODevice::WriteOnly));
  settings.write("[position]\nMaximized=0\nwidth=1400\nheight=900\n");
  settings.close();
  m_window = new TForm1(nullptr, m_dir->filePath(QStringLiteral("option.ini")));
  m_errors.clear();
  m_window->context()->setErrorInterceptor([this](const QString& message) { m_errors << message; });
  m_window->showAtStart();
}

void ExportTest::cleanup() {
  delete m_window;
  m_window = nullptr;
  delete m_dir;
  m_dir = nullptr;
}

void ExportTest::convertBothWays() {
  m_window->findChild<QAction*>(QStringLiteral("Example21"))->trigger();
  m_window->transformPage()->waitForIdle();
  for (const char* arrow : {"BtnTtoBF", "BtnBFtoT"}) {
    m_window->findChild<QPushButton*>(QString::fromLatin1(arrow))->click();
    m_window->transformPage()->waitForIdle();
  }
  for (const char* output : {"BtnOutputBF", "BtnOutputT"}) m_window->findChild<QPushButton*>(QString::fromLatin1(output))->click();
  QVERIFY2(m_errors.isEmpty(), qPrintable(m_errors.join('\n')));
  QVERIFY(session()->convertedReady(Side::Temperature) && session()->convertedReady(Side::BloodFlow));
}

void ExportTest::convertedRecordsGoToCsvAndEdfWithTheirValues() {
  convertBothWays();
  TransformPage* page = m_window->transformPage();
  const int count = session()->record(Side::Temperature).count();
  const std::vector<double> bfStar(session()->converted(Side::Temperature).begin(),
                                   session()->converted(Side::Temperature).begin() + count);

  // CSV: the comment lines name the method, the header "t_s,BF*", and the values read back at full precision.
  const QString csv = m_dir->filePath(QStringLiteral("bf_star"));
  QVERIFY(page->saveConvertedCsvTo(false, csv));
  QFile text(csv + QStringLiteral(".csv"));
  QVERIFY(text.open(QIODevice::ReadOnly));
  const QByteArray bytes = text.readAll();
  QVERIFY(bytes.contains("# method: Fourier filtration\n"));
  QVERIFY(bytes.contains("# record: BF*\n"));
  QVERIFY(bytes.contains("# T_source: Example 1\n"));
  QVERIFY(bytes.contains("\nt_s,BF*\n"));
  const DelimitedReadResult read = ReadDelimitedFile(text.fileName().toStdString(), {});
  QVERIFY2(read.ok(), read.ok() ? "" : read.error->text.c_str());
  QCOMPARE(read.sampleRateHz, 2.0);
  QCOMPARE(read.channels.size(), std::size_t{1});
  QCOMPARE(read.channels[0].values.size(), bfStar.size());
  for (std::size_t i = 0; i < bfStar.size(); ++i) QCOMPARE(read.channels[0].values[i], bfStar[i]);

  // EDF+: four channels with labels and units, each within its 16-bit step of the record.
  const QString edf = m_dir->filePath(QStringLiteral("all.edf"));
  QVERIFY(page->exportEdf(edf));
  const EdfReadResult info = ReadEdfFile(edf.toStdString(), {{{1, {}}, {2, {}}, {3, {}}, {4, {}}}});
  QVERIFY(info.ok());
  QCOMPARE(info.info.channels.size(), std::size_t{4});
  const char* labels[4] = {"T", "BF", "BF*", "T*"};
  const std::vector<double>* expected[4] = {&session()->record(Side::Temperature).values,
                                            &session()->record(Side::BloodFlow).values, &bfStar,
                                            &session()->converted(Side::BloodFlow)};
  for (int c = 0; c < 4; ++c) {
    QCOMPARE(info.info.channels[c].label, std::string(labels[c]));
    QCOMPARE(info.info.channels[c].sampleRateHz, 2.0);
    const std::vector<double>& want = *expected[c];
    const std::vector<double>& got = info.channels[c].values;
    const double step = (*std::max_element(want.begin(), want.end()) - *std::min_element(want.begin(), want.end())) /
                        65535.0 * 1.01;
    QVERIFY(got.size() >= static_cast<std::size_t>(session()->record(c == 1 || c == 3 ? Side::BloodFlow : Side::Temperature).count()));
    for (int i = 0; i < session()->record(c == 1 || c == 3 ? Side::BloodFlow : Side::Temperature).count(); ++i) {
      if (std::abs(got[i] - want[i]) > step) QFAIL(qPrintable(QStringLiteral("%1 sample %2").arg(labels[c]).arg(i)));
    }
  }
  QCOMPARE(info.info.channels[0].unit, std::string("degC"));

  // A save that cannot be written says so and leaves nothing.
  QVERIFY(!page->saveConvertedCsvTo(false, m_dir->filePath(QStringLiteral("missing/folder/x.csv"))));
  QCOMPARE(m_errors.size(), 1);
}

void ExportTest::chartAsSvgAndPageAsPdf() {
  convertBothWays();
  TransformPage* page = m_window->transformPage();
  auto* chart3 = m_window->findChild<PlotView*>(QStringLiteral("Chart3"));
  QVERIFY(page->savePlot(chart3, m_dir->filePath(QStringLiteral("bf_star")), QStringLiteral(".svg")));
  QFile svg(m_dir->filePath(QStringLiteral("bf_star.svg")));
  QVERIFY(svg.open(QIODevice::ReadOnly));
  const QByteArray drawing = svg.readAll();
  QVERIFY(drawing.contains("<svg") && drawing.contains("</svg>") &&
          (drawing.contains("<polyline") || drawing.contains("<path")));

  const QString pdf = m_dir->filePath(QStringLiteral("report.pdf"));
  QVERIFY(page->writeReport(pdf));
  QFile report(pdf);
  QVERIFY(report.open(QIODevice::ReadOnly));
  const QByteArray document = report.readAll();
  QVERIFY(document.startsWith("%PDF-"));
  QCOMPARE(document.count("/Type /Page\n") + document.count("/Type /Page\r") + document.count("/Type /Page "), 1);
  const QByteArray keep = qgetenv("KELVORA_SHOTS");
  if (!keep.isEmpty()) QFile::copy(pdf, QString::fromLocal8Bit(keep) + QStringLiteral("/report_transform.pdf"));
  QVERIFY2(m_errors.isEmpty(), qPrintable(m_errors.join('\n')));
}

QTEST_MAIN(ExportTest)
#include "export_test.moc"
