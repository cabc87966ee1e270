#include "shell/signal_messages.h"

#include <QStringList>

#include "core/text_helpers.h"

namespace kelvora {
namespace {

QString Tr(Language language, const char* english, const char* russian) {
  return QString::fromUtf8(language == Language::Russian ? russian : english);
}

}  // namespace

QString ProblemText(const Problem& p, Language l) {
  using K = ProblemKind;
  const QString count = QString::number(p.count);
  const QString limit = QString::number(p.limit);
  const QString path = QString::fromStdString(p.path);
  switch (p.kind) {
    case K::kStopped: return Tr(l, "The computation was stopped", "Вычисление остановлено");
    case K::kRecordEmpty: return Tr(l, "The record to convert is empty", "Преобразуемая запись пуста");
    case K::kRateBelowOne:
      return Tr(l, "The signal frequency must be at least 1 Hz", "Частота сигнала должна быть не меньше 1 Гц");
    case K::kThermalParametersNotPositive:
      return Tr(l, "The thermal-wave parameters must be positive (Lambda, Rho, C)",
                "Параметры тепловой волны должны быть положительными (Lambda, Rho, C)");
    case K::kInputNotANumber:
      return Tr(l, "The record to convert holds a value that is not a number",
                "Преобразуемая запись содержит значение, не являющееся числом");
    case K::kGainTooLarge:
      return Tr(l, "The conversion gave a value that is not a number (the gain is too large)",
                "Преобразование дало значение, не являющееся числом (слишком большое усиление)");
    case K::kResultNotANumber:
      return Tr(l, "The conversion gave a value that is not a number",
                "Преобразование дало значение, не являющееся числом");
    case K::kShitzerTooFewSamples:
      return Tr(l, "Shitzer's model needs at least 4 temperature samples",
                "Модели Шитцера нужно не меньше 4 отсчётов температуры");
    case K::kDerivativeMismatch:
      return Tr(l, "The temperature derivative does not match the temperature record",
                "Производная температуры не соответствует записи температуры");
    case K::kShitzerBloodProductZero:
      return Tr(l, "Shitzer's model is undefined for a blood density or heat capacity of 0",
                "Модель Шитцера не определена при нулевой плотности или теплоёмкости крови");
    case K::kShitzerArterialTemperature:
      return Tr(l, "Shitzer's model is undefined for a temperature of exactly 37 °C (sample %1)",
                "Модель Шитцера не определена при температуре ровно 37 °C (отсчёт %1)")
          .arg(count);
    case K::kShitzerNotANumber:
      return Tr(l, "Shitzer's model gave a value that is not a number",
                "Модель Шитцера дала значение, не являющееся числом");
    case K::kBloodFlowEmpty: return Tr(l, "The blood-flow record is empty", "Запись кровотока пуста");
    case K::kStartTemperatureNotANumber:
      return Tr(l, "The start temperature T0 is not a number", "Начальная температура T0 не является числом");
    case K::kShitzerConstantBloodFlow:
      return Tr(l, "Shitzer's model is undefined for a constant blood-flow record",
                "Модель Шитцера не определена для постоянной записи кровотока");
    case K::kShitzerSkinProductZero:
      return Tr(l, "Shitzer's model is undefined for a skin density or heat capacity of 0",
                "Модель Шитцера не определена при нулевой плотности или теплоёмкости кожи");
    case K::kWaveletNotRun: return Tr(l, "The wavelet run did not take place", "Вейвлет-расчёт не выполнен");
    case K::kSignalEmpty: return Tr(l, "The signal is empty", "Сигнал пуст");
    case K::kSignalNotFinite:
      return Tr(l, "The signal holds a value that is not a finite number",
                "Сигнал содержит значение, не являющееся конечным числом");
    case K::kNoSignal: return Tr(l, "No signal loaded", "Сигнал не загружен");
    case K::kBandNotFinite:
      return Tr(l, "The band frequencies must be finite and not negative",
                "Частоты полосы должны быть конечными и неотрицательными");
    case K::kTissueNotPositive:
      return Tr(l, "The tissue parameters must be positive", "Параметры ткани должны быть положительными");
    case K::kForwardOnlyNoConversion:
      return Tr(l, "A forward-only run has no conversion", "Расчёт только прямого преобразования не даёт пересчёта");
    case K::kFilteredNotFinite:
      return Tr(l, "The filtered signal holds a value that is not a finite number",
                "Отфильтрованный сигнал содержит значение, не являющееся конечным числом");
    case K::kCannotWriteFile:
      return Tr(l, "Cannot write the file %1 (%2)", "Не удаётся записать файл %1 (%2)")
          .arg(path, QString::fromStdString(p.reason));
    case K::kWaveletTooLong:
      return Tr(l, "The signal has %1 points; the wavelet transform holds at most %2 points",
                "В сигнале %1 точек; вейвлет-преобразование вмещает не больше %2 точек")
          .arg(count, limit);
    case K::kConversionParametersNotFinite:
      return Tr(l, "The conversion parameters must be finite numbers",
                "Параметры преобразования должны быть конечными числами");
    case K::kDepthNotFinite: return Tr(l, "The depth must be a finite number", "Глубина должна быть конечным числом");
    case K::kWaveletResultNotFinite:
      return Tr(l, "The conversion gave a value that is not a finite number",
                "Преобразование дало значение, не являющееся конечным числом");
    case K::kSideNotLoaded:
      return p.bloodFlow ? Tr(l, "No blood-flow record is loaded", "Запись кровотока не загружена")
                         : Tr(l, "No temperature record is loaded", "Запись температуры не загружена");
    case K::kSideEmpty:
      return p.bloodFlow ? Tr(l, "The blood-flow record is empty", "Запись кровотока пуста")
                         : Tr(l, "The temperature record is empty", "Запись температуры пуста");
    case K::kNothingToSave:
      return p.bloodFlow ? Tr(l, "There is no T* to save", "Нет T* для сохранения")
                         : Tr(l, "There is no BF* to save", "Нет BF* для сохранения");
    case K::kOutputNeeds:
      return p.bloodFlow ? Tr(l, "Output T needs the measured T and the computed T*",
                              "Для вывода T нужны измеренная T и вычисленная T*")
                         : Tr(l, "Output BF needs the measured BF and the computed BF*",
                              "Для вывода BF нужны измеренный BF и вычисленный BF*");
    case K::kWaveletUnavailable:
      return Tr(l, "Wavelet conversion is not available yet", "Вейвлет-преобразование пока недоступно");
    case K::kRecordNoSamples: return Tr(l, "The record has no samples", "В записи нет отсчётов");
    case K::kRecordTooBig: return Tr(l, "Big file - points > %1", "Большой файл - точек > %1").arg(limit);
    case K::kRecordNotANumber:
      return Tr(l, "The record holds a value that is not a number",
                "Запись содержит значение, не являющееся числом");
    case K::kRecordNotNormalized:
      return Tr(l, "The record has no normalized values", "В записи нет нормированных значений");
    case K::kSessionBusy:
      return Tr(l, "Another computation of the Transform page is still running",
                "Другое вычисление страницы преобразования ещё выполняется");
    case K::kDidNotRun: return Tr(l, "The computation did not run", "Вычисление не выполнялось");
    case K::kNoBloodFlowSamples:
      return Tr(l, "There are no blood-flow samples to take over", "Нет отсчётов кровотока для переноса");
    case K::kBloodFlowSamplesNotANumber:
      return Tr(l, "The blood-flow samples hold a value that is not a number",
                "Отсчёты кровотока содержат значение, не являющееся числом");
    case K::kNotWaveletFiltered:
      return Tr(l, "The record is not wavelet-filtered: the wavelet method holds at most %1 samples",
                "Запись не отфильтрована вейвлетом: вейвлет-метод вмещает не больше %1 отсчётов")
          .arg(limit);
    case K::kWaveletFilterBad:
      return Tr(l, "The wavelet filter gave a record of the wrong length or a value that is not a number",
                "Вейвлет-фильтр дал запись неверной длины или значение, не являющееся числом");
    case K::kBandFilterBusy: return Tr(l, "The band filter is already running", "Полосовой фильтр уже работает");
    case K::kCannotFilter:
      return Tr(l, "The record cannot be filtered: it is empty or holds a value that is not a number",
                "Запись нельзя отфильтровать: она пуста или содержит значение, не являющееся числом");
    case K::kWrongLength:
      return Tr(l, "The conversion gave a record of the wrong length", "Преобразование дало запись неверной длины");
    case K::kNotAValue:
      return Tr(l, "'%1' is not a valid floating point value", "'%1' не является допустимым числом")
          .arg(QString::fromStdString(p.text));
    case K::kCorrelationNeeds:
      return Tr(l, "The correlation needs the measured and the computed record",
                "Для корреляции нужны измеренная и вычисленная записи");
    case K::kCorrelationUndefined:
      return Tr(l, "The correlation is undefined: a record is constant or shorter than two samples",
                "Корреляция не определена: запись постоянна или короче двух отсчётов");
    case K::kMissingFile: return Tr(l, "File %1 does not exist", "Файл %1 не существует").arg(path);
    case K::kBigFile: {
      // The single-number layout of the program's records has a trailing blank, the TAB layout none.
      QString text = Tr(l, "Big file - points > %1", "Большой файл - точек > %1").arg(limit);
      if (p.limit == kMaxRecordSamples && !p.tabLayout) text += QLatin1Char(' ');
      return text;
    }
  }
  return QString();
}

QString NoticesText(const std::vector<Problem>& notices, Language language) {
  QStringList lines;
  for (const Problem& notice : notices) {
    const QString line = ProblemText(notice, language);
    if (!line.isEmpty()) lines << line;
  }
  return lines.join(QLatin1Char('\n'));
}

QString FileErrorText(const SignalFileError& error, Language l) {
  QString text = QString::fromStdString(EscapeBytes(error.path, true));
  if (error.line > 0) text += QLatin1Char(':') + QString::number(error.line);
  text += QStringLiteral(": ");
  switch (error.kind) {
    case SignalFileErrorKind::kMissingFile: text += Tr(l, "File does not exist", "Файл не существует"); break;
    case SignalFileErrorKind::kCannotOpen: text += Tr(l, "Cannot open file", "Не удаётся открыть файл"); break;
    case SignalFileErrorKind::kInvalidNumber:
      text += QLatin1Char('\'') + QString::fromStdString(EscapeBytes(error.text)) + QLatin1Char('\'') +
              QLatin1Char(' ') + Tr(l, "is not a valid number", "не является допустимым числом");
      break;
    case SignalFileErrorKind::kCannotWrite: text += Tr(l, "Cannot write file", "Не удаётся записать файл"); break;
    case SignalFileErrorKind::kInvalidValue:
      text += Tr(l, "Value is not a finite number", "Значение не является конечным числом");
      break;
  }
  if (!error.reason.empty()) text += QStringLiteral(" (") + QString::fromStdString(error.reason) + QLatin1Char(')');
  return text;
}

QString BigFileText(const SignalReadResult& read, Language language) {
  return ProblemText(BigFileNotice(read), language);
}

QString ImportedBigFileText(Language language) {
  Problem notice{ProblemKind::kBigFile};
  notice.limit = kMaxRecordSamples;
  notice.tabLayout = true;
  return ProblemText(notice, language);
}

QString SessionErrorText(const SessionResult& result, Language language) {
  if (result.fileError) return FileErrorText(*result.fileError, language);
  return result.error ? ProblemText(*result.error, language) : QString();
}

QString PpgBigFileText(Language language) { return Tr(language, "Big file", "Большой файл"); }

QString PpgEnvelopeText(const PpgEnvelopeResult& r, Language l) {
  using F = PpgEnvelopeFault;
  switch (r.fault) {
    case F::kNone: return QString();
    case F::kNoSamples:
      return Tr(l, "The PPG holds no samples: no envelope computed", "В ФПГ нет отсчётов: огибающая не вычислена");
    case F::kInputRate:
      return Tr(l, "The PPG input rate must be a positive number of Hz",
                "Частота ФПГ должна быть положительным числом Гц");
    case F::kOutputRate:
      return Tr(l, "The output rate must be a positive number of Hz",
                "Выходная частота должна быть положительным числом Гц");
    case F::kNegativeDuration:
      return Tr(l, "The duration must not be negative", "Длительность не может быть отрицательной");
    case F::kPulseRates: return Tr(l, "The pulse rates must be positive", "Частоты пульса должны быть положительными");
    case F::kWindowTooLong:
      return Tr(l, "The lowest pulse rate gives a window longer than the largest PPG",
                "Наименьшая частота пульса даёт окно длиннее наибольшей ФПГ");
    case F::kTooManyOutputs:
      return Tr(l, "Duration x output rate gives more than %1 output samples",
                "Длительность x выходная частота дают больше %1 выходных отсчётов")
          .arg(r.needed);
    case F::kConstantSignal:
      return Tr(l, "All PPG samples are equal (maximum = minimum): the PPG cannot be scaled, no envelope computed",
                "Все отсчёты ФПГ равны (максимум = минимум): ФПГ нельзя масштабировать, огибающая не вычислена");
    case F::kBeatTooShort:
      return Tr(l,
                "One beat at the lowest pulse rate is shorter than 3 PPG samples: raise the input rate or lower the "
                "pulse rate",
                "Один удар при наименьшей частоте пульса короче 3 отсчётов ФПГ: повысьте частоту ФПГ или понизьте "
                "частоту пульса");
    case F::kTooShort:
      return Tr(l, "The PPG is too short for one scan window: it needs at least %1 samples, it holds %2",
                "ФПГ слишком коротка для одного окна поиска: нужно не меньше %1 отсчётов, в ней %2")
          .arg(r.needed)
          .arg(r.held);
    case F::kNoOutput:
      return Tr(l, "Duration x output rate gives no output samples",
                "Длительность x выходная частота не дают ни одного выходного отсчёта");
    case F::kStopped: return Tr(l, "Stopped: no envelope computed", "Остановлено: огибающая не вычислена");
  }
  return QString();
}

QString GridEditMessage(const GridEditResult& result) {
  const QString text = QString::fromStdString(result.text);
  switch (result.fault) {
    case GridEditFault::DotOnCommaSystem:
      return QStringLiteral("Введите \",\", а не \".\"");
    case GridEditFault::NotAnInteger:
      return QStringLiteral("'") + text + QStringLiteral("' is not a valid integer value");
    case GridEditFault::NotAReal:
      return QStringLiteral("'") + text + QStringLiteral("' is not a valid floating point value");
    case GridEditFault::None:
      break;
  }
  return QString();
}

}  // namespace kelvora
