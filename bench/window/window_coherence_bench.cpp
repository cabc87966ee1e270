// The window's own figures for a long coherence run: the main window (TForm1, the program's own), its Analysis
// page in pair mode with two files of 2,000,000 samples at 500 Hz, 0.5 .. 5 Hz, 20 surrogate pairs, driven by
// the controls' object names as a user would press them.
//
//   kelvora_window_bench stop [samples]      STOP pressed at 10 points of the run (the BF analysis, the measured
//                                            rows, the first pairs' surrogates and rows): per point the time from
//                                            the press until the runner is free, the peak resident memory of
//                                            the process during the run and the longest time the progress
//                                            position stood still before the press.
//   kelvora_window_bench close SECONDS [samples]
//                                            starts the run and closes the window after SECONDS; prints when the
//                                            close was asked (Unix time) and how long close() took, then leaves
//                                            main: bench/window_bench.sh times the end of the process.
//   kelvora_window_bench full [samples]      the whole run: its wall and CPU time, peak memory, longest gap.
//   kelvora_window_bench shots DIR [samples] pictures in DIR, English and Russian, of every page with the
//                                            examples and the shared recordings: the Transform page by each
//                                            method, Fourier, wavelet, PPG, Analysis single, the Study page run,
//                                            help and About, then the Analysis pair run 20 s in and after STOP.
//                                            bench/window_shots.sh takes the whole set at 1280x800.
//
// Run it under Xvfb (bench/window_bench.sh does). Every figure goes to standard output as "name value" lines.
#include <QAbstractButton>
#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QElapsedTimer>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QTimer>
#include <QRadioButton>
#include <QSpinBox>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QTextStream>
#include <QThread>
#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <ctime>
#include <numbers>
#include <random>
#include <string>
#include <vector>

#include "analysis/coherence_progress.h"
#include "analysis/record_analysis.h"
#include "bench/peak_memory.h"
#include "pages/analysis_page.h"
#include "pages/fourier_page.h"
#include "pages/ppg_page.h"
#include "pages/study_page.h"
#include "pages/transform_page.h"
#include "pages/wavelet_page.h"
#include "shell/app_context.h"
#include "shell/main_window.h"
#include "shell/run_progress.h"
#include "shell/task_runner.h"

using namespace kelvora;

namespace {

constexpr double kRateHz = 500.0;
constexpr int kPairs = 20;

// The library benchmark's pair (bench/coherence_bench.cpp): slow rhythms and noise in the flow, a temperature
// that follows it late and smoothed.
void WritePair(std::size_t n, const QString& tPath, const QString& bfPath) {
  std::mt19937 rng(11);
  std::normal_distribution<double> noise(0.0, 1.0);
  std::FILE* t = std::fopen(tPath.toLocal8Bit().constData(), "w");
  std::FILE* bf = std::fopen(bfPath.toLocal8Bit().constData(), "w");
  double smooth = 0.0;
  const double follow = std::exp(-1.0 / (25.0 * kRateHz));
  for (std::size_t i = 0; i < n; ++i) {
    const double s = static_cast<double>(i) / kRateHz;
    const double flow = 10.0 + 2.0 * std::sin(2 * std::numbers::pi * 0.01 * s) +
                        std::sin(2 * std::numbers::pi * 0.03 * s + 1.0) + 0.5 * std::sin(2 * std::numbers::pi * 0.1 * s) +
                        0.3 * std::sin(2 * std::numbers::pi * 1.1 * s) + 0.5 * noise(rng);
    smooth = follow * smooth + (1.0 - follow) * flow;
    std::fprintf(bf, "%.9g\n", flow);
    std::fprintf(t, "%.9g\n", 30.0 + 0.1 * smooth + 0.01 * noise(rng));
  }
  std::fclose(t);
  std::fclose(bf);
}

double Now() { return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch()).count(); }
double UnixNow() { return std::chrono::duration<double>(std::chrono::system_clock::now().time_since_epoch()).count(); }
double CpuSeconds() { return static_cast<double>(std::clock()) / CLOCKS_PER_SEC; }

template <typename T>
T* Find(QWidget* root, const char* name) {
  T* found = root->findChild<T*>(QString::fromLatin1(name));
  if (!found) {
    std::fprintf(stderr, "no control %s\n", name);
    std::exit(2);
  }
  return found;
}

// Lets the window work for `seconds` (events, timers, the run's continuations).
void Pump(double seconds) {
  const double until = Now() + seconds;
  while (Now() < until) {
    QApplication::processEvents(QEventLoop::AllEvents, 5);
    QThread::msleep(2);
  }
}

