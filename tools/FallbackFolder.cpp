#include "FallbackFolder.h"

#include <cerrno>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <fstream>
#include <sys/stat.h>
#include <unistd.h>

namespace tools {

namespace {

bool IsAtOrBelow(const std::string& candidate, const std::string& path) {
    return candidate.compare(0, path.size(), path) == 0 &&
           (candidate.size() == path.size() || candidate[path.size()] == '/');
}

bool IsNumber(const char* text) {
    if (!*text) return false;
    for (; *text; ++text) {
        if (*text < '0' || *text > '9') return false;
    }
    return true;
}

// The names are read in full first, so deleting them does not disturb the listing.
std::vector<std::string> Entries(int folderFd) {
    std::vector<std::string> names;
    int copy = ::fcntl(folderFd, F_DUPFD_CLOEXEC, 0);
    DIR* dir = copy >= 0 ? ::fdopendir(copy) : nullptr;
    if (!dir) {
        if (copy >= 0) ::close(copy);
        return names;
    }
    while (dirent* entry = ::readdir(dir)) {
        if (std::strcmp(entry->d_name, ".") != 0 && std::strcmp(entry->d_name, "..") != 0)
            names.push_back(entry->d_name);
    }
    ::closedir(dir);
    return names;
}

bool UsesPath(const std::string& pid, int processFd, const std::string& path) {
    for (const char* link : {"cwd", "root"}) {
        std::string target = ReadLink(processFd, link);
        // Everybody's root is "/"; only a root inside the folder counts.
        if (!target.empty() && IsAtOrBelow(target, path)) return true;
    }
    Fd fds(OpenFolderAt(processFd, "fd"));
    if (fds.Valid()) {
        for (auto& fd : Entries(fds.Get())) {
            if (IsAtOrBelow(ReadLink(fds.Get(), fd), path)) return true;
        }
    }
    // A file mapped into memory keeps the volume busy after its descriptor is closed.
    std::ifstream lines("/proc/" + pid + "/maps");
    for (std::string line; std::getline(lines, line);) {
        auto slash = line.find('/');
        if (slash != std::string::npos && IsAtOrBelow(line.substr(slash), path)) return true;
    }
    return false;
}

}  // namespace

std::string FallbackBasePath() { return "/dev/shm/tavelmorinth-" + std::to_string(::geteuid()); }

std::string FallbackFolderPath(const std::string& name) { return FallbackBasePath() + "/" + name; }

Fd OpenFallbackBase(bool create) {
    const std::string base = FallbackBasePath();
    if (create && ::mkdir(base.c_str(), 0700) != 0 && errno != EEXIST)
        throw ToolError(ErrnoText("cannot make " + base, errno));
    Fd fd(::open(base.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
    if (!fd.Valid()) throw ToolError(ErrnoText("cannot open " + base, errno));
    struct stat st {};
    if (::fstat(fd.Get(), &st) != 0) throw ToolError(ErrnoText("cannot read " + base, errno));
    if (st.st_uid != ::geteuid() || (st.st_mode & 077))
        throw ToolError(base + " is not a private folder of this user; left alone");
    return fd;
}

std::vector<std::string> ProcessesUsing(const std::string& path) {
    std::vector<std::string> users;
    Fd proc(::open("/proc", O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (!proc.Valid()) throw ToolError(ErrnoText("cannot read /proc to see who uses " + path, errno));
    for (auto& pid : Entries(proc.Get())) {
        if (!IsNumber(pid.c_str())) continue;
        Fd process(OpenFolderAt(proc.Get(), pid));
        if (!process.Valid() || !UsesPath(pid, process.Get(), path)) continue;
        std::string command;
        std::ifstream comm("/proc/" + pid + "/comm");
        std::getline(comm, command);
        users.push_back(pid + " (" + command + ")");
    }
    return users;
}

void RemoveTree(int parentFd, const std::string& name) {
    Fd folder(OpenFolderAt(parentFd, name));
    if (!folder.Valid()) throw ToolError(ErrnoText("cannot open " + name, errno));
    for (auto& entry : Entries(folder.Get())) {
        struct stat st {};
        if (::fstatat(folder.Get(), entry.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0) continue;
        if (S_ISDIR(st.st_mode)) {
            // A folder the user made unreadable is still the user's to delete.
            if ((st.st_mode & S_IRWXU) != S_IRWXU)
                ::fchmodat(folder.Get(), entry.c_str(), st.st_mode | S_IRWXU, 0);
            RemoveTree(folder.Get(), entry);
        } else if (::unlinkat(folder.Get(), entry.c_str(), 0) != 0 && errno != ENOENT) {
            throw ToolError(ErrnoText("cannot delete " + entry, errno));
        }
    }
    if (::unlinkat(parentFd, name.c_str(), AT_REMOVEDIR) != 0)
        throw ToolError(ErrnoText("cannot delete " + name, errno));
}

}  // namespace tools
