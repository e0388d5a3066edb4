#include "Spawn.h"

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>

#include <cerrno>

namespace fw::internal {

void DefaultSignalsInChild(posix_spawnattr_t& attr) {
    sigset_t all, none;
    sigfillset(&all);
    sigemptyset(&none);
    posix_spawnattr_setsigdefault(&attr, &all);
    posix_spawnattr_setsigmask(&attr, &none);
    posix_spawnattr_setflags(&attr, POSIX_SPAWN_SETSIGDEF | POSIX_SPAWN_SETSIGMASK);
}

int SpawnShell(const char* const* argv, char* const* envp, int outFd, pid_t& pid) {
    return SpawnProgram("/bin/sh", argv, envp, outFd, pid);
}

int SpawnProgram(const char* path, const char* const* argv, char* const* envp, int outFd, pid_t& pid) {
    posix_spawn_file_actions_t actions;
    posix_spawnattr_t attr;
    posix_spawn_file_actions_init(&actions);
    posix_spawnattr_init(&attr);
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    if (outFd >= 0) {
        posix_spawn_file_actions_adddup2(&actions, outFd, 1);
        posix_spawn_file_actions_adddup2(&actions, outFd, 2);
    } else {
        posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
        posix_spawn_file_actions_adddup2(&actions, 1, 2);
    }
    // Whatever else the process holds open (Qt's, curl's) stays out of the child.
    posix_spawn_file_actions_addclosefrom_np(&actions, 3);
    // Default signal handling whatever this process ignores: a closed pipe must
    // end `yes | head` as usual.
    DefaultSignalsInChild(attr);
    const int err = ::posix_spawn(&pid, path, &actions, &attr, const_cast<char* const*>(argv), envp);
    posix_spawn_file_actions_destroy(&actions);
    posix_spawnattr_destroy(&attr);
    return err;
}

int WaitForExit(pid_t pid) {
    int status = 0;
    while (::waitpid(pid, &status, 0) < 0) {
        if (errno != EINTR) return -1;
    }
    if (WIFEXITED(status)) return WEXITSTATUS(status);
    if (WIFSIGNALED(status)) return 128 + WTERMSIG(status);
    return -1;
}

}  // namespace fw::internal
