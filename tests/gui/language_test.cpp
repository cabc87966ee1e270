// The two language routines: every text of the table, both ways, and the texts no routine touches.
#include <QAbstractButton>
#include <QAction>
#include <QChartView>
#include <QGroupBox>
#include <QLabel>
#include <QMenu>
#include <QPushButton>
#include <QRadioButton>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QToolButton>
#include <QValueAxis>
#include <QtTest>

#include <QComboBox>
#include <QFile>
#include <QLineEdit>
#include <QSpinBox>
#include <cmath>

#include "pages/analysis_page.h"
#include "shell/app_context.h"
#include "shell/language_tables.h"
#include "shell/main_window.h"
#include "shell/signal_messages.h"
#include "shell/task_runner.h"

using namespace kelvora;

namespace {

// The text a table entry writes, read back from the window; null when the object does not exist.
std::optional<QString> ReadBack(QWidget* root, const TextEntry& entry) {
  const QString name = QString::fromLatin1(entry.objectName);
  switch (entry.target) {
    case TextTarget::PageTitle: {
      auto* tabs = root->findChild<QTabWidget*>(name);
      if (!tabs || entry.index >= tabs->count()) return std::nullopt;
      return tabs->tabText(entry.index);
    }
    case TextTarget::ChartTitle:
    case TextTarget::ChartBottomAxis: {
      auto* view = root->findChild<QChartView*>(name);
      if (!view) return std::nullopt;
      if (entry.target == TextTarget::ChartTitle) return view->chart()->title();
      return view->chart()->axes(Qt::Horizontal).first()->titleText();
    }
    case TextTarget::RadioItem: {
      auto* group = root->findChild<QGroupBox*>(name);
      if (!group) return std::nullopt;
      return group->findChildren<QRadioButton*>().at(entry.index)->text();
    }
    case TextTarget::Text:
    case TextTarget::TextIfButton2On: {
      QObject* object = root->findChild<QObject*>(name);
      if (auto* action = qobject_cast<QAction*>(object)) return action->text();
      if (auto* menu = qobject_cast<QMenu*>(object)) return menu->title();
      if (auto* group = qobject_cast<QGroupBox*>(object)) return group->title();
      if (auto* button = qobject_cast<QAbstractButton*>(object)) return button->text();
      if (auto* label = qobject_cast<QLabel*>(object)) return label->text();
      return std::nullopt;
    }
  }
  return std::nullopt;
}

}  // namespace

class LanguageTest : public QObject {
  Q_OBJECT

 private slots:
  void init();
  void cleanup();
  void russianThenEnglishRestoresEveryText();
  void theTransformPageHasEveryControlOfItsRows();
  void untranslatedTextsStayEnglish();
  void bloodAndAirStayBlankWhileDisabled();
  void switchingLanguageKeepsTheData();
  void everyProblemHasItsOwnRussianText();
  void shitzerDefaultButtonsAreRussianWhateverTheWayThere();
  void pressingTheCheckedMethodKeepsTheGridButtonsAndARunsPanelsFollowTheLanguage();

 private:
  void checkAll(bool russian);
  QTemporaryDir* m_dir = nullptr;
  TForm1* m_window = nullptr;
};

void LanguageTest::init() {
  m_dir = new QTemporaryDir;
  m_window = new TForm1(nullptr, m_dir->filePath(QStringLiteral("option.ini")));
}

void LanguageTest::cleanup() {
  delete m_window;
  delete m_dir;
}

void LanguageTest::checkAll(bool russian) {
  for (const TextEntry& entry : LanguageTable()) {
    if (entry.target == TextTarget::TextIfButton2On) continue;
    const std::optional<QString> shown = ReadBack(m_window, entry);
    if (!shown) continue;  // the control belongs to a page that does not have it yet
    const QString expected = QString::fromUtf8(russian ? entry.russian : entry.english);
    QVERIFY2(*shown == expected, qPrintable(QStringLiteral("%1[%2]: '%3' instead of '%4'")
                                                .arg(QLatin1String(entry.objectName))
                                                .arg(entry.index)
                                                .arg(*shown, expected)));
  }
}

void LanguageTest::russianThenEnglishRestoresEveryText() {
  checkAll(false);
  m_window->findChild<QAction*>(QStringLiteral("N2"))->trigger();
  QVERIFY(m_window->findChild<QAction*>(QStringLiteral("N2"))->isChecked());
  QVERIFY(!m_window->findChild<QAction*>(QStringLiteral("English1"))->isChecked());
  QCOMPARE(m_window->context()->language(), Language::Russian);
  checkAll(true);
  QCOMPARE(m_window->findChild<QTabWidget*>(QStringLiteral("PageControl1"))->tabText(1),
           QStringLiteral("ФПГ-->Кровоток"));
  m_window->findChild<QAction*>(QStringLiteral("English1"))->trigger();
  checkAll(false);
  m_window->findChild<QAction*>(QStringLiteral("N2"))->trigger();
  checkAll(true);
}

