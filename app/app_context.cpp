#include "app_context.h"

#include <QCoreApplication>
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

}  // namespace kelvora
