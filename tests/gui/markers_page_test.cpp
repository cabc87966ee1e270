// The Analysis page's protocol markers, segments and response measures through the page's own widgets: markers
// added, moved, renamed and deleted on the signal chart and saved as the sidecar; "Find occlusions" on a flux
// record built with one occlusion; the per-segment band table and the response panel against the library.
#include <QAction>
#include <QComboBox>
#include <QDir>
#include <QFileInfo>
#include <QInputDialog>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSpinBox>
#include <QTabWidget>
#include <QTableWidget>
#include <QTemporaryDir>
#include <QTimer>
#include <QtTest>
#include <cmath>
#include <functional>
#include <memory>

#include "analysis/hyperaemia_measures.h"
#include "analysis/occlusion_finder.h"
#include "analysis/record_analysis.h"
#include "charts/plot_view.h"
#include "dialogs/import_dialog.h"
#include "formats/edf_writer.h"
#include "formats/marker_file.h"
#include "pages/analysis_page.h"
#include "pages/marker_editor.h"
#include "pages/response_panel.h"
#include "pages/segment_table.h"
#include "shell/app_context.h"
#include "shell/main_window.h"
#include "window_under_test.h"
#include "shell/number_text.h"
#include "shell/task_runner.h"
#include "workspace_test_support.h"

using namespace kelvora;

namespace {

constexpr double kRate = 2.0;
constexpr double kOcclusionStart = 200.0, kOcclusionEnd = 260.0;

// A flux record at 2 Hz, 15 min: 50 at rest with a slow ripple, 5 during the occlusion [200, 260) s, then a
// hyperaemia of 100 above rest decaying with a 40 s time constant. The finder's threshold (30 % of the resting
// median, about 15) cuts exactly the occlusion's samples.
std::vector<double> Flux() {
  std::vector<double> values(1800);
  for (std::size_t n = 0; n < values.size(); ++n) {
    const double t = static_cast<double>(n) / kRate;
    const double rest = 50.0 + 2.0 * std::sin(2.0 * 3.141592653589793 * 0.1 * t);
    values[n] = t < kOcclusionStart ? rest : t < kOcclusionEnd ? 5.0 : rest + 100.0 * std::exp(-(t - kOcclusionEnd) / 40.0);
  }
  return values;
}

// Types `label` into the next marker label dialog once it is shown (the editor calls exec()).
void AnswerLabelDialog(const QString& label) {
  QTimer::singleShot(0, [label] {
    for (int tries = 0; tries < 200; ++tries) {
      auto* dialog = qobject_cast<QInputDialog*>(QApplication::activeModalWidget());
      if (dialog && dialog->objectName() == QStringLiteral("DialogMarkerLabel")) {
        dialog->setTextValue(label);
        dialog->accept();
        return;
      }
      QTest::qWait(10);
    }
  });
}

}  // namespace

class MarkersPageTest : public QObject {
  Q_OBJECT

 private slots:
  void init();
  void cleanup();
  void markersAreAddedMovedRenamedDeletedAndReadBackFromTheSidecar();
  void foundOcclusionGivesTheLibrarysSegmentTablesAndResponseMeasures();
  void realFingerRecordShowsItsLoadingCyclesInBothLanguages();

 private:
  AnalysisPage* page() const { return m_window->analysisPage(); }
  template <typename T>
  T* find(const char* name) const {
    T* widget = m_window->findChild<T*>(QString::fromLatin1(name));
    if (!widget) qFatal("no widget %s", name);
    return widget;
  }
  void run(const QString& path);
  void shoot(const char* name);

  std::unique_ptr<QTemporaryDir> m_dir;
  std::unique_ptr<TForm1> m_window;
  QStringList m_errors;
};

void MarkersPageTest::init() {
  QVERIFY(test::OpenWindowUnderTest(m_dir, m_window, m_errors, QSize(1280, 800)));
  find<QTabWidget>("PageControl1")->setCurrentWidget(page());
}

