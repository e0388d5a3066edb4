// Framework timer: Action runs on the main thread, with the baton held.
// Idle when created (Mode 0). Setting Mode to 1 or 2, Period, or Enabled = true
// (re)arms it: the next firing comes one Period after that moment, on the clock.
// Mode 1 fires once and then falls back to Mode 0 (before its Action runs, so
// the Action may arm it again). Mode 2 is next due one Period after the moment it
// was due; a timer that fell behind skips what it missed and is due one Period
// after it fired. A Period below 1 ms counts as 1 ms. Timers due at the same
// moment fire in the order their due time was set. While its Action runs (also
// in a nested event loop) a timer does not fire again; others do. Arming is
// safe from any program thread; a destroyed timer never fires. Create, arm and
// destroy timers with the baton held, as all program code does.
#pragma once
#include <cstdint>
#include <functional>
#include <memory>

namespace fw {

class Timer : public std::enable_shared_from_this<Timer> {
public:
    Timer();
    virtual ~Timer();
    Timer(const Timer&) = delete;
    Timer& operator=(const Timer&) = delete;

    enum { ModeOff = 0, ModeSingle = 1, ModeMultiple = 2 };

    int Mode() const { return mode_; }
    void SetMode(int mode);
    int64_t Period() const { return period_; }
    void SetPeriod(int64_t ms);
    bool Enabled() const { return enabled_; }
    void SetEnabled(bool enabled);

    // Used when a subclass does not override Event_Action.
    std::function<void()> Action;

    // Called by the scheduler; runs Event_Action under the uncaught-exception guard.
    void Fire();

protected:
    virtual void Event_Action();

private:
    void Rearm();
    int mode_ = ModeOff;
    int64_t period_ = 1000;
    bool enabled_ = true;
    uint64_t id_;
};

// Scheduler entry points used by the event loop and the mock clock.
namespace timers {
// Fires every timer due at or before `nowMs`, earliest first. Main thread only.
void FireDue(int64_t nowMs);
// Earliest due time of an active timer, or -1 when none is active.
int64_t NextDue();
// Called (from any thread) whenever the earliest due time may have changed.
void SetWakeHook(std::function<void()> hook);
// How many Actions run now on the main thread (more than one in nested loops).
int ActionsRunning();
}  // namespace timers

}  // namespace fw
