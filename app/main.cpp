// The desktop program: the splash window, then the main window.
#include <QApplication>
#include <QIcon>

#include "shell/main_window.h"
#include "dialogs/splash_window.h"

int main(int argc, char* argv[]) {
  QApplication app(argc, argv);
  QApplication::setApplicationName(QStringLiteral("Kelvora"));
  QApplication::setApplicationVersion(QStringLiteral(KELVORA_VERSION));
  QApplication::setDesktopFileName(QStringLiteral("kelvora"));
  QApplication::setWindowIcon(QIcon(QStringLiteral(":/icons/kelvora-256.png")));
  kelvora::TForm1 window;
  {
    kelvora::TLogo logo;
    logo.exec();
  }
  window.showAtStart();
  return app.exec();
}
