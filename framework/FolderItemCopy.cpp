// Copying an entry, and opening a file with the desktop's application.
#include <fcntl.h>
#include <stdio.h>
#include <sys/sendfile.h>
#include <sys/stat.h>
#include <sys/xattr.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <memory>
#include <mutex>
#include <string_view>
#include <vector>

#include "Baton.h"
#include "DesktopOpen.h"
#include "FolderItem.h"
#include "LongPath.h"
#include "Log.h"

namespace fw {

using internal::LongPath;

namespace {

// Copies above this size give the baton to the other threads while the bytes move.
constexpr off_t kReleaseBatonFrom = 1 << 20;

// A copy whose source changed while it was read: not put in place.
constexpr int kChangedWhileCopied = EAGAIN;

// Objects that copying threads use are never destroyed: a copy may still run
// while the process's exit handlers tear down its statics.
template <typename T>
T& Immortal() {
    static T* const object = new T();
    return *object;
}

std::atomic<unsigned> gTempCounter{0};

unsigned ProcessId() {
    static const unsigned pid = unsigned(::getpid());
    return pid;
}

// Where a copy is written: a temporary name beside the destination, renamed
// over it. Where either path would pass PATH_MAX, the destination's folder is
// held open and both are named in it: the temporary name, shorter than most,
// then only has to fit NAME_MAX, like the destination's own name.
struct Place {
    int dir = AT_FDCWD;
    std::string temp;  // hidden, so the mirror never picks up one that a crash left behind
    std::string name;  // the destination, in `dir`
    std::string_view folder;

    Place() = default;
    Place(const Place&) = delete;
    Place& operator=(const Place&) = delete;
    ~Place() {
        if (dir >= 0) ::close(dir);
    }

