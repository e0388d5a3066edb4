// Framework-private glue between the application object and the Qt event loop.
#pragma once
#include <functional>

namespace fw::internal {

// True on the thread that called InitRuntime (and before the runtime is up).
bool OnMainThread();
// Runs fn on the main thread from its event loop (at once when there is no runtime).
void PostToMain(std::function<void()> fn);
// Ends the running event loop with `code`; when none runs, the next RunEventLoop
// returns `code` at once. Main thread only.
void EndLoop(int code);
// Registers the end-without-teardown handler again (when one is set), so that it
// runs before the destructors of statics made since; called as threads end, a
// bounded number of times.
void RegisterEndHandlerAgain();

}  // namespace fw::internal
