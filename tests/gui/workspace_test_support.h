#pragma once
// Helpers shared by the workspace page tests: signal files, mouse drags on a strip, and a window under test.
#include <QApplication>
#include <QFile>
#include <QMouseEvent>
#include <QString>
#include <QStringList>
#include <QWidget>
#include <vector>

namespace kelvora::test {

// Writes one value per line with "." as the decimal mark and up to 17 digits.
inline bool WriteSamples(const QString& path, const std::vector<double>& values, const QString& header = QString()) {
  QFile file(path);
  if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate)) return false;
  QByteArray text;
  if (!header.isEmpty()) text += header.toUtf8() + '\n';
  for (double v : values) text += QByteArray::number(v, 'g', 17) + '\n';
  return file.write(text) == text.size();
}

inline QStringList ReadLines(const QString& path) {
  QFile file(path);
  if (!file.open(QIODevice::ReadOnly)) return {};
  return QString::fromUtf8(file.readAll()).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
}

// Presses the left button at x, moves to each of `path` and releases at the last point, as the mouse would.
inline void DragAlong(QWidget* widget, int fromX, const std::vector<int>& path, int y = 30) {
  auto send = [&](QEvent::Type type, int x, Qt::MouseButtons buttons) {
    const QPointF local(x, y);
    QMouseEvent event(type, local, widget->mapToGlobal(local),
                      type == QEvent::MouseMove ? Qt::NoButton : Qt::LeftButton, buttons, Qt::NoModifier);
    QApplication::sendEvent(widget, &event);
  };
  send(QEvent::MouseButtonPress, fromX, Qt::LeftButton);
  for (int x : path) send(QEvent::MouseMove, x, Qt::LeftButton);
  send(QEvent::MouseButtonRelease, path.empty() ? fromX : path.back(), Qt::NoButton);
}

}  // namespace kelvora::test