// Watches the run's progress while the window works: the longest time its position stood still.
struct Watch {
  SharedProgressSink* sink;
  long long position = -1, maximum = -1;
  double changed = Now(), longestStill = 0.0;
  void look() {
    const long long p = sink->position(), m = sink->maximum();
    const double now = Now();
    if (p != position || m != maximum) {
      longestStill = std::max(longestStill, now - changed);
      changed = now;
      position = p;
      maximum = m;
    }
  }
  void pumpWhile(const std::function<bool()>& going) {
    while (going()) {
      QApplication::processEvents(QEventLoop::AllEvents, 5);
      look();
      QThread::msleep(2);
    }
  }
};

class Bench {
 public:
  Bench(const QString& dir, std::size_t samples) : m_dir(dir), m_window(nullptr, QDir(dir).filePath("option.ini")) {
    m_window.context()->setErrorInterceptor([](const QString& message) {
      std::fprintf(stderr, "window error: %s\n", message.toUtf8().constData());
    });
    m_window.resize(1280, 800);
    m_window.show();
    Pump(0.5);
    const QString t = QDir(dir).filePath("t.txt"), bf = QDir(dir).filePath("bf.txt");
    WritePair(samples, t, bf);
    auto* pages = Find<QTabWidget>(&m_window, "PageControl1");
    pages->setCurrentWidget(Find<QWidget>(&m_window, "TabSheet5"));
    Find<QRadioButton>(&m_window, "RadioAnalysisPair")->click();
    Find<QComboBox>(&m_window, "ComboAnalysisPairSource")->setCurrentIndex(static_cast<int>(AnalysisPage::PairSource::Files));
    Find<QLineEdit>(&m_window, "EditAnalysisRate")->setText(QStringLiteral("500"));
    AnalysisPage* page = m_window.analysisPage();
    if (!page->loadFile(AnalysisPage::FileSlot::PairT, t) || !page->loadFile(AnalysisPage::FileSlot::PairBF, bf)) {
      std::fprintf(stderr, "the files did not load\n");
      std::exit(2);
    }
    Find<QLineEdit>(&m_window, "EditAnalysisRate")->setText(QStringLiteral("500"));
    Find<QLineEdit>(&m_window, "EditAnalysisFmin")->setText(QStringLiteral("0.5"));
    Find<QLineEdit>(&m_window, "EditAnalysisFmax")->setText(QStringLiteral("5"));
    Find<QSpinBox>(&m_window, "SpinAnalysisSurrogates")->setValue(kPairs);
    Pump(0.3);
    AnalysisOptions options;
    options.sampleRateHz = kRateHz;
    options.minFrequencyHz = 0.5;
    options.maxFrequencyHz = 5.0;
    m_rows = static_cast<long long>(AnalysisFrequencies(options).size());
    std::printf("samples %zu\nfrequencies %lld\ncores %d\n", samples, m_rows, QThread::idealThreadCount());
  }

  TForm1& window() { return m_window; }
  SharedProgressSink& sink() { return m_window.context()->progress()->sink(); }
  bool busy() const { return m_window.runner()->isBusy(); }
  long long rows() const { return m_rows; }

  void start() {
    Find<QAbstractButton>(&m_window, "BtnAnalysisCalc")->click();
    if (!busy()) {
      std::fprintf(stderr, "the run did not start\n");
      std::exit(2);
    }
  }

 private:
  QString m_dir;
  TForm1 m_window;
  long long m_rows = 0;
};

// Where STOP is pressed: the BF analysis half done, then positions of the coherence run (in its units) over its
// measured rows, the first surrogates and the first pairs' rows (two pairs run at once on two cores).
struct Point {
  bool analysis;      // in the BF analysis (its range counts rows)
  long long position;
};

std::vector<Point> StopPoints(long long rows) {
  const long long j = rows * kCoherenceUnitsPerRow;
  const long long perPair = j + 2 * std::max(1LL, rows / 2) * kCoherenceUnitsPerRow;
  std::vector<Point> points{{true, rows / 2}};
  for (int k = 0; k < 9; ++k) points.push_back({false, j / 4 + static_cast<long long>(k) * (j + 2 * perPair) / 9});
  return points;
}

