// The program's side of the guard, a process of its own that outlives the
// program: should the program end without its own last write-back and eject
// (the display went away, a crash, a kill), the guard writes the RAM disk back
// with the same mirror and ejects it. This side starts it and keeps it told
// (engine/GuardChannel.h says what); the shut-down locks go with it.
#pragma once
#include <cstdint>

#include "engine/GuardChannel.h"
#include "framework/Timer.h"

class CTavelmorinth;

class CGuard : public fw::Timer {
public:
    // Before the worker decides about the volume: waits (bounded) while the
    // guard of an earlier run still writes that RAM disk back.
    static void WaitForEarlierGuard();
    // The same wait for the main thread, which must not wait: asks once, at
    // once. True when the worker may go on: no earlier guard holds the lock (it
    // is held now), or the wait begun at `sinceMs` (clock time) has reached its
    // bound. A caller that gets false asks again later (from a timer).
    static bool EarlierGuardDone(int64_t sinceMs);
    // Once the worker's volume exists: a new token for it, the guard started
    // when none runs, and the state sent.
    static void Start(const CTavelmorinth& worker);

protected:
    // Sends the state again whenever it changed (and starts a guard that ended),
    // and has the shut-down locks follow the RAM disk.
    void Event_Action() override;

private:
    static void Publish(bool force);
};
