#include "shell/signal_messages.h"

namespace kelvora {

QString FileErrorText(const SignalFileError& error) { return QString::fromStdString(DescribeFileError(error)); }

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
