#include "shell/app_context.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QMainWindow>
#include <QMessageBox>

namespace kelvora {

void AppContext::showError(const QString& message) const {
  if (m_errorInterceptor) {
    m_errorInterceptor(message);
    return;
  }
  QMessageBox box(QMessageBox::Critical, QStringLiteral("Error"), message, QMessageBox::Ok | QMessageBox::Cancel,
                  m_window);
  box.setObjectName(QStringLiteral("ErrorBox"));
  box.exec();
}

QString AppContext::programFolder() { return QCoreApplication::applicationDirPath(); }

QString AppContext::dataFolder() { return dataFolderFor(programFolder()); }

QString AppContext::dataFolderFor(const QString& own) {
  if (QFileInfo::exists(own + QStringLiteral("/Examples")) || QFileInfo::exists(own + QStringLiteral("/Help.txt")))
    return own;
  const QString installed = QDir::cleanPath(own + QStringLiteral("/../share/kelvora"));
  return QFileInfo::exists(installed) ? installed : own;
}

}  // namespace kelvora