int Stop(Bench& bench) {
  const std::vector<Point> points = StopPoints(bench.rows());
  double worst = 0.0, peakWorst = 0.0, stillWorst = 0.0;
  const QLabel* status = Find<QLabel>(&bench.window(), "StatusPanel1");
  for (std::size_t k = 0; k < points.size(); ++k) {
    bench::ResetPeakMemory();
    const double cpu = CpuSeconds(), started = Now();
    bench.start();
    Watch watch{&bench.sink()};
    // The coherence's range is far longer than the BF analysis's rows.
    const long long analysisRange = bench.rows();
    auto reached = [&] {
      const long long m = bench.sink().maximum(), p = bench.sink().position();
      if (points[k].analysis) return m == analysisRange && p >= points[k].position;
      return m > analysisRange && p >= points[k].position;
    };
    watch.pumpWhile([&] { return bench.busy() && !reached(); });
    if (!bench.busy()) {
      std::printf("point%zu ended_before_the_point 1\n", k);
      continue;
    }
    const double pressed = Now();
    Find<QAbstractButton>(&bench.window(), "BtnStop")->click();
    watch.pumpWhile([&] { return bench.busy(); });
    const double latency = Now() - pressed;
    Pump(0.2);
    const double peak = bench::PeakMemoryBytes() / 1e6;
    worst = std::max(worst, latency);
    peakWorst = std::max(peakWorst, peak);
    stillWorst = std::max(stillWorst, watch.longestStill);
    std::printf("point%zu %s_position %lld at_s %.2f stop_latency_s %.3f peak_rss_MB %.0f longest_still_s %.2f "
                "cpu_s %.1f status \"%s\"\n",
                k, points[k].analysis ? "analysis" : "coherence", points[k].position, pressed - started, latency,
                peak, watch.longestStill, CpuSeconds() - cpu, status->text().toUtf8().constData());
    std::fflush(stdout);
    Pump(0.3);
  }
  std::printf("stop_worst_s %.3f\npeak_rss_worst_MB %.0f\nlongest_still_worst_s %.2f\n", worst, peakWorst, stillWorst);
  return 0;
}

int Close(Bench& bench, double seconds) {
  bench::ResetPeakMemory();
  bench.start();
  Watch watch{&bench.sink()};
  const double until = Now() + seconds;
  watch.pumpWhile([&] { return bench.busy() && Now() < until; });
  if (!bench.busy()) {
    std::printf("ended_before_close 1\n");
    return 1;
  }
  std::printf("at_s %.2f\nposition %lld of %lld\n", seconds, bench.sink().position(), bench.sink().maximum());
  const double asked = Now();
  std::printf("close_asked_unix %.6f\n", UnixNow());
  bench.window().close();
  std::printf("close_returned_s %.3f\nrunner_busy_after_close %d\npeak_rss_MB %.0f\n", Now() - asked,
              bench.busy() ? 1 : 0, bench::PeakMemoryBytes() / 1e6);
  std::fflush(stdout);
  // The program's main returns here as the window's event loop ends with its last window: what is left to do
  // is the window's and the records' destruction, which bench/window_bench.sh times to the end of the process.
  return 0;
}

int Full(Bench& bench) {
  bench::ResetPeakMemory();
  const double cpu = CpuSeconds(), started = Now();
  bench.start();
  Watch watch{&bench.sink()};
  watch.pumpWhile([&] { return bench.busy(); });
  std::printf("full_run_s %.1f\nprocess_cpu_s %.1f\npeak_rss_MB %.0f\nlongest_still_s %.2f\n", Now() - started,
              CpuSeconds() - cpu, bench::PeakMemoryBytes() / 1e6, watch.longestStill);
  return 0;
}

void Save(QWidget& window, const QString& path) {
  Pump(0.3);
  if (!window.grab().save(path)) std::fprintf(stderr, "could not save %s\n", path.toUtf8().constData());
}

// Shows the page holding `inner` (pages may sit inside scroll areas).
void ShowPage(TForm1& window, QWidget* inner) {
  auto* pages = Find<QTabWidget>(&window, "PageControl1");
  for (int i = 0; i < pages->count(); ++i)
    if (pages->widget(i) == inner || pages->widget(i)->isAncestorOf(inner)) pages->setCurrentIndex(i);
}

void Idle(TForm1& window) {
  Pump(0.2);
  window.runner()->waitForIdle();
  Pump(0.3);
}

// Saves the modal box the next `open` shows, then closes it.
void SaveModal(const QString& path, const std::function<void()>& open) {
  QTimer::singleShot(300, [path] {
    QWidget* box = QApplication::activeModalWidget();
    if (!box) return;
    box->grab().save(path);
    box->close();
  });
  open();
}

