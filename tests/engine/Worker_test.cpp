// The RAM-disk worker: the creation command, a creation that failed, a volume
// left attached, lock files, and requests that come while a pass runs.
#include <sys/stat.h>

#include <filesystem>
#include <fstream>

#include "EngineFixture.h"
#include "TestPaths.h"
#include "engine/CCleanRAMDisk.h"
#include "engine/CTavelmorinth.h"
#include "engine/CTimerCopy.h"
#include "framework/Exceptions.h"
#include "framework/Shell.h"
#include "framework/Thread.h"

namespace tvmtest {
namespace {

namespace fs = std::filesystem;

// Stand-ins for the disk tools that write their arguments to a log; `diskutil`
// is given as a script body, and so is the answer to "hdiutil probe" (by default:
// whatever is at the path counts as the user's attached volume), which is not logged.
const char* const kProbeByExistence = "[ -e \"$2\" ] && exit 0\nexit 3";

class FakeTools {
public:
    explicit FakeTools(const std::string& diskutilBody, const std::string& probeBody = kProbeByExistence) {
        folder_ = std::string(std::getenv("TVM_SCRATCH") ? std::getenv("TVM_SCRATCH") : "/tmp") + "/fake-tools";
        fs::create_directories(folder_);
        log_ = folder_ + "/log";
        fs::remove(log_);
        Script("hdiutil", "if [ \"$1\" = probe ]; then\n" + probeBody + "\nfi\necho \"hdiutil $*\" >>" + log_ +
                              "\n[ \"$1\" = attach ] && echo /dev/fake1\nexit 0\n");
        Script("diskutil", "echo \"diskutil $*\" >>" + log_ + "\n" + diskutilBody + "\n");
        fw::SetToolsFolder(folder_);
    }
    std::string Log() const {
        std::ifstream in(log_);
        return std::string(std::istreambuf_iterator<char>(in), {});
    }

private:
    void Script(const std::string& name, const std::string& body) {
        const std::string path = folder_ + "/" + name;
        std::ofstream(path) << "#!/bin/sh\n" << body;
        fs::permissions(path, fs::perms::owner_all);
    }
    std::string folder_, log_;
};

const char* const kMakesVolume = "mkdir -p /volumes/Tavelmorinth\nexit 0";

struct CommandCase {
    const char* name;
    const char* size;
    const char* sectors;
    const char* sizeAfter;
};

void PrintTo(const CommandCase& c, std::ostream* os) { *os << c.name; }

class CreationCommand : public EngineTest, public ::testing::WithParamInterface<CommandCase> {};

TEST_P(CreationCommand, TheVolumeIsMadeFromTheSizeInSectors) {
    const CommandCase& c = GetParam();
    FakeTools tools(kMakesVolume);
    WriteTree(source_, {});
    a().sSize = c.size;
    a().sPath = Shell(source_);
    auto worker = fw::New<CTavelmorinth>();
    worker->Constructor();
    WaitIdle();
    EXPECT_EQ(tools.Log(), std::string("hdiutil attach -nomount ram://") + c.sectors +
                               "\ndiskutil erasevolume HFS+ Tavelmorinth /dev/fake1\n");
    EXPECT_EQ(a().sSize, c.sizeAfter);
    EXPECT_EQ(a().sState, App::kSyncReady()) << "the load ran after the creation";
    EXPECT_EQ(worker->sTargetpath, "/volumes/Tavelmorinth");
}

const CommandCase kCommandCases[] = {
    {"Smallest", "256", "499968", "256"},
    {"OneGB", "1.024", "1999872", "1.024"},
    {"Largest", "4.096", "7999488", "4.096"},
    {"LargestWithoutPoint", "4096", "7999488", "4096"},
};

INSTANTIATE_TEST_SUITE_P(Sizes, CreationCommand, ::testing::ValuesIn(kCommandCases), [](const auto& info) {
    return std::string(info.param.name);
});

TEST_F(EngineTest, TheExactCreationCommandLine) {
    EXPECT_EQ(CTavelmorinth::CreationCommand("256"),
              "diskutil erasevolume HFS+ 'Tavelmorinth' `hdiutil attach -nomount ram://499968`");
}

struct FailureCase {
    const char* name;
    const char* diskutil;
};

void PrintTo(const FailureCase& c, std::ostream* os) { *os << c.name; }

class CreationFailure : public EngineTest, public ::testing::WithParamInterface<FailureCase> {};

TEST_P(CreationFailure, IsReportedAndNothingIsBuiltOnIt) {
    FakeTools tools(GetParam().diskutil);
    WriteTree(source_, {{"a", File("a")}});
    a().sPath = Shell(source_);
    a().bLoadComplete = true;
    auto worker = fw::New<CTavelmorinth>();
    worker->Constructor();
    WaitThreadsEnded();

    EXPECT_EQ(a().sState, App::kCreateFailed());
    EXPECT_FALSE(a().bTransactionCopy);
    EXPECT_FALSE(a().bLoadComplete);
    EXPECT_FALSE(worker->oDat);
    EXPECT_FALSE(fs::exists(ram_ + "/TMP"));
    EXPECT_FALSE(fs::exists(source_ + "/TMP/T.dat"));
    EXPECT_EQ(Difference({{"a", File("a")}}, ReadTree(source_)), "");
}

const FailureCase kFailureCases[] = {
    {"TheToolFails", "exit 1"},
    {"TheToolSucceedsButNoVolumeAppears", "exit 0"},
    {"TheToolFailsAfterMakingTheFolder", "mkdir -p /volumes/Tavelmorinth\nexit 1"},
};

INSTANTIATE_TEST_SUITE_P(Tools, CreationFailure, ::testing::ValuesIn(kFailureCases), [](const auto& info) {
    return std::string(info.param.name);
});

struct RefusalCase {
    const char* name;
    const char* probe;
    std::string (*state)(const std::string&);
};

void PrintTo(const RefusalCase& c, std::ostream* os) { *os << c.name; }

class EntryNotOurs : public EngineTest, public ::testing::WithParamInterface<RefusalCase> {};

// Whatever stands at the RAM disk's path without being ours: no load, no lock file,
// no write-back from it, and a quit's eject sequence ends without a detach.
TEST_P(EntryNotOurs, IsNeverReadWrittenOrDetached) {
    FakeTools tools("mkdir -p /volumes/Tavelmorinth\nexit 0", GetParam().probe);
    const Tree mine = {{"a", File("mine")}, {"d/b", File("mine too")}};
    const Tree planted = {{"a", File("planted")}, {"x", File("theirs")}};
    WriteTree(source_, mine);
    WriteTree(ram_, planted);
    a().sPath = Shell(source_);
    a().bLoadComplete = true;
    auto worker = fw::New<CTavelmorinth>();
    worker->Constructor();
    WaitThreadsEnded();
    a().oTavelmorinth = worker;

    EXPECT_EQ(a().sState, GetParam().state(""));
    EXPECT_TRUE(worker->NotOurs());
    EXPECT_FALSE(a().bLoadComplete);
    EXPECT_FALSE(worker->oDat);
    EXPECT_EQ(tools.Log(), "") << "a RAM disk was made or detached";

    auto timer = fw::New<CTimerCopy>();
    timer->Fire();
    WaitThreadsEnded();
    EXPECT_FALSE(a().bTransactionCopy);

    worker->CleanRAMDisk();
    for (int firing = 0; firing < 5 && a().quitRequests == 0; ++firing) {
        a().oCleanRamDisk->Fire();
        WaitThreadsEnded();
    }
    EXPECT_EQ(a().quitRequests, 1) << "the quit did not go through";
    EXPECT_TRUE(a().bQuit);
    EXPECT_EQ(tools.Log(), "") << "the eject ran a tool";
    ExpectTrees(mine, planted);
    EXPECT_EQ(a().sState, App::kWillShutdown());
}

const RefusalCase kRefusalCases[] = {
    {"AForeignEntry", "exit 4", &App::kVolumeForeign},
    {"TheToolsCannotTell", "exit 1", &App::kCreateFailed},
};

INSTANTIATE_TEST_SUITE_P(Probe, EntryNotOurs, ::testing::ValuesIn(kRefusalCases), [](const auto& info) {
    return std::string(info.param.name);
});

TEST_F(EngineTest, AVolumeLeftAttachedIsUsedAndItsNewerWorkGoesHome) {
    FakeTools tools("exit 1");
    WriteTree(source_, {{"a", File("old", kOld)}, {"b", File("b")}});
    WriteTree(ram_, {{"a", File("edited", kNew)}, {"work", File("only on the RAM disk")}});
    a().sPath = Shell(source_);
    auto worker = fw::New<CTavelmorinth>();
    worker->Constructor();
    WaitIdle();

    EXPECT_EQ(tools.Log(), "") << "no volume is made when one is attached";
    EXPECT_EQ(a().sState, App::kKeptAttached());
    EXPECT_TRUE(a().bLoadComplete);
    EXPECT_TRUE(worker->oDat);
    EXPECT_TRUE(fs::exists(ram_ + "/TMP/T.dat"));
    EXPECT_TRUE(fs::exists(source_ + "/TMP/T.dat"));
    struct stat st {};
    ::stat(source_.c_str(), &st);
    EXPECT_EQ(st.st_mode & 07777, 0744u) << "group and others keep no more than they had (0755)";

    WaitThreadsEnded();
    worker->bSet = false;
    worker->Run();
    WaitThreadsEnded();
    Tree source = ReadTree(source_);
    EXPECT_EQ(source["a"], File("edited", kNew));
    EXPECT_EQ(source["work"], File("only on the RAM disk"));
    EXPECT_EQ(source["b"], File("b"));
    EXPECT_EQ(a().sState, App::kSyncReady());
}

TEST_F(EngineTest, AWriteBackAskedForBeforeTheFirstLoadStartsCannotReplaceIt) {
    FakeTools tools(kMakesVolume);
    WriteTree(source_, {{"a", File("precious")}});
    a().sPath = Shell(source_);
    auto worker = fw::New<CTavelmorinth>();
    worker->Constructor();  // the load's thread waits for the baton, which this thread holds
    worker->bSet = false;   // what the write-back timer does meanwhile
    worker->Run();
    WaitThreadsEnded();
    Tree ram = ReadTree(ram_);
    ASSERT_TRUE(ram.count("a")) << "the pass was not the load";
    EXPECT_EQ(ram["a"], File("precious"));
    EXPECT_EQ(ReadTree(source_)["a"], File("precious"));
}

TEST_F(EngineTest, RequestsWhileAPassRunsAreDropped) {
    FakeTools tools("exit 1");
    WriteTree(source_, {{"a", File("old", kOld)}});
    WriteTree(ram_, {{"a", File("new", kNew)}});
    a().sPath = Shell(source_);
    auto worker = fw::New<CTavelmorinth>();
    worker->Constructor();
    WaitThreadsEnded();
    a().oTavelmorinth = worker;
    auto timer = fw::New<CTimerCopy>();

    a().bTransactionCopy = true;  // a pass runs
    timer->Fire();
    EXPECT_FALSE(worker->IsRunning()) << "the timer asked for a write-back";
    worker->bSet = false;
    worker->Run();
    WaitThreadsEnded();
    EXPECT_EQ(ReadTree(source_)["a"], File("old", kOld)) << "a write-back ran beside the pass";
    a().bTransactionCopy = false;

    timer->Fire();
    WaitThreadsEnded();
    EXPECT_EQ(ReadTree(source_)["a"], File("new", kNew));
}

TEST_F(EngineTest, TheWriteBackTimerWaitsForTheWorkerToExist) {
    int reports = 0;
    fw::SetUncaughtHook([&](const std::string&, const std::string&, const std::string&) { ++reports; });
    auto timer = fw::New<CTimerCopy>();
    timer->Fire();
    fw::SetUncaughtHook(nullptr);
    EXPECT_EQ(reports, 0);
    EXPECT_FALSE(a().bTransactionCopy);
}

TEST_F(EngineTest, LockFilesAreMadeAnew) {
    FakeTools tools("exit 1");
    WriteTree(source_, {});
    WriteTree(ram_, {});
    a().sPath = Shell(source_);
    auto worker = fw::New<CTavelmorinth>();
    worker->Constructor();
    WaitThreadsEnded();
    struct stat first {}, second {};
    ASSERT_EQ(::stat((source_ + "/TMP/T.dat").c_str(), &first), 0);
    worker->oDat = nullptr;  // as the eject does before a detach
    worker->CreateLock();
    ASSERT_EQ(::stat((source_ + "/TMP/T.dat").c_str(), &second), 0);
    EXPECT_NE(first.st_ino, second.st_ino);
    EXPECT_TRUE(worker->oDat);
    EXPECT_TRUE(worker->oDatSource);
    EXPECT_TRUE(fs::exists(ram_ + "/TMP/T.dat"));
}

}  // namespace
}  // namespace tvmtest

