// What the program, its guard and the disk tools agree on: where the RAM disk
// is made and what the tools' exit codes mean. No framework, no Qt: the tools
// include it too.
#pragma once
#include <string_view>

namespace tools {

constexpr const char* kVolumesFolder = "/volumes";
constexpr const char* kRAMDiskName = "Tavelmorinth";
// The one path the tools make the RAM disk at.
constexpr const char* kRAMDiskPath = "/volumes/Tavelmorinth";
static_assert(std::string_view(kRAMDiskPath).starts_with(kVolumesFolder) &&
              std::string_view(kRAMDiskPath).ends_with(kRAMDiskName));

constexpr int kExitOK = 0;        // done; probe: a live RAM disk of the caller's made by the tools
constexpr int kExitFailure = 1;
constexpr int kExitUsage = 2;
constexpr int kExitNothing = 3;   // probe: nothing usable there, or only our own leftovers
constexpr int kExitForeign = 4;   // probe: an entry that is not ours; it is left alone
constexpr int kExitNoHelper = 5;  // erasevolume: an ordinary user without the mount helper
constexpr int kExitBusy = 16;     // detach, and the mount helper's unmount: the volume is in use

}  // namespace tools
