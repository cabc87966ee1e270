#pragma once
// Files dropped on a widget: a small event filter that accepts a drag of local files and hands the first file
// to the widget's owner, so every chart that opens records takes drops the same way.
#include <QObject>
#include <QString>
#include <functional>

class QMimeData;
class QWidget;

namespace kelvora {

// The first local file a drag carries, or an empty text when it carries none.
QString DroppedFilePath(const QMimeData* mime);

class FileDrop : public QObject {
  Q_OBJECT

 public:
  using Handler = std::function<void(const QString& path)>;

  // Makes `target` take drops of local files (for a scroll area such as a chart view, its viewport) and calls
  // `handler` with the dropped file after the drop has ended. The filter is a child of `target`.
  static FileDrop* Install(QWidget* target, Handler handler);

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  FileDrop(QObject* parent, Handler handler);

  Handler m_handler;
};

}  // namespace kelvora
