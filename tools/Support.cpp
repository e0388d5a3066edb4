#include "Support.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <limits.h>
#include <sys/stat.h>
#include <unistd.h>

namespace tools {

namespace {
const char* gProgramName = "tool";
}

Fd& Fd::operator=(Fd&& other) noexcept {
    if (this != &other) {
        Close();
        fd_ = other.Release();
    }
    return *this;
}

int Fd::Release() {
    int fd = fd_;
    fd_ = -1;
    return fd;
}

void Fd::Close() {
    if (fd_ >= 0) ::close(fd_);
    fd_ = -1;
}

void SetProgramName(const char* name) { gProgramName = name; }

int RunTool(const char* name, const char* usage, int argc, char** argv,
            int (*run)(const std::vector<std::string>& args)) {
    SetProgramName(name);
    try {
        return run(std::vector<std::string>(argv + 1, argv + argc));
    } catch (const ToolError& e) {
        Say(e.what());
        if (e.code == kExitUsage) std::fprintf(stderr, "%s\n", usage);
        return e.code;
    } catch (const std::exception& e) {
        Say(e.what());
        return kExitFailure;
    }
}

void Say(const std::string& message) { std::fprintf(stderr, "%s: %s\n", gProgramName, message.c_str()); }

std::string ErrnoText(const std::string& what, int err) { return what + ": " + std::strerror(err); }

bool IsVolumeName(const std::string& name) {
    if (name.empty() || name.size() > NAME_MAX || name[0] == '.') return false;
    for (unsigned char c : name) {
        if (c == '/' || c < 0x20 || c == 0x7f) return false;
    }
    return true;
}

std::string VolumePath(const std::string& name) { return std::string(kVolumesFolder) + "/" + name; }

int OpenFolderAt(int dirFd, const std::string& name) {
    return ::openat(dirFd, name.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
}

bool FolderIsEmpty(int folderFd) {
    int copy = ::fcntl(folderFd, F_DUPFD_CLOEXEC, 0);
    if (copy < 0) return false;
    DIR* dir = ::fdopendir(copy);
    if (!dir) {
        ::close(copy);
        return false;
    }
    ::rewinddir(dir);
    bool empty = true;
    while (dirent* entry = ::readdir(dir)) {
        if (std::strcmp(entry->d_name, ".") != 0 && std::strcmp(entry->d_name, "..") != 0) {
            empty = false;
            break;
        }
    }
    ::closedir(dir);
    return empty;
}

bool ReadOwnedFile(int dirFd, const std::string& name, uid_t owner, std::string& content) {
    Fd fd(::openat(dirFd, name.c_str(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC | O_NONBLOCK));
    struct stat st {};
    if (!fd.Valid() || ::fstat(fd.Get(), &st) != 0) return false;
    if (!S_ISREG(st.st_mode) || st.st_uid != owner || st.st_nlink != 1 || st.st_size > 4096) return false;
    content.clear();
    char buffer[4096];
    ssize_t n;
    while ((n = ::read(fd.Get(), buffer, sizeof buffer)) > 0) content.append(buffer, static_cast<size_t>(n));
    return n == 0;
}

void ReplaceFile(int dirFd, const std::string& name, const std::string& content) {
    std::string temporary = "." + name + "." + std::to_string(::getpid());
    Fd fd(::openat(dirFd, temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600));
    if (!fd.Valid()) throw ToolError(ErrnoText("cannot write " + name, errno));
    bool ok = true;
    int err = 0;
    for (size_t done = 0; ok && done < content.size();) {
        ssize_t n = ::write(fd.Get(), content.data() + done, content.size() - done);
        if (n < 0 && errno == EINTR) continue;
        ok = n > 0;
        err = errno;
        if (ok) done += static_cast<size_t>(n);
    }
    if (ok && ::fsync(fd.Get()) != 0) {
        ok = false;
        err = errno;
    }
    fd.Close();
    if (ok && ::renameat(dirFd, temporary.c_str(), dirFd, name.c_str()) != 0) {
        ok = false;
        err = errno;
    }
    if (!ok) {
        ::unlinkat(dirFd, temporary.c_str(), 0);
        throw ToolError(ErrnoText("cannot write " + name, err));
    }
}

std::string ReadLink(int dirFd, const std::string& name) {
    char buffer[PATH_MAX];
    ssize_t n = ::readlinkat(dirFd, name.c_str(), buffer, sizeof buffer);
    if (n < 0 || n == static_cast<ssize_t>(sizeof buffer)) return {};
    return std::string(buffer, static_cast<size_t>(n));
}

}  // namespace tools
