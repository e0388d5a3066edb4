#include "Shell.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <mutex>
#include <vector>

#include "Baton.h"
#include "Spawn.h"

extern char** environ;

namespace fw {

namespace {

std::mutex gToolsMutex;
std::string gTools;

// The inherited environment with the tool folder put first on PATH.
std::vector<std::string> ChildEnvironment(const std::string& tools) {
    std::vector<std::string> env;
    std::string path;
    bool hadPath = false;
    for (char** e = environ; e && *e; ++e) {
        if (std::strncmp(*e, "PATH=", 5) == 0) {
            path = *e + 5;
            hadPath = true;
        } else {
            env.emplace_back(*e);
        }
    }
    if (!tools.empty()) path = hadPath && !path.empty() ? tools + ":" + path : tools;
    if (hadPath || !tools.empty()) env.push_back("PATH=" + path);
    return env;
}

// The program a command name stands for on the child's PATH; empty when none.
std::string FindOnPath(const std::string& name, const std::vector<std::string>& env) {
    if (name.find('/') != std::string::npos) return name;
    if (name.empty()) return {};
    std::string path;
    for (const auto& e : env)
        if (e.compare(0, 5, "PATH=") == 0) path = e.substr(5);
    for (size_t start = 0; start <= path.size();) {
        const size_t colon = std::min(path.find(':', start), path.size());
        const std::string folder = path.substr(start, colon - start);
        // An empty entry means the working folder, which a tool is never taken from.
        if (!folder.empty()) {
            const std::string candidate = folder + "/" + name;
            if (::access(candidate.c_str(), X_OK) == 0) return candidate;
        }
        start = colon + 1;
    }
    return {};
}

// Runs the program and collects what it writes; touches no shared state, as it
// runs without the baton.
int RunCapturing(const char* program, const char* const* argv, char* const* envp, std::string& output) {
    const std::string name = argv[0];
    int fds[2];
    if (::pipe2(fds, O_CLOEXEC) != 0) {
        output = name + ": cannot make a pipe: " + std::strerror(errno);
        return 127;
    }
    pid_t pid;
    const int err = internal::SpawnProgram(program, argv, envp, fds[1], pid);
    ::close(fds[1]);
    if (err != 0) {
        ::close(fds[0]);
        output = name + ": cannot start: " + std::strerror(err);
        return 127;
    }
    char buffer[8192];
    for (;;) {
        const ssize_t n = ::read(fds[0], buffer, sizeof buffer);
        if (n > 0) {
            output.append(buffer, size_t(n));
        } else if (n == 0 || errno != EINTR) {
            break;
        }
    }
    ::close(fds[0]);
    return internal::WaitForExit(pid);
}

}  // namespace

void Shell::Execute(const std::string& commandLine) {
    std::vector<std::string> env = ChildEnvironment(ToolsFolder());
    std::vector<char*> envp;
    envp.reserve(env.size() + 1);
    for (auto& e : env) envp.push_back(e.data());
    envp.push_back(nullptr);
    const char* argv[] = {"sh", "-c", commandLine.c_str(), nullptr};

    std::string output;
    int code;
    {
        baton::Unlocked unlocked;
        code = RunCapturing("/bin/sh", argv, envp.data(), output);
    }
    result_ = std::move(output);
    errorCode_ = code;
}

void Shell::ExecuteProgram(const std::vector<std::string>& arguments) {
    std::vector<std::string> env = ChildEnvironment(ToolsFolder());
    const std::string program = arguments.empty() ? std::string() : FindOnPath(arguments[0], env);
    if (program.empty()) {
        result_ = (arguments.empty() ? std::string("(no program)") : arguments[0]) + ": command not found\n";
        errorCode_ = 127;
        return;
    }
    std::vector<char*> envp;
    envp.reserve(env.size() + 1);
    for (auto& e : env) envp.push_back(e.data());
    envp.push_back(nullptr);
    std::vector<const char*> argv;
    argv.reserve(arguments.size() + 1);
    for (const auto& a : arguments) argv.push_back(a.c_str());
    argv.push_back(nullptr);

    std::string output;
    int code;
    {
        baton::Unlocked unlocked;
        code = RunCapturing(program.c_str(), argv.data(), envp.data(), output);
    }
    result_ = std::move(output);
    errorCode_ = code;
}

void SetToolsFolder(const std::string& posixPath) {
    std::lock_guard lock(gToolsMutex);
    gTools = posixPath;
}

std::string ToolsFolder() {
    std::lock_guard lock(gToolsMutex);
    return gTools;
}

}  // namespace fw
