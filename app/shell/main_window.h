#pragma once
// The main window TForm1: menus, the pages, the run-progress area, settings and language.
#include <QMainWindow>
#include <memory>

#include "shell/settings.h"

class QAction;
class QActionGroup;
class QLabel;
class QMenu;
class QProgressBar;
class QPushButton;
class QTabWidget;

namespace kelvora {

class AnalysisPage;
class AppContext;
class FourierPage;
class HelpPanel;
class PpgPage;
class RunProgress;
class StudyPage;
class TaskRunner;
class TransformPage;
class TransformSession;
class WaveletMethods;
class WaveletPage;

// The main window. Construction gives all state its start values, reads option.ini (from `settingsPath`, by
// default SettingsFilePath()), selects the stored page and applies the stored language; nothing is computed.
// Closing stops and waits for a running computation, then writes option.ini (a failure is reported on standard
// error). UI thread only.
class TForm1 : public QMainWindow {
  Q_OBJECT

 public:
  explicit TForm1(QWidget* parent = nullptr, const QString& settingsPath = QString());
  ~TForm1() override;

  // Shows the window centred on the desktop at its stored size, maximised when option.ini says so.
  void showAtStart();

  AppContext* context() const { return m_context; }
  TransformPage* transformPage() const { return m_transform; }
  PpgPage* ppgPage() const { return m_ppg; }
  FourierPage* fourierPage() const { return m_fourier; }
  WaveletPage* waveletPage() const { return m_wavelet; }
  AnalysisPage* analysisPage() const { return m_analysis; }
  StudyPage* studyPage() const { return m_study; }
  HelpPanel* helpPanel() const { return m_help; }
  RunProgress* runProgress() const { return m_progress; }
  TaskRunner* runner() const { return m_runner; }
  QString settingsPath() const { return m_settingsPath; }

  // The settings as they would be written now.
  AppSettings currentSettings() const;
  // Writes option.ini now; false (with a message on standard error) when it cannot be written.
  bool saveSettings();

  // The thread-count value of the checked "Number of threads" item, or 0 when none is checked.
  int checkedThreadItem() const;

  // File -> "Recent files": the entries "<role>|<path>", newest first, as option.ini keeps them.
  QStringList recentFiles() const { return m_recentFiles; }
  void setRecentFiles(const QStringList& entries);
  // Opens a recent file on its page (T or BF of the Transform page, PPG, Fourier, Wavelet).
  void openRecent(const QString& role, const QString& path);

  // Menu "Help" -> "Help": shows the help text of the selected language.
  void showHelp();
  // Menu "Help" -> "About Kelvora": version and licence in a modal box (object name "AboutBox").
  void showAbout();

 protected:
  void closeEvent(QCloseEvent* event) override;

 private:
  void buildMenus();
  void buildCentre();
  void applySettings(const AppSettings& settings);
  void setLanguage(int lang);
  // The status bar's run state: the run holding the runner, "Stopped" after STOP, or nothing.
  void showRunState();

  QString m_settingsPath;
  AppSettings m_startSettings;
  AppContext* m_context = nullptr;
  std::unique_ptr<TransformSession> m_session;
  std::shared_ptr<WaveletMethods> m_waveletMethods;
  QTabWidget* m_pages = nullptr;
  TransformPage* m_transform = nullptr;
  PpgPage* m_ppg = nullptr;
  FourierPage* m_fourier = nullptr;
  WaveletPage* m_wavelet = nullptr;
  AnalysisPage* m_analysis = nullptr;
  StudyPage* m_study = nullptr;
  HelpPanel* m_help = nullptr;
  QProgressBar* m_progressBar = nullptr;
  QLabel* m_label13 = nullptr;
  QLabel* m_progressLabel = nullptr;
  QPushButton* m_btnStop = nullptr;
  RunProgress* m_progress = nullptr;
  TaskRunner* m_runner = nullptr;
  QActionGroup* m_threadGroup = nullptr;
  QAction* m_sound = nullptr;
  QAction* m_animation = nullptr;
  QAction* m_legacyWaveletDelays = nullptr;
  QAction* m_english = nullptr;
  QMenu* m_recentMenu = nullptr;
  QMenu* m_examplesMenu = nullptr;
  QLabel* m_runState = nullptr;
  QStringList m_recentFiles;
  QAction* m_russian = nullptr;
  int m_wasMaximized = 0;
  bool m_settingsWritten = false;
};

}  // namespace kelvora
