// Framework-private: hands a file or an address to the desktop's opener.
#pragma once
#include <string>

namespace fw::internal {

// Runs `xdg-open target` (looked up on PATH at every call) as a child of ours
// and returns at once: true when it was started. A thread reaps it when it
// ends. When no opener is found, it cannot be started or it ends with a
// failure, a message box says so (kCannotOpen), a failure after the call has
// returned.
bool OpenWithDesktop(const std::string& target);

}  // namespace fw::internal
