#pragma once
// The marker bar of the Analysis page and the editing of the shown record's markers on its signal chart:
// Ctrl+click adds a marker, dragging its line moves it, a double click renames it, Delete or the context menu
// removes it; "Find occlusions" proposes occlusion markers the user accepts or discards; "Save markers" writes
// the sidecar beside the record file (atomically).
#include <QString>
#include <QWidget>
#include <memory>
#include <vector>

#include "formats/marker.h"

class QLabel;
class QLineEdit;
class QPushButton;

namespace kelvora {

class AppContext;
class PlotView;

class MarkerEditor : public QWidget {
  Q_OBJECT

 public:
  MarkerEditor(AppContext* context, PlotView* chart, QWidget* parent);

  // The shown record: its file (empty when it has none), its duration and rate, its markers and samples (the
  // flux the occlusion finder reads). Proposals of an earlier record are dropped.
  void setRecord(const QString& path, double durationS, double rateHz, std::vector<Marker> markers,
                 std::shared_ptr<const std::vector<double>> values);
  void clear();
  bool hasRecord() const { return m_durationS > 0.0; }

  // Every marker drawn: the record's and the proposals (source kFound), in the order they were made.
  const std::vector<Marker>& markers() const { return m_markers; }
  // The record's markers without the proposals, sorted by time.
  std::vector<Marker> accepted() const;
  const QString& path() const { return m_path; }
  double durationS() const { return m_durationS; }
  int selected() const { return m_selected; }

  // The edits the mouse and the keys make (times cut to the record); each redraws and emits markersChanged.
  int addMarker(double timeS, const QString& label = QString());
  bool moveMarker(int index, double timeS);
  bool renameMarker(int index, const QString& label);
  bool removeMarker(int index);
  // "Save markers": the accepted markers to the record's sidecar; false (the reason shown) when it fails.
  bool save();
  // "Find occlusions" with the two fields; the proposals replace earlier ones. False (the reason shown) when
  // the fields or the record refuse.
  bool findOcclusions();
  void acceptProposals();
  void discardProposals();

  // The chart's viewport point of a time (seconds), and the marker whose line is within a few pixels of a point.
  QPoint pointAt(double timeS) const;
  int markerNear(const QPoint& viewportPoint) const;

  void retranslate();

 signals:
  void markersChanged();

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;

 private:
  double timeAt(const QPoint& viewportPoint) const;
  void redraw();
  void changed();
  void renameDialog(int index);
  void showNote(const QString& text);

  AppContext* m_context;
  PlotView* m_chart;
  QPushButton* m_btnSave = nullptr;
  QPushButton* m_btnFind = nullptr;
  QLabel* m_thresholdLabel = nullptr;
  QLineEdit* m_threshold = nullptr;
  QLabel* m_minimumLabel = nullptr;
  QLineEdit* m_minimum = nullptr;
  QPushButton* m_btnAccept = nullptr;
  QPushButton* m_btnDiscard = nullptr;
  QLabel* m_note = nullptr;

  QString m_path;
  double m_durationS = 0.0;
  double m_rateHz = 0.0;
  std::shared_ptr<const std::vector<double>> m_values;
  std::vector<Marker> m_markers;
  int m_selected = -1;
  int m_dragging = -1;
  bool m_dragMoved = false;
  double m_drawnWidth = 0.0;  // the plot area's width the labels were laid out for  // a press and release without a move (a click, a double click) moves nothing
  QString m_noteText;  // the last message of a save or a search; the hint when empty
};

}  // namespace kelvora
