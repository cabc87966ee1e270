#include "shell/language_tables.h"

#include <QCoreApplication>
#include <QLibraryInfo>
#include <QTranslator>

#include <QAbstractButton>
#include <QAction>
#include <QChartView>
#include <QGroupBox>
#include <QLabel>
#include <QMenu>
#include <QRadioButton>
#include <QTabWidget>
#include <QValueAxis>
#include <QWidget>
#include <cmath>

#include "charts/frequency_strip.h"
#include "charts/workspace_strip.h"
#include "core/text_helpers.h"
#include "formats/record_file_error.h"

namespace kelvora {

namespace {

using T = TextTarget;

const std::vector<TextEntry> kTable = {
    {"PageControl1", T::PageTitle, 0, "Transform", "Преобразование"},
    {"PageControl1", T::PageTitle, 1, "PPG-->BloodFlow", "ФПГ-->Кровоток"},
    {"PageControl1", T::PageTitle, 2, "Fourier filtration", "Фурье фильтрация"},
    {"PageControl1", T::PageTitle, 3, "Wavelet filtration", "Вейвлет фильтрация"},
    {"PageControl1", T::PageTitle, 4, "Analysis", "Анализ"},
    {"PageControl1", T::PageTitle, 5, "Study", "Исследование"},
    {"Label5", T::Text, 0, "Signal frequency, Hz:", "Частота сигнала, Гц:"},
    {"BtnReadT", T::Text, 0, "Temperature", "Температура"},
    {"Chart1", T::ChartTitle, 0, "Temperature", "Температура"},
    {"Chart2", T::ChartTitle, 0, "BloodFlow", "Кровоток"},
    {"Chart3", T::ChartTitle, 0, "BloodFlow*", "Кровоток*"},
    {"Chart4", T::ChartTitle, 0, "Temperature*", "Температура*"},
    {"Chart5", T::ChartTitle, 0, "Signal", "Сигнал"},
    {"Chart6", T::ChartTitle, 0, "Filtered Signal", "Фильтрованный сигнал"},
    {"Chart7", T::ChartTitle, 0, "PPG", "ФПГ"},
    {"Chart8", T::ChartTitle, 0, "Blood Flow (envelope of PPG)", "Кровоток (полученный из ФПГ)"},
    {"Chart9", T::ChartTitle, 0, "Spectrum Signal", "Спектр сигнала"},
    {"Chart10", T::ChartTitle, 0, "Spectrum Filtered Signal", "Спектр фильтрованного сигнала"},
    {"Chart9", T::ChartBottomAxis, 0, "f, Hz", "f, Гц"},
    {"Chart10", T::ChartBottomAxis, 0, "f, Hz", "f, Гц"},
    {"Chart11", T::ChartTitle, 0, "Signal", "Сигнал"},
    {"Chart12", T::ChartTitle, 0, "Filtered Signal", "Фильтрованный сигнал"},
    {"Chart1", T::ChartBottomAxis, 0, "t, min", "t, мин"},
    {"Chart2", T::ChartBottomAxis, 0, "t, min", "t, мин"},
    {"Chart3", T::ChartBottomAxis, 0, "t, min", "t, мин"},
    {"Chart4", T::ChartBottomAxis, 0, "t, min", "t, мин"},
    {"Chart5", T::ChartBottomAxis, 0, "t, min", "t, мин"},
    {"Chart6", T::ChartBottomAxis, 0, "t, min", "t, мин"},
    {"Chart7", T::ChartBottomAxis, 0, "t, min", "t, мин"},
    {"Chart8", T::ChartBottomAxis, 0, "t, min", "t, мин"},
    {"Chart11", T::ChartBottomAxis, 0, "t, min", "t, мин"},
    {"Chart12", T::ChartBottomAxis, 0, "t, min", "t, мин"},
    {"BtnReadBF", T::Text, 0, "BloodFlow", "Кровоток"},
    {"BitBtn9", T::Text, 0, "Filtering", "Фильтр."},
    {"BitBtn10", T::Text, 0, "Filtering", "Фильтр."},
    {"CheckBox1", T::Text, 0, "Nonlinear Relationship", "Нелинейное отношение"},
    {"CheckBox2", T::Text, 0, "Input Signal", "Входн. сигнал"},
    {"CheckBox4", T::Text, 0, "Input Signal", "Входн. сигнал"},
    {"CBFilterSignalT", T::Text, 0, "Filtered Signal", "Фильтр.сигн."},
    {"CBFilterSignalBF", T::Text, 0, "Filtered Signal", "Фильтр.сигн."},
    {"Label3", T::Text, 0, "Type of", "Тип"},
    {"Label24", T::Text, 0, "transformation", "преобраз."},
    {"Label11", T::Text, 0, "Input Sample Rate, Hz", "Вход. част. дискр., Гц"},
    {"Label12", T::Text, 0, "Output Sample Rate, Hz", "Выход. част. дискр., Гц"},
    {"Label14", T::Text, 0, "Time, sec", "Время, сек"},
    {"Label15", T::Text, 0, "Min pulse, BPM", "Мин пульс,уд/мин"},
    {"Label16", T::Text, 0, "Max pulse, BPM", "Макс пульс,уд/мин"},
    {"Label21", T::Text, 0, "Hz", "Гц"},
    {"AutoSchet", T::Text, 0, "Automatic", "Автовыч."},
    {"SpeedButton12", T::Text, 0, "Calculation", "Расчёт"},
    {"SpeedButton15", T::Text, 0, "Calculation", "Расчёт"},
    {"AutoSchetW", T::Text, 0, "Automatic", "Автовыч."},
    {"BitBtn25", T::Text, 0, "Signal", "Сигнал"},
    {"BtnSaveF", T::Text, 0, "Signal", "Сигнал"},
    {"BitBtn11", T::Text, 0, "Signal", "Сигнал"},
    {"BtnSaveW", T::Text, 0, "Signal", "Сигнал"},
    {"BtnPPG", T::Text, 0, "PPG", "ФПГ"},
    {"BtnPPGintoBF", T::Text, 0, "PPG-->BF", "ФПГ-->BF"},
    {"SpeedButton1", T::Text, 0, "Endothelial", "Эндотелиальный"},
    {"SpeedButton16", T::Text, 0, "Endothelial", "Эндотелиальный"},
    {"SpeedButton10", T::Text, 0, "Neurogenic", "Нейрогенный"},
    {"SpeedButton17", T::Text, 0, "Neurogenic", "Нейрогенный"},
    {"SpeedButton11", T::Text, 0, "Myogenic", "Миогенный"},
    {"SpeedButton18", T::Text, 0, "Myogenic", "Миогенный"},
    {"CheckSPKTR", T::Text, 0, "Show Spectrum", "Показ спектры"},
    {"RadioGroupFF", T::RadioItem, 0, "Frequence filtering", "Частотная фильтр."},
    {"RadioGroupFF", T::RadioItem, 1, "Amplitude filtering", "Амплитудная фильтр."},
    {"RadioGroup3", T::Text, 0, "Type of wavelet", "Тип вейвлета"},
    {"RadioGroup3", T::RadioItem, 0, "Morle", "Морле"},
    {"RadioGroup3", T::RadioItem, 1, "Paul", "Пауль"},
    {"SpeedButton6", T::Text, 0, "E", "Э"},
    {"SpeedButton9", T::Text, 0, "E", "Э"},
    {"SpeedButton7", T::Text, 0, "N", "Н"},
    {"SpeedButton13", T::Text, 0, "N", "Н"},
    {"BtnOutputBF", T::Text, 0, "Output BF", "Вывод BF"},
    {"BtnOutputT", T::Text, 0, "Output T", "Вывод T"},
    {"BtnSaveBF", T::Text, 0, "BF*", "BF*"},
    {"BtnSaveT", T::Text, 0, "T*", "T*"},
    {"BtnPlotBF", T::Text, 0, "Plot", "График"},
    {"BtnPlotT", T::Text, 0, "Plot", "График"},
    {"RadioGroup2", T::Text, 0, "Fourier filtration", "Фурье фильтрация"},
    {"RadioGroup2", T::RadioItem, 0, "Thermal wave", "Тепл. волна"},
    {"RadioGroup2", T::RadioItem, 1, "Derivative", "Производная"},
    {"GroupBox1", T::Text, 0, "Scaling", "Масштабирование"},
    {"RadioNormaliz1", T::Text, 0, "Normalized values", "Нормиров. знач."},
    {"RadioNormaliz2", T::Text, 0, "Absolute values", "Абсолютные знач."},
    {"RadioNormaliz3", T::Text, 0, "Scaled values:", "Масштаб. знач."},
    {"GroupBox2", T::Text, 0, "Shitzer", "Шитцер"},
    {"Button1", T::Text, 0, "Skin", "Кожа"},
    {"Button2", T::TextIfButton2On, 0, "Blood", "Кровь"},
    {"Button3", T::TextIfButton2On, 0, "Air", "Воздух"},
    {"N1", T::Text, 0, "Examples", "Примеры"},
    {"Example21", T::Text, 0, "Example 1 (Rest)", "Приемер 1(Покой)"},
    {"Example11", T::Text, 0, "Example 2 (Cuff Test)", "Приемер 2(Манжета)"},
    {"ExamplePPG21", T::Text, 0, "Example PPG 1", "Приемер PPG 1"},
    {"ExamplePPG11", T::Text, 0, "Example PPG 2", "Приемер PPG 2"},
    {"Options1", T::Text, 0, "Options", "Опции"},
    {"Signal1", T::Text, 0, "Sound", "Звук"},
    {"Potoks1", T::Text, 0, "Number of threads", "Количество потоков"},
    {"Animation1", T::Text, 0, "Plots animation", "Анимация графиков"},
    {"WaveletDelays1", T::Text, 0, "Legacy wavelet delays", "Прежние задержки вейвлета"},
    {"Language1", T::Text, 0, "Language", "Язык"},
    {"Help1", T::Text, 0, "Help", "Справка"},
    {"Help2", T::Text, 0, "Help", "Справка"},
    {"About1", T::Text, 0, "About Kelvora", "О программе Kelvora"},
    {"RadioTypeFourier", T::Text, 0, "Fourier filtration", "Фурье фильтр."},
    {"RadioTypeWavelet", T::Text, 0, "Wavelet filtration", "Вейвлет фильтр."},
    {"RadioTypeShitzer", T::Text, 0, "Shitzer's model", "Модель Шитцера"},
    {"RadioAnalysisSingle", T::Text, 0, "One record", "Одна запись"},
    {"RadioAnalysisPair", T::Text, 0, "T and BF pair", "Пара T и BF"},
    {"LabelAnalysisSource", T::Text, 0, "Source:", "Источник:"},
    {"BtnAnalysisOpen", T::Text, 0, "File...", "Файл..."},
    {"BtnAnalysisOpenT", T::Text, 0, "T file...", "Файл T..."},
    {"BtnAnalysisOpenBF", T::Text, 0, "BF file...", "Файл BF..."},
    {"LabelAnalysisRate", T::Text, 0, "File rate, Hz", "Частота файла, Гц"},
    {"LabelAnalysisBands", T::Text, 0, "Bands", "Полосы"},
    {"LabelAnalysisF0", T::Text, 0, "f0", "f0"},
    {"LabelAnalysisVoices", T::Text, 0, "Voices", "Голосов"},
    {"LabelAnalysisFmin", T::Text, 0, "f min, Hz", "f мин, Гц"},
    {"LabelAnalysisFmax", T::Text, 0, "f max, Hz", "f макс, Гц"},
    {"LabelAnalysisDetrend", T::Text, 0, "Detrend", "Тренд"},
    {"LabelAnalysisSurrogates", T::Text, 0, "Surrogates", "Суррогаты"},
    {"LabelAnalysisSeed", T::Text, 0, "Seed", "Зерно"},
    {"CheckAnalysisModa", T::Text, 0, "MODA-compatible", "Как в MODA"},
    {"BtnAnalysisCalc", T::Text, 0, "Calculation", "Расчёт"},
    {"LabelAnalysisShow", T::Text, 0, "Show:", "Показ:"},
    {"BtnStudyNew", T::Text, 0, "New", "Новый"},
    {"BtnStudyOpen", T::Text, 0, "Open manifest...", "Открыть список..."},
    {"BtnStudySave", T::Text, 0, "Save manifest...", "Сохранить список..."},
    {"BtnStudyAddFiles", T::Text, 0, "Add files...", "Добавить файлы..."},
    {"BtnStudyRemove", T::Text, 0, "Remove rows", "Удалить строки"},
    {"LabelStudyRate", T::Text, 0, "File rate, Hz", "Частота файла, Гц"},
    {"LabelStudyMeasures", T::Text, 0, "Measures:", "Показатели:"},
    {"CheckStudyBands", T::Text, 0, "Bands", "Полосы"},
    {"CheckStudyCoherence", T::Text, 0, "Coherence", "Когерентность"},
    {"CheckStudyInterSubject", T::Text, 0, "Inter-subject level", "Межсубъектный уровень"},
    {"CheckStudyPorh", T::Text, 0, "Occlusion (PORH)", "ПОРГ"},
    {"CheckStudyHeating", T::Text, 0, "Heating", "Нагрев"},
    {"LabelStudyConditions", T::Text, 0, "Conditions:", "Условия:"},
    {"CheckStudyFindOcclusions", T::Text, 0, "Find occlusions", "Найти окклюзии"},
    {"LabelStudyBaseline", T::Text, 0, "Baseline", "Исходный уровень"},
    {"LabelStudyHeatingPhase", T::Text, 0, "Heating phase", "Фаза нагрева"},
    {"LabelStudyMaximum", T::Text, 0, "Maximum", "Максимум"},
    {"LabelStudyBands", T::Text, 0, "Bands", "Полосы"},
    {"LabelStudyF0", T::Text, 0, "f0", "f0"},
    {"LabelStudyVoices", T::Text, 0, "Voices", "Голосов"},
    {"LabelStudyFmin", T::Text, 0, "f min, Hz", "f мин, Гц"},
    {"LabelStudyFmax", T::Text, 0, "f max, Hz", "f макс, Гц"},
    {"LabelStudyDetrend", T::Text, 0, "Detrend", "Тренд"},
    {"LabelStudySurrogates", T::Text, 0, "Surrogates", "Суррогаты"},
    {"LabelStudySeed", T::Text, 0, "Seed", "Зерно"},
    {"LabelStudyOut", T::Text, 0, "Output folder", "Папка результатов"},
    {"BtnStudyOutBrowse", T::Text, 0, "Folder...", "Папка..."},
    {"BtnStudyRun", T::Text, 0, "Run study", "Запустить"},
    {"BtnStudyReport", T::Text, 0, "PDF report...", "Отчёт PDF..."},
    {"LabelStudyProblems", T::Text, 0, "Recordings without a result:", "Записи без результата:"},
    {"LabelStudyMeasure", T::Text, 0, "Measure", "Показатель"},
    {"BtnAnalysisSaveTable", T::Text, 0, "Table CSV", "Таблица CSV"},
    {"BtnAnalysisSaveSpectrum", T::Text, 0, "Spectrum CSV", "Спектр CSV"},
    {"BtnAnalysisSavePng", T::Text, 0, "Scalogram PNG", "Скалограмма PNG"},
    {"BtnAnalysisSaveMatrix", T::Text, 0, "Scalogram CSV", "Скалограмма CSV"},
    {"BtnAnalysisUseDepth", T::Text, 0, "Use this depth", "Использовать эту глубину"},
    {"ChartAnalysisSignal", T::ChartTitle, 0, "Signal", "Сигнал"},
    {"ChartAnalysisSignal", T::ChartBottomAxis, 0, "t, min", "t, мин"},
    {"ChartAnalysisSpectrum", T::ChartTitle, 0, "Time-averaged amplitude", "Усреднённая по времени амплитуда"},
    {"ChartAnalysisSpectrum", T::ChartBottomAxis, 0, "f, Hz", "f, Гц"},
    {"ChartAnalysisCoherence", T::ChartTitle, 0, "Phase coherence of T and BF", "Фазовая когерентность T и BF"},
    {"ChartAnalysisCoherence", T::ChartBottomAxis, 0, "f, Hz", "f, Гц"},
    {"ChartAnalysisLag", T::ChartTitle, 0, "Lag of T behind BF", "Запаздывание T относительно BF"},
    {"ChartAnalysisLag", T::ChartBottomAxis, 0, "f, Hz", "f, Гц"},
    {"ChartAnalysisDepth", T::ChartTitle, 0, "Depth of the heat source", "Глубина источника тепла"},
    {"ChartAnalysisDepth", T::ChartBottomAxis, 0, "f, Hz", "f, Гц"},
    {"BtnStop", T::Text, 0, "STOP", "СТОП"},
    {"ImportLayoutBox", T::Text, 0, "Layout", "Формат"},
    {"ImportSeparatorLabel", T::Text, 0, "Separator:", "Разделитель:"},
    {"ImportDecimalLabel", T::Text, 0, "Decimal mark:", "Десятичный знак:"},
    {"ImportHeaderLinesLabel", T::Text, 0, "Header lines:", "Строк заголовка:"},
    {"ImportTimeColumnLabel", T::Text, 0, "Time column:", "Столбец времени:"},
    {"ImportChannelsBox", T::Text, 0, "Channels", "Каналы"},
    {"ImportAnnotationsBox", T::Text, 0, "Annotations", "Аннотации"},
    {"ImportCommentsBox", T::Text, 0, "Comments", "Комментарии"},
    {"ImportVariablesBox", T::Text, 0, "Variables", "Переменные"},
    {"ImportBlocksBox", T::Text, 0, "Blocks", "Блоки"},
    {"ImportBlockLabel", T::Text, 0, "Block:", "Блок:"},
    {"ImportRecordBox", T::Text, 0, "Record", "Запись"},
    {"ImportRateFromTime", T::Text, 0, "Rate from the time column", "Частота по столбцу времени"},
    {"ImportRateTyped", T::Text, 0, "Rate, Hz:", "Частота, Гц:"},
    {"ImportRateTypedLabel", T::Text, 0, "Rate, Hz:", "Частота, Гц:"},
    {"ImportTargetRateLabel", T::Text, 0, "Resample to, Hz:", "Передискретизация до, Гц:"},
    {"ImportPair", T::Text, 0, "Import pair (T and BF from this file)", "Импорт пары (T и BF из этого файла)"},
    {"ImportButton", T::Text, 0, "Import", "Импорт"},
    {"ImportCancel", T::Text, 0, "Cancel", "Отмена"},
    {"FileMenu", T::Text, 0, "File", "Файл"},
    {"RecentFiles", T::Text, 0, "Recent files", "Последние файлы"},
    {"ExportEdf", T::Text, 0, "Export T, BF, T*, BF* as EDF+...", "Экспорт T, BF, T*, BF* в EDF+..."},
    {"ExportReport", T::Text, 0, "Transform page report (PDF)...", "Отчёт страницы преобразования (PDF)..."},
    {"ExportAnalysisReport", T::Text, 0, "Analysis page report (PDF)...", "Отчёт страницы анализа (PDF)..."},
    {"ExportStudyReport", T::Text, 0, "Study page report (PDF)...", "Отчёт страницы исследования (PDF)..."},
    {"Quit1", T::Text, 0, "Quit", "Выход"},
};

// Writes `text` as the caption of whatever kind of object `object` is.
void SetCaption(QObject* object, const QString& text) {
  if (auto* action = qobject_cast<QAction*>(object)) {
    action->setText(text);
  } else if (auto* menu = qobject_cast<QMenu*>(object)) {
    menu->setTitle(text);
  } else if (auto* group = qobject_cast<QGroupBox*>(object)) {
    group->setTitle(text);
  } else if (auto* button = qobject_cast<QAbstractButton*>(object)) {
    button->setText(text);
  } else if (auto* label = qobject_cast<QLabel*>(object)) {
    label->setText(text);
  }
}

QObject* FindNamed(QWidget* root, const QString& name) {
  if (root->objectName() == name) return root;
  return root->findChild<QObject*>(name);
}

void Apply(QWidget* root, Language language) {
  const char* ownItem = language == Language::Russian ? "N2" : "English1";
  if (auto* item = root->findChild<QAction*>(QString::fromLatin1(ownItem))) item->setChecked(true);
  const bool russian = language == Language::Russian;
  for (const TextEntry& entry : kTable) {
    const QString name = QString::fromLatin1(entry.objectName);
    const QString text = QString::fromUtf8(russian ? entry.russian : entry.english);
    switch (entry.target) {
      case T::Text:
        if (QObject* object = FindNamed(root, name)) SetCaption(object, text);
        break;
      case T::PageTitle:
        if (auto* tabs = root->findChild<QTabWidget*>(name); tabs && entry.index < tabs->count()) {
          tabs->setTabText(entry.index, text);
        }
        break;
      case T::ChartTitle:
        if (auto* view = root->findChild<QChartView*>(name); view && view->chart()) view->chart()->setTitle(text);
        break;
      case T::ChartBottomAxis:
        if (auto* view = root->findChild<QChartView*>(name); view && view->chart()) {
          const auto axes = view->chart()->axes(Qt::Horizontal);
          if (!axes.isEmpty()) axes.first()->setTitleText(text);
        }
        break;
      case T::RadioItem:
        if (auto* group = root->findChild<QGroupBox*>(name)) {
          const auto items = group->findChildren<QRadioButton*>();
          if (entry.index < items.size()) items.at(entry.index)->setText(text);
        }
        break;
      case T::TextIfButton2On: {
        auto* button2 = root->findChild<QWidget*>(QStringLiteral("Button2"));
        if (button2 && button2->isEnabled()) {
          if (QObject* object = FindNamed(root, name)) SetCaption(object, text);
        }
        break;
      }
    }
  }
}

}  // namespace

const std::vector<TextEntry>& LanguageTable() { return kTable; }

namespace {

struct AnalysisWordEntry {
  AnalysisWord word;
  const char* english;
  const char* russian;
};

using W = AnalysisWord;

const AnalysisWordEntry kAnalysisWords[] = {
    {W::kSourceFile, "File", "Файл"},
    {W::kSourceT, "Temperature (Transform page)", "Температура (стр. Преобразование)"},
    {W::kSourceBF, "Blood flow (Transform page)", "Кровоток (стр. Преобразование)"},
    {W::kSourcePpg, "PPG envelope (PPG page)", "Огибающая ФПГ (стр. ФПГ)"},
    {W::kPairTransform, "T and BF of the Transform page", "T и BF страницы Преобразование"},
    {W::kPairFiles, "Two files", "Два файла"},
    {W::kBandsDefault, "Five bands", "Пять полос"},
    {W::kBandsSix, "Six LDF intervals", "Шесть интервалов ЛДФ"},
    {W::kBandsCustom, "Own list:", "Свой список:"},
    {W::kDetrendNone, "none", "нет"},
    {W::kDetrendMean, "mean", "среднее"},
    {W::kDetrendLinear, "linear", "линейный"},
    {W::kDetrendCubic, "cubic", "кубический"},
    {W::kAmplitude, "Amplitude", "Амплитуда"},
    {W::kPower, "Power", "Мощность"},
    {W::kColourLinear, "Linear colour", "Линейный цвет"},
    {W::kColourLog, "Log colour", "Логарифм. цвет"},
    {W::kColumnBand, "Band", "Полоса"},
    {W::kColumnLow, "From, Hz", "От, Гц"},
    {W::kColumnHigh, "To, Hz", "До, Гц"},
    {W::kColumnAmplitude, "Amplitude", "Амплитуда"},
    {W::kColumnPower, "Power", "Мощность"},
    {W::kColumnRelAmplitude, "Rel. amplitude", "Отн. амплитуда"},
    {W::kColumnRelPower, "Rel. power", "Отн. мощность"},
    {W::kColumnCoverage, "Coverage, %", "Покрытие, %"},
    {W::kColumnCoherence, "Coherence", "Когерентность"},
    {W::kColumnThreshold, "Threshold", "Порог"},
    {W::kColumnSignificant, "Significant, %", "Значимо, %"},
    {W::kColumnLag, "Lag, s", "Задержка, с"},
    {W::kColumnDepth, "Depth, mm", "Глубина, мм"},
    {W::kColumnNote, "Note", "Примечание"},
    {W::kScalogramTitle, "Scalogram", "Скалограмма"},
    {W::kScalogramTitleBF, "Scalogram of BF", "Скалограмма BF"},
    {W::kCoherenceMapTitle, "Coherence over time (white: above the surrogate threshold)",
     "Когерентность во времени (белым: выше порога суррогатов)"},
    {W::kAxisFrequency, "f, Hz", "f, Гц"},
    {W::kAxisTime, "t, min", "t, мин"},
    {W::kAxisAmplitude, "Amplitude", "Амплитуда"},
    {W::kAxisCoherence, "Coherence", "Когерентность"},
    {W::kAxisLag, "Lag, s", "Задержка, с"},
    {W::kAxisDepth, "Depth, mm", "Глубина, мм"},
    {W::kCurveCoherence, "coherence", "когерентность"},
    {W::kCurveThreshold, "95% of surrogates", "95% суррогатов"},
    {W::kCurveT, "T", "T"},
    {W::kCurveBF, "BF", "BF"},
    {W::kHoverTime, "t", "t"},
    {W::kHoverFrequency, "f", "f"},
    {W::kHoverValue, "value", "значение"},
    {W::kHoverOutsideCone, "outside the cone of influence", "вне конуса влияния"},
    {W::kUnitMinutes, "min", "мин"},
    {W::kUnitHertz, "Hz", "Гц"},
    {W::kNoFile, "No file is loaded", "Файл не загружен"},
    {W::kNoRecordT, "The Transform page has no temperature record", "На странице Преобразование нет записи температуры"},
    {W::kNoRecordBF, "The Transform page has no blood flow record", "На странице Преобразование нет записи кровотока"},
    {W::kNoEnvelope, "The PPG page has no envelope", "На странице ФПГ нет огибающей"},
    {W::kNoResult, "Nothing to save: run the calculation first", "Нечего сохранять: сначала выполните расчёт"},
    {W::kNoDepth, "Choose a band row that has a depth", "Выберите строку полосы с глубиной"},
    {W::kTransformBusy, "The Transform page is busy", "Страница Преобразование занята"},
    {W::kTruncated, "The longer record was cut to the shorter one: %1 samples left out",
     "Более длинная запись обрезана до более короткой: отброшено отсчётов: %1"},
    {W::kBadRate, "The file rate must be a number of Hz above 0", "Частота файла должна быть числом Гц больше 0"},
    {W::kBadF0, "f0 must be a number from 0.5 to 3", "f0 должно быть числом от 0,5 до 3"},
    {W::kBadFmin, "f min must be a number of Hz above 0", "f мин должна быть числом Гц больше 0"},
    {W::kBadFmax, "f max must be empty (automatic) or a number of Hz above 0",
     "f макс должна быть пустой (авто) или числом Гц больше 0"},
    {W::kBadSeed, "The seed must be a whole number from 0", "Зерно должно быть целым числом от 0"},
    {W::kAutomatic, "auto", "авто"},
    {W::kPairRatesDiffer, "T is at %1 Hz and BF at %2 Hz: the two records of a pair need one rate",
     "T с частотой %1 Гц, BF с частотой %2 Гц: у двух записей пары должна быть одна частота"},
};

QString Pick(Language language, const char* english, const char* russian) {
  return QString::fromUtf8(language == Language::Russian ? russian : english);
}

}  // namespace

QString AnalysisText(AnalysisWord word, Language language) {
  for (const AnalysisWordEntry& entry : kAnalysisWords) {
    if (entry.word == word) return Pick(language, entry.english, entry.russian);
  }
  return QString();
}

QString AnalysisBandName(const AnalysisBand& band, Language language) {
  if (!band.preset) return QString::fromStdString(band.name);
  struct Preset {
    const char* key;
    const char* english;
    const char* russian;
  };
  static const Preset kPresets[] = {
      {"endothelial", "Endothelial", "Эндотелиальный"},
      {"endothelial_1", "Endothelial (NO-independent)", "Эндотелиальный (NO-независимый)"},
      {"endothelial_2", "Endothelial (NO-dependent)", "Эндотелиальный (NO-зависимый)"},
      {"neurogenic", "Neurogenic", "Нейрогенный"},
      {"myogenic", "Myogenic", "Миогенный"},
      {"respiratory", "Respiratory", "Дыхательный"},
      {"cardiac", "Cardiac", "Сердечный"},
  };
  for (const Preset& preset : kPresets) {
    if (band.name == preset.key) return Pick(language, preset.english, preset.russian);
  }
  return QString::fromStdString(band.name);
}

QString AnalysisNoteText(BandNote note, double neededMinutes, Language language, char separator) {
  switch (note) {
    case BandNote::kNone:
      return QString();
    case BandNote::kNoFrequency:
      return Pick(language, "no analysis frequency lies in this band", "в этой полосе нет частот анализа");
    case BandNote::kRecordTooShort: {
      const double tenths = std::ceil(neededMinutes * 10.0 - 1e-9) / 10.0;
      QString minutes = QString::number(tenths, 'f', 1);
      minutes.replace(QLatin1Char('.'), QLatin1Char(separator));
      return Pick(language, "record too short for this band: it needs at least %1 min",
                  "запись слишком коротка для этой полосы: нужно не менее %1 мин")
          .arg(minutes);
    }
    case BandNote::kSegmentTooShort: {
      const double tenths = std::ceil(neededMinutes * 10.0 - 1e-9) / 10.0;
      QString minutes = QString::number(tenths, 'f', 1);
      minutes.replace(QLatin1Char('.'), QLatin1Char(separator));
      return Pick(language, "segment too short for this band: it needs at least %1 min",
                  "отрезок слишком короток для этой полосы: нужно не менее %1 мин")
          .arg(minutes);
    }
    case BandNote::kSegmentOutsideCone:
      return Pick(language, "the segment lies outside the cone of influence for this band",
                  "отрезок лежит вне конуса влияния для этой полосы");
  }
  return QString();
}

QString AnalysisErrorText(const AnalysisError& error, const AnalysisOptions& options, Language language) {
  switch (error.kind) {
    case AnalysisErrorKind::kNoSamples:
      return Pick(language, "The record has no samples", "В записи нет отсчётов");
    case AnalysisErrorKind::kNonFiniteSample:
      return Pick(language, "Sample %1 is not a finite number", "Отсчёт %1 не является конечным числом")
          .arg(error.sample + 1);
    case AnalysisErrorKind::kBadSampleRate:
      return Pick(language, "The sample rate must be above 0 Hz", "Частота дискретизации должна быть больше 0 Гц");
    case AnalysisErrorKind::kBadCentreFrequency:
      return AnalysisText(AnalysisWord::kBadF0, language);
    case AnalysisErrorKind::kBadVoices:
      return Pick(language, "Voices per octave must be 1 to 128", "Голосов на октаву: от 1 до 128");
    case AnalysisErrorKind::kBadFrequencyRange:
      return Pick(language, "f min and f max need 0 < f min <= f max <= fs/2 = %1 Hz",
                  "Нужно 0 < f мин <= f макс <= fs/2 = %1 Гц")
          .arg(options.sampleRateHz / 2.0);
    case AnalysisErrorKind::kNoFrequencies:
      return Pick(language, "No frequency of the grid lies between f min and f max",
                  "Между f мин и f макс нет ни одной частоты сетки");
    case AnalysisErrorKind::kBadThreads:
      return Pick(language, "The thread count must be 1 to 32", "Число потоков: от 1 до 32");
    case AnalysisErrorKind::kBadPictureColumns:
      return Pick(language, "The picture size is not valid", "Неверный размер изображения");
    case AnalysisErrorKind::kTooLong:
      return Pick(language, "The record is too long for the transform at this f min",
                  "Запись слишком длинна для преобразования при этой f мин");
    case AnalysisErrorKind::kValuesTooLarge:
      return Pick(language, "The values are too large for the transform", "Значения слишком велики для преобразования");
    case AnalysisErrorKind::kOutOfMemory:
      return Pick(language, "Not enough memory for the transform", "Недостаточно памяти для преобразования");
    case AnalysisErrorKind::kStopped:
      return Pick(language, "The analysis was stopped", "Анализ остановлен");
  }
  return QString();
}

QString BandSetErrorText(const BandSetError& error, Language language) {
  const QString item = QString::number(error.item);
  const QString text = QString::fromStdString(error.text);
  switch (error.kind) {
    case BandSetErrorKind::kEmpty:
      return Pick(language, "The band list needs NAME:LO:HI items separated by commas",
                  "Список полос: элементы ИМЯ:ОТ:ДО через запятую");
    case BandSetErrorKind::kMissingField:
      return Pick(language, "Band %1 '%2' is not NAME:LO:HI", "Полоса %1 '%2' не в виде ИМЯ:ОТ:ДО").arg(item, text);
    case BandSetErrorKind::kEmptyName:
      return Pick(language, "Band %1 '%2' has no name", "У полосы %1 '%2' нет имени").arg(item, text);
    case BandSetErrorKind::kBadNumber:
      return Pick(language, "Band %1: '%2' is not a number of Hz (use \".\")",
                  "Полоса %1: '%2' не число Гц (используйте \".\")")
          .arg(item, text);
    case BandSetErrorKind::kBadRange:
      return Pick(language, "Band %1 '%2' needs 0 < LO < HI", "Для полосы %1 '%2' нужно 0 < ОТ < ДО").arg(item, text);
    case BandSetErrorKind::kDuplicateName:
      return Pick(language, "Band %1 '%2' repeats a name", "Полоса %1 '%2' повторяет имя").arg(item, text);
  }
  return QString();
}

QString AnalysisOmittedBandText(const AnalysisBand& band, FrequencyBand analysed, Language language) {
  const QString name = AnalysisBandName(band, language);
  const QString range = QString::number(band.range.low, 'g', 6) + QStringLiteral("–") + QString::number(band.range.high, 'g', 6);
  const bool ru = language == Language::Russian;
  QString reason;
  if (band.range.high > analysed.high) {
    reason = ru ? QStringLiteral("выше f макс %1 Гц") : QStringLiteral("above f max %1 Hz");
    reason = reason.arg(QString::number(analysed.high, 'g', 3));
  } else {
    reason = ru ? QStringLiteral("ниже f мин %1 Гц") : QStringLiteral("below f min %1 Hz");
    reason = reason.arg(QString::number(analysed.low, 'g', 3));
  }
  return ru ? QStringLiteral("%1 (%2 Гц) пропущен: %3").arg(name, range, reason)
            : QStringLiteral("%1 (%2 Hz) left out: %3").arg(name, range, reason);
}

QString CoherenceErrorText(const CoherenceError& error, const AnalysisOptions& options, Language language) {
  switch (error.kind) {
    case CoherenceErrorKind::kAnalysis: {
      const QString reason = AnalysisErrorText(error.analysis, options, language);
      if (error.record == 0) return QStringLiteral("T: ") + reason;
      if (error.record == 1) return QStringLiteral("BF: ") + reason;
      return reason;
    }
    case CoherenceErrorKind::kBadTissue:
      return Pick(language, "Lambda, Rho and C of the Transform page must be above 0",
                  "Lambda, Rho и C страницы Преобразование должны быть больше 0");
    case CoherenceErrorKind::kBadSurrogateCount:
      return Pick(language, "Surrogates: 0 to %1", "Суррогатов: от 0 до %1").arg(kMaxSurrogatePairs);
    case CoherenceErrorKind::kOutOfMemory:
      return Pick(language, "Not enough memory for the coherence", "Недостаточно памяти для когерентности");
    case CoherenceErrorKind::kStopped:
      return Pick(language, "The analysis was stopped", "Анализ остановлен");
    case CoherenceErrorKind::kBadWindow:
      return Pick(language, "The coherence-over-time window must be a positive number of cycles",
                  "Окно когерентности во времени должно быть положительным числом периодов");
  }
  return QString();
}

void ApplyEnglish(QWidget* root) { Apply(root, Language::English); }

void ApplyRussian(QWidget* root) { Apply(root, Language::Russian); }

void ApplyLanguage(QWidget* root, Language language) {
  // The band pages' strips: their default captions in the chosen language.
  for (WorkspaceStrip* strip : root->findChildren<WorkspaceStrip*>()) {
    strip->setProperty("russian", language == Language::Russian);
    strip->update();
  }
  for (FrequencyStrip* strip : root->findChildren<FrequencyStrip*>()) {
    strip->setCaption(language == Language::Russian ? QStringLiteral("Полоса частот") : QStringLiteral("Frequency Band"));
  }
  if (language == Language::Russian) {
    ApplyRussian(root);
  } else {
    ApplyEnglish(root);
  }
}

QString OutdatedSuffix(Language language) {
  return language == Language::Russian ? QStringLiteral(" (устарело: настройки изменены)")
                                       : QStringLiteral(" (out of date: settings changed)");
}

QString ConvertedChartTitle(Side side, Language language, bool outdated) {
  const bool russian = language == Language::Russian;
  const QString title = side == Side::Temperature ? (russian ? QStringLiteral("Кровоток*") : QStringLiteral("BloodFlow*"))
                                                  : (russian ? QStringLiteral("Температура*") : QStringLiteral("Temperature*"));
  return outdated ? title + OutdatedSuffix(language) : title;
}

QString CorrelationPrefix(Language language) {
  return language == Language::Russian ? QStringLiteral("Корреляция: ") : QStringLiteral("Correlation: ");
}

QString SourceText(Side side, const QString& source, Language language) {
  if (language == Language::Russian) {
    return (side == Side::Temperature ? QStringLiteral("Температура: ") : QStringLiteral("  Кровоток:  ")) + source;
  }
  return (side == Side::Temperature ? QStringLiteral("Temperature: ") : QStringLiteral("  Blood Flow:  ")) + source;
}

QString PointsText(int count, Language language) {
  return QString::number(count) + (language == Language::Russian ? QStringLiteral(" точек") : QStringLiteral(" points"));
}

QString RunHolderText(RunKind kind, Language language) {
  const bool ru = language == Language::Russian;
  switch (kind) {
    case RunKind::None: return {};
    case RunKind::Load: return ru ? QStringLiteral("Идёт загрузка записи") : QStringLiteral("Record loading in progress");
    case RunKind::Filter: return ru ? QStringLiteral("Идёт фильтрация записи") : QStringLiteral("Record filtering in progress");
    case RunKind::Conversion: return ru ? QStringLiteral("Идёт преобразование") : QStringLiteral("Conversion in progress");
    case RunKind::Fourier: return ru ? QStringLiteral("Идёт фильтрация Фурье") : QStringLiteral("Fourier filtration in progress");
    case RunKind::Wavelet: return ru ? QStringLiteral("Идёт вейвлет-фильтрация") : QStringLiteral("Wavelet filtration in progress");
    case RunKind::Ppg: return ru ? QStringLiteral("Идёт обработка ФПГ") : QStringLiteral("PPG run in progress");
    case RunKind::Analysis: return ru ? QStringLiteral("Идёт анализ") : QStringLiteral("Analysis run in progress");
    case RunKind::Coherence: return ru ? QStringLiteral("Идёт расчёт когерентности") : QStringLiteral("Coherence run in progress");
    case RunKind::Study: return ru ? QStringLiteral("Идёт исследование") : QStringLiteral("Study run in progress");
  }
  return {};
}

QString RunRefusedText(RunKind kind, Language language) {
  const QString holder = kind == RunKind::None ? (language == Language::Russian ? QStringLiteral("Идёт расчёт")
                                                                                : QStringLiteral("A run is in progress"))
                                               : RunHolderText(kind, language);
  return holder + (language == Language::Russian
                       ? QStringLiteral(": дождитесь его окончания или нажмите СТОП, затем повторите.")
                       : QStringLiteral(": wait until it ends or press STOP, then try again."));
}

QString FileMissingText(const QString& path, Language language) {
  if (language == Language::Russian) {
    return path.isEmpty() ? QStringLiteral("Файл не существует") : QStringLiteral("Файл ") + path + QStringLiteral(" не существует");
  }
  return path.isEmpty() ? QStringLiteral("File does not exist") : QStringLiteral("File ") + path + QStringLiteral(" does not exist");
}

bool InstallQtTranslations(Language language) {
  static QTranslator* installed = nullptr;
  if (!QCoreApplication::instance()) return false;
  if (installed) {
    QCoreApplication::removeTranslator(installed);
    delete installed;
    installed = nullptr;
  }
  if (language != Language::Russian) return false;
  auto* translator = new QTranslator;
  if (!translator->load(QStringLiteral("qtbase_ru"), QLibraryInfo::path(QLibraryInfo::TranslationsPath))) {
    delete translator;
    return false;
  }
  QCoreApplication::installTranslator(translator);
  installed = translator;
  return true;
}

QString StoppedText(Language language) {
  return language == Language::Russian ? QStringLiteral("Остановлено") : QStringLiteral("Stopped");
}

QString DoneText(Language language) {
  return language == Language::Russian ? QStringLiteral(" ГОТОВО") : QStringLiteral(" DONE");
}

QString CorrelationLabel(Language language, double r, char separator) {
  return CorrelationPrefix(language) + QString::fromStdString(FormatRealText(RoundedCorrelation(r), separator));
}

QString ConvertedAxisTitle(Side side, AxisUnits units, Language language) {
  const bool bloodFlow = side == Side::Temperature;  // the temperature side's converted record is BF*
  if (language == Language::Russian) {
    switch (units) {
      case AxisUnits::Normalized:
        return bloodFlow ? QStringLiteral("BF, отн. ед.") : QStringLiteral("T, отн. ед.");
      case AxisUnits::Measured:
        return bloodFlow ? QStringLiteral("BF, В") : QStringLiteral("T, °C");
      case AxisUnits::Physical:
        break;
    }
    return bloodFlow ? QStringLiteral("BF, мм^3/с") : QStringLiteral("T, °C");
  }
  switch (units) {
    case AxisUnits::Normalized:
      return bloodFlow ? QStringLiteral("BF, arb. units") : QStringLiteral("T, arb. units");
    case AxisUnits::Measured:
      return bloodFlow ? QStringLiteral("BF, V") : QStringLiteral("T, °C");
    case AxisUnits::Physical:
      break;
  }
  return bloodFlow ? QStringLiteral("BF, mm^3/sec") : QStringLiteral("T, °C");
}

QString AboutText(Language language) {
  const QString version = QStringLiteral(KELVORA_VERSION);
  if (language == Language::Russian) {
    return QStringLiteral(
               "<h3>Kelvora %1</h3>"
               "<p>Анализ сигналов микроциркуляции кожи: температура, кровоток (ЛДФ) и ФПГ.</p>"
               "<p>Copyright © 2026 разработчики Kelvora.</p>"
               "<p>Программа распространяется на условиях GNU General Public License версии 3 или любой более "
               "поздней версии (GPL-3.0-or-later) и поставляется БЕЗ КАКИХ-ЛИБО ГАРАНТИЙ. Текст лицензии: файл "
               "LICENSE и <a href=\"https://www.gnu.org/licenses/gpl-3.0.html\">gnu.org/licenses/gpl-3.0</a>.</p>"
               "<p>Использует Qt %2 (GPL-3).</p>")
        .arg(version, QString::fromLatin1(qVersion()));
  }
  return QStringLiteral(
             "<h3>Kelvora %1</h3>"
             "<p>Analysis of skin microcirculation signals: temperature, blood flow (LDF) and PPG.</p>"
             "<p>Copyright © 2026 the Kelvora developers.</p>"
             "<p>This program is free software under the GNU General Public License, version 3 or any later version "
             "(GPL-3.0-or-later). It comes WITHOUT ANY WARRANTY. The licence text is in the file LICENSE and at "
             "<a href=\"https://www.gnu.org/licenses/gpl-3.0.html\">gnu.org/licenses/gpl-3.0</a>.</p>"
             "<p>Built with Qt %2 (GPL-3).</p>")
      .arg(version, QString::fromLatin1(qVersion()));
}


namespace {

QString Tr(Language language, const char* english, const char* russian) {
  return QString::fromUtf8(language == Language::Russian ? russian : english);
}

QString Num(double value) { return QString::number(value, 'g', 6); }

QString QuotedText(const std::string& text) { return QStringLiteral("'") + QString::fromStdString(EscapeBytes(text)) + QStringLiteral("'"); }

QString FieldText(EdfHeaderField field, Language l) {
  using F = EdfHeaderField;
  switch (field) {
    case F::kNone: return Tr(l, "header", "заголовок");
    case F::kVersion: return Tr(l, "version", "версия");
    case F::kPatient: return Tr(l, "patient", "пациент");
    case F::kRecording: return Tr(l, "recording", "запись");
    case F::kStartDate: return Tr(l, "start date", "дата начала");
    case F::kStartTime: return Tr(l, "start time", "время начала");
    case F::kHeaderBytes: return Tr(l, "number of header bytes", "число байт заголовка");
    case F::kReserved: return Tr(l, "reserved", "резерв");
    case F::kDataRecords: return Tr(l, "number of data records", "число записей данных");
    case F::kRecordDuration: return Tr(l, "data record duration", "длительность записи данных");
    case F::kSignalCount: return Tr(l, "number of signals", "число сигналов");
    case F::kLabel: return Tr(l, "label", "метка");
    case F::kTransducer: return Tr(l, "transducer type", "тип датчика");
    case F::kPhysicalDimension: return Tr(l, "physical dimension", "физическая размерность");
    case F::kPhysicalMinimum: return Tr(l, "physical minimum", "физический минимум");
    case F::kPhysicalMaximum: return Tr(l, "physical maximum", "физический максимум");
    case F::kDigitalMinimum: return Tr(l, "digital minimum", "цифровой минимум");
    case F::kDigitalMaximum: return Tr(l, "digital maximum", "цифровой максимум");
    case F::kPrefilter: return Tr(l, "prefiltering", "предфильтрация");
    case F::kSamplesPerRecord: return Tr(l, "number of samples in each data record", "число отсчётов в записи данных");
    case F::kSignalReserved: return Tr(l, "signal reserved", "резерв сигнала");
    case F::kFileSize: return Tr(l, "file size", "размер файла");
    case F::kAnnotations: return Tr(l, "annotations", "аннотации");
  }
  return Tr(l, "header", "заголовок");
}

QString ErrorBody(const RecordFileError& e, Language l) {
  using K = RecordFileErrorKind;
  const QString column = e.column > 0 ? Tr(l, "column %1: ", "столбец %1: ").arg(e.column) : QString();
  switch (e.kind) {
    case K::kMissingFile: return Tr(l, "the file does not exist", "файл не существует");
    case K::kCannotOpen: return Tr(l, "cannot open the file", "не удаётся открыть файл");
    case K::kCannotWrite: return Tr(l, "cannot write the file; an existing file is unchanged", "не удаётся записать файл; существующий файл не изменён");
    case K::kMatWriteFailed: {
      const auto step = static_cast<MatWriteStep>(e.expected);
      if (step == MatWriteStep::kCreateFile || step == MatWriteStep::kCloseFile)
        return Tr(l, "the MATLAB file cannot be written; an existing file is unchanged",
                  "не удаётся записать файл MATLAB; существующий файл не изменён");
      return Tr(l, "the variable %1 cannot be written; an existing file is unchanged",
                "не удаётся записать переменную %1; существующий файл не изменён").arg(QString::fromStdString(e.text));
    }
    case K::kNoData:
      return e.line > 0 ? Tr(l, "no rows of numbers after line %1", "нет строк с числами после строки %1").arg(e.line)
                        : Tr(l, "no rows of numbers", "нет строк с числами");
    case K::kBadNumber: return column + Tr(l, "%1 is not a valid number", "%1 не является числом").arg(QuotedText(e.text));
    case K::kRaggedRow: return Tr(l, "%1 cells where the rows have %2", "%1 ячеек, а в строках %2").arg(e.count).arg(e.expected);
    case K::kLineTooLong: return Tr(l, "the line is longer than %1 bytes", "строка длиннее %1 байт").arg(e.expected);
    case K::kMissingValue: return column + Tr(l, "empty cell with values after it", "пустая ячейка, после которой есть значения");
    case K::kNoSuchColumn: return Tr(l, "no column %1 among the %2 columns", "нет столбца %1 среди %2 столбцов").arg(QuotedText(e.text)).arg(e.count);
    case K::kAmbiguousColumn: return Tr(l, "%1 names more than one column", "%1 называет несколько столбцов").arg(QuotedText(e.text));
    case K::kColumnNeeded:
      return e.count > 1 ? Tr(l, "%1 signal columns: choose one", "%1 столбцов сигнала: выберите один").arg(e.count)
                         : Tr(l, "no signal column", "нет столбца сигнала");
    case K::kRateDisagrees:
      return (e.line > 0 ? Tr(l, "the time column gives %1 Hz, not the %2 Hz typed", "столбец времени даёт %1 Гц, а не введённые %2 Гц")
                         : Tr(l, "the channel is at %1 Hz, not the %2 Hz typed", "частота канала %1 Гц, а не введённые %2 Гц"))
          .arg(Num(e.fromRateHz), Num(e.toRateHz));
    case K::kTimeNotUniform:
      return Tr(l, "time column %1: at t = %2 s the step is %3 s where the usual step is %4 s (not uniform within 1 %)",
                "столбец времени %1: при t = %2 с шаг %3 с, обычный шаг %4 с (неравномерно более чем на 1 %)")
          .arg(e.column).arg(Num(e.timeS), Num(e.stepS), Num(e.expectedStepS));
    case K::kTooFewSamples: return Tr(l, "the time column has %1 samples; a rate needs at least 2", "в столбце времени %1 отсчётов; для частоты нужно не меньше 2").arg(e.count);
    case K::kNoSampleRate: return Tr(l, "no time column: type the rate", "нет столбца времени: введите частоту");
    case K::kEdfHeader: {
      if (e.field == EdfHeaderField::kVersion)
        return Tr(l, "not an EDF or BDF file (version field %1)", "не файл EDF или BDF (поле версии %1)").arg(QuotedText(e.text));
      if (e.field == EdfHeaderField::kFileSize && e.expected > 0)
        return Tr(l, "EDF file size is %1 bytes where the header says %2", "размер файла EDF %1 байт, а по заголовку %2").arg(e.count).arg(e.expected);
      QString text = Tr(l, "EDF header field '%1'", "поле заголовка EDF '%1'").arg(FieldText(e.field, l));
      if (e.signal > 0) text += Tr(l, " of signal %1", " сигнала %1").arg(e.signal);
      text += Tr(l, " is malformed", " неверно");
      if (!e.text.empty()) text += QStringLiteral(" (") + QuotedText(e.text) + QStringLiteral(")");
      return text;
    }
    case K::kEdfDiscontinuous: return Tr(l, "discontinuous EDF+D and BDF+D files are not read", "прерывистые файлы EDF+D и BDF+D не читаются");
    case K::kChannelNeeded: return Tr(l, "%1 channels: choose one", "%1 каналов: выберите один").arg(e.count);
    case K::kNoSuchChannel: return Tr(l, "no channel %1 among the %2 signals", "нет канала %1 среди %2 сигналов").arg(QuotedText(e.text)).arg(e.count);
    case K::kAmbiguousChannel: return Tr(l, "%1 is the label of more than one signal", "%1 — метка нескольких сигналов").arg(QuotedText(e.text));
    case K::kEdfReadFailed: return Tr(l, "the samples of channel %1 cannot be read", "отсчёты канала %1 не читаются").arg(e.column);
    case K::kRatioNotWhole:
      return Tr(l, "cannot resample %1 Hz to %2 Hz: the ratio %3 is not a whole number",
                "нельзя передискретизировать %1 Гц в %2 Гц: отношение %3 не целое")
          .arg(Num(e.fromRateHz), Num(e.toRateHz), Num(e.toRateHz > 0 ? e.fromRateHz / e.toRateHz : 0.0));
    case K::kRateNotWhole: return Tr(l, "the rate %1 Hz is not a whole number of hertz; choose a rate to resample to", "частота %1 Гц не целая; выберите частоту передискретизации").arg(Num(e.fromRateHz));
    case K::kNoSamples: return Tr(l, "no samples", "нет отсчётов");
    case K::kNonFiniteValue: return Tr(l, "sample %1 of channel %2 is not a finite number", "отсчёт %1 канала %2 не является конечным числом").arg(e.count).arg(e.column);
    case K::kValueTooLarge: return Tr(l, "channel %1 has values too large for an EDF header", "значения канала %1 слишком велики для заголовка EDF").arg(e.column);
    case K::kBadChannel:
      return e.column > 0 ? Tr(l, "channel %1 has no samples or no rate", "у канала %1 нет отсчётов или частоты").arg(e.column)
                          : Tr(l, "no channels", "нет каналов");
  }
  return Tr(l, "error", "ошибка");
}

// What is wrong with a MATLAB file or variable; empty for none (a class name is MATLAB's own word).
QString MatFaultText(const RecordFileError& e, Language l) {
  switch (e.matFault) {
    case MatFault::kNone: return {};
    case MatFault::kNotNumeric: return QString::fromStdString(e.reason);
    case MatFault::kTruncated: return Tr(l, "truncated", "файл обрезан");
    case MatFault::kMalformedVariable: return Tr(l, "malformed variable", "повреждённая переменная");
    case MatFault::kBadCompression: return Tr(l, "malformed compressed data", "повреждённые сжатые данные");
    case MatFault::kMalformedCompressed:
      return Tr(l, "malformed compressed variable", "повреждённая сжатая переменная");
    case MatFault::kComplex: return Tr(l, "complex", "комплексная");
    case MatFault::kMultiDimensional: return Tr(l, "more than two dimensions", "больше двух измерений");
    case MatFault::kEmpty: return Tr(l, "empty", "пустая");
    case MatFault::kTooLarge: return Tr(l, "too large", "слишком большая");
  }
  return {};
}

}  // namespace

QString RecordFileErrorText(const RecordFileError& error, Language language) {
  QString text = QString::fromStdString(error.path);
  if (error.line > 0 && error.kind != RecordFileErrorKind::kNoData) {
    text += Tr(language, ", line %1", ", строка %1").arg(error.line);
  }
  if (!text.isEmpty()) text += QStringLiteral(": ");
  text += ErrorBody(error, language);
  const QString reason =
      error.matFault == MatFault::kNone ? QString::fromStdString(error.reason) : MatFaultText(error, language);
  if (!reason.isEmpty()) text += QStringLiteral(" (") + reason + QStringLiteral(")");
  return text;
}

QString ImportText(ImportWord word, Language l) {
  using W = ImportWord;
  switch (word) {
    case W::kTitle: return Tr(l, "Import", "Импорт");
    case W::kComma: return Tr(l, "Comma", "Запятая");
    case W::kSemicolon: return Tr(l, "Semicolon", "Точка с запятой");
    case W::kTab: return Tr(l, "Tab", "Табуляция");
    case W::kWhitespace: return Tr(l, "Blanks", "Пробелы");
    case W::kPoint: return Tr(l, "Point (.)", "Точка (.)");
    case W::kDecimalComma: return Tr(l, "Comma (,)", "Запятая (,)");
    case W::kNoTimeColumn: return Tr(l, "none", "нет");
    case W::kColumnHeader: return Tr(l, "Column", "Столбец");
    case W::kNameHeader: return Tr(l, "Name", "Имя");
    case W::kUnitHeader: return Tr(l, "Unit", "Единица");
    case W::kLabelHeader: return Tr(l, "Label", "Метка");
    case W::kRateHeader: return Tr(l, "Rate, Hz", "Частота, Гц");
    case W::kSamplesHeader: return Tr(l, "Samples", "Отсчётов");
    case W::kTimeHeader: return Tr(l, "Time, s", "Время, с");
    case W::kDurationHeader: return Tr(l, "Duration, s", "Длит., с");
    case W::kTextHeader: return Tr(l, "Text", "Текст");
    case W::kTemperature: return Tr(l, "Temperature (T):", "Температура (T):");
    case W::kBloodFlow: return Tr(l, "Blood flow (BF):", "Кровоток (BF):");
    case W::kPpg: return Tr(l, "PPG:", "ФПГ:");
    case W::kSignal: return Tr(l, "Signal:", "Сигнал:");
    case W::kFileRate: return Tr(l, "as in the file", "как в файле");
    case W::kRateMeasured: return Tr(l, "%1 Hz from the time column (uniform within 1 % over the first %2 rows)", "%1 Гц по столбцу времени (равномерно в пределах 1 % по первым %2 строкам)");
    case W::kRateOfChannel: return Tr(l, "The channel is at %1 Hz", "Частота канала %1 Гц");
    case W::kResampled: return Tr(l, "Block means of %1 samples: %2 Hz to %3 Hz", "Средние по блокам из %1 отсчётов: %2 Гц в %3 Гц");
    case W::kNotResampled: return Tr(l, "Read at %1 Hz as it stands", "Читается с частотой %1 Гц как есть");
    case W::kBadRate: return Tr(l, "The rate must be a number above 0", "Частота должна быть числом больше 0");
    case W::kSampleLimit: return Tr(l, "The record holds more than 20000 samples after resampling: the first 20000 are kept", "После передискретизации в записи больше 20000 отсчётов: сохранены первые 20000");
    case W::kRateDiffers: return Tr(l, "The record is at %1 Hz, the loaded record at %2 Hz", "Запись с частотой %1 Гц, загруженная запись %2 Гц");
    case W::kBlockHeader: return Tr(l, "Block", "Блок");
    case W::kStartHeader: return Tr(l, "Start", "Начало");
    case W::kCommentsHeader: return Tr(l, "Comments", "Комментарии");
    case W::kBlocksJoined: return Tr(l, "all, joined", "все, подряд");
    case W::kNoFileRate: return Tr(l, "The file states no rate: type the rate of its samples", "В файле нет частоты: введите частоту отсчётов");
    case W::kVariableHeader: return Tr(l, "Variable", "Переменная");
  }
  return {};
}

namespace {

struct StudyWordText {
  StudyWord word;
  const char* english;
  const char* russian;
};

constexpr StudyWordText kStudyWords[] = {
    {StudyWord::kColSubject, "subject", "испытуемый"},
    {StudyWord::kColGroup, "group", "группа"},
    {StudyWord::kColCondition, "condition", "условие"},
    {StudyWord::kColFile, "file", "файл"},
    {StudyWord::kColBfFile, "bf_file", "файл BF"},
    {StudyWord::kColMarkers, "markers", "метки"},
    {StudyWord::kSumGroup, "Group", "Группа"},
    {StudyWord::kSumCondition, "Condition", "Условие"},
    {StudyWord::kSumBand, "Band", "Полоса"},
    {StudyWord::kSumMeasure, "Measure", "Показатель"},
    {StudyWord::kSumN, "n", "n"},
    {StudyWord::kSumMedian, "Median", "Медиана"},
    {StudyWord::kSumQ1, "Q1", "Q1"},
    {StudyWord::kSumQ3, "Q3", "Q3"},
    {StudyWord::kSumMean, "Mean", "Среднее"},
    {StudyWord::kSumSd, "SD", "СКО"},
    {StudyWord::kTestBand, "Band", "Полоса"},
    {StudyWord::kTestMeasure, "Measure", "Показатель"},
    {StudyWord::kTestComparison, "Comparison", "Сравнение"},
    {StudyWord::kTestName, "Test", "Критерий"},
    {StudyWord::kTestN, "n", "n"},
    {StudyWord::kTestStatistic, "Statistic", "Статистика"},
    {StudyWord::kTestP, "p", "p"},
    {StudyWord::kTestPHolm, "p (Holm)", "p (Холм)"},
    {StudyWord::kTestEstimate, "Estimate", "Оценка"},
    {StudyWord::kTabSummary, "Summary", "Сводка"},
    {StudyWord::kTabTests, "Tests", "Критерии"},
    {StudyWord::kByGroup, "by group", "по группам"},
    {StudyWord::kByCondition, "by condition", "по условиям"},
    {StudyWord::kChartTitle, "%1 per band", "%1 по полосам"},
    {StudyWord::kNoGroup, "(none)", "(нет)"},
    {StudyWord::kNoRows, "The manifest has no recordings: add files or open a manifest",
     "В списке нет записей: добавьте файлы или откройте список"},
    {StudyWord::kNoOut, "Choose the output folder of the study", "Выберите папку результатов исследования"},
    {StudyWord::kNoMeasure, "Choose at least one measure", "Выберите хотя бы один показатель"},
    {StudyWord::kNeedsPair, "Line %1: the coherence measure needs a bf_file",
     "Строка %1: для когерентности нужен файл BF"},
    {StudyWord::kMarkersColumn,
     "Line %1 gives markers, but the conditions are whole records and no measure takes markers: choose "
     "\"segments between markers\" or clear the markers column",
     "В строке %1 указаны метки, но условия - записи целиком, и метки не нужны ни одному показателю: выберите "
     "«сегменты между метками» или очистите столбец меток"},
    {StudyWord::kSegmentsWhole, "whole records", "записи целиком"},
    {StudyWord::kSegmentsMarkers, "segments between markers", "сегменты между метками"},
    {StudyWord::kSegmentsTyped, "typed segments", "заданные сегменты"},
    {StudyWord::kSegmentsHint, "rest:0:600,cycles:600:1200 or a name,start_s,end_s .csv file",
     "покой:0:600,циклы:600:1200 или файл .csv name,start_s,end_s"},
    {StudyWord::kIntervalHint, "START:END in seconds, or a segment's name", "НАЧАЛО:КОНЕЦ в секундах или имя сегмента"},
    {StudyWord::kBaselineHint, "the 60 s before each onset", "60 с до каждого начала"},
    {StudyWord::kMaximumHint, "none", "нет"},
    {StudyWord::kBadInterval, "%1: '%2' is neither START:END in seconds (0 <= START < END) nor a segment's name",
     "%1: «%2» - не НАЧАЛО:КОНЕЦ в секундах (0 <= НАЧАЛО < КОНЕЦ) и не имя сегмента"},
    {StudyWord::kHeatingList, "Heating phase: give START:END intervals or one segment's name, not '%1'",
     "Фаза нагрева: укажите интервалы НАЧАЛО:КОНЕЦ или одно имя сегмента, а не «%1»"},
    {StudyWord::kNoTypedSegments, "Typed segments: give NAME:START:END,... or a name,start_s,end_s .csv file",
     "Заданные сегменты: укажите ИМЯ:НАЧАЛО:КОНЕЦ,... или файл .csv name,start_s,end_s"},
    {StudyWord::kTypedSegments, "Typed segments: %1", "Заданные сегменты: %1"},
    {StudyWord::kNoMarkersInRecord, "%1: the record has no markers to cut its segments",
     "%1: у записи нет меток, по которым делить её на сегменты"},
    {StudyWord::kNoSegmentForBaseline, "%1: no segment '%2' for the baseline", "%1: нет сегмента «%2» для исходного уровня"},
    {StudyWord::kNoSegmentForMaximum, "%1: no segment '%2' for the maximum", "%1: нет сегмента «%2» для максимума"},
    {StudyWord::kNoSegmentForHeating, "%1: no segment '%2' for the heating measures",
     "%1: нет сегмента «%2» для показателей нагрева"},
    {StudyWord::kResponseBand, "response", "реакция"},
    {StudyWord::kReportCounts, "Kelvora %1; %2 recordings in the tables, %3 without a result",
     "Kelvora %1; записей в таблицах: %2, без результата: %3"},
    {StudyWord::kReportMethod1,
     "Median and quartiles by linear interpolation (type 7); SD with n - 1. Tests two-sided; p exact without ties "
     "up to n = 50,",
     "Медиана и квартили линейной интерполяцией (тип 7); СКО с n - 1. Критерии двусторонние; p точное без связей "
     "до n = 50,"},
    {StudyWord::kReportMethod2,
     "else normal with tie and continuity corrections; p (Holm) over the bands of one measure and comparison.",
     "иначе нормальное приближение с поправками на связи и непрерывность; p (Холм) по полосам одного показателя и "
     "сравнения."},
    {StudyWord::kDone, "%1 recordings: %2 computed, %3 reused, %4 failed",
     "Записей: %1; рассчитано %2, взято готовыми %3, с ошибкой %4"},
    {StudyWord::kLine, "Line %1: %2", "Строка %1: %2"},
    {StudyWord::kNotRun, "not run (stopped)", "не рассчитана (остановлено)"},
    {StudyWord::kNoResultFile, "its result file is missing or broken", "файл её результата отсутствует или испорчен"},
    {StudyWord::kNoResult, "No study result yet: run the study first",
     "Результатов исследования ещё нет: сначала запустите его"},
    {StudyWord::kBadRate, "File rate must be a whole number of hertz from 1 to 1000000",
     "Частота файла должна быть целым числом герц от 1 до 1000000"},
    {StudyWord::kEmptyCell, "Row %1: '%2' is empty", "Строка %1: поле «%2» пусто"},
    {StudyWord::kOpenTitle, "Open a study manifest", "Открыть список исследования"},
    {StudyWord::kSaveTitle, "Save the study manifest", "Сохранить список исследования"},
    {StudyWord::kAddTitle, "Add recordings", "Добавить записи"},
    {StudyWord::kOutTitle, "Output folder of the study", "Папка результатов исследования"},
    {StudyWord::kReportTitle, "Study page report (PDF)", "Отчёт страницы исследования (PDF)"},
    {StudyWord::kManifestFilter, "Study manifest (*.csv);;All files (*)", "Список исследования (*.csv);;Все файлы (*)"},
    {StudyWord::kReportHeading, "Study", "Исследование"},
    {StudyWord::kMoreProblems, "... and %1 more recordings without a result", "... и ещё записей без результата: %1"},
};

}  // namespace

QString StudyText(StudyWord word, Language language) {
  for (const StudyWordText& entry : kStudyWords)
    if (entry.word == word) return Pick(language, entry.english, entry.russian);
  return {};
}

QString StudyMeasureLabel(const std::string& measure, Language language) {
  struct Name {
    const char* key;
    const char* english;
    const char* russian;
  };
  static const Name kNames[] = {
      {"amplitude", "amplitude", "амплитуда"},
      {"power", "power", "мощность"},
      {"rel_amplitude", "relative amplitude", "отн. амплитуда"},
      {"rel_power", "relative power", "отн. мощность"},
      {"coherence", "coherence", "когерентность"},
      {"threshold", "surrogate threshold", "порог суррогатов"},
      {"residual_coherence", "residual coherence", "остаточная когерентность"},
      {"significant_share", "significant share", "доля значимых"},
      {"lag_s", "lag, s", "задержка, с"},
      {"depth_mm", "depth, mm", "глубина, мм"},
      {"intersubject_coherence", "inter-subject level", "межсубъектный уровень"},
      {"residual_intersubject", "coherence less inter-subject level", "когерентность минус межсубъектный уровень"},
      {"baseline", "baseline", "исходный уровень"},
      {"biological_zero", "biological zero", "биологический ноль"},
      {"peak", "peak", "пик"},
      {"time_to_peak_s", "time to peak, s", "время до пика, с"},
      {"peak_pct_baseline", "peak, % of baseline", "пик, % исходного"},
      {"peak_minus_bz", "peak - biological zero", "пик - биологический ноль"},
      {"hyperaemic_area", "hyperaemic area", "площадь гиперемии"},
      {"repayment", "repayment", "возмещение долга"},
      {"t50_s", "t50, s", "t50, с"},
      {"initial_peak", "initial peak", "начальный пик"},
      {"nadir", "nadir", "минимум"},
      {"plateau", "plateau", "плато"},
      {"initial_peak_pct_max", "initial peak, % of max", "начальный пик, % максимума"},
      {"plateau_pct_max", "plateau, % of max", "плато, % максимума"},
  };
  const bool bloodFlow = measure.rfind("bf_", 0) == 0;
  const std::string key = bloodFlow ? measure.substr(3) : measure;
  for (const Name& name : kNames)
    if (key == name.key) return (bloodFlow ? QStringLiteral("BF ") : QString()) + Pick(language, name.english, name.russian);
  return QString::fromStdString(measure);
}

QString StudyTestLabel(const std::string& test, Language language) {
  if (test == "wilcoxon_signed_rank_exact")
    return Pick(language, "Wilcoxon signed-rank, exact", "Уилкоксон, точный");
  if (test == "wilcoxon_signed_rank_normal")
    return Pick(language, "Wilcoxon signed-rank, normal", "Уилкоксон, нормальное прибл.");
  if (test == "mann_whitney_u_exact") return Pick(language, "Mann-Whitney U, exact", "Манн-Уитни U, точный");
  if (test == "mann_whitney_u_normal") return Pick(language, "Mann-Whitney U, normal", "Манн-Уитни U, нормальное прибл.");
  return QString::fromStdString(test);
}

QString StudyComparisonLabel(const std::string& comparison, Language language) {
  QString text = QString::fromStdString(comparison);
  if (language == Language::Russian)
    text.replace(QStringLiteral(" vs "), QStringLiteral(" против ")).replace(QStringLiteral(" in "), QStringLiteral(" при "));
  return text;
}

QString StudyManifestErrorText(const ManifestError& error, Language language) {
  const QString at = Pick(language, "Line %1: ", "Строка %1: ").arg(error.line);
  const QString column = QString::fromStdString(error.column);
  const QString text = QString::fromStdString(error.text);
  switch (error.kind) {
    case ManifestErrorKind::kEmpty:
      return Pick(language, "The manifest is empty: it needs a header line (subject,...,file,...)",
                  "Список пуст: нужна строка заголовка (subject,...,file,...)");
    case ManifestErrorKind::kUnknownColumn:
      return at + Pick(language, "unknown column '%1' (subject, group, condition, file, bf_file, column, channel, "
                                 "fs, markers)",
                       "неизвестный столбец «%1» (subject, group, condition, file, bf_file, column, channel, fs, "
                       "markers)")
                      .arg(column);
    case ManifestErrorKind::kDuplicateColumn:
      return at + Pick(language, "column '%1' given twice", "столбец «%1» указан дважды").arg(column);
    case ManifestErrorKind::kMissingColumn:
      return at + Pick(language, "the header has no column '%1'", "в заголовке нет столбца «%1»").arg(column);
    case ManifestErrorKind::kBadQuotes:
      return at + Pick(language, "a quoted field is not closed or has text after its quote",
                       "поле в кавычках не закрыто или после кавычки есть текст");
    case ManifestErrorKind::kFieldCount:
      return at + Pick(language, "%1 fields, but the header has another number",
                       "полей %1, а в заголовке другое число")
                      .arg(error.count);
    case ManifestErrorKind::kEmptyField:
      return at + Pick(language, "'%1' is empty", "поле «%1» пусто").arg(column);
    case ManifestErrorKind::kBadRate:
      return at + Pick(language, "fs '%1' is not a whole number of hertz from 1 to 1000000",
                       "fs «%1» не целое число герц от 1 до 1000000")
                      .arg(text);
    case ManifestErrorKind::kSubjectInTwoGroups:
      return at + Pick(language, "the subject is in group '%1' here but in another group on line %2",
                       "испытуемый здесь в группе «%1», а в строке %2 в другой")
                      .arg(text)
                      .arg(error.otherLine);
    case ManifestErrorKind::kDuplicateRecording:
      return at + Pick(language, "the subject has condition '%1' on line %2 already",
                       "у испытуемого уже есть условие «%1» в строке %2")
                      .arg(text)
                      .arg(error.otherLine);
    case ManifestErrorKind::kNoRecordings:
      return Pick(language, "The manifest has a header but no recording", "В списке есть заголовок, но нет записей");
  }
  return at;
}

QString StudyErrorText(const StudyError& error, const AnalysisOptions& options, Language language) {
  const QString path = QString::fromStdString(error.path) + QStringLiteral(": ");
  switch (error.kind) {
    case StudyErrorKind::kUnreadable:
      return path + Pick(language, "the file cannot be read", "файл не читается");
    case StudyErrorKind::kLoad:
      return error.message.empty() ? path + Pick(language, "the record cannot be read", "запись не читается")
                                   : QString::fromStdString(error.message);
    case StudyErrorKind::kAnalysis: return path + AnalysisErrorText(error.analysis, options, language);
    case StudyErrorKind::kCoherence: return path + CoherenceErrorText(error.coherence, options, language);
    case StudyErrorKind::kNeedsPair:
      return Pick(language, "the coherence measure needs a bf_file for this recording",
                  "для когерентности этой записи нужен файл BF");
    case StudyErrorKind::kOtherRate:
      return path + Pick(language, "its rate differs from the BF record of manifest line %1",
                         "её частота отличается от частоты записи BF строки %1")
                        .arg(error.otherLine);
    case StudyErrorKind::kWrite: return path + QString::fromStdString(error.message);
    case StudyErrorKind::kStopped: return StoppedText(language);
    case StudyErrorKind::kMeasure:
      if (error.measure.kind == MeasureErrorKind::kNonFiniteSample)
        return path + Pick(language, "sample %1 is not a finite number", "отсчёт %1 не является конечным числом")
                          .arg(error.measure.sample + 1);
      return path + Pick(language, "the record cannot be measured", "запись нельзя измерить");
  }
  return path;
}

QString MarkerFileErrorText(const MarkerFileError& error, Language language) {
  const QString file = QString::fromStdString(error.path);
  const QString at = error.line > 0 ? file + QStringLiteral(":%1").arg(error.line) : file;
  const QString field = error.field > 0 ? Pick(language, "field %1: ", "поле %1: ").arg(error.field) : QString();
  const QString text = QString::fromStdString(error.text);
  switch (error.kind) {
    case MarkerFileErrorKind::kMissingFile: return file + Pick(language, ": no such file", ": нет такого файла");
    case MarkerFileErrorKind::kCannotOpen:
      return file + Pick(language, ": cannot be read: ", ": не читается: ") + QString::fromStdString(error.reason);
    case MarkerFileErrorKind::kCannotWrite:
      return file + Pick(language, ": cannot be written: ", ": не записывается: ") + QString::fromStdString(error.reason);
    case MarkerFileErrorKind::kFieldCount:
      return at + Pick(language, ": %1 fields where %2 are expected: '%3'", ": полей %1, а ожидается %2: «%3»")
                      .arg(error.count)
                      .arg(error.expected == 3 ? QStringLiteral("time_s,label[,duration_s] | name,start_s,end_s")
                                               : QString::number(error.expected))
                      .arg(text);
    case MarkerFileErrorKind::kBadTime:
      return at + QStringLiteral(": ") + field +
             Pick(language, "'%1' is not a time in seconds >= 0", "«%1» - не время в секундах >= 0").arg(text);
    case MarkerFileErrorKind::kBadDuration:
      return at + QStringLiteral(": ") + field +
             Pick(language, "'%1' is not a duration in seconds >= 0", "«%1» - не длительность в секундах >= 0").arg(text);
    case MarkerFileErrorKind::kEmptyLabel:
      return at + QStringLiteral(": ") + field + Pick(language, "the label is empty", "название пусто");
    case MarkerFileErrorKind::kBadInterval:
      return error.line > 0 ? at + Pick(language, ": the end is not after the start", ": конец не после начала")
                            : Pick(language, "segment '%1': the end is not after the start",
                                   "сегмент «%1»: конец не после начала")
                                  .arg(text);
    case MarkerFileErrorKind::kBadItem:
      return Pick(language, "segment '%1' is not NAME:START:END (seconds >= 0)",
                  "сегмент «%1» не в виде ИМЯ:НАЧАЛО:КОНЕЦ (секунды >= 0)")
          .arg(text);
    case MarkerFileErrorKind::kNonFiniteTime:
      return file + Pick(language, ": marker %1 has no finite time: not written",
                         ": у метки %1 нет конечного времени: не записано")
                        .arg(error.count + 1);
    case MarkerFileErrorKind::kNoSuchColumn:
      return file + Pick(language, ": no marker column '%1'", ": нет столбца меток «%1»").arg(text);
    case MarkerFileErrorKind::kAmbiguousColumn:
      return file + Pick(language, ": more than one column is named '%1'", ": столбцов с именем «%1» несколько").arg(text);
  }
  return file + Pick(language, ": the markers cannot be read", ": метки не читаются");
}

QString StudyProtocolErrorText(const StudyProtocolError& error, const std::string& path, Language language) {
  const QString file = QString::fromStdString(path);
  const QString name = QString::fromStdString(error.name);
  switch (error.kind) {
    case StudyProtocolErrorKind::kNoMarkers: return StudyText(StudyWord::kNoMarkersInRecord, language).arg(file);
    case StudyProtocolErrorKind::kNoSegment:
      return StudyText(error.role == StudyProtocolRole::kBaseline  ? StudyWord::kNoSegmentForBaseline
                       : error.role == StudyProtocolRole::kMaximum ? StudyWord::kNoSegmentForMaximum
                                                                   : StudyWord::kNoSegmentForHeating,
                       language)
          .arg(file, name);
    case StudyProtocolErrorKind::kFinder:
      switch (error.finder.kind) {
        case OcclusionFinderErrorKind::kNonFiniteSample:
          return file + QStringLiteral(": ") +
                 Pick(language, "sample %1 is not a finite number", "отсчёт %1 не является конечным числом")
                     .arg(error.finder.sample + 1);
        case OcclusionFinderErrorKind::kNoReference:
          return file + QStringLiteral(": ") +
                 Pick(language, "the median flux of the first 60 s is not above 0: no occlusion can be found",
                      "медиана потока за первые 60 с не больше 0: окклюзии найти нельзя");
        case OcclusionFinderErrorKind::kNoSamples:
          return file + Pick(language, ": no samples", ": нет отсчётов");
        case OcclusionFinderErrorKind::kBadOptions: break;
      }
      return file + Pick(language, ": the occlusions cannot be found with these settings",
                         ": окклюзии нельзя найти с этими настройками");
  }
  return file;
}

}  // namespace kelvora
