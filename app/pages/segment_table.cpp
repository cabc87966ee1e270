#include "pages/segment_table.h"

#include <QComboBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QTableWidget>
#include <QVBoxLayout>
#include <algorithm>
#include <cmath>

#include "pages/marker_words.h"
#include "shell/language_tables.h"
#include "shell/number_text.h"

namespace kelvora {

static_assert(SegmentTable::kCoverage - SegmentTable::kBand + 1 == kBandRowCellCount);

std::array<QString, kBandRowCellCount> BandRowCells(const BandRow& row, Language language) {
  return {AnalysisBandName(row.band, language),       FormatDecimal(row.band.range.low),
          FormatDecimal(row.band.range.high),         FormatOptional(row.amplitude),
          FormatOptional(row.power),                  FormatOptional(row.relativeAmplitude, 4),
          FormatOptional(row.relativePower, 4),       FormatDecimal(100.0 * row.coverage, 4)};
}

SegmentTable::SegmentTable(QWidget* parent) : QWidget(parent) {
  setObjectName(QStringLiteral("PanelAnalysisSegments"));
  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(2, 2, 2, 2);
  auto* row = new QHBoxLayout;
  m_filterLabel = new QLabel(this);
  m_filterLabel->setObjectName(QStringLiteral("LabelAnalysisSegment"));
  m_filter = new QComboBox(this);
  m_filter->setObjectName(QStringLiteral("ComboAnalysisSegment"));
  m_filter->setSizeAdjustPolicy(QComboBox::AdjustToContents);
  m_caption = new QLabel(this);
  m_caption->setObjectName(QStringLiteral("LabelAnalysisSegmentsState"));
  m_caption->setWordWrap(true);
  row->addWidget(m_filterLabel);
  row->addWidget(m_filter);
  row->addWidget(m_caption, 1);
  layout->addLayout(row);
  m_table = new QTableWidget(0, kColumnCount, this);
  m_table->setObjectName(QStringLiteral("AnalysisSegmentTable"));
  m_table->setEditTriggers(QAbstractItemView::NoEditTriggers);
  m_table->setSelectionBehavior(QAbstractItemView::SelectRows);
  m_table->verticalHeader()->hide();
  m_table->verticalHeader()->setDefaultSectionSize(m_table->fontMetrics().height() + 6);  // many rows: compact
  m_table->horizontalHeader()->setStretchLastSection(false);
  m_table->horizontalHeader()->setSectionResizeMode(QHeaderView::ResizeToContents);
  layout->addWidget(m_table, 1);
  connect(m_filter, &QComboBox::currentIndexChanged, this, [this] { fill(); });
  setResult(nullptr, false, Language::English);
}

void SegmentTable::setResult(std::shared_ptr<const AnalysisResult> result, bool outdated, Language language,
                             std::shared_ptr<const CoherenceResult> coherence) {
  const int chosen = m_filter->currentIndex();
  const bool same = result && m_result == result;
  m_result = std::move(result);
  m_coherence = m_result && coherence && coherence->segments.size() == m_result->segments.size() ? std::move(coherence)
                                                                                                 : nullptr;
  m_language = language;
  using M = MarkerWord;
  using W = AnalysisWord;
  m_filterLabel->setText(MarkerText(M::kSegmentFilter, language));
  QStringList headers{MarkerText(M::kColumnSegment, language), MarkerText(M::kColumnStart, language),
                      MarkerText(M::kColumnEnd, language)};
  for (W word : {W::kColumnBand, W::kColumnLow, W::kColumnHigh, W::kColumnAmplitude, W::kColumnPower,
                 W::kColumnRelAmplitude, W::kColumnRelPower, W::kColumnCoverage, W::kColumnCoherence,
                 W::kColumnThreshold, W::kColumnNote})
    headers << AnalysisText(word, language);
  m_table->setHorizontalHeaderLabels(headers);
  m_table->setColumnHidden(kCoherence, !m_coherence);
  m_table->setColumnHidden(kThreshold, !m_coherence);
  // With the pair's columns, the relative shares give way (as in the pair's band table) so they fit in view.
  m_table->setColumnHidden(kRelAmplitude, m_coherence != nullptr);
  m_table->setColumnHidden(kRelPower, m_coherence != nullptr);
  {
    const QSignalBlocker block(m_filter);
    m_filter->clear();
    m_filter->addItem(MarkerText(M::kAllSegments, language));
    if (m_result)
      for (const SegmentAnalysis& segment : m_result->segments) m_filter->addItem(QString::fromStdString(segment.segment.name));
    // A language switch or a marker edit keeps the chosen segment of the same result.
    m_filter->setCurrentIndex(same && chosen >= 0 && chosen < m_filter->count() ? chosen : 0);
  }
  QString caption;
  if (!m_result || m_result->segments.empty()) caption = MarkerText(M::kNoSegments, language);
  else if (outdated) caption = MarkerText(M::kMarkersOutdated, language).trimmed();
  m_caption->setText(caption);
  fill();
}

void SegmentTable::fill() {
  m_table->clearContents();
  m_table->setRowCount(0);
  if (!m_result) return;
  const int only = m_filter->currentIndex() - 1;  // -1: all segments
  const char separator = DecimalSeparatorByte();
  int r = 0;
  for (int s = 0; s < static_cast<int>(m_result->segments.size()); ++s) {
    if (only >= 0 && s != only) continue;
    const SegmentAnalysis& segment = m_result->segments[static_cast<std::size_t>(s)];
    for (const BandRow& row : segment.table.rows) {
      QString cells[kColumnCount];
      cells[kSegment] = QString::fromStdString(segment.segment.name);
      cells[kStart] = FormatDecimal(segment.segment.startS, 6);
      cells[kEnd] = FormatDecimal(segment.segment.endS, 6);
      const std::array<QString, kBandRowCellCount> shared = BandRowCells(row, m_language);
      std::copy(shared.begin(), shared.end(), cells + kBand);
      cells[kNote] = AnalysisNoteText(row.note, row.neededMinutes, m_language, separator);
      if (m_coherence) {
        // The pair's coherence of the same segment and band (the same segments, in the same order).
        for (const CoherenceBandRow& pair : m_coherence->segments[static_cast<std::size_t>(s)].bands) {
          if (pair.band.range.low != row.band.range.low || pair.band.range.high != row.band.range.high) continue;
          cells[kCoherence] = FormatOptional(pair.coherence, 4);
          cells[kThreshold] = FormatOptional(pair.threshold, 4);
        }
      }
      m_table->insertRow(r);
      for (int c = 0; c < kColumnCount; ++c) {
        auto* item = new QTableWidgetItem(cells[c]);
        if (c != kSegment && c != kBand && c != kNote) item->setTextAlignment(Qt::AlignRight | Qt::AlignVCenter);
        m_table->setItem(r, c, item);
      }
      ++r;
    }
  }
}

QStringList SegmentReportLines(const AnalysisResult& r, bool outdated, Language language) {
  QStringList lines;
  if (r.segments.empty()) return lines;
  const auto number = [](double v) { return QString::number(v, 'g', 6); };
  QStringList segments;
  for (const SegmentAnalysis& segment : r.segments)
    segments << QString::fromStdString(segment.segment.name) + QStringLiteral(" ") + number(segment.segment.startS) +
                    QStringLiteral("-") + number(segment.segment.endS) + QStringLiteral(" s");
  lines << MarkerText(MarkerWord::kSegmentsLine, language) + segments.join(QStringLiteral(", ")) +
               (outdated ? MarkerText(MarkerWord::kMarkersOutdated, language) : QString());
  lines << MarkerText(MarkerWord::kSegmentTableLine, language);
  for (const SegmentAnalysis& segment : r.segments) {
    QStringList cells;
    for (const BandRow& row : segment.table.rows)
      cells << AnalysisBandName(row.band, language) + QStringLiteral(" ") +
                   (row.amplitude ? number(*row.amplitude) : QStringLiteral("-")) +
                   (row.coverage < 1.0 ? QStringLiteral(" (") + number(100.0 * row.coverage) + QStringLiteral(" %)")
                                       : QString());
    lines << QStringLiteral("  ") + QString::fromStdString(segment.segment.name) + QStringLiteral(": ") +
                 cells.join(QStringLiteral(", "));
  }
  return lines;
}

}  // namespace kelvora
