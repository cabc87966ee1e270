#pragma once
// The main window's run-progress area: ProgressBarP, Label13, Progress, BtnStop and the two status-bar panels.
#include <QObject>
#include <QTimer>
#include <atomic>
#include <memory>
#include <mutex>
#include <string>

#include "core/progress.h"

class QLabel;
class QProgressBar;
class QPushButton;

namespace kelvora {

// A ProgressSink that computations on any thread report into. The values are only stored; RunProgress shows
// them on the UI thread. stopRequested() is true once BtnStop was pressed or the window is closing.
class SharedProgressSink : public ProgressSink {
 public:
  void setRange(long long minimum, long long maximum) override;
  void setPosition(long long position) override;
  void setText(const std::string& text) override;
  bool stopRequested() const override { return m_stop.load(); }

  void requestStop() { m_stop.store(true); }
  void reset();

  long long minimum() const { return m_minimum.load(); }
  long long maximum() const { return m_maximum.load(); }
  long long position() const { return m_position.load(); }
  std::string text() const;

 private:
  std::atomic<long long> m_minimum{0};
  std::atomic<long long> m_maximum{100};
  std::atomic<long long> m_position{0};
  std::atomic<bool> m_stop{false};
  mutable std::mutex m_textMutex;
  std::string m_text;
};

// Shows the progress of one long run at a time. begin() resets the sink, enables BtnStop and starts showing the
// progress (every 50 ms); end() shows the final state, disables BtnStop and stops. BtnStop sets the stop request. UI
// thread only, except sink().
class RunProgress : public QObject {
  Q_OBJECT

 public:
  RunProgress(QProgressBar* bar, QLabel* percentLabel, QLabel* progressLabel, QPushButton* stopButton,
              QLabel* statusPanel0, QLabel* statusPanel1, QObject* parent = nullptr);

  // The sink to hand to the computation. Valid for the life of this object.
  SharedProgressSink& sink() { return *m_sink; }

  void begin();
  void end();
  bool isRunning() const { return m_running; }
  // Asks the running computation to stop (BtnStop, window close).
  void requestStop() { m_sink->requestStop(); }

  // Text of status-bar panel 0 or 1.
  void setStatusText(int panel, const QString& text);

  QProgressBar* bar() const { return m_bar; }
  QLabel* percentLabel() const { return m_percent; }
  QLabel* progressLabel() const { return m_progress; }
  QPushButton* stopButton() const { return m_stop; }

 signals:
  void stopPressed();

 private:
  void show();

  std::unique_ptr<SharedProgressSink> m_sink = std::make_unique<SharedProgressSink>();
  QProgressBar* m_bar;
  QLabel* m_percent;
  QLabel* m_progress;
  QPushButton* m_stop;
  QLabel* m_panels[2];
  QTimer m_timer;
  bool m_running = false;
};

}  // namespace kelvora