    // 0 or errno.
    int Open(const std::string& to) {
        const size_t slash = to.rfind('/');
        if (slash == std::string::npos || slash + 1 >= to.size()) return EINVAL;
        folder = slash == 0 ? std::string_view("/") : std::string_view(to.data(), slash);
        char tempName[48];
        const int length = std::snprintf(tempName, sizeof tempName, "%.*s%x.%x", int(kCopyTemporaryPrefix.size()),
                                         kCopyTemporaryPrefix.data(), ProcessId(),
                                         gTempCounter.fetch_add(1, std::memory_order_relaxed));
        if (to.size() < PATH_MAX && slash + 1 + size_t(length) < PATH_MAX) {
            temp.reserve(slash + 1 + size_t(length));
            temp.assign(to, 0, slash + 1);
            temp.append(tempName, size_t(length));
            name = to;
            return 0;
        }
        const std::string folderPath(folder);
        dir = ::open(LongPath(folderPath).c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC);
        if (dir < 0) return errno;
        temp.assign(tempName, size_t(length));
        name.assign(to, slash + 1);
        return 0;
    }
    void RemoveTemp() const { ::unlinkat(dir, temp.c_str(), 0); }
};

// How bytes move between two file systems: copy_file_range where the kernel
// does it between them, else sendfile, else read and write through a buffer.
// Learned at the first file that needs it and kept per pair of devices until
// ForgetCopyMethods; a method that stops working is replaced at once, so a
// wrong guess costs time, never bytes.
enum class Method : unsigned char { KernelCopy, SendFile, Buffer };

struct LearnedMethod {
    dev_t from, to;
    Method method;
};

struct Methods {
    std::mutex mutex;
    std::vector<LearnedMethod> learned;
};
std::atomic<unsigned> gMethodsGeneration{0};

// What this thread used last, so that a folder's files need no lookup at all.
struct LastCopy {
    unsigned generation = ~0u;
    dev_t from = 0;
    std::string toFolder;
    dev_t to = 0;
};
thread_local LastCopy tLast;

Method MethodFor(dev_t from, dev_t to) {
    Methods& methods = Immortal<Methods>();
    std::lock_guard<std::mutex> lock(methods.mutex);
    for (const LearnedMethod& m : methods.learned)
        if (m.from == from && m.to == to) return m.method;
    return Method::KernelCopy;
}

void Learn(dev_t from, dev_t to, Method method) {
    Methods& methods = Immortal<Methods>();
    std::lock_guard<std::mutex> lock(methods.mutex);
    for (LearnedMethod& m : methods.learned) {
        if (m.from == from && m.to == to) {
            m.method = method;
            return;
        }
    }
    methods.learned.push_back({from, to, method});
}

// The copies of files with more than one name made since ForgetCopyMethods, by
// the source's device and inode: the next name of such a file is linked to the
// copy, so that both sides hold one file under both names.
struct LinkedCopy {
    std::string path;
    dev_t dev;
    ino_t ino;
    off_t size;
    timespec mtim, ctim;
};
struct Links {
    std::mutex mutex;
    std::map<std::pair<dev_t, ino_t>, LinkedCopy> copies;
};

bool SameTime(const timespec& a, const timespec& b) { return a.tv_sec == b.tv_sec && a.tv_nsec == b.tv_nsec; }

bool Unchanged(const struct stat& before, const struct stat& after) {
    return before.st_size == after.st_size && SameTime(before.st_mtim, after.st_mtim) &&
           SameTime(before.st_ctim, after.st_ctim);
}

bool NotHere(int err) { return err == EXDEV || err == EINVAL || err == ENOSYS || err == EOPNOTSUPP || err == EPERM; }

// 0 or errno. Copies the bytes [begin, end) to the same offsets; a file that
// shrinks meanwhile ends early. A method that fails for want of support hands
// over to the next one where the offsets stand.
int CopyRange(int from, int to, off_t begin, off_t end, dev_t fromDev, dev_t toDev) {
    Method method = MethodFor(fromDev, toDev);
    off_t done = begin;
    bool positioned = false;  // sendfile writes at the destination's own offset
    while (done < end && method != Method::Buffer) {
        const size_t want = size_t(std::min<off_t>(end - done, 0x7ffff000));
        ssize_t n;
        if (method == Method::KernelCopy) {
            loff_t in = done, out = done;
            n = ::copy_file_range(from, &in, to, &out, want, 0);
        } else {
            if (!positioned && ::lseek(to, done, SEEK_SET) < 0) return errno;
            positioned = true;
            off_t in = done;
            n = ::sendfile(to, from, &in, want);
        }
        if (n > 0) {
            done += n;
            continue;
        }
        if (n == 0) return 0;
        if (errno == EINTR) continue;
        if (!NotHere(errno)) return errno;
        method = method == Method::KernelCopy ? Method::SendFile : Method::Buffer;
        Learn(fromDev, toDev, method);
    }
    if (done >= end) return 0;
    constexpr size_t kBuffer = 256 * 1024;
    thread_local std::unique_ptr<char[]> buffer;
    if (!buffer) buffer.reset(new char[kBuffer]);
    while (done < end) {
        const ssize_t n = ::pread(from, buffer.get(), size_t(std::min<off_t>(kBuffer, end - done)), done);
        if (n == 0) return 0;
        if (n < 0) {
            if (errno == EINTR) continue;
            return errno;
        }
        for (ssize_t written = 0; written < n;) {
            const ssize_t w = ::pwrite(to, buffer.get() + written, size_t(n - written), done + written);
            if (w < 0) {
                if (errno == EINTR) continue;
                return errno;
            }
            written += w;
        }
        done += n;
    }
    return 0;
}

// 0 or errno. The `size` bytes the file had when it was opened; of a file with
// fewer blocks than its size, only the parts that hold data, so its holes stay holes.
int CopyBytes(int from, int to, const struct stat& st, dev_t toDev) {
    if (off_t(st.st_blocks) * 512 >= st.st_size) return CopyRange(from, to, 0, st.st_size, st.st_dev, toDev);
    for (off_t at = 0; at < st.st_size;) {
        const off_t data = ::lseek(from, at, SEEK_DATA);
        if (data < 0) {
            if (errno == ENXIO) break;  // only a hole is left
            if (errno == EINVAL || errno == ENOTSUP) return CopyRange(from, to, at, st.st_size, st.st_dev, toDev);
            return errno;
        }
        if (data >= st.st_size) break;
        off_t hole = ::lseek(from, data, SEEK_HOLE);
        if (hole < 0) return errno;
        hole = std::min(hole, st.st_size);
        if (const int err = CopyRange(from, to, data, hole, st.st_dev, toDev)) return err;
        at = hole;
    }
    return ::ftruncate(to, st.st_size) == 0 ? 0 : errno;
}

// An attribute that the destination's file system (or the process's rights
// there) will not take: the entry is copied without it.
bool Refused(int err) {
    return err == ENOTSUP || err == EPERM || err == EACCES || err == EINVAL || err == E2BIG || err == ERANGE;
}

// Labels that the system gives every entry itself, by its own rules: copying
// them would be a relabelling, which the system mostly refuses.
bool SystemLabel(std::string_view name) {
    return name == "security.selinux" || name == "security.evm" || name == "security.ima";
}

// 0 or errno. Extended attributes (POSIX ACLs among them, as the raw system
// attributes) from `in` to `out`: descriptors, or paths when a descriptor is -1.
// One call when the source has none; one that is refused is logged and dropped.
int CopyAttributes(int in, const char* inPath, int out, const char* outPath, std::string_view shown) {
    char stackNames[1024];
    std::unique_ptr<char[]> heapNames;
    char* names = stackNames;
    ssize_t length = in >= 0 ? ::flistxattr(in, names, sizeof stackNames) : ::llistxattr(inPath, names, sizeof stackNames);
    while (length < 0 && errno == ERANGE) {
        const ssize_t need = in >= 0 ? ::flistxattr(in, nullptr, 0) : ::llistxattr(inPath, nullptr, 0);
        if (need < 0) break;
        heapNames.reset(new char[size_t(need) + 1]);
        names = heapNames.get();
        length = in >= 0 ? ::flistxattr(in, names, size_t(need) + 1) : ::llistxattr(inPath, names, size_t(need) + 1);
    }
    if (length < 0) return errno == ENOTSUP ? 0 : errno;
    char stackValue[4096];
    std::vector<char> heapValue;
    for (const char* name = names; name < names + length; name += std::strlen(name) + 1) {
        if (SystemLabel(name)) continue;
        char* value = stackValue;
        size_t capacity = sizeof stackValue;
        ssize_t size;
        for (;;) {
            size = in >= 0 ? ::fgetxattr(in, name, value, capacity) : ::lgetxattr(inPath, name, value, capacity);
            if (size >= 0 || errno != ERANGE) break;
            const ssize_t need = in >= 0 ? ::fgetxattr(in, name, nullptr, 0) : ::lgetxattr(inPath, name, nullptr, 0);
            if (need < 0) break;
            heapValue.resize(size_t(need) + 1);
            value = heapValue.data();
            capacity = heapValue.size();
        }
        if (size < 0) {
            if (errno == ENODATA) continue;  // removed meanwhile
            if (!Refused(errno)) return errno;
        } else if ((out >= 0 ? ::fsetxattr(out, name, value, size_t(size), 0)
                             : ::lsetxattr(outPath, name, value, size_t(size), 0)) == 0) {
            continue;
        } else if (!Refused(errno)) {
            return errno;
        }
        Log("The attribute " + std::string(name) + " of " + std::string(shown) + " was not copied: " +
            ErrorText(errno));
    }
    return 0;
}

// The device of the folder that `place` names: asked once per folder.
dev_t DestinationDevice(int out, dev_t fromDev, const Place& place) {
    const unsigned generation = gMethodsGeneration.load(std::memory_order_relaxed);
    if (tLast.generation == generation && tLast.from == fromDev && tLast.toFolder == place.folder) return tLast.to;
    struct stat st;
    if (::fstat(out, &st) != 0) return 0;
    tLast.generation = generation;
    tLast.from = fromDev;
    tLast.toFolder.assign(place.folder);
    tLast.to = st.st_dev;
    return st.st_dev;
}

// The process's file mode mask as it was at the first copy (-1: unknown). The
// program never changes it; a copy made under a stricter mask than this would
// only end up with fewer permissions, never more.
int CreationMask() {
    static const int mask = [] {
        std::FILE* status = std::fopen("/proc/self/status", "re");
        if (!status) return -1;
        char line[256];
        unsigned value = 0;
        int found = -1;
        while (std::fgets(line, sizeof line, status))
            if (std::sscanf(line, "Umask: %o", &value) == 1) found = int(value & 0777);
        std::fclose(status);
        return found;
    }();
    return mask;
}

// 0 or errno. Renames the temporary over the destination; only while nothing is
// there when `onlyIfFree` (EEXIST: something was put there meanwhile, and stays).
int PutInPlace(const Place& place, bool onlyIfFree) {
    if (onlyIfFree) {
        if (::renameat2(place.dir, place.temp.c_str(), place.dir, place.name.c_str(), RENAME_NOREPLACE) == 0) return 0;
        if (errno != EINVAL) return errno;
        // A file system that cannot rename that way: as everywhere before.
    }
    return ::renameat(place.dir, place.temp.c_str(), place.dir, place.name.c_str()) == 0 ? 0 : errno;
}

// What a copy of a file with more names than one is: made as another name of
// the copy made of its first name (0), already that copy (EEXIST), or to be
// copied (ENOENT).
int LinkToEarlierCopy(const struct stat& st, const Place& place) {
    LinkedCopy earlier;
    {
        Links& links = Immortal<Links>();
        std::lock_guard<std::mutex> lock(links.mutex);
        const auto it = links.copies.find({st.st_dev, st.st_ino});
        if (it == links.copies.end()) return ENOENT;
        earlier = it->second;
    }
    // The earlier copy must still be there and be of the file as it is now.
    struct stat there;
    if (earlier.size != st.st_size || !SameTime(earlier.mtim, st.st_mtim) || !SameTime(earlier.ctim, st.st_ctim) ||
        ::lstat(LongPath(earlier.path).c_str(), &there) != 0 || there.st_dev != earlier.dev ||
        there.st_ino != earlier.ino) {
        return ENOENT;
    }
    struct stat current;
    if (::fstatat(place.dir, place.name.c_str(), &current, AT_SYMLINK_NOFOLLOW) == 0 && current.st_dev == there.st_dev &&
        current.st_ino == there.st_ino) {
        return EEXIST;
    }
    return ::linkat(AT_FDCWD, LongPath(earlier.path).c_str(), place.dir, place.temp.c_str(), 0) == 0 ? 0 : ENOENT;
}

void RememberLinkedCopy(const struct stat& st, const std::string& to, dev_t dev, ino_t ino) {
    Links& links = Immortal<Links>();
    std::lock_guard<std::mutex> lock(links.mutex);
    links.copies[{st.st_dev, st.st_ino}] = {to, dev, ino, st.st_size, st.st_mtim, st.st_ctim};
}

// 0 or errno. Copies the file `from` (opened in `folder`, AT_FDCWD: a path;
// links not followed) to `to` through a temporary beside it, renamed into place
// only when whole and when the source did not change while it was read.
int CopyRegular(int folder, const char* from, const std::string& to, bool onlyIfFree) {
    Place place;
    if (const int err = place.Open(to)) return err;
    const LongPath source(from, std::strlen(from));  // a path may be long; a name in `folder` never is
    const int in = ::openat(folder, source.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK);
    if (in < 0) return errno;
    struct stat st;
    const int statErr = ::fstat(in, &st) != 0 ? errno : (S_ISREG(st.st_mode) ? 0 : ENOTSUP);
    if (statErr) {
        ::close(in);
        return statErr;
    }
    if (st.st_nlink > 1) {
        const int linked = LinkToEarlierCopy(st, place);
        if (linked != ENOENT) {
            ::close(in);
            if (linked == EEXIST) return 0;
            const int err = PutInPlace(place, onlyIfFree);
            if (err) place.RemoveTemp();
            return err;
        }
    }
    // Made with the file's own permissions where the mask leaves them whole, so
    // they need no second call; no more than the file itself grants.
    const int mask = CreationMask();
    const mode_t mode = st.st_mode & 07777;
    const bool modeAtCreation = mask >= 0 && (mode & 07000) == 0 && (mode & mode_t(mask)) == 0;
    const int out = ::openat(place.dir, place.temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, modeAtCreation ? mode : 0600);
    if (out < 0) {
        const int err = errno;
        ::close(in);
        return err;
    }
    int err = 0;
    if (st.st_size > 0) {
        const dev_t toDev = DestinationDevice(out, st.st_dev, place);
        if (st.st_size >= kReleaseBatonFrom) {
            baton::Unlocked unlocked;
            err = CopyBytes(in, out, st, toDev);
        } else {
            err = CopyBytes(in, out, st, toDev);
        }
    }
    // Before the mode: an access list sets the group bits, which the mode then confirms.
    if (!err) err = CopyAttributes(in, nullptr, out, nullptr, to);
    if (copyCheckpointForTests) copyCheckpointForTests();
    struct stat after;
    if (!err && ::fstat(in, &after) != 0) err = errno;
    if (!err && !Unchanged(st, after)) err = kChangedWhileCopied;
    const timespec times[2] = {st.st_atim, st.st_mtim};
    if (!err && !modeAtCreation && ::fchmod(out, mode) != 0) err = errno;
    if (!err && ::futimens(out, times) != 0) err = errno;
    struct stat made {};
    if (!err && st.st_nlink > 1 && ::fstat(out, &made) != 0) err = errno;
    if (::close(out) != 0 && !err) err = errno;
    ::close(in);
    if (!err) err = PutInPlace(place, onlyIfFree);
    if (err) {
        place.RemoveTemp();
        if (err == kChangedWhileCopied)
            Log(to + " was not replaced: its source changed while it was copied; it is copied again at the next pass");
        return err;
    }
    if (st.st_nlink > 1) RememberLinkedCopy(st, to, made.st_dev, made.st_ino);
    return 0;
}

int CopyLink(const std::string& from, const struct stat& st, const std::string& to, bool onlyIfFree) {
    std::string target(size_t(st.st_size > 0 ? st.st_size : PATH_MAX), '\0');
    for (;;) {
        const ssize_t n = ::readlink(LongPath(from).c_str(), target.data(), target.size());
        if (n < 0) return errno;
        if (size_t(n) < target.size()) {
            target.resize(size_t(n));
            break;
        }
        target.resize(target.size() * 2);  // grew since the lstat
    }
    Place place;
    if (const int err = place.Open(to)) return err;
    if (::symlinkat(target.c_str(), place.dir, place.temp.c_str()) != 0) return errno;
    const timespec times[2] = {st.st_atim, st.st_mtim};
    int err = ::utimensat(place.dir, place.temp.c_str(), times, AT_SYMLINK_NOFOLLOW) == 0 ? 0 : errno;
    if (!err) err = PutInPlace(place, onlyIfFree);
    if (err) place.RemoveTemp();
    return err;
}

// 0 or errno: the folder's mode, extended attributes and dates.
int GiveFolderAttributes(const std::string& from, const struct stat& st, const std::string& to) {
    if (const int err = CopyAttributes(-1, LongPath(from).c_str(), -1, LongPath(to).c_str(), to)) return err;
    const timespec times[2] = {st.st_atim, st.st_mtim};
    const LongPath at(to);
    if (::chmod(at.c_str(), st.st_mode & 07777) != 0 || ::utimensat(AT_FDCWD, at.c_str(), times, 0) != 0) return errno;
    return 0;
}

// Without its attributes the folder stays private to its owner (and writable by
// it) until CopyAttributesTo gives it its mode and dates.
int CopyFolder(const std::string& from, const struct stat& st, const std::string& to, bool attributes) {
    if (::mkdir(LongPath(to).c_str(), 0700) != 0) return errno;
    if (!attributes) return 0;
    if (const int err = GiveFolderAttributes(from, st, to)) {
        ::rmdir(LongPath(to).c_str());
        return err;
    }
    return 0;
}

}  // namespace

void FolderItem::ForgetCopyMethods() {
    {
        Methods& methods = Immortal<Methods>();
        std::lock_guard<std::mutex> lock(methods.mutex);
        methods.learned.clear();
        gMethodsGeneration.fetch_add(1, std::memory_order_relaxed);
    }
    Links& links = Immortal<Links>();
    std::lock_guard<std::mutex> lock(links.mutex);
    links.copies.clear();
}

void FolderItem::CopyFileTo(const Ref<FolderItem>& destination) { lastError_ = Copy(destination, true); }

void FolderItem::CopyFolderTo(const Ref<FolderItem>& destination) { lastError_ = Copy(destination, false); }

// What the items already know is not asked again: a file that the listing
// called a regular file goes straight to the copy, whose open (links not
// followed) and fstat decide; a destination seen missing is not looked up, and
// the copy is renamed into place only while nothing is there.
int FolderItem::Copy(const Ref<FolderItem>& destination, bool folderAttributes) const {
    std::string to = destination->NativePath();
    const bool seenMissing = destination->KnownMissing();
    if (KnownRegularFile() && seenMissing) {
        // Opened in the folder whose listing named it, where that is held open.
        const char* name = nullptr;
        const int folder = ListedIn(name);
        const int err = folder >= 0 ? CopyRegular(folder, name, to, true) : CopyRegular(AT_FDCWD, path_.c_str(), to, true);
        destination->Refresh();
        if (err != ELOOP && err != ENOTSUP) return err;  // else the entry is no longer a file: look again
    }

    struct stat st;
    if (::lstat(LongPath(path_).c_str(), &st) != 0) return errno;
    struct stat there;
    if (!seenMissing && ::stat(LongPath(to).c_str(), &there) == 0 && S_ISDIR(there.st_mode)) {
        to += (to.empty() || to.back() != '/') ? "/" : "";
        to += Name();
    }

    int err = 0;
    // A file or link is written beside the destination and renamed over it, so
    // a failure leaves whatever was there untouched.
    if (S_ISDIR(st.st_mode)) {
        err = CopyFolder(path_, st, to, folderAttributes);
    } else if (S_ISREG(st.st_mode)) {
        err = CopyRegular(AT_FDCWD, path_.c_str(), to, seenMissing);
    } else if (S_ISLNK(st.st_mode)) {
        err = CopyLink(path_, st, to, seenMissing);
    } else {
        err = ENOTSUP;  // devices, pipes and sockets are not copied
    }
    destination->Refresh();
    return err;
}

void FolderItem::CopyAttributesTo(const Ref<FolderItem>& destination) {
    struct stat st;
    const std::string to = destination->NativePath();
    int err = ::lstat(LongPath(path_).c_str(), &st) == 0 ? 0 : errno;
    if (!err && S_ISLNK(st.st_mode)) {
        const timespec times[2] = {st.st_atim, st.st_mtim};
        if (::utimensat(AT_FDCWD, LongPath(to).c_str(), times, AT_SYMLINK_NOFOLLOW) != 0) err = errno;
    } else if (!err) {
        err = GiveFolderAttributes(path_, st, to);
    }
    lastError_ = err;
    destination->Refresh();
}

bool FolderItem::Launch(bool) const { return internal::OpenWithDesktop(path_); }

}  // namespace fw
