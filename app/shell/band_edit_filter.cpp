#include "shell/band_edit_filter.h"

#include <QKeyEvent>

#include "shell/number_text.h"

namespace kelvora {

bool BandEditFilter::accepts(int key, const QString& text) {
  if (key == Qt::Key_Backspace || key == Qt::Key_Return || key == Qt::Key_Enter) return true;
  if (key == Qt::Key_Delete || key == Qt::Key_Tab || key == Qt::Key_Backtab) return true;
  if (text.isEmpty()) return true;  // navigation and modifier keys type nothing
  if (text.size() != 1) return false;
  const QChar c = text.at(0);
  if (c.isPrint() == false) return false;
  return (c >= QLatin1Char('0') && c <= QLatin1Char('9')) || c == DecimalSeparator();
}

bool BandEditFilter::eventFilter(QObject* watched, QEvent* event) {
  if (event->type() != QEvent::KeyPress) return false;
  auto* key = static_cast<QKeyEvent*>(event);
  if (key->key() == Qt::Key_Return || key->key() == Qt::Key_Enter) {
    emit enterPressed(watched);
    return true;
  }
  // Shortcuts such as Ctrl+A or Ctrl+C type nothing themselves.
  if (key->modifiers() & (Qt::ControlModifier | Qt::MetaModifier)) {
    return key->key() == Qt::Key_V || key->key() == Qt::Key_X;  // no pasting or cutting around the filter
  }
  return !accepts(key->key(), key->text());
}

}  // namespace kelvora
