// The RAM devices that "hdiutil attach" reserved: one small file per device, owned
// by the user who reserved it, in a folder of that user's alone. Root keeps them
// in /volumes/.ramdevices (a private /volumes, a tmpfs, takes them with it); an
// ordinary user, who may not write in /volumes, in tavelmorinth-ramdevices of the
// private runtime folder.
#pragma once
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "Support.h"

namespace tools {

struct DeviceRecord {
    std::string device;   // "/dev/tvram3"
    uint64_t sectors = 0; // of 512 bytes
    std::string volume;   // "/volumes/NAME" once erased into a volume, else empty

    // The program asks for 1953 sectors a MB; every road mounts whole MiB.
    uint64_t Megabytes() const { return (sectors + 1952) / 1953; }
};

class DeviceRecords {
public:
    // Throws ToolError when the records folder or its parent is missing or unsafe.
    // Without `create`, a missing records folder gives an empty set.
    static DeviceRecords Open(bool create);

    // Reserves the lowest free device name.
    std::string Reserve(uint64_t sectors);
    // Only devices the calling user reserved are found.
    std::optional<DeviceRecord> Find(const std::string& device) const;
    std::vector<DeviceRecord> FindByVolume(const std::string& volume) const;
    void Store(const DeviceRecord& record);
    void Remove(const std::string& device);

private:
    std::vector<DeviceRecord> All() const;
    Fd folder_;
};

}  // namespace tools
