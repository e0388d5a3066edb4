// The time source for timers and dates. Tests install a MockClock and drive it.
#pragma once
#include <cstdint>

namespace fw {

class Clock {
public:
    virtual ~Clock() = default;
    virtual int64_t MonotonicMs() = 0;   // for timers
    virtual double WallSeconds() = 0;    // seconds since the Unix epoch, for Date
};

Clock& CurrentClock();
// Installs a clock (nullptr: back to the system clock). Not owned.
void SetClock(Clock* clock);

class MockClock : public Clock {
public:
    explicit MockClock(double wallStart = 1.7e9) : wall_(wallStart) {}
    int64_t MonotonicMs() override { return mono_; }
    double WallSeconds() override { return wall_ + mono_ / 1000.0; }
    // Moves time forward, firing every timer that falls due on the way, in order,
    // on the calling thread (which must be the main thread).
    void Advance(int64_t ms);
    void SetWall(double seconds) { wall_ = seconds - mono_ / 1000.0; }

private:
    int64_t mono_ = 0;
    double wall_;
};

}  // namespace fw
