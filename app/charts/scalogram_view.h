#pragma once
// The scalogram of the Analysis page as a heat map: time in minutes across, log frequency up, a colour bar, the
// cone of influence dimmed with its edge drawn, and the band edges as labelled horizontal lines.
#include <QImage>
#include <QString>
#include <QWidget>
#include <memory>
#include <vector>

#include "analysis/record_analysis.h"
#include "analysis/scalogram_image.h"

namespace kelvora {

// Draws one AnalysisResult's picture (painted, not a chart: Qt Charts has no heat map). Hovering shows the time,
// frequency and value under the mouse as a tool tip (hoverText gives the same text). UI thread only.
class ScalogramView : public QWidget {
  Q_OBJECT

 public:
  struct Labels {
    QString title;
    QString timeAxis;       // "t, min"
    QString frequencyAxis;  // "f, Hz"
    QString time;           // the hover's words
    QString frequency;
    QString value;
    QString outsideCone;
    QString minutes;  // the units in the hover
    QString hertz;
  };
  struct BandLine {
    double frequencyHz = 0.0;
    QString label;  // empty: a line without a label
  };

  explicit ScalogramView(const QString& objectName, QWidget* parent = nullptr);

  // Shows `result` (null clears the view); the bands' edges are drawn as lines.
  void setResult(std::shared_ptr<const AnalysisResult> result, std::vector<BandLine> bandLines);
  void setQuantity(ScalogramQuantity quantity, ColourScale scale);
  void setLabels(const Labels& labels);
  // The record's markers and segments drawn over the picture (seconds from the record's first sample).
  void setMarkers(std::vector<Marker> markers, std::vector<Segment> segments);

  bool hasPicture() const { return !m_image.isNull(); }
  // The text the hover shows at `position` (widget coordinates); empty outside the picture.
  QString hoverText(const QPoint& position) const;
  // The picture area in widget coordinates.
  QRect plotRect() const;

  QSize sizeHint() const override { return {600, 320}; }
  QSize minimumSizeHint() const override { return {240, 160}; }

 protected:
  void paintEvent(QPaintEvent* event) override;
  void mouseMoveEvent(QMouseEvent* event) override;
  void leaveEvent(QEvent* event) override;

 private:
  void render();
  // Vertical pixel of frequency f, and the frequency at a pixel (log scale between the grid's ends).
  double yOf(double frequencyHz, const QRect& plot) const;
  double minutesSpan() const;

  std::shared_ptr<const AnalysisResult> m_result;
  std::vector<BandLine> m_bandLines;
  ScalogramQuantity m_quantity = ScalogramQuantity::kAmplitude;
  ColourScale m_scale = ColourScale::kLinear;
  double m_maximum = 0.0;
  QImage m_image;
  Labels m_labels;
  std::vector<Marker> m_markers;
  std::vector<Segment> m_segments;
};

}  // namespace kelvora
