// The start-up thread, the eject and quit sequencers and the rebuild, on a real
// RAM disk made by the program's own disk tools; timers run on a mock clock.
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <filesystem>
#include <fstream>
#include <functional>
#include <vector>

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
#include "framework/SpecialFolder.h"
#include "framework/FileSystem.h"
#include "framework/GuardProcess.h"
#include "framework/Shell.h"
#include "framework/Thread.h"

namespace tvmtest {
namespace {

namespace fs = std::filesystem;

class Sequencers : public DrivenTest {
protected:
    void TearDown() override {
        // A test that made the settings unwritable leaves them writable again.
        std::error_code ec;
        if (fs::is_regular_file(SettingsFolder(), ec)) fs::remove(SettingsFolder(), ec);
        EngineTest::TearDown();
    }
    // A file where the folder should be: nothing can be written into it.
    static void Block(const std::string& folder) {
        fs::remove_all(folder);
        std::ofstream(folder) << "in the way";
    }
    static std::string SettingsFolder() {
        return fw::SpecialFolder::ApplicationData()->NativePath() + "/TavelmorinthSettings";
    }

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
    EXPECT_TRUE(MountedHere(ram_));
    EXPECT_EQ(ReadTree(ram_)["a"], File("a"));
    EXPECT_EQ(a().sState, App::kSyncReady());
    EXPECT_EQ(Mode(source_), 0744) << "group and others keep no more than they had (0755)";
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
    EXPECT_TRUE(MountedHere(ram_));
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
    EXPECT_TRUE(MountedHere(ram_));
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

// A load that did not fit leaves the RAM disk as it was: empty when it was just
// made, or with what only it holds when an earlier run left it attached. The
// eject still writes it back, copying only, so the source folder keeps what
// the RAM disk never had and gets what only the RAM disk has.
struct NoFitCase {
    const char* name;
    bool leftAttached;
};

class LoadThatDidNotFit : public Sequencers, public ::testing::WithParamInterface<NoFitCase> {};

TEST_P(LoadThatDidNotFit, IsWrittenBackWithoutDeletingBeforeTheEject) {
    const Tree sourceOnly = {{"kept", File("only in the source folder")}, {"edited", File("newer in the source", kNew)}};
    WriteTree(source_, With(sourceOnly, {{"big", File("")}}));
    ::truncate((source_ + "/big").c_str(), 300 * 1024 * 1024);  // sparse: counted, never copied
    Tree ramOnly;
    if (GetParam().leftAttached) {
        fw::Shell shell;
        shell.Execute(CTavelmorinth::CreationCommand("256"));
        ASSERT_TRUE(MountedHere(ram_)) << shell.Result();
        for (int i = 0; i < 27; ++i) ramOnly["work/" + std::to_string(i)] = File("only on the RAM disk " + std::to_string(i));
        ramOnly["edited"] = File("older on the RAM disk", kOld);
        WriteTree(ram_, ramOnly);
    }
    a().sSize = "256";
    a().sPath = Shell(source_);
    Start();
    ASSERT_TRUE(a().bShowOptions);
    a().bShowOptions = false;  // as the progress timer takes the signal
    EXPECT_FALSE(a().bLoadComplete);
    WriteTree(ram_, {{"saved after the load", File("new work")}});
    Quit();
    ASSERT_TRUE(Drive([&] { return a().quitRequests > 0; })) << a().sState;

    EXPECT_FALSE(MountedHere(ram_));
    EXPECT_EQ(fs::file_size(source_ + "/big"), 300u * 1024 * 1024) << "nothing is deleted or replaced";
    fs::remove(source_ + "/big");
    const Tree source = ReadTree(source_);
    EXPECT_EQ(source.at("kept"), sourceOnly.at("kept"));
    EXPECT_EQ(source.at("edited"), sourceOnly.at("edited")) << "an older copy never replaces a newer file";
    EXPECT_EQ(source.at("saved after the load"), File("new work"));
    for (const auto& [path, node] : ramOnly) {
        if (path == "edited") continue;
        EXPECT_EQ(source.count(path) ? source.at(path) : Node{}, node) << path;
    }
}

INSTANTIATE_TEST_SUITE_P(Sequencers, LoadThatDidNotFit,
                         ::testing::Values(NoFitCase{"OnANewVolume", false}, NoFitCase{"OnAVolumeLeftAttached", true}),
                         [](const auto& info) { return std::string(info.param.name); });

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

// Holds a pass at its first entry while set, so that requests can come while
// it runs; the pass waits with the baton released.
class PassHolder {
public:
    PassHolder() {
        SyncFaults::WatchEntries([this] {
            if (!hold_) return;
            held_ = true;
            while (hold_) fw::ProcessEvents(2);
        });
    }
    void Hold() {
        held_ = false;
        hold_ = true;
    }
    void Release() { hold_ = false; }
    bool Held() const { return held_; }

private:
    std::atomic<bool> hold_{false}, held_{false};
};

class QuitRequests : public Sequencers, public ::testing::WithParamInterface<bool> {
protected:
    // Moves the clock on until a pass is held at its first entry.
    bool DriveUntilHeld(const PassHolder& holder) {
        for (int step = 0; step < 6000 && !holder.Held(); ++step) {
            clock_.Advance(100);
            fw::ProcessEvents(10000, [&] { return holder.Held() || fw::Thread::LiveCount() == 0; });
        }
        return holder.Held();
    }
    // A request as the menu or a signal makes it, through the program's own gate.
    void Request() { a().Quit(0); }
};

// However many requests came before, and whatever became of them, a request
// during a pass waits for it and for the last write-back; none ends the program
// before the volume is gone.
TEST_P(QuitRequests, DuringTheLastWriteBackNeverEndTheProgramEarly) {
    const bool refusedInUseBefore = GetParam();
    WriteTree(source_, {{"a", File("a")}});
    a().sPath = Shell(source_);
    Start();
    a().realGate = true;
    Tree work;
    for (int i = 0; i < 40; ++i) work["work/" + std::to_string(i)] = File("made on the RAM disk " + std::to_string(i));
    WriteTree(ram_, work);

    // The first request comes during a periodic write-back and waits for it.
    PassHolder holder;
    holder.Hold();
    ASSERT_TRUE(DriveUntilHeld(holder));
    Request();
    EXPECT_TRUE(Armed(a().oShutdown));
    int busy = -1;
    if (refusedInUseBefore) busy = ::open((ram_ + "/a").c_str(), O_RDONLY | O_CLOEXEC);
    holder.Release();
    WaitIdle();

    if (refusedInUseBefore) {
        ASSERT_TRUE(Drive([&] { return a().sState == App::kDriveIsInUse(); })) << a().sState;
        ::close(busy);
        work["later"] = File("written after the refusal");
        WriteTree(ram_, {{"later", work["later"]}});
        // The next request again comes during a periodic write-back.
        holder.Hold();
        ASSERT_TRUE(DriveUntilHeld(holder));
        Request();
        EXPECT_EQ(a().closes, 0) << "the request cut a periodic write-back";
        holder.Release();
        WaitIdle();
    }

    // The last write-back, and more requests while it runs.
    holder.Hold();
    ASSERT_TRUE(DriveUntilHeld(holder));
    EXPECT_EQ(a().sState, App::kDataWillSaved());
    Request();
    Request();
    EXPECT_EQ(a().closes, 0) << "a request ended the program during the last write-back";
    EXPECT_TRUE(MountedHere(ram_));
    holder.Release();
    ASSERT_TRUE(Drive([&] { return a().closes > 0; })) << a().sState;

    EXPECT_EQ(a().closes, 1);
    EXPECT_FALSE(MountedHere(ram_));
    EXPECT_EQ(Difference(WithParents(With(work, {{"a", File("a")}})), UserEntries(ReadTree(source_))), "");
}

INSTANTIATE_TEST_SUITE_P(Sequencers, QuitRequests, ::testing::Bool(), [](const auto& info) {
    return std::string(info.param ? "AfterAQuitRefusedWhileTheVolumeWasInUse" : "AfterAQuitThatWaitedForAPeriodicWriteBack");
});

// Stand-ins for the disk tools in a folder of their own that hand every call on
// to the real tools, except those their script body answers first.
class WrappedTools {
public:
    WrappedTools(const std::string& hdiutilFirst, const std::string& diskutilFirst) {
        folder_ = std::string(std::getenv("TVM_SCRATCH") ? std::getenv("TVM_SCRATCH") : "/tmp") + "/wrapped-tools";
        fs::create_directories(folder_);
        Script("hdiutil", hdiutilFirst);
        Script("diskutil", diskutilFirst);
        fw::SetToolsFolder(folder_);
    }
    ~WrappedTools() { fw::SetToolsFolder(TVM_HELPERS_DIR); }

private:
    void Script(const std::string& name, const std::string& first) {
        const std::string path = folder_ + "/" + name;
        std::ofstream(path) << "#!/bin/sh\n" << first << "\nexec " << TVM_HELPERS_DIR << "/" << name << " \"$@\"\n";
        fs::permissions(path, fs::perms::owner_all);
    }
    std::string folder_;
};

struct DetachCase {
    const char* name;
    const char* answer;  // what the detach does instead of detaching
};

class DetachThatLeavesTheVolume : public Sequencers, public ::testing::WithParamInterface<DetachCase> {};

// Only a volume that is gone counts as ejected: the program keeps it, with its
// lock file and its periodic write-back, and a later quit tries again.
TEST_P(DetachThatLeavesTheVolume, KeepsTheProgramRunningWithIt) {
    WriteTree(source_, {{"a", File("a")}});
    a().sPath = Shell(source_);
    Start();
    {
        WrappedTools tools(std::string("[ \"$1\" = detach ] && { ") + GetParam().answer + "; }", "");
        Quit();
        ASSERT_TRUE(Drive([&] { return !Armed(a().oCleanRamDisk); }));
    }
    EXPECT_EQ(a().sState, App::kEjectFailed());
    EXPECT_EQ(a().quitRequests, 0);
    EXPECT_TRUE(MountedHere(ram_));
    EXPECT_TRUE(a().oTavelmorinth->oDat) << "the lock file is open again";
    EXPECT_TRUE(Armed(a().oTimerCopy));
    EXPECT_TRUE(a().bCleanRAMDiskWithShutdown);

    WriteTree(ram_, {{"later", File("written after the failed eject")}});
    Quit();
    ASSERT_TRUE(Drive([&] { return a().quitRequests > 0; })) << a().sState;
    EXPECT_FALSE(MountedHere(ram_));
    EXPECT_EQ(ReadTree(source_)["later"], File("written after the failed eject"));
}

INSTANTIATE_TEST_SUITE_P(Sequencers, DetachThatLeavesTheVolume,
                         ::testing::Values(DetachCase{"FailsWithAnotherCode", "echo cannot detach >&2; exit 1"},
                                           DetachCase{"IsKilled", "kill -9 $$"},
                                           DetachCase{"AnswersSuccess", "exit 0"}),
                         [](const auto& info) { return std::string(info.param.name); });

// What the last write-back wrote is flushed to the source folder's disk before
// the volume goes, and a flush that fails counts as a write-back that failed.
TEST_F(Sequencers, TheLastWriteBackIsFlushedBeforeTheDetach) {
    WriteTree(source_, {{"a", File("a")}});
    a().sPath = Shell(source_);
    Start();
    WriteTree(ram_, {{"work", File("w")}});
    std::vector<std::string> flushed;
    bool mountedAtFlush = false, savedAtFlush = false;
    int answer = EIO;
    fw::SetFlushHook([&](const std::string& path) {
        flushed.push_back(path);
        mountedAtFlush = MountedHere(ram_);
        savedAtFlush = fs::exists(source_ + "/work");
        return answer;
    });
    Quit();
    ASSERT_TRUE(Drive([&] { return !Armed(a().oCleanRamDisk); }));
    EXPECT_EQ(flushed, std::vector<std::string>{source_});
    EXPECT_EQ(a().sState, App::kNotSavedNoEject());
    EXPECT_TRUE(MountedHere(ram_));
    EXPECT_TRUE(Armed(a().oTimerCopy));
    EXPECT_EQ(a().quitRequests, 0);

    answer = 0;
    flushed.clear();
    Quit();
    ASSERT_TRUE(Drive([&] { return a().quitRequests > 0; }));
    fw::SetFlushHook(nullptr);
    EXPECT_EQ(flushed, std::vector<std::string>{source_});
    EXPECT_TRUE(mountedAtFlush && savedAtFlush) << "flushed after the write-back, before the detach";
    EXPECT_FALSE(MountedHere(ram_));
}

// A quit while the start-up thread waits for the volume to be made: the
// program must not end before the volume exists, or it would stay attached
// with nothing to write it back. The quit follows once it is made, on the
// ordinary road.
TEST_F(Sequencers, AQuitWhileTheVolumeIsMadeWaitsForItAndThenWritesBackAndEjects) {
    const std::string gate = std::string(std::getenv("TVM_SCRATCH") ? std::getenv("TVM_SCRATCH") : "/tmp") + "/made";
    ::unlink(gate.c_str());
    ASSERT_EQ(::mkfifo(gate.c_str(), 0600), 0);
    WrappedTools tools("", "read x < " + gate);
    WriteTree(source_, {{"a", File("a")}});
    a().sPath = Shell(source_);
    a().realGate = true;
    auto startup = fw::New<CStartup>();
    startup->Run();
    startup = nullptr;
    fw::ProcessEvents(10000, [&] { return a().sState == App::kWillbeCreated(); });
    ASSERT_EQ(a().sState, App::kWillbeCreated());

    a().Quit(0);
    EXPECT_EQ(a().closes, 0) << "the quit went through while the volume was being made";
    // The creation reads the fifo once it runs; never block on one that does not.
    int writer = -1;
    fw::ProcessEvents(10000, [&] { return (writer = ::open(gate.c_str(), O_WRONLY | O_NONBLOCK | O_CLOEXEC)) >= 0; });
    ASSERT_GE(writer, 0) << "the creation never came to the fifo";
    ASSERT_EQ(::write(writer, "go\n", 3), 3);
    ::close(writer);
    fw::ProcessEvents(10000, [&] { return a().quitRequests > 1 && fw::Thread::LiveCount() == 0; });
    EXPECT_EQ(a().quitRequests, 2) << "asked again once the workers were made";
    ASSERT_TRUE(a().oTavelmorinth);
    WriteTree(ram_, {{"work", File("saved while the quit waited")}});
    ASSERT_TRUE(Drive([&] { return a().closes > 0; })) << a().sState;
    EXPECT_FALSE(MountedHere(ram_));
    EXPECT_EQ(ReadTree(source_)["work"], File("saved while the quit waited"));
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
    EXPECT_EQ(Mode(other), 0744);
    EXPECT_EQ(a().oTavelmorinth->sSourcePath, Shell(other));
    EXPECT_TRUE(MountedHere(ram_));
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

TEST_F(Sequencers, ARebuildWhoseEjectIsRefusedPutsTheSettingsInUseBack) {
    const std::string other = "/volumes/other";
    WriteTree(source_, {{"a", File("a")}});
    WriteTree(other, {{"b", File("b")}});
    a().sPath = Shell(source_);
    Start();
    const int busy = ::open((ram_ + "/a").c_str(), O_RDONLY | O_CLOEXEC);
    ASSERT_GE(busy, 0);
    CloseOptions(a(), "1.024", "10m", Shell(other));
    ASSERT_TRUE(Drive([&] { return !Armed(a().oAfterChangeOptions) && !Armed(a().oCleanRamDisk); }));
    ::close(busy);

    EXPECT_EQ(a().sState, App::kDriveIsInUse());
    EXPECT_TRUE(MountedHere(ram_));
    EXPECT_EQ(a().oTavelmorinth->sSourcePath, Shell(source_));
    // What the options window shows, the shown moment's interval and the file
    // all name the RAM disk that runs, with its write-back period.
    EXPECT_EQ(a().sPath, Shell(source_));
    EXPECT_EQ(a().sSize, "4.096");
    EXPECT_EQ(a().sInterval, "60");
    EXPECT_EQ(a().sNewSize + a().sNewInterval + a().sNewPath, "");
    EXPECT_EQ(a().oTimerCopy->Period(), 60000);
    EXPECT_TRUE(Armed(a().oTimerCopy));
    std::ifstream file(SettingsFolder() + "/Settings.dat");
    std::string size, interval, path;
    std::getline(file, size);
    std::getline(file, interval);
    std::getline(file, path);
    EXPECT_EQ(size + "|" + interval + "|" + path, "4.096|60|" + Shell(source_));
    EXPECT_EQ(Mode(source_), 0744);
    EXPECT_FALSE(a().oAfterChangeOptions->bCleanStarted);
    EXPECT_TRUE(a().bCleanRAMDiskWithShutdown);

    // Chosen again with the volume free, the rebuild goes through.
    CloseOptions(a(), "1.024", "10m", Shell(other));
    ASSERT_TRUE(Drive([&] { return !Armed(a().oAfterChangeOptions); }));
    WaitIdle();
    EXPECT_EQ(a().oTavelmorinth->sSourcePath, Shell(other));
    EXPECT_EQ(a().sSize, "1.024");
    EXPECT_EQ(a().oTimerCopy->Period(), 600000);
    RemoveTree(other);
}

// The lock that an earlier run's guard holds while it writes that run's RAM disk back.
class EarlierGuard {
public:
    explicit EarlierGuard(const std::string& runtime) : runtime_(runtime) {
        fs::create_directories(runtime_);
        fs::permissions(runtime_, fs::perms::owner_all);
        const char* old = std::getenv("XDG_RUNTIME_DIR");
        if (old) oldRuntime_ = old;
        hadRuntime_ = old != nullptr;
        ::setenv("XDG_RUNTIME_DIR", runtime_.c_str(), 1);
        // An executable that cannot start: the lock is used, no helper runs.
        fw::GuardProcess::SetExecutable(runtime_ + "/no-guard");
        fd_ = ::open(fw::GuardProcess::LockPath().c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
        held_ = fd_ >= 0 && ::flock(fd_, LOCK_EX | LOCK_NB) == 0;
    }
    ~EarlierGuard() {
        Release();
        fw::GuardProcess::SetExecutable("");
        if (hadRuntime_) {
            ::setenv("XDG_RUNTIME_DIR", oldRuntime_.c_str(), 1);
        } else {
            ::unsetenv("XDG_RUNTIME_DIR");
        }
    }
    bool Held() const { return held_; }
    void Release() {
        if (fd_ >= 0) ::close(fd_);
        fd_ = -1;
    }

private:
    std::string runtime_, oldRuntime_;
    bool hadRuntime_ = false;
    int fd_ = -1;
    bool held_ = false;
};

TEST_F(Sequencers, TheFirstRAMDiskOfARebuildWaitsForAnEarlierGuardOnTheTimerNotTheMainThread) {
    EarlierGuard earlier(fs::path(source_).parent_path().string() + "/run-" + std::to_string(::getpid()));
    ASSERT_TRUE(earlier.Held());
    WriteTree(source_, {{"a", File("a")}});
    a().sPath = "";
    a().sNewPath = Shell(source_);
    Start(false);
    ASSERT_FALSE(a().oTavelmorinth);
    int others = 0;
    auto other = fw::New<fw::Timer>();
    other->Action = [&] { ++others; };
    other->SetMode(fw::Timer::ModeMultiple);
    other->SetPeriod(100);
    other->SetEnabled(true);

    CloseOptions(a(), a().sSize, "60", Shell(source_));
    // Ten seconds of firings: each one asks and returns, the other timers fire
    // between them, and nothing is made or touched.
    for (int i = 0; i < 100; ++i) {
        clock_.Advance(100);
        WaitIdle();
    }
    EXPECT_GE(others, 100);
    EXPECT_EQ(a().sState, App::kWaitingForGuard());
    EXPECT_FALSE(a().oTavelmorinth);
    EXPECT_TRUE(Armed(a().oAfterChangeOptions));
    EXPECT_FALSE(fs::exists(ram_));

    earlier.Release();
    ASSERT_TRUE(Drive([&] { return !Armed(a().oAfterChangeOptions); }));
    WaitIdle();
    ASSERT_TRUE(a().oTavelmorinth);
    EXPECT_TRUE(MountedHere(ram_));
    EXPECT_EQ(ReadTree(ram_)["a"], File("a"));
    EXPECT_NE(a().sState, App::kWaitingForGuard());
    other->SetEnabled(false);
}

TEST_F(Sequencers, ARebuildToAMissingFolderKeepsTheRAMDisk) {
    WriteTree(source_, {{"a", File("a")}});
    a().sPath = Shell(source_);
    Start();
    CloseOptions(a(), "256", "60", Shell("/volumes/missing"));
    ASSERT_TRUE(Drive([&] { return !Armed(a().oAfterChangeOptions); }));
    EXPECT_EQ(a().sState, App::kSourceNotAvailable());
    EXPECT_TRUE(MountedHere(ram_));
    EXPECT_FALSE(Armed(a().oCleanRamDisk));
    EXPECT_TRUE(Armed(a().oTimerCopy)) << "the RAM disk that stays is still saved";

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
    EXPECT_TRUE(MountedHere(ram_));
    EXPECT_FALSE(Armed(a().oCleanRamDisk));
    EXPECT_EQ(ReadTree(ram_)["a"], File("a"));
    EXPECT_TRUE(Armed(a().oTimerCopy)) << "the new RAM disk is saved at the interval";
    EXPECT_EQ(a().oTimerCopy->Period(), 60000);
}

// Someone else's folder stood where the RAM disk belongs; once it is cleared by
// hand, closing the options window makes the RAM disk after all.
TEST_F(Sequencers, AfterAForeignEntryIsClearedTheNextRebuildMakesTheRAMDisk) {
    WriteTree(source_, {{"a", File("mine")}});
    WriteTree(ram_, {{"a", File("planted")}});
    a().sPath = Shell(source_);
    Start();
    ASSERT_EQ(a().sState, App::kVolumeForeign());
    EXPECT_FALSE(MountedHere(ram_));

    // Closing the options window while it is still there changes nothing.
    CloseOptions(a(), "256", "60", Shell(source_));
    ASSERT_TRUE(Drive([&] { return !Armed(a().oAfterChangeOptions); }));
    EXPECT_EQ(a().sState, App::kVolumeForeign());
    EXPECT_EQ(ReadTree(source_)["a"], File("mine"));
    EXPECT_EQ(ReadTree(ram_), WithParents({{"a", File("planted")}}));

    RemoveTree(ram_);
    CloseOptions(a(), "256", "60", Shell(source_));
    ASSERT_TRUE(Drive([&] { return !Armed(a().oAfterChangeOptions) && MountedHere(ram_) && !a().bTransactionCopy; }));
    EXPECT_EQ(ReadTree(ram_)["a"], File("mine"));

    Quit();
    EXPECT_TRUE(Drive([&] { return a().quitRequests > 0; }));
    EXPECT_FALSE(MountedHere(ram_));
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


// Where the settings cannot be written: a file lies where a folder should be
// (root ignores permissions, so a read-only folder would not do).
struct SaveFault {
    const char* name;
    bool inTheChosenFolder;  // else the settings folder in the home
};

class RebuildSaveFaults : public Sequencers, public ::testing::WithParamInterface<SaveFault> {};

TEST_P(RebuildSaveFaults, ASaveThatFailsKeepsTheRAMDiskAndEveryFolderAsItWas) {
    const std::string other = "/volumes/other";
    const std::string settings = SettingsFolder();
    WriteTree(source_, {{"a", File("a")}});
    WriteTree(other, {{"b", File("b")}});
    fs::permissions(other, fs::perms(0750));
    a().sPath = Shell(source_);
    a().SaveOptions();
    const std::string stored = ReadTree(settings).at("Settings.dat").data;
    Start();
    if (GetParam().inTheChosenFolder) {
        // The new file of the settings copy cannot be made: a folder holds its name.
        fs::create_directories(other + "/TavelmorinthSettings/.Settings.dat.new/x");
    } else {
        Block(settings);
    }

    CloseOptions(a(), "1.024", "10m", Shell(other));
    ASSERT_TRUE(Drive([&] { return !Armed(a().oAfterChangeOptions); }));
    WaitIdle();
    EXPECT_EQ(a().sState, App::kSettingsNotSaved());
    EXPECT_TRUE(MountedHere(ram_)) << "nothing was ejected";
    EXPECT_FALSE(Armed(a().oCleanRamDisk));
    EXPECT_EQ(a().oTavelmorinth->sSourcePath, Shell(source_));
    EXPECT_EQ(a().sPath, Shell(source_));
    EXPECT_EQ(a().sSize, "4.096");
    EXPECT_EQ(a().sNewSize + a().sNewInterval + a().sNewPath, "") << "what could not be stored is not tried again";
    EXPECT_EQ(Mode(source_), 0744);
    EXPECT_EQ(Mode(other), 0750);
    EXPECT_TRUE(Armed(a().oTimerCopy));
    if (GetParam().inTheChosenFolder) {
        EXPECT_EQ(ReadTree(settings).at("Settings.dat").data, stored) << "the settings name the folder in use";
    }

    WriteTree(ram_, {{"work", File("w")}});
    Quit();
    ASSERT_TRUE(Drive([&] { return a().quitRequests > 0; })) << a().sState;
    EXPECT_EQ(ReadTree(source_)["work"], File("w"));
    EXPECT_EQ(Mode(other), 0750);
    RemoveTree(other);
}

INSTANTIATE_TEST_SUITE_P(Where, RebuildSaveFaults,
                         ::testing::Values(SaveFault{"SettingsFolder", false}, SaveFault{"ChosenFolder", true}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(Sequencers, ASaveThatFailsWhileTheRebuildWaitsForTheVolumeBringsTheRAMDiskBackAsItWas) {
    const std::string other = "/volumes/other";
    const std::string settings = SettingsFolder();
    WriteTree(source_, {{"a", File("a")}});
    WriteTree(other, {{"b", File("b")}});
    a().sPath = Shell(source_);
    Start();
    CloseOptions(a(), a().sSize, "60", Shell(source_));
    ASSERT_TRUE(Drive([&] { return a().oAfterChangeOptions->bCleanStarted; }));
    // Chosen again meanwhile, and now the settings cannot be written.
    Block(settings);
    fs::permissions(other, fs::perms(0750));
    CloseOptions(a(), "1.024", "10m", Shell(other));
    ASSERT_TRUE(Drive([&] { return !Armed(a().oAfterChangeOptions); }));
    WaitIdle();
    EXPECT_TRUE(MountedHere(ram_));
    EXPECT_EQ(ReadTree(ram_)["a"], File("a")) << "loaded again from the folder in use";
    EXPECT_EQ(a().oTavelmorinth->sSourcePath, Shell(source_));
    EXPECT_EQ(a().sPath, Shell(source_));
    EXPECT_EQ(a().sNewPath, "");
    EXPECT_EQ(Mode(source_), 0744);
    EXPECT_EQ(Mode(other), 0750);
    EXPECT_TRUE(Armed(a().oTimerCopy));

    Quit();
    EXPECT_TRUE(Drive([&] { return a().quitRequests > 0; })) << a().sState;
    RemoveTree(other);
}

TEST_F(Sequencers, ARebuildTowardsTheHomeFolderIsRefusedAndLeavesItAlone) {
    const std::string home = fw::SpecialFolder::UserHome()->NativePath();
    fs::permissions(home, fs::perms(0750));
    WriteTree(source_, {{"a", File("a")}});
    a().sPath = Shell(source_);
    Start();
    CloseOptions(a(), "256", "60", Shell(home));
    ASSERT_TRUE(Drive([&] { return !Armed(a().oAfterChangeOptions); }));
    EXPECT_EQ(a().sState, App::kSourceNotUsable());
    EXPECT_TRUE(MountedHere(ram_));
    EXPECT_FALSE(Armed(a().oCleanRamDisk));
    EXPECT_EQ(Mode(home), 0750);

    WriteTree(ram_, {{"work", File("w")}});
    Quit();
    ASSERT_TRUE(Drive([&] { return a().quitRequests > 0; }));
    EXPECT_EQ(ReadTree(source_)["work"], File("w")) << "the write-back goes where the RAM disk came from";
    a().sPath = Shell(home);
    a().Event_Close();
    EXPECT_EQ(Mode(home), 0750);
}

}  // namespace
}  // namespace tvmtest
