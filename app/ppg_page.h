#pragma once
// Page of the main window: the PPG to blood-flow workspace.
#include <QWidget>

namespace kelvora {

class AppContext;

// One page of PageControl1 (object name "TabSheet3"). It reads options, the session and the progress area through
// the shared context and keeps its own controls. UI thread only.
class PpgPage : public QWidget {
  Q_OBJECT

 public:
  PpgPage(AppContext* context, QWidget* parent = nullptr);

  // Loads the example photoplethysmogram 1 or 2 (menu items "Example PPG 1", "Example PPG 2").
  void loadExample(int number);

 protected:
  AppContext* m_context;
};

}  // namespace kelvora
