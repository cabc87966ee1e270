#include "shell/main_window.h"

#include <QAction>
#include <QActionGroup>
#include <QApplication>
#include <QCloseEvent>
#include <QDebug>
#include <QDesktopServices>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QLabel>
#include <QMessageBox>
#include <QMenuBar>
#include <QProgressBar>
#include <QPushButton>
#include <QScreen>
#include <QStatusBar>
#include <QTabWidget>
#include <QUrl>
#include <QVBoxLayout>

#include "pages/analysis_page.h"
#include "shell/app_context.h"
#include "pages/fourier_page.h"
#include "dialogs/help_panel.h"
#include "shell/language_tables.h"
#include "shell/number_text.h"
#include "pages/ppg_page.h"
#include "pages/study_page.h"
#include "shell/run_progress.h"
#include "signals/transform_session.h"
#include "signals/wavelet_transform_methods.h"
#include "shell/task_runner.h"
#include "pages/transform_page.h"
#include "pages/wavelet_page.h"

namespace kelvora {

namespace {

// The thread menu: object names and values, in menu order.
struct ThreadItem {
  const char* name;
  int value;
};
constexpr ThreadItem kThreadItems[] = {{"N11", 1},   {"N21", 2},   {"N31", 4},   {"N61", 6},  {"N81", 8},
                                       {"N121", 12}, {"N161", 16}, {"N162", 24}, {"N321", 32}};

constexpr int kMinimumHeight = 618;
const char* const kMakerPage = "https://kelvora.example.org/";

}  // namespace

TForm1::TForm1(QWidget* parent, const QString& settingsPath)
    : QMainWindow(parent), m_settingsPath(settingsPath.isEmpty() ? SettingsFilePath() : settingsPath) {
  setObjectName(QStringLiteral("TForm1"));
  setWindowTitle(QStringLiteral("Kelvora"));
  m_context = new AppContext(this);
  m_session = std::make_unique<TransformSession>();
  m_session->setDecimalSeparator(DecimalSeparator().toLatin1());
  m_context->setSession(m_session.get());
  m_waveletMethods = std::make_shared<WaveletMethods>();
  InstallWaveletMethods(*m_session, m_waveletMethods);
  m_context->setWaveletMethods(m_waveletMethods.get());
  connect(m_context, &AppContext::potoksChanged, this, [this](int threads) { m_waveletMethods->setThreads(threads); });
  m_runner = new TaskRunner(this);

  buildMenus();
  buildCentre();

  m_startSettings = ReadSettings(m_settingsPath);
  applySettings(m_startSettings);
}

TForm1::~TForm1() {
  m_progress->requestStop();
  m_waveletMethods->stop();
  m_runner->cancelAndWait();
  if (!m_settingsWritten) saveSettings();
}

void TForm1::buildMenus() {
  QMenuBar* bar = menuBar();
  bar->setObjectName(QStringLiteral("MainMenu1"));

  auto addAction = [this](QMenu* menu, const char* name, const QString& text) {
    QAction* action = menu->addAction(text);
    action->setObjectName(QString::fromLatin1(name));
    return action;
  };
  QMenu* file = bar->addMenu(QStringLiteral("File"));
  file->setObjectName(QStringLiteral("FileMenu"));
  m_recentMenu = file->addMenu(QStringLiteral("Recent files"));
  m_recentMenu->setObjectName(QStringLiteral("RecentFiles"));
  file->addSeparator();
  QAction* exportEdf = addAction(file, "ExportEdf", QStringLiteral("Export T, BF, T*, BF* as EDF+..."));
  connect(exportEdf, &QAction::triggered, this, [this] { m_transform->exportEdfDialog(); });
  QAction* report = addAction(file, "ExportReport", QStringLiteral("Transform page report (PDF)..."));
  connect(report, &QAction::triggered, this, [this] { m_transform->reportDialog(); });
  QAction* analysisReport = addAction(file, "ExportAnalysisReport", QStringLiteral("Analysis page report (PDF)..."));
  connect(analysisReport, &QAction::triggered, this, [this] { m_analysis->reportDialog(); });
  QAction* studyReport = addAction(file, "ExportStudyReport", QStringLiteral("Study page report (PDF)..."));
  connect(studyReport, &QAction::triggered, this, [this] { m_study->reportDialog(); });
  file->addSeparator();
  QAction* quit = addAction(file, "Quit1", QStringLiteral("Quit"));
  quit->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_Q));
  quit->setShortcutContext(Qt::ApplicationShortcut);
  connect(quit, &QAction::triggered, this, &QWidget::close);
  connect(m_context, &AppContext::fileOpened, this, [this](const QString& role, const QString& path) {
    setRecentFiles(WithRecentFile(m_recentFiles, role + QLatin1Char('|') + path));
  });

  QMenu* examples = bar->addMenu(QStringLiteral("Examples"));
  examples->setObjectName(QStringLiteral("N1"));
  m_examplesMenu = examples;
  QAction* example1 = addAction(examples, "Example21", QStringLiteral("Example 1 (Rest)"));
  QAction* example2 = addAction(examples, "Example11", QStringLiteral("Example 2 (Cuff Test)"));
  examples->addSeparator();
  QAction* examplePpg1 = addAction(examples, "ExamplePPG21", QStringLiteral("Example PPG 1"));
  QAction* examplePpg2 = addAction(examples, "ExamplePPG11", QStringLiteral("Example PPG 2"));
  connect(example1, &QAction::triggered, this, [this] {
    m_pages->setCurrentIndex(0);
    m_transform->loadExample(1);
  });
  connect(example2, &QAction::triggered, this, [this] {
    m_pages->setCurrentIndex(0);
    m_transform->loadExample(2);
  });
  connect(examplePpg1, &QAction::triggered, this, [this] {
    m_pages->setCurrentIndex(1);
    m_ppg->loadExample(1);
  });
  connect(examplePpg2, &QAction::triggered, this, [this] {
    m_pages->setCurrentIndex(1);
    m_ppg->loadExample(2);
  });

  QMenu* options = bar->addMenu(QStringLiteral("Options"));
  options->setObjectName(QStringLiteral("Options1"));
  m_sound = addAction(options, "Signal1", QStringLiteral("Sound"));
  m_sound->setCheckable(true);
  m_sound->setChecked(true);
  connect(m_sound, &QAction::toggled, this, [this](bool on) { m_context->setSound(on); });

  QMenu* threads = options->addMenu(QStringLiteral("Number of threads"));
  threads->setObjectName(QStringLiteral("Potoks1"));
  m_threadGroup = new QActionGroup(this);
  m_threadGroup->setExclusive(true);
  for (const ThreadItem& item : kThreadItems) {
    QAction* action = addAction(threads, item.name, QString::number(item.value));
    action->setCheckable(true);
    action->setData(item.value);
    m_threadGroup->addAction(action);
    if (item.value == 8) action->setChecked(true);  // the design-time choice
    connect(action, &QAction::triggered, this, [this, value = item.value] { m_context->setPotoks(value); });
  }

  m_animation = addAction(options, "Animation1", QStringLiteral("Plots animation"));
  m_animation->setCheckable(true);
  m_animation->setChecked(true);
  connect(m_animation, &QAction::toggled, this, [this](bool on) { m_context->setAnimation(on); });

  m_legacyWaveletDelays = addAction(options, "WaveletDelays1", QStringLiteral("Legacy wavelet delays"));
  m_legacyWaveletDelays->setCheckable(true);
  connect(m_legacyWaveletDelays, &QAction::toggled, this, [this](bool on) {
    m_waveletMethods->setDelayRule(on ? WaveletDelayRule::Legacy : WaveletDelayRule::Corrected);
    if (transformPage()) transformPage()->takeSettings();
  });

  QMenu* language = options->addMenu(QStringLiteral("Language"));
  language->setObjectName(QStringLiteral("Language1"));
  auto* languageGroup = new QActionGroup(this);
  m_english = addAction(language, "English1", QStringLiteral("English"));
  m_russian = addAction(language, "N2", QStringLiteral("Русский"));
  for (QAction* action : {m_english, m_russian}) {
    action->setCheckable(true);
    languageGroup->addAction(action);
  }
  m_english->setChecked(true);
  connect(m_english, &QAction::triggered, this, [this] { setLanguage(0); });
  connect(m_russian, &QAction::triggered, this, [this] { setLanguage(1); });

  QMenu* help = bar->addMenu(QStringLiteral("Help"));
  help->setObjectName(QStringLiteral("Help1"));
  QAction* helpItem = addAction(help, "Help2", QStringLiteral("Help"));
  helpItem->setShortcut(QKeySequence::HelpContents);
  connect(helpItem, &QAction::triggered, this, &TForm1::showHelp);
  QAction* site = addAction(help, "WebPage1", QStringLiteral("Kelvora on the web"));
  connect(site, &QAction::triggered, this, [] { QDesktopServices::openUrl(QUrl(QString::fromLatin1(kMakerPage))); });
  QAction* about = addAction(help, "About1", QStringLiteral("About Kelvora"));
  connect(about, &QAction::triggered, this, &TForm1::showAbout);
}

