// Entries that cannot be mirrored or fail: each is its own, the walk goes on
// with the entries after it and into the folders, and the log names it.
#include <sys/mount.h>
#include <sys/stat.h>

#include <cerrno>
#include <filesystem>

#include "EngineFixture.h"
#include "engine/CCleanRAMDisk.h"
#include "engine/SyncFaults.h"
#include "framework/Log.h"

namespace tvmtest {
namespace {

namespace fs = std::filesystem;

struct EntryCase {
    const char* name;
    Direction direction;
    Tree sourceBefore, ramBefore;
    Tree sourceAfter, ramAfter;
    int failures;
    const char* unreadable = nullptr;  // an entry of the base tree that cannot be read
};

void PrintTo(const EntryCase& c, std::ostream* os) { *os << c.name; }

class EntryTable : public EngineTest, public ::testing::WithParamInterface<EntryCase> {};

// Entries that sort after the troublesome one, at its level and below.
const Tree kAfter = {{"z.txt", File("after it", kNew)}, {"zdir/inner", File("inside a folder after it", kNew)}};

TEST_P(EntryTable, OneEntryNeverStopsTheOthers) {
    const EntryCase& c = GetParam();
    const bool load = c.direction == kLoad;
    if (c.unreadable) SyncFaults::Inject((load ? source_ : ram_) + "/" + c.unreadable, EIO);
    WriteTree(source_, load ? With(c.sourceBefore, kAfter) : c.sourceBefore);
    WriteTree(ram_, load ? c.ramBefore : With(c.ramBefore, kAfter));
    a().bLoadComplete = true;
    testing::internal::CaptureStderr();
    RunPass(load);
    const std::string log = testing::internal::GetCapturedStderr();

    ExpectTrees(With(c.sourceAfter, kAfter), With(c.ramAfter, kAfter));
    EXPECT_EQ(a().iSyncFailures, c.failures) << log;
    EXPECT_EQ(a().sState, c.failures ? Incomplete(c.failures) : App::kSyncReady());
    if (load) {
        EXPECT_EQ(a().bLoadComplete, c.failures == 0);
    }
    if (c.failures) {
        EXPECT_NE(log.find("/x"), std::string::npos) << "the log names the entry: " << log;
    }
}

const Tree kFifo = {{"p", Special("fifo")}};
const Tree kSocket = {{"s", Special("socket")}};
const Tree kDevice = {{"dev", Special("device")}};
const Tree kAllSpecial = With(With(kFifo, kSocket), kDevice);

const EntryCase kEntryCases[] = {
    // FIFOs, sockets and device nodes are no data: left where they are, never
    // copied, never deleted, and no failure.
    {"ALoadLeavesFIFOsSocketsAndDevicesInTheSource", kLoad, kAllSpecial, {}, kAllSpecial, {}, 0},
    {"AWriteBackLeavesThemOnTheRAMDisk", kWriteBack, {}, kAllSpecial, {}, kAllSpecial, 0},
    {"AWriteBackNeverDeletesThemInTheSource", kWriteBack, kAllSpecial, {}, kAllSpecial, {}, 0},
    {"AFolderDeletedOnTheRAMDiskStaysWhileItHoldsOne", kWriteBack,
     {{"gone/p", Special("fifo")}, {"gone/file", File("f")}, {"gone/sub/s", Special("socket")}}, {},
     {{"gone/p", Special("fifo")}, {"gone/sub/s", Special("socket")}}, {}, 0},
    {"ASpecialEntryOnTheRAMDiskLeavesTheSourcesFile", kWriteBack,
     {{"p", File("the source's file")}}, kFifo, {{"p", File("the source's file")}}, kFifo, 0},
    {"ALoadLeavesTheSourcesFileWhereTheRAMDiskHasAFIFO", kLoad,
     {{"p", File("the source's file")}}, kFifo, {{"p", File("the source's file")}}, kFifo, 0},
    // A file of the RAM disk's whose place in the source is taken fails alone:
    // it is not saved, so the eject must wait.
    {"AFileWhosePlaceInTheSourceIsAFIFOFailsAlone", kWriteBack,
     {{"x", Special("fifo")}}, {{"x", File("the user's", kNew)}},
     {{"x", Special("fifo")}}, {{"x", File("the user's", kNew)}}, 1},
    {"AFileThatCannotBeReadFailsAlone", kLoad,
     {{"x", File("x")}, {"a", File("a")}}, {},
     {{"x", File("x")}, {"a", File("a")}}, {{"a", File("a")}}, 1, "x"},
    {"AFolderThatCannotBeMadeFailsAloneWithoutItsContents", kWriteBack,
     {}, {{"x/in", File("in")}, {"a", File("a")}},
     {{"a", File("a")}}, {{"x/in", File("in")}, {"a", File("a")}}, 1, "x"},
};

INSTANTIATE_TEST_SUITE_P(Entries, EntryTable, ::testing::ValuesIn(kEntryCases),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(EngineTest, AFullSourceDiskStopsOnlyTheFilesThatDoNotFit) {
    fs::create_directories(source_);
    ASSERT_EQ(::mount("tvm-test", source_.c_str(), "tmpfs", 0, "size=512k"), 0);
    const Tree ram = {{"a-first", File("saved before", kNew)},
                      {"big", File(std::string(2 * 1024 * 1024, 'b'), kNew)},
                      {"c-after", File("saved after", kNew)},
                      {"d/e", File("in a folder after it", kNew)}};
    WriteTree(ram_, ram);
    WriteTree(source_, {{"only-in-source", File("s")}});
    a().bLoadComplete = true;
    testing::internal::CaptureStderr();
    RunPass(false);
    const std::string log = testing::internal::GetCapturedStderr();

    ExpectTrees({{"a-first", File("saved before", kNew)},
                 {"c-after", File("saved after", kNew)},
                 {"d/e", File("in a folder after it", kNew)},
                 {"only-in-source", File("s")}},  // nothing is deleted after a failure
                ram);
    EXPECT_EQ(a().iSyncFailures, 1);
    EXPECT_EQ(a().sState, Incomplete(1, /*sourceFull=*/true));
    EXPECT_FALSE(a().bLastSyncComplete);
    EXPECT_NE(log.find(source_ + "/big"), std::string::npos) << log;
    EXPECT_NE(log.find(fw::ErrorText(ENOSPC)), std::string::npos) << log;
}

TEST_F(EngineTest, AFailureInsideAFolderLeavesTheRestOfItAndTheFoldersAfterIt) {
    WriteTree(ram_, {{"d/a", File("a", kNew)}, {"d/b", File("b", kNew)}, {"d/c", File("c", kNew)},
                     {"e/f", File("f", kNew)}});
    WriteTree(source_, {});
    SyncFaults::Inject(ram_ + "/d/b", EIO);
    SyncFaults::Inject(source_ + "/e/f", EACCES);
    a().bLoadComplete = true;
    RunPass(false);
    ExpectTrees({{"d/a", File("a", kNew)}, {"d/c", File("c", kNew)}, {"e", Folder()}},
                {{"d/a", File("a", kNew)}, {"d/b", File("b", kNew)}, {"d/c", File("c", kNew)}, {"e/f", File("f", kNew)}});
    EXPECT_EQ(a().iSyncFailures, 2);
    EXPECT_EQ(a().sState, Incomplete(2));
}

}  // namespace
}  // namespace tvmtest
