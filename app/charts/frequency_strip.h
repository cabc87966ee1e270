#pragma once
// The logarithmic frequency strip: a 0..2 Hz scale with two draggable band markers.
#include <QWidget>

namespace kelvora {

// Half-width of a band marker, pixels.
inline constexpr int kMarkerHalfWidth = 8;

// Left edge of the marker for frequency f (Hz) on a strip W pixels wide:
// round(ln(1000 f + 1) / ln(2.15) * W / 9.931 - 8). 2 Hz falls at the right end.
int FrequencyToMarker(double frequencyHz, int stripWidth);

// Frequency under the marker whose left edge is x: with c = x + 8 and E = 2.15^(9.931 c / W),
// f = round(2 E) / 2000 - 0.001 (0.0005 Hz steps), further rounded to 0.001 Hz steps above 0.01 Hz.
double MarkerToFrequency(int markerLeft, int stripWidth);

// A horizontal strip with the logarithmic scale of FrequencyToMarker, tick marks, labels and two band markers.
//
// The strip keeps the band (Hz) and the two marker positions (left edges, pixels). setBand() places the markers
// by the drawing rule; with dragging enabled the user drags a marker (grab zone: its left edge .. + 8 pixels),
// and the strip emits bandDragged() on every move and dragFinished() on release. Pages with their own drag
// rules turn the built-in dragging off and use the mouse signals and setMarkers(). UI thread only.
class FrequencyStrip : public QWidget {
  Q_OBJECT

 public:
  explicit FrequencyStrip(const QString& objectName, QWidget* parent = nullptr);

  // Sets the band and places the markers: low 0 -> marker 0; high >= 2 Hz -> W - 8; the high marker is then
  // drawn one pixel further left.
  void setBand(double lowHz, double highHz);
  double lowHz() const { return m_lowHz; }
  double highHz() const { return m_highHz; }

  // Places the markers directly (left edges, pixels) without changing the band.
  void setMarkers(int low, int high);
  int lowMarker() const { return m_lowMarker; }
  int highMarker() const { return m_highMarker; }

  bool isDragging() const { return m_dragging; }

  // Built-in dragging with the Transform page's rules (on by default).
  void setDraggingEnabled(bool enabled) { m_draggingEnabled = enabled; }
  // Tick labels (the 0.001 ... 2 Hz table) and the "Frequency Band" caption (on by default).
  void setLabelsVisible(bool visible);
  // The caption drawn in the middle of the strip ("Frequency Band" by default).
  void setCaption(const QString& caption);
  QString caption() const { return m_caption; }
  // Minimum distance kept between the markers while dragging, pixels (41 by default).
  void setMinimumGap(int pixels) { m_minimumGap = pixels; }

  QSize sizeHint() const override { return {381, 33}; }
  QSize minimumSizeHint() const override { return {120, 33}; }

 signals:
  // During a drag: the band under the markers. highHz is at most 2.
  void bandDragged(double lowHz, double highHz);
  // Mouse released after a drag.
  void dragFinished();
  void doubleClicked();
  // Raw mouse positions for pages with their own drag rules.
  void mousePressed(int x);
  void mouseMoved(int x);
  void mouseReleased(int x);

 protected:
  void paintEvent(QPaintEvent* event) override;
  void mousePressEvent(QMouseEvent* event) override;
  void mouseMoveEvent(QMouseEvent* event) override;
  void mouseReleaseEvent(QMouseEvent* event) override;
  void mouseDoubleClickEvent(QMouseEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;

 private:
  void placeMarkersFromBand();

  double m_lowHz = 0.0;
  double m_highHz = 2.0;
  int m_lowMarker = 0;
  int m_highMarker = 0;
  bool m_lowGrabbed = false;
  bool m_highGrabbed = false;
  bool m_dragging = false;
  bool m_draggingEnabled = true;
  bool m_labelsVisible = true;
  QString m_caption = QStringLiteral("Frequency Band");
  int m_minimumGap = 41;
};

}  // namespace kelvora
