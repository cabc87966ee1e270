#pragma once
// The analysis settings controls (bands, f0, voices, f min, f max, detrend, surrogates, seed) and how their
// values become AnalysisOptions: one set for the Analysis page and the Study page, named after the page.
#include <QString>
#include <cstdint>
#include <optional>

#include "analysis/record_analysis.h"
#include "shell/app_context.h"

class QComboBox;
class QHBoxLayout;
class QLabel;
class QLineEdit;
class QSpinBox;
class QWidget;

namespace kelvora {

struct AnalysisControls {
  QLabel* bandsLabel = nullptr;
  QComboBox* bands = nullptr;  // default, six bands, custom
  QLineEdit* customBands = nullptr;
  QLabel* f0Label = nullptr;
  QLineEdit* f0 = nullptr;
  QLabel* voicesLabel = nullptr;
  QSpinBox* voices = nullptr;
  QLabel* fminLabel = nullptr;
  QLineEdit* fmin = nullptr;
  QLabel* fmaxLabel = nullptr;
  QLineEdit* fmax = nullptr;
  QLabel* detrendLabel = nullptr;
  QComboBox* detrend = nullptr;
  QLabel* surrogatesLabel = nullptr;
  QSpinBox* surrogates = nullptr;
  QLabel* seedLabel = nullptr;
  QLineEdit* seed = nullptr;

  struct Values {
    AnalysisOptions analysis;
    int surrogates = 100;
    std::uint64_t seed = 1;
  };

  // Creates the controls under `parent` with object names of `page` ("Analysis": ComboAnalysisBands,
  // EditAnalysisF0, ...; "Study": ComboStudyBands, ...), at the program's defaults.
  static AnalysisControls Make(QWidget* parent, const char* page);
  // The settings in `row` in the order of the Analysis page: bands, f0 .. detrend, then surrogates and seed.
  void addTo(QHBoxLayout* row) const;
  // The same without the surrogates and seed, which `addSurrogatesTo` places elsewhere (a fuller row).
  void addBandsTo(QHBoxLayout* row) const;
  void addSurrogatesTo(QHBoxLayout* row) const;
  // The list items and the "automatic" placeholder of f max in `language` (the captions are in the language
  // table under their object names).
  void retranslate(Language language) const;
  // The values for a record at `rateHz` (threads: `threads`). A bad value gives nothing and its reason in
  // `error`; `needSeed`: the seed must be a whole number.
  std::optional<Values> read(double rateHz, int threads, bool needSeed, Language language, QString* error) const;
};

}  // namespace kelvora
