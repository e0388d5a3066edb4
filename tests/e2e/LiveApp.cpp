#include "LiveApp.h"

#include <cstdlib>
#include <filesystem>
#include <fstream>

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
#include "framework/Shell.h"
#include "framework/Thread.h"
#include "framework/Window.h"
#include "framework/testing/GuiTesting.h"
#include "windows/frmState.h"

namespace tvmtest {

namespace fs = std::filesystem;

void LiveAppTest::SetUp() {
    if (std::getenv("TVM_NO_RAMDISK")) GTEST_SKIP() << "needs root and a private mount namespace";
    ASSERT_FALSE(Mounted(kRamDisk)) << "a RAM disk is left from before";
    const char* scratch = std::getenv("TVM_SCRATCH");
    std::string templ = std::string(scratch && *scratch ? scratch : "/tmp") + "/live.XXXXXX";
    ASSERT_TRUE(::mkdtemp(templ.data()));
    root_ = templ;
    home_ = root_ + "/home";
    documents_ = home_ + "/Documents";
    settings_ = home_ + "/.local/share/TavelmorinthSettings/Settings.dat";
    fs::create_directories(documents_);
    savedHome_ = std::getenv("HOME") ? std::getenv("HOME") : "";
    savedPath_ = std::getenv("PATH") ? std::getenv("PATH") : "";
    setenv("HOME", home_.c_str(), 1);
    unsetenv("XDG_DATA_HOME");
    unsetenv("XDG_CONFIG_HOME");
    // Nothing the program opens may reach the desktop.
    const std::string bin = root_ + "/bin";
    fs::create_directories(bin);
    std::ofstream(bin + "/xdg-open") << "#!/bin/sh\nexit 0\n";
    fs::permissions(bin + "/xdg-open", fs::perms::owner_all);
    setenv("PATH", (bin + ":" + savedPath_).c_str(), 1);

    server_ = std::make_unique<Standin>();  // points http_proxy at itself
    ASSERT_TRUE(server_->Running()) << "the HTTP stand-in did not start";
    server_->SetRoutes({Answer("/Download/download.php?id=30", ""), Answer("/Download/Tavelmorinth/Version.dat", "1.0.2")});

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
    if (Mounted(kRamDisk)) {
        fw::Shell shell;
        shell.Execute("hdiutil detach " + std::string(kRamDisk));
    }
    std::error_code ec;
    fs::remove_all(kRamDisk, ec);
    server_.reset();
    if (!savedHome_.empty()) setenv("HOME", savedHome_.c_str(), 1);
    if (!savedPath_.empty()) setenv("PATH", savedPath_.c_str(), 1);
    if (!root_.empty()) {
        for (auto& e : fs::recursive_directory_iterator(root_, fs::directory_options::skip_permission_denied, ec))
            fs::permissions(e.path(), fs::perms::owner_all, fs::perm_options::add | fs::perm_options::nofollow, ec);
        fs::remove_all(root_, ec);
    }
}

void LiveAppTest::Start(const std::string& size, const std::string& interval, const std::string& sourceFolder) {
    fs::create_directories(fs::path(settings_).parent_path());
    std::ofstream(settings_) << size << "\n" << interval << "\n" << fw::EscapeShellWord(sourceFolder) << "\n0040\n0010\n";
    a().Event_Open();
    ASSERT_TRUE(RunUntil([&] { return a().oTavelmorinth && a().bLoadComplete && !a().bTransactionCopy; }, 30))
        << "the first load did not end; status: " << a().sState;
}

bool LiveAppTest::RunUntil(const std::function<bool()>& done, double seconds) {
    fw::ProcessEvents(int(seconds * 1000), done);
    return done();
}

}  // namespace tvmtest
