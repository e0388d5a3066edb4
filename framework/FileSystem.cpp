#include "FileSystem.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <mutex>

namespace fw {
namespace {

std::mutex gHookMutex;
std::function<int(const std::string&)> gHook;

FlushResult Failure(int err, const std::string& what, const std::string& path) {
    return {err, what + " \"" + path + "\": " + std::strerror(err)};
}

}  // namespace

std::optional<FileIdentity> IdentityAt(const std::string& posixPath, bool followLinks) {
    struct stat st {};
    if ((followLinks ? ::stat(posixPath.c_str(), &st) : ::lstat(posixPath.c_str(), &st)) != 0) return std::nullopt;
    return FileIdentity{uint64_t(st.st_dev), uint64_t(st.st_ino), uint32_t(st.st_uid)};
}

FileSystemFlush::FileSystemFlush(const std::string& posixPath) : path_(posixPath) {
    // The kernel reports to syncfs the write failures since this opening; a
    // descriptor for reading is what it needs (O_PATH would not do).
    fd_ = ::open(path_.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
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

}  // namespace fw
