// The privileged mount helper: what it and the tools that call it agree on.
//   tavelmorinth-mount mount SIZE_MB   a tmpfs of SIZE_MB MiB at /volumes/Tavelmorinth,
//                                      owned by the caller, mode 0700
//   tavelmorinth-mount unmount         unmounts such a tmpfs of the caller's
#pragma once
#include <string>
#include <vector>

#include "DiskTools.h"

namespace tools {

constexpr const char* kHelperName = "tavelmorinth-mount";
// The mount source that marks a tmpfs as the helper's; only root may mount, so
// nobody else can put a mount with this mark at the fixed path.
constexpr const char* kHelperSource = "tavelmorinth";
constexpr unsigned kHelperSmallestMB = 256;
constexpr unsigned kHelperLargestMB = 4096;

// The helper answers with the tools' exit codes: kExitOK, kExitFailure (refused
// or failed), kExitUsage and kExitBusy.

// The helper beside this program's own file (never looked up on PATH).
std::string HelperPath();

// The helper is there with its privilege and may use it: owned by root, set-user-ID,
// executable for everyone, on a file system that honours set-user-ID.
bool HelperIsSetUp();

// Runs the helper with an empty environment and no shell; its exit code, 1 when it
// could not be run or ended by a signal. Its messages go to our stderr.
int RunHelper(const std::vector<std::string>& args);

}  // namespace tools
