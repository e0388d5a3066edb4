#include "engine/CTavelmorinth.h"

#include "app/App.h"
#include "app/ShellPaths.h"
#include "engine/CCleanRAMDisk.h"
#include "engine/CGuard.h"
#include "engine/CSync.h"
#include "framework/FolderItem.h"
#include "framework/Log.h"
#include "framework/Shell.h"
#include "framework/SpecialFolder.h"
#include "framework/Strings.h"
#include "tools/DiskTools.h"

namespace {
double SizeMB(const std::string& sizeText) { return fw::CDbl(fw::ReplaceAll(sizeText, ".", "")); }

// Makes the folder and whatever folders above it are missing: on a fresh account
// even the Documents folder may not exist, and a source folder that was never
// made would leave every write-back without a place to go.
void CreateFolderAndParents(const fw::Ref<fw::FolderItem>& folder) {
    if (folder->Exists()) return;
    auto parent = folder->Parent();
    if (parent->NativePath() != folder->NativePath()) CreateFolderAndParents(parent);
    folder->CreateAsFolder();
}
}  // namespace

void CTavelmorinth::Constructor() {
    sSourcePath = app().sPath;
    if (sSourcePath.empty()) sSourcePath = fw::SpecialFolder::Documents()->ShellPath() + "/TavelmorinthSource";
    if (sTargetpath.empty()) sTargetpath = tools::kRAMDiskPath;
    CGuard::WaitForEarlierGuard();
    Create();
}

std::string CTavelmorinth::CreationCommand(const std::string& sizeText) {
    return std::string("diskutil erasevolume HFS+ '") + tools::kRAMDiskName + "' `hdiutil attach -nomount ram://" +
           fw::Format(SizeMB(sizeText) * 1953, "0000") + "`";
}

void CTavelmorinth::Create() {
    App& a = app();
    // Our tools tell a RAM disk of this user's from our own leftovers of an earlier
    // run and from anything else that stands at the path.
    const int found = ProbeVolume();
    m_bNotOurs = false;
    if (found == tools::kExitOK) {
        m_bKeptAttached = true;
    } else if (found == tools::kExitNothing) {
        a.sState = App::kWillbeCreated();
        // Whatever was loaded before is gone with the old volume.
        a.bLoadComplete = false;
        m_bKeptAttached = false;
        fw::Shell shell;
        shell.Execute(CreationCommand(a.sSize));
        if (shell.ErrorCode() != 0 || ProbeVolume() != tools::kExitOK) {
            a.sState = shell.ErrorCode() == tools::kExitNoHelper ? App::kNoMountHelper() : App::kCreateFailed();
            m_bNotOurs = true;
            return;
        }
        a.sState = App::kCreated();
    } else {
        // Not ours, or not known to be: nothing is copied into or out of it, nothing
        // of it is deleted, and no lock file is put on it.
        a.bLoadComplete = false;
        m_bKeptAttached = false;
        m_bNotOurs = true;
        a.sState = found == tools::kExitForeign ? App::kVolumeForeign() : App::kCreateFailed();
        return;
    }

    auto ramTmp = fw::GetFolderItem(sTargetpath + "/TMP", 1);
    if (ramTmp) ramTmp->CreateAsFolder();
    if (a.bFirstStart) {
        const std::string plain = fw::UnescapeShellWord(sSourcePath);
        if (!plain.empty() && plain[0] == '/') CreateFolderAndParents(fw::New<fw::FolderItem>(plain));
    }
    auto sourceTmp = fw::GetFolderItem(sSourcePath + "/TMP", 1);
    if (sourceTmp && !sourceTmp->Exists()) sourceTmp->CreateAsFolder();
    // From here on every pass and the eject ask whether these are still the roots.
    m_oRoots = RootsHeld::Take(sSourcePath, sTargetpath);
    CreateLock();
    CGuard::Start(*this);
    bSet = true;
    m_bLoadPending = true;
    Run();
}

int CTavelmorinth::ProbeVolume() const {
    fw::Shell shell;
    shell.Execute("hdiutil probe " + sTargetpath);
    return shell.ErrorCode();
}

void CTavelmorinth::CreateLock() {
    auto ramLock = fw::GetFolderItem(sTargetpath + "/TMP/T.dat", 1);
    SetPermissionsAt(sSourcePath, kSourcePermissions);
    auto sourceLock = fw::GetFolderItem(sSourcePath + "/TMP/T.dat", 1);
    if (ramLock && ramLock->Exists()) ramLock->Delete();
    if (sourceLock && sourceLock->Exists()) sourceLock->Delete();
    oDat = fw::TextOutputStream::Create(ramLock);
    if (sourceLock) {
        try {
            oDatSource = fw::TextOutputStream::Create(sourceLock);
        } catch (...) {
            // The synchronisations run without it.
        }
    }
}

void CTavelmorinth::Event_Run() {
    App& a = app();
    if (m_bNotOurs) {
        // No pass at all; an eject that waits for its last write-back may go on.
        if (a.oCleanRamDisk) a.oCleanRamDisk->bWriteBackEnded = true;
        return;
    }
    // Test and set with no yield between them: the program's only mutual exclusion.
    if (a.bTransactionCopy) return;
    if (const auto verdict = CheckRoots(); verdict != RootsHeld::Verdict::Same) {
        RefusePass(verdict);
        return;
    }
    a.bTransactionCopy = true;
    if (m_bLoadPending) {
        bSet = true;
        m_bLoadPending = false;
    }
    CopyFilesToRAM();
}

std::string CTavelmorinth::RootsChangedText(RootsHeld::Verdict verdict) const {
    if (verdict == RootsHeld::Verdict::VolumeChanged) return App::kVolumeChanged();
    return ExistsAt(sSourcePath) ? App::kSourceChanged() : App::kSyncNoRoot();
}

// Nothing is copied or deleted either way; the RAM disk keeps its work until the
// source folder it came from is back (the periodic write-back asks again).
void CTavelmorinth::RefusePass(RootsHeld::Verdict verdict) {
    App& a = app();
    a.sState = RootsChangedText(verdict);
    a.bLastSyncComplete = false;
    if (bSet || m_bLoadPending) a.bLoadComplete = false;
    fw::Log(verdict == RootsHeld::Verdict::VolumeChanged
                ? fw::UnescapeShellWord(sTargetpath) + " is no longer the RAM disk that was loaded; nothing copied"
                : "the source folder " + fw::UnescapeShellWord(sSourcePath) +
                      " is no longer the folder that was loaded; nothing copied");
    // A write-back that waits in the eject sequence is over; the sequence looks
    // at the roots itself before it goes on.
    if (!bSet && !m_bLoadPending && a.oCleanRamDisk) a.oCleanRamDisk->bWriteBackEnded = true;
}

void CTavelmorinth::CopyFilesToRAM() {
    auto sync = fw::New<CSync>();
    sync->sFolderSource(sSourcePath);
    sync->sFolderTarget(sTargetpath);
    sync->bSet(bSet);
    if (bSet) {
        sync->bKeepTarget(m_bKeptAttached);
        m_bKeptAttached = false;
    }
    sync->Run();
}

void CTavelmorinth::CleanRAMDisk() {
    auto& clean = app().oCleanRamDisk;
    // Every eject follows a write-back; after a load that did not fit, that
    // write-back only copies (deleting needs a complete load).
    clean->bWriteBackEnded = false;
    clean->SetMode(fw::Timer::ModeMultiple);
    clean->SetPeriod(1000);
    clean->SetEnabled(true);
}
