#pragma once
// Files dropped on a widget: a small event filter that accepts a drag of local files and hands the first file
// to the widget's owner, so every chart that opens records takes drops the same way.
#include <QObject>
#include <QString>
#include <QStringList>
#include <functional>

class QMimeData;
class QWidget;

namespace kelvora {

// The first local file a drag carries, or an empty text when it carries none.
QString DroppedFilePath(const QMimeData* mime);
// Every local file a drag carries, in its order.
QStringList DroppedFilePaths(const QMimeData* mime);

class FileDrop : public QObject {
  Q_OBJECT

 public:
  using Handler = std::function<void(const QString& path)>;

  // Makes `target` take drops of local files (for a scroll area such as a chart view, its viewport) and calls
  // `handler` with the dropped file after the drop has ended. The filter is a child of `target`.
  static FileDrop* Install(QWidget* target, Handler handler);
  // The same for a widget that takes every dropped file at once (the Study page's manifest).
  using ManyHandler = std::function<void(const QStringList& paths)>;
  static FileDrop* InstallMany(QWidget* target, ManyHandler handler);

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  FileDrop(QObject* parent, Handler handler);

  Handler m_handler;
  ManyHandler m_many;
};

}  // namespace kelvora
