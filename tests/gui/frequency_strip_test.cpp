// The logarithmic band strip: its scale, dragging with the mouse, and the band edits' key filter.
#include "charts/frequency_strip.h"

#include <QApplication>
#include <QLineEdit>
#include <QSignalSpy>
#include <QtTest>
#include <cmath>

#include "shell/band_edit_filter.h"

using namespace kelvora;

class FrequencyStripTest : public QObject {
  Q_OBJECT

 private slots:
  void scaleMatchesTheFormula();
  void inverseScaleRoundsToItsSteps();
  void bandPlacesMarkers();
  void draggingHighMarkerToTheEndShowsTwo();
  void draggingHighMarkerBelowLowStopsAtTheGap();
  void draggingLowMarkerKeepsTheGapAndZeroesNearTheLeft();
  void pressOutsideMarkersDoesNotDrag();
  void keyFilterLetsThroughDigitsSeparatorBackspace();
  void keyFilterReportsEnter();
};

void FrequencyStripTest::scaleMatchesTheFormula() {
  // x = round(ln(1000 f + 1) / ln 2.15 * W / 9.931 - 8), worked out by hand for W = 381:
  // f = 0.02: ln 21 = 3.04452, / 0.76547 = 3.97732, * 38.3647 = 152.589, - 8 -> 145.
  QCOMPARE(FrequencyToMarker(0.02, 381), 145);
  // f = 0.05: ln 51 = 3.93183 -> 5.13649 * 38.3647 = 197.06 - 8 -> 189.
  QCOMPARE(FrequencyToMarker(0.05, 381), 189);
  // f = 2: ln 2001 / ln 2.15 = 9.9310 -> W - 8.
  QCOMPARE(FrequencyToMarker(2.0, 381), 373);
  QCOMPARE(FrequencyToMarker(0.0, 381), -8);
  for (double f : {0.001, 0.0123, 0.3, 1.7}) {
    const int expected = static_cast<int>(std::lround(std::log(1000 * f + 1) / std::log(2.15) * 417 / 9.931 - 8));
    QCOMPARE(FrequencyToMarker(f, 417), expected);
  }
}

void FrequencyStripTest::inverseScaleRoundsToItsSteps() {
  // The right end: E = 2.15^9.931 = 2001.92, round(4003.84) / 2000 - 0.001 = 2.001 (the strip shows it as 2).
  QVERIFY(std::abs(MarkerToFrequency(373, 381) - 2.001) < 1e-9);
  // Below 0.01 Hz the steps are 0.0005 Hz, above 0.001 Hz.
  for (int x = 0; x < 373; ++x) {
    const double f = MarkerToFrequency(x, 381);
    if (f > 0.01) {
      QVERIFY2(std::abs(f * 1000 - std::round(f * 1000)) < 1e-6, qPrintable(QString::number(f)));
    } else {
      QVERIFY2(std::abs(f * 2000 - std::round(f * 2000)) < 1e-6, qPrintable(QString::number(f)));
    }
  }
  // A marker centre at pixel c gives E = 2.15^(9.931 c / W): c = 100 on W = 381 -> E = 7.4522, f = 15/2000 - 0.001.
  QVERIFY(std::abs(MarkerToFrequency(92, 381) - 0.0065) < 1e-12);
}

void FrequencyStripTest::bandPlacesMarkers() {
  FrequencyStrip strip(QStringLiteral("Image3"));
  strip.resize(381, 33);
  strip.setBand(0.0, 2.0);
  QCOMPARE(strip.lowMarker(), 0);
  QCOMPARE(strip.highMarker(), 381 - 8 - 1);
  strip.setBand(0.02, 0.05);
  QCOMPARE(strip.lowMarker(), 145);
  QCOMPARE(strip.highMarker(), 188);
}

void FrequencyStripTest::draggingHighMarkerToTheEndShowsTwo() {
  FrequencyStrip strip(QStringLiteral("Image3"));
  strip.resize(381, 33);
  strip.setBand(0.0, 0.1);
  QSignalSpy dragged(&strip, &FrequencyStrip::bandDragged);
  QSignalSpy finished(&strip, &FrequencyStrip::dragFinished);
  const int grab = strip.highMarker() + 4;
  QTest::mousePress(&strip, Qt::LeftButton, {}, QPoint(grab, 15));
  QVERIFY(strip.isDragging());
  QTest::mouseMove(&strip, QPoint(500, 15));
  QMouseEvent move(QEvent::MouseMove, QPointF(500, 15), strip.mapToGlobal(QPointF(500, 15)), Qt::NoButton,
                   Qt::LeftButton, Qt::NoModifier);
  QApplication::sendEvent(&strip, &move);
  QTest::mouseRelease(&strip, Qt::LeftButton, {}, QPoint(500, 15));
  QCOMPARE(strip.highMarker(), 381 - 8);
  QVERIFY(!dragged.isEmpty());
  QCOMPARE(dragged.last().at(1).toDouble(), 2.0);
  QCOMPARE(finished.count(), 1);
  QVERIFY(!strip.isDragging());
}

