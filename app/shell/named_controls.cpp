#include "shell/named_controls.h"

#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

namespace kelvora {

QPushButton* NamedButton(const char* name, const QString& text, QWidget* parent) {
  auto* button = new QPushButton(text, parent);
  button->setObjectName(QString::fromLatin1(name));
  return button;
}

QLineEdit* NamedEdit(const char* name, const QString& text, QWidget* parent, int width) {
  auto* edit = new QLineEdit(text, parent);
  edit->setObjectName(QString::fromLatin1(name));
  if (width > 0) edit->setFixedWidth(width);
  return edit;
}

QLabel* NamedLabel(const char* name, const QString& text, QWidget* parent) {
  auto* label = new QLabel(text, parent);
  label->setObjectName(QString::fromLatin1(name));
  return label;
}

}  // namespace kelvora