void TForm1::buildCentre() {
  auto* centre = new QWidget(this);
  centre->setObjectName(QStringLiteral("ClientArea"));
  auto* layout = new QVBoxLayout(centre);
  layout->setContentsMargins(2, 2, 2, 0);
  layout->setSpacing(2);

  m_progressBar = new QProgressBar(centre);
  m_progressBar->setObjectName(QStringLiteral("ProgressBarP"));
  m_progressBar->setTextVisible(false);
  m_progressBar->setValue(0);
  m_progressBar->setMaximumHeight(16);
  m_label13 = new QLabel(centre);
  m_label13->setObjectName(QStringLiteral("Label13"));
  m_label13->setMinimumWidth(40);
  m_progressLabel = new QLabel(QStringLiteral("100%"), centre);
  m_progressLabel->setObjectName(QStringLiteral("Progress"));
  m_progressLabel->setMinimumWidth(40);
  m_btnStop = new QPushButton(QStringLiteral("STOP"), centre);
  m_btnStop->setObjectName(QStringLiteral("BtnStop"));
  m_btnStop->setEnabled(false);

  auto* statusBar = new QStatusBar(this);
  statusBar->setObjectName(QStringLiteral("StatusBar1"));
  setStatusBar(statusBar);
  auto* panel0 = new QLabel(statusBar);
  panel0->setObjectName(QStringLiteral("StatusPanel0"));
  panel0->setMinimumWidth(260);
  auto* panel1 = new QLabel(statusBar);
  panel1->setObjectName(QStringLiteral("StatusPanel1"));
  statusBar->addWidget(panel0);
  statusBar->addWidget(panel1, 1);

  // Which run holds the runner, or that the last one was stopped.
  m_runState = new QLabel(statusBar);
  m_runState->setObjectName(QStringLiteral("StatusRun"));
  statusBar->addPermanentWidget(m_runState);

  m_progress = new RunProgress(m_progressBar, m_label13, m_progressLabel, m_btnStop, panel0, panel1, this);
  m_context->setShell(this, m_progress, m_runner);
  connect(m_context, &AppContext::runStateChanged, this, &TForm1::showRunState);
  connect(m_context, &AppContext::languageChanged, this, &TForm1::showRunState);
  // While a run holds the runner, nothing that would start another load or run can be chosen.
  connect(m_runner, &TaskRunner::busyChanged, this, [this](bool busy) {
    for (QAction* action : m_examplesMenu->actions()) action->setEnabled(!busy);
    m_recentMenu->setEnabled(!busy && !m_recentFiles.isEmpty());
  });
  connect(m_progress, &RunProgress::stopPressed, this, [this] {
    if (m_waveletMethods) m_waveletMethods->stop();
  });

  m_pages = new QTabWidget(centre);
  m_pages->setObjectName(QStringLiteral("PageControl1"));
  m_transform = new TransformPage(m_context, m_pages);
  m_ppg = new PpgPage(m_context, m_pages);
  m_fourier = new FourierPage(m_context, m_pages);
  m_wavelet = new WaveletPage(m_context, m_pages);
  m_analysis = new AnalysisPage(m_context, m_pages);
  m_study = new StudyPage(m_context, m_pages);
  m_analysis->setEnvelopeSource([this] {
    return AnalysisPage::Envelope{m_ppg->envelope().values, m_ppg->envelope().outRateHz};
  });
  m_pages->addTab(m_transform, QStringLiteral("Transform"));
  m_pages->addTab(m_ppg, QStringLiteral("PPG-->BloodFlow"));
  m_pages->addTab(m_fourier, QStringLiteral("Fourier filtration"));
  m_pages->addTab(m_wavelet, QStringLiteral("Wavelet filtration"));
  m_pages->addTab(m_analysis, QStringLiteral("Analysis"));
  m_pages->addTab(m_study, QStringLiteral("Study"));
  layout->addWidget(m_pages, 1);

  auto* progressRow = new QHBoxLayout;
  progressRow->setContentsMargins(2, 0, 2, 2);
  progressRow->addWidget(m_progressBar, 1);
  progressRow->addWidget(m_label13);
  progressRow->addWidget(m_progressLabel);
  progressRow->addWidget(m_btnStop);
  layout->addLayout(progressRow);

  setCentralWidget(centre);
  m_help = new HelpPanel(centre);

  setMinimumHeight(kMinimumHeight);
  setMinimumWidth(std::min(1000, m_transform->minimumContentWidth() + 15));
}

