#include "GuardWork.h"

#include <sys/file.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <fstream>
#include <thread>

#include "app/App.h"
#include "app/ShellPaths.h"
#include "engine/CSync.h"
#include "engine/Roots.h"
#include "framework/FileSystem.h"
#include "framework/FolderItem.h"
#include "framework/GuardProcess.h"
#include "framework/Shell.h"
#include "tools/DiskTools.h"

namespace {

constexpr int kLeftAttached = 1;
// A volume in use is tried again for a while: at the end of a session the
// programs that hold it are ending too.
constexpr int kDetachAttempts = 10;
constexpr auto kDetachRetryPause = std::chrono::seconds(2);
constexpr auto kLockWait = std::chrono::seconds(60);

// The program's own application object, without its event loop: the mirror
// keeps its state and status there.
class GuardApp : public App {};

// The disk tool on the one RAM-disk path our tools use, started with an
// argument list: no shell ever reads the path.
int Hdiutil(const char* verb) {
    fw::Shell shell;
    shell.ExecuteProgram({"hdiutil", verb, tools::kRAMDiskPath});
    const std::string output = shell.Result();
    if (!output.empty()) std::fputs(output.c_str(), stderr);
    return shell.ErrorCode();
}

std::string Native(const std::string& shellPath) { return fw::UnescapeShellWord(shellPath); }

// The source folder is closed only while it is still the folder that was loaded.
void CloseSourceFolder(const GuardState& state) {
    if (state.roots.source && RootIdAt(Native(state.sSourcePath), true) == state.roots.source)
        SetPermissionsAt(state.sSourcePath, 0);
}

// Before every write-back: both paths still lead to what the program loaded.
bool RootsStillHeld(const GuardState& state) {
    switch (state.roots.Check(state.sSourcePath, state.sTargetpath)) {
        case RootsHeld::Verdict::Same:
            return true;
        case RootsHeld::Verdict::VolumeChanged:
            GuardSay(state.sTargetpath + " is no longer the RAM disk that was loaded; left alone");
            return false;
        case RootsHeld::Verdict::SourceChanged:
            GuardSay("the source folder " + Native(state.sSourcePath) +
                     " is no longer the folder that was loaded; nothing copied, the RAM disk stays attached");
            return false;
    }
    return false;
}

bool TokenMatches(const GuardState& state) {
    std::ifstream file(Native(state.sTargetpath) + kGuardTokenFile);
    std::string token;
    return std::getline(file, token) && token == state.sToken;
}

// The lock is the program's own (the guard shares it); only when the program
// could not take it does the guard wait here for whoever holds it.
bool HoldLock() {
    const auto deadline = std::chrono::steady_clock::now() + kLockWait;
    while (::flock(fw::kGuardLockFd, LOCK_EX | LOCK_NB) != 0) {
        if (errno != EWOULDBLOCK && errno != EINTR) return true;  // no lock file to share
        if (std::chrono::steady_clock::now() >= deadline) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
    return true;
}

// One write-back as the program's last one: copy, and delete only after a
// complete load and a clean copy pass. True when it completed.
bool WriteBack(App& a, const GuardState& state) {
    a.bLoadComplete = state.bLoadComplete;
    a.bTransactionCopy = true;
    auto sync = fw::New<CSync>();
    sync->sFolderSource(state.sSourcePath);
    sync->sFolderTarget(state.sTargetpath);
    sync->bSet(false);
    sync->StartSync();
    if (!a.bLastSyncComplete) GuardSay("the write-back did not complete: " + a.sState);
    return a.bLastSyncComplete;
}

// What the write-back renamed into the source folder reaches the disk; the
// flush was opened before the write-back, so a failed write of it shows too.
bool Flushed(fw::FileSystemFlush& flush) {
    const auto result = flush.Flush();
    if (!result.Succeeded()) GuardSay("cannot flush the source folder's file system: " + result.message);
    return result.Succeeded();
}

}  // namespace

void GuardSay(const std::string& message) { std::fprintf(stderr, "tavelmorinth-guard: %s\n", message.c_str()); }

int GuardWork(const GuardState& state) {
    GuardApp a;
    fw::RegisterApplication(&a);
    if (auto exe = a.ExecutableFile()) fw::SetToolsFolder(exe->Parent()->NativePath());
    a.sPath = state.sSourcePath;

    if (Native(state.sTargetpath) != tools::kRAMDiskPath) {
        GuardSay(state.sTargetpath + " is not the RAM disk path of our tools; left alone");
        return kLeftAttached;
    }
    const int probe = Hdiutil("probe");
    if (probe == tools::kExitNothing) {
        // The program ejected it; its end may have come before it closed the folder.
        CloseSourceFolder(state);
        return 0;
    }
    if (probe == tools::kExitForeign) {
        GuardSay(state.sTargetpath + " is not a RAM disk of ours; left alone");
        return 0;
    }
    if (probe != tools::kExitOK) {
        GuardSay("cannot tell what " + state.sTargetpath + " is (hdiutil probe answered " + std::to_string(probe) +
                 "); left alone");
        return kLeftAttached;
    }
    if (!TokenMatches(state)) {
        GuardSay(state.sTargetpath + " is not the RAM disk the program told of; left attached");
        return kLeftAttached;
    }
    if (!HoldLock()) {
        GuardSay("another run holds the lock; the RAM disk is left attached");
        return kLeftAttached;
    }
    GuardSay("the program ended without its eject; writing " + state.sTargetpath + " back");
    for (int attempt = 1;; ++attempt) {
        if (!RootsStillHeld(state)) return kLeftAttached;
        fw::FileSystemFlush flush(Native(state.sSourcePath));
        if (!WriteBack(a, state) || !Flushed(flush)) {
            GuardSay("the RAM disk stays attached; the next start keeps it");
            return kLeftAttached;
        }
        // The check right before the detach: what stands there now must still be ours.
        if (!state.roots.VolumeStillHeld(state.sTargetpath)) {
            GuardSay(state.sTargetpath + " was replaced during the write-back; left alone");
            return kLeftAttached;
        }
        const int detach = Hdiutil("detach");
        if (detach == 0 || Hdiutil("probe") == tools::kExitNothing) break;
        if (detach != tools::kExitBusy || attempt == kDetachAttempts) {
            GuardSay("the RAM disk was written back but cannot be ejected; it stays attached");
            return kLeftAttached;
        }
        std::this_thread::sleep_for(kDetachRetryPause);
    }
    CloseSourceFolder(state);
    GuardSay("written back and ejected");
    return 0;
}
