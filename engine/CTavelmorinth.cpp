#include "engine/CTavelmorinth.h"

#include "app/App.h"
#include "engine/CCleanRAMDisk.h"
#include "engine/CSync.h"
#include "framework/FolderItem.h"
#include "framework/Shell.h"
#include "framework/SpecialFolder.h"
#include "framework/Strings.h"

namespace {
constexpr int kSourcePermissions = 500;  // decimal, as the program has always written it (octal 764)

double SizeMB(const std::string& sizeText) { return fw::CDbl(fw::ReplaceAll(sizeText, ".", "")); }

bool Present(const std::string& shellPath) {
    auto item = fw::GetFolderItem(shellPath, 1);
    return item && item->Exists();
}
}  // namespace

void CTavelmorinth::Constructor() {
    sSourcePath = app().sPath;
    if (sSourcePath.empty()) sSourcePath = fw::SpecialFolder::Documents()->ShellPath() + "/TavelmorinthSource";
    if (sTargetpath.empty()) sTargetpath = "/volumes/Tavelmorinth";
    Create();
}

std::string CTavelmorinth::CreationCommand(const std::string& sizeText) {
    return "diskutil erasevolume HFS+ 'Tavelmorinth' `hdiutil attach -nomount ram://" +
           fw::Format(SizeMB(sizeText) * 1953, "0000") + "`";
}

void CTavelmorinth::Create() {
    App& a = app();
    if (Present(sTargetpath)) {
        m_bKeptAttached = true;
    } else {
        a.sState = App::kWillbeCreated();
        if (SizeMB(a.sSize) > 4096) a.sSize = "4096";
        // Whatever was loaded before is gone with the old volume.
        a.bLoadComplete = false;
        m_bKeptAttached = false;
        fw::Shell shell;
        shell.Execute(CreationCommand(a.sSize));
        if (shell.ErrorCode() != 0 || !Present(sTargetpath)) {
            a.sState = App::kCreateFailed();
            return;
        }
        a.sState = App::kCreated();
    }

    auto ramTmp = fw::GetFolderItem(sTargetpath + "/TMP", 1);
    if (ramTmp) ramTmp->CreateAsFolder();
    if (a.bFirstStart) {
        auto source = fw::GetFolderItem(sSourcePath, 1);
        if (source && !source->Exists()) source->CreateAsFolder();
    }
    auto sourceTmp = fw::GetFolderItem(sSourcePath + "/TMP", 1);
    if (sourceTmp && !sourceTmp->Exists()) sourceTmp->CreateAsFolder();
    CreateLock();
    bSet = true;
    m_bLoadPending = true;
    Run();
}

void CTavelmorinth::CreateLock() {
    auto ramLock = fw::GetFolderItem(sTargetpath + "/TMP/T.dat", 1);
    auto source = fw::GetFolderItem(sSourcePath, 1);
    if (source && source->Exists()) source->SetPermissions(kSourcePermissions);
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
    // Test and set with no yield between them: the program's only mutual exclusion.
    if (a.bTransactionCopy) return;
    a.bTransactionCopy = true;
    if (m_bLoadPending) {
        bSet = true;
        m_bLoadPending = false;
    }
    CopyFilesToRAM();
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
    if (!bWithoutSave) {
        clean->bSaved = false;
        clean->bWithWriteBack = true;
    } else {
        bWithoutSave = false;
        clean->bWithWriteBack = false;
    }
    clean->SetMode(fw::Timer::ModeMultiple);
    clean->SetPeriod(1000);
    clean->SetEnabled(true);
}