void TForm1::applySettings(const AppSettings& s) {
  resize(s.width, s.height);
  m_wasMaximized = s.maximized == 1 ? 1 : 0;
  m_context->setGerc(std::max(1, s.gerc));
  m_transform->setSampleRate(m_context->gerc());
  m_sound->setChecked(s.sign == 1);
  m_context->setSound(s.sign == 1);
  m_context->setPotoks(s.potoks);
  m_waveletMethods->setThreads(s.potoks);
  if (m_pages->count() > 0) m_pages->setCurrentIndex(s.activTab >= 0 && s.activTab < m_pages->count() ? s.activTab : 0);
  m_animation->setChecked(s.anim == 1);
  m_context->setAnimation(s.anim == 1);
  m_context->setLogOx(s.logOx == 1);
  m_legacyWaveletDelays->setChecked(s.waveletDelays == 1);
  m_waveletMethods->setDelayRule(s.waveletDelays == 1 ? WaveletDelayRule::Legacy : WaveletDelayRule::Corrected);
  if (transformPage()) transformPage()->takeSettings();
  setLanguage(s.lang == 1 ? 1 : 0);
  setRecentFiles(s.recentFiles);
  for (QAction* action : m_threadGroup->actions()) {
    if (action->data().toInt() == s.potoks) action->setChecked(true);
  }
}

