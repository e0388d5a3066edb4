#include "Volume.h"

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <fcntl.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <unistd.h>

#include "MountHelper.h"
#include "Mounts.h"

namespace tools {

namespace {

constexpr const char* kFileSystem = "tmpfs";

Fd OpenVolumes() {
    Fd volumes(::open(kVolumesFolder, O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (!volumes.Valid()) throw ToolError(ErrnoText(std::string("cannot open ") + kVolumesFolder, errno));
    return volumes;
}

struct MountPoint {
    Fd folder;
    bool made = false;  // by us, so ours to remove again on failure
};

// Makes or checks the empty folder /volumes/NAME to mount on; opened without following links.
MountPoint PrepareMountPoint(int volumesFd, const std::string& name) {
    const std::string path = VolumePath(name);
    struct stat st {};
    if (::fstatat(volumesFd, name.c_str(), &st, AT_SYMLINK_NOFOLLOW) == 0) {
        if (S_ISLNK(st.st_mode)) {
            throw ToolError(path + " is already a volume or a symbolic link; left alone");
        } else if (!S_ISDIR(st.st_mode)) {
            throw ToolError(path + " exists and is not a folder; left alone");
        } else if (MountAt(path)) {
            throw ToolError(path + " is already a mounted volume; left alone");
        } else if (st.st_uid != ::geteuid() && st.st_uid != 0) {
            throw ToolError(path + " belongs to another user; left alone");
        }
    } else if (errno != ENOENT) {
        throw ToolError(ErrnoText("cannot look at " + path, errno));
    }
    MountPoint point;
    point.made = ::mkdirat(volumesFd, name.c_str(), 0755) == 0;
    if (!point.made && errno != EEXIST) throw ToolError(ErrnoText("cannot make " + path, errno));
    point.folder = Fd(OpenFolderAt(volumesFd, name));
    if (!point.folder.Valid()) throw ToolError(ErrnoText("cannot open " + path, errno));
    if (!FolderIsEmpty(point.folder.Get())) throw ToolError(path + " is a folder that is not empty; left alone");
    return point;
}

// Records of this volume left from a run that never ejected it (the machine was restarted).
void ForgetOlderRecords(DeviceRecords& records, const DeviceRecord& current) {
    for (auto& old : records.FindByVolume(current.volume)) {
        if (old.device != current.device) records.Remove(old.device);
    }
}

// An ordinary user's sized RAM disk, mounted by the privileged helper, which does its
// own checks of the mount point.
void CreateWithHelper(const std::string& name, DeviceRecord& record, DeviceRecords& records) {
    const std::string path = VolumePath(name);
    int code = RunHelper({"mount", std::to_string(record.Megabytes())});
    if (code != kExitOK) throw ToolError("the mount helper did not make " + path);
    auto mounted = MountAt(path);
    if (!mounted || mounted->fileSystem != kFileSystem || mounted->source != kHelperSource)
        throw ToolError("the mount helper ended without a RAM file system at " + path);
    record.volume = path;
    try {
        records.Store(record);
    } catch (...) {
        RunHelper({"unmount"});
        throw;
    }
    ForgetOlderRecords(records, record);
}

}  // namespace

void CreateVolume(const std::string& name, DeviceRecord record, DeviceRecords& records) {
    if (::geteuid() != 0) {
        if (name == kRAMDiskName && HelperIsSetUp()) {
            CreateWithHelper(name, record, records);
            return;
        }
        throw ToolError("an ordinary user may not mount a RAM file system, and the mount helper " + HelperPath() +
                            " is not set up; root sets it up with 'scripts/setup --helper' for a build tree, "
                            "'cmake --install' or the package",
                        kExitNoHelper);
    }
    Fd volumes = OpenVolumes();
    const std::string path = VolumePath(name);
    MountPoint mountPoint = PrepareMountPoint(volumes.Get(), name);
    // Root's RAM disk is root's alone, as the helper's are their users'.
    const std::string options = "size=" + std::to_string(record.Megabytes()) + "m,uid=" + std::to_string(::getuid()) +
                                ",gid=" + std::to_string(::getgid()) + ",mode=0700";
    // Mount through the opened folder, so a link swapped in meanwhile cannot redirect it.
    const std::string target = "/proc/self/fd/" + std::to_string(mountPoint.folder.Get());
    const std::string source = record.device.substr(record.device.rfind('/') + 1);
    if (::mount(source.c_str(), target.c_str(), kFileSystem, MS_NOSUID | MS_NODEV, options.c_str()) != 0) {
        int err = errno;
        mountPoint.folder.Close();
        if (mountPoint.made) ::unlinkat(volumes.Get(), name.c_str(), AT_REMOVEDIR);
        throw ToolError(ErrnoText("cannot mount a RAM file system on " + path, err));
    }
    record.volume = path;
    try {
        records.Store(record);
    } catch (...) {
        ::umount2(path.c_str(), UMOUNT_NOFOLLOW);
        throw;
    }
    ForgetOlderRecords(records, record);
}

namespace {

void ForgetVolume(const std::string& volume, DeviceRecords& records) {
    for (auto& record : records.FindByVolume(volume)) records.Remove(record.device);
}

int DetachHelperMount(int volumesFd, const std::string& name, DeviceRecords& records) {
    const std::string volume = VolumePath(name);
    struct stat st {};
    if (::fstatat(volumesFd, name.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0 || st.st_uid != ::geteuid())
        throw ToolError(volume + " is another user's volume; left alone");
    if (::geteuid() == 0) {
        if (::umount2(volume.c_str(), UMOUNT_NOFOLLOW) != 0) {
            if (errno != EBUSY) throw ToolError(ErrnoText("cannot detach " + volume, errno));
            Say(volume + " is in use; not detached");
            return kExitBusy;
        }
        if (::unlinkat(volumesFd, name.c_str(), AT_REMOVEDIR) != 0)
            throw ToolError(ErrnoText(volume + " was detached, but its folder cannot be removed", errno));
    } else {
        int code = RunHelper({"unmount"});
        if (code == kExitBusy) {
            Say(volume + " is in use; not detached");
            return kExitBusy;
        }
        if (code != kExitOK) throw ToolError("the mount helper did not detach " + volume);
    }
    ForgetVolume(volume, records);
    return kExitOK;
}

int DetachMount(int volumesFd, const std::string& name, DeviceRecords& records) {
    const std::string volume = VolumePath(name);
    auto mounted = MountAt(volume);
    if (!mounted) throw ToolError(volume + " is not a mounted volume");
    if (mounted->fileSystem == kFileSystem && mounted->source == kHelperSource)
        return DetachHelperMount(volumesFd, name, records);
    DeviceRecord record;
    for (auto& candidate : records.FindByVolume(volume)) {
        if (candidate.device == "/dev/" + mounted->source) record = candidate;
    }
    if (mounted->fileSystem != kFileSystem || record.device.empty())
        throw ToolError(volume + " is not a volume made by diskutil; left alone");
    if (::umount2(volume.c_str(), UMOUNT_NOFOLLOW) != 0) {
        if (errno == EBUSY) {
            Say(volume + " is in use; not detached");
            return kExitBusy;
        }
        throw ToolError(ErrnoText("cannot detach " + volume, errno));
    }
    // A folder left at the mount point would pass for the volume itself.
    if (::unlinkat(volumesFd, name.c_str(), AT_REMOVEDIR) != 0)
        throw ToolError(ErrnoText(volume + " was detached, but its folder cannot be removed", errno));
    records.Remove(record.device);
    return kExitOK;
}

}  // namespace

namespace {

// "/volumes/NAME" or "/volumes/NAME/" -> "NAME"; empty for anything else.
std::string VolumeNameOf(const std::string& path) {
    const std::string prefix = std::string(kVolumesFolder) + "/";
    std::string name = path.compare(0, prefix.size(), prefix) == 0 ? path.substr(prefix.size()) : std::string();
    while (!name.empty() && name.back() == '/') name.pop_back();
    return IsVolumeName(name) ? name : std::string();
}

bool HasRecord(const std::string& volume, const std::string& device) {
    for (auto& record : DeviceRecords::Open(false).FindByVolume(volume)) {
        if (record.device == device) return true;
    }
    return false;
}

int ProbeFolder(int volumesFd, const std::string& name, const struct stat& st) {
    const std::string path = VolumePath(name);
    if (auto mounted = MountAt(path)) {
        if (mounted->fileSystem == kFileSystem && st.st_uid == ::geteuid() &&
            (mounted->source == kHelperSource || HasRecord(path, "/dev/" + mounted->source)))
            return kExitOK;
        Say(path + " is a mount that is not a volume of this user's; left alone");
        return kExitForeign;
    }
    Fd folder(OpenFolderAt(volumesFd, name));
    // The empty mount point of a volume that a restart took away.
    if (folder.Valid() && FolderIsEmpty(folder.Get()) && (st.st_uid == ::geteuid() || st.st_uid == 0))
        return kExitNothing;
    Say(path + " is a folder that is not empty or not this user's; left alone");
    return kExitForeign;
}

}  // namespace

int ProbeVolume(const std::string& path) {
    const std::string name = VolumeNameOf(path);
    if (name.empty()) throw UsageError("not a volume path: " + path);
    Fd volumes(::open(kVolumesFolder, O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (!volumes.Valid()) {
        if (errno == ENOENT) return kExitNothing;
        throw ToolError(ErrnoText(std::string("cannot open ") + kVolumesFolder, errno));
    }
    struct stat st {};
    if (::fstatat(volumes.Get(), name.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0) {
        if (errno == ENOENT) return kExitNothing;
        throw ToolError(ErrnoText("cannot look at " + VolumePath(name), errno));
    }
    // These tools make no links: one there is somebody else's doing.
    if (S_ISLNK(st.st_mode)) {
        Say(VolumePath(name) + " is a symbolic link, not a volume made by diskutil; left alone");
        return kExitForeign;
    }
    if (S_ISDIR(st.st_mode)) return ProbeFolder(volumes.Get(), name, st);
    Say(VolumePath(name) + " is neither a folder nor a link; left alone");
    return kExitForeign;
}

int DetachVolume(const std::string& path) {
    const std::string name = VolumeNameOf(path);
    if (name.empty()) throw ToolError("no such volume: " + path);

    Fd volumes = OpenVolumes();
    DeviceRecords records = DeviceRecords::Open(false);
    struct stat st {};
    if (::fstatat(volumes.Get(), name.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0)
        throw ToolError(ErrnoText("no such volume " + VolumePath(name), errno));
    if (S_ISLNK(st.st_mode)) throw ToolError(VolumePath(name) + " is a symbolic link, not a volume made by diskutil; left alone");
    if (S_ISDIR(st.st_mode)) return DetachMount(volumes.Get(), name, records);
    throw ToolError(VolumePath(name) + " is not a volume");
}

}  // namespace tools
