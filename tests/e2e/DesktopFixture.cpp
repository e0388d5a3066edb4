#include "DesktopFixture.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/file.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <thread>

#include "TestPaths.h"

namespace tvmtest {

namespace fs = std::filesystem;

namespace {
const std::string kGuardExecutable = std::string(TVM_HELPERS_DIR) + "/tavelmorinth-guard";
}

bool Alive(pid_t pid) {
    std::ifstream stat("/proc/" + std::to_string(pid) + "/stat");
    std::string pidText, command, state;
    return stat >> pidText >> command >> state && state != "Z";
}

namespace {

// Every thread of `pid` stopped; false when it is gone.
bool WaitStopped(pid_t pid) {
    const std::string tasks = "/proc/" + std::to_string(pid) + "/task";
    for (;;) {
        if (!Alive(pid)) return false;
        bool all = true;
        std::error_code ec;
        for (fs::directory_iterator it(tasks, ec), end; !ec && it != end; it.increment(ec)) {
            std::ifstream stat(it->path() / "stat");
            const std::string line((std::istreambuf_iterator<char>(stat)), {});
            const size_t close = line.rfind(')');
            if (close != std::string::npos && close + 2 < line.size() && line[close + 2] != 'T') all = false;
        }
        if (all) return true;
        std::this_thread::sleep_for(std::chrono::microseconds(200));
    }
}

}  // namespace

bool DesktopTest::StopWhen(pid_t pid, const std::function<bool()>& reached, double seconds) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::duration<double>(seconds);
    for (;;) {
        if (::kill(pid, SIGSTOP) != 0 || !WaitStopped(pid)) return false;
        if (reached()) return true;
        ::kill(pid, SIGCONT);
        if (std::chrono::steady_clock::now() >= deadline) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
}

void DesktopTest::SetUp() {
    ProgramTest::SetUp();
    if (IsSkipped() || HasFatalFailure()) return;
    if (!fs::exists(kGuardExecutable)) GTEST_SKIP() << "the guard is not built";
    run_ = fs::path(home_).parent_path().string() + "/run";
}

void DesktopTest::TearDown() {
    for (pid_t pid : GuardPids()) ::kill(pid, SIGKILL);
    WaitFor([&] { return GuardPids().empty(); }, 5);
    ProgramTest::TearDown();
}

std::string DesktopTest::StartDisplay() {
    const std::string numberFile = run_ + "/display";
    display_ = &Spawn(
        {"/bin/sh", "-c", "command -v Xvfb >/dev/null && exec Xvfb -displayfd 3 -nolisten tcp 3>\"$0\"", numberFile});
    std::string number;
    WaitFor([&] {
        std::ifstream in(numberFile);
        return std::getline(in, number) && !number.empty();
    }, 10);
    return number.empty() ? "" : ":" + number;
}

std::vector<pid_t> DesktopTest::GuardPids() const {
    std::vector<pid_t> pids;
    std::error_code ec;
    for (fs::directory_iterator it("/proc", ec), end; !ec && it != end; it.increment(ec)) {
        const std::string name = it->path().filename().string();
        if (name.find_first_not_of("0123456789") != std::string::npos) continue;
        std::error_code linkError;
        if (fs::read_symlink(it->path() / "exe", linkError) != kGuardExecutable) continue;
        std::ifstream environ(it->path() / "environ");
        const std::string all((std::istreambuf_iterator<char>(environ)), {});
        const pid_t pid = std::stoi(name);
        if (all.find("XDG_RUNTIME_DIR=" + run_ + '\0') != std::string::npos && Alive(pid)) pids.push_back(pid);
    }
    return pids;
}

pid_t DesktopTest::WaitForGuard() {
    std::vector<pid_t> pids;
    WaitFor([&] { return (pids = GuardPids()).size() == 1; }, 10);
    return pids.size() == 1 ? pids[0] : -1;
}

bool DesktopTest::LockFree() const {
    const int fd = ::open((run_ + "/tavelmorinth-guard.lock").c_str(), O_RDWR | O_CLOEXEC);
    if (fd < 0) return true;
    const bool free = ::flock(fd, LOCK_EX | LOCK_NB) == 0;
    ::close(fd);
    return free;
}

}  // namespace tvmtest
