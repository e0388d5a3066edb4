#include "engine/CCleanRAMDisk.h"

#include <memory>

#include "app/App.h"
#include "app/ShellPaths.h"
#include "engine/CAfterChangeOptions.h"
#include "engine/CTavelmorinth.h"
#include "engine/EngineHooks.h"
#include "framework/FolderItem.h"
#include "framework/Log.h"
#include "framework/Shell.h"
#include "engine/TimerState.h"
#include "tools/DiskTools.h"

namespace {

// The wait cursor for the time the detach blocks the main thread.
struct WaitCursor {
    WaitCursor() { app().SetMouseCursor(fw::MouseCursor::Wait); }
    ~WaitCursor() { app().SetMouseCursor(fw::MouseCursor::Standard); }
};

// The RAM disk's contents can still be reached there. After a detach only an
// empty folder or nothing is left, whatever the tool answered.
bool VolumeHoldsEntries(const std::string& shellPath) {
    auto volume = fw::GetFolderItem(shellPath, 1);
    return volume && volume->Exists() && volume->Directory() && volume->Count() > 0;
}

std::string NativePathOf(const std::string& shellPath) {
    auto item = fw::GetFolderItem(shellPath, 1);
    return item ? item->NativePath() : std::string();
}
}  // namespace

void CCleanRAMDisk::Event_Action() {
    // Quit may release the worker objects, this one included.
    const auto self = shared_from_this();
    App& a = app();
    const auto worker = a.oTavelmorinth;
    // Until its detach the RAM disk must still be the one that was loaded, and
    // the source folder the one it was loaded from.
    if (worker->oDat && !a.bTransactionCopy) {
        if (const auto verdict = worker->CheckRoots(); verdict != RootsHeld::Verdict::Same) {
            EndWithoutTheRoots(verdict);
            return;
        }
    }
    if (!bWriteBackEnded && !a.bTransactionCopy) {
        m_oFlush = std::make_unique<fw::FileSystemFlush>(NativePathOf(worker->sSourcePath));
        worker->bSet = false;
        worker->Run();
    }
    if (!bWriteBackEnded) return;

    a.sState = a.bCleanRAMDiskWithShutdown ? App::kWillShutdown() : App::kWillRestarted();
    if (!a.bActivityVisible) EngineHooks::Call(EngineHooks::ShowActivityWindow);
    if (a.bTransactionCopy) return;

    // What stands at the path without being our RAM disk is never ejected or waited for.
    const bool present = !worker->NotOurs() && worker->VolumeStillHeld() && VolumeHoldsEntries(worker->sTargetpath);
    if (worker->oDat || present) {
        // Detaching now would destroy what the write-back could not save, or
        // what may not have reached the disk yet.
        if (present && (!a.bLastSyncComplete || !FlushedToDisk())) {
            a.sState = App::kNotSavedNoEject();
            KeepVolume();
            return;
        }
        if (!Detach()) return;
        if (!a.bCleanRAMDiskWithShutdown) {
            bWriteBackEnded = false;
            SetEnabled(false);
            // The rebuild gave up meanwhile (its folder vanished): nothing will be
            // rebuilt, and a later quit must end the program.
            if (!Armed(a.oAfterChangeOptions)) {
                a.sState = App::kSourceNotAvailable();
                a.bCleanRAMDiskWithShutdown = true;
            }
        }
    } else if (a.bCleanRAMDiskWithShutdown) {
        // A quit that took over a rebuild: the folder the RAM disk came from is
        // let go as well as the chosen one.
        if (worker->sSourcePath != a.sPath) SetPermissionsAt(worker->sSourcePath, 0);
        a.bQuit = true;
        a.Quit(0);
    } else {
        // A rebuild found the volume gone already: its eject is done.
        bWriteBackEnded = false;
        SetEnabled(false);
    }
}

