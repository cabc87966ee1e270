// The desktop program: the splash window, then the main window.
#include <QApplication>

#include "main_window.h"
#include "splash_window.h"

int main(int argc, char* argv[]) {
  QApplication app(argc, argv);
  QApplication::setApplicationName(QStringLiteral("Kelvora"));
  kelvora::TForm1 window;
  {
    kelvora::TLogo logo;
    logo.exec();
  }
  window.showAtStart();
  return app.exec();
}
