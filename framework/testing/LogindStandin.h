// A stand-in for logind on a bus of the test's own: it answers Inhibit with
// one end of a pipe, whose other end tells when the lock was given back, and
// sends PrepareForShutdown when asked. It runs on a thread of its own, so a
// test may wait with plain sleeps. Test builds only.
#pragma once
#include <memory>
#include <string>
#include <vector>

namespace fw::testing {

class LogindStandin {
public:
    // `busAddress` as in DBUS_SYSTEM_BUS_ADDRESS.
    explicit LogindStandin(const std::string& busAddress);
    ~LogindStandin();
    LogindStandin(const LogindStandin&) = delete;
    LogindStandin& operator=(const LogindStandin&) = delete;

    // Connected, and the name org.freedesktop.login1 is its own.
    bool Ready() const;

    struct Inhibition {
        std::string what, who, why, mode;
        bool released = false;  // every copy of the lock's descriptor is closed
    };
    // Every lock handed out so far, in order.
    std::vector<Inhibition> Inhibitions() const;
    // Inhibit calls in this mode are refused (as polkit refuses them).
    void Refuse(const std::string& mode);

    void SendPrepareForShutdown(bool starting);

    struct Impl;

private:
    std::unique_ptr<Impl> impl_;
};

}  // namespace fw::testing
