// Where this user's lock files, sockets and device records live: only in folders
// that nobody but the user (and root) can make, replace or look into. One rule for
// all of them: a folder, not a symbolic link, owned by the user, with no access for
// group or others. Uses nothing but the C library, so the disk tools share it.
#pragma once
#include <string>
#include <sys/stat.h>
#include <sys/types.h>

namespace fw {

// The rule, on what fstat said of a descriptor opened without following a link.
bool IsPrivateFolder(const struct stat& st, uid_t uid);

// Opens `path` as a private folder of this user's (O_DIRECTORY, O_NOFOLLOW,
// O_CLOEXEC), made with mode 0700 when missing and `create` is set. A folder of
// the user's that others may enter is closed to them first; a link, a file or
// another user's folder is refused and left as it is. -1 with `error` set.
int OpenPrivateFolder(const std::string& path, bool create, std::string* error);

// This user's folder for the runtime files of `name`: `xdgRuntimeDir` when it is
// an absolute path to a private folder of the user's, else <home>/.cache/<name>,
// made when missing. The home and its ".cache" must be the user's (or root's) and
// writable by nobody else, so another user can neither make nor block the place.
// "" with `error` set when neither place is safe.
std::string UserRuntimeFolder(const char* xdgRuntimeDir, const char* home, const std::string& name,
                              std::string* error);
// The same from this process's environment: $XDG_RUNTIME_DIR and $HOME, and the
// account's home folder when $HOME gives no safe place.
std::string UserRuntimeFolder(const std::string& name, std::string* error);

}  // namespace fw
