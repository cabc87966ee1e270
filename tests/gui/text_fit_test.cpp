// Nothing is cut at 1280x800 in either language: on every page, every visible label, button, check box, radio
// button, page tab, table header and table cell holds its whole text (the font's width of the text fits the
// widget, the section or the column).
#include <QAbstractButton>
#include <QCheckBox>
#include <QGroupBox>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QStyle>
#include <QTabBar>
#include <QTabWidget>
#include <QTableWidget>
#include <QTemporaryDir>
#include <QTextDocument>
#include <QtTest>
#include <cmath>
#include <memory>
#include <numbers>

#include "pages/analysis_page.h"
#include "pages/transform_page.h"
#include "shell/app_context.h"
#include "shell/main_window.h"
#include "shell/task_runner.h"
#include "workspace_test_support.h"

using namespace kelvora;

namespace {

std::vector<double> Tones(int count) {
  std::vector<double> values(static_cast<std::size_t>(count));
  for (int n = 0; n < count; ++n) {
    const double t = n / 2.0;
    values[static_cast<std::size_t>(n)] =
        2.0 * std::cos(2 * std::numbers::pi * 0.1 * t) + std::cos(2 * std::numbers::pi * 0.3 * t);
  }
  return values;
}

// Plain text of a label (rich text stripped); one line per line of text.
QStringList Lines(const QString& text, Qt::TextFormat format) {
  QString plain = text;
  if (format == Qt::RichText || (format == Qt::AutoText && Qt::mightBeRichText(text))) {
    QTextDocument document;
    document.setHtml(text);
    plain = document.toPlainText();
  }
  plain.remove(QLatin1Char('&'));
  return plain.split(QLatin1Char('\n'));
}

int Widest(const QFontMetrics& metrics, const QStringList& lines) {
  int widest = 0;
  for (const QString& line : lines) widest = std::max(widest, metrics.horizontalAdvance(line));
  return widest;
}

}  // namespace

class TextFitTest : public QObject {
  Q_OBJECT

 private slots:
  void everyTextFitsAt1280x800InBothLanguages_data();
  void everyTextFitsAt1280x800InBothLanguages();
};

void TextFitTest::everyTextFitsAt1280x800InBothLanguages_data() {
  QTest::addColumn<bool>("russian");
  QTest::newRow("English") << false;
  QTest::newRow("Russian") << true;
}

