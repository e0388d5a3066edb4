#include "LongPath.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <string_view>

namespace fw::internal {

LongPath::LongPath(const char* path, size_t size) : path_(path) {
    if (size < PATH_MAX) return;
    std::string_view rest(path, size);
    int folder = AT_FDCWD;
    for (;;) {
        if (folder >= 0) {
            std::string reached = "/proc/self/fd/" + std::to_string(folder) + "/";
            if (reached.size() + rest.size() < PATH_MAX) {
                reached_ = std::move(reached);
                reached_.append(rest);
                path_ = reached_.c_str();
                fd_ = folder;
                return;
            }
        }
        // The longest leading piece the kernel takes that ends before a slash.
        const size_t cut = rest.rfind('/', PATH_MAX - 1);
        int next = -1;
        if (cut != std::string_view::npos) {
            const std::string piece(rest.substr(0, cut == 0 ? 1 : cut));
            next = ::openat(folder, piece.c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC);
        }
        if (folder >= 0) ::close(folder);
        if (next < 0) return;
        folder = next;
        rest.remove_prefix(cut + 1);
        while (!rest.empty() && rest.front() == '/') rest.remove_prefix(1);
    }
}

LongPath::~LongPath() {
    if (fd_ < 0) return;
    const int error = errno;  // the call's, read after this object is gone
    ::close(fd_);
    errno = error;
}

}  // namespace fw::internal