void PagesShots(TForm1& window, const QString& folder, const QString& suffix) {
  const QString examples = QStringLiteral(KELVORA_SOURCE_DIR "/Examples/");
  const QString data = QStringLiteral(KELVORA_SOURCE_DIR "/../shared/data/");
  TransformPage* transform = window.transformPage();
  ShowPage(window, transform);
  transform->loadT(examples + "T1.txt");
  Idle(window);
  transform->loadBF(examples + "BF1.txt");
  Idle(window);
  for (const char* method : {"RadioTypeShitzer", "RadioTypeFourier", "RadioTypeWavelet"}) {
    Find<QRadioButton>(&window, method)->click();
    Find<QAbstractButton>(&window, "BtnTtoBF")->click();
    Idle(window);
    Find<QAbstractButton>(&window, "BtnBFtoT")->click();
    Idle(window);
    Save(window, folder + "/transform_" + QString::fromLatin1(method + 9).toLower() + suffix);
  }
  FourierPage* fourier = window.fourierPage();
  ShowPage(window, fourier);
  fourier->loadSignal(examples + "BF1.txt");
  Idle(window);
  fourier->calculate();
  Idle(window);
  Save(window, folder + "/fourier" + suffix);
  WaveletPage* wavelet = window.waveletPage();
  ShowPage(window, wavelet);
  wavelet->loadSignal(examples + "BF1.txt");
  Idle(window);
  wavelet->calculate();
  Idle(window);
  Save(window, folder + "/wavelet" + suffix);
  PpgPage* ppg = window.ppgPage();
  ShowPage(window, ppg);
  ppg->loadPpg(data + "ppg_bidmc01_finger_125Hz.txt");
  Idle(window);
  ppg->computeEnvelope();
  Idle(window);
  Save(window, folder + "/ppg" + suffix);
  AnalysisPage* analysis = window.analysisPage();
  ShowPage(window, analysis);
  Find<QRadioButton>(&window, "RadioAnalysisSingle")->click();
  analysis->loadFile(AnalysisPage::FileSlot::Single, data + "ldf_PREVAIL008_j1_1.txt");
  Idle(window);
  Find<QAbstractButton>(&window, "BtnAnalysisCalc")->click();
  Idle(window);
  Save(window, folder + "/analysis_single" + suffix);
  StudyPage* study = window.studyPage();
  ShowPage(window, study);
  QStringList recordings;
  for (const QString& name : QDir(data).entryList({"ldf_*.txt", "skintemp_PREVAIL*.txt"})) recordings << data + name;
  study->addFiles(recordings);
  Idle(window);
  Save(window, folder + "/study_manifest" + suffix);
  Find<QLineEdit>(&window, "EditStudyOut")->setText(folder + "/study_out" + suffix.chopped(4));
  study->run();
  Idle(window);
  Save(window, folder + "/study_results" + suffix);
  window.showHelp();
  Pump(0.3);
  Save(window, folder + "/help" + suffix);
  Find<QAbstractButton>(&window, "BitBtn23")->click();
  SaveModal(folder + "/about" + suffix, [&window] { window.showAbout(); });
}

int Shots(Bench& bench, const QString& folder, double runSeconds) {
  TForm1& window = bench.window();
  auto* pages = Find<QTabWidget>(&window, "PageControl1");
  for (const char* language : {"English1", "N2"}) {
    const QString suffix = QString::fromLatin1(language) == QLatin1String("N2") ? "_ru.png" : "_en.png";
    Find<QAction>(&window, language)->trigger();
    PagesShots(window, folder, suffix);
    pages->setCurrentWidget(Find<QWidget>(&window, "TabSheet5"));
    Find<QRadioButton>(&window, "RadioAnalysisPair")->click();
    bench.start();
    Pump(runSeconds);
    Save(window, folder + "/analysis_pair_running" + suffix);
    Find<QAbstractButton>(&window, "BtnStop")->click();
    while (bench.busy()) Pump(0.05);
    Save(window, folder + "/analysis_pair_stopped" + suffix);
    bench.start();
    while (bench.busy()) Pump(0.05);
    Save(window, folder + "/analysis_pair_results" + suffix);
  }
  return 0;
}

}  // namespace

int main(int argc, char* argv[]) {
  QApplication app(argc, argv);
  const QStringList args = QApplication::arguments();
  if (args.size() < 2) {
    std::fprintf(stderr, "usage: %s stop|full [samples] | close SECONDS [samples]\n", argv[0]);
    return 2;
  }
  const QString mode = args.at(1);
  const int samplesAt = mode == QLatin1String("close") || mode == QLatin1String("shots") ? 3 : 2;
  const std::size_t samples = args.size() > samplesAt ? args.at(samplesAt).toULongLong() : 2000000;
  QTemporaryDir dir;
  const double loadStarted = Now();
  Bench bench(dir.path(), samples);
  std::printf("setup_s %.1f\n", Now() - loadStarted);
  std::fflush(stdout);
  if (mode == QLatin1String("stop")) return Stop(bench);
  if (mode == QLatin1String("full")) return Full(bench);
  if (mode == QLatin1String("close") && args.size() > 2) return Close(bench, args.at(2).toDouble());
  if (mode == QLatin1String("shots") && args.size() > 2) return Shots(bench, args.at(2), 20.0);
  std::fprintf(stderr, "unknown mode\n");
  return 2;
}
