// Framework-private glue between its parts.
#pragma once
#include <string>

namespace fw::internal {

// The program's name as users see it, on dialogs that have no title of their own.
inline constexpr const char* kDialogTitle = "Tavelmorinth";

// Set by the runtime once a GUI is up: shows a non-blocking message box.
extern void (*gShowUncaughtBox)(const std::string& text);

}  // namespace fw::internal
