#pragma once
// The help panel HelpPanel: a movable 601 x 425 panel inside the main window with the help text.
#include <QFrame>

class QPlainTextEdit;
class QPushButton;

namespace kelvora {

// Shows Help.txt or HelpRus.txt from the program's folder. Each file is read only when the other language's
// text (or nothing) is loaded; showing it again in the same language reuses the loaded text. UI thread only.
class HelpPanel : public QFrame {
  Q_OBJECT

 public:
  explicit HelpPanel(QWidget* parent);

  static constexpr int kWidth = 601;
  static constexpr int kHeight = 425;

  // Loads the text of `russian`'s language when it is not loaded yet, then shows and raises the panel.
  // Returns false, showing nothing and changing no flag, when the file cannot be read (the caller reports
  // "File does not exist").
  bool showHelp(bool russian);

  bool englishLoaded() const { return m_englishLoaded; }
  bool russianLoaded() const { return m_russianLoaded; }
  // How many times a help file was read (for tests).
  int loadCount() const { return m_loadCount; }
  // The folder the help files are read from; the program's folder unless changed (tests).
  void setFolder(const QString& folder) { m_folder = folder; }

  // Places the panel in the middle of its parent's client area.
  void centre();

 protected:
  void mousePressEvent(QMouseEvent* event) override;
  void mouseMoveEvent(QMouseEvent* event) override;
  void mouseReleaseEvent(QMouseEvent* event) override;

 private:
  QPlainTextEdit* m_memo;
  QPushButton* m_close;
  QString m_folder;
  bool m_englishLoaded = false;
  bool m_russianLoaded = false;
  int m_loadCount = 0;
  bool m_moving = false;
  QPoint m_grabOffset;
};

}  // namespace kelvora
