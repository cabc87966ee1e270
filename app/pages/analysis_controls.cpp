#include "pages/analysis_controls.h"

#include <QComboBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QSpinBox>
#include <algorithm>

#include "analysis/band_set.h"
#include "analysis/phase_coherence.h"
#include "shell/language_tables.h"
#include "shell/named_controls.h"
#include "shell/number_text.h"

namespace kelvora {

namespace {

using W = AnalysisWord;

QString Name(const char* kind, const char* page, const char* what) {
  return QString::fromLatin1(kind) + QString::fromLatin1(page) + QString::fromLatin1(what);
}

QComboBox* Combo(const QString& name, int items, QWidget* parent) {
  auto* combo = new QComboBox(parent);
  combo->setObjectName(name);
  for (int i = 0; i < items; ++i) combo->addItem(QString());
  combo->setSizeAdjustPolicy(QComboBox::AdjustToContents);  // the longer Russian items stay whole
  return combo;
}

QLabel* Caption(const QString& name, const char* text, QWidget* parent) {
  return NamedLabel(name.toLatin1().constData(), QString::fromUtf8(text), parent);
}

QLineEdit* Edit(const QString& name, const QString& text, QWidget* parent, int width) {
  return NamedEdit(name.toLatin1().constData(), text, parent, width);
}

void SetItems(QComboBox* combo, std::initializer_list<W> words, Language language) {
  int i = 0;
  for (W word : words) combo->setItemText(i++, AnalysisText(word, language));
}

}  // namespace

AnalysisControls AnalysisControls::Make(QWidget* parent, const char* page) {
  AnalysisControls c;
  c.bandsLabel = Caption(Name("Label", page, "Bands"), "Bands", parent);
  c.bands = Combo(Name("Combo", page, "Bands"), 3, parent);
  c.customBands = Edit(Name("Edit", page, "Bands"), QStringLiteral("slow:0.01:0.05,fast:0.05:0.2"), parent, 0);
  c.customBands->setMinimumWidth(120);
  c.customBands->setMaximumWidth(260);
  c.f0Label = Caption(Name("Label", page, "F0"), "f0", parent);
  c.f0 = Edit(Name("Edit", page, "F0"), FormatDecimal(1.0), parent, 44);
  c.voicesLabel = Caption(Name("Label", page, "Voices"), "Voices", parent);
  c.voices = new QSpinBox(parent);
  c.voices->setObjectName(Name("Spin", page, "Voices"));
  c.voices->setRange(1, kMaxVoicesPerOctave);
  c.voices->setValue(32);
  c.fminLabel = Caption(Name("Label", page, "Fmin"), "f min, Hz", parent);
  c.fmin = Edit(Name("Edit", page, "Fmin"), FormatDecimal(0.005), parent, 48);
  c.fmaxLabel = Caption(Name("Label", page, "Fmax"), "f max, Hz", parent);
  c.fmax = Edit(Name("Edit", page, "Fmax"), QString(), parent, 48);
  c.detrendLabel = Caption(Name("Label", page, "Detrend"), "Detrend", parent);
  c.detrend = Combo(Name("Combo", page, "Detrend"), 4, parent);
  c.detrend->setCurrentIndex(3);
  c.surrogatesLabel = Caption(Name("Label", page, "Surrogates"), "Surrogates", parent);
  c.surrogates = new QSpinBox(parent);
  c.surrogates->setObjectName(Name("Spin", page, "Surrogates"));
  c.surrogates->setRange(0, kMaxSurrogatePairs);
  c.surrogates->setValue(100);
  c.seedLabel = Caption(Name("Label", page, "Seed"), "Seed", parent);
  // The pair row is full at 1280 pixels: the seed, f min and f max edits are as narrow as their usual values
  // allow (a longer one scrolls).
  c.seed = Edit(Name("Edit", page, "Seed"), QStringLiteral("1"), parent, 40);
  return c;
}

void AnalysisControls::addTo(QHBoxLayout* row) const {
  addBandsTo(row);
  addSurrogatesTo(row);
}

void AnalysisControls::addBandsTo(QHBoxLayout* row) const {
  row->addWidget(bandsLabel);
  row->addWidget(bands);
  row->addWidget(customBands, 1);
  row->addStretch(1);
  for (QWidget* w : std::initializer_list<QWidget*>{f0Label, f0, voicesLabel, voices, fminLabel, fmin, fmaxLabel,
                                                   fmax, detrendLabel, detrend})
    row->addWidget(w);
}

void AnalysisControls::addSurrogatesTo(QHBoxLayout* row) const {
  for (QWidget* w : std::initializer_list<QWidget*>{surrogatesLabel, surrogates, seedLabel, seed}) row->addWidget(w);
}

void AnalysisControls::retranslate(Language language) const {
  SetItems(bands, {W::kBandsDefault, W::kBandsSix, W::kBandsCustom}, language);
  SetItems(detrend, {W::kDetrendNone, W::kDetrendMean, W::kDetrendLinear, W::kDetrendCubic}, language);
  fmax->setPlaceholderText(AnalysisText(W::kAutomatic, language));
}

std::optional<AnalysisControls::Values> AnalysisControls::read(double rateHz, int threads, bool needSeed,
                                                               Language language, QString* error) const {
  auto fail = [error](const QString& text) -> std::optional<Values> {
    if (error) *error = text;
    return std::nullopt;
  };
  Values s;
  AnalysisOptions& o = s.analysis;
  o.sampleRateHz = rateHz;
  bool ok = false;
  o.centreFrequency = ParseDecimal(f0->text(), &ok);
  if (!ok) return fail(AnalysisText(W::kBadF0, language));
  o.voicesPerOctave = voices->value();
  o.minFrequencyHz = ParseDecimal(fmin->text(), &ok);
  if (!ok || !(o.minFrequencyHz > 0.0)) return fail(AnalysisText(W::kBadFmin, language));
  o.maxFrequencyHz = 0.0;
  if (!fmax->text().trimmed().isEmpty()) {
    o.maxFrequencyHz = ParseDecimal(fmax->text(), &ok);
    if (!ok || !(o.maxFrequencyHz > 0.0)) return fail(AnalysisText(W::kBadFmax, language));
  }
  constexpr DetrendMode kModes[] = {DetrendMode::kNone, DetrendMode::kMean, DetrendMode::kLinear,
                                    DetrendMode::kCubic};
  o.detrend = kModes[std::clamp(detrend->currentIndex(), 0, 3)];
  switch (bands->currentIndex()) {
    case 1:
      o.bands = SixBands();
      break;
    case 2: {
      const BandSetParse parsed = ParseBandSet(customBands->text().toStdString());
      if (!parsed.ok()) return fail(BandSetErrorText(*parsed.error, language));
      o.bands = parsed.bands;
      break;
    }
    default:
      o.bands = DefaultBands();
  }
  o.threads = threads;
  if (const std::optional<AnalysisError> e = CheckAnalysisOptions(o)) return fail(AnalysisErrorText(*e, o, language));
  s.surrogates = surrogates->value();
  const qulonglong value = seed->text().trimmed().toULongLong(&ok);
  if (needSeed && !ok) return fail(AnalysisText(W::kBadSeed, language));
  s.seed = value;
  return s;
}

}  // namespace kelvora
