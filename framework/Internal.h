// Framework-private glue between its parts.
#pragma once
#include <string>

namespace fw::internal {

// Set by the runtime once a GUI is up: shows a non-blocking message box.
extern void (*gShowUncaughtBox)(const std::string& text);

}  // namespace fw::internal
