// What is mounted where, as this process's mount namespace sees it.
#pragma once
#include <optional>
#include <string>

namespace tools {

struct MountEntry {
    std::string mountPoint;
    std::string fileSystem;  // "tmpfs"
    std::string source;      // "tvram3"
};

// The topmost mount whose mount point is exactly `path`.
std::optional<MountEntry> MountAt(const std::string& path);

}  // namespace tools
