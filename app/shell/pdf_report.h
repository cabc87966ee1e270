#pragma once
// A one-page report as a landscape A4 PDF: a heading with the time, a grid of pictures (charts, tables) and
// lines of text below them, written through QSaveFile so that a failed write leaves an existing file intact.
#include <QString>
#include <QStringList>
#include <functional>
#include <optional>
#include <vector>

class QPainter;
class QRect;
class QWidget;

namespace kelvora {

struct PdfReport {
  QString title;                                               // the document's title; the heading adds the time
  int columns = 2;                                             // of the picture grid, filled row by row
  std::vector<std::function<void(QPainter&, const QRect&)>> cells;  // each draws itself into its cell
  QStringList lines;                                           // below the pictures, in up to two columns
  int textPercent = 28;                                        // of the page's height kept for the lines
};

// Writes the report to `path`; on failure returns the reason (the file's error text) and leaves the file as it
// was. UI thread.
std::optional<QString> WritePdfReport(const QString& path, const PdfReport& report);

// Draws `widget` into `cell` at its on-screen proportions (a chart view with a white background).
void RenderWidgetCell(QPainter& painter, QWidget* widget, const QRect& cell);

}  // namespace kelvora
