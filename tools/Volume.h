// Making and ejecting the volume /volumes/NAME of a reserved RAM device.
#pragma once
#include <string>

#include "DeviceRecords.h"

namespace tools {

// Mounts a fresh tmpfs of the device's size in whole MiB at /volumes/NAME, owned by
// the caller, mode 0700: root mounts it itself, an ordinary user through the mount
// helper (without it: ToolError with kExitNoHelper). Leaves an existing volume, a
// folder with contents or a link alone. Throws ToolError.
void CreateVolume(const std::string& name, DeviceRecord record, DeviceRecords& records);

// What stands at `path` ("/volumes/NAME"), changing nothing: kExitOK for a live volume
// of the caller's made by these tools, kExitNothing where nothing is or only our own
// leftovers (an empty mount point, a stale record), kExitForeign for
// anything else. Throws ToolError.
int ProbeVolume(const std::string& path);

// Unmounts the volume at `path` and frees its device record: kExitOK, kExitBusy when
// a process still uses it (the volume stays as it was); throws ToolError otherwise.
int DetachVolume(const std::string& path);

}  // namespace tools
