// Runs command lines through /bin/sh the way the program's Shell does: the helpers
// folder first on PATH. Optionally as someone who may not mount.
#pragma once
#include <string>
#include <sys/types.h>

namespace tooltest {

enum class As {
    Root,
    Nobody,                 // an ordinary user (uid 65534)
    RootWithoutMountRight,  // uid 0 without any capability
    Scratch,                // a second ordinary user, made for the test (see ScratchUser)
};

constexpr uid_t kNobody = 65534;
uid_t UidOf(As as);

// The folder put first on PATH for the tools (a copy of the built tools by default).
void UseToolsFolder(const std::string& folder);
const std::string& ToolsFolder();

// An ordinary user of the test's own, "tvm-own-<pid>", removed again at the end.
class ScratchUser {
public:
    ScratchUser();
    ~ScratchUser();
    ScratchUser(const ScratchUser&) = delete;
    ScratchUser& operator=(const ScratchUser&) = delete;
    bool Made() const { return uid_ != 0; }

private:
    std::string name_;
    uid_t uid_ = 0;
};

struct Outcome {
    int code = -1;  // exit status; 128+n after signal n
    std::string out, err;
};

Outcome RunShell(const std::string& commandLine, As as = As::Root);

// A process that runs `commandLine` and then keeps running (as `cat`, with what the
// command line opened or entered) until it is stopped or destroyed.
class Holder {
public:
    Holder(const std::string& commandLine, As as);
    ~Holder() { Stop(); }
    Holder(const Holder&) = delete;
    Holder& operator=(const Holder&) = delete;
    bool Ready() const { return ready_; }
    void Stop();

private:
    pid_t pid_ = -1;
    int input_ = -1;
    bool ready_ = false;
};

}  // namespace tooltest
