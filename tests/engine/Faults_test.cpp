// Failures of a pass: nothing is lost, nothing half-written stays, and the pass
// never reports success when it missed something.
#include <linux/capability.h>
#include <sys/mount.h>
#include <sys/syscall.h>
#include <unistd.h>
#include <sys/stat.h>

#include <climits>
#include <cerrno>
#include <filesystem>
#include <functional>

#include "EngineFixture.h"
#include "engine/CCleanRAMDisk.h"
#include "engine/CSync.h"
#include "engine/SyncFaults.h"

namespace tvmtest {
namespace {

namespace fs = std::filesystem;

void MountTmpfs(const std::string& where, const char* options) {
    fs::create_directories(where);
    ASSERT_EQ(::mount("tvm-test", where.c_str(), "tmpfs", 0, options), 0) << "mount " << where;
}

TEST_F(EngineTest, ACopyOntoAFullDiskLeavesTheOldFileAndNoPartialCopy) {
    MountTmpfs(source_, "size=256k");
    const Tree source = {{"f", File(std::string(100 * 1024, 'o'), kOld)}, {"only-in-source", File("s")}};
    WriteTree(source_, source);
    const Tree ram = {{"f", File(std::string(1024 * 1024, 'n'), kNew)}};
    WriteTree(ram_, ram);
    a().bLoadComplete = true;
    RunPass(false);

    ExpectTrees(source, ram);  // the old file, nothing deleted after the failure, no hidden leftover
    EXPECT_EQ(a().sState, Incomplete(1, /*sourceFull=*/true));
    EXPECT_EQ(a().iSyncFailures, 1);
    EXPECT_FALSE(a().bLastSyncComplete);
    EXPECT_TRUE(a().oCleanRamDisk->bWriteBackEnded);
}

TEST_F(EngineTest, AnUnreadableEntryKeepsItsCounterpartAndStopsDeletion) {
    WriteTree(ram_, {{"a", File("new", kNew)}});
    WriteTree(source_, {{"a", File("old", kOld)}, {"only-in-source", File("s")}});
    SyncFaults::Inject(ram_ + "/a", EIO);
    a().bLoadComplete = true;
    RunPass(false);

    ExpectTrees({{"a", File("old", kOld)}, {"only-in-source", File("s")}}, {{"a", File("new", kNew)}});
    EXPECT_EQ(a().sState, Incomplete(1));
    EXPECT_FALSE(a().bLastSyncComplete);
}

// What an interrupted copy leaves beside its destination.
const Tree kLeftovers = {{".tvm-copy.4242.7", File("half a file")}, {"d/.tvm-copy.link-x", Link("/nowhere")}};

TEST_F(EngineTest, LeftoversOfAnInterruptedCopyAreRemovedByTheNextPass) {
    for (bool loadComplete : {true, false}) {
        SCOPED_TRACE(loadComplete ? "a write-back that deletes" : "a write-back that may not delete");
        RemoveTree(source_);
        RemoveTree(ram_);
        WriteTree(source_, With(kLeftovers, {{"a", File("old", kOld)}, {".keep", File("the user's")}, {"d/x", File("x")}}));
        WriteTree(ram_, {{"a", File("new", kNew)}, {".keep", File("the user's")}, {"d/x", File("x")}});
        a().bLoadComplete = loadComplete;
        RunPass(false);
        ExpectTrees({{"a", File("new", kNew)}, {".keep", File("the user's")}, {"d/x", File("x")}},
                    {{"a", File("new", kNew)}, {".keep", File("the user's")}, {"d/x", File("x")}});
    }
    // A load clears the RAM disk's.
    WriteTree(ram_, kLeftovers);
    a().bLoadComplete = false;
    RunPass(true);
    EXPECT_EQ(Difference(WithParents({{"a", File("new", kNew)}, {".keep", File("the user's")}, {"d/x", File("x")}}),
                         ReadTree(ram_)),
              "");
}

struct KindCase {
    const char* name;
    bool load;
    bool loadComplete;
    Tree source, ram;
    Tree sourceAfter, ramAfter;
    int failures;
};

void PrintTo(const KindCase& c, std::ostream* os) { *os << c.name; }

class KindConflict : public EngineTest, public ::testing::WithParamInterface<KindCase> {};

// A write-back gives the source folder the RAM disk's kind of entry in one pass;
// where it may not, the entry stays as it is, and either way the entries after
// it by name are synchronized.
TEST_P(KindConflict, AChangeOfKindIsWrittenBackWholeOrNotAtAll) {
    const KindCase& c = GetParam();
    const Tree later = {{"zz-later.txt", File("saved after the conflict", kNew)}};
    WriteTree(source_, c.load ? With(c.source, later) : c.source);
    WriteTree(ram_, c.load ? c.ram : With(c.ram, later));
    a().bLoadComplete = c.loadComplete;
    RunPass(c.load);
    ExpectTrees(With(c.sourceAfter, later), With(c.ramAfter, later));
    EXPECT_EQ(a().iSyncFailures, c.failures);
    if (c.failures) {
        EXPECT_EQ(a().sState, Incomplete(c.failures));
    } else {
        EXPECT_EQ(a().sState, App::kSyncReady());
    }
}

const Tree kFileX = {{"x", File("file", kNew)}};
const Tree kFolderX = {{"x/inside", File("in the folder", kOld)}, {"x/sub/deeper", File("deeper", kOld)}};
const Tree kEmptyX = {{"x", Folder()}};
const Tree kLinkX = {{"x", Link("/volumes/elsewhere")}};
const Tree kLinkToFolderX = {{"x", Link("x-target")}, {"x-target/t", File("t")}};

const KindCase kKindCases[] = {
    {"WriteBackReplacesAFolderWithContentsByTheRAMDisksFile", false, true, kFolderX, kFileX, kFileX, kFileX, 0},
    {"WriteBackReplacesAnEmptyFolderWithTheRAMDisksFile", false, true, kEmptyX, kFileX, kFileX, kFileX, 0},
    {"WriteBackReplacesAFileByTheRAMDisksFolder", false, true, kFileX, kFolderX, kFolderX, kFolderX, 0},
    {"WriteBackReplacesALinkByTheRAMDisksFolder", false, true, kLinkX, kFolderX, kFolderX, kFolderX, 0},
    {"WriteBackReplacesAFolderByTheRAMDisksLink", false, true, kFolderX, kLinkX, kLinkX, kLinkX, 0},
    {"WriteBackReplacesALinkToAFolderByTheRAMDisksFolder", false, true, kLinkToFolderX,
     With(kFolderX, {{"x-target/t", File("t")}}), With(kFolderX, {{"x-target/t", File("t")}}),
     With(kFolderX, {{"x-target/t", File("t")}}), 0},
    // After an incomplete load the source folder's entry may hold what never
    // reached the RAM disk: it stays unless the user changed the name there.
    {"AfterAnIncompleteLoadAFolderIsKeptForAFile", false, false, kFolderX, kFileX, kFolderX, kFileX, 1},
    {"AfterAnIncompleteLoadAFileIsKeptForAFolder", false, false, kFileX, kFolderX, kFileX, kFolderX, 1},
    {"LoadKeepsAFileOnTheRAMDiskWhereTheSourceHasAFolder", true, true, kFolderX, kFileX, kFolderX, kFileX, 1},
    {"LoadKeepsAFolderOnTheRAMDiskWhereTheSourceHasAFile", true, true, kFileX, kFolderX, kFileX, kFolderX, 1},
};

INSTANTIATE_TEST_SUITE_P(Kinds, KindConflict, ::testing::ValuesIn(kKindCases), [](const auto& info) {
    return std::string(info.param.name);
});

// Folders below the RAM disk's root, so that `tail` ("/x/i") under them makes
// a path of PATH_MAX - 1 bytes, the longest a call takes. The source folder's
// root is shorter, but not by as much as a temporary name is longer.
std::string DeepFolders(const std::string& ramRoot, size_t tail) {
    const size_t want = PATH_MAX - 1 - ramRoot.size() - 1 - tail;
    std::string folders;
    while (folders.size() < want) {
        if (!folders.empty()) folders += '/';
        const size_t left = want - folders.size();
        folders.append(left <= 200 ? left : std::min<size_t>(200, left - 2), 'd');
    }
    return folders;
}

struct LimitCase {
    const char* name;
    size_t tail;  // of the RAM disk's longest path, below the deep folders
    // The source folder's tree and the RAM disk's, given the deep folders ("" at the root).
    std::function<std::pair<Tree, Tree>(const std::string& deep)> trees;
};

void PrintTo(const LimitCase& c, std::ostream* os) { *os << c.name; }

class KindAtTheLimits : public EngineTest, public ::testing::WithParamInterface<LimitCase> {};

// A change of kind is built beside the old entry under a temporary name; at
// the longest names and paths it is written back all the same.
TEST_P(KindAtTheLimits, AChangeOfKindIsWrittenBackAtTheLongestNamesAndPaths) {
    const LimitCase& c = GetParam();
    const std::string deep = c.tail ? DeepFolders(ram_, c.tail) + "/" : "";
    const auto [source, ram] = c.trees(deep);
    for (const auto& [path, node] : ram) ASSERT_LE(ram_.size() + 1 + path.size(), size_t(PATH_MAX - 1));
    const Tree later = {{"zz-later.txt", File("saved after it", kNew)}};
    WriteTree(source_, source);
    WriteTree(ram_, With(ram, later));
    a().bLoadComplete = true;
    testing::internal::CaptureStderr();
    RunPass(false);
    const std::string log = testing::internal::GetCapturedStderr();
    ExpectTrees(With(ram, later), With(ram, later));
    EXPECT_EQ(a().iSyncFailures, 0) << log;
    EXPECT_EQ(a().sState, App::kSyncReady());
}

const std::string kLongName(NAME_MAX, 'n');

const LimitCase kLimitCases[] = {
    {"AFileBecomesAFolderWhosePathsAreTheLongest", 4,
     [](const std::string& d) {
         return std::pair<Tree, Tree>{{{d + "x", File("file")}}, {{d + "x/i", File("in the folder", kNew)}}};
     }},
    {"ALinkBecomesAFolderWhosePathsAreTheLongest", 4,
     [](const std::string& d) {
         return std::pair<Tree, Tree>{{{d + "x", Link("/volumes/elsewhere")}},
                                      {{d + "x/i", File("in the folder", kNew)}}};
     }},
    {"AFolderBecomesAFileOfTheLongestPath", 2,
     [](const std::string& d) {
         return std::pair<Tree, Tree>{{{d + "x/i", File("in the folder")}}, {{d + "x", File("file", kNew)}}};
     }},
    {"AFolderBecomesALinkOfTheLongestPath", 2,
     [](const std::string& d) {
         return std::pair<Tree, Tree>{{{d + "x/i", File("in the folder")}}, {{d + "x", Link("/volumes/elsewhere")}}};
     }},
    {"ALinkToAFolderBecomesAFileOfTheLongestPath", 2,
     [](const std::string& d) {
         return std::pair<Tree, Tree>{{{d + "x", Link("..")}}, {{d + "x", File("file", kNew)}}};
     }},
    {"AFileOfTheLongestNameBecomesAFolder", 0,
     [](const std::string&) {
         return std::pair<Tree, Tree>{{{kLongName, File("file")}}, {{kLongName + "/i", File("in", kNew)}}};
     }},
    {"AFolderOfTheLongestNameBecomesAFile", 0,
     [](const std::string&) {
         return std::pair<Tree, Tree>{{{kLongName + "/i", File("in")}}, {{kLongName, File("file", kNew)}}};
     }},
};

INSTANTIATE_TEST_SUITE_P(Limits, KindAtTheLimits, ::testing::ValuesIn(kLimitCases),
                         [](const auto& info) { return std::string(info.param.name); });

// A change of kind made on the RAM disk after the last pass is the user's: it is
// written back even after an incomplete load, the new entry is complete in the
// source folder before the old one leaves its name, and the old one is kept.
TEST_F(EngineTest, AChangeOfKindMadeOnTheRAMDiskIsWrittenBackAfterAnIncompleteLoad) {
    WriteTree(source_, {{"notes", File("old notes", kOld)}, {"old-folder/a", File("a")}, {"other", File("o")}});
    WriteTree(ram_, {});
    SyncFaults::Inject(source_ + "/other", EIO);
    RunPass(true);
    SyncFaults::Clear();
    ASSERT_FALSE(a().bLoadComplete);

    fs::remove(ram_ + "/notes");
    WriteTree(ram_, {{"notes/today", File("new notes", kNew)}});
    fs::remove_all(ram_ + "/old-folder");
    WriteTree(ram_, {{"old-folder", File("a file now", kNew)}});
    bool sawBoth = false;
    SyncFaults::WatchEntries([&] {
        // Whenever the walk yields, the name holds one whole entry.
        struct stat st {};
        if (::lstat((source_ + "/notes").c_str(), &st) != 0) ADD_FAILURE() << "notes missing in the source folder";
        if (S_ISDIR(st.st_mode) && !fs::exists(source_ + "/notes/today")) ADD_FAILURE() << "an incomplete notes/";
        sawBoth = sawBoth || S_ISDIR(st.st_mode);
    });
    RunPass(false);
    SyncFaults::WatchEntries(nullptr);
    EXPECT_TRUE(sawBoth);
    // The old entries may hold what the load missed: they stay beside the new ones.
    Tree source = ReadTree(source_);
    std::string notesKept, folderKept;
    for (const auto& [path, node] : source) {
        if (path.starts_with("notes (source copy ") && path.find('/') == std::string::npos) notesKept = path;
        if (path.starts_with("old-folder (source copy ") && path.find('/') == std::string::npos) folderKept = path;
    }
    ASSERT_FALSE(notesKept.empty());
    ASSERT_FALSE(folderKept.empty());
    ExpectTrees({{"notes/today", File("new notes", kNew)}, {"old-folder", File("a file now", kNew)},
                 {notesKept, File("old notes", kOld)}, {folderKept + "/a", File("a")}, {"other", File("o")}},
                {{"notes/today", File("new notes", kNew)}, {"old-folder", File("a file now", kNew)}});
    EXPECT_EQ(a().iSyncFailures, 0);
}

struct RootCase {
    const char* name;
    bool load;
    bool makeSource, makeRam;
};

void PrintTo(const RootCase& c, std::ostream* os) { *os << c.name; }

class MissingRoot : public EngineTest, public ::testing::WithParamInterface<RootCase> {};

TEST_P(MissingRoot, APassWithoutBothRootsReportsSoAndChangesNothing) {
    const RootCase& c = GetParam();
    if (c.makeSource) WriteTree(source_, {{"a", File("a")}});
    if (c.makeRam) WriteTree(ram_, {{"b", File("b")}});
    a().bLoadComplete = true;
    a().bLastSyncComplete = true;
    RunPass(c.load);

    EXPECT_EQ(a().sState, App::kSyncNoRoot());
    EXPECT_FALSE(a().bLastSyncComplete);
    if (c.load) {
        EXPECT_FALSE(a().bLoadComplete);
    }
    EXPECT_EQ(a().oCleanRamDisk->bWriteBackEnded, !c.load) << "only a write-back saves the RAM disk";
    EXPECT_EQ(fs::exists(source_), c.makeSource);
    EXPECT_EQ(fs::exists(ram_), c.makeRam);
}

const RootCase kRootCases[] = {
    {"LoadWithoutTheRAMDisk", true, true, false},
    {"LoadWithoutTheSourceFolder", true, false, true},
    {"WriteBackWithoutTheRAMDisk", false, true, false},
    {"WriteBackWithoutTheSourceFolder", false, false, true},
};

INSTANTIATE_TEST_SUITE_P(Roots, MissingRoot, ::testing::ValuesIn(kRootCases), [](const auto& info) {
    return std::string(info.param.name);
});

TEST_F(EngineTest, ASourceFolderInsideTheRAMDiskIsNotMirroredIntoItself) {
    WriteTree(ram_, {{"inner/a", File("a")}, {"b", File("b")}});
    auto sync = fw::New<CSync>();
    sync->sFolderSource(Shell(ram_ + "/inner"));
    sync->sFolderTarget(Shell(ram_));
    sync->bSet(true);
    a().bTransactionCopy = true;
    sync->Run();
    WaitIdle();
    EXPECT_EQ(a().sState, App::kSyncNoRoot());
    EXPECT_EQ(Difference(WithParents({{"inner/a", File("a")}, {"b", File("b")}}), ReadTree(ram_)), "");
}

TEST_F(EngineTest, ADeletionThatFailsIsCounted) {
    WriteTree(source_, {{"keep", File("k")}});
    WriteTree(ram_, {{"keep", File("k")}});
    MountTmpfs(source_ + "/busy", "size=64k");  // a mount point: neither Delete nor rm -rf can remove it
    a().bLoadComplete = true;
    RunPass(false);
    EXPECT_TRUE(fs::exists(source_ + "/busy"));
    EXPECT_EQ(a().sState, Incomplete(1));
    EXPECT_FALSE(a().bLastSyncComplete);
}

TEST_F(EngineTest, WriteBacksDeleteInTheSourceOnlyAfterACompleteLoad) {
    WriteTree(source_, {{"a", File("old", kOld)}, {"only-in-source", File("s")}});
    WriteTree(ram_, {{"a", File("new", kNew)}});

    a().bLoadComplete = false;  // a new RAM disk whose load has not completed
    RunPass(false);
    ExpectTrees({{"a", File("new", kNew)}, {"only-in-source", File("s")}}, {{"a", File("new", kNew)}});
    EXPECT_EQ(a().sState, App::kLoadIncomplete());
    EXPECT_TRUE(a().bLastSyncComplete) << "everything on the RAM disk was saved";

    SyncFaults::Inject(source_ + "/only-in-source", EIO);
    RunPass(true);
    EXPECT_FALSE(a().bLoadComplete) << "a load that missed an entry";
    EXPECT_EQ(a().sState, Incomplete(1));

    SyncFaults::Clear();
    RunPass(true);
    EXPECT_TRUE(a().bLoadComplete);
    EXPECT_EQ(a().sState, App::kSyncReady());

    fs::remove(ram_ + "/only-in-source");
    RunPass(false);
    ExpectTrees({{"a", File("new", kNew)}}, {{"a", File("new", kNew)}});
    EXPECT_EQ(a().sState, App::kSyncReady());
}

TEST_F(EngineTest, ALoadOntoAnAttachedVolumeKeepsItsNewerWork) {
    WriteTree(source_, {{"a", File("old", kOld)}, {"b", File("from the source", kOld)}, {"c", File("newer here", kNew)}});
    WriteTree(ram_, {{"a", File("edited on the RAM disk", kNew)}, {"only-on-ram", File("new work")},
                     {"c", File("older", kOld)}});
    RunPass(true, /*keepTarget=*/true);
    const Tree ram = {{"a", File("edited on the RAM disk", kNew)}, {"b", File("from the source", kOld)},
                      {"c", File("newer here", kNew)}, {"only-on-ram", File("new work")}};
    EXPECT_EQ(Difference(ram, ReadTree(ram_)), "");
    EXPECT_EQ(a().sState, App::kKeptAttached());
    EXPECT_TRUE(a().bLoadComplete);

    RunPass(false);
    ExpectTrees(ram, ram);
}

}  // namespace
}  // namespace tvmtest

