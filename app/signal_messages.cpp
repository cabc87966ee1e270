#include "signal_messages.h"

namespace kelvora {

QString SignalErrorText(const SignalFileError& error) {
  const QString message = QString::fromStdString(error.message);
  const QString path = QString::fromStdString(error.path);
  switch (error.kind) {
    case SignalFileErrorKind::kInvalidNumber:
      return QStringLiteral("'") + QString::fromStdString(error.text) + QStringLiteral("' ") + message +
             QStringLiteral(" (line ") + QString::number(error.line) + QStringLiteral(")");
    case SignalFileErrorKind::kInvalidValue:
      return message + QStringLiteral(" (line ") + QString::number(error.line) + QStringLiteral(")");
    case SignalFileErrorKind::kMissingFile:
    case SignalFileErrorKind::kCannotOpen:
    case SignalFileErrorKind::kCannotWrite:
      break;
  }
  return path.isEmpty() ? message : message + QStringLiteral(": ") + path;
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
