#include "engine/CAfterChangeOptions.h"

#include "app/App.h"
#include "app/ShellPaths.h"
#include "app/SourceFolders.h"
#include "engine/CCleanRAMDisk.h"
#include "engine/CGuard.h"
#include "engine/CStartup.h"
#include "engine/CTavelmorinth.h"
#include "engine/TimerState.h"
#include "framework/Clock.h"
#include "framework/FolderItem.h"

void CAfterChangeOptions::Event_Action() {
    App& a = app();
    // The start-up thread may still be making the worker: a second one must not
    // be made beside it. Try again at the next firing.
    if (CStartup::Unfinished()) return;
    a.sPath = a.sNewPath.empty() ? a.sPath : a.sNewPath;
    // A folder that may not be the source folder is never used, as a missing one.
    const bool refused = IsRefusedSourceFolder(a.sPath);
    const bool folderPresent = !refused && ExistsAt(a.sPath);

    if (folderPresent && !a.oTavelmorinth) {
        // An earlier run's guard may still write its RAM disk back: the main
        // thread does not wait for it, this timer asks again at its next firing.
        if (m_iGuardWaitSince < 0) m_iGuardWaitSince = fw::CurrentClock().MonotonicMs();
        if (!CGuard::EarlierGuardDone(m_iGuardWaitSince)) {
            a.sState = App::kWaitingForGuard();
            return;
        }
        m_iGuardWaitSince = -1;
        auto worker = fw::New<CTavelmorinth>();
        worker->Constructor();
        a.oTavelmorinth = worker;
        SetEnabled(false);
        StartPeriodicWriteBack();
        // The RAM disk just made is loading; this firing must not eject it.
        return;
    }

    if (!a.bTransactionCopy && !bCleanStarted) {
        a.oTimerCopy->SetEnabled(false);
        if (folderPresent) {
            m_inUse = {a.sSize, a.sInterval, a.oTavelmorinth->sSourcePath};
            // The chosen settings are stored before anything is ejected: when
            // they cannot be, the RAM disk goes on as it is.
            if (!a.sNewPath.empty() && !a.TrySaveOptions()) {
                KeepCurrentSettings();
                return;
            }
            a.bCleanRAMDiskWithShutdown = false;
            bCleanStarted = true;
            a.oTavelmorinth->CleanRAMDisk();
        }
    }

    if (!folderPresent) {
        SetEnabled(false);
        a.sState = refused ? App::kSourceNotUsable() : App::kSourceNotAvailable();
        // The RAM disk stays as it is, and so must its saving.
        if (!bCleanStarted && a.oTavelmorinth) StartPeriodicWriteBack();
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
    // Settings chosen again while this rebuild waited: stored before any folder
    // is touched; when they cannot be, the RAM disk comes back as it was.
    const bool saved = a.sNewPath.empty() || a.TrySaveOptions();
    if (!saved) {
        DropPendingSettings();
    } else {
        SetPermissionsAt(worker->sSourcePath, 0);
        worker->sSourcePath = a.sPath;
        SetPermissionsAt(worker->sSourcePath, kSourcePermissions);
    }
    a.bCleanRAMDiskWithShutdown = true;
    if (saved) a.GetOptions();
    worker->Create();
    StartPeriodicWriteBack();
    SetEnabled(false);
    bCleanStarted = false;
    if (!saved) a.sState = App::kSettingsNotSaved();
}

void CAfterChangeOptions::EjectRefused() {
    App& a = app();
    bCleanStarted = false;
    SetEnabled(false);
    if (m_inUse.sPath.empty()) return;
    a.sSize = m_inUse.sSize;
    a.sInterval = m_inUse.sInterval;
    a.sPath = m_inUse.sPath;
    a.sNewSize.clear();
    a.sNewInterval.clear();
    a.sNewPath.clear();
    m_inUse = {};
    const std::string status = a.sState;
    // Written back as they run; a failure is in the status and changes nothing else.
    if (a.TrySaveOptions()) a.sState = status;
    a.oTimerCopy->SetPeriod(a.GetSecondsInterval() * 1000);
}

void CAfterChangeOptions::DropPendingSettings() {
    App& a = app();
    a.sPath = a.oTavelmorinth->sSourcePath;
    a.sNewSize.clear();
    a.sNewInterval.clear();
    a.sNewPath.clear();
    // A save that failed half-way may have written the main file: it names the
    // settings in use again (a second failure changes nothing).
    a.TrySaveOptions();
    a.sState = App::kSettingsNotSaved();
}

void CAfterChangeOptions::KeepCurrentSettings() {
    App& a = app();
    DropPendingSettings();
    a.oTimerCopy->SetEnabled(true);
    SetEnabled(false);
}

void CAfterChangeOptions::StartPeriodicWriteBack() {
    App& a = app();
    a.oTimerCopy->SetPeriod(a.GetSecondsInterval() * 1000);
    a.oTimerCopy->SetEnabled(true);
}
