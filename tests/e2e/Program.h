// One run of a real program as a child process: started with an environment of
// the test's own, its output kept in a file, and always killed and reaped at the end.
#pragma once
#include <sys/types.h>

#include <optional>
#include <string>
#include <vector>

namespace tvmtest {

class Program {
public:
    // `env` replaces the environment whole ("NAME=value" entries).
    Program(const std::vector<std::string>& argv, const std::vector<std::string>& env, const std::string& logFile);
    ~Program();  // SIGKILL and reap when still running
    Program(const Program&) = delete;
    Program& operator=(const Program&) = delete;

    bool Started() const { return pid_ > 0; }
    pid_t Pid() const { return pid_; }
    bool Running();
    void Signal(int sig);
    // SIGSTOP, and waits until all its threads have stopped: nothing it does
    // changes while it is stopped. False when it has ended instead.
    bool Stop();
    void Continue();
    // Waits until the program has ended, at most `seconds`; its wait status, or
    // nothing when it still runs.
    std::optional<int> WaitExit(double seconds);
    // Kills it at once and reaps it.
    void Kill();
    // "exited with 0", "killed by signal 9", "still running"
    std::string Describe();

private:
    pid_t pid_ = -1;
    std::optional<int> status_;
};

std::string DescribeStatus(int status);

}  // namespace tvmtest
