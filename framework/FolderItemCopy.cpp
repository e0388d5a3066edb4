// Copying an entry, and opening a file with the desktop's application.
#include <fcntl.h>
#include <stdio.h>
#include <sys/sendfile.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <mutex>
#include <string_view>
#include <vector>

#include "Baton.h"
#include "DesktopOpen.h"
#include "FolderItem.h"

namespace fw {

namespace {

// Copies above this size give the baton to the other threads while the bytes move.
constexpr off_t kReleaseBatonFrom = 1 << 20;

std::atomic<unsigned> gTempCounter{0};

std::string FolderOf(const std::string& path) {
    const size_t slash = path.rfind('/');
    if (slash == std::string::npos) return ".";
    return slash == 0 ? std::string("/") : path.substr(0, slash);
}

// A fresh name beside `path`, short enough for any folder; hidden, so the mirror
// never picks up one that a crash left behind.
std::string TempNameBeside(const std::string& path) {
    static const std::string prefix = "/" + std::string(kCopyTemporaryPrefix) + std::to_string(::getpid()) + ".";
    return FolderOf(path) + prefix + std::to_string(gTempCounter.fetch_add(1, std::memory_order_relaxed));
}

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

std::mutex gMethodsMutex;
std::vector<LearnedMethod> gMethods;
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
    std::lock_guard<std::mutex> lock(gMethodsMutex);
    for (const LearnedMethod& m : gMethods)
        if (m.from == from && m.to == to) return m.method;
    return Method::KernelCopy;
}

void Learn(dev_t from, dev_t to, Method method) {
    std::lock_guard<std::mutex> lock(gMethodsMutex);
    for (LearnedMethod& m : gMethods) {
        if (m.from == from && m.to == to) {
            m.method = method;
            return;
        }
    }
    gMethods.push_back({from, to, method});
}

bool NotHere(int err) { return err == EXDEV || err == EINVAL || err == ENOSYS || err == EOPNOTSUPP || err == EPERM; }

// 0 or errno. Copies the `size` bytes the file had when it was opened (its
// mode and date are of that moment too); one that shrinks meanwhile ends early.
// A method that fails for want of support hands over to the next one where the
// offsets stand.
int CopyBytes(int from, int to, off_t size, dev_t fromDev, dev_t toDev) {
    Method method = MethodFor(fromDev, toDev);
    off_t done = 0;
    while (done < size && method != Method::Buffer) {
        const size_t want = size_t(std::min<off_t>(size - done, 0x7ffff000));
        const ssize_t n = method == Method::KernelCopy ? ::copy_file_range(from, nullptr, to, nullptr, want, 0)
                                                       : ::sendfile(to, from, nullptr, want);
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
    if (done >= size) return 0;
    constexpr size_t kBuffer = 256 * 1024;
    thread_local std::unique_ptr<char[]> buffer;
    if (!buffer) buffer.reset(new char[kBuffer]);
    while (done < size) {
        const ssize_t n = ::read(from, buffer.get(), size_t(std::min<off_t>(kBuffer, size - done)));
        if (n == 0) return 0;
        if (n < 0) {
            if (errno == EINTR) continue;
            return errno;
        }
        for (ssize_t written = 0; written < n;) {
            const ssize_t w = ::write(to, buffer.get() + written, size_t(n - written));
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

// The device of the folder that `temp` was made in: asked once per folder.
dev_t DestinationDevice(int out, dev_t fromDev, const std::string& temp) {
    const unsigned generation = gMethodsGeneration.load(std::memory_order_relaxed);
    const size_t slash = temp.rfind('/');
    const std::string_view folder(temp.data(), slash == std::string::npos ? 0 : slash);
    if (tLast.generation == generation && tLast.from == fromDev && tLast.toFolder == folder) return tLast.to;
    struct stat st;
    if (::fstat(out, &st) != 0) return 0;
    tLast.generation = generation;
    tLast.from = fromDev;
    tLast.toFolder.assign(folder);
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

// 0 or errno (EEXIST: something was put there meanwhile, and stays).
int RenameIntoFreePlace(const std::string& temp, const std::string& to) {
    if (::renameat2(AT_FDCWD, temp.c_str(), AT_FDCWD, to.c_str(), RENAME_NOREPLACE) == 0) return 0;
    if (errno != EINVAL) return errno;
    // A file system that cannot rename that way: as everywhere before.
    return ::rename(temp.c_str(), to.c_str()) == 0 ? 0 : errno;
}

// `from` is opened in `folder` (AT_FDCWD: a path); links are not followed.
int CopyRegular(int folder, const char* from, const std::string& temp) {
    const int in = ::openat(folder, from, O_RDONLY | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK);
    if (in < 0) return errno;
    struct stat st;
    const int statErr = ::fstat(in, &st) != 0 ? errno : (S_ISREG(st.st_mode) ? 0 : ENOTSUP);
    if (statErr) {
        ::close(in);
        return statErr;
    }
    // Made with the file's own permissions where the mask leaves them whole, so
    // they need no second call; no more than the file itself grants.
    const int mask = CreationMask();
    const mode_t mode = st.st_mode & 07777;
    const bool modeAtCreation = mask >= 0 && (mode & 07000) == 0 && (mode & mode_t(mask)) == 0;
    const int out = ::open(temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, modeAtCreation ? mode : 0600);
    if (out < 0) {
        const int err = errno;
        ::close(in);
        return err;
    }
    int err = 0;
    if (st.st_size > 0) {
        const dev_t toDev = DestinationDevice(out, st.st_dev, temp);
        if (st.st_size >= kReleaseBatonFrom) {
            baton::Unlocked unlocked;
            err = CopyBytes(in, out, st.st_size, st.st_dev, toDev);
        } else {
            err = CopyBytes(in, out, st.st_size, st.st_dev, toDev);
        }
    }
    const timespec times[2] = {st.st_atim, st.st_mtim};
    if (!err && !modeAtCreation && ::fchmod(out, mode) != 0) err = errno;
    if (!err && ::futimens(out, times) != 0) err = errno;
    if (::close(out) != 0 && !err) err = errno;
    ::close(in);
    return err;
}

int CopyLink(const std::string& from, const struct stat& st, const std::string& temp) {
    std::string target(size_t(st.st_size > 0 ? st.st_size : PATH_MAX), '\0');
    for (;;) {
        const ssize_t n = ::readlink(from.c_str(), target.data(), target.size());
        if (n < 0) return errno;
        if (size_t(n) < target.size()) {
            target.resize(size_t(n));
            break;
        }
        target.resize(target.size() * 2);  // grew since the lstat
    }
    if (::symlink(target.c_str(), temp.c_str()) != 0) return errno;
    const timespec times[2] = {st.st_atim, st.st_mtim};
    if (::utimensat(AT_FDCWD, temp.c_str(), times, AT_SYMLINK_NOFOLLOW) != 0) return errno;
    return 0;
}

// Without its attributes the folder stays private to its owner (and writable by
// it) until CopyAttributesTo gives it its mode and dates.
int CopyFolder(const struct stat& st, const std::string& to, bool attributes) {
    if (::mkdir(to.c_str(), 0700) != 0) return errno;
    if (!attributes) return 0;
    const timespec times[2] = {st.st_atim, st.st_mtim};
    if (::chmod(to.c_str(), st.st_mode & 07777) != 0 || ::utimensat(AT_FDCWD, to.c_str(), times, 0) != 0) {
        const int err = errno;
        ::rmdir(to.c_str());
        return err;
    }
    return 0;
}

}  // namespace

void FolderItem::ForgetCopyMethods() {
    std::lock_guard<std::mutex> lock(gMethodsMutex);
    gMethods.clear();
    gMethodsGeneration.fetch_add(1, std::memory_order_relaxed);
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
        const std::string temp = TempNameBeside(to);
        // Opened in the folder whose listing named it, where that is held open.
        const char* name = nullptr;
        const int folder = ListedIn(name);
        int err = folder >= 0 ? CopyRegular(folder, name, temp) : CopyRegular(AT_FDCWD, path_.c_str(), temp);
        if (!err) err = RenameIntoFreePlace(temp, to);
        if (err) ::unlink(temp.c_str());
        destination->Refresh();
        if (err != ELOOP && err != ENOTSUP) return err;  // else the entry is no longer a file: look again
    }

    struct stat st;
    if (::lstat(path_.c_str(), &st) != 0) return errno;
    struct stat there;
    if (!seenMissing && ::stat(to.c_str(), &there) == 0 && S_ISDIR(there.st_mode)) {
        to += (to.empty() || to.back() != '/') ? "/" : "";
        to += Name();
    }

    int err = 0;
    if (S_ISDIR(st.st_mode)) {
        err = CopyFolder(st, to, folderAttributes);
    } else if (S_ISREG(st.st_mode) || S_ISLNK(st.st_mode)) {
        // Written beside the destination and renamed over it, so a failure
        // leaves whatever was there untouched.
        const std::string temp = TempNameBeside(to);
        err = S_ISREG(st.st_mode) ? CopyRegular(AT_FDCWD, path_.c_str(), temp) : CopyLink(path_, st, temp);
        if (!err && seenMissing) {
            err = RenameIntoFreePlace(temp, to);
        } else if (!err && ::rename(temp.c_str(), to.c_str()) != 0) {
            err = errno;
        }
        if (err) ::unlink(temp.c_str());
    } else {
        err = ENOTSUP;  // devices, pipes and sockets are not copied
    }
    destination->Refresh();
    return err;
}

void FolderItem::CopyAttributesTo(const Ref<FolderItem>& destination) {
    struct stat st;
    const std::string to = destination->NativePath();
    int err = ::lstat(path_.c_str(), &st) == 0 ? 0 : errno;
    if (!err && !S_ISLNK(st.st_mode) && ::chmod(to.c_str(), st.st_mode & 07777) != 0) err = errno;
    const timespec times[2] = {st.st_atim, st.st_mtim};
    if (!err && ::utimensat(AT_FDCWD, to.c_str(), times, AT_SYMLINK_NOFOLLOW) != 0) err = errno;
    lastError_ = err;
    destination->Refresh();
}

bool FolderItem::Launch(bool) const { return internal::OpenWithDesktop(path_); }

}  // namespace fw
