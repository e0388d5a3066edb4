#include "engine/CGuard.h"

#include <cstdio>
#include <random>
#include <utility>

#include "app/App.h"
#include "engine/CTavelmorinth.h"
#include "engine/ShutdownLocks.h"
#include "framework/Clock.h"
#include "framework/FolderItem.h"
#include "framework/GuardProcess.h"
#include "framework/TextStream.h"

namespace {

// A guard still writing back may need a while for a large RAM disk.
constexpr double kEarlierGuardWaitSeconds = 120;
constexpr int64_t kPublishPeriodMs = 100;
// A guard that ended (killed, say) is started again, but not at every firing
// when it cannot be started at all.
constexpr int kRestartEveryFirings = 50;

struct Link {
    fw::Ref<CGuard> timer;
    GuardState current;  // token and paths as of the last Start
    int firingsSinceStart = 0;
    std::optional<GuardState> sent;
};

// Lives as long as the process: the guard outlives even the application object.
Link& TheLink() {
    static Link* link = new Link;
    return *link;
}

std::string NewToken() {
    std::random_device random;
    std::string token;
    for (int i = 0; i < 4; ++i) {
        char part[9];
        std::snprintf(part, sizeof part, "%08x", static_cast<unsigned>(random()));
        token += part;
    }
    return token;
}

}  // namespace

// The main thread's wait reached its bound without the lock: the worker made
// next goes on without waiting again.
static bool gEarlierGuardBoundReached = false;

void CGuard::WaitForEarlierGuard() {
    if (std::exchange(gEarlierGuardBoundReached, false)) return;
    fw::GuardProcess::TakeLock(kEarlierGuardWaitSeconds);
}

bool CGuard::EarlierGuardDone(int64_t sinceMs) {
    if (fw::GuardProcess::TakeLock(0)) return true;
    const auto boundMs = static_cast<int64_t>(kEarlierGuardWaitSeconds * 1000);
    if (fw::CurrentClock().MonotonicMs() - sinceMs < boundMs) return false;
    gEarlierGuardBoundReached = true;
    return true;
}

void CGuard::Start(const CTavelmorinth& worker) {
    if (!fw::GuardProcess::Enabled()) return;
    Link& link = TheLink();
    // The token goes onto the RAM disk before the guard hears of it: a guard that
    // knows an older one leaves this RAM disk alone rather than write it back
    // with what it knew of the one before.
    link.current = GuardState{NewToken(), false, worker.sTargetpath, worker.sSourcePath, worker.Roots()};
    try {
        auto file = fw::TextOutputStream::Create(fw::GetFolderItem(worker.sTargetpath + kGuardTokenFile, 1));
        file->WriteLine(link.current.sToken);
        file->Close();
    } catch (...) {
        // The guard then finds no token of its own and leaves the RAM disk alone.
    }
    fw::GuardProcess::Start();
    link.firingsSinceStart = 0;
    Publish(true);
    if (!link.timer) {
        link.timer = fw::New<CGuard>();
        link.timer->SetPeriod(kPublishPeriodMs);
        link.timer->SetMode(fw::Timer::ModeMultiple);
        link.timer->SetEnabled(true);
    }
}

void CGuard::Event_Action() {
    Link& link = TheLink();
    bool restarted = false;
    if (++link.firingsSinceStart >= kRestartEveryFirings && !fw::GuardProcess::Running()) {
        link.firingsSinceStart = 0;
        restarted = fw::GuardProcess::Start();
    }
    Publish(restarted);
    HoldShutdownLocksFor(link.current.sTargetpath);
}

// Whether the last load completed is read live: it turns true when the load
// ends (late is safe: the guard then only copies) and false only in Create,
// before a new token is sent.
void CGuard::Publish(bool force) {
    Link& link = TheLink();
    if (link.current.sToken.empty()) return;
    GuardState state = link.current;
    if (auto* a = dynamic_cast<App*>(fw::CurrentApplication())) state.bLoadComplete = a->bLoadComplete;
    if (!force && link.sent && *link.sent == state) return;
    if (fw::GuardProcess::Send(state.Line())) link.sent = state;
}
