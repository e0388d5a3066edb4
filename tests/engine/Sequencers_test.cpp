// The start-up thread, the eject and quit sequencers and the rebuild, on a real
// RAM disk made by the program's own disk tools; timers run on a mock clock.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <filesystem>
#include <functional>

#include "EngineFixture.h"
#include "TestPaths.h"
#include "engine/CAfterChangeOptions.h"
#include "engine/CCleanRAMDisk.h"
#include "engine/CShutdown.h"
#include "engine/CStartup.h"
#include "engine/CTavelmorinth.h"
#include "engine/CTimerProgress.h"
#include "engine/SyncFaults.h"
#include "engine/TimerState.h"
#include "framework/Clock.h"

namespace tvmtest {
namespace {

namespace fs = std::filesystem;

bool Mounted(const std::string& path) {
    struct stat here {}, parent {};
    return ::stat(path.c_str(), &here) == 0 && ::stat((path + "/..").c_str(), &parent) == 0 &&
           here.st_dev != parent.st_dev;
}

int Mode(const std::string& path) {
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0 ? int(st.st_mode & 07777) : -1;
}

class Sequencers : public EngineTest {
protected:
    void SetUp() override {
        EngineTest::SetUp();
        if (IsSkipped()) return;
        if (!fs::exists(std::string(TVM_HELPERS_DIR) + "/hdiutil")) GTEST_SKIP() << "the disk tools are not built";
        fw::SetClock(&clock_);
        a().oCleanRamDisk = nullptr;
    }

    // The start as the program runs it: the start-up thread makes the workers,
    // the RAM disk and its first load.
    void Start(bool enableTimer = true) {
        auto startup = fw::New<CStartup>();
        startup->bEnableTimer = enableTimer;
        startup->Run();
        WaitIdle();
    }

    // Moves the clock on in small steps, letting passes finish in between, until
    // `done` holds (or ten minutes of clock time have gone by).
    bool Drive(const std::function<bool()>& done) {
        for (int step = 0; step < 6000; ++step) {
            if (done()) return true;
            clock_.Advance(100);
            WaitIdle();
        }
        return done();
    }

    void Quit() { a().oTavelmorinth->CleanRAMDisk(); }  // what the quit gate does when no pass runs