namespace tvmtest {
namespace {

// Root reads every folder; without these two capabilities it is held to the
// folder's permissions like anybody else. Threads started meanwhile inherit that.
class WithoutReadOverride {
public:
    WithoutReadOverride() { Set(false); }
    ~WithoutReadOverride() { Set(true); }

private:
    static void Set(bool on) {
        __user_cap_header_struct header{_LINUX_CAPABILITY_VERSION_3, 0};
        __user_cap_data_struct data[2]{};
        ::syscall(SYS_capget, &header, data);
        for (int cap : {CAP_DAC_OVERRIDE, CAP_DAC_READ_SEARCH}) {
            if (on) {
                data[cap / 32].effective |= 1u << (cap % 32);
            } else {
                data[cap / 32].effective &= ~(1u << (cap % 32));
            }
        }
        ::syscall(SYS_capset, &header, data);
    }
};

TEST_F(EngineTest, AFolderThatCannotBeReadIsAFailureNotAnEmptyFolder) {
    WriteTree(source_, {{"locked/a", File("a")}, {"b", File("b")}});
    WriteTree(ram_, {});
    fs::permissions(source_ + "/locked", fs::perms::none);
    {
        WithoutReadOverride guard;
        RunPass(true);
    }
    fs::permissions(source_ + "/locked", fs::perms::owner_all);
    // Every pass that meets the folder counts it.
    EXPECT_GE(a().iSyncFailures, 1);
    EXPECT_EQ(a().sState, Incomplete(int(a().iSyncFailures)));
    EXPECT_FALSE(a().bLoadComplete) << "write-backs must not delete what this load never saw";
}

}  // namespace
}  // namespace tvmtest

namespace tvmtest {
namespace {

// A folder that a load has just made is filled without looking first: a file
// saved into it meanwhile is never overwritten; the pass counts it instead.
TEST_F(EngineTest, ALoadNeverOverwritesAFileSavedMeanwhileInAFolderItMade) {
    WriteTree(source_, {{"d/a", File("a")}, {"d/b", File("from the source", kOld)}});
    WriteTree(ram_, {});
    bool saved = false;
    SyncFaults::WatchEntries([&] {
        if (saved || app().sState != App::kDataWillLoad() || app().sFolder != "d") return;
        saved = true;  // after "d/a" of the copy pass
        WriteTree(ram_, {{"d/b", File("saved on the RAM disk", kOld)}});
    });
    RunPass(true);
    SyncFaults::WatchEntries(nullptr);
    ASSERT_TRUE(saved);
    EXPECT_EQ(Difference(WithParents({{"d/a", File("a")}, {"d/b", File("saved on the RAM disk", kOld)}}),
                         ReadTree(ram_)),
              "");
    EXPECT_EQ(a().iSyncFailures, 1);
    EXPECT_FALSE(a().bLoadComplete);
}

}  // namespace
}  // namespace tvmtest
