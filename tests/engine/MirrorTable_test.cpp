// What one pass does to each kind of entry, in both directions.
#include "EngineFixture.h"
#include "engine/CCleanRAMDisk.h"

namespace tvmtest {
namespace {

enum Direction { kLoad, kWriteBack };

struct MirrorCase {
    const char* name;
    Direction direction;
    Tree sourceBefore, ramBefore;
    Tree sourceAfter, ramAfter;
};

void PrintTo(const MirrorCase& c, std::ostream* os) { *os << c.name; }

class MirrorTable : public EngineTest, public ::testing::WithParamInterface<MirrorCase> {};

TEST_P(MirrorTable, OnePassLeavesBothTreesAsExpected) {
    const MirrorCase& c = GetParam();
    WriteTree(source_, c.sourceBefore);
    WriteTree(ram_, c.ramBefore);
    a().bLoadComplete = true;  // a write-back after a clean load deletes
    RunPass(c.direction == kLoad);

    ExpectTrees(c.sourceAfter, c.ramAfter);
    EXPECT_EQ(a().sState, App::kSyncReady());
    EXPECT_EQ(a().iSyncFailures, 0);
    EXPECT_TRUE(a().bLastSyncComplete);
    EXPECT_EQ(a().oCleanRamDisk->bSaved, c.direction != kLoad) << "only a write-back saves the RAM disk";
    EXPECT_EQ(a().iProgress, 0);
    EXPECT_EQ(a().sFolder, "");
}

const Tree kSkippedEverywhere = {
    {"TMP/T.dat", File("")},
    {"TavelmorinthSettings/Settings.dat", File("256\n60\n")},
    {".hidden-notes", File("hidden")},
    {"sub/.hidden", File("h")},
    {"sub/TMP/x", File("x")},
    {"sub/deep/TavelmorinthSettings/y", File("y")},
};

const MirrorCase kCases[] = {
    {"LoadCopiesAFileOnlyInTheSourceWithItsDate", kLoad,
     {{"a", File("alpha", kOld)}}, {},
     {{"a", File("alpha", kOld)}}, {{"a", File("alpha", kOld)}}},
    {"LoadCreatesAFolderOnlyInTheSourceWithItsContents", kLoad,
     {{"d/e/f", File("deep")}, {"d/g", File("g")}, {"empty", Folder()}}, {},
     {{"d/e/f", File("deep")}, {"d/g", File("g")}, {"empty", Folder()}},
     {{"d/e/f", File("deep")}, {"d/g", File("g")}, {"empty", Folder()}}},
    {"LoadReplacesAFileThatIsNewerInTheSource", kLoad,
     {{"a", File("new", kNew)}}, {{"a", File("old", kOld)}},
     {{"a", File("new", kNew)}}, {{"a", File("new", kNew)}}},
    {"LoadKeepsAFileThatIsNewerOnTheRAMDisk", kLoad,
     {{"a", File("old", kOld)}}, {{"a", File("new", kNew)}},
     {{"a", File("old", kOld)}}, {{"a", File("new", kNew)}}},
    {"LoadKeepsAFileOfTheSameDate", kLoad,
     {{"a", File("one", kOld)}}, {{"a", File("two", kOld)}},
     {{"a", File("one", kOld)}}, {{"a", File("two", kOld)}}},
    // Whatever a RAM disk holds beyond the source folder was saved there while it
    // loaded (or left by a run that ended without its eject): a load keeps it.
    {"LoadKeepsFilesOnlyOnTheRAMDisk", kLoad,
     {{"keep", File("k")}}, {{"a", File("1")}, {"b", File("2")}, {"c", File("3")}},
     {{"keep", File("k")}}, {{"a", File("1")}, {"b", File("2")}, {"c", File("3")}, {"keep", File("k")}}},
    {"LoadKeepsAFolderOnlyOnTheRAMDisk", kLoad,
     {}, {{"d/.hidden", File("h")}, {"d/TMP/x", File("x")}, {"d/sub/f", File("f")}},
     {}, {{"d/.hidden", File("h")}, {"d/TMP/x", File("x")}, {"d/sub/f", File("f")}}},
    {"SkippedNamesAreNeverCopiedOrDeletedByALoad", kLoad,
     With(kSkippedEverywhere, {{"sub/f", File("f")}}), {{".only-on-ram", File("r")}, {"TMP/other", File("o")}},
     With(kSkippedEverywhere, {{"sub/f", File("f")}}),
     {{".only-on-ram", File("r")}, {"TMP/other", File("o")}, {"sub/deep", Folder()}, {"sub/f", File("f")}}},
    {"NameTestsAreCaseSensitive", kLoad,
     {{"tmp", File("t")}, {"Tmp/x", File("x")}, {"tavelmorinthsettings", File("s")}}, {},
     {{"tmp", File("t")}, {"Tmp/x", File("x")}, {"tavelmorinthsettings", File("s")}},
     {{"tmp", File("t")}, {"Tmp/x", File("x")}, {"tavelmorinthsettings", File("s")}}},
    {"LoadCopiesALinkAsALink", kLoad,
     {{"ln", Link("/volumes/elsewhere")}, {"rel", Link("a")}, {"a", File("a")}}, {},
     {{"ln", Link("/volumes/elsewhere")}, {"rel", Link("a")}, {"a", File("a")}},
     {{"ln", Link("/volumes/elsewhere")}, {"rel", Link("a")}, {"a", File("a")}}},

    {"WriteBackCopiesAFileOnlyOnTheRAMDisk", kWriteBack,
     {}, {{"d/a", File("alpha")}},
     {{"d/a", File("alpha")}}, {{"d/a", File("alpha")}}},
    {"WriteBackOverwritesAFileThatIsNewerInTheSource", kWriteBack,
     {{"a", File("edited in the source", kNew)}}, {{"a", File("ram", kOld)}},
     {{"a", File("ram", kOld)}}, {{"a", File("ram", kOld)}}},
    {"WriteBackCopiesAFileThatIsNewerOnTheRAMDisk", kWriteBack,
     {{"a", File("old", kOld)}}, {{"a", File("new", kNew)}},
     {{"a", File("new", kNew)}}, {{"a", File("new", kNew)}}},
    {"WriteBackDeletesAFileOnlyInTheSource", kWriteBack,
     {{"a", File("gone on the RAM disk")}, {"b", File("b")}}, {{"b", File("b")}},
     {{"b", File("b")}}, {{"b", File("b")}}},
    {"WriteBackRemovesAFolderDeletedOnTheRAMDiskWithEverythingInIt", kWriteBack,
     {{"d/.hidden", File("h")}, {"d/x/y", File("y")}, {"d/TMP/z", File("z")}}, {},
     {}, {}},
    {"WriteBackNeverTouchesTheLockAndSettingsFolders", kWriteBack,
     {{"TMP/T.dat", File("")}, {"TavelmorinthSettings/Settings.dat", File("256")}, {".hidden-notes", File("f")}},
     {{".hidden-notes", File("other")}},
     {{"TMP/T.dat", File("")}, {"TavelmorinthSettings/Settings.dat", File("256")}, {".hidden-notes", File("f")}},
     {{".hidden-notes", File("other")}}},
};

INSTANTIATE_TEST_SUITE_P(Mirror, MirrorTable, ::testing::ValuesIn(kCases),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace tvmtest