void TForm1::setRecentFiles(const QStringList& entries) {
  m_recentFiles = entries;
  m_recentMenu->clear();
  for (int i = 0; i < m_recentFiles.size(); ++i) {
    const QString entry = m_recentFiles[i];
    const qsizetype bar = entry.indexOf(QLatin1Char('|'));
    const QString role = bar < 0 ? QString() : entry.left(bar);
    const QString path = entry.mid(bar + 1);
    QAction* action = m_recentMenu->addAction(QStringLiteral("&%1  %2: %3").arg(i + 1).arg(role, QDir::toNativeSeparators(path)));
    action->setObjectName(QStringLiteral("RecentFile%1").arg(i + 1));
    connect(action, &QAction::triggered, this, [this, role, path] { openRecent(role, path); });
  }
  m_recentMenu->setEnabled(!m_recentFiles.isEmpty() && !m_runner->isBusy());
}

void TForm1::showRunState() {
  const Language language = m_context->language();
  if (m_context->runHolder() != RunKind::None) {
    m_runState->setText(RunHolderText(m_context->runHolder(), language));
  } else if (m_context->lastRunStopped()) {
    m_runState->setText(StoppedText(language));
  } else {
    m_runState->clear();
  }
}

void TForm1::openRecent(const QString& role, const QString& path) {
  if (m_context->refuseWhileHeld()) return;
  if (!QFileInfo::exists(path)) {
    m_context->showError(FileMissingText(QDir::toNativeSeparators(path), m_context->language()));
    return;
  }
  if (role == QStringLiteral("PPG")) {
    m_pages->setCurrentWidget(m_ppg);
    m_ppg->openFile(path);
  } else if (role == QStringLiteral("Fourier")) {
    m_pages->setCurrentWidget(m_fourier);
    m_fourier->openFile(path);
  } else if (role == QStringLiteral("Wavelet")) {
    m_pages->setCurrentWidget(m_wavelet);
    m_wavelet->openFile(path);
  } else {
    m_pages->setCurrentWidget(m_transform);
    m_transform->openFile(role == QStringLiteral("BF") ? Side::BloodFlow : Side::Temperature, path);
  }
}

