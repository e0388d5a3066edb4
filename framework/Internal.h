// Framework-private glue between its parts.
#pragma once
#include <string>

namespace fw::internal {

// The program's name as users see it, on dialogs that have no title of their own.
inline constexpr const char* kDialogTitle = "Tavelmorinth";

// Set by the runtime once a GUI is up: shows a non-blocking message box.
extern void (*gShowUncaughtBox)(const std::string& text);
// Set with the GUI runtime: a non-blocking warning box for a failure that comes
// in long after the call, in the middle of anything (any thread).
extern void (*gShowWarningBox)(const std::string& text);
// Set with the GUI runtime: the wait cursor on or off (main thread).
extern void (*gSetWaitCursor)(bool wait);

// The runtime without a screen of its own: `makeApplication` makes the Qt
// application object, the first time only (InitRuntime passes the GUI one).
void StartRuntime(int& argc, char** argv, void (*makeApplication)(int& argc, char** argv));

}  // namespace fw::internal
