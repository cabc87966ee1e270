#pragma once
// The main window the page tests drive: on an option.ini of its own in a fresh folder, shown at a given size,
// its error messages collected instead of shown in boxes.
#include <QSize>
#include <QStringList>
#include <QTemporaryDir>
#include <QtTest>
#include <memory>

#include "shell/app_context.h"
#include "shell/main_window.h"

namespace kelvora::test {

// Opens a new window into `window` (its folder into `dir`), clears `errors` and collects into it; false when the
// window was not exposed.
inline bool OpenWindowUnderTest(std::unique_ptr<QTemporaryDir>& dir, std::unique_ptr<TForm1>& window,
                                QStringList& errors, QSize size) {
  dir = std::make_unique<QTemporaryDir>();
  window = std::make_unique<TForm1>(nullptr, dir->filePath(QStringLiteral("option.ini")));
  window->context()->setErrorInterceptor([&errors](const QString& message) { errors << message; });
  errors.clear();
  window->resize(size);
  window->show();
  return QTest::qWaitForWindowExposed(window.get());
}

}  // namespace kelvora::test