void LanguageTest::theTransformPageHasEveryControlOfItsRows() {
  // Every control of the Transform page, the menus and the progress area named in the table exists.
  const QStringList names = {"PageControl1",
                             "Label5",
                             "BtnReadT",
                             "Chart1",
                             "Chart2",
                             "Chart3",
                             "Chart4",
                             "BtnReadBF",
                             "BitBtn9",
                             "BitBtn10",
                             "CheckBox1",
                             "CheckBox2",
                             "CheckBox4",
                             "CBFilterSignalT",
                             "CBFilterSignalBF",
                             "Label3",
                             "Label24",
                             "SpeedButton6",
                             "SpeedButton9",
                             "SpeedButton7",
                             "SpeedButton13",
                             "BtnOutputBF",
                             "BtnOutputT",
                             "BtnSaveBF",
                             "BtnSaveT",
                             "BtnPlotBF",
                             "BtnPlotT",
                             "RadioGroup2",
                             "GroupBox1",
                             "RadioNormaliz1",
                             "RadioNormaliz2",
                             "RadioNormaliz3",
                             "GroupBox2",
                             "Button1",
                             "Button2",
                             "Button3",
                             "N1",
                             "Example21",
                             "Example11",
                             "ExamplePPG21",
                             "ExamplePPG11",
                             "Options1",
                             "Signal1",
                             "Potoks1",
                             "Animation1",
                             "Language1",
                             "Help1",
                             "Help2",
                             "RadioTypeFourier",
                             "RadioTypeWavelet",
                             "RadioTypeShitzer",
                             "BtnStop"};
  for (const QString& name : names) QVERIFY2(m_window->findChild<QObject*>(name), qPrintable(name));
}

void LanguageTest::untranslatedTextsStayEnglish() {
  m_window->findChild<QAction*>(QStringLiteral("N2"))->trigger();
  QCOMPARE(m_window->findChild<QToolButton*>(QStringLiteral("SpeedButton8"))->text(), QStringLiteral("М"));
  QCOMPARE(m_window->findChild<QToolButton*>(QStringLiteral("SpeedButton7"))->toolTip(),
           QStringLiteral("0.02-0.05 Hz"));
  QCOMPARE(m_window->findChild<QPushButton*>(QStringLiteral("Panel9"))->text(), QStringLiteral("T"));
  QCOMPARE(m_window->findChild<QPushButton*>(QStringLiteral("Panel10"))->text(), QStringLiteral("BF"));
  QCOMPARE(m_window->findChild<QToolButton*>(QStringLiteral("SpeedButton4"))->toolTip(), QStringLiteral("Maximize"));
  QCOMPARE(m_window->findChild<QAction*>(QStringLiteral("English1"))->text(), QStringLiteral("English"));
  QCOMPARE(m_window->findChild<QAction*>(QStringLiteral("N2"))->text(), QStringLiteral("Русский"));
  auto* chart1 = m_window->findChild<QChartView*>(QStringLiteral("Chart1"));
  QCOMPARE(chart1->chart()->axes(Qt::Vertical).first()->titleText(), QStringLiteral("T, °C"));
}

void LanguageTest::bloodAndAirStayBlankWhileDisabled() {
  auto* blood = m_window->findChild<QPushButton*>(QStringLiteral("Button2"));
  auto* air = m_window->findChild<QPushButton*>(QStringLiteral("Button3"));
  QVERIFY(!blood->isEnabled());
  for (const char* item : {"N2", "English1", "N2"}) {
    m_window->findChild<QAction*>(QString::fromLatin1(item))->trigger();
    QCOMPARE(blood->text(), QString());
    QCOMPARE(air->text(), QString());
  }
  m_window->findChild<QRadioButton*>(QStringLiteral("RadioTypeShitzer"))->click();
  QCOMPARE(blood->text(), QStringLiteral("Кровь"));
  QCOMPARE(air->text(), QStringLiteral("Воздух"));
  m_window->findChild<QAction*>(QStringLiteral("English1"))->trigger();
  QCOMPARE(blood->text(), QStringLiteral("Blood"));
  QCOMPARE(air->text(), QStringLiteral("Air"));
}

