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

}  // namespace kelvora
