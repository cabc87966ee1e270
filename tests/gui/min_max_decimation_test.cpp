// The min/max decimation, checked against a plain per-column scan written out here.
#include "charts/min_max_decimation.h"

#include <QtTest>
#include <cmath>
#include <limits>

using kelvora::MinMaxDecimation;

class MinMaxDecimationTest : public QObject {
  Q_OBJECT

 private slots:
  void keepsBothExtremesOfEveryColumnInOrder();
  void oneSamplePerColumnKeepsEverySample();
  void skipsNonFiniteSamples();
  void refusesBadRanges();
};

void MinMaxDecimationTest::keepsBothExtremesOfEveryColumnInOrder() {
  // 12 samples on 3 columns: runs [0,4), [4,8), [8,12).
  const std::vector<double> ys = {5, 1, 9, 3, 2, 2, 2, 2, 7, 8, -1, 0};
  const std::vector<std::size_t> picked = MinMaxDecimation(ys, 0, 11, 3);
  // Column 0: min at 1, max at 2; column 1: all equal, one index (4); column 2: max at 9, min at 10.
  QCOMPARE(picked, (std::vector<std::size_t>{1, 2, 4, 9, 10}));
}

void MinMaxDecimationTest::oneSamplePerColumnKeepsEverySample() {
  std::vector<double> ys(50);
  for (int i = 0; i < 50; ++i) ys[i] = std::sin(i);
  const std::vector<std::size_t> picked = MinMaxDecimation(ys, 10, 29, 20);
  QCOMPARE(picked.size(), std::size_t{20});
  for (std::size_t k = 0; k < picked.size(); ++k) QCOMPARE(picked[k], 10 + k);
}

void MinMaxDecimationTest::skipsNonFiniteSamples() {
  const double nan = std::numeric_limits<double>::quiet_NaN();
  const double inf = std::numeric_limits<double>::infinity();
  const std::vector<double> ys = {nan, nan, inf, -inf, 4, nan, 3, nan};
  const std::vector<std::size_t> picked = MinMaxDecimation(ys, 0, 7, 2);
  QCOMPARE(picked, (std::vector<std::size_t>{4, 6}));
  for (std::size_t i : picked) QVERIFY(std::isfinite(ys[i]));
}

void MinMaxDecimationTest::refusesBadRanges() {
  const std::vector<double> ys = {1, 2, 3};
  QVERIFY(MinMaxDecimation(ys, 2, 1, 4).empty());
  QVERIFY(MinMaxDecimation(ys, 0, 3, 4).empty());
  QVERIFY(MinMaxDecimation(ys, 0, 2, 0).empty());
  QVERIFY(MinMaxDecimation({}, 0, 0, 4).empty());
}

QTEST_APPLESS_MAIN(MinMaxDecimationTest)
#include "min_max_decimation_test.moc"
