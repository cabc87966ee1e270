#include "charts/marker_overlay.h"

#include <QAreaSeries>
#include <QLegendMarker>
#include <QLineSeries>
#include <QPainter>
#include <QScatterSeries>

#include <algorithm>
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

// The row of each marker's label: the first of up to three rows where the labels before it (in time) end before
// it starts, so that the labels of close markers (an occlusion and its recovery) do not overlap. extentS(i) gives
// where label i starts and ends, in seconds.
template <typename Extent>
std::vector<int> LabelRows(const std::vector<Marker>& markers, Extent extentS) {
  std::vector<std::size_t> order(markers.size());
  for (std::size_t i = 0; i < order.size(); ++i) order[i] = i;
  std::stable_sort(order.begin(), order.end(),
                   [&](std::size_t a, std::size_t b) { return markers[a].timeS < markers[b].timeS; });
  constexpr int kRows = 3;
  std::vector<int> rows(markers.size(), 0);
  double ends[kRows] = {-1e300, -1e300, -1e300};
  for (std::size_t i : order) {
    const auto [from, to] = extentS(i);
    int row = 0;
    while (row < kRows - 1 && ends[row] > from) ++row;
    rows[i] = row;
    ends[row] = to;
  }
  return rows;
}

}  // namespace

std::vector<Segment> RecordSegments(const std::vector<Marker>& markers, double durationS, const std::string& beforeWord) {
  std::vector<Marker> kept;
  for (const Marker& marker : markers)
    if (marker.source != MarkerSource::kFound) kept.push_back(marker);
  if (kept.empty() || !(durationS > 0.0)) return {};
  std::vector<Segment> segments = SegmentsFromMarkers(kept, durationS);
  const std::vector<Marker> sorted = SortedByTime(kept);
  for (Segment& segment : segments)
    if (segment.name.empty()) segment.name = beforeWord + " " + sorted.front().label;
  return segments;
}

void PaintMarkers(QPainter& painter, const QRect& plot, double spanS, const std::vector<Marker>& markers,
                  const std::vector<Segment>& segments) {
  if (!(spanS > 0.0) || plot.width() <= 0) return;
  painter.save();
  painter.setClipRect(plot);
  auto xOf = [&](double s) { return plot.left() + plot.width() * s / spanS; };
  for (std::size_t i = 0; i < segments.size(); ++i) {
    const double a = xOf(segments[i].startS), b = xOf(segments[i].endS);
    painter.fillRect(QRectF(a, plot.top(), b - a, plot.height()),
                     i % 2 == 0 ? QColor(0xff, 0xff, 0xff, 36) : QColor(0x00, 0x00, 0x00, 26));
  }
  QFont font = painter.font();
  font.setPointSizeF(7.5);
  painter.setFont(font);
  const QFontMetrics metrics(font);
  // A label stands right of its line, or left of it where it would leave the picture.
  auto boxLeft = [&](std::size_t i, double width) {
    const double x = xOf(markers[i].timeS);
    return x + 2 + width > plot.right() ? x - 2 - width : x + 2;
  };
  auto width = [&](std::size_t i) { return metrics.horizontalAdvance(QString::fromStdString(markers[i].label)) + 4.0; };
  const std::vector<int> rows = LabelRows(markers, [&](std::size_t i) {
    const double left = boxLeft(i, width(i));
    return std::pair<double, double>((left - plot.left()) * spanS / plot.width(),
                                     (left + width(i) + 4 - plot.left()) * spanS / plot.width());
  });
  for (std::size_t i = 0; i < markers.size(); ++i) {
    const Marker& marker = markers[i];
    const double x = xOf(marker.timeS);
    const bool proposal = marker.source == MarkerSource::kFound;
    painter.setPen(QPen(proposal ? QColor(0xff, 0x90, 0x20) : QColor(Qt::white), 1.5, Qt::DashLine));
    painter.drawLine(QPointF(x, plot.top()), QPointF(x, plot.bottom()));
    const QString label = QString::fromStdString(marker.label);
    const QRectF box(boxLeft(i, width(i)), plot.top() + 2 + rows[i] * (metrics.height() + 1), width(i),
                     metrics.height());
    painter.fillRect(box, QColor(0, 0, 0, 130));
    painter.setPen(Qt::white);
    painter.drawText(box, Qt::AlignCenter, label);
  }
  painter.restore();
}

void ShowMarkers(PlotView* chart, const std::vector<Marker>& markers, double durationS, int selected) {
  for (QAbstractSeries* series : chart->chart()->series()) {
    if (series->objectName().startsWith(kPrefix)) {
      chart->chart()->removeSeries(series);
      delete series;
    }
  }
  if (markers.empty()) return;
  const double low = chart->axisY()->min(), high = chart->axisY()->max();
  const std::vector<Segment> segments = RecordSegments(markers, durationS, std::string());
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
  QFont labelFont = QScatterSeries().pointLabelsFont();  // the labels' own font, as drawn below
  labelFont.setPointSizeF(7.5);
  const QFontMetrics labelMetrics(labelFont);
  const double secondsPerPixel = (chart->axisX()->max() - chart->axisX()->min()) * 60.0 /
                                 std::max<qreal>(1.0, chart->chart()->plotArea().width());
  // A point label is centred on its point.
  const std::vector<int> rows = LabelRows(markers, [&](std::size_t i) {
    const double half = (labelMetrics.horizontalAdvance(QString::fromStdString(markers[i].label)) / 2.0 + 4) * secondsPerPixel;
    return std::pair<double, double>(markers[i].timeS - half, markers[i].timeS + half);
  });
  for (std::size_t i = 0; i < markers.size(); ++i) {
    const double x = markers[i].timeS / 60.0;
    auto* line = new QLineSeries(chart->chart());
    line->setObjectName(kPrefix + QStringLiteral("Line%1").arg(i));
    const bool proposal = markers[i].source == MarkerSource::kFound;
    QPen pen(proposal ? QColor(0xe0, 0x70, 0x00) : QColor(0x60, 0x60, 0x60));
    pen.setStyle(Qt::DashLine);
    pen.setWidthF(static_cast<int>(i) == selected ? 2.5 : 1.0);
    line->setPen(pen);
    line->append({QPointF(x, low), QPointF(x, high)});
    Attach(chart, line);
    auto* label = new QScatterSeries(chart->chart());
    label->setObjectName(kPrefix + QStringLiteral("Label%1").arg(i));
    label->setMarkerSize(1.0);
    label->setPen(Qt::NoPen);
    label->setBrush(Qt::NoBrush);
    label->append(QPointF(x, high - rows[i] * 0.09 * (high - low)));
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
  RecordMarkerOptions options;
  options.comments = comments;
  if (comments.empty() && BlockFileFormat(recordPath)) {
    const FileLayoutResult layout = ReadFileLayout(recordPath);
    if (layout.ok() && layout.layout.blocks.size() == 1) options.comments = layout.layout.blocks.front().markers;
  }
  std::string extension = std::filesystem::path(recordPath).extension().string();
  for (char& c : extension) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  if (extension == ".edf" || extension == ".bdf" || extension == ".rec") options.format = FileFormat::kEdf;
  MarkerReadResult read = ReadRecordMarkers(recordPath, options);
  if (read.ok()) return std::move(read.markers);
  // A sidecar that cannot be read adds none.
  options.besideSidecar = false;
  return ReadRecordMarkers(recordPath, options).markers;
}

}  // namespace kelvora
