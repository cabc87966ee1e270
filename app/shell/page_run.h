#pragma once
// The background runs of a page: one helper that every page of the window (and any page added later) uses to
// run a computation off the UI thread and show its outcome.
#include <QObject>
#include <functional>

#include "core/progress.h"
#include "shell/app_context.h"

namespace kelvora {

class AppContext;

// Runs a page's computations on the window's task runner (one computation at a time for the whole window) and
// keeps the page's side of it:
//  - busy state: `setBusy(true)` when a run starts, `setBusy(false)` when it has ended in any way (result
//    shown, failed, stopped, dropped), so the page can disable its controls meanwhile; a run of another page
//    holds the one runner too, so `setBusy` follows it as well (nothing of this page can start meanwhile);
//  - the holder: the run's kind (setKind) is the window's run holder while it runs, named in the status bar;
//    a start refused because a run holds the runner says so in the error box; a run ended by STOP is noted as
//    stopped;
//  - run id: every start() begins a new run; the result of a run that was superseded or dropped is never
//    shown, and a run of another page never ends this one;
//  - the page's life: the result is shown only while the page (the helper's parent) exists;
//  - the run display: begin() and end(completed) of the window's progress area (progress bar, percentage,
//    STOP), or the page's own display (setDisplay);
//  - errors: a computation that throws ends the run and its message goes to the error box.
//
// Use: build the work on the UI thread from copies of what the computation needs; it runs on the worker thread
// (touching no widget and nothing of the page) and returns an Outcome whose `show` runs on the UI thread:
//
//   m_run->start([input = copyOfInput, sink = &m_run->sink()]() -> PageRun::Outcome {
//     auto result = std::make_shared<Result>(Compute(input, *sink));
//     return {[this, result] { showResult(*result); }};
//   });
//
// UI thread only, except sink(), which the computation reports into.
class PageRun : public QObject {
  Q_OBJECT

 public:
  // What a finished computation hands back to the UI thread.
  struct Outcome {
    std::function<void()> show;  // shows the result; may be empty
    bool completed = true;       // the computation did its whole work (no refusal): the display may say "done"
  };
  using Work = std::function<Outcome()>;
  // The run display of a page; the default is the window's progress area.
  struct Display {
    std::function<void()> begin;
    // `completed`: the run delivered a completed outcome and no stop was asked for.
    std::function<void(bool completed)> end;
  };

  // `page` owns the helper; `setBusy` (may be empty) follows the busy state.
  PageRun(AppContext* context, QObject* page, std::function<void(bool busy)> setBusy);

  // Starts `work` and returns true; returns false and does nothing while a run of any page is going.
  bool start(Work work);
  // True from start() until the run has ended and its outcome (if any) has been shown.
  bool isBusy() const { return m_running; }
  // The progress sink computations report into and test for a stop request; valid for the window's life.
  ProgressSink& sink() const;
  // Stops this page's running run: `setStopHook`'s function, the stop request, then waits for the computation
  // to return and drops its outcome; the run ends as not completed. Nothing happens when no run of this page is
  // going.
  void supersede();
  // Called by supersede() before it waits (for engines with a stop of their own).
  void setStopHook(std::function<void()> stop) { m_stopHook = std::move(stop); }
  void setDisplay(Display display) { m_display = std::move(display); }
  // The kind of the runs started from now on (the page's default until changed).
  void setKind(RunKind kind) { m_kind = kind; }
  RunKind kind() const { return m_kind; }

 private:
  void end(bool completed);
  void onRunnerIdle();
  void onRunnerFailed(const QString& message);

  AppContext* m_context;
  std::function<void(bool)> m_setBusy;
  std::function<void()> m_stopHook;
  Display m_display;
  RunKind m_kind = RunKind::Load;
  quint64 m_runId = 0;
  bool m_running = false;
};

}  // namespace kelvora
