// The chart helper: what a decimated series keeps, and that it follows zoom and size.
#include "charts/plot_view.h"

#include <QApplication>
#include <QTemporaryDir>
#include <QtTest>
#include <cmath>
#include <limits>

using kelvora::PlotView;

class PlotViewTest : public QObject {
  Q_OBJECT

 private slots:
  void shortSeriesAreHandedOverWhole();
  void longSeriesKeepEveryPixelColumnsExtremes();
  void zoomRecomputesFromTheFullData();
  void nonFiniteSamplesAreNeverDrawn();
  void clearingEmptiesSeriesAndData();
  void savesThePictureAsBitmapOrPng();
};

void PlotViewTest::shortSeriesAreHandedOverWhole() {
  PlotView view(QStringLiteral("ChartX"));
  view.resize(600, 300);
  QXYSeries* s = view.addLineSeries(QStringLiteral("S"), Qt::red);
  view.setUniformData(s, {3.0, 1.0, 4.0, 1.0, 5.0}, 0.0, 0.5);
  view.refreshNow();
  QCOMPARE(view.sourcePointCount(s), 5);
  QCOMPARE(view.shownPointCount(s), 5);
  QCOMPARE(s->at(4), QPointF(2.0, 5.0));
  QCOMPARE(view.axisX()->min(), 0.0);
  QCOMPARE(view.axisX()->max(), 2.0);
}

void PlotViewTest::longSeriesKeepEveryPixelColumnsExtremes() {
  PlotView view(QStringLiteral("ChartX"));
  view.resize(800, 300);
  view.show();
  QVERIFY(QTest::qWaitForWindowExposed(&view));
  QXYSeries* s = view.addLineSeries(QStringLiteral("S"), Qt::red);
  const int n = 2000000;
  std::vector<double> values(n);
  for (int i = 0; i < n; ++i) values[i] = std::sin(i * 0.001);
  values[1234567] = 7.5;   // a lone spike must survive the decimation
  values[345678] = -9.25;  // and a lone dip
  view.setUniformData(s, values, 0.0, 1.0);
  view.refreshNow();
  const int pixels = static_cast<int>(view.chart()->plotArea().width());
  QVERIFY(view.shownPointCount(s) <= 2 * std::max(pixels, 100) + 2);
  QVERIFY(view.shownPointCount(s) > 100);
  double lo = 1e9, hi = -1e9;
  for (const QPointF& p : s->points()) {
    lo = std::min(lo, p.y());
    hi = std::max(hi, p.y());
  }
  QCOMPARE(hi, 7.5);
  QCOMPARE(lo, -9.25);
  QCOMPARE(view.sourcePointCount(s), n);
}

void PlotViewTest::zoomRecomputesFromTheFullData() {
  PlotView view(QStringLiteral("ChartX"));
  view.resize(500, 300);
  view.show();
  QVERIFY(QTest::qWaitForWindowExposed(&view));
  QXYSeries* s = view.addLineSeries(QStringLiteral("S"), Qt::red);
  std::vector<double> values(100000);
  for (size_t i = 0; i < values.size(); ++i) values[i] = static_cast<double>(i);
  view.setUniformData(s, values, 0.0, 1.0);
  view.refreshNow();
  // Zoomed to 100 samples, every sample in view is shown as it is (plus one beyond each edge).
  view.axisX()->setRange(5000.0, 5099.0);
  view.refreshNow();
  QCOMPARE(view.shownPointCount(s), 102);
  QCOMPARE(s->at(0), QPointF(4999.0, 4999.0));
  QCOMPARE(s->at(101), QPointF(5100.0, 5100.0));
}

void PlotViewTest::nonFiniteSamplesAreNeverDrawn() {
  PlotView view(QStringLiteral("ChartX"));
  view.resize(500, 300);
  QXYSeries* s = view.addLineSeries(QStringLiteral("S"), Qt::red);
  const double nan = std::numeric_limits<double>::quiet_NaN();
  view.setUniformData(s, {1.0, nan, 2.0, std::numeric_limits<double>::infinity(), 3.0}, 0.0, 1.0);
  view.refreshNow();
  QCOMPARE(view.shownPointCount(s), 3);
  for (const QPointF& p : s->points()) QVERIFY(std::isfinite(p.y()));
  QVERIFY(std::isfinite(view.axisY()->min()) && std::isfinite(view.axisY()->max()));
}

void PlotViewTest::clearingEmptiesSeriesAndData() {
  PlotView view(QStringLiteral("ChartX"));
  QXYSeries* s = view.addLineSeries(QStringLiteral("S"), Qt::red);
  view.setPoints(s, {2.0, 1.0, 3.0}, {20.0, 10.0, 30.0});
  view.refreshNow();
  QCOMPARE(s->at(0), QPointF(1.0, 10.0));  // points are sorted by x
  view.clearAll();
  QCOMPARE(view.sourcePointCount(s), 0);
  QCOMPARE(view.shownPointCount(s), 0);
  QCOMPARE(view.series(QStringLiteral("S")), s);
}

void PlotViewTest::savesThePictureAsBitmapOrPng() {
  PlotView view(QStringLiteral("ChartX"));
  view.resize(320, 200);
  QXYSeries* s = view.addLineSeries(QStringLiteral("S"), Qt::red);
  view.setUniformData(s, {1.0, 2.0, 0.5}, 0.0, 1.0);
  QTemporaryDir dir;
  for (const char* name : {"chart.bmp", "chart.png"}) {
    const QString path = dir.filePath(QString::fromLatin1(name));
    QVERIFY(view.savePicture(path));
    const QImage image(path);
    QCOMPARE(image.size(), view.viewport()->size());
  }
  QVERIFY(!view.savePicture(dir.filePath(QStringLiteral("missing/chart.bmp"))));
}

QTEST_MAIN(PlotViewTest)
#include "plot_view_test.moc"
