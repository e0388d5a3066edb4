// Stand-in for the disk tool: turns a reserved RAM device into a volume.
//   diskutil erasevolume HFS+ NAME DEVICE   mounts an empty RAM file system at /volumes/NAME
#include <string>
#include <vector>

#include "DeviceRecords.h"
#include "Mounts.h"
#include "Volume.h"

using namespace tools;

namespace {

constexpr const char* kUsage = "usage: diskutil erasevolume HFS+ NAME DEVICE";

bool StillPresent(const DeviceRecord& record) { return MountAt(record.volume).has_value(); }

int EraseVolume(const std::string& format, const std::string& name, const std::string& device) {
    // The Linux RAM file system stands in for HFS+; no other format is offered.
    if (format != "HFS+") throw UsageError("unsupported format " + format + " (only HFS+)");
    if (!IsVolumeName(name)) throw UsageError("not a volume name: '" + name + "'");
    DeviceRecords records = DeviceRecords::Open(false);
    auto record = records.Find(device);
    if (!record) throw ToolError(device + " is not a RAM device reserved by hdiutil attach");
    if (!record->volume.empty() && StillPresent(*record))
        throw ToolError(device + " already holds the volume " + record->volume);
    try {
        CreateVolume(name, *record, records);
    } catch (const ToolError&) {
        // The device was reserved for this volume alone; do not leave it behind.
        records.Remove(device);
        throw;
    }
    return kExitOK;
}

int Run(const std::vector<std::string>& args) {
    if (args.empty()) throw UsageError("no verb");
    if (args[0] != "erasevolume") throw UsageError("unknown verb " + args[0]);
    if (args.size() != 4) throw UsageError("erasevolume needs a format, a name and a device");
    return EraseVolume(args[1], args[2], args[3]);
}

}  // namespace

int main(int argc, char** argv) { return RunTool("diskutil", kUsage, argc, argv, Run); }
