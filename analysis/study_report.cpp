#include "analysis/study_report.h"

#include <cairo-pdf.h>
#include <cairo.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <map>
#include <vector>

#include "analysis/study_statistics.h"
#include "core/atomic_file.h"

namespace kelvora {
namespace {

constexpr double kPageWidth = 595.0;   // A4 in points
constexpr double kPageHeight = 842.0;
constexpr double kMargin = 40.0;
constexpr double kRowHeight = 10.0;

std::string Short(double value) {
  char buffer[32];
  std::snprintf(buffer, sizeof buffer, "%.4g", value);
  return buffer;
}

std::string Short(const std::optional<double>& value) { return value ? Short(*value) : std::string("-"); }

// The first `limit` characters of UTF-8 text, the last of them "~" when it was longer (a cut inside a character
// would make the whole page invalid text).
std::string Cut(const std::string& text, std::size_t limit) {
  std::vector<std::size_t> starts;
  for (std::size_t i = 0; i < text.size(); ++i)
    if ((static_cast<unsigned char>(text[i]) & 0xC0) != 0x80) starts.push_back(i);
  if (starts.size() <= limit || limit < 3) return text;
  return text.substr(0, starts[limit - 1]) + "~";
}

std::string Label(const std::function<std::string(const std::string&)>& label, const std::string& name) {
  return label ? label(name) : name;
}

class Pages {
 public:
  explicit Pages(cairo_t* cr) : m_cr(cr) {}
  double y = kMargin;

  void text(double x, double yy, const std::string& s, double size, bool bold = false) {
    cairo_select_font_face(m_cr, "sans-serif", CAIRO_FONT_SLANT_NORMAL,
                           bold ? CAIRO_FONT_WEIGHT_BOLD : CAIRO_FONT_WEIGHT_NORMAL);
    cairo_set_font_size(m_cr, size);
    cairo_move_to(m_cr, x, yy);
    cairo_show_text(m_cr, s.c_str());
  }
  void newPage() {
    cairo_show_page(m_cr);
    y = kMargin;
  }
  // Makes room for `height` points, starting a page when needed; true when a page was started.
  bool room(double height) {
    if (y + height <= kPageHeight - kMargin) return false;
    newPage();
    return true;
  }
  cairo_t* cr() { return m_cr; }

