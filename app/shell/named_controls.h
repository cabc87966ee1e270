#pragma once
// Controls created with the object names of the window design (the tests and the language tables find them by
// these names).
#include <QString>

class QLabel;
class QLineEdit;
class QPushButton;
class QWidget;

namespace kelvora {

QPushButton* NamedButton(const char* name, const QString& text, QWidget* parent);
// `width` > 0 fixes the edit's width in pixels.
QLineEdit* NamedEdit(const char* name, const QString& text, QWidget* parent, int width = 0);
QLabel* NamedLabel(const char* name, const QString& text, QWidget* parent);

}  // namespace kelvora
