#include "engine/CAfterChangeOptions.h"

#include "app/App.h"
#include "app/ShellPaths.h"
#include "engine/CCleanRAMDisk.h"
#include "engine/CStartup.h"
#include "engine/CTavelmorinth.h"
#include "engine/TimerState.h"
#include "framework/FolderItem.h"

void CAfterChangeOptions::Event_Action() {
    App& a = app();
    // The start-up thread may still be making the worker: a second one must not
    // be made beside it. Try again at the next firing.
    if (CStartup::Running()) return;
    a.sPath = a.sNewPath.empty() ? a.sPath : a.sNewPath;
    const bool folderPresent = ExistsAt(a.sPath);

    if (folderPresent && !a.oTavelmorinth) {
        auto worker = fw::New<CTavelmorinth>();
        worker->Constructor();
        a.oTavelmorinth = worker;
        SetEnabled(false);
        // The RAM disk just made is loading; this firing must not eject it.
        return;
    }

    if (!a.bTransactionCopy && !bCleanStarted) {
        a.oTimerCopy->SetEnabled(false);
        if (folderPresent) {
            a.bCleanRAMDiskWithShutdown = false;
            bCleanStarted = true;
            a.oTavelmorinth->CleanRAMDisk();
        }
    }

    if (!folderPresent) {
        SetEnabled(false);
        a.sState = App::kSourceNotAvailable();
        // Nothing will be rebuilt: once this rebuild's eject is over, a later
        // quit must end the program (a running eject sees this timer off).
        if (bCleanStarted && !Armed(a.oCleanRamDisk)) a.bCleanRAMDiskWithShutdown = true;
        return;
    }

    // Rebuild only once the volume is gone and the eject sequence has ended, so
    // that a sequence still armed can never detach the new RAM disk.
    if (!bCleanStarted || a.bTransactionCopy || Armed(a.oCleanRamDisk)) return;
    auto volume = fw::GetFolderItem(a.oTavelmorinth->sTargetpath, 1);
    // An entry that is not ours stays where it is; the rebuild asks the tools anew.
    if (!volume || (volume->Exists() && !a.oTavelmorinth->NotOurs())) return;
    Rebuild();
}

void CAfterChangeOptions::Rebuild() {
    App& a = app();
    const auto worker = a.oTavelmorinth;
    SetPermissionsAt(worker->sSourcePath, 0);
    if (!a.sNewPath.empty()) {
        worker->sSourcePath = a.sNewPath;
        a.SaveOptions();
    } else {
        worker->sSourcePath = a.sPath;
    }
    SetPermissionsAt(worker->sSourcePath, kSourcePermissions);
    a.bCleanRAMDiskWithShutdown = true;
    a.GetOptions();
    worker->Create();
    a.oTimerCopy->SetPeriod(a.GetSecondsInterval() * 1000);
    a.oTimerCopy->SetEnabled(true);
    SetEnabled(false);
    bCleanStarted = false;
}
