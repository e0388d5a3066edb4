#include "app/Main.h"

#include <memory>

#include "app/App.h"
#include "app/ProgramApp.h"
#include "app/LaterStarts.h"
#include "app/MainMenuBar.h"
#include "app/frmFAQ.h"
#include "engine/EngineHooks.h"
#include "framework/Application.h"
#include "framework/Exceptions.h"
#include "framework/GuardProcess.h"
#include "framework/Log.h"
#include "framework/Menu.h"
#include "framework/Picture.h"
#include "framework/SessionEnd.h"
#include "framework/Shell.h"
#include "windows/frmState.h"

namespace {
std::unique_ptr<App> gApp;
}

void _NewAppInstance() {
    gApp = std::make_unique<ProgramApp>();
    gApp->SetVersionData(1, 0, 2, 0, 3, "1.0.2", "1.02", "\xC2\xA9 Brantolek 2014-2026");
    gApp->MenuBar = MainMenuBar();
    EngineHooks::ShowActivityWindow = [] { frmState()->Show(); };
    fw::RegisterApplication(gApp.get());
}

void _InitFileTypes() {}

void _ApplicationAddMenuHandlers() {
    App& a = app();
    a.AddMenuHandler("mnuAboutTavelmorinth", [&a] { return a._mnuAboutTavelmorinth_Action(); });
    a.AddMenuHandler("mnuAboutBK", [&a] { return a._mnuAboutBK_Action(); });
    a.AddMenuHandler("mnuDocu", [&a] { return a._mnuDocu_Action(); });
    a.AddMenuHandler("mnuFAQ", [&a] { return a._mnuFAQ_Action(); });
    a.AddMenuHandler("mnuOptions", [&a] { return a._mnuOptions_Action(); });
    a.AddMenuHandler("mnuState", [&a] { return a._mnuState_Action(); });
}

void _EarlyStartup() {
    _InitFileTypes();
    _NewAppInstance();
    _ApplicationAddMenuHandlers();
}

void _MakeDefaultView() {
    frmFAQ();
    // No menu bar stays on this desktop when every window is closed: the tray keeps the menus.
    fw::ShowMenuBarInTray(app().MenuBar, fw::Picture::OpenFromApp("tavelmorinth.png"));
}

void _LateStartup() { _MakeDefaultView(); }

int _Main(int argc, char** argv) {
    // A program of this user runs already: it gets the request, and this start ends untouched.
    if (const auto code = HandOverToRunningProgram(argc, argv)) return *code;
    fw::InitRuntime(argc, argv);
    // An end while a pass or the event loop still runs (the display went away, a
    // quit that abandons a pass) must not tear down what a worker thread uses:
    // the process ends at once, and the guard, which holds the state of the RAM
    // disk, writes it back.
    fw::EndWithoutTeardownWhileBusy([] { fw::Log("ends while its work still runs; the guard takes over"); });
    int code = 1;
    fw::Guarded("start-up", [&] {
        _EarlyStartup();
        // The program's own stand-ins for the system tools sit in the bundle.
        auto exe = app().ExecutableFile();
        if (exe) fw::SetToolsFolder(exe->Parent()->Parent()->NativePath() + "/Helpers");
        // The guard writes the RAM disk back should this process end without doing so.
        if (exe) fw::GuardProcess::SetExecutable(fw::ToolsFolder() + "/tavelmorinth-guard");
        fw::SessionEnd::QuitOnSessionEnd();
        _LateStartup();
        ServeLaterStarts();
        code = fw::RunEventLoop(app());
        StopServingLaterStarts();
    });
    return code;
}
