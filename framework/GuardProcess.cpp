#include "GuardProcess.h"

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/file.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <mutex>
#include <thread>
#include <vector>

#include "Baton.h"
#include "PrivateFolder.h"
#include "Spawn.h"

extern char** environ;

namespace fw {

namespace {

std::mutex gMutex;
std::string gExecutable;
int gLockFd = -1;
bool gLocked = false;
int gChannel = -1;  // our end of the helper's stdin
pid_t gPid = -1;

// Reaps the helper when it has ended; true while it runs. gMutex held.
bool RunningLocked() {
    if (gPid <= 0) return false;
    int status = 0;
    const pid_t r = ::waitpid(gPid, &status, WNOHANG);
    if (r == 0) return true;
    gPid = -1;
    if (gChannel >= 0) ::close(gChannel);
    gChannel = -1;
    return false;
}

// A copy of `fd` above the ones the helper is given, so that moving them into
// place never overwrites one not yet moved.
int HighCopy(int fd) { return fd < 0 ? -1 : ::fcntl(fd, F_DUPFD_CLOEXEC, 10); }

}  // namespace

void GuardProcess::SetExecutable(const std::string& path) {
    std::lock_guard lock(gMutex);
    gExecutable = path;
}

bool GuardProcess::Enabled() {
    std::lock_guard lock(gMutex);
    return !gExecutable.empty();
}

std::string GuardProcess::LockPath() {
    const std::string folder = UserRuntimeFolder("tavelmorinth", nullptr);
    return folder.empty() ? "" : folder + "/tavelmorinth-guard.lock";
}

bool GuardProcess::TakeLock(double seconds) {
    {
        std::lock_guard lock(gMutex);
        if (gExecutable.empty() || gLocked) return true;
        if (gLockFd < 0) {
            const std::string path = LockPath();
            if (path.empty()) return false;
            gLockFd = ::open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600);
            if (gLockFd < 0) return false;
        }
    }
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::duration<double>(seconds);
    for (;;) {
        {
            std::lock_guard lock(gMutex);
            if (::flock(gLockFd, LOCK_EX | LOCK_NB) == 0) {
                gLocked = true;
                return true;
            }
            if (errno != EWOULDBLOCK && errno != EINTR) return false;
        }
        if (std::chrono::steady_clock::now() >= deadline) return false;
        baton::Unlocked unlocked;
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
}

bool GuardProcess::Start() {
    std::lock_guard lock(gMutex);
    if (gExecutable.empty()) return false;
    if (RunningLocked()) return true;

    const int self = static_cast<int>(::syscall(SYS_pidfd_open, ::getpid(), 0));
    if (self < 0) return false;
    int pair[2];
    if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, pair) != 0) {
        ::close(self);
        return false;
    }
    const int channel = HighCopy(pair[1]), pidfd = HighCopy(self), lockFd = HighCopy(gLockFd);
    ::close(pair[1]);
    ::close(self);

    posix_spawn_file_actions_t actions;
    posix_spawnattr_t attr;
    posix_spawn_file_actions_init(&actions);
    posix_spawnattr_init(&attr);
    posix_spawn_file_actions_adddup2(&actions, channel, kGuardChannelFd);
    posix_spawn_file_actions_adddup2(&actions, pidfd, kGuardPidFd);
    if (lockFd >= 0) {
        posix_spawn_file_actions_adddup2(&actions, lockFd, kGuardLockFd);
    } else {
        posix_spawn_file_actions_addopen(&actions, kGuardLockFd, "/dev/null", O_RDONLY, 0);
    }
    // Nothing else of ours (the display connection above all) goes along.
    posix_spawn_file_actions_addclosefrom_np(&actions, kGuardLockFd + 1);
    internal::DefaultSignalsInChild(attr);
    std::vector<char*> argv{gExecutable.data(), nullptr};
    pid_t pid = -1;
    const int err = ::posix_spawn(&pid, gExecutable.c_str(), &actions, &attr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    posix_spawnattr_destroy(&attr);
    ::close(channel);
    ::close(pidfd);
    if (lockFd >= 0) ::close(lockFd);
    if (err != 0) {
        ::close(pair[0]);
        return false;
    }
    gPid = pid;
    gChannel = pair[0];
    return true;
}

bool GuardProcess::Running() {
    std::lock_guard lock(gMutex);
    return RunningLocked();
}

bool GuardProcess::Send(const std::string& line) {
    std::lock_guard lock(gMutex);
    if (gChannel < 0) return false;
    const std::string message = line + "\n";
    const ssize_t n = ::send(gChannel, message.data(), message.size(), MSG_NOSIGNAL | MSG_DONTWAIT);
    return n == static_cast<ssize_t>(message.size());
}

}  // namespace fw