void MarkersPageTest::cleanup() {
  m_window.reset();
  m_dir.reset();
}

void MarkersPageTest::run(const QString& path) {
  if (path.endsWith(QStringLiteral(".edf"))) {
    // An EDF file goes through the Import dialog, taken as it offers.
    QTimer::singleShot(0, [] {
      for (int tries = 0; tries < 200; ++tries) {
        if (auto* dialog = qobject_cast<ImportDialog*>(QApplication::activeModalWidget())) {
          dialog->findChild<QPushButton*>(QStringLiteral("ImportButton"))->click();
          return;
        }
        QTest::qWait(10);
      }
    });
    QVERIFY(page()->openFile(AnalysisPage::FileSlot::Single, path));
  } else {
    QVERIFY(page()->loadFile(AnalysisPage::FileSlot::Single, path));
  }
  find<QLineEdit>("EditAnalysisRate")->setText(QStringLiteral("2"));
  QTest::mouseClick(find<QPushButton>("BtnAnalysisCalc"), Qt::LeftButton);
  m_window->runner()->waitForIdle();
  QVERIFY2(m_errors.isEmpty(), qPrintable(m_errors.join(QLatin1Char('\n'))));
  QVERIFY(page()->result());
  QCoreApplication::processEvents();
}

// KELVORA_SHOTS keeps a picture of the window in both languages.
void MarkersPageTest::shoot(const char* name) {
  const QByteArray folder = qgetenv("KELVORA_SHOTS");
  if (folder.isEmpty()) return;
  for (const char* language : {"en", "ru"}) {
    const bool ru = QLatin1String(language) == QLatin1String("ru");
    m_window->findChild<QAction*>(ru ? QStringLiteral("N2") : QStringLiteral("English1"))->trigger();
    QCoreApplication::processEvents();
    m_window->grab().save(QString::fromLocal8Bit(folder) + QLatin1Char('/') + QLatin1String(name) + QLatin1Char('_') +
                          QLatin1String(language) + QStringLiteral(".png"));
  }
  m_window->findChild<QAction*>(QStringLiteral("English1"))->trigger();
  QCoreApplication::processEvents();
}

