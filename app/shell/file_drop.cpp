#include "shell/file_drop.h"

#include <QAbstractScrollArea>
#include <QDragEnterEvent>
#include <QDragMoveEvent>
#include <QDropEvent>
#include <QMimeData>
#include <QTimer>
#include <QUrl>
#include <QWidget>

namespace kelvora {

QString DroppedFilePath(const QMimeData* mime) {
  if (!mime || !mime->hasUrls()) return {};
  for (const QUrl& url : mime->urls()) {
    if (url.isLocalFile()) return url.toLocalFile();
  }
  return {};
}

QStringList DroppedFilePaths(const QMimeData* mime) {
  QStringList paths;
  if (!mime || !mime->hasUrls()) return paths;
  for (const QUrl& url : mime->urls())
    if (url.isLocalFile()) paths << url.toLocalFile();
  return paths;
}

FileDrop::FileDrop(QObject* parent, Handler handler) : QObject(parent), m_handler(std::move(handler)) {}

FileDrop* FileDrop::Install(QWidget* target, Handler handler) {
  auto* drop = new FileDrop(target, std::move(handler));
  target->setAcceptDrops(true);
  target->installEventFilter(drop);
  if (auto* area = qobject_cast<QAbstractScrollArea*>(target)) {
    area->viewport()->setAcceptDrops(true);
    area->viewport()->installEventFilter(drop);
  }
  return drop;
}

FileDrop* FileDrop::InstallMany(QWidget* target, ManyHandler handler) {
  FileDrop* drop = Install(target, Handler());
  drop->m_many = std::move(handler);
  return drop;
}

bool FileDrop::eventFilter(QObject* watched, QEvent* event) {
  switch (event->type()) {
    case QEvent::DragEnter:
    case QEvent::DragMove: {
      auto* drag = static_cast<QDropEvent*>(event);
      if (DroppedFilePath(drag->mimeData()).isEmpty()) return QObject::eventFilter(watched, event);
      drag->acceptProposedAction();
      return true;
    }
    case QEvent::Drop: {
      auto* drop = static_cast<QDropEvent*>(event);
      const QString path = DroppedFilePath(drop->mimeData());
      if (path.isEmpty()) return QObject::eventFilter(watched, event);
      drop->acceptProposedAction();
      // The drop ends first: the handler may open a modal dialog.
      if (m_many) {
        QTimer::singleShot(0, this, [this, paths = DroppedFilePaths(drop->mimeData())] { m_many(paths); });
      } else {
        QTimer::singleShot(0, this, [this, path] { m_handler(path); });
      }
      return true;
    }
    default:
      return QObject::eventFilter(watched, event);
  }
}

}  // namespace kelvora
