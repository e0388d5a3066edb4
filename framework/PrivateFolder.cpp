#include "PrivateFolder.h"

#include <fcntl.h>
#include <pwd.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>

namespace fw {
namespace {

void SetError(std::string* error, const std::string& text) {
    if (error) *error = text;
}

std::string WithErrno(const std::string& what, int err) { return what + ": " + std::strerror(err); }

// A folder above a private one: whoever may write in it could put their own
// entry at the private folder's name first.
bool OnlyOwnerMayChange(const std::string& path, uid_t uid, std::string* error) {
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0) {
        SetError(error, WithErrno("cannot look at " + path, errno));
        return false;
    }
    if (!S_ISDIR(st.st_mode) || (st.st_uid != uid && st.st_uid != 0) || (st.st_mode & (S_IWGRP | S_IWOTH))) {
        SetError(error, path + " is not a folder that only its user may change");
        return false;
    }
    return true;
}

std::string AccountHome(uid_t uid) {
    const passwd* account = ::getpwuid(uid);
    return account && account->pw_dir ? account->pw_dir : "";
}

}  // namespace

bool IsPrivateFolder(const struct stat& st, uid_t uid) {
    return S_ISDIR(st.st_mode) && st.st_uid == uid && (st.st_mode & 077) == 0;
}

int OpenPrivateFolder(const std::string& path, bool create, std::string* error) {
    const uid_t uid = ::geteuid();
    if (create && ::mkdir(path.c_str(), 0700) != 0 && errno != EEXIST) {
        SetError(error, WithErrno("cannot make " + path, errno));
        return -1;
    }
    // Looked at and used through one descriptor, so nothing can be swapped in between.
    const int fd = ::open(path.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (fd < 0) {
        SetError(error, errno == ENOTDIR || errno == ELOOP ? path + " is not a folder (a link or a file)"
                                                            : WithErrno("cannot open " + path, errno));
        return -1;
    }
    struct stat st {};
    if (::fstat(fd, &st) != 0 || !S_ISDIR(st.st_mode) || st.st_uid != uid) {
        SetError(error, path + " belongs to another user");
        ::close(fd);
        return -1;
    }
    if ((st.st_mode & 077) != 0 && (::fchmod(fd, st.st_mode & 07700) != 0 || ::fstat(fd, &st) != 0)) {
        SetError(error, WithErrno("cannot close " + path + " to others", errno));
        ::close(fd);
        return -1;
    }
    if (!IsPrivateFolder(st, uid)) {
        SetError(error, path + " is not private to its user");
        ::close(fd);
        return -1;
    }
    return fd;
}

std::string UserRuntimeFolder(const char* xdgRuntimeDir, const char* home, const std::string& name,
                              std::string* error) {
    const uid_t uid = ::geteuid();
    // The session's own runtime folder is used only as it is: it is not ours to mend.
    if (xdgRuntimeDir && xdgRuntimeDir[0] == '/') {
        const int fd = ::open(xdgRuntimeDir, O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
        struct stat st {};
        const bool ok = fd >= 0 && ::fstat(fd, &st) == 0 && IsPrivateFolder(st, uid);
        if (fd >= 0) ::close(fd);
        if (ok) return xdgRuntimeDir;
    }
    if (!home || home[0] != '/') {
        SetError(error, "no runtime folder and no home folder to keep one in");
        return "";
    }
    std::string base = home;
    while (base.size() > 1 && base.back() == '/') base.pop_back();
    const std::string cache = (base == "/" ? "" : base) + "/.cache";
    if (!OnlyOwnerMayChange(base, uid, error)) return "";
    if (::mkdir(cache.c_str(), 0700) != 0 && errno != EEXIST) {
        SetError(error, WithErrno("cannot make " + cache, errno));
        return "";
    }
    if (!OnlyOwnerMayChange(cache, uid, error)) return "";
    const std::string folder = cache + "/" + name;
    const int fd = OpenPrivateFolder(folder, true, error);
    if (fd < 0) return "";
    ::close(fd);
    return folder;
}

std::string UserRuntimeFolder(const std::string& name, std::string* error) {
    const char* home = std::getenv("HOME");
    std::string folder = UserRuntimeFolder(std::getenv("XDG_RUNTIME_DIR"), home, name, error);
    // A HOME handed on from another user (sudo may keep it) is not ours: the
    // account's own home then serves.
    const std::string account = AccountHome(::geteuid());
    if (folder.empty() && !account.empty() && (!home || account != home))
        folder = UserRuntimeFolder(nullptr, account.c_str(), name, error);
    return folder;
}

}  // namespace fw
