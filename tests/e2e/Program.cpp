#include "Program.h"

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <thread>

namespace tvmtest {

Program::Program(const std::vector<std::string>& argv, const std::vector<std::string>& env,
                 const std::string& logFile) {
    std::vector<char*> args, envp;
    for (const auto& a : argv) args.push_back(const_cast<char*>(a.c_str()));
    args.push_back(nullptr);
    for (const auto& e : env) envp.push_back(const_cast<char*>(e.c_str()));
    envp.push_back(nullptr);

    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 1, logFile.c_str(), O_WRONLY | O_CREAT | O_APPEND, 0644);
    posix_spawn_file_actions_adddup2(&actions, 1, 2);
    // Its own process group, so that a kill reaches whatever it started too.
    posix_spawnattr_t attr;
    posix_spawnattr_init(&attr);
    posix_spawnattr_setflags(&attr, POSIX_SPAWN_SETPGROUP | POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF);
    posix_spawnattr_setpgroup(&attr, 0);
    sigset_t none, all;
    sigemptyset(&none);
    sigfillset(&all);
    posix_spawnattr_setsigmask(&attr, &none);
    posix_spawnattr_setsigdefault(&attr, &all);
    if (posix_spawn(&pid_, args[0], &actions, &attr, args.data(), envp.data()) != 0) pid_ = -1;
    posix_spawnattr_destroy(&attr);
    posix_spawn_file_actions_destroy(&actions);
}

Program::~Program() { Kill(); }

bool Program::Running() {
    if (pid_ <= 0 || status_) return false;
    int status = 0;
    const pid_t r = ::waitpid(pid_, &status, WNOHANG);
    if (r == pid_) status_ = status;
    return r == 0;
}

void Program::Signal(int sig) {
    if (Running()) ::kill(pid_, sig);
}

bool Program::Stop() {
    if (!Running()) return false;
    ::kill(pid_, SIGSTOP);
    int status = 0;
    if (::waitpid(pid_, &status, WUNTRACED) != pid_) return false;
    if (WIFSTOPPED(status)) return true;
    status_ = status;
    return false;
}

void Program::Continue() {
    if (pid_ > 0 && !status_) ::kill(pid_, SIGCONT);
}

std::optional<int> Program::WaitExit(double seconds) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::duration<double>(seconds);
    while (Running()) {
        if (std::chrono::steady_clock::now() >= deadline) return std::nullopt;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return status_;
}

void Program::Kill() {
    if (!Running()) return;
    ::kill(-pid_, SIGKILL);
    ::kill(pid_, SIGKILL);
    int status = 0;
    if (::waitpid(pid_, &status, 0) == pid_) status_ = status;
}

std::string Program::Describe() {
    if (Running()) return "still running";
    if (!status_) return "never started";
    return DescribeStatus(*status_);
}

std::string DescribeStatus(int status) {
    if (WIFEXITED(status)) return "exited with " + std::to_string(WEXITSTATUS(status));
    if (WIFSIGNALED(status)) return "killed by signal " + std::to_string(WTERMSIG(status));
    return "ended with status " + std::to_string(status);
}

}  // namespace tvmtest
