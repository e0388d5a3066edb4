// The baton: only one of the program's threads runs program code at a time.
// The main thread and every framework thread hand it over; a switch happens only
// at a yield point or inside a blocking framework call.
#pragma once

namespace fw::baton {

void Acquire();        // waits for the baton (FIFO); re-entrant per thread
void Release();        // gives one level back
bool HeldByMe();
bool OthersWaiting();  // cheap: one atomic read

// Hands the baton to the next waiting thread, if any, then takes it back.
// Costs one atomic read when nobody waits.
void Yield();

// Holds the baton for the scope (acquires unless this thread already holds it).
class Held {
public:
    Held();
    ~Held();
    Held(const Held&) = delete;
    Held& operator=(const Held&) = delete;

private:
    int depth_;
};

// Releases the baton completely for the scope of a blocking call, then takes it back.
class Unlocked {
public:
    Unlocked();
    ~Unlocked();
    Unlocked(const Unlocked&) = delete;
    Unlocked& operator=(const Unlocked&) = delete;

private:
    int depth_;
};

}  // namespace fw::baton
