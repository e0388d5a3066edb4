#include "MountHelper.h"

#include <cerrno>
#include <climits>
#include <fcntl.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <sys/wait.h>
#include <unistd.h>

#include "Support.h"

namespace tools {

std::string HelperPath() {
    std::string self = ReadLink(AT_FDCWD, "/proc/self/exe");
    auto slash = self.rfind('/');
    if (self.empty() || slash == std::string::npos) return {};
    return self.substr(0, slash + 1) + kHelperName;
}

bool HelperIsSetUp() {
    const std::string path = HelperPath();
    struct stat st {};
    struct statvfs fsInfo {};
    if (path.empty() || ::lstat(path.c_str(), &st) != 0 || ::statvfs(path.c_str(), &fsInfo) != 0) return false;
    return S_ISREG(st.st_mode) && st.st_uid == 0 && (st.st_mode & S_ISUID) && (st.st_mode & S_IXOTH) &&
           !(fsInfo.f_flag & ST_NOSUID);
}

int RunHelper(const std::vector<std::string>& args) {
    std::string path = HelperPath();
    std::vector<std::string> strings = {path};
    strings.insert(strings.end(), args.begin(), args.end());
    std::vector<char*> argv;
    for (auto& s : strings) argv.push_back(s.data());
    argv.push_back(nullptr);
    char* env[] = {nullptr};
    pid_t pid = -1;
    int err = ::posix_spawn(&pid, path.c_str(), nullptr, nullptr, argv.data(), env);
    if (err != 0) {
        Say(ErrnoText("cannot run " + path, err));
        return kExitFailure;
    }
    int status = 0;
    while (::waitpid(pid, &status, 0) < 0) {
        if (errno != EINTR) return kExitFailure;
    }
    return WIFEXITED(status) ? WEXITSTATUS(status) : kExitFailure;
}

}  // namespace tools
