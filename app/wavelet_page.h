#pragma once
// Page of the main window: the wavelet filtration workspace.
#include <QWidget>

namespace kelvora {

class AppContext;

// One page of PageControl1 (object name "TabSheet4"). It reads options, the session and the progress area through
// the shared context and keeps its own controls. UI thread only.
class WaveletPage : public QWidget {
  Q_OBJECT

 public:
  WaveletPage(AppContext* context, QWidget* parent = nullptr);

 protected:
  AppContext* m_context;
};

}  // namespace kelvora
