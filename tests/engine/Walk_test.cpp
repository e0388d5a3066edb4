// How the mirror walks: progress per level, the fit rule of a load, names that a
// shell would misread, links that must never be followed, folders moved during a
// walk, and what a pass leaves open.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <utility>
#include <vector>

#include "EngineFixture.h"
#include "engine/CSync.h"
#include "engine/SyncFaults.h"
#include "framework/Application.h"
#include "framework/FolderItem.h"
#include "framework/Shell.h"
#include "framework/Thread.h"
#include "support/Descriptors.h"

namespace tvmtest {
namespace {

namespace fs = std::filesystem;

TEST_F(EngineTest, ProgressCountsTheEntriesOfTheLevelBeingWalked) {
    Tree source;
    for (const char* name : {"1", "2", "3", "4", "5", "6", "7"}) source[std::string("seven/") + name] = File(name);
    for (const char* name : {"a", "b", "c"}) source[std::string("three/") + name] = File(name);
    WriteTree(source_, source);
    WriteTree(ram_, {});

    // What the activity window could show at each point where the pass yields.
    std::vector<std::pair<int64_t, std::string>> seen;
    SyncFaults::WatchEntries([&] {
        std::pair<int64_t, std::string> now{app().iProgress, app().sFolder};
        if (seen.empty() || seen.back() != now) seen.push_back(now);
    });
    RunPass(true);

    std::vector<std::pair<int64_t, std::string>> onePass = {
        {14, "seven"}, {28, "seven"}, {42, "seven"}, {57, "seven"}, {71, "seven"},
        {85, "seven"}, {99, "seven"}, {33, "three"}, {66, "three"}, {100, "three"}};
    std::vector<std::pair<int64_t, std::string>> expected;
    for (int pass = 0; pass < 3; ++pass) {
        // The delete pass walks the RAM disk, whose root also holds the mirror's
        // record of its passes (the first of three entries there).
        if (pass == 2) expected.push_back({33, "Tavelmorinth"});
        expected.insert(expected.end(), onePass.begin(), onePass.end());
    }
    EXPECT_EQ(seen, expected) << "count, copy and delete pass";
    EXPECT_EQ(a().iProgress, 0);
    EXPECT_EQ(a().sFolder, "");
}

TEST_F(EngineTest, TheMainThreadRunsWhileAPassWalks) {
    Tree source;
    for (int i = 0; i < 3000; ++i) source["f" + std::to_string(i)] = File("x");
    WriteTree(source_, source);
    WriteTree(ram_, {});
    a().bTransactionCopy = true;
    auto sync = fw::New<CSync>();
    sync->sFolderSource(Shell(source_));
    sync->sFolderTarget(Shell(ram_));
    sync->bSet(true);
    sync->Run();
    int turnsDuringThePass = 0;
    fw::ProcessEvents(120000, [&] {
        if (app().bTransactionCopy) ++turnsDuringThePass;
        return !app().bTransactionCopy;
    });
    EXPECT_GE(turnsDuringThePass, 3) << "the pass kept the baton to itself";
    EXPECT_EQ(ReadTree(ram_).size(), 3000u);
}

// A sparse file: counted with its length, but it takes no memory.
void Sparse(const std::string& path, int64_t bytes) {
    const int fd = ::open(path.c_str(), O_CREAT | O_WRONLY | O_TRUNC, 0644);
    ASSERT_GE(fd, 0);
    ASSERT_EQ(::ftruncate(fd, bytes), 0);
    ::close(fd);
}

constexpr int64_t MiB = 1024 * 1024;

struct FitCase {
    const char* name;
    const char* size;
    int64_t bytes;  // counted in the source folder
    bool fits;
};

void PrintTo(const FitCase& c, std::ostream* os) { *os << c.name; }

class FitRule : public EngineTest, public ::testing::WithParamInterface<FitCase> {};

// The bytes lie in a file named as the lock folder, which is counted but never
// copied, and in one byte that shows whether the load copied anything.
TEST_P(FitRule, ALoadFitsOnlyBelowTheSizeLessSixtyMB) {
    const FitCase& c = GetParam();
    a().sSize = c.size;
    WriteTree(source_, {{"a", File("1")}});
    Sparse(source_ + "/TMP", c.bytes - 1);
    WriteTree(ram_, {{"old", File("only on the RAM disk")}});
    RunPass(true);

    EXPECT_EQ(a().dMemUsed, static_cast<double>(c.bytes));
    EXPECT_EQ(a().bShowOptions, !c.fits);
    EXPECT_EQ(a().bLoadComplete, c.fits);
    if (c.fits) {
        EXPECT_EQ(a().sState, App::kSyncReady());
        EXPECT_EQ(Difference({{"a", File("1")}, {"old", File("only on the RAM disk")}}, ReadTree(ram_)), "");
    } else {
        EXPECT_EQ(a().sState, App::kLoadIncomplete());
        EXPECT_EQ(Difference({{"old", File("only on the RAM disk")}}, ReadTree(ram_)), "") << "nothing copied or deleted";
    }
}

const FitCase kFitCases[] = {
    {"OneGBFitsOneByteBelow964MB", "1.024", 964 * MiB - 1, true},
    {"OneGBDoesNotFitAt964MB", "1.024", 964 * MiB, false},
    {"TheSmallestSizeFitsBelow196MB", "256", 196 * MiB - 1, true},
    {"TheSmallestSizeDoesNotFitAt196MB", "256", 196 * MiB, false},
    {"FourGBFitsBelow4036MB", "4.096", 4036 * MiB - 1, true},
};

INSTANTIATE_TEST_SUITE_P(Sizes, FitRule, ::testing::ValuesIn(kFitCases), [](const auto& info) {
    return std::string(info.param.name);
});

TEST_F(EngineTest, ACountOverTheLimitStopsEveryLevelAtItsNextEntry) {
    a().sSize = "256";
    WriteTree(source_, {{"d/x", File("x")}, {"e", File("e")}, {"f", File("ff")}});
    Sparse(source_ + "/d/.big", 196 * MiB);
    struct stat folder {};
    ASSERT_EQ(::lstat((source_ + "/d").c_str(), &folder), 0);
    WriteTree(ram_, {});
    RunPass(true);

    // "d" itself, then ".big" ends the inner level; "e" is still added, "f" is not.
    EXPECT_EQ(a().dMemUsed, static_cast<double>(folder.st_size + 196 * MiB + 1));
    EXPECT_TRUE(a().bShowOptions);
    EXPECT_EQ(Difference({}, ReadTree(ram_)), "");
}

TEST_F(EngineTest, AWriteBackCountsNothingAndASecondOneCopiesNothing) {
    WriteTree(ram_, {{"a", File("a")}, {"d/b", File("b")}});
    WriteTree(source_, {});
    a().bLoadComplete = true;
    a().dMemUsed = 12345;
    RunPass(false);
    EXPECT_EQ(a().dMemUsed, 12345);

    struct stat before {}, after {};
    ASSERT_EQ(::lstat((source_ + "/d/b").c_str(), &before), 0);
    RunPass(false);
    ASSERT_EQ(::lstat((source_ + "/d/b").c_str(), &after), 0);
    EXPECT_EQ(before.st_ino, after.st_ino) << "an unchanged file was copied again";
    EXPECT_EQ(a().sState, App::kSyncReady());
}

TEST_F(EngineTest, AnEmptySourceFolderLoadsNothingAndSucceeds) {
    WriteTree(source_, {});
    WriteTree(ram_, {});
    RunPass(true);
    ExpectTrees({}, {});
    EXPECT_EQ(a().sState, App::kSyncReady());
    EXPECT_TRUE(a().bLoadComplete);
}

// Names that a shell would split, expand, glob or run, and one that reads as options.
const char* const kHostileNames[] = {
    " lead blank", "trail blank ", "it's",  "say \"hi\"", "$HOME",       "$(touch pwned)", "`touch pwned`",
    "semi;colon",  "star*",        "what?", "[set]",      "new\nline",   "tab\tbed",       "-rf",
    "back\\slash", "amp&",         "pipe|", "<angle>",    "~tilde",      "#hash",          "!bang",
    "{a,b}",       "ünïcödé",      "dots.."};

TEST_F(EngineTest, HostileNamesAreCopiedAndDeletedAsThemselvesOnly) {
    Tree onlyInSource, onRam;
    for (const char* name : kHostileNames) {
        onlyInSource[std::string(name) + "/inside"] = File("a folder that rm -rf must remove");
        onlyInSource[std::string("f") + name] = File("a file");
        onRam[std::string("copied ") + name] = File("from the RAM disk");
    }
    Tree common = {{"starry", File("must stay")}, {"rf", File("must stay")}, {"HOME", File("must stay")}};
    WriteTree(source_, With(onlyInSource, common));
    WriteTree(ram_, With(onRam, common));
    WriteTree("/volumes/sentinel", {{"precious", File("outside the trees")}});
    const std::string home = std::getenv("HOME");
    WriteTree(home + "/sentinel", {{"precious", File("in the home folder")}});
    a().bLoadComplete = true;
    RunPass(false);

    ExpectTrees(With(onRam, common), With(onRam, common));
    EXPECT_EQ(a().sState, App::kSyncReady()) << a().sState;
    EXPECT_EQ(Difference({{"precious", File("outside the trees")}}, ReadTree("/volumes/sentinel")), "");
    EXPECT_EQ(Difference({{"precious", File("in the home folder")}}, ReadTree(home + "/sentinel")), "");
    EXPECT_FALSE(fs::exists("pwned"));
    EXPECT_FALSE(fs::exists(source_ + "/pwned"));
    RemoveTree("/volumes/sentinel");
}

TEST_F(EngineTest, LinksAreCopiedAndRemovedAsLinksAndNeverWrittenThrough) {
    const std::string outside = "/volumes/outside";
    const Tree outsideTree = {{"precious", File("not part of any tree")}};
    WriteTree(outside, outsideTree);

    // Copied as a link; the folder it points to is not walked.
    WriteTree(source_, {{"ln", Link(outside)}});
    WriteTree(ram_, {});
    RunPass(true);
    ExpectTrees({{"ln", Link(outside)}}, {{"ln", Link(outside)}});

    // Removed as a link, not through it (a write-back after the link went from the RAM disk).
    fs::remove(ram_ + "/ln");
    RunPass(false);
    ExpectTrees({}, {});
    EXPECT_EQ(Difference(outsideTree, ReadTree(outside)), "");

    // A newer file replaces a link to a folder; it does not land inside the folder.
    // (On a new RAM disk: one kept from the last pass keeps what changed on it.)
    fs::remove(ram_ + "/" + CSync::kMomentsName);
    WriteTree(ram_, {{"x", Link(outside)}});
    SetMtime(ram_ + "/x", kOld);
    WriteTree(source_, {{"x", File("the file", kNew)}});
    RunPass(true);
    ExpectTrees({{"x", File("the file", kNew)}}, {{"x", File("the file", kNew)}});
    EXPECT_EQ(Difference(outsideTree, ReadTree(outside)), "");
    EXPECT_EQ(a().sState, App::kSyncReady());
    RemoveTree(outside);
}

// A folder renamed while the delete pass walks it, another put in its place: the
// walk leaves the old folder's entries once the path names the new one, and what
// it deletes follows the rule for what stands at each path (the moved folder is
// only in the source folder now).
TEST_F(EngineTest, AFolderMovedAwayDuringTheDeletePassEndsTheWalkOfItsOldEntries) {
    const Tree ram = {{"p/sub/a", File("a")}};
    WriteTree(ram_, ram);
    WriteTree(source_, {{"p/sub/a", File("a")}, {"p/sub/b", File("only in the source")}});
    a().bLoadComplete = true;
    ::usleep(50'000);  // old enough for the folders' listings to be trusted, not read again
    bool moved = false;
    SyncFaults::WatchEntries([&] {
        // Half through a "sub" of two entries: only the source folder's, and only
        // the delete pass walks that.
        if (moved || app().sFolder != "sub" || app().iProgress != 50) return;
        moved = true;
        fs::rename(source_ + "/p", source_ + "/p.moved");
        WriteTree(source_ + "/p/sub", {{"c", File("put in its place")}});
    });
    RunPass(false);
    SyncFaults::WatchEntries(nullptr);

    ASSERT_TRUE(moved);
    ExpectTrees({{"p/sub/c", File("put in its place")}}, ram);
    EXPECT_EQ(a().sState, App::kSyncReady());
}

// The eject detaches the volume as soon as no pass runs; a folder left open on it
// would make the detach fail as busy.
TEST_F(EngineTest, NoFolderOfEitherTreeStaysOpenOnceAPassHasEnded) {
    WriteTree(source_, {{"d/e/f", File("f")}, {"g", File("g")}});
    WriteTree(ram_, {{"old/x", File("x")}});
    for (const bool load : {true, false}) {
        SCOPED_TRACE(load ? "load" : "write-back");
        auto sync = fw::New<CSync>();  // held past the pass, as any caller may
        sync->sFolderSource(Shell(source_));
        sync->sFolderTarget(Shell(ram_));
        sync->bSet(load);
        a().bLoadComplete = true;
        a().bTransactionCopy = true;
        sync->Run();
        fw::ProcessEvents(120000, [] { return !app().bTransactionCopy; });
        EXPECT_EQ(a().sState, App::kSyncReady());
        EXPECT_TRUE(DescriptorsUnder(source_).empty()) << "in the source folder";
        EXPECT_TRUE(DescriptorsUnder(ram_).empty()) << "on the RAM disk";
        WaitIdle();
    }
}

}  // namespace
}  // namespace tvmtest

namespace tvmtest {
namespace {

// The delete pass asks the RAM disk's listing, read once per folder, whether a
// counterpart exists. A name the listing lacks is looked up afresh before
// anything is deleted; a name it still holds after its file went keeps that
// file until the next write-back, never the other way round.
TEST_F(EngineTest, TheDeletePassTrustsTheListingOnlyToKeepAFile) {
    WriteTree(source_, {{"a", File("a")}, {"b", File("b")}, {"c", File("c")}, {"d", File("d")}});
    WriteTree(ram_, {{"a", File("a")}, {"d", File("d")}});
    a().bLoadComplete = true;
    int entries = 0;
    SyncFaults::WatchEntries([&] {
        // Count and copy pass walk "a" and "d" on the RAM disk; the fifth entry
        // is "a" of the delete pass, whose question read the RAM disk's listing.
        if (++entries != 5) return;
        WriteTree(ram_, {{"b", File("b")}});
        fs::remove(ram_ + "/d");
    });
    RunPass(false);
    SyncFaults::WatchEntries(nullptr);
    Tree source = ReadTree(source_);
    EXPECT_TRUE(source.count("b")) << "deleted although the RAM disk had it by then";
    EXPECT_FALSE(source.count("c"));
    source.erase("d");  // may go now or with the next write-back
    EXPECT_EQ(Difference({{"a", File("a")}, {"b", File("b")}}, source), "");
    EXPECT_EQ(a().sState, App::kSyncReady());

    RunPass(false);
    ExpectTrees({{"a", File("a")}, {"b", File("b")}}, {{"a", File("a")}, {"b", File("b")}});
}

// A stand-in for rm on the tools path that logs each call before it removes.
void InstallLoggingRm(const std::string& folder, const std::string& log) {
    fs::create_directories(folder);
    const std::string script = folder + "/rm";
    WriteTree(folder, {{"rm", File("#!/bin/sh\necho \"$*\" >>'" + log + "'\nexec /bin/rm \"$@\"\n")}});
    fs::permissions(script, fs::perms(0755));
}

// Emptying a folder entry by entry keeps its listing up to date instead of
// reading it again after every deletion, and no shell runs, not even for a
// folder that Delete cannot remove because it still holds skipped entries.
TEST_F(EngineTest, DeletingAFolderFullOfFilesIsLinear) {
    Tree many;
    for (int i = 0; i < 400; ++i) many["many/f" + std::to_string(i)] = File("x");
    WriteTree(source_, With(many, {{"kept-hidden/TMP/h", File("the lock folder's name")}, {"kept-hidden/x", File("x")}}));
    WriteTree(ram_, {{"many", Folder()}});
    const std::string tools = "/volumes/tools", log = "/volumes/rm.log";
    InstallLoggingRm(tools, log);
    fw::SetToolsFolder(tools);
    a().bLoadComplete = true;
    ::usleep(50'000);  // old enough for the listings to be trusted
    const int64_t readsBefore = fw::FolderItem::ListingReads();
    RunPass(false);
    const int64_t reads = fw::FolderItem::ListingReads() - readsBefore;

    ExpectTrees({{"many", Folder()}}, {{"many", Folder()}});
    EXPECT_EQ(a().sState, App::kSyncReady());
    EXPECT_LT(reads, 40) << "listings read for 400 deletions";
    std::ifstream in(log);
    std::vector<std::string> calls;
    for (std::string line; std::getline(in, line);) calls.push_back(line);
    EXPECT_TRUE(calls.empty()) << calls.front();
    RemoveTree(tools);
    fs::remove(log);
}

}  // namespace
}  // namespace tvmtest
