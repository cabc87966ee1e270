// The small shell features: the help panel, the splash window, the menu switches and the progress area.
#include <QAction>
#include <QFile>
#include <QLabel>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QtTest>
#include <stdexcept>

#include "shell/app_context.h"
#include "dialogs/help_panel.h"
#include "shell/language_tables.h"
#include "shell/main_window.h"
#include "shell/page_run.h"
#include "shell/run_progress.h"
#include "dialogs/splash_window.h"
#include "shell/task_runner.h"

using namespace kelvora;

class ShellTest : public QObject {
  Q_OBJECT

 private slots:
  void helpLoadsEachFileOnce();
  void missingHelpFileShowsTheErrorAndChangesNothing();
  void helpFilesBesideTheProgramAreGuides();
  void splashHasItsSizeCaptionAndTimer();
  void splashClosesOnKeyAndClick();
  void soundAndAnimationToggle();
  void stopButtonAsksTheRunToStop();
  void runnerDropsSupersededResults();
  void aFailingRunShowsItsErrorAndEndsTheRunDisplay();
  void aboutNamesVersionAndLicenceInBothLanguages();
  void installedProgramFindsItsDataBesideOrUnderShare();
};

namespace {

void Write(const QString& path, const QByteArray& text) {
  QFile file(path);
  QVERIFY(file.open(QIODevice::WriteOnly));
  file.write(text);
}

}  // namespace

void ShellTest::helpLoadsEachFileOnce() {
  QTemporaryDir dir;
  Write(dir.filePath(QStringLiteral("Help.txt")), "English guide");
  Write(dir.filePath(QStringLiteral("HelpRus.txt")), "Русское руководство");
  TForm1 window(nullptr, dir.filePath(QStringLiteral("option.ini")));
  HelpPanel* help = window.helpPanel();
  help->setFolder(dir.path());
  QAction* item = window.findChild<QAction*>(QStringLiteral("Help2"));
  item->trigger();
  QVERIFY(help->isVisibleTo(&window));
  QCOMPARE(help->findChild<QPlainTextEdit*>(QStringLiteral("Memo1"))->toPlainText(), QStringLiteral("English guide"));
  help->findChild<QPushButton*>(QStringLiteral("BitBtn23"))->click();
  QVERIFY(!help->isVisibleTo(&window));
  item->trigger();
  QCOMPARE(help->loadCount(), 1);
  QVERIFY(help->englishLoaded());
  window.findChild<QAction*>(QStringLiteral("N2"))->trigger();
  item->trigger();
  QCOMPARE(help->loadCount(), 2);
  QVERIFY(help->russianLoaded());
  QVERIFY(!help->englishLoaded());
  QCOMPARE(help->findChild<QPlainTextEdit*>(QStringLiteral("Memo1"))->toPlainText(),
           QStringLiteral("Русское руководство"));
  item->trigger();
  QCOMPARE(help->loadCount(), 2);
  QCOMPARE(help->size(), QSize(601, 425));
}

void ShellTest::missingHelpFileShowsTheErrorAndChangesNothing() {
  QTemporaryDir dir;
  TForm1 window(nullptr, dir.filePath(QStringLiteral("option.ini")));
  QStringList errors;
  window.context()->setErrorInterceptor([&errors](const QString& m) { errors << m; });
  window.helpPanel()->setFolder(dir.path());
  window.showHelp();
  QCOMPARE(errors, QStringList{QStringLiteral("File does not exist")});
  QVERIFY(!window.helpPanel()->isVisibleTo(&window));
  QVERIFY(!window.helpPanel()->englishLoaded());
  QCOMPARE(window.helpPanel()->loadCount(), 0);
}

void ShellTest::helpFilesBesideTheProgramAreGuides() {
  for (const char* name : {"Help.txt", "HelpRus.txt"}) {
    QFile file(AppContext::dataFolder() + QLatin1Char('/') + QLatin1String(name));
    QVERIFY2(file.open(QIODevice::ReadOnly), name);
    const QString text = QString::fromUtf8(file.readAll());
    QVERIFY(text.size() > 3000);
    QVERIFY(text.contains(QStringLiteral("option.ini")));
  }
}

void ShellTest::splashHasItsSizeCaptionAndTimer() {
  TLogo logo;
  QCOMPARE(logo.size(), QSize(480, 360));
  QCOMPARE(logo.objectName(), QStringLiteral("TLogo"));
  auto* caption = logo.findChild<QLabel*>();
  QCOMPARE(caption->text(), QStringLiteral("Kelvora v.1.5"));
  QCOMPARE(caption->font().pixelSize(), 44);
  QCOMPARE(caption->y(), static_cast<int>(std::lround(360 / 1.45)));
  QVERIFY(logo.timer()->isActive());
  QCOMPARE(logo.timer()->interval(), 3000);
  logo.show();
  logo.timer()->start(20);  // the same timer, shortened so that the test stays quick
  QTRY_VERIFY(!logo.isVisible());
}

void ShellTest::splashClosesOnKeyAndClick() {
  TLogo byKey;
  byKey.show();
  QTest::keyClick(&byKey, Qt::Key_Space);
  QVERIFY(!byKey.isVisible());
  TLogo byClick;
  byClick.show();
  QTest::mouseClick(&byClick, Qt::LeftButton, {}, QPoint(100, 100));
  QVERIFY(!byClick.isVisible());
}

