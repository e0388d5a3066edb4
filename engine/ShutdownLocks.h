// logind's shut-down locks follow the RAM disk: a shut-down waits while it is
// attached ("delay"), and may not begin while its last write-back runs, a
// quit's or a rebuild's ("block").
#pragma once
#include <string>

// `targetPath`: the RAM disk's shell path. Main thread, asked again at every change.
void HoldShutdownLocksFor(const std::string& targetPath);
