// The application's events: the start-up road and the quit gate.
#include "app/App.h"
#include "engine/CShutdown.h"
#include "engine/CStartup.h"
#include "engine/CTavelmorinth.h"
#include "engine/EngineHooks.h"
#include "framework/FolderItem.h"
#include "framework/Strings.h"
#include "update/mdlOrder.h"

void App::Event_Open() { Startup(); }

void App::Startup() {
    CreatePrefsFolder(true, "");
    GetOptions();
    mdlOrder::GetVersionInfoFromBK();
    const std::string running = fw::CStr(MajorVersion) + "." + fw::CStr(MinorVersion) + "." + fw::CStr(BugVersion);
    if (mdlOrder::GetVersionInfo() != running) {
        if (!mdlOrder::GetVersionInfo().empty()) EngineHooks::Call(EngineHooks::ShowUpdateWindow);
    }
    StartupSub();
}

void App::StartupSub() {
    auto source = fw::GetFolderItem(sPath, 1);
    bool missing = !source || !source->Exists();
    auto startup = fw::New<CStartup>();
    // On the very first start the worker creates the folder.
    if (bFirstStart) missing = false;
    if (missing) {
        sNewPath = sPath;
        sPath.clear();
        EngineHooks::Call(EngineHooks::ShowActivityWindow);
        startup->bEnableTimer = false;
        startup->Run();
        sState = kSourceNotAvailable();
    } else {
        EngineHooks::Call(EngineHooks::ShowActivityWindow);
        startup->Run();
    }
}

bool App::Event_CancelClose() {
    // The start-up thread has not made the workers yet: nothing to write back.
    if (!oTimerCopy) return false;
    oTimerCopy->SetEnabled(false);
    sState = kWillClosed();
    if (bTransactionCopy) {
        if (!bActivityVisible) EngineHooks::Call(EngineHooks::ShowActivityWindow);
        if (!bShutdown) {
            oShutdown->SetMode(fw::Timer::ModeMultiple);
            oShutdown->SetPeriod(500);
            oShutdown->SetEnabled(true);
        } else {
            bQuit = true;
        }
    } else {
        if (!oTavelmorinth) return false;
        oTavelmorinth->CleanRAMDisk();
    }
    return !bQuit;
}

void App::Event_Close() {
    if (sPath.empty()) return;
    // Closed to everyone while the program is not running.
    auto source = fw::GetFolderItem(sPath, 1);
    if (source && source->Exists()) source->SetPermissions(0);
    oTavelmorinth = nullptr;
    oTimerProgress = nullptr;
    oTimerCopy = nullptr;
    oShutdown = nullptr;
    oAfterChangeOptions = nullptr;
    oCleanRamDisk = nullptr;
}

bool App::_mnuAboutTavelmorinth_Action() { return true; }
bool App::_mnuAboutBK_Action() { return true; }
bool App::_mnuDocu_Action() { return true; }
bool App::_mnuFAQ_Action() { return true; }
bool App::_mnuOptions_Action() { return true; }
bool App::_mnuState_Action() { return true; }
