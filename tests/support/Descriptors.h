// Descriptors this process holds open on a folder or on anything below it.
#pragma once
#include <fcntl.h>

#include <filesystem>
#include <string>
#include <system_error>
#include <vector>

namespace tvmtest {

struct OpenDescriptor {
    int fd;
    std::string path;
    bool closeOnExec;
};

inline std::vector<OpenDescriptor> DescriptorsUnder(const std::string& folder) {
    std::vector<OpenDescriptor> found;
    std::error_code ec;
    for (const auto& e : std::filesystem::directory_iterator("/proc/self/fd", ec)) {
        std::error_code linkError;
        const std::string target = std::filesystem::read_symlink(e.path(), linkError).string();
        if (linkError) continue;  // the listing's own descriptor, closed by now
        if (target != folder && target.compare(0, folder.size() + 1, folder + "/") != 0) continue;
        const int fd = std::stoi(e.path().filename().string());
        found.push_back({fd, target, (::fcntl(fd, F_GETFD) & FD_CLOEXEC) != 0});
    }
    return found;
}

}  // namespace tvmtest