namespace tvmtest {
namespace {

TEST_F(EngineTest, AFirstStartMakesTheSourceFolderEvenWhereItsParentsAreMissing) {
    FakeTools tools(kMakesVolume);
    const std::string source = "/volumes/home/Documents/TavelmorinthSource";
    a().bFirstStart = true;
    a().sPath = Shell(source);
    auto worker = fw::New<CTavelmorinth>();
    worker->Constructor();
    WaitIdle();
    EXPECT_TRUE(fs::is_directory(source + "/TMP"));
    EXPECT_TRUE(fs::exists(source + "/TMP/T.dat"));
    EXPECT_EQ(fs::status(source).permissions() & fs::perms::all, fs::perms(0744));
}

}  // namespace
}  // namespace tvmtest

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <thread>

#include "engine/CAfterChangeOptions.h"
#include "engine/CStartup.h"
#include "engine/CTimerProgress.h"
#include "framework/Application.h"
#include "framework/Clock.h"

namespace tvmtest {
namespace {

// The options window closed while the start-up thread still waits for the
// volume to be made: the rebuild must not make a second worker beside it.
TEST_F(EngineTest, ARebuildWaitsForTheStartUpThreadToMakeTheWorker) {
    const std::string gate = std::string(std::getenv("TVM_SCRATCH") ? std::getenv("TVM_SCRATCH") : "/tmp") + "/gate";
    ::unlink(gate.c_str());
    ASSERT_EQ(::mkfifo(gate.c_str(), 0600), 0);
    FakeTools tools("read x < " + gate + "\nmkdir -p /volumes/Tavelmorinth\nexit 0");
    WriteTree(source_, {{"a", File("a")}});
    a().sPath = Shell(source_);
    fw::MockClock clock;
    fw::SetClock(&clock);

    std::atomic<bool> opened{false};
    auto openGate = [&] {
        if (opened.exchange(true)) return;
        const int fd = ::open(gate.c_str(), O_WRONLY);
        if (fd >= 0) {
            (void)!::write(fd, "go\n", 3);
            ::close(fd);
        }
    };
    // Only if the rebuild wrongly blocks in a second creation does this open the gate.
    std::thread rescue([&] {
        for (int i = 0; i < 100 && !opened; ++i) std::this_thread::sleep_for(std::chrono::milliseconds(20));
        openGate();
    });

    auto startup = fw::New<CStartup>();
    startup->Run();
    // Until the creation waits at the gate (the worker asks the tools what is there first).
    fw::ProcessEvents(10000, [&] {
        return a().oAfterChangeOptions && tools.Log().find("hdiutil attach") != std::string::npos;
    });
    ASSERT_TRUE(a().oAfterChangeOptions);
    a().sNewSize = "256";
    a().sNewInterval = "60";
    a().sNewPath = Shell(source_);
    a().oAfterChangeOptions->SetMode(fw::Timer::ModeMultiple);
    a().oAfterChangeOptions->SetPeriod(500);
    a().oAfterChangeOptions->SetEnabled(true);
    clock.Advance(600);
    openGate();
    rescue.join();
    WaitIdle();
    a().oAfterChangeOptions->SetEnabled(false);
    a().oTimerCopy->SetEnabled(false);
    a().oTimerProgress->SetEnabled(false);
    fw::SetClock(nullptr);

    const std::string log = tools.Log();
    size_t attaches = 0;
    for (size_t at = log.find("hdiutil attach"); at != std::string::npos; at = log.find("hdiutil attach", at + 1))
        ++attaches;
    EXPECT_EQ(attaches, 1u) << log;
    EXPECT_TRUE(a().oTavelmorinth);
}

}  // namespace
}  // namespace tvmtest
