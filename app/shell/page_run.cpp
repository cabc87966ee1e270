#include "shell/page_run.h"

#include <QPointer>
#include <QTimer>

#include "shell/app_context.h"
#include "shell/run_progress.h"
#include "shell/run_progress_view.h"
#include "shell/task_runner.h"

namespace kelvora {

PageRun::PageRun(AppContext* context, QObject* page, std::function<void(bool busy)> setBusy)
    : QObject(page), m_context(context), m_setBusy(std::move(setBusy)) {
  // Every run shows its elapsed and remaining time in the status bar.
  auto* view = new RunProgressView(context, this);
  m_display.begin = [view] { view->begin(); };
  m_display.end = [view](bool completed) { view->end(completed); };
  if (TaskRunner* runner = m_context->runner()) {
    // The runner says it is idle before it delivers the result; a run whose result never comes (dropped when
    // the window closes, or when its computation threw) is ended once the delivery is over.
    connect(runner, &TaskRunner::busyChanged, this, [this](bool busy) {
      // A run of another page holds the runner: nothing of this page may start meanwhile.
      if (!m_running && m_setBusy) m_setBusy(busy);
      if (busy || !m_running) return;
      QTimer::singleShot(0, this, [this, id = m_runId] {
        if (m_running && id == m_runId) onRunnerIdle();
      });
    });
    connect(runner, &TaskRunner::failed, this, &PageRun::onRunnerFailed);
  }
}

ProgressSink& PageRun::sink() const {
  RunProgress* progress = m_context->progress();
  return progress ? static_cast<ProgressSink&>(progress->sink()) : NullProgress();
}

bool PageRun::start(Work work) {
  TaskRunner* runner = m_context->runner();
  if (!runner) return false;
  if (m_running || runner->isBusy()) {
    m_context->refuseWhileHeld();
    return false;
  }
  // The display resets the stop request before the computation can see it.
  m_display.begin();
  const quint64 id = ++m_runId;
  QPointer<PageRun> self(this);
  const bool started = runner->start([self, id, work = std::move(work)]() -> TaskRunner::Continuation {
    Outcome outcome = work();
    return [self, id, outcome = std::move(outcome)] {
      if (!self || id != self->m_runId || !self->m_running) return;
      self->end(outcome.completed && !self->sink().stopRequested());
      if (outcome.show) outcome.show();
    };
  });
  if (!started) {
    m_display.end(false);
    return false;
  }
  m_running = true;
  m_context->setRunHolder(m_kind);
  if (m_setBusy) m_setBusy(true);
  return true;
}

void PageRun::supersede() {
  if (!m_running) return;
  if (m_stopHook) m_stopHook();
  if (RunProgress* progress = m_context->progress()) progress->requestStop();
  ++m_runId;
  if (TaskRunner* runner = m_context->runner()) runner->cancelAndWait();
  end(false);
}

void PageRun::end(bool completed) {
  m_running = false;
  const bool stopped = sink().stopRequested();
  m_display.end(completed);
  m_context->setRunEnded(stopped);
  if (m_setBusy) m_setBusy(false);
}

void PageRun::onRunnerIdle() {
  TaskRunner* runner = m_context->runner();
  if (runner && runner->isBusy()) return;
  end(false);
}

void PageRun::onRunnerFailed(const QString& message) {
  if (!m_running) return;
  end(false);
  m_context->showError(message);
}

}  // namespace kelvora
