#pragma once
// One measured record of the Transform page's input side: its chart with the measured and the filtered curve,
// the filter panel ("Filtering", "Input Signal", "Filtered Signal", the band letters E, N, M), and the band strip
// with its low and high edits. The Transform page has two: temperature above, blood flow below.
#include <QColor>
#include <QWidget>

#include "signals/transform_session.h"

class QCheckBox;
class QFrame;
class QLineEdit;
class QPushButton;
class QToolButton;
class QXYSeries;

namespace kelvora {

class BandEditFilter;
class FrequencyStrip;
class PlotView;

// The start colours of the two records (the colour swatches change them) and the colour of the filtered curves.
QColor StartRecordColour(Side side);
QColor FilteredCurveColour();

// The controls of one side, named as the window design names them; the panel knows nothing of the session: it
// tells the page what the user chose (a band, the filtered box) and shows what the page gives it. UI thread only.
class RecordSidePanel : public QWidget {
  Q_OBJECT

 public:
  // The start band: temperature 0 .. 0.1 Hz ("no band chosen"), blood flow 0 .. 2 Hz.
  RecordSidePanel(Side side, QWidget* parent);

  Side side() const { return m_side; }
  PlotView* chart() const { return m_chart; }               // Chart1 / Chart2
  QXYSeries* measuredSeries() const { return m_measured; }  // Series1 / Series2
  QXYSeries* filteredSeries() const { return m_filtered; }  // Series19 / Series21
  FrequencyStrip* strip() const { return m_strip; }         // Image3 / Image4

  // The band of the strip and the texts of its edits (EditS1/EditS2, EditS3/EditS4).
  double lowHz() const;
  double highHz() const;
  QString lowText() const;
  QString highText() const;
  // The band texts read "0" and the side's no-band edge ("0.1" for temperature, "2" for blood flow).
  bool noBandChosen() const;
  // Sets the strip and both edits (the band setter of presets and the page).
  void setBand(double lowHz, double highHz);

  bool inputTicked() const;
  bool filteredTicked() const;
  // Shows the side's curves and its "Filtered Signal" box as the session has them; at least one of the two
  // curves stays shown.
  void showRecord(const SideView& view);
  // The colour of the measured curve and the chart title.
  void setRecordColour(const QColor& colour);

  // The band scales (SchkalaNevid / SchkalaVid): strip, edits and letters hidden or shown; the letters come back
  // only while the filter panel is expanded.
  void hideBandScales();
  void showBandScales();

 signals:
  // A band was chosen: a letter preset, the end of a drag on the strip, or Enter in a band edit.
  void bandChosen();
  // The "Filtered Signal" box changed through the user (also by collapsing the filter panel or a double click on
  // the blood-flow strip).
  void filteredTickChanged(bool ticked);
  // Enter in a band edit whose text is not a number.
  void numberRefused(const QString& text);

 private:
  QFrame* buildFilterPanel();
  void toggleFilterPanel();
  void onBoxClicked(bool filteredBox);
  void onEditEnter(QObject* edit);
  void onStripDoubleClicked();
  void keepOneCurveShown();

  Side m_side;
  PlotView* m_chart = nullptr;
  QXYSeries* m_measured = nullptr;
  QXYSeries* m_filtered = nullptr;
  QXYSeries* m_points = nullptr;  // Series20 of the temperature chart, hidden
  QFrame* m_filterPanel = nullptr;  // PanelM1 / PanelM2
  QPushButton* m_filterButton = nullptr;
  QCheckBox* m_inputBox = nullptr;
  QCheckBox* m_filteredBox = nullptr;
  QToolButton* m_letters[3] = {};
  FrequencyStrip* m_strip = nullptr;
  QLineEdit* m_lowEdit = nullptr;
  QLineEdit* m_highEdit = nullptr;
  BandEditFilter* m_keyFilter = nullptr;
  bool m_collapsed = false;
};

}  // namespace kelvora
