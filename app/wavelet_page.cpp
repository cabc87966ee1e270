#include "wavelet_page.h"

#include <QLabel>
#include <QVBoxLayout>

#include "app_context.h"

namespace kelvora {

WaveletPage::WaveletPage(AppContext* context, QWidget* parent) : QWidget(parent), m_context(context) {
  setObjectName(QStringLiteral("TabSheet4"));
  auto* layout = new QVBoxLayout(this);
  auto* note = new QLabel(QStringLiteral("This page is being prepared."), this);
  note->setAlignment(Qt::AlignCenter);
  layout->addWidget(note);
}

}  // namespace kelvora