// Ctrl+click adds "Marker 1" where clicked, a drag of its line moves it, a double click renames it, Delete
// removes the selected one; "Save markers" writes what the editor holds and a new load reads it back. Editing
// after the run marks the per-segment results out of date.
void MarkersPageTest::markersAreAddedMovedRenamedDeletedAndReadBackFromTheSidecar() {
  const QString path = m_dir->filePath(QStringLiteral("flux.txt"));
  QVERIFY(test::WriteSamples(path, Flux()));
  run(path);
  MarkerEditor* editor = page()->markerEditor();
  auto* chart = find<PlotView>("ChartAnalysisSignal");
  QWidget* viewport = chart->viewport();
  // One pixel of the chart in seconds: the mouse places markers to within it.
  const double pixelS = 60.0 * (chart->axisX()->max() - chart->axisX()->min()) / chart->chart()->plotArea().width();
  QVERIFY(pixelS > 0.0 && pixelS < 2.0);

  QTest::mouseClick(viewport, Qt::LeftButton, Qt::ControlModifier, editor->pointAt(120.0));
  QCOMPARE(editor->markers().size(), std::size_t(1));
  QCOMPARE(editor->markers()[0].label, std::string("Marker 1"));
  QVERIFY(std::abs(editor->markers()[0].timeS - 120.0) <= pixelS);
  QVERIFY(page()->segmentsOutdated());  // the run had no segments; now there are two
  QVERIFY(find<QLabel>("LabelAnalysisStatus")->text().contains(QStringLiteral("out of date: markers changed")));

  const QPoint from = editor->pointAt(editor->markers()[0].timeS), to = editor->pointAt(300.0);
  test::DragAlong(viewport, from.x(), {(from.x() + to.x()) / 2, to.x()}, from.y());
  QVERIFY(std::abs(editor->markers()[0].timeS - 300.0) <= pixelS);

  AnswerLabelDialog(QStringLiteral("heating 42"));
  QTest::mouseDClick(viewport, Qt::LeftButton, {}, editor->pointAt(editor->markers()[0].timeS));
  QCOMPARE(editor->markers()[0].label, std::string("heating 42"));
  QVERIFY(std::abs(editor->markers()[0].timeS - 300.0) <= pixelS);  // the double click moved nothing

  QTest::mouseClick(viewport, Qt::LeftButton, Qt::ControlModifier, editor->pointAt(600.0));
  QTest::mouseClick(viewport, Qt::LeftButton, Qt::ControlModifier, editor->pointAt(700.0));
  QCOMPARE(editor->markers().size(), std::size_t(3));
  QCOMPARE(editor->markers()[2].label, std::string("Marker 3"));
  QTest::keyClick(chart, Qt::Key_Delete);  // the marker just added is the selected one
  QCOMPARE(editor->markers().size(), std::size_t(2));
  QCOMPARE(editor->markers()[1].label, std::string("Marker 2"));

  // Segments: before the first marker, from it to the next, and to the end; the heating phase is measured.
  const std::vector<Segment>& segments = page()->shownSegments();
  QCOMPARE(segments.size(), std::size_t(3));
  QCOMPARE(segments[0].name, std::string("before heating 42"));
  QCOMPARE(segments[1].name, std::string("heating 42"));
  QCOMPARE(segments[1].startS, editor->markers()[0].timeS);
  QCOMPARE(page()->responsePanel()->heating().size(), std::size_t(1));
  auto* response = page()->responsePanel()->table();
  QVERIFY(response->isRowHidden(ResponsePanel::kPlateauPercentMax));  // no maximum yet

  // The segment named as the maximum is the base of the heating percentages: the library's, with that interval.
  AnswerLabelDialog(QStringLiteral("max 44"));
  QTest::mouseDClick(viewport, Qt::LeftButton, {}, editor->pointAt(editor->markers()[1].timeS));
  QCOMPARE(editor->markers()[1].label, std::string("max 44"));
  const std::vector<double> flux = Flux();
  const HeatingOutcome heating = MeasureHeating(flux, 2.0, {segments[1].startS, segments[1].endS}, std::nullopt,
                                                TimeInterval{segments[2].startS, segments[2].endS});
  QVERIFY(heating.ok() && heating.row.plateauPercentMax && heating.row.initialPeakPercentMax);
  QVERIFY(!response->isRowHidden(ResponsePanel::kPlateauPercentMax));
  QCOMPARE(response->item(ResponsePanel::kPlateauPercentMax, 0)->text(), FormatOptional(heating.row.plateauPercentMax, 5));
  QCOMPARE(response->item(ResponsePanel::kInitialPeakPercentMax, 0)->text(),
           FormatOptional(heating.row.initialPeakPercentMax, 5));
  if (!qEnvironmentVariableIsEmpty("KELVORA_SHOTS")) {
    find<QTabWidget>("TabsAnalysisTables")->setCurrentIndex(2);
    QDir().mkpath(qEnvironmentVariable("KELVORA_SHOTS"));
    m_window->grab().save(QDir(qEnvironmentVariable("KELVORA_SHOTS")).filePath(QStringLiteral("response_max_en.png")));
    find<QTabWidget>("TabsAnalysisTables")->setCurrentIndex(0);
  }

  QTest::mouseClick(find<QPushButton>("BtnSaveMarkers"), Qt::LeftButton);
  QVERIFY2(m_errors.isEmpty(), qPrintable(m_errors.join(QLatin1Char('\n'))));
  const MarkerReadResult saved = ReadMarkerSidecar(MarkerSidecarPath(path.toStdString()));
  QVERIFY(saved.ok());
  const std::vector<Marker> held = editor->accepted();
  QCOMPARE(saved.markers.size(), held.size());
  for (std::size_t i = 0; i < held.size(); ++i) {
    QCOMPARE(saved.markers[i].timeS, held[i].timeS);  // written in round-trip form
    QCOMPARE(saved.markers[i].label, held[i].label);
  }
  // A new run of the file reads them back; its segments are those of the markers, and they are current.
  run(path);
  QCOMPARE(editor->markers().size(), held.size());
  for (std::size_t i = 0; i < held.size(); ++i) QCOMPARE(editor->markers()[i].timeS, held[i].timeS);
  QVERIFY(!page()->segmentsOutdated());
  QCOMPARE(page()->result()->segments.size(), std::size_t(3));

  // An EDF+ file carries its own markers: saved and read again, each is shown once, and a rename of one of them
  // holds; a sidecar without sources (typed by hand, or saved before) that repeats them adds none twice.
  const QString edf = m_dir->filePath(QStringLiteral("annotated.edf"));
  EdfWriteRequest request;
  request.channels = {EdfWriteChannel{"LDF", "PU", 2, Flux()}};
  request.annotations = {{kOcclusionStart, -1, "occlusion"}, {kOcclusionEnd, -1, "release"}};
  QVERIFY(!WriteEdfFile(edf.toStdString(), request));
  const std::string edfSidecar = MarkerSidecarPath(edf.toStdString());
  auto labels = [&] {
    QStringList shown;
    for (const Marker& marker : editor->markers())
      shown << QStringLiteral("%1@%2").arg(QString::fromStdString(marker.label)).arg(marker.timeS);
    return shown.join(QLatin1Char(' '));
  };
  run(edf);
  QCOMPARE(labels(), QStringLiteral("occlusion@200 release@260"));
  QVERIFY(editor->renameMarker(1, QStringLiteral("recovery")));
  QVERIFY(editor->save());
  run(edf);
  QCOMPARE(labels(), QStringLiteral("occlusion@200 recovery@260"));
  QCOMPARE(editor->markers()[0].source, MarkerSource::kEdf);
  QVERIFY(WriteMarkerSidecar(edfSidecar, {}) == std::nullopt);  // every marker deleted stays deleted
  run(edf);
  QCOMPARE(labels(), QString());
  {
    QFile typed(QString::fromStdString(edfSidecar));
    QVERIFY(typed.open(QIODevice::WriteOnly | QIODevice::Truncate));
    typed.write("time_s,label,duration_s\n200,occlusion,0\n260,release,0\n300,heating,0\n");
  }
  run(edf);
  QCOMPARE(labels(), QStringLiteral("occlusion@200 release@260 heating@300"));
}

