#pragma once
// The interface texts in English and Russian, keyed by object name, and the two routines that apply them.
#include <QString>
#include <vector>

#include "app_context.h"

class QWidget;

namespace kelvora {

// What part of the named object a text goes to.
enum class TextTarget {
  Text,             // caption of a button, check box, radio button, label, group box title, menu or action
  PageTitle,        // title of page `index` of the QTabWidget
  ChartTitle,       // title of the chart view
  ChartBottomAxis,  // title of the chart view's bottom axis
  RadioItem,        // caption of the index-th QRadioButton child of the group box
  TextIfButton2On,  // caption written only while the object "Button2" is enabled
};

struct TextEntry {
  const char* objectName;
  TextTarget target;
  int index;
  const char* english;  // UTF-8
  const char* russian;  // UTF-8
};

// The complete table, in the order the routines write it.
const std::vector<TextEntry>& LanguageTable();

// English routine: checks the menu item "English1", then writes every English text of the table into the
// objects below `root` that carry the names (objects that do not exist are skipped).
void ApplyEnglish(QWidget* root);
// Russian routine: checks "N2", then writes every Russian text.
void ApplyRussian(QWidget* root);
// ApplyEnglish or ApplyRussian.
void ApplyLanguage(QWidget* root, Language language);

// "Correlation: " or "Корреляция: ".
QString CorrelationPrefix(Language language);

// The text of Help -> "About Kelvora": the program, its version and its licence (GPL-3.0-or-later).
QString AboutText(Language language);

}  // namespace kelvora