void FrequencyStripTest::draggingHighMarkerBelowLowStopsAtTheGap() {
  FrequencyStrip strip(QStringLiteral("Image3"));
  strip.resize(381, 33);
  strip.setBand(0.02, 0.15);
  const int low = strip.lowMarker();
  QTest::mousePress(&strip, Qt::LeftButton, {}, QPoint(strip.highMarker() + 2, 15));
  QMouseEvent move(QEvent::MouseMove, QPointF(20, 15), strip.mapToGlobal(QPointF(20, 15)), Qt::NoButton, Qt::LeftButton,
                   Qt::NoModifier);
  QApplication::sendEvent(&strip, &move);
  QTest::mouseRelease(&strip, Qt::LeftButton, {}, QPoint(20, 15));
  QCOMPARE(strip.highMarker(), low + 8 + 41);
  QCOMPARE(strip.lowMarker(), low);
}

void FrequencyStripTest::draggingLowMarkerKeepsTheGapAndZeroesNearTheLeft() {
  FrequencyStrip strip(QStringLiteral("Image3"));
  strip.resize(381, 33);
  strip.setBand(0.02, 0.05);
  const int high = strip.highMarker();
  QSignalSpy dragged(&strip, &FrequencyStrip::bandDragged);
  QTest::mousePress(&strip, Qt::LeftButton, {}, QPoint(strip.lowMarker() + 1, 15));
  QMouseEvent right(QEvent::MouseMove, QPointF(370, 15), strip.mapToGlobal(QPointF(370, 15)), Qt::NoButton,
                    Qt::LeftButton, Qt::NoModifier);
  QApplication::sendEvent(&strip, &right);
  QCOMPARE(strip.lowMarker(), high - 41);
  QMouseEvent left(QEvent::MouseMove, QPointF(0.4, 15), strip.mapToGlobal(QPointF(0.4, 15)), Qt::NoButton,
                   Qt::LeftButton, Qt::NoModifier);
  QApplication::sendEvent(&strip, &left);
  QCOMPARE(strip.lowMarker(), 0);
  QCOMPARE(dragged.last().at(0).toDouble(), 0.0);
  QTest::mouseRelease(&strip, Qt::LeftButton, {}, QPoint(0, 15));
}

void FrequencyStripTest::pressOutsideMarkersDoesNotDrag() {
  FrequencyStrip strip(QStringLiteral("Image3"));
  strip.resize(381, 33);
  strip.setBand(0.02, 0.05);
  QSignalSpy finished(&strip, &FrequencyStrip::dragFinished);
  QTest::mousePress(&strip, Qt::LeftButton, {}, QPoint(60, 15));
  QVERIFY(!strip.isDragging());
  QTest::mouseRelease(&strip, Qt::LeftButton, {}, QPoint(60, 15));
  QCOMPARE(finished.count(), 0);
  QSignalSpy doubled(&strip, &FrequencyStrip::doubleClicked);
  QTest::mouseDClick(&strip, Qt::LeftButton, {}, QPoint(60, 15));
  QCOMPARE(doubled.count(), 1);
}

void FrequencyStripTest::keyFilterLetsThroughDigitsSeparatorBackspace() {
  QLineEdit edit;
  BandEditFilter filter;
  edit.installEventFilter(&filter);
  QTest::keyClicks(&edit, QStringLiteral("a0x.-0 5e,"));
  // The locale of the tests is C: "." is the separator, "," is not.
  QCOMPARE(edit.text(), QStringLiteral("0.05"));
  QTest::keyClick(&edit, Qt::Key_Backspace);
  QCOMPARE(edit.text(), QStringLiteral("0.0"));
  QTest::keyClick(&edit, Qt::Key_Home);
  QTest::keyClick(&edit, Qt::Key_Delete);
  QCOMPARE(edit.text(), QStringLiteral(".0"));
  QVERIFY(BandEditFilter::accepts(Qt::Key_7, QStringLiteral("7")));
  QVERIFY(!BandEditFilter::accepts(Qt::Key_Minus, QStringLiteral("-")));
  QVERIFY(!BandEditFilter::accepts(Qt::Key_Space, QStringLiteral(" ")));
}

void FrequencyStripTest::keyFilterReportsEnter() {
  QLineEdit edit;
  BandEditFilter filter;
  edit.installEventFilter(&filter);
  QSignalSpy enter(&filter, &BandEditFilter::enterPressed);
  QTest::keyClicks(&edit, QStringLiteral("1"));
  QTest::keyClick(&edit, Qt::Key_Return);
  QTest::keyClick(&edit, Qt::Key_Enter);
  QCOMPARE(enter.count(), 2);
  QCOMPARE(enter.first().at(0).value<QObject*>(), &edit);
  QCOMPARE(edit.text(), QStringLiteral("1"));
}

QTEST_MAIN(FrequencyStripTest)
#include "frequency_strip_test.moc"
