#pragma once
// The band strips of the Fourier page (Image2) and the wavelet page (Image5): a logarithmic scale of frequency
// (0 .. 2 Hz) or of amplitude (0.1 .. 100 %), two band markers, and the conversions between a pixel and a value.
#include <QWidget>

namespace kelvora {

// Fourier page, frequency mode: the frequency under pixel x of a strip W pixels wide,
// round(2.15^(9.93 x / W) * 2) / 2000 - 0.001 Hz, rounded to 3 decimals above 0.01 Hz. Never below 0.
double FourierEdgeFrequency(int x, int stripWidth);
// Fourier page, amplitude mode: the left edge round(10^(3 x / W - 1) * 2000) / 2000 - 0.004 % and the right edge
// round(10^(3 x / W - 1) * 2000) / 2000 %.
double AmplitudeLowPercent(int x, int stripWidth);
double AmplitudeHighPercent(int x, int stripWidth);
// Wavelet page: the frequency of the marker whose left edge is `position`,
// round(SignedPower(2.15, (position + 8) / W * 9.93) * 2) / 2000 - 0.001 Hz, 3 decimals above 0.01 Hz.
double WaveletMarkerFrequency(int position, int stripWidth);

// Pixel of frequency f on the frequency scale: W * ln(1000 f + 1) / ln(2.15) / 9.931 (2 Hz at the right end).
double FrequencyPixel(double frequencyHz, int stripWidth);
// Pixel of amplitude p (percent) on the amplitude scale: W * (log10(p) + 1) / 3 (0.1 % at 0, 100 % at W).
double AmplitudePixel(double percent, int stripWidth);

// The strip widget: draws the scale with tick marks and labels, the band between the markers and the two markers,
// each marker pointing at its pixel. The page owning the strip handles the dragging through the mouse signals
// and places the markers with setMarkers(). UI thread only.
class WorkspaceStrip : public QWidget {
  Q_OBJECT

 public:
  enum class Scale { Frequency, Amplitude };

  WorkspaceStrip(const QString& objectName, QWidget* parent = nullptr);

  void setScale(Scale scale);
  Scale scale() const { return m_scale; }
  // The pixels the low and high markers point at (0 .. width()).
  void setMarkers(int lowPixel, int highPixel);
  int lowPixel() const { return m_low; }
  int highPixel() const { return m_high; }
  // Caption drawn in navy in the middle of the strip ("Frequency Band").
  void setCaption(const QString& caption);

  QSize sizeHint() const override { return {921, 49}; }
  QSize minimumSizeHint() const override { return {200, 40}; }

 signals:
  void mousePressed(int x, Qt::MouseButton button);
  void mouseMoved(int x);
  void mouseReleased(int x);
  void resized(int width);

 protected:
  void paintEvent(QPaintEvent* event) override;
  void mousePressEvent(QMouseEvent* event) override;
  void mouseMoveEvent(QMouseEvent* event) override;
  void mouseReleaseEvent(QMouseEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;

 private:
  Scale m_scale = Scale::Frequency;
  int m_low = 0;
  int m_high = 0;
  QString m_caption;
};

}  // namespace kelvora
