#include "Timer.h"

#include <algorithm>
#include <atomic>
#include <map>
#include <mutex>

#include "Baton.h"
#include "Clock.h"
#include "Exceptions.h"
#include "TypeName.h"

namespace fw {
namespace {

// One armed timer. Timer fields belong to program code (baton); the scheduler
// keeps its own copy of what it needs under its mutex, because the event loop
// asks for the next due time without holding the baton.
struct Entry {
    Timer* timer;
    int64_t due;
    uint64_t seq;  // among timers due at one moment, the one scheduled first fires first
    int64_t period;
    bool repeating;
    bool firing = false;  // its Action runs now: not fired again by a nested loop
};

struct Scheduler {
    std::mutex mutex;
    std::map<uint64_t, Entry> entries;  // by timer id
    uint64_t nextSeq = 0;
    std::function<void()> wake;

    std::map<uint64_t, Entry>::iterator Earliest() {
        auto best = entries.end();
        for (auto it = entries.begin(); it != entries.end(); ++it) {
            if (it->second.firing) continue;
            if (best == entries.end() || it->second.due < best->second.due ||
                (it->second.due == best->second.due && it->second.seq < best->second.seq))
                best = it;
        }
        return best;
    }
};

// Never destroyed: timers held by static objects may go after it otherwise.
Scheduler& Sched() {
    static Scheduler* s = new Scheduler;
    return *s;
}

std::atomic<uint64_t> gNextId{0};
int gActionsRunning = 0;  // main thread only

void Wake() {
    std::function<void()> hook;
    {
        std::lock_guard lock(Sched().mutex);
        hook = Sched().wake;
    }
    if (hook) hook();
}

void Unschedule(uint64_t id) {
    bool removed;
    {
        std::lock_guard lock(Sched().mutex);
        removed = Sched().entries.erase(id) > 0;
    }
    if (removed) Wake();
}

// A period below 1 ms would make a repeating timer fire without end at one moment.
int64_t EffectivePeriod(int64_t period) { return std::max<int64_t>(period, 1); }

}  // namespace

Timer::Timer() : id_(++gNextId) {}

Timer::~Timer() { Unschedule(id_); }

void Timer::SetMode(int mode) {
    mode_ = mode;
    Rearm();
}

void Timer::SetPeriod(int64_t ms) {
    period_ = ms;
    Rearm();
}

void Timer::SetEnabled(bool enabled) {
    enabled_ = enabled;
    Rearm();
}

void Timer::Rearm() {
    if (!enabled_ || (mode_ != ModeSingle && mode_ != ModeMultiple)) {
        Unschedule(id_);
        return;
    }
    const int64_t period = EffectivePeriod(period_);
    const int64_t due = CurrentClock().MonotonicMs() + period;
    {
        std::lock_guard lock(Sched().mutex);
        auto& s = Sched();
        auto [it, added] = s.entries.try_emplace(id_, Entry{this, due, 0, period, false});
        it->second.due = due;
        it->second.seq = ++s.nextSeq;
        it->second.period = period;
        it->second.repeating = mode_ == ModeMultiple;
    }
    Wake();
}

void Timer::Fire() {
    if (mode_ == ModeSingle) {
        mode_ = ModeOff;
        Unschedule(id_);
    }
    // Taken before the Action, which may destroy this timer.
    const std::type_info& type = typeid(*this);
    try {
        Event_Action();
    } catch (const std::exception& e) {
        ReportUncaught(e, "timer " + internal::ClassNameOf(type) + " Action");
    } catch (...) {
        ReportUncaughtUnknown("timer " + internal::ClassNameOf(type) + " Action");
    }
}

void Timer::Event_Action() {
    if (Action) Action();
}

namespace timers {

void FireDue(int64_t nowMs) {
    baton::Held held;
    auto& s = Sched();
    for (;;) {
        Timer* timer;
        uint64_t id;
        bool repeating;
        {
            std::lock_guard lock(s.mutex);
            auto it = s.Earliest();
            if (it == s.entries.end() || it->second.due > nowMs) break;
            Entry& e = it->second;
            timer = e.timer;
            id = it->first;
            repeating = e.repeating;
            if (repeating) {
                // A late timer skips the firings it missed instead of catching up.
                e.due += e.period;
                if (e.due <= nowMs) e.due = nowMs + e.period;
                e.seq = ++s.nextSeq;
                e.firing = true;
            } else {
                s.entries.erase(it);
            }
        }
        ++gActionsRunning;
        Wake();
        // Keeps a shared-owned timer alive through an Action that drops its last reference.
        const std::shared_ptr<Timer> keep = timer->weak_from_this().lock();
        timer->Fire();
        --gActionsRunning;
        if (repeating) {
            std::lock_guard lock(s.mutex);
            auto it = s.entries.find(id);
            if (it != s.entries.end()) it->second.firing = false;
        }
        Wake();
    }
}

int64_t NextDue() {
    std::lock_guard lock(Sched().mutex);
    auto it = Sched().Earliest();
    return it == Sched().entries.end() ? -1 : it->second.due;
}

int ActionsRunning() { return gActionsRunning; }

void SetWakeHook(std::function<void()> hook) {
    std::lock_guard lock(Sched().mutex);
    Sched().wake = std::move(hook);
}

}  // namespace timers

void MockClock::Advance(int64_t ms) {
    const int64_t target = mono_ + std::max<int64_t>(ms, 0);
    for (;;) {
        const int64_t due = timers::NextDue();
        if (due < 0 || due > target) break;
        mono_ = std::max(mono_, due);
        timers::FireDue(mono_);
    }
    mono_ = std::max(mono_, target);
}

}  // namespace fw