void ShellTest::soundAndAnimationToggle() {
  QTemporaryDir dir;
  TForm1 window(nullptr, dir.filePath(QStringLiteral("option.ini")));
  QAction* sound = window.findChild<QAction*>(QStringLiteral("Signal1"));
  QAction* animation = window.findChild<QAction*>(QStringLiteral("Animation1"));
  sound->trigger();
  animation->trigger();
  QVERIFY(!window.context()->sound());
  QVERIFY(window.context()->animation());
  QCOMPARE(window.currentSettings().sign, 0);
  QCOMPARE(window.currentSettings().anim, 1);
  window.findChild<QAction*>(QStringLiteral("N31"))->trigger();
  QCOMPARE(window.context()->potoks(), 4);
  QCOMPARE(window.currentSettings().potoks, 4);
  window.findChild<QAction*>(QStringLiteral("N162"))->trigger();
  QCOMPARE(window.currentSettings().potoks, 24);
}

void ShellTest::stopButtonAsksTheRunToStop() {
  QTemporaryDir dir;
  TForm1 window(nullptr, dir.filePath(QStringLiteral("option.ini")));
  RunProgress* progress = window.runProgress();
  auto* stop = window.findChild<QPushButton*>(QStringLiteral("BtnStop"));
  QVERIFY(!stop->isEnabled());
  progress->begin();
  QVERIFY(stop->isEnabled());
  QVERIFY(!progress->sink().stopRequested());
  progress->sink().setRange(0, 200);
  progress->sink().setPosition(50);
  stop->click();
  QVERIFY(progress->sink().stopRequested());
  progress->end();
  QVERIFY(!stop->isEnabled());
  QCOMPARE(window.findChild<QLabel*>(QStringLiteral("Progress"))->text(), QStringLiteral("100%"));
  // One percentage: Label13 carries only what the computation says it does.
  QCOMPARE(window.findChild<QLabel*>(QStringLiteral("Label13"))->text(), QString());
  progress->begin();
  QVERIFY(!progress->sink().stopRequested());
  progress->end();
}

void ShellTest::runnerDropsSupersededResults() {
  TaskRunner runner;
  int shown = 0;
  std::atomic<bool> release{false};
  QVERIFY(runner.start([&]() -> TaskRunner::Continuation {
    while (!release.load()) QThread::msleep(1);
    return [&shown] { ++shown; };
  }));
  // Re-entry is refused while a run is going.
  QVERIFY(!runner.start([]() -> TaskRunner::Continuation { return nullptr; }));
  release.store(true);
  runner.cancelAndWait();
  QCoreApplication::processEvents();
  QCOMPARE(shown, 0);
  QVERIFY(!runner.isBusy());
  QVERIFY(runner.start([]() -> TaskRunner::Continuation { return nullptr; }));
  QVERIFY(runner.start([]() -> TaskRunner::Continuation { return nullptr; }) == false);
  runner.waitForIdle();
  QVERIFY(runner.start([&shown]() -> TaskRunner::Continuation { return [&shown] { shown = 7; }; }));
  QTRY_COMPARE(shown, 7);
}

// The fault: an exception thrown by a background computation was swallowed by the runner, so nothing was shown
// and the run display (progress, STOP) kept running.
void ShellTest::aFailingRunShowsItsErrorAndEndsTheRunDisplay() {
  QTemporaryDir dir;
  TForm1 window(nullptr, dir.filePath(QStringLiteral("option.ini")));
  QStringList errors;
  window.context()->setErrorInterceptor([&errors](const QString& m) { errors << m; });
  PageRun run(window.context(), &window, {});
  QVERIFY(run.start([]() -> PageRun::Outcome { throw std::runtime_error("The disk went away"); }));
  QVERIFY(window.runProgress()->isRunning());
  window.runner()->waitForIdle();
  QCoreApplication::processEvents();
  QCOMPARE(errors, QStringList{QStringLiteral("The disk went away")});
  QVERIFY(!window.runProgress()->isRunning());
  QVERIFY(!window.findChild<QPushButton*>(QStringLiteral("BtnStop"))->isEnabled());
  QVERIFY(!window.runner()->isBusy());
  QVERIFY(!run.isBusy());
}

void ShellTest::aboutNamesVersionAndLicenceInBothLanguages() {
  QTemporaryDir dir;
  TForm1 window(nullptr, dir.filePath(QStringLiteral("option.ini")));
  QAction* about = window.findChild<QAction*>(QStringLiteral("About1"));
  QVERIFY(about);
  QCOMPARE(about->text(), QStringLiteral("About Kelvora"));
  window.findChild<QAction*>(QStringLiteral("N2"))->trigger();
  QCOMPARE(about->text(), QStringLiteral("О программе Kelvora"));
  for (Language language : {Language::English, Language::Russian}) {
    const QString text = AboutText(language);
    QVERIFY(text.contains(QStringLiteral(KELVORA_VERSION)));
    QVERIFY(text.contains(QStringLiteral("GPL-3.0-or-later")));
  }
}

void ShellTest::installedProgramFindsItsDataBesideOrUnderShare() {
  QTemporaryDir root;
  const QString build = root.filePath(QStringLiteral("build/bin"));
  const QString prefix = root.filePath(QStringLiteral("prefix"));
  QVERIFY(QDir().mkpath(build + QStringLiteral("/Examples")));
  QVERIFY(QDir().mkpath(prefix + QStringLiteral("/bin")));
  QVERIFY(QDir().mkpath(prefix + QStringLiteral("/share/kelvora/Examples")));
  QCOMPARE(AppContext::dataFolderFor(build), build);
  QCOMPARE(AppContext::dataFolderFor(prefix + QStringLiteral("/bin")), prefix + QStringLiteral("/share/kelvora"));
  // Nothing anywhere: the program's own folder, where the missing-file messages then point.
  const QString bare = root.filePath(QStringLiteral("bare/bin"));
  QVERIFY(QDir().mkpath(bare));
  QCOMPARE(AppContext::dataFolderFor(bare), bare);
}

QTEST_MAIN(ShellTest)
#include "shell_test.moc"
