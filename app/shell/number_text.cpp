#include "shell/number_text.h"

#include <QLocale>
#include <cmath>

namespace kelvora {

QChar DecimalSeparator() {
  static const QChar separator = [] {
    const QString point = QLocale().decimalPoint();
    return point.isEmpty() ? QChar('.') : point.at(0);
  }();
  return separator;
}

char DecimalSeparatorByte() {
  const char c = DecimalSeparator().toLatin1();
  return c ? c : '.';
}

QString FormatOptional(const std::optional<double>& value, int significant) {
  return value && std::isfinite(*value) ? FormatDecimal(*value, significant) : QString();
}

QString FormatDecimal(double value, int significant) {
  QString text = QString::number(value, 'g', significant);
  if (DecimalSeparator() != QChar('.')) text.replace(QChar('.'), DecimalSeparator());
  return text;
}

double ParseDecimal(const QString& text, bool* ok) {
  QString plain = text.trimmed();
  if (DecimalSeparator() != QChar('.')) plain.replace(DecimalSeparator(), QChar('.'));
  bool converted = false;
  const double value = plain.toDouble(&converted);
  const bool good = converted && std::isfinite(value);
  if (ok) *ok = good;
  return good ? value : 0.0;
}

}  // namespace kelvora