bool CCleanRAMDisk::FlushedToDisk() {
    WaitCursor cursor;  // a large write-back may take a while to reach the disk
    const auto flush = m_oFlush ? std::move(m_oFlush)
                                : std::make_unique<fw::FileSystemFlush>(NativePathOf(app().oTavelmorinth->sSourcePath));
    return flush->Flush().Succeeded();
}

// Answers whether the volume is gone; otherwise the program goes on with it.
bool CCleanRAMDisk::Detach() {
    App& a = app();
    const auto worker = a.oTavelmorinth;
    if (worker->oDat) {
        try {
            worker->oDat->Close();
        } catch (...) {
            // An empty lock file: nothing to lose.
        }
        worker->oDat = nullptr;
    }
    WaitCursor cursor;
    fw::Shell shell;
    shell.Execute("hdiutil detach " + worker->sTargetpath);
    a.iErrorCodeUnmount = shell.ErrorCode();
    // Only a volume that is gone counts as ejected, whatever the tool answered.
    // What stands at the path now without being the loaded RAM disk is not
    // ours: it gets no lock file, and nothing is ever saved from it.
    const bool stillHeld = worker->VolumeStillHeld();
    if (!stillHeld && VolumeHoldsEntries(worker->sTargetpath))
        fw::Log(fw::UnescapeShellWord(worker->sTargetpath) + " was replaced after the detach; left alone");
    if (a.iErrorCodeUnmount == tools::kExitBusy || (stillHeld && VolumeHoldsEntries(worker->sTargetpath))) {
        a.sState = a.iErrorCodeUnmount == tools::kExitBusy ? App::kDriveIsInUse() : App::kEjectFailed();
        a.iErrorCodeUnmount = 0;
        KeepVolume();
        worker->CreateLock();
        return false;
    }
    if (!a.sNewSize.empty()) a.TrySaveOptions();  // a failure is in the status; the sequence goes on
    return true;
}

// Nothing is written into what is not the loaded source folder or RAM disk, and a
// RAM disk that is not the loaded one is not ejected. A rebuild is abandoned and
// the periodic write-back asks again; a quit still ends, leaving the loaded RAM
// disk attached for the next start, which keeps its work.
void CCleanRAMDisk::EndWithoutTheRoots(RootsHeld::Verdict verdict) {
    App& a = app();
    const auto worker = a.oTavelmorinth;
    const std::string text = worker->RootsChangedText(verdict);
    if (!a.bCleanRAMDiskWithShutdown) {
        KeepVolume();
        a.sState = text;
        return;
    }
    a.sState = text;
    m_oFlush.reset();
    fw::Log(verdict == RootsHeld::Verdict::VolumeChanged
                ? "quitting without saving or ejecting " + fw::UnescapeShellWord(worker->sTargetpath) +
                      ": it is not the RAM disk that was loaded"
                : "quitting without saving: the source folder is not the folder that was loaded; " +
                      fw::UnescapeShellWord(worker->sTargetpath) + " stays attached for the next start");
    SetEnabled(false);
    a.bQuit = true;
    a.Quit(0);
}

// The program goes on with the current RAM disk: periodic write-back on, the
// rebuild abandoned, and a later quit runs the whole quit sequence again.
void CCleanRAMDisk::KeepVolume() {
    App& a = app();
    const bool rebuilding = !a.bCleanRAMDiskWithShutdown;
    SetEnabled(false);
    bWriteBackEnded = false;
    m_oFlush.reset();
    a.oTimerCopy->SetEnabled(true);
    if (a.oAfterChangeOptions) {
        if (rebuilding) {
            a.oAfterChangeOptions->EjectRefused();
        } else {
            a.oAfterChangeOptions->bCleanStarted = false;
            a.oAfterChangeOptions->SetEnabled(false);
        }
    }
    if (!rebuilding) a.bQuitUnderWay = false;
    a.bCleanRAMDiskWithShutdown = true;
    a.bShutdown = false;
}
