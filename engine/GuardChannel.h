// What the program tells its guard, one line on the guard's channel: which RAM
// disk it watches (a token also written on that RAM disk), the source folder,
// the roots the program holds, and whether the last load completed (only then
// may a write-back delete).
#pragma once
#include <optional>
#include <string>

#include "engine/Roots.h"

struct GuardState {
    std::string sToken;
    bool bLoadComplete = false;
    std::string sTargetpath;  // shell paths, as the worker holds them
    std::string sSourcePath;
    // The roots the program loaded: the guard writes back only while both
    // paths still lead there.
    RootsHeld roots;

    std::string Line() const;
    static std::optional<GuardState> Parse(const std::string& line);
    bool operator==(const GuardState&) const = default;
};

// On the RAM disk, beside the lock file: the token of the state sent last.
inline constexpr const char* kGuardTokenFile = "/TMP/Guard.dat";
