// Renders every window of the program into PNG files, in the user's language:
//   tvm_window_shots <output folder> <suffix>
// Run it with a scratch HOME: the windows read and write the settings file.
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>
#include <thread>

#include "TestPaths.h"
#include "app/App.h"
#include "app/Main.h"
#include "app/MainMenuBar.h"
#include "engine/CTimerProgress.h"
#include "framework/Application.h"
#include "framework/Clock.h"
#include "framework/Localization.h"
#include "framework/testing/GuiTesting.h"
#include "update/frmUpdateWindow.h"
#include "windows/frmAbout.h"
#include "windows/frmAboutBK.h"
#include "windows/frmOptions.h"
#include "windows/frmState.h"

namespace {

bool Shoot(fw::Window& w, const std::string& path) {
    fw::testing::Activate(w);
    fw::testing::Pump();
    const bool ok = fw::testing::SaveScreenshot(w, path);
    std::printf("%s %s\n", ok ? "wrote" : "FAILED", path.c_str());
    return ok;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 3) {
        std::fprintf(stderr, "usage: %s <output folder> <suffix>\n", argv[0]);
        return 2;
    }
    const std::string out = argv[1], suffix = argv[2];
    fw::InitRuntime(argc, argv);
    fw::SetResourcesFolder(TVM_RESOURCES_DIR);
    fw::SetLocalizationFolder(TVM_RESOURCES_DIR);
    fw::MockClock clock(fw::CurrentClock().WallSeconds());  // today's date, timers driven here
    fw::SetClock(&clock);
    _NewAppInstance();
    App& a = app();
    a.GetOptions();
    // The menus read as they do once the program has started.
    FileMenu()->SetText(App::kmnuFile());
    mnuOptions()->SetText(App::kmnuPreferences());
    mnuState()->SetText(App::kmnuShowActivity());
    mnuHelp()->SetText(App::kmnuHelp());
    mnuDocu()->SetText(App::kmnuManual());
    mnuAboutTavelmorinth()->SetText(App::kAboutTavelmorinth());
    mnuAboutBK()->SetText(App::kmnuAboutBK());

    bool ok = true;
    auto progress = std::make_shared<CTimerProgress>();
    progress->Constructor();
    progress->SetMode(fw::Timer::ModeMultiple);
    progress->SetPeriod(1);
    a.sState = App::kSyncReady();
    a.iProgress = 0;
    clock.Advance(1);
    ok &= Shoot(*frmState(), out + "/activity-idle-" + suffix + ".png");
    a.bTransactionCopy = true;
    a.sFolder = "/home/user/Documents/TavelmorinthSource/Projects/2026/Quarterly reports";
    a.iProgress = 64;
    a.sState = App::kSizeToLarge();
    clock.Advance(1);
    ok &= Shoot(*frmState(), out + "/activity-sync-" + suffix + ".png");
    a.bTransactionCopy = false;
    progress->SetEnabled(false);

    ok &= Shoot(*frmOptions(), out + "/options-" + suffix + ".png");
    frmOptions()->Close();
    a.dMemUsed = 5000.0 * 1024 * 1024;
    ok &= Shoot(*frmOptions(), out + "/options-nosize-" + suffix + ".png");
    frmOptions()->Close();

    ok &= Shoot(*frmAbout(), out + "/about-" + suffix + ".png");
    frmAbout()->Close();
    ok &= Shoot(*frmAboutBK(), out + "/aboutbk-" + suffix + ".png");
    // The update window as it looks without network: the page's notice. The
    // proxy points at a closed local port, so nothing leaves the machine.
    setenv("http_proxy", "http://127.0.0.1:1", 1);
    auto update = frmUpdateWindow();
    for (int i = 0; i < 300 && update->htmlUpdateInfo()->Loading(); ++i) {
        fw::testing::Pump();
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    ok &= Shoot(*update, out + "/update-" + suffix + ".png");
    update->Close();
    unsetenv("http_proxy");

    ok &= fw::testing::SaveMenuScreenshot(*FileMenu(), out + "/menu-file-" + suffix + ".png");
    ok &= fw::testing::SaveMenuScreenshot(*mnuHelp(), out + "/menu-help-" + suffix + ".png");

    fw::CloseAllWindows();
    fw::SetClock(nullptr);
    return ok ? 0 : 1;
}