void LanguageTest::switchingLanguageKeepsTheData() {
  auto* spin = m_window->findChild<QWidget*>(QStringLiteral("UpDown1"));
  QVERIFY(spin);
  const QString correl = m_window->findChild<QLabel*>(QStringLiteral("LBCorrel1"))->text();
  m_window->findChild<QAction*>(QStringLiteral("N2"))->trigger();
  QCOMPARE(m_window->context()->gerc(), 2);
  QCOMPARE(m_window->findChild<QLabel*>(QStringLiteral("LBCorrel1"))->text(), correl);
  QCOMPARE(CorrelationPrefix(Language::Russian), QStringLiteral("Корреляция: "));
  QCOMPARE(CorrelationPrefix(Language::English), QStringLiteral("Correlation: "));
  // The correlation label rounds to three decimals, shows no "-0", and uses the separator.
  QCOMPARE(CorrelationLabel(Language::English, 0.9996, '.'), QStringLiteral("Correlation: 1"));
  QCOMPARE(CorrelationLabel(Language::English, 0.12345, '.'), QStringLiteral("Correlation: 0.123"));
  QCOMPARE(CorrelationLabel(Language::English, -0.0004, '.'), QStringLiteral("Correlation: 0"));
  QCOMPARE(CorrelationLabel(Language::Russian, -0.25, ','), QStringLiteral("Корреляция: -0,25"));
  // The converted charts' left-axis titles.
  QCOMPARE(ConvertedAxisTitle(Side::Temperature, AxisUnits::Normalized), QStringLiteral("BF, arb. units"));
  QCOMPARE(ConvertedAxisTitle(Side::Temperature, AxisUnits::Physical), QStringLiteral("BF, mm^3/sec"));
  QCOMPARE(ConvertedAxisTitle(Side::BloodFlow, AxisUnits::Physical), QStringLiteral("T, °C"));
  QCOMPARE(ConvertedAxisTitle(Side::BloodFlow, AxisUnits::Normalized), QStringLiteral("T, arb. units"));
  // The grid's separator message is the window's text in both languages.
  QCOMPARE(GridEditMessage({GridEditFault::DotOnCommaSystem, "1.5"}),
           QStringLiteral("Введите \",\", а не \".\""));
}

// Every problem kind and every signal-file error kind has a Russian sentence of its own, not the English one.
void LanguageTest::everyProblemHasItsOwnRussianText() {
  for (int kind = 0; kind < kProblemKindCount; ++kind) {
    Problem problem(static_cast<ProblemKind>(kind));
    problem.limit = 20000;
    const QString english = ProblemText(problem, Language::English);
    const QString russian = ProblemText(problem, Language::Russian);
    QVERIFY2(!russian.isEmpty(), qPrintable(QString::number(kind)));
    QVERIFY2(russian != english, qPrintable(english));
    problem.bloodFlow = true;
    QVERIFY2(ProblemText(problem, Language::Russian) != ProblemText(problem, Language::English), qPrintable(english));
  }
  for (SignalFileErrorKind kind : {SignalFileErrorKind::kMissingFile, SignalFileErrorKind::kCannotOpen,
                                   SignalFileErrorKind::kInvalidNumber, SignalFileErrorKind::kCannotWrite,
                                   SignalFileErrorKind::kInvalidValue}) {
    SignalFileError error;
    error.kind = kind;
    error.path = "x.txt";
    QVERIFY(FileErrorText(error, Language::Russian) != FileErrorText(error, Language::English));
  }
  for (int fault = 1; fault <= static_cast<int>(PpgEnvelopeFault::kStopped); ++fault) {
    PpgEnvelopeResult result;
    result.fault = static_cast<PpgEnvelopeFault>(fault);
    const QString russian = PpgEnvelopeText(result, Language::Russian);
    QVERIFY2(!russian.isEmpty() && russian != PpgEnvelopeText(result, Language::English), qPrintable(russian));
  }
}

