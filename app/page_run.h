#pragma once
// Background runs of the Fourier and PPG pages on the window's task runner.
#include <QObject>
#include <functional>

namespace kelvora {

class AppContext;

// Starts `work` on the task runner unless `busy` is set or the runner is busy, and begins the progress display.
// `work` runs on the worker thread and must not touch widgets; it returns what the user-interface thread does
// with the result, which runs only while `owner` still exists. Returns whether the run started. UI thread only.
bool StartPageRun(AppContext* context, QObject* owner, bool busy, std::function<std::function<void()>()> work);

// Ends the progress display of a page run (the progress bar back to rest, STOP disabled). UI thread only.
void EndPageRun(AppContext* context);

}  // namespace kelvora
