// Copying an entry, and opening a file with the desktop's application.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <memory>
#include <string_view>

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

// 0 or errno. Copies the `size` bytes the file had when it was opened (its
// mode and date are of that moment too); one that shrinks meanwhile ends early.
int CopyBytes(int from, int to, off_t size) {
    bool kernelCopy = true;
    off_t done = 0;
    while (done < size) {
        if (kernelCopy) {
            const ssize_t n = ::copy_file_range(from, nullptr, to, nullptr, size_t(size - done), 0);
            if (n > 0) {
                done += n;
                continue;
            }
            if (n == 0) return 0;
            if (errno == EINTR) continue;
            if (errno != EXDEV && errno != EINVAL && errno != ENOSYS && errno != EOPNOTSUPP && errno != EPERM)
                return errno;
            kernelCopy = false;  // the offsets stand where the kernel copy left them
        }
        constexpr size_t kBuffer = 256 * 1024;
        std::unique_ptr<char[]> buffer(new char[kBuffer]);
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
    }
    return 0;
}

int CopyRegular(const std::string& from, const std::string& temp) {
    const int in = ::open(from.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK);
    if (in < 0) return errno;
    struct stat st;
    const int statErr = ::fstat(in, &st) != 0 ? errno : (S_ISREG(st.st_mode) ? 0 : ENOTSUP);
    if (statErr) {
        ::close(in);
        return statErr;
    }
    const int out = ::open(temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
    if (out < 0) {
        const int err = errno;
        ::close(in);
        return err;
    }
    int err;
    if (st.st_size >= kReleaseBatonFrom) {
        baton::Unlocked unlocked;
        err = CopyBytes(in, out, st.st_size);
    } else {
        err = CopyBytes(in, out, st.st_size);
    }
    const timespec times[2] = {st.st_atim, st.st_mtim};
    if (!err && ::fchmod(out, st.st_mode & 07777) != 0) err = errno;
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

int CopyFolder(const struct stat& st, const std::string& to) {
    if (::mkdir(to.c_str(), 0700) != 0) return errno;
    const timespec times[2] = {st.st_atim, st.st_mtim};
    if (::chmod(to.c_str(), st.st_mode & 07777) != 0 || ::utimensat(AT_FDCWD, to.c_str(), times, 0) != 0) {
        const int err = errno;
        ::rmdir(to.c_str());
        return err;
    }
    return 0;
}

}  // namespace

void FolderItem::CopyFileTo(const Ref<FolderItem>& destination) {
    std::string to = destination->NativePath();
    struct stat st;
    if (::lstat(path_.c_str(), &st) != 0) {
        lastError_ = errno;
        return;
    }
    struct stat there;
    if (::stat(to.c_str(), &there) == 0 && S_ISDIR(there.st_mode)) {
        to += (to.empty() || to.back() != '/') ? "/" : "";
        to += Name();
    }

    int err = 0;
    if (S_ISDIR(st.st_mode)) {
        err = CopyFolder(st, to);
    } else if (S_ISREG(st.st_mode) || S_ISLNK(st.st_mode)) {
        // Written beside the destination and renamed over it, so a failure
        // leaves whatever was there untouched.
        const std::string temp = TempNameBeside(to);
        err = S_ISREG(st.st_mode) ? CopyRegular(path_, temp) : CopyLink(path_, st, temp);
        if (!err && ::rename(temp.c_str(), to.c_str()) != 0) err = errno;
        if (err) ::unlink(temp.c_str());
    } else {
        err = ENOTSUP;  // devices, pipes and sockets are not copied
    }
    lastError_ = err;
    destination->Refresh();
}

bool FolderItem::Launch(bool) const { return internal::OpenWithDesktop(path_); }

}  // namespace fw