// Regression: the Shitzer grid's default buttons showed no Russian caption. Every way to the Shitzer grid in
// Russian: from the start, after a language switch, after pressing the defaults, after another method.
void LanguageTest::shitzerDefaultButtonsAreRussianWhateverTheWayThere() {
  auto* skin = m_window->findChild<QPushButton*>(QStringLiteral("Button1"));
  auto* blood = m_window->findChild<QPushButton*>(QStringLiteral("Button2"));
  auto* air = m_window->findChild<QPushButton*>(QStringLiteral("Button3"));
  auto* shitzer = m_window->findChild<QRadioButton*>(QStringLiteral("RadioTypeShitzer"));
  auto* wavelet = m_window->findChild<QRadioButton*>(QStringLiteral("RadioTypeWavelet"));
  auto expectRussian = [&](const char* way) {
    QVERIFY2(skin->text() == QStringLiteral("Кожа"), qPrintable(QStringLiteral("%1: Skin '%2'").arg(way, skin->text())));
    QVERIFY2(blood->text() == QStringLiteral("Кровь"), qPrintable(QStringLiteral("%1: Blood '%2'").arg(way, blood->text())));
    QVERIFY2(air->text() == QStringLiteral("Воздух"), qPrintable(QStringLiteral("%1: Air '%2'").arg(way, air->text())));
  };
  m_window->show();
  m_window->findChild<QAction*>(QStringLiteral("N2"))->trigger();
  shitzer->click();
  expectRussian("Russian, then Shitzer");
  blood->click();
  expectRussian("the blood defaults pressed");
  air->click();
  skin->click();
  expectRussian("the skin defaults pressed");
  wavelet->click();
  shitzer->click();
  expectRussian("wavelet and back");
  m_window->findChild<QAction*>(QStringLiteral("English1"))->trigger();
  m_window->findChild<QAction*>(QStringLiteral("N2"))->trigger();
  expectRussian("English and back");
  // A window started in Russian (the setting written by the one before).
  m_window->close();
  delete m_window;
  m_window = new TForm1(nullptr, m_dir->filePath(QStringLiteral("option.ini")));
  m_window->show();
  skin = m_window->findChild<QPushButton*>(QStringLiteral("Button1"));
  blood = m_window->findChild<QPushButton*>(QStringLiteral("Button2"));
  air = m_window->findChild<QPushButton*>(QStringLiteral("Button3"));
  m_window->findChild<QRadioButton*>(QStringLiteral("RadioTypeShitzer"))->click();
  expectRussian("started in Russian");
}

// Regression: pressing "Модель Шитцера" when it was already the method unchecked it (Qt counted the checked radios
// of the group boxes beside it as its group's), so the grid, shown again for no method, blanked "Кровь" and
// "Воздух"; and after a run a switch to Russian left the status panels in the run's English words.
void LanguageTest::pressingTheCheckedMethodKeepsTheGridButtonsAndARunsPanelsFollowTheLanguage() {
  m_window->resize(1280, 800);
  m_window->show();
  auto* shitzer = m_window->findChild<QRadioButton*>(QStringLiteral("RadioTypeShitzer"));
  shitzer->click();
  QVERIFY(shitzer->isChecked());
  const QString files[2] = {m_dir->filePath(QStringLiteral("t.txt")), m_dir->filePath(QStringLiteral("bf.txt"))};
  for (int k = 0; k < 2; ++k) {
    QFile file(files[k]);
    QVERIFY(file.open(QIODevice::WriteOnly));
    for (int i = 0; i < 1200; ++i) file.write(QByteArray::number(30 + k + std::sin(i / (7.0 + k)), 'f', 4) + '\n');
  }
  m_window->findChild<QRadioButton*>(QStringLiteral("RadioAnalysisPair"))->click();
  m_window->findChild<QComboBox*>(QStringLiteral("ComboAnalysisPairSource"))
      ->setCurrentIndex(static_cast<int>(AnalysisPage::PairSource::Files));
  m_window->findChild<QLineEdit*>(QStringLiteral("EditAnalysisRate"))->setText(QStringLiteral("2"));
  QVERIFY(m_window->analysisPage()->loadFile(AnalysisPage::FileSlot::PairT, files[0]));
  QVERIFY(m_window->analysisPage()->loadFile(AnalysisPage::FileSlot::PairBF, files[1]));
  m_window->findChild<QSpinBox*>(QStringLiteral("SpinAnalysisSurrogates"))->setValue(2);
  m_window->findChild<QAbstractButton*>(QStringLiteral("BtnAnalysisCalc"))->click();
  m_window->runner()->waitForIdle();
  QVERIFY(m_window->analysisPage()->coherence());
  QVERIFY(shitzer->isChecked());

  m_window->findChild<QAction*>(QStringLiteral("N2"))->trigger();
  QVERIFY(shitzer->isChecked());
  shitzer->click();  // pressed again: stays the method
  QVERIFY(shitzer->isChecked());
  auto* blood = m_window->findChild<QPushButton*>(QStringLiteral("Button2"));
  blood->click();
  QCOMPARE(blood->text(), QStringLiteral("Кровь"));
  QCOMPARE(m_window->findChild<QPushButton*>(QStringLiteral("Button3"))->text(), QStringLiteral("Воздух"));
  const QString panel0 = m_window->findChild<QLabel*>(QStringLiteral("StatusPanel0"))->text();
  const QString panel1 = m_window->findChild<QLabel*>(QStringLiteral("StatusPanel1"))->text();
  QVERIFY2(panel0.startsWith(QStringLiteral("Прошло: ")) && panel0.endsWith(DoneText(Language::Russian)),
           qPrintable(panel0));
  QVERIFY2(panel1.startsWith(QStringLiteral("Осталось: ")), qPrintable(panel1));
}

QTEST_MAIN(LanguageTest)
#include "language_test.moc"