// "Find occlusions" with the fields' threshold and minimum duration proposes the occlusion that was built (no
// longer one than it lasts); accepted, its markers cut the record, and after a run the segment tab holds the
// library's per-segment band tables of those segments (one row per segment and band, filtered by segment), the
// response panel the library's PORH measures, and the report lists the segments.
void MarkersPageTest::foundOcclusionGivesTheLibrarysSegmentTablesAndResponseMeasures() {
  const QString path = m_dir->filePath(QStringLiteral("flux.txt"));
  const std::vector<double> flux = Flux();
  QVERIFY(test::WriteSamples(path, flux));
  run(path);
  MarkerEditor* editor = page()->markerEditor();
  find<QLineEdit>("EditOcclusionMinimum")->setText(QStringLiteral("61"));
  QTest::mouseClick(find<QPushButton>("BtnFindOcclusions"), Qt::LeftButton);
  QVERIFY(editor->markers().empty());  // the 60 s occlusion is shorter than 61 s
  find<QLineEdit>("EditOcclusionMinimum")->setText(QStringLiteral("20"));
  find<QLineEdit>("EditOcclusionThreshold")->setText(QStringLiteral("abc"));
  QTest::mouseClick(find<QPushButton>("BtnFindOcclusions"), Qt::LeftButton);
  QCOMPARE(m_errors.size(), 1);  // refused, saying why
  m_errors.clear();
  find<QLineEdit>("EditOcclusionThreshold")->setText(QStringLiteral("30"));
  QTest::mouseClick(find<QPushButton>("BtnFindOcclusions"), Qt::LeftButton);
  QVERIFY2(m_errors.isEmpty(), qPrintable(m_errors.join(QLatin1Char('\n'))));
  QCOMPARE(editor->markers().size(), std::size_t(2));
  QCOMPARE(editor->markers()[0].timeS, kOcclusionStart);
  QCOMPARE(editor->markers()[1].timeS, kOcclusionEnd);
  QCOMPARE(editor->markers()[0].source, MarkerSource::kFound);
  QVERIFY(editor->accepted().empty());  // proposals until accepted
  QVERIFY(page()->shownSegments().empty());
  shoot("markers_proposed");
  QTest::mouseClick(find<QPushButton>("BtnAcceptProposals"), Qt::LeftButton);
  QCOMPARE(editor->accepted().size(), std::size_t(2));
  QCOMPARE(editor->accepted()[0].label, std::string("occlusion 1"));
  QCOMPARE(editor->accepted()[1].label, std::string("recovery 1"));

  QTest::mouseClick(find<QPushButton>("BtnAnalysisCalc"), Qt::LeftButton);
  m_window->runner()->waitForIdle();
  QVERIFY(!page()->segmentsOutdated());
  const std::vector<Segment> want = {{"before occlusion 1", 0.0, kOcclusionStart},
                                     {"occlusion 1", kOcclusionStart, kOcclusionEnd},
                                     {"recovery 1", kOcclusionEnd, 900.0}};
  AnalysisOptions options;
  options.sampleRateHz = kRate;
  options.threads = 1;
  options.segments = want;
  const AnalysisOutcome library = AnalyzeRecord(flux, options);
  QVERIFY(library.ok());
  QCOMPARE(page()->result()->segments.size(), want.size());
  QTableWidget* table = page()->segmentTable()->table();
  int rows = 0;
  for (std::size_t s = 0; s < want.size(); ++s) {
    const SegmentAnalysis& got = page()->result()->segments[s];
    QCOMPARE(got.segment.name, want[s].name);
    QCOMPARE(got.segment.startS, want[s].startS);
    QCOMPARE(got.segment.endS, want[s].endS);
    const std::vector<BandRow>& expected = library.result.segments[s].table.rows;
    QCOMPARE(got.table.rows.size(), expected.size());
    for (std::size_t b = 0; b < expected.size(); ++b, ++rows) {
      QCOMPARE(got.table.rows[b].amplitude.has_value(), expected[b].amplitude.has_value());
      if (expected[b].amplitude) QVERIFY(std::abs(*got.table.rows[b].amplitude - *expected[b].amplitude) <= 1e-9 * (1.0 + std::abs(*expected[b].amplitude)));
      QCOMPARE(got.table.rows[b].coverage, expected[b].coverage);
      QCOMPARE(got.table.rows[b].note, expected[b].note);
      QCOMPARE(table->item(rows, SegmentTable::kSegment)->text(), QString::fromStdString(want[s].name));
      QCOMPARE(table->item(rows, SegmentTable::kAmplitude)->text(),
               expected[b].amplitude ? FormatDecimal(*expected[b].amplitude, 6) : QString());
      QCOMPARE(table->item(rows, SegmentTable::kCoverage)->text(), FormatDecimal(100.0 * expected[b].coverage, 4));
    }
  }
  QCOMPARE(table->rowCount(), rows);
  auto* filter = find<QComboBox>("ComboAnalysisSegment");
  QCOMPARE(filter->count(), 4);  // "All segments" and each segment
  filter->setCurrentIndex(2);
  QCOMPARE(table->rowCount(), static_cast<int>(library.result.segments[1].table.rows.size()));
  for (int r = 0; r < table->rowCount(); ++r) QCOMPARE(table->item(r, SegmentTable::kSegment)->text(), QStringLiteral("occlusion 1"));

  // The response panel: the library's measures of the occlusion segment, cell by cell.
  const PorhOutcome porh = MeasurePorh(flux, kRate, {{kOcclusionStart, kOcclusionEnd}});
  QVERIFY(porh.ok());
  const PorhMeasures& m = porh.rows.at(0);
  QCOMPARE(page()->responsePanel()->porh().rows.size(), std::size_t(1));
  QTableWidget* response = page()->responsePanel()->table();
  QCOMPARE(response->columnCount(), 1);
  const std::pair<int, std::optional<double>> cells[] = {
      {ResponsePanel::kBaseline, m.baseline}, {ResponsePanel::kBiologicalZero, m.biologicalZero},
      {ResponsePanel::kPeak, m.peak},         {ResponsePanel::kTimeToPeak, m.timeToPeakS},
      {ResponsePanel::kArea, m.hyperaemicArea}, {ResponsePanel::kT50, m.t50S}};
  for (const auto& [row, value] : cells) {
    QVERIFY(value.has_value());
    QCOMPARE(response->item(row, 0)->text(), FormatDecimal(*value, 6));
  }
  QCOMPARE(response->item(ResponsePanel::kRepayment, 0)->text(), FormatDecimal(*m.repayment, 4));
  // The peak and t50 are drawn at their times.
  auto* chart = find<PlotView>("ChartAnalysisSignal");
  QXYSeries* peak = nullptr;
  for (QAbstractSeries* series : chart->chart()->series())
    if (series->objectName() == QStringLiteral("SeriesResponsePeak")) peak = qobject_cast<QXYSeries*>(series);
  QVERIFY(peak && peak->count() == 1);
  QCOMPARE(peak->at(0).x(), (kOcclusionEnd + *m.timeToPeakS) / 60.0);
  QCOMPARE(peak->at(0).y(), *m.peak);

  const QStringList lines = page()->reportLines();
  QVERIFY(lines.filter(QStringLiteral("segments: before occlusion 1 0-200 s, occlusion 1 200-260 s")).size() == 1);
  QCOMPARE(lines.filter(QStringLiteral("segment band amplitudes")).size(), 1);
  for (const Segment& segment : want)
    QCOMPARE(lines.filter(QStringLiteral("  ") + QString::fromStdString(segment.name) + QStringLiteral(": ")).size(), 1);
  QVERIFY(page()->writeReport(m_dir->filePath(QStringLiteral("report.pdf"))));
  filter->setCurrentIndex(0);
  find<QTabWidget>("TabsAnalysisTables")->setCurrentIndex(1);
  // "Table CSV" with the segment tab shown writes the per-segment table: a header and a line per segment and band.
  const QString csv = m_dir->filePath(QStringLiteral("segments.csv"));
  QVERIFY(page()->exportTo(AnalysisPage::Export::Table, csv));
  const QStringList csvLines = test::ReadLines(csv);
  QCOMPARE(csvLines.size(), 1 + rows);
  QVERIFY(csvLines[0].startsWith(QStringLiteral("file,segment,start_s,end_s,band")));
  QVERIFY(csvLines[1].startsWith(QStringLiteral("flux.txt,before occlusion 1,0,200,")));
  shoot("segments");
  find<QTabWidget>("TabsAnalysisTables")->setCurrentIndex(2);
  shoot("response");
}

