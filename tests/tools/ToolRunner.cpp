#include "ToolRunner.h"

#include <cerrno>
#include <fcntl.h>
#include <poll.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

#include "TestPaths.h"

namespace tooltest {

namespace {

std::string gToolsFolder = TVM_HELPERS_DIR;
uid_t gScratchUid = 0;

std::vector<std::string> Argv(const std::string& commandLine, As as) {
    std::vector<std::string> argv;
    if (as == As::Nobody)
        argv = {"/usr/bin/setpriv", "--reuid=65534", "--regid=65534", "--clear-groups"};
    else if (as == As::Scratch)
        argv = {"/usr/bin/setpriv", "--reuid=" + std::to_string(gScratchUid), "--regid=" + std::to_string(gScratchUid),
                "--clear-groups"};
    else if (as == As::RootWithoutMountRight)
        argv = {"/usr/bin/setpriv", "--inh-caps=-all", "--bounding-set=-all"};
    argv.insert(argv.end(), {"/bin/sh", "-c", commandLine});
    return argv;
}

// Each user a home of their own in the scratch folder, where the tools keep an
// ordinary user's device records.
std::string HomeOf(As as) {
    const char* scratch = getenv("TVM_SCRATCH");
    const uid_t uid = UidOf(as);
    const std::string homes = std::string(scratch && *scratch ? scratch : "/tmp") + "/homes";
    const std::string home = homes + "/" + std::to_string(uid);
    mkdir(homes.c_str(), 0755);
    if (mkdir(home.c_str(), 0700) == 0 && chown(home.c_str(), uid, uid) != 0) return "/nonexistent";
    return home;
}

std::vector<std::string> Environment(As as) {
    std::vector<std::string> env = {"PATH=" + gToolsFolder + ":/usr/sbin:/usr/bin:/sbin:/bin",
                                    "LANG=C.UTF-8", "HOME=" + HomeOf(as)};
    for (const char* name : {"ASAN_OPTIONS", "UBSAN_OPTIONS", "LSAN_OPTIONS"}) {
        if (const char* value = getenv(name)) env.push_back(std::string(name) + "=" + value);
    }
    return env;
}

std::vector<char*> Pointers(std::vector<std::string>& strings) {
    std::vector<char*> pointers;
    for (auto& s : strings) pointers.push_back(s.data());
    pointers.push_back(nullptr);
    return pointers;
}

// Starts the command with the given descriptors as its stdin, stdout and stderr.
pid_t Spawn(const std::string& commandLine, As as, int in, int out, int err) {
    auto argv = Argv(commandLine, as);
    auto env = Environment(as);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, in, 0);
    posix_spawn_file_actions_adddup2(&actions, out, 1);
    posix_spawn_file_actions_adddup2(&actions, err, 2);
    // Our own working folder must never make a volume look busy.
    posix_spawn_file_actions_addchdir_np(&actions, "/");
    pid_t pid = -1;
    auto argvPointers = Pointers(argv), envPointers = Pointers(env);
    if (posix_spawn(&pid, argvPointers[0], &actions, nullptr, argvPointers.data(), envPointers.data()) != 0) pid = -1;
    posix_spawn_file_actions_destroy(&actions);
    return pid;
}

int Wait(pid_t pid) {
    int status = 0;
    while (waitpid(pid, &status, 0) < 0) {
        if (errno != EINTR) return -1;
    }
    return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}

}  // namespace

uid_t UidOf(As as) { return as == As::Nobody ? kNobody : as == As::Scratch ? gScratchUid : 0; }

void UseToolsFolder(const std::string& folder) { gToolsFolder = folder; }
const std::string& ToolsFolder() { return gToolsFolder; }

ScratchUser::ScratchUser() : name_("tvm-own-" + std::to_string(getpid())) {
    if (RunShell("useradd --system --user-group --no-create-home --shell /usr/sbin/nologin " + name_).code != 0) return;
    Outcome id = RunShell("id -u " + name_);
    uid_ = id.code == 0 ? static_cast<uid_t>(std::stoul(id.out)) : 0;
    gScratchUid = uid_;
}

ScratchUser::~ScratchUser() {
    RunShell("userdel " + name_ + " 2>/dev/null; groupdel " + name_ + " 2>/dev/null; true");
    gScratchUid = 0;
}

Outcome RunShell(const std::string& commandLine, As as) {
    Outcome outcome;
    int out[2], err[2];
    if (pipe2(out, O_CLOEXEC) != 0) return outcome;
    if (pipe2(err, O_CLOEXEC) != 0) {
        close(out[0]);
        close(out[1]);
        return outcome;
    }
    int nothing = open("/dev/null", O_RDONLY | O_CLOEXEC);
    pid_t pid = Spawn(commandLine, as, nothing, out[1], err[1]);
    close(nothing);
    close(out[1]);
    close(err[1]);
    pollfd fds[2] = {{out[0], POLLIN, 0}, {err[0], POLLIN, 0}};
    std::string* sinks[2] = {&outcome.out, &outcome.err};
    for (int open = 2; open > 0 && pid > 0;) {
        if (poll(fds, 2, -1) < 0) {
            if (errno == EINTR) continue;
            break;
        }
        for (int i = 0; i < 2; ++i) {
            if (fds[i].fd < 0 || !fds[i].revents) continue;
            char buffer[4096];
            ssize_t n = read(fds[i].fd, buffer, sizeof buffer);
            if (n > 0) {
                sinks[i]->append(buffer, static_cast<size_t>(n));
            } else {
                fds[i].fd = -1;
                --open;
            }
        }
    }
    close(out[0]);
    close(err[0]);
    if (pid > 0) outcome.code = Wait(pid);
    return outcome;
}

Holder::Holder(const std::string& commandLine, As as) {
    int in[2], out[2];
    if (pipe2(in, O_CLOEXEC) != 0) return;
    if (pipe2(out, O_CLOEXEC) != 0) {
        close(in[0]);
        close(in[1]);
        return;
    }
    pid_ = Spawn(commandLine + " && echo ready && exec cat", as, in[0], out[1], 2);
    close(in[0]);
    close(out[1]);
    input_ = in[1];
    std::string said;
    char c;
    while (pid_ > 0 && said.find("ready\n") == std::string::npos && read(out[0], &c, 1) == 1) said += c;
    close(out[0]);
    ready_ = said.find("ready\n") != std::string::npos;
}

void Holder::Stop() {
    if (input_ >= 0) close(input_);  // cat ends at the end of its input
    input_ = -1;
    if (pid_ > 0) Wait(pid_);
    pid_ = -1;
}

}  // namespace tooltest
