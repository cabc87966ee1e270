#pragma once
// What the pages of the main window share: options, the language, the session, progress and the runner.
#include <QObject>
#include <QString>
#include <functional>
#include <vector>

class QMainWindow;

namespace kelvora {

class RunProgress;
class TaskRunner;
class TransformSession;
class WaveletMethods;

enum class Language { English = 0, Russian = 1 };

// What the window's one runner is doing: the kind of run that holds it, named in the status bar and in the message
// of every action refused meanwhile.
enum class RunKind { None, Load, Filter, Conversion, Fourier, Wavelet, Ppg, Analysis, Coherence, Study };

// Owned by the main window; every page gets a pointer at construction and may keep it for its whole life.
// The setters emit the matching signal when the value changes. UI thread only.
class AppContext : public QObject {
  Q_OBJECT

 public:
  explicit AppContext(QObject* parent = nullptr) : QObject(parent) {}

  // Sample rate of the T and BF records, Hz (Edit1/UpDown1, option.ini freq/gerc). At least 1.
  int gerc() const { return m_gerc; }
  void setGerc(int hz) {
    if (hz < 1 || hz == m_gerc) return;
    m_gerc = hz;
    emit gercChanged(hz);
  }

  // Worker thread count for the wavelet runs (1..32; option.ini Options/potoks).
  int potoks() const { return m_potoks; }
  void setPotoks(int threads) {
    if (threads == m_potoks) return;
    m_potoks = threads;
    emit potoksChanged(threads);
  }

  // "Sound": a beep ends a long run.
  bool sound() const { return m_sound; }
  void setSound(bool on) { m_sound = on; }

  // "Plots animation": enlarged views move with the 20 ms timer.
  bool animation() const { return m_animation; }
  void setAnimation(bool on) { m_animation = on; }

  // "Log Ox" of the Fourier page (CheckBox6), kept here so that it is stored at exit.
  bool logOx() const { return m_logOx; }
  void setLogOx(bool on) {
    if (on == m_logOx) return;
    m_logOx = on;
    emit logOxChanged(on);
  }

  Language language() const { return m_language; }
  void setLanguage(Language language) {
    if (language == m_language) return;
    m_language = language;
    emit languageChanged(language);
  }
  bool russian() const { return m_language == Language::Russian; }

  // The Transform session (records T, BF, T*, BF* and their state); null until the window has created it. Only
  // the Transform page uses it (on the UI thread); the other pages go through the Transform page.
  TransformSession* session() const { return m_session; }
  void setSession(TransformSession* session) {
    m_session = session;
    emit sessionChanged();
  }
  // Tells the pages that the session's records were changed by a hand-over from another page (the PPG "<--").
  void notifySessionChanged() { emit sessionChanged(); }
  // The Transform page's T or BF record was replaced (a load, an import, an example, the PPG hand-over).
  void notifyTransformRecordsReplaced() { emit transformRecordsReplaced(); }

  // The session's owner (the Transform page) takes blood-flow curves handed over by other pages: `receiver`
  // starts the load and returns whether it started. handOverBloodFlow() is false while no receiver is set.
  using BloodFlowReceiver = std::function<bool(const std::vector<double>& samples, const QString& source)>;
  void setBloodFlowReceiver(BloodFlowReceiver receiver) { m_bloodFlowReceiver = std::move(receiver); }
  bool handOverBloodFlow(const std::vector<double>& samples, const QString& source) const {
    return m_bloodFlowReceiver && m_bloodFlowReceiver(samples, source);
  }

  // The session's owner takes a tissue depth (mm) for the thermal wave's D from other pages (the Analysis page's
  // "Use this depth"): `receiver` stores it in the tissue grid and returns whether it could.
  using DepthReceiver = std::function<bool(double depthMm)>;
  void setDepthReceiver(DepthReceiver receiver) { m_depthReceiver = std::move(receiver); }
  bool handOverDepth(double depthMm) const { return m_depthReceiver && m_depthReceiver(depthMm); }

  // The wavelet methods shared by the Transform session and the wavelet page (engine, page filtering, thread
  // count); null until the window has created them.
  WaveletMethods* waveletMethods() const { return m_waveletMethods; }
  void setWaveletMethods(WaveletMethods* methods) { m_waveletMethods = methods; }

  // The run-progress area (ProgressBarP, Label13, Progress, BtnStop, StatusBar1 panels) and the runner that
  // executes computations off the UI thread. Both live as long as the main window.
  RunProgress* progress() const { return m_progress; }
  TaskRunner* runner() const { return m_runner; }
  QMainWindow* window() const { return m_window; }
  void setShell(QMainWindow* window, RunProgress* progress, TaskRunner* runner) {
    m_window = window;
    m_progress = progress;
    m_runner = runner;
  }

  // The run that holds the runner (RunKind::None while it is free), and whether the last run ended by STOP.
  RunKind runHolder() const { return m_runHolder; }
  bool lastRunStopped() const { return m_lastRunStopped; }
  // A run of `kind` holds the runner from now on.
  void setRunHolder(RunKind kind) {
    m_runHolder = kind;
    if (kind != RunKind::None) m_lastRunStopped = false;
    emit runStateChanged();
  }
  // The run that held the runner has ended (`stopped`: by STOP, without its result).
  void setRunEnded(bool stopped) {
    m_runHolder = RunKind::None;
    m_lastRunStopped = stopped;
    emit runStateChanged();
  }
  // True while a run holds the runner: an action that would start a load or a run is refused, and the error box
  // says which run holds it. False, saying nothing, when the runner is free.
  bool refuseWhileHeld() const;

  // A page opened `path` for `role` ("T", "BF", "PPG", "Fourier", "Wavelet") and loaded it: the window puts it
  // first in the "Recent files" menu.
  void noteOpenedFile(const QString& role, const QString& path) { emit fileOpened(role, path); }

  // Shows `message` in the modal error box (error icon, OK and Cancel; both only close it).
  void showError(const QString& message) const;
  // Replaces the error box by `interceptor` (tests record the messages instead of closing a modal box).
  void setErrorInterceptor(std::function<void(const QString&)> interceptor) {
    m_errorInterceptor = std::move(interceptor);
  }

  // Folder of the running program.
  static QString programFolder();
  // Folder that holds Examples/, Help.txt and HelpRus.txt: the program's own folder when they lie there (the
  // build folder), otherwise ../share/kelvora relative to it (an installed copy, whatever its prefix).
  static QString dataFolder();
  // The same rule for a program in `programFolder`.
  static QString dataFolderFor(const QString& programFolder);

 signals:
  void gercChanged(int hz);
  void languageChanged(kelvora::Language language);
  void logOxChanged(bool on);
  void potoksChanged(int threads);
  // The session was set, or its records were changed from outside the Transform page.
  void sessionChanged();
  void transformRecordsReplaced();
  void fileOpened(const QString& role, const QString& path);
  // The run holder or the stopped state changed.
  void runStateChanged();

 private:
  int m_gerc = 2;
  int m_potoks = 32;
  bool m_sound = true;
  bool m_animation = false;
  bool m_logOx = false;
  Language m_language = Language::English;
  RunKind m_runHolder = RunKind::None;
  bool m_lastRunStopped = false;
  TransformSession* m_session = nullptr;
  WaveletMethods* m_waveletMethods = nullptr;
  RunProgress* m_progress = nullptr;
  TaskRunner* m_runner = nullptr;
  QMainWindow* m_window = nullptr;
  std::function<void(const QString&)> m_errorInterceptor;
  BloodFlowReceiver m_bloodFlowReceiver;
  DepthReceiver m_depthReceiver;
};

}  // namespace kelvora
