#include "Clock.h"

#include <atomic>
#include <chrono>

namespace fw {
namespace {

class SystemClock : public Clock {
public:
    int64_t MonotonicMs() override {
        using namespace std::chrono;
        return duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count();
    }
    double WallSeconds() override {
        using namespace std::chrono;
        return duration_cast<microseconds>(system_clock::now().time_since_epoch()).count() / 1e6;
    }
};

SystemClock gSystemClock;
std::atomic<Clock*> gClock{nullptr};

}  // namespace

Clock& CurrentClock() {
    Clock* c = gClock.load();
    return c ? *c : gSystemClock;
}

void SetClock(Clock* clock) { gClock.store(clock); }

}  // namespace fw
