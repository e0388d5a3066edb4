// What one pass does to each kind of entry, in both directions.
#include "EngineFixture.h"
#include "engine/CCleanRAMDisk.h"

namespace tvmtest {
namespace {

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
    EXPECT_EQ(a().oCleanRamDisk->bWriteBackEnded, c.direction != kLoad) << "only a write-back saves the RAM disk";
    EXPECT_EQ(a().iProgress, 0);
    EXPECT_EQ(a().sFolder, "");
}

// The program's own folders, at any depth, and the desktop's trash at a root.
const Tree kSkippedEverywhere = {
    {"TMP/T.dat", File("")},
    {"TavelmorinthSettings/Settings.dat", File("256\n60\n")},
    {"sub/TMP/x", File("x")},
    {"sub/deep/TavelmorinthSettings/y", File("y")},
    {".Trash-1000/files/thrown-away", File("t")},
};

// Hidden names are the user's: a repository, a project's settings.
const Tree kHidden = {
    {".git/HEAD", File("ref: refs/heads/main\n")},
    {".git/objects/ab/cdef", File("blob")},
    {".env", File("KEY=1")},
    {".config/app/rc", File("rc")},
    {"sub/.hidden", File("h")},
    {"sub/.Trash-1000/kept", File("not at a root: the user's")},
    {".Trash", File("no uid: the user's")},
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
     With(kSkippedEverywhere, {{"sub/f", File("f")}}), {{".Trash-0/x", File("r")}, {"TMP/other", File("o")}},
     With(kSkippedEverywhere, {{"sub/f", File("f")}}),
     {{".Trash-0/x", File("r")}, {"TMP/other", File("o")}, {"sub/deep", Folder()}, {"sub/f", File("f")}}},
    {"LoadCopiesHiddenNames", kLoad,
     kHidden, {{".only-on-ram", File("r")}},
     kHidden, With(kHidden, {{".only-on-ram", File("r")}})},
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
    {"WriteBackNeverTouchesTheLockAndSettingsFoldersOrTheTrash", kWriteBack,
     {{"TMP/T.dat", File("")}, {"TavelmorinthSettings/Settings.dat", File("256")}, {".Trash-1000/a", File("a")}},
     {{".Trash-1000/b", File("b")}},
     {{"TMP/T.dat", File("")}, {"TavelmorinthSettings/Settings.dat", File("256")}, {".Trash-1000/a", File("a")}},
     {{".Trash-1000/b", File("b")}}},
    {"WriteBackSavesAndDeletesHiddenNames", kWriteBack,
     {{".env", File("old", kOld)}, {".gone-on-the-ram-disk", File("g")}, {".git/index", File("i")}},
     With(kHidden, {{".env", File("KEY=2", kNew)}}),
     With(kHidden, {{".env", File("KEY=2", kNew)}}), With(kHidden, {{".env", File("KEY=2", kNew)}})},
};

INSTANTIATE_TEST_SUITE_P(Mirror, MirrorTable, ::testing::ValuesIn(kCases),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace tvmtest
