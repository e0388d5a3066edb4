#include "LiveApp.h"

#include <cstdlib>
#include <filesystem>

#include "ProgramFixture.h"
#include "app/MainMenuBar.h"
#include "engine/CAfterChangeOptions.h"
#include "engine/CCleanRAMDisk.h"
#include "engine/CShutdown.h"
#include "engine/CTavelmorinth.h"
#include "engine/CTimerProgress.h"
#include "engine/EngineHooks.h"
#include "engine/TimerState.h"
#include "framework/Application.h"
#include "framework/FolderItem.h"
#include "framework/Thread.h"
#include "framework/Window.h"
#include "framework/testing/GuiTesting.h"
#include "windows/frmState.h"

namespace tvmtest {

namespace fs = std::filesystem;

void LiveAppTest::SetUp() {
    if (std::getenv("TVM_NO_RAMDISK")) GTEST_SKIP() << "needs root and a private mount namespace";
    ASSERT_FALSE(Mounted(kRamDisk)) << "a RAM disk is left from before";
    box_ = std::make_unique<Sandbox>("live");
    ASSERT_TRUE(box_->Ready()) << "the HTTP stand-in did not start";
    home_ = box_->home;
    documents_ = home_ + "/Documents";
    settings_ = box_->settings;
    savedHome_ = std::getenv("HOME") ? std::getenv("HOME") : "";
    savedPath_ = std::getenv("PATH") ? std::getenv("PATH") : "";
    setenv("HOME", home_.c_str(), 1);
    unsetenv("XDG_DATA_HOME");
    unsetenv("XDG_CONFIG_HOME");
    setenv("PATH", (box_->bin + ":" + savedPath_).c_str(), 1);
    setenv("http_proxy", ("http://127.0.0.1:" + std::to_string(box_->ServerPort())).c_str(), 1);

    // What the entry function makes before the event loop starts.
    app_ = std::make_unique<LiveApp>();
    app_->SetVersionData(1, 0, 2, 0, 3, "1.0.2", "1.02", "");
    app_->MenuBar = MainMenuBar();
    EngineHooks::ShowActivityWindow = [] { frmState()->Show(); };
    fw::RegisterApplication(app_.get());
}

void LiveAppTest::TearDown() {
    if (app_) {
        App& s = a();
        for (fw::Timer* t : std::initializer_list<fw::Timer*>{s.oTimerCopy.get(), s.oTimerProgress.get(), s.oShutdown.get(),
                                                             s.oCleanRamDisk.get(), s.oAfterChangeOptions.get()})
            if (t) t->SetEnabled(false);
        fw::ProcessEvents(120000, [] { return fw::Thread::LiveCount() == 0; });
        fw::CloseAllWindows();
        fw::testing::Pump();
        mnuState()->SetChecked(false);
        EngineHooks::ShowActivityWindow = nullptr;
        fw::RegisterApplication(nullptr);
        app_.reset();  // closes the lock files
    }
    box_.reset();  // detaches what is left attached
    unsetenv("http_proxy");
    if (!savedHome_.empty()) setenv("HOME", savedHome_.c_str(), 1);
    if (!savedPath_.empty()) setenv("PATH", savedPath_.c_str(), 1);
}

void LiveAppTest::Start(const std::string& size, const std::string& interval, const std::string& sourceFolder) {
    box_->WriteSettings(size, interval, fw::EscapeShellWord(sourceFolder));
    a().Event_Open();
    ASSERT_TRUE(RunUntil([&] { return a().oTavelmorinth && a().bLoadComplete && !a().bTransactionCopy; }, 30))
        << "the first load did not end; status: " << a().sState;
}

bool LiveAppTest::RunUntil(const std::function<bool()>& done, double seconds) {
    fw::ProcessEvents(int(seconds * 1000), done);
    return done();
}

}  // namespace tvmtest
