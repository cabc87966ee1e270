#include "shell/app_context.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QMainWindow>
#include <QMessageBox>

#include "shell/language_tables.h"
#include "shell/task_runner.h"

namespace kelvora {

void AppContext::showError(const QString& message) const {
  if (m_errorInterceptor) {
    m_errorInterceptor(message);
    return;
  }
  QMessageBox box(QMessageBox::Critical, m_language == Language::Russian ? QStringLiteral("Ошибка") : QStringLiteral("Error"), message, QMessageBox::Ok | QMessageBox::Cancel,
                  m_window);
  box.setObjectName(QStringLiteral("ErrorBox"));
  box.exec();
}

bool AppContext::refuseWhileHeld() const {
  if (!m_runner || !m_runner->isBusy()) return false;
  showError(RunRefusedText(m_runHolder, m_language));
  return true;
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
