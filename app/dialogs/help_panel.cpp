#include "dialogs/help_panel.h"

#include <QFile>
#include <QHBoxLayout>
#include <QMouseEvent>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QVBoxLayout>

#include "shell/app_context.h"

namespace kelvora {

HelpPanel::HelpPanel(QWidget* parent) : QFrame(parent), m_folder(AppContext::dataFolder()) {
  setObjectName(QStringLiteral("HelpPanel"));
  setFrameShape(QFrame::Panel);
  setFrameShadow(QFrame::Raised);
  setLineWidth(2);
  setAutoFillBackground(true);
  resize(kWidth, kHeight);
  setCursor(Qt::SizeAllCursor);

  m_memo = new QPlainTextEdit(this);
  m_memo->setObjectName(QStringLiteral("Memo1"));
  m_memo->setReadOnly(true);
  m_memo->setLineWrapMode(QPlainTextEdit::NoWrap);
  m_memo->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
  m_memo->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
  m_memo->viewport()->setCursor(Qt::IBeamCursor);

  m_close = new QPushButton(QStringLiteral("Close"), this);
  m_close->setObjectName(QStringLiteral("BitBtn23"));
  m_close->setCursor(Qt::ArrowCursor);
  connect(m_close, &QPushButton::clicked, this, &QWidget::hide);

  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(8, 8, 8, 8);
  layout->addWidget(m_memo);
  auto* row = new QHBoxLayout;
  row->addStretch();
  row->addWidget(m_close);
  layout->addLayout(row);
  hide();
}

bool HelpPanel::showHelp(bool russian) {
  const bool loaded = russian ? m_russianLoaded : m_englishLoaded;
  if (!loaded) {
    QFile file(m_folder + (russian ? QStringLiteral("/HelpRus.txt") : QStringLiteral("/Help.txt")));
    if (!file.open(QIODevice::ReadOnly)) return false;
    m_memo->setPlainText(QString::fromUtf8(file.readAll()));
    ++m_loadCount;
    m_englishLoaded = !russian;
    m_russianLoaded = russian;
  }
  m_close->setText(russian ? QStringLiteral("Закрыть") : QStringLiteral("Close"));
  centre();
  show();
  raise();
  return true;
}

void HelpPanel::centre() {
  if (!parentWidget()) return;
  const QRect area = parentWidget()->rect();
  move(area.width() / 2 - width() / 2, area.height() / 2 - height() / 2);
}

void HelpPanel::mousePressEvent(QMouseEvent* event) {
  if (event->button() == Qt::LeftButton) {
    m_moving = true;
    m_grabOffset = event->position().toPoint();
  }
}

void HelpPanel::mouseMoveEvent(QMouseEvent* event) {
  if (!m_moving || !parentWidget()) return;
  QPoint target = mapToParent(event->position().toPoint()) - m_grabOffset;
  const QRect area = parentWidget()->rect();
  target.setX(std::clamp(target.x(), area.left() - width() + 40, area.right() - 40));
  target.setY(std::clamp(target.y(), area.top(), area.bottom() - 40));
  move(target);
}

void HelpPanel::mouseReleaseEvent(QMouseEvent*) { m_moving = false; }

}  // namespace kelvora
