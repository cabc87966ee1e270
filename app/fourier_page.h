#pragma once
// Page of the main window: the Fourier filtration workspace.
#include <QWidget>

namespace kelvora {

class AppContext;

// One page of PageControl1 (object name "TabSheet2"). It reads options, the session and the progress area through
// the shared context and keeps its own controls. UI thread only.
class FourierPage : public QWidget {
  Q_OBJECT

 public:
  FourierPage(AppContext* context, QWidget* parent = nullptr);

 protected:
  AppContext* m_context;
};

}  // namespace kelvora