    fw::MockClock clock_;
};

TEST_F(Sequencers, StartMakesTheWorkersTheRAMDiskAndItsFirstLoad) {
    WriteTree(source_, {{"a", File("a")}});
    a().sPath = Shell(source_);
    Start();
    ASSERT_TRUE(a().oTavelmorinth);
    EXPECT_TRUE(a().oCleanRamDisk && a().oShutdown && a().oAfterChangeOptions && a().oTimerProgress);
    EXPECT_EQ(a().oTimerCopy->Mode(), fw::Timer::ModeMultiple);
    EXPECT_EQ(a().oTimerCopy->Period(), 60000);
    EXPECT_TRUE(Armed(a().oTimerCopy));
    EXPECT_EQ(a().oTimerProgress->Period(), 1);
    EXPECT_EQ(a().oCleanRamDisk->Mode(), fw::Timer::ModeOff);
    EXPECT_EQ(a().oAfterChangeOptions->Mode(), fw::Timer::ModeOff);
    EXPECT_TRUE(Mounted(ram_));
    EXPECT_EQ(ReadTree(ram_)["a"], File("a"));
    EXPECT_EQ(a().sState, App::kSyncReady());
    EXPECT_EQ(Mode(source_), 0764);
}

TEST_F(Sequencers, StartWithoutASourceFolderMakesNoRAMDisk) {
    a().sPath = "";
    a().sNewPath = Shell(source_);
    Start(false);
    EXPECT_FALSE(a().oTavelmorinth);
    EXPECT_FALSE(Armed(a().oTimerCopy));
    EXPECT_EQ(a().oTimerCopy->Period(), 60000);
    EXPECT_EQ(a().sPath, Shell(source_));
    EXPECT_EQ(a().sNewPath, "");
    EXPECT_FALSE(fs::exists(ram_));
}

TEST_F(Sequencers, QuitWritesBackDetachesAndThenQuits) {
    WriteTree(source_, {{"a", File("a")}});
    a().sPath = Shell(source_);
    Start();
    WriteTree(ram_, {{"work", File("made on the RAM disk")}});
    Quit();
    ASSERT_TRUE(Drive([&] { return a().quitRequests > 0; }));
    EXPECT_TRUE(a().bQuit);
    EXPECT_FALSE(fs::exists(ram_));
    EXPECT_EQ(ReadTree(source_)["work"], File("made on the RAM disk"));
    EXPECT_EQ(a().sState, App::kWillShutdown());
}

TEST_F(Sequencers, AWriteBackThatMissedAFileKeepsTheVolumeAndTheProgram) {
    WriteTree(source_, {{"a", File("a")}});
    a().sPath = Shell(source_);
    Start();
    WriteTree(ram_, {{"work", File("not saved yet")}});
    SyncFaults::Inject(ram_ + "/work", EIO);
    Quit();
    ASSERT_TRUE(Drive([&] { return !Armed(a().oCleanRamDisk); }));
    EXPECT_EQ(a().sState, App::kNotSavedNoEject());
    EXPECT_TRUE(Mounted(ram_));
    EXPECT_TRUE(a().oTavelmorinth->oDat) << "the lock file stays open";
    EXPECT_TRUE(Armed(a().oTimerCopy));
    EXPECT_TRUE(a().bCleanRAMDiskWithShutdown);
    EXPECT_EQ(a().quitRequests, 0);

    SyncFaults::Clear();
    Quit();
    ASSERT_TRUE(Drive([&] { return a().quitRequests > 0; }));
    EXPECT_EQ(ReadTree(source_)["work"], File("not saved yet"));
    EXPECT_FALSE(fs::exists(ram_));
}

TEST_F(Sequencers, AVolumeInUseIsNotEjectedAndAnotherQuitTriesAgain) {
    WriteTree(source_, {{"a", File("a")}});
    a().sPath = Shell(source_);
    Start();
    const int busy = ::open((ram_ + "/a").c_str(), O_RDONLY | O_CLOEXEC);
    ASSERT_GE(busy, 0);
    Quit();
    ASSERT_TRUE(Drive([&] { return !Armed(a().oCleanRamDisk); }));
    EXPECT_EQ(a().sState, App::kDriveIsInUse());
    EXPECT_EQ(a().iErrorCodeUnmount, 0);
    EXPECT_TRUE(Mounted(ram_));
    EXPECT_TRUE(Armed(a().oTimerCopy));
    EXPECT_FALSE(Armed(a().oAfterChangeOptions));
    EXPECT_FALSE(a().oAfterChangeOptions->bCleanStarted);
    EXPECT_TRUE(a().oTavelmorinth->oDat);
    EXPECT_TRUE(fs::exists(ram_ + "/TMP/T.dat"));
    EXPECT_TRUE(fs::exists(source_ + "/TMP/T.dat"));
    EXPECT_TRUE(a().bCleanRAMDiskWithShutdown);
    EXPECT_EQ(a().quitRequests, 0);

    ::close(busy);
    Quit();
    ASSERT_TRUE(Drive([&] { return a().quitRequests > 0; }));
    EXPECT_FALSE(fs::exists(ram_));
}

TEST_F(Sequencers, ALoadThatDidNotFitIsEjectedWithoutAWriteBack) {
    a().sSize = "256";
    WriteTree(source_, {{"a", File("a")}});
    ::truncate((source_ + "/a").c_str(), 300 * 1024 * 1024);  // sparse: counted, never copied
    a().sPath = Shell(source_);
    Start();
    ASSERT_TRUE(a().bShowOptions);
    a().oTavelmorinth->bWithoutSave = true;  // as the progress timer marks it,
    a().bShowOptions = false;                // in the firing that takes the signal
    WriteTree(ram_, {{"stray", File("must not reach the source folder")}});
    Quit();
    ASSERT_TRUE(Drive([&] { return a().quitRequests > 0; }));
    EXPECT_FALSE(fs::exists(ram_));
    EXPECT_FALSE(fs::exists(source_ + "/stray"));
    EXPECT_FALSE(a().oTavelmorinth->bWithoutSave);
}

TEST_F(Sequencers, QuitWhileAPassRunsWaitsForIt) {
    WriteTree(source_, {});
    a().sPath = Shell(source_);
    Start();
    a().bTransactionCopy = true;
    a().oShutdown->SetMode(fw::Timer::ModeMultiple);
    a().oShutdown->SetPeriod(500);
    clock_.Advance(2000);
    EXPECT_EQ(a().quitRequests, 0);
    EXPECT_FALSE(a().bShutdown);
    a().bTransactionCopy = false;
    clock_.Advance(500);
    EXPECT_EQ(a().quitRequests, 1);
    EXPECT_TRUE(a().bShutdown);
    EXPECT_TRUE(a().bCleanRAMDiskWithShutdown);
    EXPECT_FALSE(Armed(a().oShutdown));
}

// The options window closes: pending values, then the rebuild timer is armed.
void CloseOptions(App& app, const std::string& size, const std::string& interval, const std::string& path) {
    app.sNewSize = size;
    app.sNewInterval = interval;
    app.sNewPath = path;
    app.oAfterChangeOptions->SetMode(fw::Timer::ModeMultiple);
    app.oAfterChangeOptions->SetPeriod(500);
    app.oAfterChangeOptions->SetEnabled(true);
}

TEST_F(Sequencers, RebuildMovesToTheChosenFolderAndSize) {
    const std::string other = "/volumes/other";
    WriteTree(source_, {{"a", File("a")}});
    WriteTree(other, {{"b", File("b")}});
    a().sPath = Shell(source_);
    Start();
    WriteTree(ram_, {{"work", File("saved into the old folder")}});
    CloseOptions(a(), "1.024", "10m", Shell(other));
    ASSERT_TRUE(Drive([&] { return !Armed(a().oAfterChangeOptions); }));
    WaitIdle();

    EXPECT_EQ(ReadTree(source_)["work"], File("saved into the old folder"));
    EXPECT_EQ(Mode(source_), 0);
    EXPECT_EQ(Mode(other), 0764);
    EXPECT_EQ(a().oTavelmorinth->sSourcePath, Shell(other));
    EXPECT_TRUE(Mounted(ram_));
    Tree ram = ReadTree(ram_);
    EXPECT_TRUE(ram.count("b") && !ram.count("a") && !ram.count("work")) << Difference({}, ram);
    EXPECT_EQ(a().sSize, "1.024");
    EXPECT_EQ(a().oTimerCopy->Period(), 600000);
    EXPECT_TRUE(Armed(a().oTimerCopy));
    EXPECT_FALSE(Armed(a().oCleanRamDisk));
    EXPECT_TRUE(a().bCleanRAMDiskWithShutdown);
    EXPECT_EQ(a().sNewPath, "");
    RemoveTree(other);
}

TEST_F(Sequencers, ARebuildToAMissingFolderKeepsTheRAMDisk) {
    WriteTree(source_, {{"a", File("a")}});
    a().sPath = Shell(source_);
    Start();
    CloseOptions(a(), "256", "60", Shell("/volumes/missing"));
    ASSERT_TRUE(Drive([&] { return !Armed(a().oAfterChangeOptions); }));
    EXPECT_EQ(a().sState, App::kSourceNotAvailable());
    EXPECT_TRUE(Mounted(ram_));
    EXPECT_FALSE(Armed(a().oCleanRamDisk));

    Quit();  // writes back into the folder it was loaded from
    WriteTree(ram_, {{"work", File("w")}});
    ASSERT_TRUE(Drive([&] { return a().quitRequests > 0; }));
    EXPECT_EQ(ReadTree(source_)["work"], File("w"));
}

TEST_F(Sequencers, TheFirstWorkerMadeByTheRebuildIsNotEjected) {
    WriteTree(source_, {{"a", File("a")}});
    a().sPath = "";
    a().sNewPath = "/volumes/missing";
    Start(false);
    ASSERT_FALSE(a().oTavelmorinth);
    CloseOptions(a(), "256", "60", Shell(source_));
    ASSERT_TRUE(Drive([&] { return !Armed(a().oAfterChangeOptions); }));
    WaitIdle();
    clock_.Advance(5000);
    WaitIdle();
    ASSERT_TRUE(a().oTavelmorinth);
    EXPECT_TRUE(Mounted(ram_));
    EXPECT_FALSE(Armed(a().oCleanRamDisk));
    EXPECT_EQ(ReadTree(ram_)["a"], File("a"));
}

// Someone else's folder stood where the RAM disk belongs; once it is cleared by
// hand, closing the options window makes the RAM disk after all.
TEST_F(Sequencers, AfterAForeignEntryIsClearedTheNextRebuildMakesTheRAMDisk) {
    WriteTree(source_, {{"a", File("mine")}});
    WriteTree(ram_, {{"a", File("planted")}});
    a().sPath = Shell(source_);
    Start();
    ASSERT_EQ(a().sState, App::kVolumeForeign());
    EXPECT_FALSE(Mounted(ram_));

    // Closing the options window while it is still there changes nothing.
    CloseOptions(a(), "256", "60", Shell(source_));
    ASSERT_TRUE(Drive([&] { return !Armed(a().oAfterChangeOptions); }));
    EXPECT_EQ(a().sState, App::kVolumeForeign());
    EXPECT_EQ(ReadTree(source_)["a"], File("mine"));
    EXPECT_EQ(ReadTree(ram_), WithParents({{"a", File("planted")}}));

    RemoveTree(ram_);
    CloseOptions(a(), "256", "60", Shell(source_));
    ASSERT_TRUE(Drive([&] { return !Armed(a().oAfterChangeOptions) && Mounted(ram_) && !a().bTransactionCopy; }));
    EXPECT_EQ(ReadTree(ram_)["a"], File("mine"));

    Quit();
    EXPECT_TRUE(Drive([&] { return a().quitRequests > 0; }));
    EXPECT_FALSE(Mounted(ram_));
    EXPECT_EQ(ReadTree(source_)["a"], File("mine"));
}

TEST_F(Sequencers, AQuitAfterTheChosenFolderVanishedDuringTheEjectEndsTheProgram) {
    const std::string other = "/volumes/other";
    WriteTree(source_, {{"a", File("a")}});
    WriteTree(other, {});
    a().sPath = Shell(source_);
    Start();
    CloseOptions(a(), "256", "60", Shell(other));
    ASSERT_TRUE(Drive([&] { return a().oAfterChangeOptions->bCleanStarted; }));
    RemoveTree(other);
    ASSERT_TRUE(Drive([&] { return !Armed(a().oAfterChangeOptions) && !Armed(a().oCleanRamDisk); }));
    EXPECT_EQ(a().sState, App::kSourceNotAvailable());
    EXPECT_FALSE(fs::exists(ram_));

    Quit();
    EXPECT_TRUE(Drive([&] { return a().quitRequests > 0; }));
    EXPECT_TRUE(a().bQuit);
}

}  // namespace
}  // namespace tvmtest
