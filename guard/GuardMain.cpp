// tavelmorinth-guard: started by the program with its RAM disk, holds no display
// connection and waits for the program's end. When the program ended through
// its own quit, the RAM disk is gone and the guard just ends. When it ended any
// other way (the display went away, a crash, a kill), the guard writes the RAM
// disk back with the program's own mirror, flushes the source folder's file
// system and ejects the RAM disk; a write-back that cannot complete leaves the
// RAM disk attached for the next start. Signals that end a session do not end
// it: its work is over soon after the program's, and it then ends by itself.
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <optional>
#include <string>

#include "GuardWork.h"
#include "engine/GuardChannel.h"
#include "framework/GuardProcess.h"

namespace {

constexpr int kExitUsage = 2;

// Only a pidfd says when the program has ended; any other descriptor in its
// place would read as an end at once.
bool IsPidFd(int fd) {
    std::ifstream info("/proc/self/fdinfo/" + std::to_string(fd));
    for (std::string line; std::getline(info, line);)
        if (line.rfind("Pid:", 0) == 0) return true;
    return false;
}

// Takes the complete lines the channel holds; the latest valid state counts.
// False once the channel has ended.
bool ReadChannel(std::string& pending, std::optional<GuardState>& state) {
    char buffer[4096];
    for (;;) {
        const ssize_t n = ::read(fw::kGuardChannelFd, buffer, sizeof buffer);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0 && errno == EAGAIN) return true;
        if (n <= 0) return false;
        pending.append(buffer, size_t(n));
        for (size_t end; (end = pending.find('\n')) != std::string::npos;) {
            if (auto parsed = GuardState::Parse(pending.substr(0, end))) state = parsed;
            pending.erase(0, end + 1);
        }
        if (size_t(n) < sizeof buffer) return true;
    }
}

// Until the program has ended; then whatever it sent before its end.
std::optional<GuardState> WatchProgram() {
    std::optional<GuardState> state;
    std::string pending;
    ::fcntl(fw::kGuardChannelFd, F_SETFL, ::fcntl(fw::kGuardChannelFd, F_GETFL) | O_NONBLOCK);
    bool channelOpen = true;
    for (;;) {
        pollfd fds[2] = {{fw::kGuardPidFd, POLLIN, 0}, {fw::kGuardChannelFd, POLLIN, 0}};
        if (::poll(fds, channelOpen ? 2 : 1, -1) < 0) {
            if (errno == EINTR) continue;
            GuardSay("cannot wait for the program: " + std::string(std::strerror(errno)));
            break;
        }
        if (channelOpen && fds[1].revents != 0) channelOpen = ReadChannel(pending, state);
        if (fds[0].revents != 0) break;
    }
    if (channelOpen) ReadChannel(pending, state);
    return state;
}

}  // namespace

int main() {
    // A session that ends, or a terminal, sends these to the whole process
    // group; the guard's work begins only then.
    for (int sig : {SIGTERM, SIGINT, SIGHUP, SIGQUIT, SIGPIPE, SIGUSR1, SIGUSR2, SIGALRM, SIGTSTP, SIGTTIN, SIGTTOU})
        ::signal(sig, SIG_IGN);
    // A working folder on the RAM disk would keep it from being ejected.
    if (::chdir("/") != 0) return kExitUsage;
    if (!IsPidFd(fw::kGuardPidFd) || ::fcntl(fw::kGuardChannelFd, F_GETFD) < 0) {
        GuardSay("to be started by the program only");
        return kExitUsage;
    }
    const auto state = WatchProgram();
    if (!state) return 0;  // never told of a RAM disk
    return GuardWork(*state);
}
