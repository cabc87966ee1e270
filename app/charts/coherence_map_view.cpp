#include "charts/coherence_map_view.h"

#include <QPainter>

#include <algorithm>

#include "analysis/coherence_over_time_output.h"
#include "charts/marker_overlay.h"

namespace kelvora {

CoherenceMapView::CoherenceMapView(const QString& objectName, QWidget* parent) : QWidget(parent) {
  setObjectName(objectName);
  setMinimumHeight(120);
}

void CoherenceMapView::setMap(std::shared_ptr<const CoherenceOverTime> map) {
  m_map = std::move(map);
  m_image = QImage();
  if (m_map && m_map->columns > 0 && !m_map->frequenciesHz.empty()) {
    const RgbImage rgb = RenderCoherenceOverTime(*m_map, 1);
    m_image = QImage(rgb.width, rgb.height, QImage::Format_RGB888);
    for (int y = 0; y < rgb.height; ++y)
      std::copy_n(rgb.rgb.data() + static_cast<std::size_t>(y) * rgb.width * 3, static_cast<std::size_t>(rgb.width) * 3,
                  m_image.scanLine(y));
  }
  update();
}

void CoherenceMapView::setMarkers(std::vector<Marker> markers, std::vector<Segment> segments) {
  m_markers = std::move(markers);
  m_segments = std::move(segments);
  update();
}

void CoherenceMapView::setTitle(const QString& title) {
  m_title = title;
  update();
}

void CoherenceMapView::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  painter.fillRect(rect(), palette().window());
  const int titleHeight = fontMetrics().height() + 4;
  painter.drawText(QRect(0, 0, width(), titleHeight), Qt::AlignCenter, m_title);
  if (m_image.isNull()) return;
  const QRect target(8, titleHeight, width() - 16, height() - titleHeight - 4);
  if (target.width() <= 0 || target.height() <= 0) return;
  painter.drawImage(target, m_image);
  if (m_map->sampleRateHz > 0.0)
    PaintMarkers(painter, target, static_cast<double>(m_map->sampleCount) / m_map->sampleRateHz, m_markers, m_segments);
}

}  // namespace kelvora
