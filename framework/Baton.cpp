#include "Baton.h"

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <mutex>

namespace fw::baton {
namespace {

// A ticket lock: waiters are served first come, first served. The counters are
// written under the mutex and read without it for the cheap "anybody waiting?" test.
std::mutex gMutex;
// Never destroyed: a thread that ends as the process exits still notifies it.
std::condition_variable& gTurn = *new std::condition_variable;
std::atomic<uint64_t> gNextTicket{0};
std::atomic<uint64_t> gServing{0};
thread_local int tDepth = 0;

void TakeTurn() {
    std::unique_lock lock(gMutex);
    const uint64_t ticket = gNextTicket.fetch_add(1);
    gTurn.wait(lock, [&] { return gServing.load() == ticket; });
}

void PassTurn() {
    {
        std::lock_guard lock(gMutex);
        gServing.fetch_add(1);
    }
    gTurn.notify_all();
}

}  // namespace

void Acquire() {
    if (tDepth > 0) {
        ++tDepth;
        return;
    }
    TakeTurn();
    tDepth = 1;
}

void Release() {
    if (tDepth <= 0) return;
    if (--tDepth == 0) PassTurn();
}

bool HeldByMe() { return tDepth > 0; }

bool OthersWaiting() { return gNextTicket.load(std::memory_order_relaxed) - gServing.load(std::memory_order_relaxed) > 1; }

void Yield() {
    if (tDepth == 0 || !OthersWaiting()) return;
    const int depth = tDepth;
    tDepth = 0;
    // Hand over and queue up again in one step, so the yielder is back in line
    // before the next thread runs and that thread's own yield finds it waiting.
    std::unique_lock lock(gMutex);
    gServing.fetch_add(1);
    const uint64_t ticket = gNextTicket.fetch_add(1);
    gTurn.notify_all();
    gTurn.wait(lock, [&] { return gServing.load() == ticket; });
    tDepth = depth;
}

Held::Held() : depth_(tDepth) {
    if (depth_ == 0) Acquire();
}

Held::~Held() {
    if (depth_ == 0) Release();
}

Unlocked::Unlocked() : depth_(tDepth) {
    if (depth_ > 0) {
        tDepth = 0;
        PassTurn();
    }
}

Unlocked::~Unlocked() {
    if (depth_ > 0) {
        TakeTurn();
        tDepth = depth_;
    }
}

}  // namespace fw::baton
