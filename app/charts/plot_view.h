#pragma once
// A chart view that keeps each series' full data and hands the chart only what its pixels can show.
#include <QChartView>
#include <QHash>
#include <QLineSeries>
#include <QScatterSeries>
#include <QTimer>
#include <QValueAxis>
#include <vector>

namespace kelvora {

// The chart helper of every page.
//
// Series are added through the view and filled with setUniformData() or setPoints(); the view stores the data
// and shows a min/max decimation of the visible x range to the plot area's pixel width (for each pixel column
// the smallest and the largest sample, in sample order), so a 2,000,000-point record costs a few thousand chart
// points. The decimation is recomputed when the view is resized, zoomed or panned (merged by a short single-shot
// timer). Non-finite samples are never drawn. Zoom: drag a rectangle (x only), mouse wheel; pan: middle or right
// button drag, arrow keys; double click: show all. UI thread only.
class PlotView : public QChartView {
  Q_OBJECT

 public:
  // objectName is the chart's name ("Chart1"); the view also names its chart "<name>.chart".
  explicit PlotView(const QString& objectName, QWidget* parent = nullptr);

  QValueAxis* axisX() const { return m_axisX; }
  QValueAxis* axisY() const { return m_axisY; }

  void setTitle(const QString& title);
  QString title() const;
  void setBottomTitle(const QString& title) { m_axisX->setTitleText(title); }
  void setLeftTitle(const QString& title) { m_axisY->setTitleText(title); }
  void setTitleColor(const QColor& colour);

  // A line series named `name` (its objectName), attached to both axes.
  QLineSeries* addLineSeries(const QString& name, const QColor& colour, qreal penWidth = 1.0);
  // A point series named `name`.
  QScatterSeries* addPointSeries(const QString& name, const QColor& colour, qreal markerSize = 6.0);
  // The series named `name`, or null.
  QXYSeries* series(const QString& name) const;

  // Sample i at x = x0 + i * dx. Replaces the series' data; `fit` rescales the axes to all data.
  void setUniformData(QXYSeries* series, std::vector<double> values, double x0, double dx, bool fit = true);
  // Arbitrary points, sorted by x for decimation. Replaces the series' data.
  void setPoints(QXYSeries* series, std::vector<double> xs, std::vector<double> ys, bool fit = true);
  // Removes the series' data and its points.
  void clearSeries(QXYSeries* series);
  // Clears every series of the chart.
  void clearAll();

  // Number of samples stored for the series, and of points currently handed to the chart.
  qsizetype sourcePointCount(const QXYSeries* series) const;
  qsizetype shownPointCount(const QXYSeries* series) const;
  // The stored y values of the series (empty when none).
  std::vector<double> sourceValues(const QXYSeries* series) const;

  // Scales the axes to the data of the visible series (x from the first to the last sample, y with 5 % margin).
  void fitToData();
  // Recomputes every series' points now (normally done by the timer).
  void refreshNow();

  // Keeps `widget` (a small button) in the view's top-right corner.
  void setCornerWidget(QWidget* widget);

  // Saves the chart as a picture; the format follows the file's extension (".bmp", ".png", or ".svg" for a vector
  // drawing). The file is replaced only by a complete one. Returns false when it cannot be written.
  bool savePicture(const QString& path);

 protected:
  void resizeEvent(QResizeEvent* event) override;
  void wheelEvent(QWheelEvent* event) override;
  void mousePressEvent(QMouseEvent* event) override;
  void mouseMoveEvent(QMouseEvent* event) override;
  void mouseReleaseEvent(QMouseEvent* event) override;
  void mouseDoubleClickEvent(QMouseEvent* event) override;
  void keyPressEvent(QKeyEvent* event) override;

 private:
  struct Data {
    std::vector<double> xs;  // empty for uniform data
    std::vector<double> ys;
    double x0 = 0.0;
    double dx = 1.0;
    qsizetype size() const { return static_cast<qsizetype>(ys.size()); }
    double x(qsizetype i) const { return xs.empty() ? x0 + static_cast<double>(i) * dx : xs[static_cast<size_t>(i)]; }
  };

  void attach(QXYSeries* series);
  void scheduleRefresh();
  void refreshSeries(QXYSeries* series, const Data& data);
  qsizetype firstIndexAtOrAfter(const Data& data, double x) const;

  QValueAxis* m_axisX = nullptr;
  QValueAxis* m_axisY = nullptr;
  QHash<const QXYSeries*, Data> m_data;
  QTimer m_refreshTimer;
  bool m_panning = false;
  QPointF m_panOrigin;
  bool m_fitting = false;
  QWidget* m_corner = nullptr;
};

}  // namespace kelvora
