// option.ini: defaults, bad values, the potoks rules, and what the window reads at start and writes at close.
#include "shell/settings.h"

#include <QAction>
#include <QApplication>
#include <QFile>
#include <QLineEdit>
#include <QPushButton>
#include <QSpinBox>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QtTest>

#include "shell/app_context.h"
#include "shell/main_window.h"
#include "signals/wavelet_transform_methods.h"

using namespace kelvora;

namespace {

void WriteText(const QString& path, const QByteArray& text) {
  QFile file(path);
  QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
  file.write(text);
}

QByteArray ReadText(const QString& path) {
  QFile file(path);
  return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

bool Checked(const TForm1& window, const char* name) {
  const QAction* action = window.findChild<QAction*>(QString::fromLatin1(name));
  return action && action->isChecked();
}

}  // namespace

class SettingsTest : public QObject {
  Q_OBJECT

 private slots:
  void settingsFolderFollowsTheDataLocation();
  void missingFileGivesEveryDefault();
  void badValueFallsBackForThatKeyOnly();
  void writeKeepsTheOrderAndReadsBack();
  void failedWriteLeavesTheOldFileAndSaysWhy();
  void potoksWrittenFromTheCheckedItem();
  void firstStartShowsTheDefaults();
  void potoksFiveKeepsTheDesignItemAndWritesEight();
  void langTwoMeansEnglishAndWritesZero();
  void closingWhileMaximisedWritesNormalBounds();
  void settingsRoundTripThroughTheWindow();
  void unwritableSettingsAreReportedNotLost();
};

void SettingsTest::settingsFolderFollowsTheDataLocation() {
  const QByteArray home = qgetenv("XDG_DATA_HOME");
  if (home.isEmpty()) QSKIP("XDG_DATA_HOME is not set for this run");
  QCOMPARE(SettingsFolder(), QString::fromLocal8Bit(home) + QStringLiteral("/Kelvora"));
  QVERIFY(QDir(SettingsFolder()).exists());
  QCOMPARE(SettingsFilePath(), SettingsFolder() + QStringLiteral("/option.ini"));
}

void SettingsTest::missingFileGivesEveryDefault() {
  QTemporaryDir dir;
  const AppSettings s = ReadSettings(dir.filePath(QStringLiteral("option.ini")));
  QCOMPARE(s.left, 100);
  QCOMPARE(s.width, 1000);
  QCOMPARE(s.top, 100);
  QCOMPARE(s.height, 618);
  QCOMPARE(s.maximized, 1);
  QCOMPARE(s.gerc, 2);
  QCOMPARE(s.sign, 1);
  QCOMPARE(s.potoks, 32);
  QCOMPARE(s.activTab, 0);
  QCOMPARE(s.anim, 0);
  QCOMPARE(s.logOx, 0);
  QCOMPARE(s.lang, 0);
  QCOMPARE(s.waveletDelays, 0);
}

void SettingsTest::badValueFallsBackForThatKeyOnly() {
  QTemporaryDir dir;
  const QString path = dir.filePath(QStringLiteral("option.ini"));
  WriteText(path,
            "[position]\nleft=12\nwidth=12.5\ntop=x7\nheight=700\n[freq]\ngerc=\n[Options]\npotoks=16\n"
            "Lang=1\ngarbage line\nAnim= 1 \nWaveletDelays=2\n");
  const AppSettings s = ReadSettings(path);
  QCOMPARE(s.left, 12);
  QCOMPARE(s.width, 1000);  // not a decimal integer
  QCOMPARE(s.top, 100);
  QCOMPARE(s.height, 700);
  QCOMPARE(s.gerc, 2);
  QCOMPARE(s.potoks, 16);
  QCOMPARE(s.lang, 1);
  QCOMPARE(s.anim, 1);
  QCOMPARE(s.sign, 1);
  QCOMPARE(s.waveletDelays, 0);  // only 0 and 1 are rules
}

void SettingsTest::writeKeepsTheOrderAndReadsBack() {
  QTemporaryDir dir;
  const QString path = dir.filePath(QStringLiteral("option.ini"));
  AppSettings s;
  s.left = -5;
  s.width = 1200;
  s.maximized = 0;
  s.gerc = 20;
  s.potoks = 6;
  s.activTab = 3;
  s.lang = 1;
  QVERIFY(WriteSettings(path, s));
  QCOMPARE(ReadText(path), QByteArray("[position]\nleft=-5\nwidth=1200\ntop=100\nheight=618\nMaximized=0\n[freq]\n"
                                      "gerc=20\n[Options]\nsign=1\npotoks=6\nActivTab=3\nAnim=0\nLogOX=0\nLang=1\n"
                                      "WaveletDelays=0\n"));
  const AppSettings back = ReadSettings(path);
  QCOMPARE(back.left, -5);
  QCOMPARE(back.gerc, 20);
  QCOMPARE(back.activTab, 3);
}

void SettingsTest::failedWriteLeavesTheOldFileAndSaysWhy() {
  QTemporaryDir dir;
  QString error;
  QVERIFY(!WriteSettings(dir.filePath(QStringLiteral("missing/folder/option.ini")), AppSettings{}, &error));
  QVERIFY(!error.isEmpty());
  // A folder where the file should be: the write fails and nothing replaces it.
  const QString blocked = dir.filePath(QStringLiteral("blocked.ini"));
  QVERIFY(QDir().mkpath(blocked));
  QVERIFY(!WriteSettings(blocked, AppSettings{}, &error));
  QVERIFY(QFileInfo(blocked).isDir());
}

void SettingsTest::potoksWrittenFromTheCheckedItem() {
  for (int v : {1, 2, 6, 8, 12, 16, 24, 32}) QCOMPARE(PotoksToWrite(v), v);
  QCOMPARE(PotoksToWrite(4), 4);
  QCOMPARE(PotoksToWrite(0), 4);
  QVERIFY(IsThreadMenuValue(24));
  QVERIFY(!IsThreadMenuValue(5));
}

void SettingsTest::firstStartShowsTheDefaults() {
  QTemporaryDir dir;
  const QString path = dir.filePath(QStringLiteral("option.ini"));
  {
    TForm1 window(nullptr, path);
    QCOMPARE(window.objectName(), QStringLiteral("TForm1"));
    QVERIFY(Checked(window, "Signal1"));
    QVERIFY(Checked(window, "N321"));
    QVERIFY(!Checked(window, "N81"));
    QVERIFY(!Checked(window, "Animation1"));  // checked in the design, unchecked by the default Anim = 0
    QVERIFY(Checked(window, "English1"));
    QCOMPARE(window.findChild<QTabWidget*>(QStringLiteral("PageControl1"))->currentIndex(), 0);
    QCOMPARE(window.findChild<QSpinBox*>(QStringLiteral("UpDown1"))->value(), 2);
    QCOMPARE(window.findChild<QLineEdit*>(QStringLiteral("Edit1"))->text(), QStringLiteral("2"));
    QCOMPARE(window.findChild<QPushButton*>(QStringLiteral("BtnReadT"))->toolTip(), QStringLiteral("2 Hz"));
    QCOMPARE(window.findChild<QPushButton*>(QStringLiteral("BtnReadBF"))->toolTip(), QStringLiteral("2 Hz"));
    QCOMPARE(window.context()->potoks(), 32);
    QVERIFY(!window.context()->logOx());
    QCOMPARE(window.size(), QSize(1000, 618));
    window.showAtStart();
    QVERIFY(window.isMaximized());
    window.close();
  }
  const AppSettings written = ReadSettings(path);
  QCOMPARE(written.maximized, 1);
  QCOMPARE(written.width, 1000);
  QCOMPARE(written.height, 618);
  QCOMPARE(written.potoks, 32);
  QCOMPARE(written.sign, 1);
  QCOMPARE(written.lang, 0);
}

void SettingsTest::potoksFiveKeepsTheDesignItemAndWritesEight() {
  QTemporaryDir dir;
  const QString path = dir.filePath(QStringLiteral("option.ini"));
  WriteText(path, "[Options]\npotoks=5\n");
  {
    TForm1 window(nullptr, path);
    QVERIFY(Checked(window, "N81"));
    QCOMPARE(window.context()->potoks(), 5);
    window.close();
  }
  QCOMPARE(ReadSettings(path).potoks, 8);
}

void SettingsTest::langTwoMeansEnglishAndWritesZero() {
  QTemporaryDir dir;
  const QString path = dir.filePath(QStringLiteral("option.ini"));
  WriteText(path, "[Options]\nLang=2\n");
  {
    TForm1 window(nullptr, path);
    QVERIFY(Checked(window, "English1"));
    QCOMPARE(window.findChild<QPushButton*>(QStringLiteral("BtnReadT"))->text(), QStringLiteral("Temperature"));
    window.close();
  }
  QCOMPARE(ReadSettings(path).lang, 0);
}

void SettingsTest::closingWhileMaximisedWritesNormalBounds() {
  QTemporaryDir dir;
  const QString path = dir.filePath(QStringLiteral("option.ini"));
  WriteText(path, "[position]\nwidth=1100\nheight=700\nMaximized=0\n");
  {
    TForm1 window(nullptr, path);
    window.showAtStart();
    QVERIFY(!window.isMaximized());
    window.showMaximized();
    QVERIFY(window.isMaximized());
    window.close();
    QVERIFY(!window.isMaximized());
  }
  const AppSettings written = ReadSettings(path);
  QCOMPARE(written.maximized, 1);
  QCOMPARE(written.width, 1100);
  QCOMPARE(written.height, 700);
}

void SettingsTest::settingsRoundTripThroughTheWindow() {
  QTemporaryDir dir;
  const QString path = dir.filePath(QStringLiteral("option.ini"));
  WriteText(path,
            "[position]\nleft=40\nwidth=1050\ntop=30\nheight=650\nMaximized=0\n[freq]\ngerc=5\n[Options]\n"
            "sign=0\npotoks=12\nActivTab=2\nAnim=1\nLogOX=1\nLang=1\nWaveletDelays=1\n");
  {
    TForm1 window(nullptr, path);
    QVERIFY(!Checked(window, "Signal1"));
    QVERIFY(Checked(window, "N121"));
    QVERIFY(Checked(window, "Animation1"));
    QVERIFY(Checked(window, "N2"));
    QVERIFY(Checked(window, "WaveletDelays1"));
    QCOMPARE(window.context()->waveletMethods()->delayRule(), WaveletDelayRule::Legacy);
    // The menu item switches the rule of the wavelet conversion, and back.
    QAction* legacy = window.findChild<QAction*>(QStringLiteral("WaveletDelays1"));
    QCOMPARE(legacy->text(), QStringLiteral("Прежние задержки вейвлета"));
    legacy->trigger();
    QCOMPARE(window.context()->waveletMethods()->delayRule(), WaveletDelayRule::Corrected);
    legacy->trigger();
    QVERIFY(window.context()->logOx());
    QCOMPARE(window.context()->gerc(), 5);
    QCOMPARE(window.findChild<QPushButton*>(QStringLiteral("BtnReadT"))->toolTip(), QStringLiteral("5 Hz"));
    QCOMPARE(window.findChild<QTabWidget*>(QStringLiteral("PageControl1"))->currentIndex(), 2);
    window.show();
    window.setGeometry(40, 30, 1050, 650);
    window.close();
  }
  const AppSettings s = ReadSettings(path);
  QCOMPARE(s.width, 1050);
  QCOMPARE(s.height, 650);
  QCOMPARE(s.maximized, 0);
  QCOMPARE(s.gerc, 5);
  QCOMPARE(s.sign, 0);
  QCOMPARE(s.potoks, 12);
  QCOMPARE(s.activTab, 2);
  QCOMPARE(s.anim, 1);
  QCOMPARE(s.logOx, 1);
  QCOMPARE(s.lang, 1);
  QCOMPARE(s.waveletDelays, 1);
}

void SettingsTest::unwritableSettingsAreReportedNotLost() {
  QTemporaryDir dir;
  // The settings path is a folder: reading gives the defaults, writing fails and says so.
  const QString path = dir.filePath(QStringLiteral("option.ini"));
  QVERIFY(QDir().mkpath(path));
  TForm1 window(nullptr, path);
  QVERIFY(Checked(window, "N321"));
  QTest::ignoreMessage(QtWarningMsg, QRegularExpression(QStringLiteral("settings could not be written")));
  QVERIFY(!window.saveSettings());
  QVERIFY(QFileInfo(path).isDir());
}

QTEST_MAIN(SettingsTest)
#include "settings_test.moc"
