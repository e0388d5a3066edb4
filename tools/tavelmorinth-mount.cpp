// The privileged helper that gives an ordinary user a sized RAM disk. Installed
// set-user-ID root, it does one thing at one fixed place:
//   tavelmorinth-mount mount SIZE_MB   mounts a tmpfs of SIZE_MB MiB (256 to 4096) at
//                                      /volumes/Tavelmorinth, owned by the caller, 0700
//   tavelmorinth-mount unmount         unmounts such a tmpfs when it is the caller's
// It takes nothing from the caller but the size, runs no other program, ignores its
// environment and looks at every path as the caller; root's rights serve only the
// mkdir, mount, umount and rmdir themselves. Its locked section runs where the
// caller cannot stop it.
#include <cerrno>
#include <cstdlib>
#include <csignal>
#include <fcntl.h>
#include <string>
#include <sys/file.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

#include "MountHelper.h"
#include "Mounts.h"
#include "Support.h"

using namespace tools;

namespace {

constexpr const char* kUsage =
    "usage: tavelmorinth-mount mount SIZE_MB   (256 to 4096)\n"
    "       tavelmorinth-mount unmount";
// Only root can open it, so no user can hold the lock and stall everyone else.
constexpr const char* kLockFile = "/run/tavelmorinth-mount.lock";

uid_t gCallerUid = 0;
gid_t gCallerGid = 0;

void AsCaller() {
    if (::setegid(gCallerGid) != 0 || ::seteuid(gCallerUid) != 0)
        throw ToolError(ErrnoText("cannot take the caller's identity", errno));
}

void AsRoot() {
    if (::seteuid(0) != 0 || ::setegid(0) != 0) throw ToolError(ErrnoText("cannot take root's identity", errno));
}

const std::string MountPoint() { return VolumePath(kRAMDiskName); }

// A message meant for the caller must not land in a file the caller left open as 1 or 2.
void KeepStandardDescriptorsOpen() {
    for (int fd = 0; fd <= 2; ++fd) {
        if (::fcntl(fd, F_GETFD) >= 0 || errno != EBADF) continue;
        if (::open("/dev/null", O_RDWR) != fd) std::_Exit(kExitFailure);
    }
}

unsigned ParseSize(const std::string& text) {
    if (text.empty() || text.size() > 4 || text[0] == '0' || text.find_first_not_of("0123456789") != std::string::npos)
        throw UsageError("the size must be a whole number of MB from 256 to 4096: '" + text + "'");
    unsigned mb = static_cast<unsigned>(std::stoul(text));
    if (mb < kHelperSmallestMB || mb > kHelperLargestMB)
        throw UsageError("the size must be from 256 to 4096 MB: " + text);
    return mb;
}

// "/" and /volumes may be changed by root alone, so no entry below them can be
// swapped for a link between a check and the step that relies on it.
Fd OpenVolumes() {
    struct stat root {}, volumes {};
    if (::stat("/", &root) != 0 || root.st_uid != 0 || (root.st_mode & (S_IWGRP | S_IWOTH)))
        throw ToolError("/ may be changed by others than root; nothing mounted");
    Fd fd(::open(kVolumesFolder, O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
    if (!fd.Valid()) throw ToolError(ErrnoText(std::string("cannot open ") + kVolumesFolder, errno));
    if (::fstat(fd.Get(), &volumes) != 0 || volumes.st_uid != 0 || (volumes.st_mode & (S_IWGRP | S_IWOTH)))
        throw ToolError(std::string(kVolumesFolder) +
                        " must be a folder of root's that only root may change (mode 0755); it is not");
    return fd;
}

// From here on the real and saved user ids are root's: the caller may no longer
// signal, stop or trace this process, so none of the caller's can hold the lock
// and stall another user's mount. The effective id stays the caller's for the
// checks. Terminal signals reach a process whatever its ids; they are ignored.
void BeyondTheCallersReach() {
    for (int signal : {SIGHUP, SIGINT, SIGQUIT, SIGTSTP, SIGTTIN, SIGTTOU, SIGPIPE}) ::signal(signal, SIG_IGN);
    if (::setresuid(0, gCallerUid, 0) != 0) throw ToolError(ErrnoText("cannot keep the caller from stopping it", errno));
}

// One helper at a time, so that two callers cannot both find the place free.
// Messages are written only once the lock is let go (a caller may leave the
// output blocked), as a ToolError leaves the section.
Fd Lock() {
    BeyondTheCallersReach();
    AsRoot();
    Fd fd(::open(kLockFile, O_RDWR | O_CREAT | O_NOFOLLOW | O_CLOEXEC, 0600));
    int err = errno;
    AsCaller();
    struct stat st {};
    if (!fd.Valid()) throw ToolError(ErrnoText(std::string("cannot open ") + kLockFile, err));
    if (::fstat(fd.Get(), &st) != 0 || !S_ISREG(st.st_mode) || st.st_uid != 0)
        throw ToolError(std::string(kLockFile) + " is not root's lock file");
    // A helper that hangs in the kernel must not make everyone wait for ever.
    for (int attempt = 0; ::flock(fd.Get(), LOCK_EX | LOCK_NB) != 0; ++attempt) {
        if (errno != EWOULDBLOCK && errno != EINTR)
            throw ToolError(ErrnoText(std::string("cannot lock ") + kLockFile, errno));
        if (attempt == 100) throw ToolError("another mount or unmount is still going on; try again");
        ::usleep(100000);
    }
    return fd;
}

int Mount(unsigned megabytes) {
    const std::string path = MountPoint();
    Fd volumes = OpenVolumes();
    Fd lock = Lock();
    struct stat volumesInfo {}, st {};
    ::fstat(volumes.Get(), &volumesInfo);
    bool made = false;
    if (::fstatat(volumes.Get(), kRAMDiskName, &st, AT_SYMLINK_NOFOLLOW) != 0) {
        if (errno != ENOENT) throw ToolError(ErrnoText("cannot look at " + path, errno));
        AsRoot();
        made = ::mkdirat(volumes.Get(), kRAMDiskName, 0755) == 0;
        int err = errno;
        AsCaller();
        if (!made) throw ToolError(ErrnoText("cannot make " + path, err));
    }
    // Only the empty folder of root's that this helper makes is a mount point.
    Fd point(OpenFolderAt(volumes.Get(), kRAMDiskName));
    if (!point.Valid() || ::fstat(point.Get(), &st) != 0 || st.st_uid != 0 || st.st_dev != volumesInfo.st_dev ||
        MountAt(path) || !FolderIsEmpty(point.Get()))
        throw ToolError(path + " is there already and is not an empty mount point of this helper's; left alone");
    const std::string options = "size=" + std::to_string(megabytes) + "m,uid=" + std::to_string(gCallerUid) +
                                ",gid=" + std::to_string(gCallerGid) + ",mode=0700";
    // Through the opened folder: the mount lands on exactly what was checked.
    const std::string target = "/proc/self/fd/" + std::to_string(point.Get());
    AsRoot();
    int mounted = ::mount(kHelperSource, target.c_str(), "tmpfs", MS_NOSUID | MS_NODEV, options.c_str());
    int err = errno;
    if (mounted != 0 && made) ::unlinkat(volumes.Get(), kRAMDiskName, AT_REMOVEDIR);
    AsCaller();
    if (mounted != 0) throw ToolError(ErrnoText("cannot mount a RAM file system on " + path, err));
    return kExitOK;
}

int Unmount() {
    const std::string path = MountPoint();
    Fd volumes = OpenVolumes();
    Fd lock = Lock();
    auto mounted = MountAt(path);
    if (!mounted || mounted->fileSystem != "tmpfs" || mounted->source != kHelperSource)
        throw ToolError(path + " is not a RAM disk made by this helper; left alone");
    struct stat st {};
    if (::fstatat(volumes.Get(), kRAMDiskName, &st, AT_SYMLINK_NOFOLLOW) != 0 || !S_ISDIR(st.st_mode) ||
        st.st_uid != gCallerUid)
        throw ToolError(path + " is another user's RAM disk; left alone");
    AsRoot();
    int done = ::umount2(path.c_str(), UMOUNT_NOFOLLOW);
    int err = errno;
    AsCaller();
    if (done != 0) {
        if (err == EBUSY) throw ToolError(path + " is in use; not unmounted", kExitBusy);
        throw ToolError(ErrnoText("cannot unmount " + path, err));
    }
    // What is left is the helper's own empty mount point; it would only stand in the way.
    Fd point(OpenFolderAt(volumes.Get(), kRAMDiskName));
    if (point.Valid() && ::fstat(point.Get(), &st) == 0 && st.st_uid == 0 && !MountAt(path) &&
        FolderIsEmpty(point.Get())) {
        point.Close();
        AsRoot();
        ::unlinkat(volumes.Get(), kRAMDiskName, AT_REMOVEDIR);
        AsCaller();
    }
    return kExitOK;
}

int Run(const std::vector<std::string>& args) {
    if (::geteuid() != 0) throw ToolError("not installed with its privilege (set-user-ID root)");
    AsCaller();
    if (args.size() == 2 && args[0] == "mount") return Mount(ParseSize(args[1]));
    if (args.size() == 1 && args[0] == "unmount") return Unmount();
    throw UsageError(args.empty() ? "no verb" : "unknown command line");
}

}  // namespace

int main(int argc, char** argv) {
    KeepStandardDescriptorsOpen();
    ::clearenv();
    ::umask(022);
    gCallerUid = ::getuid();
    gCallerGid = ::getgid();
    if (argc < 1) return kExitUsage;
    return RunTool(kHelperName, kUsage, argc, argv, Run);
}
