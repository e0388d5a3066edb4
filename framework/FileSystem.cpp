#include "FileSystem.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <mutex>

#include "FolderItem.h"
#include "LongPath.h"

namespace fw {

using internal::LongPath;

namespace {

std::mutex gHookMutex;
std::function<int(const std::string&)> gHook;

FlushResult Failure(int err, const std::string& what, const std::string& path) {
    return {err, what + " \"" + path + "\": " + std::strerror(err)};
}

}  // namespace

std::optional<FileIdentity> IdentityAt(const std::string& posixPath, bool followLinks) {
    struct stat st {};
    const LongPath at(posixPath);
    if ((followLinks ? ::stat(at.c_str(), &st) : ::lstat(at.c_str(), &st)) != 0) return std::nullopt;
    return FileIdentity{uint64_t(st.st_dev), uint64_t(st.st_ino), uint32_t(st.st_uid)};
}

FileSystemFlush::FileSystemFlush(const std::string& posixPath) : path_(posixPath) {
    // The kernel reports to syncfs the write failures since this opening; a
    // descriptor for reading is what it needs (O_PATH would not do).
    fd_ = ::open(LongPath(path_).c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd_ < 0) openError_ = errno;
}

FileSystemFlush::~FileSystemFlush() {
    if (fd_ >= 0) ::close(fd_);
}

FlushResult FileSystemFlush::Flush() {
    std::function<int(const std::string&)> hook;
    {
        std::lock_guard lock(gHookMutex);
        hook = gHook;
    }
    if (hook) {
        if (const int err = hook(path_)) return Failure(err, "Cannot flush the file system of", path_);
    }
    if (fd_ < 0) return Failure(openError_, "Cannot open", path_);
    if (::syncfs(fd_) != 0) return Failure(errno, "Cannot flush the file system of", path_);
    return {};
}


void SetFlushHook(std::function<int(const std::string&)> hook) {
    std::lock_guard lock(gHookMutex);
    gHook = std::move(hook);
}

bool EntryExists(const std::string& posixPath) {
    struct stat st;
    return ::lstat(LongPath(posixPath).c_str(), &st) == 0;
}

int RemoveEntry(const std::string& posixPath) {
    struct stat st;
    if (::lstat(LongPath(posixPath).c_str(), &st) != 0) return errno == ENOENT ? 0 : errno;
    if (!S_ISDIR(st.st_mode)) return ::unlink(LongPath(posixPath).c_str()) == 0 ? 0 : errno;
    FolderItem folder(posixPath, false);
    folder.DeleteTree();
    // Gone already (moved away meanwhile) is as good as removed.
    return folder.LastErrorCode() == ENOENT ? 0 : folder.LastErrorCode();
}

int RenameEntry(const std::string& from, const std::string& to) {
    return ::rename(LongPath(from).c_str(), LongPath(to).c_str()) == 0 ? 0 : errno;
}

int ExchangeEntries(const std::string& a, const std::string& b) {
    return ::renameat2(AT_FDCWD, LongPath(a).c_str(), AT_FDCWD, LongPath(b).c_str(), RENAME_EXCHANGE) == 0 ? 0 : errno;
}

int FolderMode(const std::string& posixPath, int& mode) {
    struct stat st;
    if (::lstat(LongPath(posixPath).c_str(), &st) != 0) return errno;
    if (!S_ISDIR(st.st_mode)) return ENOTDIR;
    mode = int(st.st_mode & 07777);
    return 0;
}

int SetMode(const std::string& posixPath, int mode) {
    return ::chmod(LongPath(posixPath).c_str(), mode_t(mode) & 07777) == 0 ? 0 : errno;
}

namespace {
int64_t ChangeTimeOf(const struct stat& st) { return int64_t(st.st_ctim.tv_sec) * 1'000'000'000 + st.st_ctim.tv_nsec; }
}  // namespace

// Touched a second time after its time was read, the entry gets a time of its
// own, later than any given before (where the file system hands out finer
// times to a change whose entry was just looked at).
int64_t TouchedFileChangeTime(const std::string& posixPath) {
    struct stat st;
    for (int touch = 0; touch < 2; ++touch) {
        if (::utimensat(AT_FDCWD, LongPath(posixPath).c_str(), nullptr, AT_SYMLINK_NOFOLLOW) != 0) {
            if (errno != ENOENT) return 0;
            const int fd =
                ::open(LongPath(posixPath).c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
            if (fd < 0) return 0;
            ::close(fd);
        }
        if (::lstat(LongPath(posixPath).c_str(), &st) != 0 || !S_ISREG(st.st_mode)) return 0;
    }
    return ChangeTimeOf(st);
}

int64_t TouchedFolderChangeTime(const std::string& posixPath) {
    struct stat st;
    for (int touch = 0; touch < 2; ++touch) {
        if (::lstat(LongPath(posixPath).c_str(), &st) != 0 || !S_ISDIR(st.st_mode)) return 0;
        const timespec times[2] = {st.st_atim, st.st_mtim};
        if (::utimensat(AT_FDCWD, LongPath(posixPath).c_str(), times, AT_SYMLINK_NOFOLLOW) != 0) return 0;
    }
    if (::lstat(LongPath(posixPath).c_str(), &st) != 0) return 0;
    return ChangeTimeOf(st);
}

bool ReadFileStart(const std::string& posixPath, size_t maxBytes, std::string& text) {
    std::FILE* f = std::fopen(posixPath.c_str(), "re");
    if (!f) return false;
    text.assign(maxBytes, '\0');
    const size_t n = std::fread(text.data(), 1, maxBytes, f);
    text.resize(n);
    const bool ok = !std::ferror(f);
    std::fclose(f);
    return ok;
}

bool ReplaceSmallFile(const std::string& posixPath, const std::string& text) {
    const std::string temp = posixPath + ".new";
    std::FILE* f = std::fopen(temp.c_str(), "we");
    if (!f) return false;
    const bool written = std::fwrite(text.data(), 1, text.size(), f) == text.size();
    if (std::fclose(f) != 0 || !written || std::rename(temp.c_str(), posixPath.c_str()) != 0) {
        ::unlink(temp.c_str());
        return false;
    }
    return true;
}

}  // namespace fw
