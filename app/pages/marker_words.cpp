#include "pages/marker_words.h"

namespace kelvora {

QString MarkerText(MarkerWord word, Language language) {
  const bool ru = language == Language::Russian;
  auto t = [ru](const char* en, const char* russian) { return QString::fromUtf8(ru ? russian : en); };
  using M = MarkerWord;
  switch (word) {
    case M::kSave: return t("Save markers", "Сохранить метки");
    case M::kFind: return t("Find occlusions", "Найти окклюзии");
    case M::kThreshold: return t("below, % of rest", "ниже, % покоя");
    case M::kMinimum: return t("for at least, s", "не менее, с");
    case M::kAccept: return t("Accept", "Принять");
    case M::kDiscard: return t("Discard", "Отклонить");
    case M::kHint:
      return t("Ctrl+click: add a marker; drag: move; double-click: rename; Delete: remove",
               "Ctrl+щелчок: новая метка; перетащить: сдвиг; двойной щелчок: имя; Delete: удалить");
    case M::kRename: return t("Rename marker...", "Переименовать метку...");
    case M::kDelete: return t("Delete marker", "Удалить метку");
    case M::kLabelTitle: return t("Marker", "Метка");
    case M::kLabelPrompt: return t("Label:", "Название:");
    case M::kDefaultLabel: return t("Marker %1", "Метка %1");
    case M::kOcclusionLabel: return t("occlusion %1", "окклюзия %1");
    case M::kRecoveryLabel: return t("recovery %1", "восстановление %1");
    case M::kBefore: return t("before", "до метки");
    case M::kNoRecord: return t("No record is shown: open a file and run the calculation first",
                                "Запись не показана: откройте файл и выполните расчёт");
    case M::kNoFile: return t("The markers are kept beside a record file; this record has none",
                              "Метки хранятся рядом с файлом записи; у этой записи файла нет");
    case M::kNotSaved: return t("Cannot save the markers to %1: %2", "Не удалось сохранить метки в %1: %2");
    case M::kBadThreshold: return t("The threshold must be a percentage from 1 to 99",
                                    "Порог должен быть в процентах от 1 до 99");
    case M::kBadMinimum: return t("The minimum duration must be a positive number of seconds",
                                  "Минимальная длительность должна быть положительным числом секунд");
    case M::kNoReference: return t("The median flux of the first 60 s is not above 0: no occlusion can be found",
                                   "Медиана потока за первые 60 с не больше 0: окклюзии найти нельзя");
    case M::kNonFinite: return t("Sample %1 is not a finite number", "Отсчёт %1 не является конечным числом");
    case M::kNoneFound: return t("No occlusion found", "Окклюзии не найдены");
    case M::kNoProposals: return t("No proposed markers", "Нет предложенных меток");
    case M::kSaved: return t("Markers saved to %1", "Метки сохранены в %1");
    case M::kTabBands: return t("Bands", "Полосы");
    case M::kTabSegments: return t("Segments", "Сегменты");
    case M::kTabResponse: return t("Response", "Реакция");
    case M::kSegmentFilter: return t("Segment:", "Сегмент:");
    case M::kAllSegments: return t("All segments", "Все сегменты");
    case M::kColumnSegment: return t("Segment", "Сегмент");
    case M::kColumnStart: return t("Start, s", "Начало, с");
    case M::kColumnEnd: return t("End, s", "Конец, с");
    case M::kMarkersOutdated: return t(" (out of date: markers changed)", " (устарело: метки изменены)");
    case M::kNoSegments: return t("No segments: add markers, then run the calculation",
                                  "Нет сегментов: добавьте метки и выполните расчёт");
    case M::kOcclusionColumn: return t("Occlusion %1", "Окклюзия %1");
    case M::kHeatingColumn: return t("Heating %1", "Нагрев %1");
    case M::kMeasure: return t("Measure", "Показатель");
    case M::kRowInterval: return t("Interval, s", "Интервал, с");
    case M::kRowBaseline: return t("Baseline", "Исходный уровень");
    case M::kRowBiologicalZero: return t("Biological zero", "Биологический ноль");
    case M::kRowPeak: return t("Peak", "Пик");
    case M::kRowTimeToPeak: return t("Time to peak, s", "Время до пика, с");
    case M::kRowPeakPercent: return t("Peak, % of baseline", "Пик, % исходного");
    case M::kRowPeakMinusZero: return t("Peak - biological zero", "Пик - биологический ноль");
    case M::kRowArea: return t("Hyperaemic area, units*s", "Площадь гиперемии, ед.*с");
    case M::kRowRepayment: return t("Repayment", "Возмещение долга");
    case M::kRowT50: return t("t50, s", "t50, с");
    case M::kRowInitialPeak: return t("Initial peak", "Начальный пик");
    case M::kRowNadir: return t("Nadir", "Минимум");
    case M::kRowPlateau: return t("Plateau", "Плато");
    case M::kRowInitialPeakPercentMax: return t("Initial peak, % of max", "Начальный пик, % максимума");
    case M::kRowPlateauPercentMax: return t("Plateau, % of max", "Плато, % максимума");
    case M::kNoPhases:
      return t("No occlusion or heating segment: find occlusions or name a marker \"occlusion\" or \"heating\"",
               "Нет сегментов окклюзии или нагрева: найдите окклюзии или назовите метку «окклюзия» или «нагрев»");
    case M::kSegmentsLine: return t("segments: ", "сегменты: ");
    case M::kSegmentTableLine:
      return t("segment band amplitudes (coverage when below 100 %):",
               "амплитуды полос в сегментах (охват, когда меньше 100 %):");
  }
  return {};
}

QString MeasureNoteText(MeasureNote note, Language language) {
  const bool ru = language == Language::Russian;
  auto t = [ru](const char* en, const char* russian) { return QString::fromUtf8(ru ? russian : en); };
  switch (note) {
    case MeasureNote::kOutsideRecord:
      return t("the interval does not lie inside the record", "интервал не лежит внутри записи");
    case MeasureNote::kNoBaseline:
      return t("no baseline: the 60 s before the onset are not inside the record",
               "нет исходного уровня: 60 с до начала не лежат внутри записи");
    case MeasureNote::kBaselineNotPositive:
      return t("the baseline is not above 0: no percentages or repayment",
               "исходный уровень не больше 0: нет процентов и возмещения");
    case MeasureNote::kNoResponseWindow:
      return t("no response window: the occlusion ends at the record's end or at the next occlusion",
               "нет окна реакции: окклюзия кончается в конце записи или у следующей окклюзии");
    case MeasureNote::kNoHyperaemia:
      return t("no hyperaemia: the peak is not above the baseline", "нет гиперемии: пик не выше исходного уровня");
    case MeasureNote::kNoReturn:
      return t("no return to baseline inside the window: the area runs to the window's end",
               "нет возврата к исходному уровню в окне: площадь до конца окна");
    case MeasureNote::kNoHalfRecovery:
      return t("no half recovery inside the window: no t50", "нет полувосстановления в окне: нет t50");
    case MeasureNote::kNoDebt:
      return t("no flux debt during the occlusion: no repayment", "нет долга потока во время окклюзии: нет возмещения");
    case MeasureNote::kNoNadir:
      return t("the initial peak is at the heating's end: no nadir", "начальный пик в конце нагрева: нет минимума");
    case MeasureNote::kShortPlateau:
      return t("heating shorter than 5 min: the plateau is its whole mean",
               "нагрев короче 5 мин: плато - среднее всего нагрева");
    case MeasureNote::kNoMaximum:
      return t("the maximum interval is not inside the record or its mean is not above 0",
               "интервал максимума не внутри записи или его среднее не больше 0");
  }
  return {};
}

namespace {
bool StartsWithAny(const QString& name, std::initializer_list<const char*> words) {
  const QString lower = name.trimmed().toLower();
  for (const char* word : words)
    if (lower.startsWith(QString::fromUtf8(word))) return true;
  return false;
}
}  // namespace

bool IsOcclusionName(const QString& name) { return StartsWithAny(name, {"occlusion", "окклюзия"}); }
bool IsHeatingName(const QString& name) { return StartsWithAny(name, {"heating", "нагрев"}); }
bool IsMaximumName(const QString& name) { return StartsWithAny(name, {"max", "макс"}); }

}  // namespace kelvora
