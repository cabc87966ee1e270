#include "signal_buttons.h"

#include <QStyle>

namespace kelvora {

void MakeSignalButtons(QWidget* parent, const char* openName, const char* saveName, int sampleRateHz,
                       QPushButton*& open, QPushButton*& save) {
  open = new QPushButton(QStringLiteral("Signal"), parent);
  open->setObjectName(QString::fromLatin1(openName));
  open->setIcon(parent->style()->standardIcon(QStyle::SP_DialogOpenButton));
  open->setToolTip(QString::number(sampleRateHz) + QStringLiteral(" Hz"));
  save = new QPushButton(QStringLiteral("Signal"), parent);
  save->setObjectName(QString::fromLatin1(saveName));
  save->setIcon(parent->style()->standardIcon(QStyle::SP_DialogSaveButton));
  save->setToolTip(QStringLiteral("Save the filtered signal"));
  save->setEnabled(false);
}

}  // namespace kelvora
