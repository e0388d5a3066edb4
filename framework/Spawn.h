// Framework-private: starting /bin/sh for Shell, and the desktop's opener.
#pragma once
#include <spawn.h>
#include <sys/types.h>

namespace fw::internal {

// Starts /bin/sh with `argv` and `envp`: stdin from /dev/null, stdout and stderr
// into `outFd` (-1: /dev/null), no other descriptor inherited, default signal
// handling and nothing blocked. 0 or an errno value.
int SpawnShell(const char* const* argv, char* const* envp, int outFd, pid_t& pid);
// The same for the program at `path`.
int SpawnProgram(const char* path, const char* const* argv, char* const* envp, int outFd, pid_t& pid);

// Children start with every signal at its default and none blocked, whatever
// this process ignores or blocks.
void DefaultSignalsInChild(posix_spawnattr_t& attr);

// Waits (through EINTR) for the child: its exit status, 128+n after signal n,
// -1 when no status could be had.
int WaitForExit(pid_t pid);

}  // namespace fw::internal
