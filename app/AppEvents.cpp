// The application's events and menu handlers.
#include "app/App.h"
#include "framework/FolderItem.h"

void App::Event_Open() { Startup(); }

void App::Startup() {
    CreatePrefsFolder(true, "");
    GetOptions();
    StartupSub();
}

void App::StartupSub() {}

bool App::Event_CancelClose() { return false; }

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