// A real finger recording with four loading phases (PREVAIL 008): in each language the window proposes the four
// occlusions the library finds in the file as read by the library, named in that language; accepted and run,
// they give nine segments and four response columns, each with its peak. Skipped without the data folder.
void MarkersPageTest::realFingerRecordShowsItsLoadingCyclesInBothLanguages() {
  const QString source = QStringLiteral(KELVORA_SHARED_DATA_DIR "/ldf_PREVAIL008_j1_1.txt");
  if (!QFileInfo::exists(source)) QSKIP("the shared data folder is absent");
  QFile file(source);
  QVERIFY(file.open(QIODevice::ReadOnly));
  std::vector<double> flux;
  for (const QByteArray& line : file.readAll().split('\n'))
    if (!line.trimmed().isEmpty()) flux.push_back(line.trimmed().toDouble());
  OcclusionFinderOptions options;
  options.sampleRateHz = kRate;
  const OcclusionFinderResult found = FindOcclusions(flux, options);
  QVERIFY(found.ok());
  QCOMPARE(found.occlusions.size(), std::size_t(4));
  for (const bool russian : {false, true}) {
    m_window->findChild<QAction*>(russian ? QStringLiteral("N2") : QStringLiteral("English1"))->trigger();
    const QString path = m_dir->filePath(russian ? QStringLiteral("ru/ldf_PREVAIL008_j1_1.txt")
                                                 : QStringLiteral("en/ldf_PREVAIL008_j1_1.txt"));
    QVERIFY(QDir().mkpath(QFileInfo(path).path()));
    QVERIFY(QFile::copy(source, path));
    run(path);
    QTest::mouseClick(find<QPushButton>("BtnFindOcclusions"), Qt::LeftButton);
    MarkerEditor* editor = page()->markerEditor();
    QCOMPARE(editor->markers().size(), 2 * found.occlusions.size());
    for (std::size_t k = 0; k < found.occlusions.size(); ++k) {
      QCOMPARE(editor->markers()[2 * k].timeS, found.occlusions[k].startS);
      QCOMPARE(editor->markers()[2 * k + 1].timeS, found.occlusions[k].endS);
    }
    QCOMPARE(QString::fromStdString(editor->markers()[0].label),
             russian ? QStringLiteral("окклюзия 1") : QStringLiteral("occlusion 1"));
    QTest::mouseClick(find<QPushButton>("BtnAcceptProposals"), Qt::LeftButton);
    QTest::mouseClick(find<QPushButton>("BtnSaveMarkers"), Qt::LeftButton);
    QTest::mouseClick(find<QPushButton>("BtnAnalysisCalc"), Qt::LeftButton);
    m_window->runner()->waitForIdle();
    QVERIFY2(m_errors.isEmpty(), qPrintable(m_errors.join(QLatin1Char('\n'))));
    QCOMPARE(page()->result()->segments.size(), std::size_t(9));
    QCOMPARE(page()->responsePanel()->porh().rows.size(), std::size_t(4));
    for (const PorhMeasures& m : page()->responsePanel()->porh().rows) QVERIFY(m.peak && m.baseline);
    QCOMPARE(page()->responsePanel()->table()->columnCount(), 4);
    const QByteArray folder = qgetenv("KELVORA_SHOTS");
    if (folder.isEmpty()) continue;
    auto* tabs = find<QTabWidget>("TabsAnalysisTables");
    for (int tab : {1, 2}) {
      tabs->setCurrentIndex(tab);
      QCoreApplication::processEvents();
      m_window->grab().save(QString::fromLocal8Bit(folder) + (tab == 1 ? QStringLiteral("/prevail_segments_")
                                                                        : QStringLiteral("/prevail_response_")) +
                            (russian ? QStringLiteral("ru.png") : QStringLiteral("en.png")));
    }
    tabs->setCurrentIndex(0);
  }
  // The pair of the same recording's skin temperature and flux: BF's markers on the coherence map too.
  const QString temperature = QStringLiteral(KELVORA_SHARED_DATA_DIR "/skintemp_PREVAIL008_j1_1.txt");
  const QString t = m_dir->filePath(QStringLiteral("ru/skintemp_PREVAIL008_j1_1.txt"));
  QVERIFY(QFile::copy(temperature, t));
  page()->setPairMode(true);
  find<QSpinBox>("SpinAnalysisSurrogates")->setValue(19);
  QVERIFY(page()->loadFile(AnalysisPage::FileSlot::PairT, t));
  QVERIFY(page()->loadFile(AnalysisPage::FileSlot::PairBF, m_dir->filePath(QStringLiteral("ru/ldf_PREVAIL008_j1_1.txt"))));
  QTest::mouseClick(find<QPushButton>("BtnAnalysisCalc"), Qt::LeftButton);
  m_window->runner()->waitForIdle();
  QVERIFY2(m_errors.isEmpty(), qPrintable(m_errors.join(QLatin1Char('\n'))));
  QVERIFY(page()->coherence());
  QCOMPARE(page()->markerEditor()->accepted().size(), std::size_t(8));  // read from the sidecar saved above
  QCOMPARE(page()->result()->segments.size(), std::size_t(9));
  QCOMPARE(page()->responsePanel()->porh().rows.size(), std::size_t(4));
  // The segment table adds the pair's coherence and threshold per segment and band: the library's, of BF's
  // own segments.
  const CoherenceResult& pair = *page()->coherence();
  QCOMPARE(pair.segments.size(), page()->result()->segments.size());
  auto* segmentTable = find<QTableWidget>("AnalysisSegmentTable");
  QVERIFY(!segmentTable->isColumnHidden(SegmentTable::kCoherence));
  int row = 0;
  for (std::size_t q = 0; q < pair.segments.size(); ++q) {
    QCOMPARE(pair.segments[q].segment.startS, page()->result()->segments[q].segment.startS);
    QCOMPARE(pair.segments[q].segment.endS, page()->result()->segments[q].segment.endS);
    QCOMPARE(pair.segments[q].bands.size(), page()->result()->segments[q].table.rows.size());
    for (const CoherenceBandRow& band : pair.segments[q].bands) {
      QCOMPARE(segmentTable->item(row, SegmentTable::kSegment)->text(), QString::fromStdString(pair.segments[q].segment.name));
      QCOMPARE(segmentTable->item(row, SegmentTable::kCoherence)->text(),
               band.coherence ? FormatDecimal(*band.coherence, 4) : QString());
      QCOMPARE(segmentTable->item(row, SegmentTable::kThreshold)->text(),
               band.threshold ? FormatDecimal(*band.threshold, 4) : QString());
      ++row;
    }
  }
  QCOMPARE(segmentTable->rowCount(), row);
  const QByteArray folder = qgetenv("KELVORA_SHOTS");
  if (!folder.isEmpty()) {
    find<QTabWidget>("TabsAnalysisTables")->setCurrentIndex(1);
    QCoreApplication::processEvents();
    m_window->grab().save(QString::fromLocal8Bit(folder) + QStringLiteral("/prevail_pair_segments_ru.png"));
    m_window->findChild<QAction*>(QStringLiteral("English1"))->trigger();
    QCoreApplication::processEvents();
    m_window->grab().save(QString::fromLocal8Bit(folder) + QStringLiteral("/prevail_pair_segments_en.png"));
    m_window->findChild<QAction*>(QStringLiteral("N2"))->trigger();
    QCoreApplication::processEvents();
    find<QTabWidget>("TabsAnalysisTables")->setCurrentIndex(2);
    QCoreApplication::processEvents();
    m_window->grab().save(QString::fromLocal8Bit(folder) + QStringLiteral("/prevail_pair_ru.png"));
  }
  m_window->findChild<QAction*>(QStringLiteral("English1"))->trigger();
}

QTEST_MAIN(MarkersPageTest)
#include "markers_page_test.moc"