void TextFitTest::everyTextFitsAt1280x800InBothLanguages() {
  QFETCH(bool, russian);
  QTemporaryDir dir;
  TForm1 window(nullptr, dir.filePath(QStringLiteral("option.ini")));
  QStringList errors;
  window.context()->setErrorInterceptor([&errors](const QString& message) { errors << message; });
  window.resize(1280, 800);
  window.show();
  QVERIFY(QTest::qWaitForWindowExposed(&window));
  window.findChild<QAction*>(russian ? QStringLiteral("N2") : QStringLiteral("English1"))->trigger();

  // Records and results, so that the pages show their record words, table rows and notes.
  const QString t = dir.filePath(QStringLiteral("t.txt"));
  const QString bf = dir.filePath(QStringLiteral("bf.txt"));
  QVERIFY(test::WriteSamples(t, Tones(1200)));
  QVERIFY(test::WriteSamples(bf, Tones(1200)));
  QVERIFY(window.transformPage()->loadT(t));
  window.runner()->waitForIdle();
  QVERIFY(window.transformPage()->loadBF(bf));
  window.runner()->waitForIdle();
  AnalysisPage* analysis = window.analysisPage();
  QVERIFY(analysis->loadFile(AnalysisPage::FileSlot::Single, t));
  window.findChild<QLineEdit*>(QStringLiteral("EditAnalysisRate"))->setText(QStringLiteral("2"));
  QTest::mouseClick(window.findChild<QPushButton*>(QStringLiteral("BtnAnalysisCalc")), Qt::LeftButton);
  window.runner()->waitForIdle();
  QVERIFY2(errors.isEmpty(), qPrintable(errors.join(QLatin1Char('\n'))));

  auto* pages = window.findChild<QTabWidget*>(QStringLiteral("PageControl1"));
  QStringList cut;
  for (int pageIndex = 0; pageIndex < pages->count(); ++pageIndex) {
    pages->setCurrentIndex(pageIndex);
    QTest::qWait(50);
    for (int i = 0; i < pages->count(); ++i) {
      const int need = pages->tabBar()->fontMetrics().horizontalAdvance(pages->tabText(i));
      if (need > pages->tabBar()->tabRect(i).width()) cut << QStringLiteral("tab ") + pages->tabText(i);
    }
    for (QWidget* w : window.findChildren<QWidget*>()) {
      if (!w->isVisible() || w->width() <= 0) continue;
      const QString where = QStringLiteral("page %1, %2 (%3 px): ").arg(pageIndex).arg(w->objectName()).arg(w->width());
      if (auto* label = qobject_cast<QLabel*>(w)) {
        if (label->wordWrap() || label->text().isEmpty() || label->text().startsWith(QLatin1String("<h3>"))) continue;
        const int need = Widest(label->fontMetrics(), Lines(label->text(), label->textFormat()));
        if (need > label->contentsRect().width()) cut << where + label->text();
      } else if (auto* button = qobject_cast<QAbstractButton*>(w)) {
        if (button->text().isEmpty()) continue;
        int room = button->width();
        if (qobject_cast<QCheckBox*>(button) || qobject_cast<QRadioButton*>(button)) {
          room -= button->style()->pixelMetric(QStyle::PM_IndicatorWidth, nullptr, button) +
                  button->style()->pixelMetric(QStyle::PM_CheckBoxLabelSpacing, nullptr, button);
        } else if (qobject_cast<QPushButton*>(button)) {
          room -= 4;
          if (!button->icon().isNull()) room -= button->iconSize().width() + 4;
        }
        const int need = Widest(button->fontMetrics(), Lines(button->text(), Qt::PlainText));
        if (need > room) cut << where + button->text();
      } else if (auto* group = qobject_cast<QGroupBox*>(w)) {
        if (group->fontMetrics().horizontalAdvance(group->title()) + 12 > group->width()) cut << where + group->title();
      } else if (auto* table = qobject_cast<QTableWidget*>(w)) {
        QHeaderView* header = table->horizontalHeader();
        for (int c = 0; c < table->columnCount(); ++c) {
          if (table->isColumnHidden(c)) continue;
          if (QTableWidgetItem* item = table->horizontalHeaderItem(c); item && header->isVisible()) {
            if (header->fontMetrics().horizontalAdvance(item->text()) + 6 > header->sectionSize(c))
              cut << where + QStringLiteral("header %1 (%2 px in %3)")
                                 .arg(item->text())
                                 .arg(header->fontMetrics().horizontalAdvance(item->text()))
                                 .arg(header->sectionSize(c));
          }
          for (int r = 0; r < table->rowCount(); ++r) {
            const QTableWidgetItem* item = table->item(r, c);
            if (!item || item->text().isEmpty()) continue;
            if (table->fontMetrics().horizontalAdvance(item->text()) + 6 > table->columnWidth(c))
              cut << where + QStringLiteral("cell ") + item->text();
          }
        }
      }
    }
  }
  // The pair mode's fuller settings row: the band set's edit beside its combo, not over its arrow.
  pages->setCurrentWidget(window.findChild<QWidget*>(QStringLiteral("TabSheet5")));
  window.findChild<QRadioButton*>(QStringLiteral("RadioAnalysisPair"))->click();
  QTest::qWait(50);
  // No two of the page's own controls overlap (a row fuller than the window lays them over each other).
  QList<QWidget*> own;
  for (QWidget* w : analysis->findChildren<QWidget*>(Qt::FindDirectChildrenOnly))
    if (w->isVisible() && !w->isWindow()) own << w;
  for (int i = 0; i < own.size(); ++i)
    for (int j = i + 1; j < own.size(); ++j)
      if (own[i]->geometry().intersects(own[j]->geometry()))
        cut << QStringLiteral("pair mode: %1 overlaps %2").arg(own[i]->objectName(), own[j]->objectName());
  cut.removeDuplicates();
  QVERIFY2(cut.isEmpty(), qPrintable(cut.join(QLatin1Char('\n'))));
}

QTEST_MAIN(TextFitTest)
#include "text_fit_test.moc"
