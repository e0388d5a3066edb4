// Framework-private: hands a file or an address to the desktop's opener.
#pragma once
#include <string>

namespace fw::internal {

// Runs `xdg-open target` (looked up on PATH at every call) in the background
// and returns at once: true when it was started. When no opener is found, it
// cannot be started or it ends with a failure, a message box says so
// (kCannotOpen); a failure may be said after the call has returned.
bool OpenWithDesktop(const std::string& target);

}  // namespace fw::internal
