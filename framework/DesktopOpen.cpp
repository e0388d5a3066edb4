#include "DesktopOpen.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <string_view>
#include <thread>

#include "Baton.h"
#include "Dialogs.h"
#include "EventLoop.h"
#include "Internal.h"
#include "Localization.h"
#include "Spawn.h"

extern char** environ;

namespace fw {

std::string kCannotOpen(const std::string& target, const std::string& language) {
    std::string text = GetLocalizedString(
        "ShowURL.kCannotOpen",
        "\xE2\x80\x9C%1\xE2\x80\x9D could not be opened. Please check that xdg-open (package xdg-utils) is "
        "installed and that a program is set up for this kind of file or address.",
        language);
    if (const size_t at = text.find("%1"); at != std::string::npos) text.replace(at, 2, target);
    return text;
}

namespace internal {
namespace {

std::string FindOnPath(std::string_view program) {
    const char* path = std::getenv("PATH");
    std::string_view dirs = path ? path : "/usr/local/bin:/usr/bin:/bin";
    while (true) {
        const size_t colon = dirs.find(':');
        std::string dir(dirs.substr(0, colon));
        if (dir.empty()) dir.assign(1, '.');  // not = ".": gcc 12 warns falsely on that here
        std::string candidate = dir + "/" + std::string(program);
        struct stat st;
        if (::stat(candidate.c_str(), &st) == 0 && S_ISREG(st.st_mode) && ::access(candidate.c_str(), X_OK) == 0)
            return candidate;
        if (colon == std::string_view::npos) return {};
        dirs.remove_prefix(colon + 1);
    }
}

// Said only where a GUI is up.
void SayCannotOpen(const std::string& target) {
    if (gShowWarningBox) gShowWarningBox(kCannotOpen(target));
}

}  // namespace

bool OpenWithDesktop(const std::string& target) {
    const std::string opener = FindOnPath("xdg-open");
    // The opener is our child, reaped by a thread that waits for its end to
    // learn how it went. Should we end first, it (and a browser it waits for)
    // goes on by itself.
    const char* argv[] = {"xdg-open", target.c_str(), nullptr};
    pid_t pid;
    if (opener.empty() || SpawnProgram(opener.c_str(), argv, environ, -1, pid) != 0) {
        SayCannotOpen(target);
        return false;
    }
    std::thread([pid, target] {
        if (WaitForExit(pid) != 0) SayCannotOpen(target);
    }).detach();
    return true;
}

}  // namespace internal
}  // namespace fw
