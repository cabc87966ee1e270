#pragma once
// One record of the Transform page's output side: the chart of the record converted from one side (Chart3 for
// BF*, from T; Chart4 for T*, from BF) with the measured record laid over it, and its buttons "Output", the
// correlation label, "BF*"/"T*" (save) and "Plot".
#include <QWidget>

#include "shell/app_context.h"
#include "signals/transform_session.h"

class QLabel;
class QPushButton;
class QXYSeries;

namespace kelvora {

class PlotView;

// Shows what the session's view state says of a converted record and tells the page which button was
// pressed. UI thread only.
class ConvertedRecordPanel : public QWidget {
  Q_OBJECT

 public:
  // `side`: the side the record is converted from.
  ConvertedRecordPanel(Side side, QWidget* parent);

  PlotView* chart() const { return m_chart; }
  // The converted curve takes the colour of the record it comes from, the overlay and the title that of the
  // other one.
  void setColours(const QColor& from, const QColor& other);
  // Buttons, curves, the axis title and the correlation label (in `language`, with `separator`).
  void showConverted(const ConvertedView& view, Language language, char separator);
  void clearCorrelation();
  // The chart's title in `language`, marked when the record's settings changed since its conversion.
  void showOutdated(bool outdated, Language language);
  bool outdatedShown() const { return m_outdated; }

 signals:
  void outputPressed();
  void savePressed();
  void plotPressed();

 private:
  Side m_side;
  PlotView* m_chart = nullptr;
  QXYSeries* m_curve = nullptr;    // Series3 / Series4
  QXYSeries* m_overlay = nullptr;  // Series5 / Series6
  QPushButton* m_output = nullptr;
  QLabel* m_correlation = nullptr;
  QPushButton* m_save = nullptr;
  QPushButton* m_plot = nullptr;
  bool m_outdated = false;
};

}  // namespace kelvora
