// One running program per user. The first start holds a lock file in the
// user's private runtime folder (UserRuntimeFolder) for as long as it lives and
// answers requests on a local socket beside it; a later start hands its request
// to that program and ends. Works without a session bus.
#pragma once
#include <functional>
#include <string>

namespace fw {

struct InstanceClaim {
    enum class Kind {
        First,        // this process holds the lock: it is the program
        Handed,       // the running program took the request
        NoneRunning,  // onlyWhenRunning and no program runs: nothing was done
        Failed,       // see message
    };
    Kind kind = Kind::Failed;
    std::string reply;    // the running program's answer (Handed)
    std::string message;  // why (Failed)
};

// Takes the lock named `stem`, or hands the one-line `request` to the program
// that holds it. A program that holds the lock but does not listen yet is given
// a few seconds; should it end meanwhile, this process takes the lock. With
// `onlyWhenRunning` a free lock is let go again at once (NoneRunning).
InstanceClaim ClaimInstance(const std::string& stem, const std::string& request, bool onlyWhenRunning);

// After a First claim and InitRuntime: answers requests from later starts on
// the main thread, with the baton held; `handler` turns a request line into a
// one-line answer. A stale socket of a program that crashed is replaced.
bool ServeInstanceRequests(std::function<std::string(const std::string&)> handler, std::string* error);
// Stops answering (the program is ending; the lock stays until the process ends).
void StopServingInstanceRequests();

// Sends one request line to the socket at `socketPath` and waits up to
// `timeoutMs` for the answer line. `connected` tells whether anybody listened.
bool AskInstance(const std::string& socketPath, const std::string& request, int timeoutMs, std::string* reply,
                 bool* connected = nullptr, std::string* error = nullptr);

}  // namespace fw