void TForm1::setLanguage(int lang) {
  const Language language = lang == 1 ? Language::Russian : Language::English;
  InstallQtTranslations(language);
  m_context->setLanguage(language);
  ApplyLanguage(this, language);
}

void TForm1::showAtStart() {
  resize(m_startSettings.width, m_startSettings.height);
  if (const QScreen* screen = QGuiApplication::primaryScreen()) {
    const QRect area = screen->availableGeometry();
    move(area.center() - QPoint(width() / 2, height() / 2));
  }
  if (m_startSettings.maximized == 1) {
    showMaximized();
  } else {
    show();
  }
}

int TForm1::checkedThreadItem() const {
  const QAction* checked = m_threadGroup->checkedAction();
  return checked ? checked->data().toInt() : 0;
}

AppSettings TForm1::currentSettings() const {
  AppSettings s;
  const QRect bounds = isMaximized() || isFullScreen() ? normalGeometry() : geometry();
  s.left = bounds.x();
  s.top = bounds.y();
  s.width = bounds.width();
  s.height = bounds.height();
  s.maximized = isMaximized() ? 1 : 0;
  s.gerc = m_context->gerc();
  s.sign = m_sound->isChecked() ? 1 : 0;
  s.potoks = PotoksToWrite(checkedThreadItem());
  s.activTab = m_pages->currentIndex();
  s.anim = m_animation->isChecked() ? 1 : 0;
  s.logOx = m_context->logOx() ? 1 : 0;
  s.lang = m_english->isChecked() ? 0 : 1;
  s.waveletDelays = m_legacyWaveletDelays->isChecked() ? 1 : 0;
  s.recentFiles = m_recentFiles;
  return s;
}

bool TForm1::saveSettings() {
  QString error;
  const bool ok = WriteSettings(m_settingsPath, currentSettings(), &error);
  m_settingsWritten = true;
  if (!ok) {
    qWarning().noquote() << QStringLiteral("kelvora: the settings could not be written to %1: %2")
                                .arg(QDir::toNativeSeparators(m_settingsPath), error);
  }
  return ok;
}

void TForm1::closeEvent(QCloseEvent* event) {
  // A running computation is told to stop, its result dropped, and its thread waited for.
  m_progress->requestStop();
  m_waveletMethods->stop();
  m_runner->cancelAndWait();
  if (m_progress->isRunning()) m_progress->end();
  m_wasMaximized = isMaximized() ? 1 : 0;
  saveSettings();
  if (isMaximized()) showNormal();
  event->accept();
}

void TForm1::showAbout() {
  QMessageBox box(QMessageBox::Information, QStringLiteral("Kelvora"), AboutText(m_context->language()),
                  QMessageBox::Ok, this);
  box.setObjectName(QStringLiteral("AboutBox"));
  box.setTextFormat(Qt::RichText);
  box.setIconPixmap(windowIcon().pixmap(64, 64));
  box.exec();
}

void TForm1::showHelp() {
  if (!m_help->showHelp(m_russian->isChecked())) {
    m_context->showError(FileMissingText(QString(), m_context->language()));
  }
}

}  // namespace kelvora
