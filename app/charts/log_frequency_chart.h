#pragma once
// A chart over a logarithmic frequency axis with the analysis bands shaded: the Analysis page's spectrum,
// coherence, lag and depth curves.
#include <QChartView>
#include <QColor>
#include <QString>
#include <optional>
#include <vector>

class QLogValueAxis;
class QValueAxis;

namespace kelvora {

// The curves are few hundred points (one per grid frequency), so they go to the chart as they are; points
// without a value, non-finite ones and frequencies not above 0 are left out. UI thread only.
class LogFrequencyChart : public QChartView {
  Q_OBJECT

 public:
  struct Curve {
    QString name;
    QColor colour;
    std::vector<double> frequenciesHz;
    std::vector<std::optional<double>> values;
    bool points = false;  // markers instead of a line
    bool dashed = false;
  };
  struct Shade {
    double lowHz = 0.0;
    double highHz = 0.0;
  };

  explicit LogFrequencyChart(const QString& objectName, QWidget* parent = nullptr);

  void setTitle(const QString& title);
  void setBottomTitle(const QString& title);
  void setLeftTitle(const QString& title);
  // Replaces the curves and the shaded bands; the axes fit the curves (y from `yFloor` when it is set, e.g. 0,
  // and at most to `yCeiling` when it is set).
  void setCurves(std::vector<Curve> curves, std::vector<Shade> shades, std::optional<double> yFloor = std::nullopt,
                 std::optional<double> yCeiling = std::nullopt);
  void clearCurves();
  // Points of the curve named `name` handed to the chart (-1 when there is no such curve).
  qsizetype curvePointCount(const QString& name) const;

 private:
  QLogValueAxis* m_axisX = nullptr;
  QValueAxis* m_axisY = nullptr;
};

}  // namespace kelvora
