// The application's events: the start-up road and the quit gate.
#include "app/App.h"
#include "app/ProgramApp.h"
#include "app/ShellPaths.h"
#include "app/SourceFolders.h"
#include "app/MainMenuBar.h"
#include "engine/CAfterChangeOptions.h"
#include "engine/CCleanRAMDisk.h"
#include "engine/CShutdown.h"
#include "engine/CStartup.h"
#include "engine/CTavelmorinth.h"
#include "engine/TimerState.h"
#include "framework/FolderItem.h"
#include "framework/Strings.h"
#include "update/CVersionCheck.h"
#include "update/frmUpdateWindow.h"
#include "windows/frmAbout.h"
#include "windows/frmAboutBK.h"
#include "windows/frmOptions.h"
#include "windows/frmState.h"

void ProgramApp::Event_Open() {
    frmAbout()->Show();
    // Seen from the first moment, also while the start goes on.
    frmAbout()->UpdateNow();
    FileMenu()->SetText(kmnuFile());
    mnuAboutTavelmorinth()->SetText(kAboutTavelmorinth());
    mnuAboutBK()->SetText(kmnuAboutBK());
    mnuDocu()->SetText(kmnuManual());
    mnuHelp()->SetText(kmnuHelp());
    mnuOptions()->SetText(kmnuPreferences());
    mnuState()->SetText(kmnuShowActivity());
    Startup();
}

void App::Startup() {
    CreatePrefsFolder(true, "");
    GetOptions();
    CheckForUpdate();
    StartupSub();
}

namespace {
// A quit (waiting for a pass, ejecting, or asked during the start) or a rebuild
// (waiting for its eject or for the volume to go) is under way.
bool QuitOrRebuildUnderWay(const App& a) {
    if (CStartup::QuitAsked() || a.bQuit || a.bShutdown) return true;
    if (Armed(a.oShutdown) || Armed(a.oCleanRamDisk) || Armed(a.oAfterChangeOptions)) return true;
    return a.oAfterChangeOptions && a.oAfterChangeOptions->bCleanStarted;
}
}  // namespace

void App::CheckForUpdate() {
    // A name server or web server that never answers must not hold the start:
    // the requests run beside it, and the answer is looked at when it is in.
    CVersionCheck::Start([](const std::string& offered) {
        // Any other text offers the update, an older or garbled one too; no text
        // offers nothing. An answer that comes during a quit or a rebuild is
        // dropped until the next start: no window opens over the end of the program.
        App& a = app();
        if (offered != a.VersionText() && !offered.empty() && !QuitOrRebuildUnderWay(a)) frmUpdateWindow()->Show();
    });
}

std::string App::VersionText() const {
    return fw::CStr(MajorVersion) + "." + fw::CStr(MinorVersion) + "." + fw::CStr(BugVersion);
}

void App::StartupSub() {
    auto source = fw::GetFolderItem(sPath, 1);
    // A folder that may not be the source folder is left alone as a missing one.
    const bool refused = IsRefusedSourceFolder(sPath);
    bool missing = refused || !source || !source->Exists();
    auto startup = fw::New<CStartup>();
    // On the very first start the worker creates the folder.
    if (bFirstStart && !refused) missing = false;
    if (missing) {
        sNewPath = sPath;
        sPath.clear();
        frmState()->Show();
        startup->bEnableTimer = false;
        startup->Run();
        sState = refused ? kSourceNotUsable() : kSourceNotAvailable();
    } else {
        frmState()->Show();
        startup->Run();
    }
}

bool ProgramApp::Event_CancelClose() {
    // The start-up thread may be making the volume: ending now would leave it
    // attached behind the program. The thread asks again once it is done.
    if (CStartup::Unfinished()) {
        CStartup::QuitWhenDone();
        sState = kWillClosed();
        bQuitUnderWay = true;
        return true;
    }
    // The start-up thread has not made the workers: nothing to write back.
    if (!oTimerCopy) return false;
    oTimerCopy->SetEnabled(false);
    sState = kWillClosed();
    bQuitUnderWay = true;
    // A quit also takes over a rebuild under way: its eject ends the program.
    bCleanRAMDiskWithShutdown = true;
    if (oAfterChangeOptions) {
        oAfterChangeOptions->SetEnabled(false);
        oAfterChangeOptions->bCleanStarted = false;
    }
    if (bTransactionCopy) {
        if (!bActivityVisible) frmState()->Show();
        // A pass is never cut, however many requests came before: wait for it.
        // An eject sequence under way waits for it by itself.
        if (!Armed(oCleanRamDisk)) {
            oShutdown->SetMode(fw::Timer::ModeMultiple);
            oShutdown->SetPeriod(500);
            oShutdown->SetEnabled(true);
        }
    } else {
        if (!oTavelmorinth) return false;
        oTavelmorinth->CleanRAMDisk();
    }
    return !bQuit;
}

void ProgramApp::Event_Close() {
    if (sPath.empty()) return;
    // Closed to everyone while the program is not running; what stands at the
    // path in place of the loaded folder (the folder under an unmounted disk) is not ours to close.
    if (!(oTavelmorinth && oTavelmorinth->SourceMovedFrom(sPath))) SetPermissionsAt(sPath, 0);
    oTavelmorinth = nullptr;
    oTimerProgress = nullptr;
    oTimerCopy = nullptr;
    oShutdown = nullptr;
    oAfterChangeOptions = nullptr;
    oCleanRamDisk = nullptr;
}

bool App::_mnuAboutTavelmorinth_Action() {
    frmAbout()->bOnlyCloseOnClick = true;
    frmAbout()->Show();
    return true;
}

bool App::_mnuAboutBK_Action() {
    frmAboutBK()->ShowModal();
    return true;
}

bool App::_mnuDocu_Action() {
    const std::string p = ExecutableFile()->ShellPath();
    const std::string base = fw::Mid(p, 1, fw::InStr(1, p, "MacOS") - 1);
    const std::string file =
        base + (mnuDocu()->Text() == "Handbuch" ? "Resources/Handbuch/Handbuch.pdf" : "Resources/Handbuch/Manual.pdf");
    auto f = fw::GetFolderItem(file, 1);
    if (f && f->Exists()) f->Launch(true);
    return true;
}

bool App::_mnuFAQ_Action() { return true; }

bool App::_mnuOptions_Action() {
    frmOptions()->Show();
    return true;
}

bool App::_mnuState_Action() {
    if (!mnuState()->Checked()) {
        frmState()->SetVisible(true);
        frmState()->Show();
    } else {
        frmState()->SetVisible(false);
        frmState()->Close();
    }
    return true;
}
