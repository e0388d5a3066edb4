// The roots a load used stay the roots of every pass and of the eject: a source
// folder whose disk was unmounted, renamed or replaced, or a RAM-disk path that
// now leads elsewhere, gets nothing copied or deleted either way, the status
// says so, the eject waits for the real source folder, and a quit still ends.
// On a real RAM disk made by the program's own disk tools; timers on a mock clock.
#include <sys/mount.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <functional>

#include "EngineFixture.h"
#include "TestPaths.h"
#include "engine/CAfterChangeOptions.h"
#include "engine/CCleanRAMDisk.h"
#include "engine/CStartup.h"
#include "engine/CTavelmorinth.h"
#include "engine/Roots.h"
#include "engine/TimerState.h"
#include "framework/Clock.h"
#include "framework/Shell.h"

namespace tvmtest {
namespace {

namespace fs = std::filesystem;

const std::string kMoved = "/volumes/source-moved";

class Roots : public DrivenTest {
protected:
    void TearDown() override {
        if (MountedHere(source_)) ::umount2(source_.c_str(), MNT_DETACH);
        RemoveTree(kMoved);
        EngineTest::TearDown();
    }

    void Start() {
        a().sPath = Shell(source_);
        DrivenTest::Start();
        ASSERT_TRUE(a().oTavelmorinth);
        ASSERT_EQ(a().sState, App::kSyncReady());
    }
    void WriteBack() {
        a().oTimerCopy->Fire();
        WaitIdle();
    }
};

struct SourceChange {
    const char* name;
    bool mounted;                 // the source folder is a file system of its own
    std::function<void()> change;
    std::string (*state)(const std::string&);  // the status of a refused pass
};

void PrintTo(const SourceChange& c, std::ostream* os) { *os << c.name; }

class SourceNoLongerLoaded : public Roots, public ::testing::WithParamInterface<SourceChange> {};

TEST_P(SourceNoLongerLoaded, GetsNothingAndTheQuitEndsWithoutEjecting) {
    const SourceChange& c = GetParam();
    fs::create_directories(source_);
    if (c.mounted) {
        ASSERT_EQ(::mount("tvm-source", source_.c_str(), "tmpfs", 0, "size=16m"), 0);
    }
    WriteTree(source_, {{"a", File("a")}, {"d/b", File("b")}});
    Start();
    const Tree underneathBefore = ReadTree(source_);
    c.change();
    const bool present = fs::exists(source_);
    const Tree underneath = present ? ReadTree(source_) : Tree{};
    ASSERT_NE(underneath, underneathBefore) << "the change did not take";

    WriteTree(ram_, {{"work", File("made on the RAM disk")}});
    fs::remove(ram_ + "/a");
    WriteBack();
    EXPECT_EQ(a().sState, c.state(""));
    EXPECT_FALSE(a().bLastSyncComplete);
    EXPECT_EQ(fs::exists(source_), present);
    if (present) {
        EXPECT_EQ(Difference(underneath, ReadTree(source_)), "") << "the pass wrote into what is there now";
    }

    Quit();
    ASSERT_TRUE(Drive([&] { return a().quitRequests > 0; })) << a().sState;
    EXPECT_TRUE(a().bQuit);
    EXPECT_EQ(a().sState, c.state(""));
    EXPECT_TRUE(MountedHere(ram_)) << "the RAM disk went before its work reached the loaded folder";
    EXPECT_EQ(ReadTree(ram_)["work"], File("made on the RAM disk"));
    if (present) {
        EXPECT_EQ(Difference(underneath, ReadTree(source_)), "") << "the quit wrote into what is there now";
    }
    if (fs::exists(kMoved)) {
        EXPECT_EQ(Difference(underneathBefore, ReadTree(kMoved)), "") << "the loaded folder was changed";
    }
}

const SourceChange kSourceChanges[] = {
    {"ItsDiskUnmountedLazilyShowsTheFolderUnderneath", true,
     [] { ASSERT_EQ(::umount2("/volumes/source", MNT_DETACH), 0); }, &App::kSourceChanged},
    {"RenamedAndReplacedByAnotherFolder", false,
     [] {
         fs::rename("/volumes/source", kMoved);
         WriteTree("/volumes/source", {{"other", File("another folder's")}});
     },
     &App::kSourceChanged},
    {"RenamedAway", false, [] { fs::rename("/volumes/source", kMoved); }, &App::kSyncNoRoot},
    {"AnotherDiskMountedOverIt", false,
     [] { ASSERT_EQ(::mount("tvm-other", "/volumes/source", "tmpfs", 0, "size=16m"), 0); }, &App::kSourceChanged},
};

INSTANTIATE_TEST_SUITE_P(Roots, SourceNoLongerLoaded, ::testing::ValuesIn(kSourceChanges),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(Roots, OnceTheLoadedFolderIsBackTheNextWriteBackSavesTheWorkAndTheQuitEjects) {
    WriteTree(source_, {{"a", File("a")}});
    Start();
    fs::rename(source_, kMoved);
    WriteTree(ram_, {{"work", File("w")}});
    WriteBack();
    EXPECT_EQ(a().sState, App::kSyncNoRoot());
    EXPECT_TRUE(Armed(a().oTimerCopy)) << "the periodic write-back gives up";

    fs::rename(kMoved, source_);
    WriteBack();
    EXPECT_EQ(a().sState, App::kSyncReady());
    EXPECT_EQ(ReadTree(source_)["work"], File("w"));
    Quit();
    ASSERT_TRUE(Drive([&] { return a().quitRequests > 0; })) << a().sState;
    EXPECT_FALSE(MountedHere(ram_));
}

TEST_F(Roots, ARebuildWhileTheSourceFolderIsNotTheLoadedOneKeepsTheRAMDisk) {
    WriteTree(source_, {{"a", File("a")}});
    Start();
    fs::rename(source_, kMoved);
    WriteTree(source_, {{"other", File("another folder's")}});
    WriteTree(ram_, {{"work", File("w")}});
    a().sNewPath = Shell(source_);
    a().oAfterChangeOptions->SetMode(fw::Timer::ModeMultiple);
    a().oAfterChangeOptions->SetPeriod(500);
    a().oAfterChangeOptions->SetEnabled(true);
    ASSERT_TRUE(Drive([&] { return !Armed(a().oAfterChangeOptions) && !Armed(a().oCleanRamDisk); }));
    EXPECT_EQ(a().sState, App::kSourceChanged());
    EXPECT_TRUE(MountedHere(ram_));
    EXPECT_EQ(ReadTree(ram_)["work"], File("w"));
    EXPECT_TRUE(Armed(a().oTimerCopy));
    Tree there = ReadTree(source_);
    std::erase_if(there, [](const auto& entry) { return entry.first.starts_with("TavelmorinthSettings"); });
    EXPECT_EQ(Difference(WithParents({{"other", File("another folder's")}}), there), "")
        << "the folder there now got the RAM disk's work";
    EXPECT_EQ(a().quitRequests, 0);
}

// The RAM disk's path leads elsewhere now (it was unmounted under the program
// and someone else's folder stands there): nothing from it reaches the source
// folder, nothing is loaded into it, and a quit ends without ejecting it.
TEST_F(Roots, ARAMDiskPathThatLeadsElsewhereIsNeverReadWrittenOrEjected) {
    const Tree mine = {{"a", File("a")}, {"d/b", File("b")}};
    WriteTree(source_, mine);
    Start();
    ASSERT_EQ(::umount2(ram_.c_str(), MNT_DETACH), 0);
    const Tree planted = {{"a", File("planted")}, {"x", File("theirs")}};
    WriteTree(ram_, planted);
    ASSERT_EQ(::chown(ram_.c_str(), 12345, 12345), 0);

    WriteBack();
    EXPECT_EQ(a().sState, App::kVolumeChanged());
    Quit();
    ASSERT_TRUE(Drive([&] { return a().quitRequests > 0; })) << a().sState;
    EXPECT_TRUE(a().bQuit);
    EXPECT_EQ(a().sState, App::kVolumeChanged());
    EXPECT_EQ(Difference(WithParents(planted), ReadTree(ram_)), "") << "the entry there was written or ejected";
    EXPECT_EQ(Difference(WithParents(mine), UserEntries(ReadTree(source_))), "")
        << "the source folder got what is not ours";
    EXPECT_FALSE(fs::exists(ram_ + "/TMP/T.dat"));
}

// Another entry put at the path right after the detach took ours away is
// neither taken for the RAM disk nor given a lock file; the quit ends.
TEST_F(Roots, AnEntryPutInPlaceDuringTheDetachIsNotTakenForTheRAMDisk) {
    WriteTree(source_, {{"a", File("a")}});
    Start();
    WriteTree(ram_, {{"work", File("w")}});
    const std::string tools = std::string(std::getenv("TVM_SCRATCH") ? std::getenv("TVM_SCRATCH") : "/tmp") + "/swap-tools";
    fs::create_directories(tools);
    for (const char* name : {"hdiutil", "diskutil"}) {
        std::ofstream(tools + "/" + name)
            << "#!/bin/sh\n"
            << (std::string(name) == "hdiutil"
                    ? "if [ \"$1\" = detach ]; then " + std::string(TVM_HELPERS_DIR) +
                          "/hdiutil \"$@\"; c=$?; mkdir -p " + ram_ + "/TMP; echo theirs > " + ram_ +
                          "/theirs; exit $c; fi\n"
                    : "")
            << "exec " << TVM_HELPERS_DIR << "/" << name << " \"$@\"\n";
        fs::permissions(tools + "/" + name, fs::perms::owner_all);
    }
    fw::SetToolsFolder(tools);
    Quit();
    const bool quit = Drive([&] { return a().quitRequests > 0; });
    fw::SetToolsFolder(TVM_HELPERS_DIR);
    ASSERT_TRUE(quit) << a().sState;
    EXPECT_EQ(ReadTree(source_)["work"], File("w")) << "the write-back before the detach";
    EXPECT_FALSE(MountedHere(ram_));
    EXPECT_TRUE(fs::exists(ram_ + "/theirs"));
    EXPECT_FALSE(fs::exists(ram_ + "/TMP/T.dat")) << "a lock file was put into the entry there";
    WriteBack();
    EXPECT_FALSE(fs::exists(source_ + "/theirs")) << "a periodic write-back read the entry there";
}

struct ModeRow {
    const char* name;
    int before, during;
};

void PrintTo(const ModeRow& r, std::ostream* os) { *os << r.name; }

class SourceMode : public Roots, public ::testing::WithParamInterface<ModeRow> {};

TEST_P(SourceMode, OnlyNarrowsForGroupAndOthers) {
    WriteTree(source_, {{"a", File("a")}});
    ::chmod(source_.c_str(), mode_t(GetParam().before));
    Start();
    EXPECT_EQ(Mode(source_), GetParam().during);
}

INSTANTIATE_TEST_SUITE_P(Roots, SourceMode,
                         ::testing::Values(ModeRow{"Private", 0700, 0700}, ModeRow{"ClosedByTheLastRun", 0, 0700},
                                           ModeRow{"ReadableByAll", 0755, 0744}, ModeRow{"GroupOnly", 0750, 0740},
                                           ModeRow{"OpenToAll", 0777, 0764}, ModeRow{"OwnerReadOnly", 0500, 0700},
                                           ModeRow{"OthersWriteOnly", 0702, 0700}),
                         [](const auto& info) { return std::string(info.param.name); });

// The identity itself: which entries are held, and what counts as a change.
TEST_F(EngineTest, TheRAMDiskIsHeldOnlyAsThisUsersEntryAndItsFolder) {
    fs::create_directories(source_);
    fs::create_directories("/volumes/shm/disk");
    fs::create_symlink("/volumes/shm/disk", ram_);
    const RootsHeld held = RootsHeld::Take(Shell(source_), Shell(ram_));
    ASSERT_TRUE(held.volumeEntry && held.volume && held.source);
    EXPECT_NE(held.volumeEntry, held.volume) << "the link and its folder are held apart";
    EXPECT_EQ(held.Check(Shell(source_), Shell(ram_)), RootsHeld::Verdict::Same);

    // Another link to the very same folder is still another entry.
    fs::remove(ram_);
    fs::create_symlink("/volumes/shm/disk", ram_);
    EXPECT_EQ(held.Check(Shell(source_), Shell(ram_)), RootsHeld::Verdict::VolumeChanged);

    ASSERT_EQ(::lchown(ram_.c_str(), 12345, 12345), 0);
    EXPECT_FALSE(RootsHeld::Take(Shell(source_), Shell(ram_)).volumeEntry) << "another user's link is held";
    fs::remove(ram_);
    EXPECT_FALSE(RootsHeld::Take(Shell(source_), Shell(ram_)).volume);
    RemoveTree("/volumes/shm");
}

}  // namespace
}  // namespace tvmtest
