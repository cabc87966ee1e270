#include "charts/marker_overlay.h"

#include <QAreaSeries>
#include <QLegendMarker>
#include <QLineSeries>
#include <QScatterSeries>

#include <cctype>
#include <filesystem>

#include "analysis/protocol_segments.h"
#include "formats/file_layout.h"
#include "formats/marker_file.h"
#include "formats/record_markers.h"
#include "charts/plot_view.h"

namespace kelvora {

namespace {

const QString kPrefix = QStringLiteral("SeriesMarker");

void Attach(PlotView* chart, QAbstractSeries* series) {
  chart->chart()->addSeries(series);
  series->attachAxis(chart->axisX());
  series->attachAxis(chart->axisY());
  for (QLegendMarker* marker : chart->chart()->legend()->markers(series)) marker->setVisible(false);
}

}  // namespace

void ShowMarkers(PlotView* chart, const std::vector<Marker>& markers, double durationS) {
  for (QAbstractSeries* series : chart->chart()->series()) {
    if (series->objectName().startsWith(kPrefix)) {
      chart->chart()->removeSeries(series);
      delete series;
    }
  }
  if (markers.empty()) return;
  const double low = chart->axisY()->min(), high = chart->axisY()->max();
  const std::vector<Segment> segments = SegmentsFromMarkers(markers, durationS);
  for (std::size_t i = 0; i < segments.size(); ++i) {
    auto* upper = new QLineSeries(chart->chart());
    auto* lower = new QLineSeries(chart->chart());
    const double a = segments[i].startS / 60.0, b = segments[i].endS / 60.0;
    upper->append({QPointF(a, high), QPointF(b, high)});
    lower->append({QPointF(a, low), QPointF(b, low)});
    auto* area = new QAreaSeries(upper, lower);
    area->setObjectName(kPrefix + QStringLiteral("Segment%1").arg(i));
    area->setPen(Qt::NoPen);
    area->setBrush(i % 2 == 0 ? QColor(0x40, 0x90, 0x40, 36) : QColor(0x40, 0x60, 0xc0, 36));
    Attach(chart, area);
  }
  for (std::size_t i = 0; i < markers.size(); ++i) {
    const double x = markers[i].timeS / 60.0;
    auto* line = new QLineSeries(chart->chart());
    line->setObjectName(kPrefix + QStringLiteral("Line%1").arg(i));
    QPen pen(QColor(0x60, 0x60, 0x60));
    pen.setStyle(Qt::DashLine);
    line->setPen(pen);
    line->append({QPointF(x, low), QPointF(x, high)});
    Attach(chart, line);
    auto* label = new QScatterSeries(chart->chart());
    label->setObjectName(kPrefix + QStringLiteral("Label%1").arg(i));
    label->setMarkerSize(1.0);
    label->setPen(Qt::NoPen);
    label->setBrush(Qt::NoBrush);
    label->append(QPointF(x, high));
    label->setPointLabelsFormat(QString::fromStdString(markers[i].label).replace(QLatin1Char('@'), QStringLiteral("(at)")));
    label->setPointLabelsVisible(true);
    label->setPointLabelsClipping(false);
    QFont font = label->pointLabelsFont();
    font.setPointSizeF(7.5);
    label->setPointLabelsFont(font);
    Attach(chart, label);
  }
}

std::vector<Marker> RecordFileMarkers(const std::string& recordPath, const std::vector<Marker>& comments) {
  std::vector<Marker> markers = comments;
  if (comments.empty() && BlockFileFormat(recordPath)) {
    const FileLayoutResult layout = ReadFileLayout(recordPath);
    if (layout.ok() && layout.layout.blocks.size() == 1) markers = layout.layout.blocks.front().markers;
  }
  std::string extension = std::filesystem::path(recordPath).extension().string();
  for (char& c : extension) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  if (extension == ".edf" || extension == ".bdf" || extension == ".rec") {
    const EdfReadResult edf = ReadEdfFile(recordPath);
    if (edf.ok()) markers = MarkersFromEdfAnnotations(edf.info.annotations);
  }
  const std::string sidecar = MarkerSidecarPath(recordPath);
  std::error_code code;
  if (std::filesystem::is_regular_file(sidecar, code)) {
    MarkerReadResult read = ReadMarkerSidecar(sidecar);
    if (read.ok()) markers.insert(markers.end(), read.markers.begin(), read.markers.end());
  }
  return SortedByTime(std::move(markers));
}

}  // namespace kelvora
