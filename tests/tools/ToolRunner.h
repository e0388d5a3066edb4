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
};

constexpr uid_t kNobody = 65534;
uid_t UidOf(As as);

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
