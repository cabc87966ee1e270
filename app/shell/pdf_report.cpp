#include "shell/pdf_report.h"

#include <QAbstractScrollArea>
#include <QChartView>
#include <QDateTime>
#include <QPageLayout>
#include <QPageSize>
#include <QPainter>
#include <QPdfWriter>
#include <QSaveFile>
#include <algorithm>

namespace kelvora {

void RenderWidgetCell(QPainter& painter, QWidget* widget, const QRect& cell) {
  if (!widget) return;
  if (auto* view = qobject_cast<QChartView*>(widget)) {
    const QBrush background = view->chart()->backgroundBrush();
    view->chart()->setBackgroundBrush(Qt::white);
    view->render(&painter, QRectF(cell), view->viewport()->rect(), Qt::KeepAspectRatio);
    view->chart()->setBackgroundBrush(background);
    return;
  }
  // Any other widget: rendered at its own size, scaled down to fit the cell.
  const QSize size = widget->size();
  if (size.isEmpty()) return;
  const double scale = std::min(1.0 * cell.width() / size.width(), 1.0 * cell.height() / size.height());
  painter.save();
  painter.translate(cell.topLeft());
  painter.scale(scale, scale);
  widget->render(&painter, QPoint(), QRegion(), QWidget::DrawChildren);
  painter.restore();
}

std::optional<QString> WritePdfReport(const QString& path, const PdfReport& report) {
  QSaveFile file(path);
  if (!file.open(QIODevice::WriteOnly)) return file.errorString();
  {
    QPdfWriter pdf(&file);
    pdf.setPageSize(QPageSize(QPageSize::A4));
    pdf.setPageOrientation(QPageLayout::Landscape);
    pdf.setPageMargins(QMarginsF(12, 12, 12, 12), QPageLayout::Millimeter);
    pdf.setResolution(150);
    pdf.setTitle(report.title);
    pdf.setCreator(QStringLiteral("Kelvora " KELVORA_VERSION));
    QPainter painter(&pdf);
    const QRect page = painter.viewport();
    const int w = page.width();
    const int h = page.height();
    QFont heading = painter.font();
    heading.setPointSizeF(13);
    heading.setBold(true);
    QFont body = painter.font();
    body.setPointSizeF(7.5);
    painter.setFont(heading);
    const int headingHeight = painter.fontMetrics().height() * 3 / 2;
    painter.drawText(QRect(0, 0, w, headingHeight), Qt::AlignLeft | Qt::AlignVCenter,
                     report.title + QStringLiteral(": ") + QDateTime::currentDateTime().toString(Qt::ISODate));

    const int columns = std::max(1, report.columns);
    const int rows = std::max<int>(1, (static_cast<int>(report.cells.size()) + columns - 1) / columns);
    const int textHeight = h * report.textPercent / 100;
    const int cellW = w / columns;
    const int cellH = (h - headingHeight - textHeight) / rows;
    for (std::size_t i = 0; i < report.cells.size(); ++i) {
      const int row = static_cast<int>(i) / columns;
      const int column = static_cast<int>(i) % columns;
      const QRect cell(column * cellW, headingHeight + row * cellH, cellW - 10, cellH - 10);
      if (report.cells[i]) report.cells[i](painter, cell);
    }

    painter.setFont(body);
    const int lineHeight = painter.fontMetrics().height();
    const int textTop = headingHeight + rows * cellH + 4;
    const int perColumn = std::max(1, (h - textTop) / lineHeight);
    for (int i = 0; i < report.lines.size(); ++i) {
      const int column = i / perColumn;
      const QRect line(column * w / 2, textTop + (i % perColumn) * lineHeight, w / 2 - 10, lineHeight);
      painter.drawText(line, Qt::AlignLeft | Qt::AlignVCenter,
                       painter.fontMetrics().elidedText(report.lines[i], Qt::ElideMiddle, line.width()));
    }
    painter.end();
  }
  if (!file.commit()) return file.errorString();
  return std::nullopt;
}

}  // namespace kelvora
