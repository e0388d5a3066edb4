#include "engine/CCleanRAMDisk.h"

#include <memory>

#include "app/App.h"
#include "app/ShellPaths.h"
#include "engine/CAfterChangeOptions.h"
#include "engine/CTavelmorinth.h"
#include "engine/EngineHooks.h"
#include "framework/FolderItem.h"
#include "framework/Shell.h"
#include "engine/TimerState.h"

namespace {
constexpr int kVolumeInUse = 16;

// The wait cursor for the time the detach blocks the main thread.
struct WaitCursor {
    WaitCursor() { app().SetMouseCursor(fw::MouseCursor::Wait); }
    ~WaitCursor() { app().SetMouseCursor(fw::MouseCursor::Standard); }
};
}  // namespace

void CCleanRAMDisk::Event_Action() {
    // Quit may release the worker objects, this one included.
    const auto self = shared_from_this();
    App& a = app();
    const auto worker = a.oTavelmorinth;
    if (!bSaved && !a.bTransactionCopy) {
        worker->bSet = false;
        worker->Run();
    }
    if (!bSaved) return;

    a.sState = a.bCleanRAMDiskWithShutdown ? App::kWillShutdown() : App::kWillRestarted();
    if (!a.bActivityVisible) EngineHooks::Call(EngineHooks::ShowActivityWindow);
    if (a.bTransactionCopy) return;

    if (worker->oDat) {
        if (bWithWriteBack && !a.bLastSyncComplete && ExistsAt(worker->sTargetpath)) {
            // Detaching now would destroy what the write-back could not save.
            a.sState = App::kNotSavedNoEject();
            KeepVolume();
            return;
        }
        Detach();
        if (!a.bCleanRAMDiskWithShutdown) {
            bSaved = false;
            SetEnabled(false);
            // The rebuild gave up meanwhile (its folder vanished): nothing will be
            // rebuilt, and a later quit must end the program.
            if (!Armed(a.oAfterChangeOptions)) {
                a.sState = App::kSourceNotAvailable();
                a.bCleanRAMDiskWithShutdown = true;
            }
        }
    } else if (a.bCleanRAMDiskWithShutdown) {
        a.bQuit = true;
        a.Quit(0);
    } else {
        // A rebuild found the volume gone already: its eject is done.
        bSaved = false;
        SetEnabled(false);
    }
}

void CCleanRAMDisk::Detach() {
    App& a = app();
    const auto worker = a.oTavelmorinth;
    try {
        worker->oDat->Close();
    } catch (...) {
        // An empty lock file: nothing to lose.
    }
    worker->oDat = nullptr;
    WaitCursor cursor;
    fw::Shell shell;
    shell.Execute("hdiutil detach " + worker->sTargetpath);
    a.iErrorCodeUnmount = shell.ErrorCode();
    if (a.iErrorCodeUnmount == kVolumeInUse) {
        a.sState = App::kDriveIsInUse();
        a.iErrorCodeUnmount = 0;
        KeepVolume();
        worker->CreateLock();
    } else if (!a.sNewSize.empty()) {
        a.TrySaveOptions();  // a failure is in the status; the sequence goes on
    }
}

// The program goes on with the current RAM disk: periodic write-back on, the
// rebuild abandoned, and a later quit runs the whole quit sequence again.
void CCleanRAMDisk::KeepVolume() {
    App& a = app();
    if (a.oAfterChangeOptions) a.oAfterChangeOptions->bCleanStarted = false;
    SetEnabled(false);
    a.oTimerCopy->SetEnabled(true);
    if (a.oAfterChangeOptions) a.oAfterChangeOptions->SetEnabled(false);
    a.bCleanRAMDiskWithShutdown = true;
}
