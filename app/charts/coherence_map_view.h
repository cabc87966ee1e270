#pragma once
// The coherence over time of a T and BF pair as a picture: time across, frequency up, the area above the
// surrogate threshold outlined.
#include <QImage>
#include <QString>
#include <QWidget>
#include <memory>
#include <vector>

#include "analysis/coherence_modes.h"
#include "formats/marker.h"

namespace kelvora {

class CoherenceMapView : public QWidget {
  Q_OBJECT

 public:
  CoherenceMapView(const QString& objectName, QWidget* parent);

  // Shows the map (none clears the view).
  void setMap(std::shared_ptr<const CoherenceOverTime> map);
  void setTitle(const QString& title);
  // The record's markers and segments drawn over the map (seconds from the first sample).
  void setMarkers(std::vector<Marker> markers, std::vector<Segment> segments);

 protected:
  void paintEvent(QPaintEvent* event) override;

 private:
  std::shared_ptr<const CoherenceOverTime> m_map;
  QImage m_image;
  QString m_title;
  std::vector<Marker> m_markers;
  std::vector<Segment> m_segments;
};

}  // namespace kelvora
