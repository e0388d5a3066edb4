// The program's side of the guard, a process of its own that outlives the
// program: should the program end without its own last write-back and eject
// (the display went away, a crash, a kill), the guard writes the RAM disk back
// with the same mirror and ejects it. It is told, on its channel, which RAM disk
// it watches (a token also written on that RAM disk), the source folder, the
// roots the program holds, and whether the last load completed (only then may a
// write-back delete).
#pragma once
#include <cstdint>
#include <optional>
#include <string>

#include "engine/Roots.h"
#include "framework/Timer.h"

class CTavelmorinth;

class CGuard : public fw::Timer {
public:
    struct State {
        std::string sToken;
        bool bLoadComplete = false;
        std::string sTargetpath;  // shell paths, as the worker holds them
        std::string sSourcePath;
        // The roots the program loaded: the guard writes back only while both
        // paths still lead there.
        RootsHeld roots;

        std::string Line() const;
        static std::optional<State> Parse(const std::string& line);
        bool operator==(const State&) const = default;
    };

    // On the RAM disk, beside the lock file: the token of the state sent last.
    static constexpr const char* kTokenFile = "/TMP/Guard.dat";

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
    // Sends the state again whenever it changed (and starts a guard that ended);
    // holds the shut-down locks while the RAM disk is attached.
    void Event_Action() override;

private:
    static void Publish(bool force);
};
