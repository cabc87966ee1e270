#pragma once
// The response measures beside the Analysis page's signal chart: the post-occlusive hyperaemia of each
// occlusion segment and the thermal hyperaemia of each heating segment of the shown record, as the library
// measures them, with the peak, t50 and the hyperaemic area drawn on the chart and a note for every empty cell.
#include <QWidget>
#include <functional>
#include <memory>
#include <vector>

#include "analysis/hyperaemia_measures.h"
#include "shell/app_context.h"

class QLabel;
class QTableWidget;

namespace kelvora {

class PlotView;

class ResponsePanel : public QWidget {
  Q_OBJECT

 public:
  // The table's rows, one per measure; the columns are the occlusions, then the heating phases.
  enum Row { kInterval, kBaseline, kBiologicalZero, kPeak, kTimeToPeak, kPeakPercent, kPeakMinusZero, kArea,
             kRepayment, kT50, kInitialPeak, kNadir, kPlateau, kInitialPeakPercentMax, kPlateauPercentMax,
             kRowCount };

  ResponsePanel(PlotView* chart, QWidget* parent);

  // Measures the flux of the shown record (sample n at n / rateHz s) in the segments whose names make them
  // occlusions or heating phases (IsOcclusionName, IsHeatingName); the first segment named as the maximum
  // (IsMaximumName) is the base of the heating percentages. `yOf` maps a flux value to the chart's y.
  void setRecord(std::shared_ptr<const std::vector<double>> flux, double rateHz, const std::vector<Segment>& segments,
                 std::function<double(double)> yOf, Language language);
  void clear(Language language);
  void retranslate(Language language);

  const PorhOutcome& porh() const { return m_porh; }
  const std::vector<HeatingOutcome>& heating() const { return m_heating; }
  QTableWidget* table() const { return m_table; }

 private:
  void fill();
  void draw();

  PlotView* m_chart;
  QTableWidget* m_table = nullptr;
  QLabel* m_notes = nullptr;
  std::shared_ptr<const std::vector<double>> m_flux;
  double m_rateHz = 0.0;
  std::function<double(double)> m_yOf;
  PorhOutcome m_porh;
  std::vector<HeatingOutcome> m_heating;
  bool m_withMaximum = false;  // a segment is the maximum: the heating percentages are shown
  Language m_language = Language::English;
};

}  // namespace kelvora
