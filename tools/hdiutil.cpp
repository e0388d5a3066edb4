// Stand-in for the disk image tool: reserves RAM devices and ejects their volumes.
//   hdiutil attach -nomount ram://SECTORS   prints the device name, e.g. /dev/tvram1
//   hdiutil detach /volumes/NAME            0 detached, 16 in use, 1 failed
//   hdiutil probe /volumes/NAME             0 a live volume of the caller's, 3 nothing
//                                           usable (or only our leftovers), 4 a foreign
//                                           entry, left alone; changes nothing
#include <charconv>
#include <cstdio>
#include <cstdint>
#include <string>
#include <sys/sysinfo.h>
#include <vector>

#include "DeviceRecords.h"
#include "Volume.h"

using namespace tools;

namespace {

constexpr const char* kUsage =
    "usage: hdiutil attach -nomount ram://SECTORS\n"
    "       hdiutil detach /volumes/NAME\n"
    "       hdiutil probe /volumes/NAME";

// What a RAM file system can hold at most: memory and swap.
uint64_t MemoryBytes() {
    struct sysinfo info {};
    if (::sysinfo(&info) != 0) return UINT64_MAX;
    return (static_cast<uint64_t>(info.totalram) + info.totalswap) * info.mem_unit;
}

// "ram://N": N sectors of 512 bytes, at least one, no more than memory and swap hold.
uint64_t ParseRamUrl(const std::string& url) {
    const std::string scheme = "ram://";
    if (url.compare(0, scheme.size(), scheme) != 0) throw UsageError("not a ram:// URL: " + url);
    const std::string digits = url.substr(scheme.size());
    if (digits.empty() || digits.find_first_not_of("0123456789") != std::string::npos)
        throw UsageError("the size in " + url + " is not a whole number of sectors");
    uint64_t sectors = 0;
    auto [end, ec] = std::from_chars(digits.data(), digits.data() + digits.size(), sectors);
    if (ec != std::errc() || end != digits.data() + digits.size() || sectors > MemoryBytes() / 512)
        throw UsageError("the size in " + url + " is more than this machine's memory and swap");
    if (sectors == 0) throw UsageError("the size in " + url + " is zero");
    return sectors;
}

int Attach(const std::vector<std::string>& args) {
    bool noMount = false;
    std::string url;
    for (auto& arg : args) {
        if (arg == "-nomount" && !noMount) {
            noMount = true;
        } else if (!arg.empty() && arg[0] == '-') {
            throw UsageError("unknown option " + arg);
        } else if (url.empty()) {
            url = arg;
        } else {
            throw UsageError("more than one image: " + arg);
        }
    }
    if (url.empty()) throw UsageError("attach needs a ram:// URL");
    // A RAM device holds no file system yet, so there is nothing to mount.
    if (!noMount) throw UsageError("a RAM device can only be attached with -nomount");
    uint64_t sectors = ParseRamUrl(url);
    DeviceRecords records = DeviceRecords::Open(true);
    std::string device = records.Reserve(sectors);
    if (std::fprintf(stdout, "%s\n", device.c_str()) < 0 || std::fflush(stdout) != 0) {
        records.Remove(device);
        throw ToolError("cannot write the device name");
    }
    return kExitOK;
}

int Run(const std::vector<std::string>& args) {
    if (args.empty()) throw UsageError("no verb");
    const std::vector<std::string> rest(args.begin() + 1, args.end());
    if (args[0] == "attach") return Attach(rest);
    if (args[0] == "detach") {
        if (rest.size() != 1 || rest[0].empty() || rest[0][0] == '-') throw UsageError("detach needs one volume path");
        return DetachVolume(rest[0]);
    }
    if (args[0] == "probe") {
        if (rest.size() != 1 || rest[0].empty() || rest[0][0] == '-') throw UsageError("probe needs one volume path");
        return ProbeVolume(rest[0]);
    }
    throw UsageError("unknown verb " + args[0]);
}

}  // namespace

int main(int argc, char** argv) { return RunTool("hdiutil", kUsage, argc, argv, Run); }
