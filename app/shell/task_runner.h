#pragma once
// Runs one computation at a time off the UI thread and delivers its result on the UI thread.
#include <QObject>
#include <functional>

class QThread;

namespace kelvora {

// The computation returns a continuation that the UI thread runs when the computation has finished, unless the
// run was superseded (cancel(), or the runner destroyed) in between; a superseded result is dropped. A computation
// that throws gives no continuation: failed() carries the exception's text to the UI thread instead.
// start() refuses a new run while one is going (re-entry is blocked). UI thread only.
class TaskRunner : public QObject {
  Q_OBJECT

 public:
  using Continuation = std::function<void()>;
  using Work = std::function<Continuation()>;

  explicit TaskRunner(QObject* parent = nullptr);
  ~TaskRunner() override;

  // Starts `work` on a worker thread. Returns false (and does nothing) while another run is going.
  bool start(Work work);
  bool isBusy() const { return m_thread != nullptr; }
  // Drops the result of the current run (the computation itself is told to stop through its progress sink by
  // the caller) and waits for the worker thread to end.
  void cancelAndWait();
  // Waits until no run is going, delivering the result of the current run. For tests and shutdown.
  void waitForIdle();

 signals:
  void busyChanged(bool busy);
  // The computation of the run that just ended threw; `message` is its what() text. Emitted after busyChanged.
  void failed(const QString& message);

 private:
  void finish(quint64 generation);

  QThread* m_thread = nullptr;
  quint64 m_generation = 0;
  Continuation m_result;
  QString m_failure;  // what the computation threw; empty when it returned
};

}  // namespace kelvora
