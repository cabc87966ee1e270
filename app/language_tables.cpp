#include "language_tables.h"

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

#include "core/text_helpers.h"

namespace kelvora {

namespace {

using T = TextTarget;

const std::vector<TextEntry> kTable = {
    {"PageControl1", T::PageTitle, 0, "Transform", "Преобразование"},
    {"PageControl1", T::PageTitle, 1, "PPG-->BloodFlow", "ФПГ-->Кровоток"},
    {"PageControl1", T::PageTitle, 2, "Fourier filtration", "Фурье фильтрация"},
    {"PageControl1", T::PageTitle, 3, "Wavelet filtration", "Вейвлет фильтрация"},
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
    {"BtnStop", T::Text, 0, "STOP", "СТОП"},
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

void ApplyEnglish(QWidget* root) { Apply(root, Language::English); }

void ApplyRussian(QWidget* root) { Apply(root, Language::Russian); }

void ApplyLanguage(QWidget* root, Language language) {
  if (language == Language::Russian) {
    ApplyRussian(root);
  } else {
    ApplyEnglish(root);
  }
}

QString CorrelationPrefix(Language language) {
  return language == Language::Russian ? QStringLiteral("Корреляция: ") : QStringLiteral("Correlation: ");
}

QString SourceText(Side side, const QString& source) {
  return (side == Side::Temperature ? QStringLiteral("Temperature: ") : QStringLiteral("  Blood Flow:  ")) + source;
}

QString PointsText(int count) { return QString::number(count) + QStringLiteral(" points"); }

QString CorrelationLabel(Language language, double r, char separator) {
  return CorrelationPrefix(language) + QString::fromStdString(FormatRealText(RoundedCorrelation(r), separator));
}

QString ConvertedAxisTitle(Side side, AxisUnits units) {
  const bool bloodFlow = side == Side::Temperature;  // the temperature side's converted record is BF*
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

}  // namespace kelvora