 private:
  cairo_t* m_cr;
};

void Table(Pages& pages, const std::string& heading, const std::vector<std::string>& columns,
           const std::vector<double>& widths, const std::vector<std::vector<std::string>>& rows) {
  pages.room(40);
  pages.y += 14;
  pages.text(kMargin, pages.y, heading, 12, true);
  pages.y += 14;
  auto headerLine = [&] {
    double x = kMargin;
    for (std::size_t c = 0; c < columns.size(); ++c) {
      pages.text(x, pages.y, columns[c], 7, true);
      x += widths[c];
    }
    pages.y += kRowHeight;
  };
  headerLine();
  for (const auto& row : rows) {
    if (pages.room(kRowHeight)) headerLine();
    double x = kMargin;
    for (std::size_t c = 0; c < row.size() && c < widths.size(); ++c) {
      pages.text(x, pages.y, Cut(row[c], static_cast<std::size_t>(widths[c] / 3.6)), 7);
      x += widths[c];
    }
    pages.y += kRowHeight;
  }
}

// One panel: a box per label (quartiles, median, whiskers to the furthest values within 1.5 IQR, points beyond).
void BoxPanel(cairo_t* cr, double x, double y, double w, double h, const std::string& title,
              const std::vector<std::pair<std::string, std::vector<double>>>& boxes, const StudyReportTexts& texts,
              Pages& pages) {
  double lo = INFINITY, hi = -INFINITY;
  for (const auto& [label, values] : boxes)
    for (double v : values) {
      lo = std::min(lo, v);
      hi = std::max(hi, v);
    }
  if (!(hi >= lo)) return;
  if (hi == lo) {
    lo -= 0.5 * (std::fabs(lo) + 1.0);
    hi += 0.5 * (std::fabs(hi) + 1.0);
  }
  const double pad = 0.05 * (hi - lo);
  lo -= pad;
  hi += pad;
  const double plotX = x + 50, plotY = y + 14, plotW = w - 56, plotH = h - 40;
  pages.text(x, y + 8, title, 8, true);
  cairo_set_source_rgb(cr, 0.6, 0.6, 0.6);
  cairo_set_line_width(cr, 0.5);
  cairo_rectangle(cr, plotX, plotY, plotW, plotH);
  cairo_stroke(cr);
  auto yOf = [&](double v) { return plotY + plotH * (hi - v) / (hi - lo); };
  cairo_set_source_rgb(cr, 0, 0, 0);
  for (int t = 0; t <= 4; ++t) {
    const double v = lo + (hi - lo) * t / 4.0;
    pages.text(x, yOf(v) + 2, Short(v), 6);
  }
  const double slot = plotW / static_cast<double>(boxes.size());
  for (std::size_t i = 0; i < boxes.size(); ++i) {
    const std::vector<double>& v = boxes[i].second;
    const double cx = plotX + slot * (static_cast<double>(i) + 0.5), half = std::min(slot * 0.3, 18.0);
    const double q1 = *Quantile(v, 0.25), q3 = *Quantile(v, 0.75), median = *Quantile(v, 0.5);
    const double iqr = q3 - q1;
    // The whiskers reach the furthest values inside the fences; none shorter than the box edge.
    double whiskerLow = q1, whiskerHigh = q3;
    for (double value : v) {
      if (value >= q1 - 1.5 * iqr) whiskerLow = std::min(whiskerLow, value);
      if (value <= q3 + 1.5 * iqr) whiskerHigh = std::max(whiskerHigh, value);
    }
    cairo_set_source_rgb(cr, 0.75, 0.85, 0.95);
    cairo_rectangle(cr, cx - half, yOf(q3), 2 * half, std::max(0.5, yOf(q1) - yOf(q3)));
    cairo_fill_preserve(cr);
    cairo_set_source_rgb(cr, 0.1, 0.2, 0.5);
    cairo_set_line_width(cr, 0.8);
    cairo_stroke(cr);
    cairo_set_line_width(cr, 1.5);
    cairo_move_to(cr, cx - half, yOf(median));
    cairo_line_to(cr, cx + half, yOf(median));
    cairo_stroke(cr);
    cairo_set_line_width(cr, 0.8);
    cairo_move_to(cr, cx, yOf(q3));
    cairo_line_to(cr, cx, yOf(whiskerHigh));
    cairo_move_to(cr, cx, yOf(q1));
    cairo_line_to(cr, cx, yOf(whiskerLow));
    cairo_stroke(cr);
    for (double value : v)
      if (value < whiskerLow || value > whiskerHigh) {
        cairo_arc(cr, cx, yOf(value), 1.5, 0, 2 * M_PI);
        cairo_fill(cr);
      }
    cairo_set_source_rgb(cr, 0, 0, 0);
    const std::string& label = boxes[i].first.empty() ? texts.allLabel : boxes[i].first;
    pages.text(cx - half, plotY + plotH + 9, Cut(label, static_cast<std::size_t>(std::max(3.0, slot / 3.4))), 6);
    pages.text(cx - half, plotY + plotH + 17, texts.countLabel + std::to_string(v.size()), 6);
  }
}

std::optional<std::string> Draw(const std::string& path, const StudyTables& tables, const StudyReportTexts& texts) {
  cairo_surface_t* surface = cairo_pdf_surface_create(path.c_str(), kPageWidth, kPageHeight);
  if (cairo_surface_status(surface) != CAIRO_STATUS_SUCCESS) {
    const std::string reason = cairo_status_to_string(cairo_surface_status(surface));
    cairo_surface_destroy(surface);
    return reason;
  }
  cairo_t* cr = cairo_create(surface);
  Pages pages(cr);
  cairo_set_source_rgb(cr, 0, 0, 0);
  pages.text(kMargin, pages.y + 10, texts.title, 16, true);
  pages.y += 30;
  for (std::size_t i = 0; i < texts.lines.size(); ++i) {
    pages.text(kMargin, pages.y, texts.lines[i], i == 0 ? 9 : 8);
    pages.y += i == 0 ? 12 : 10;
  }
  pages.y -= 4;

  std::vector<std::vector<std::string>> summaryRows;
  for (const StudySummaryRow& row : tables.summary) {
    const SampleSummary s = Summarize(row.values);
    summaryRows.push_back({row.group, row.condition, Label(texts.band, row.band), Label(texts.measure, row.measure),
                           std::to_string(s.n), Short(s.median), Short(s.q1), Short(s.q3), Short(s.mean),
                           Short(s.sd)});
  }
  Table(pages, texts.summaryHeading, texts.summaryColumns, {60, 60, 70, 95, 20, 42, 42, 42, 42, 42}, summaryRows);
  std::vector<std::vector<std::string>> testRows;
  for (const StudyTestRow& row : tables.tests)
    testRows.push_back({Label(texts.band, row.band), Label(texts.measure, row.measure),
                        Label(texts.comparison, row.comparison), Label(texts.test, row.test), std::to_string(row.n),
                        Short(row.statistic), Short(row.p), Short(row.pHolm), Short(row.estimate)});
  Table(pages, texts.testsHeading, texts.testsColumns, {60, 85, 85, 100, 20, 40, 40, 40, 45}, testRows);

  // Box plots: a page per measure, a panel per band, a box per group and condition.
  std::vector<std::string> measures, bands;
  for (const StudySummaryRow& row : tables.summary) {
    if (std::find(measures.begin(), measures.end(), row.measure) == measures.end()) measures.push_back(row.measure);
    if (std::find(bands.begin(), bands.end(), row.band) == bands.end()) bands.push_back(row.band);
  }
  for (const std::string& measure : measures) {
    pages.newPage();
    const bool banded = std::any_of(tables.summary.begin(), tables.summary.end(), [&](const StudySummaryRow& row) {
      return row.measure == measure && !row.band.empty();
    });
    pages.text(kMargin, pages.y + 10, texts.measurePage ? texts.measurePage(measure, banded) : measure, 14, true);
    const double panelW = (kPageWidth - 2 * kMargin) / 2.0, panelH = 170.0;
    int panel = 0;
    for (const std::string& band : bands) {
      std::vector<std::pair<std::string, std::vector<double>>> boxes;
      for (const StudySummaryRow& row : tables.summary)
        if (row.measure == measure && row.band == band) {
          std::string label = row.group;
          if (!row.condition.empty()) label += label.empty() ? row.condition : " " + row.condition;
          boxes.emplace_back(label, row.values);
        }
      if (boxes.empty()) continue;
      if (panel == 8) {
        pages.newPage();
        panel = 0;
      }
      const double px = kMargin + (panel % 2) * panelW, py = kMargin + 24 + (panel / 2) * (panelH + 8);
      BoxPanel(cr, px, py, panelW - 10, panelH, Label(texts.band, band), boxes, texts, pages);
      ++panel;
    }
  }
  cairo_show_page(cr);
  cairo_destroy(cr);
  cairo_surface_finish(surface);
  const cairo_status_t status = cairo_surface_status(surface);
  cairo_surface_destroy(surface);
  if (status != CAIRO_STATUS_SUCCESS) return std::string(cairo_status_to_string(status));
  return std::nullopt;
}

}  // namespace

std::optional<std::string> WriteStudyReport(const std::string& path, const StudyTables& tables,
                                            const StudyReportTexts& texts) {
  return WriteFileAtomicallyThrough(path, [&](const std::string& temporary) { return Draw(temporary, tables, texts); });
}

}  // namespace kelvora
