#include "DeviceRecords.h"

#include "framework/PrivateFolder.h"

#include <cerrno>
#include <charconv>
#include <dirent.h>
#include <fcntl.h>
#include <sstream>
#include <sys/stat.h>
#include <unistd.h>

namespace tools {

namespace {

constexpr const char* kRecordsFolder = ".ramdevices";
constexpr const char* kUserRecordsFolder = "tavelmorinth-ramdevices";
constexpr const char* kDevicePrefix = "/dev/";
constexpr const char* kRecordPrefix = "tvram";
constexpr unsigned kMostDevices = 100000;

// "/dev/tvram3" -> "tvram3"; empty for anything else.
std::string RecordName(const std::string& device) {
    const std::string prefix = std::string(kDevicePrefix) + kRecordPrefix;
    if (device.size() <= prefix.size() || device.compare(0, prefix.size(), prefix) != 0) return {};
    for (size_t i = prefix.size(); i < device.size(); ++i) {
        if (device[i] < '0' || device[i] > '9') return {};
    }
    return device.substr(std::string(kDevicePrefix).size());
}

std::string Serialise(const DeviceRecord& record) {
    std::string text = "sectors=" + std::to_string(record.sectors) + "\n";
    if (!record.volume.empty()) text += "volume=" + record.volume + "\n";
    return text;
}

bool Parse(const std::string& text, DeviceRecord& record) {
    std::istringstream lines(text);
    std::string line;
    while (std::getline(lines, line)) {
        auto equals = line.find('=');
        if (equals == std::string::npos) return false;
        std::string key = line.substr(0, equals), value = line.substr(equals + 1);
        if (key == "sectors") {
            auto [end, ec] = std::from_chars(value.data(), value.data() + value.size(), record.sectors);
            if (ec != std::errc() || end != value.data() + value.size()) return false;
        } else if (key == "volume") {
            record.volume = value;
        }
    }
    return record.sectors > 0;
}

}  // namespace

DeviceRecords DeviceRecords::Open(bool create) {
    DeviceRecords records;
    std::string parent, error;
    const char* name = kRecordsFolder;
    if (::geteuid() == 0) {
        parent = kVolumesFolder;
    } else {
        // The runtime folder is shared with the session's other programs.
        name = kUserRecordsFolder;
        // An ordinary user may not write in /volumes: the records live in the
        // user's private runtime folder, which nobody else can make or block.
        parent = fw::UserRuntimeFolder("tavelmorinth", &error);
        if (parent.empty()) throw ToolError("no private folder for the device records: " + error);
    }
    Fd base(::open(parent.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (!base.Valid()) throw ToolError(ErrnoText("cannot open " + parent, errno));
    const std::string where = parent + "/" + name;
    if (create) ::mkdirat(base.Get(), name, 0700);
    records.folder_ = Fd(OpenFolderAt(base.Get(), name));
    if (!records.folder_.Valid()) {
        if (errno == ENOENT && !create) return records;
        throw ToolError(ErrnoText("cannot open the device records in " + where, errno));
    }
    struct stat st {};
    if (::fstat(records.folder_.Get(), &st) != 0) throw ToolError(ErrnoText("cannot read " + where, errno));
    // Whoever else may change the records could rename or take away the user's own.
    if (!fw::IsPrivateFolder(st, ::geteuid()))
        throw ToolError(where + " is not a folder of this user's alone (another owner, or open to others); left alone");
    return records;
}

std::string DeviceRecords::Reserve(uint64_t sectors) {
    if (!folder_.Valid()) throw ToolError("no device records folder");
    // Write the record under a private name, then link it to the first free device
    // name: the link either takes the name whole or fails, so no reader sees half a record.
    const std::string temporary = ".reserve." + std::to_string(::getpid());
    DeviceRecord record;
    record.sectors = sectors;
    ReplaceFile(folder_.Get(), temporary, Serialise(record));
    for (unsigned n = 1; n <= kMostDevices; ++n) {
        std::string name = kRecordPrefix + std::to_string(n);
        if (::linkat(folder_.Get(), temporary.c_str(), folder_.Get(), name.c_str(), 0) == 0) {
            ::unlinkat(folder_.Get(), temporary.c_str(), 0);
            return kDevicePrefix + name;
        }
        if (errno != EEXIST) {
            int err = errno;
            ::unlinkat(folder_.Get(), temporary.c_str(), 0);
            throw ToolError(ErrnoText("cannot reserve a RAM device", err));
        }
    }
    ::unlinkat(folder_.Get(), temporary.c_str(), 0);
    throw ToolError("cannot reserve a RAM device: every device name is taken");
}

std::optional<DeviceRecord> DeviceRecords::Find(const std::string& device) const {
    std::string name = RecordName(device);
    std::string text;
    DeviceRecord record;
    if (name.empty() || !folder_.Valid() || !ReadOwnedFile(folder_.Get(), name, ::geteuid(), text) ||
        !Parse(text, record))
        return std::nullopt;
    record.device = device;
    return record;
}

std::vector<DeviceRecord> DeviceRecords::All() const {
    std::vector<DeviceRecord> records;
    if (!folder_.Valid()) return records;
    int copy = ::fcntl(folder_.Get(), F_DUPFD_CLOEXEC, 0);
    DIR* dir = copy >= 0 ? ::fdopendir(copy) : nullptr;
    if (!dir) {
        if (copy >= 0) ::close(copy);
        return records;
    }
    while (dirent* entry = ::readdir(dir)) {
        if (auto record = Find(kDevicePrefix + std::string(entry->d_name))) records.push_back(*record);
    }
    ::closedir(dir);
    return records;
}

std::vector<DeviceRecord> DeviceRecords::FindByVolume(const std::string& volume) const {
    std::vector<DeviceRecord> found;
    for (auto& record : All()) {
        if (record.volume == volume) found.push_back(record);
    }
    return found;
}

void DeviceRecords::Store(const DeviceRecord& record) {
    std::string name = RecordName(record.device);
    if (name.empty() || !folder_.Valid()) throw ToolError("not a RAM device: " + record.device);
    ReplaceFile(folder_.Get(), name, Serialise(record));
}

void DeviceRecords::Remove(const std::string& device) {
    std::string name = RecordName(device);
    if (name.empty() || !folder_.Valid() || !Find(device)) return;
    if (::unlinkat(folder_.Get(), name.c_str(), 0) != 0 && errno != ENOENT)
        throw ToolError(ErrnoText("cannot free the record of " + device, errno));
}

}  // namespace tools
