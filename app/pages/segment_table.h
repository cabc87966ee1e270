#pragma once
// The band table of each segment of the Analysis page's result: one row per segment and band, with the
// segment's name, start and end, and a filter that shows one segment or all of them.
#include <QStringList>
#include <array>
#include <QWidget>
#include <memory>

#include "analysis/phase_coherence.h"
#include "analysis/record_analysis.h"
#include "shell/app_context.h"

class QComboBox;
class QLabel;
class QTableWidget;

namespace kelvora {

// The texts of a band row's cells from the band's name to the coverage, the columns every band table of the
// page has, in their order.
constexpr int kBandRowCellCount = 8;
std::array<QString, kBandRowCellCount> BandRowCells(const BandRow& row, Language language);

class SegmentTable : public QWidget {
  Q_OBJECT

 public:
  enum Column { kSegment, kStart, kEnd, kBand, kLow, kHigh, kAmplitude, kPower, kRelAmplitude, kRelPower, kCoverage,
                kCoherence, kThreshold, kNote, kColumnCount };

  explicit SegmentTable(QWidget* parent);

  // Shows the segments of `result` (null or none: an empty table with a hint); `outdated` adds that the markers
  // changed since the run.
  // `coherence` (a pair run's, made with the same segments) adds each segment's band coherence and threshold,
  // as coherence --segments gives them; without it those columns are hidden.
  void setResult(std::shared_ptr<const AnalysisResult> result, bool outdated, Language language,
                 std::shared_ptr<const CoherenceResult> coherence = nullptr);
  QTableWidget* table() const { return m_table; }

 private:
  void fill();

  QLabel* m_filterLabel = nullptr;
  QComboBox* m_filter = nullptr;
  QLabel* m_caption = nullptr;
  QTableWidget* m_table = nullptr;
  std::shared_ptr<const AnalysisResult> m_result;
  std::shared_ptr<const CoherenceResult> m_coherence;
  Language m_language = Language::English;
};

// The report's lines of the result's segments: the segments the run was made with (with the out-of-date words
// when the markers changed since), then each segment's band amplitudes. None without segments.
QStringList SegmentReportLines(const AnalysisResult& result, bool outdated, Language language);

}  // namespace kelvora
