// A helper process that outlives this one. It is started with a pidfd of this
// process (it learns of its end however it comes), a lock file shared with it
// (a second start waits until the helper is done) and a channel on its stdin
// that carries line messages. Nothing is started until an executable is set.
#pragma once
#include <string>

namespace fw {

// The descriptors the helper finds open when it starts.
constexpr int kGuardChannelFd = 0;  // line messages from the program; EOF once it has ended
constexpr int kGuardPidFd = 3;      // pidfd of the program: readable once it has ended
constexpr int kGuardLockFd = 4;     // the lock file, locked (flock) while program or helper work

class GuardProcess {
public:
    // The helper's executable; "" (the default) leaves lock and helper out.
    static void SetExecutable(const std::string& path);
    static bool Enabled();

    // The lock file of this user, in the user's private runtime folder
    // (UserRuntimeFolder). "" when no such place can be had.
    static std::string LockPath();

    // Waits, with the baton released, until no earlier run (program or helper)
    // holds the lock, at most `seconds`; then holds it for the life of this
    // process (and of the helper it starts). True when held or not enabled.
    static bool TakeLock(double seconds);

    // Starts the helper unless one started by this process still runs. False
    // when it could not be started (no executable, no pidfd, spawn failed).
    static bool Start();
    static bool Running();

    // Sends one line (a newline is added) to the running helper without ever
    // blocking; false when it did not go out whole.
    static bool Send(const std::string& line);
};

}  // namespace fw
