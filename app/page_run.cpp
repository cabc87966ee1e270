#include "page_run.h"

#include <QPointer>
#include <QPushButton>

#include "app_context.h"
#include "run_progress.h"
#include "task_runner.h"

namespace kelvora {

bool StartPageRun(AppContext* context, QObject* owner, bool busy, std::function<std::function<void()>()> work) {
  TaskRunner* runner = context->runner();
  if (busy || !runner || runner->isBusy()) return false;
  QPointer<QObject> guard(owner);
  const bool started = runner->start([guard, work = std::move(work)]() -> TaskRunner::Continuation {
    std::function<void()> finish = work();
    return [guard, finish = std::move(finish)] {
      if (guard && finish) finish();
    };
  });
  if (!started) return false;
  if (RunProgress* progress = context->progress()) progress->begin();
  return true;
}

void EndPageRun(AppContext* context) {
  if (RunProgress* progress = context->progress(); progress && progress->isRunning()) {
    progress->end();
    progress->stopButton()->setEnabled(false);
  }
}

}  // namespace kelvora
