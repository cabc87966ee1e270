#pragma once
// The spectrum bar charts of the Fourier page (Chart9 with Series16, Chart10 with Series17).
#include <QChartView>
#include <vector>

#include "core/band_filter.h"

class QAbstractAxis;
class QLineSeries;
class QLogValueAxis;
class QValueAxis;

namespace kelvora {

// A bar chart of |C[k]| against frequency. Each bar is drawn as a vertical line from 0 to its height; when there
// are more bars than the plot has pixel columns, each column shows its tallest bar. The frequency axis is linear
// (0 .. 2 Hz, ticks every 0.2 Hz) or logarithmic (0.0001 .. 0.1 Hz); its maximum can be changed. UI thread only.
class SpectrumChart : public QChartView {
  Q_OBJECT

 public:
  SpectrumChart(const QString& objectName, const QString& seriesName, QWidget* parent = nullptr);

  // Replaces the bars; bars with a non-finite height or frequency are left out.
  void setBars(std::vector<SpectrumBar> bars);
  void clearBars() { setBars({}); }
  const std::vector<SpectrumBar>& bars() const { return m_bars; }
  QLineSeries* series() const { return m_series; }

  // Logarithmic: 0.0001 .. 0.1 Hz. Linear: 0 .. 2 Hz with ticks every 0.2 Hz.
  void setLogarithmic(bool on);
  bool logarithmic() const { return m_log; }
  // The frequency axis maximum, Hz (> 0; ignored otherwise, and on the log axis at or below its minimum).
  void setAxisMaximum(double hz);
  double axisMinimum() const;
  double axisMaximum() const;
  QAbstractAxis* frequencyAxis() const;

 protected:
  void resizeEvent(QResizeEvent* event) override;

 private:
  void redraw();

  std::vector<SpectrumBar> m_bars;
  QLineSeries* m_series = nullptr;
  QValueAxis* m_linearX = nullptr;
  QLogValueAxis* m_logX = nullptr;
  QValueAxis* m_axisY = nullptr;
  bool m_log = false;
};

}  // namespace kelvora
