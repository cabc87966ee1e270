#pragma once
// Key filter of the band edits (EditS1..EditS4 and the like).
#include <QObject>

namespace kelvora {

// Installed on a line edit: lets through only the digits 0-9, the locale's decimal separator, Backspace and
// Enter; every other key that would type text is dropped. Keys that type nothing (arrows, Home, End, Delete,
// Tab) keep working. Enter (Return or the keypad's Enter) emits enterPressed(edit) and is consumed.
class BandEditFilter : public QObject {
  Q_OBJECT

 public:
  explicit BandEditFilter(QObject* parent = nullptr) : QObject(parent) {}

  // True when `key`/`text` of a key press may reach the edit.
  static bool accepts(int key, const QString& text);

 signals:
  void enterPressed(QObject* edit);

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;
};

}  // namespace kelvora
