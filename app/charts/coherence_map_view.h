#pragma once
// The coherence over time of a T and BF pair as a picture: time across, frequency up, the area above the
// surrogate threshold outlined.
#include <QImage>
#include <QString>
#include <QWidget>
#include <memory>

#include "analysis/coherence_modes.h"

namespace kelvora {

class CoherenceMapView : public QWidget {
  Q_OBJECT

 public:
  CoherenceMapView(const QString& objectName, QWidget* parent);

  // Shows the map (none clears the view).
  void setMap(std::shared_ptr<const CoherenceOverTime> map);
  void setTitle(const QString& title);

 protected:
  void paintEvent(QPaintEvent* event) override;

 private:
  std::shared_ptr<const CoherenceOverTime> m_map;
  QImage m_image;
  QString m_title;
};

}  // namespace kelvora
