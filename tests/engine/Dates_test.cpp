// A file changed on the RAM disk since the last pass is the user's work: saved
// whatever its date says, never replaced by a load, and where the source's copy
// changed too, that copy is kept beside it.
#include <cerrno>
#include <filesystem>
#include <fstream>

#include "EngineFixture.h"
#include "engine/SyncFaults.h"

namespace tvmtest {
namespace {

namespace fs = std::filesystem;

enum class Road { CompleteLoad, IncompleteLoad, KeptRAMDisk, ChangedOnBothSides };

struct DateCase {
    const char* name;
    Road road;
    int64_t editMtime;  // the RAM disk's edit, against the source copy's kNew
};

void PrintTo(const DateCase& c, std::ostream* os) { *os << c.name; }

class DateTable : public EngineTest, public ::testing::WithParamInterface<DateCase> {
protected:
    // Entries whose name begins with `prefix`, in `root`.
    static std::vector<std::string> Named(const std::string& root, const std::string& prefix) {
        std::vector<std::string> names;
        for (const auto& e : fs::directory_iterator(root)) {
            const std::string name = e.path().filename().string();
            if (name.starts_with(prefix)) names.push_back(name);
        }
        return names;
    }
};

const Node kSourceCopy = File("as loaded", kNew);
const Node kUntouched = File("untouched", kOld);

TEST_P(DateTable, AnEditOnTheRAMDiskIsNeverLostToADate) {
    const DateCase& c = GetParam();
    WriteTree(source_, {{"a.txt", kSourceCopy}, {"b", kUntouched}, {"c", File("c")}});
    WriteTree(ram_, {});
    if (c.road == Road::IncompleteLoad) SyncFaults::Inject(source_ + "/c", EIO);
    RunPass(true);
    SyncFaults::Clear();
    ASSERT_EQ(a().bLoadComplete, c.road != Road::IncompleteLoad);
    if (c.road == Road::KeptRAMDisk) RunPass(false);  // saved once, then the program died

    const Node edit = File("edited on the RAM disk", c.editMtime);
    WriteTree(ram_, {{"a.txt", edit}});
    const Node sourceEdit = File("edited in the source folder meanwhile", kNew + 500);
    if (c.road == Road::ChangedOnBothSides) WriteTree(source_, {{"a.txt", sourceEdit}});

    if (c.road == Road::KeptRAMDisk) {
        // The next start finds the RAM disk still attached and loads onto it.
        RunPass(true, /*keepTarget=*/true);
        EXPECT_EQ(ReadTree(ram_).at("a.txt"), edit) << "a load replaced the user's edit";
    }
    RunPass(false);

    const Tree tree = ReadTree(source_);
    EXPECT_EQ(tree.at("a.txt"), edit);
    EXPECT_EQ(ReadTree(ram_).at("a.txt"), edit);
    EXPECT_EQ(tree.at("b"), kUntouched);
    const auto sourceCopies = Named(source_, "a (source copy ");
    const auto ramCopies = Named(ram_, "a (source copy ");
    if (c.road == Road::ChangedOnBothSides) {
        ASSERT_EQ(sourceCopies.size(), 1u);
        EXPECT_TRUE(sourceCopies[0].ends_with(").txt")) << sourceCopies[0];
        EXPECT_EQ(ramCopies, sourceCopies) << "kept on both sides, so that no write-back deletes it";
        EXPECT_EQ(tree.at(sourceCopies[0]), sourceEdit);
        // A later write-back that deletes keeps it.
        a().bLoadComplete = true;
        RunPass(false);
        EXPECT_EQ(ReadTree(source_).at(sourceCopies[0]), sourceEdit);
    } else {
        EXPECT_TRUE(sourceCopies.empty());
        EXPECT_TRUE(ramCopies.empty());
    }
}

const DateCase kDateCases[] = {
    {"CompleteLoadEditDatedLater", Road::CompleteLoad, kNew + 100},
    {"CompleteLoadEditDatedEarlier", Road::CompleteLoad, kOld},
    {"CompleteLoadEditOfTheSameDate", Road::CompleteLoad, kNew},
    {"IncompleteLoadEditDatedLater", Road::IncompleteLoad, kNew + 100},
    {"IncompleteLoadEditDatedEarlier", Road::IncompleteLoad, kOld},
    {"IncompleteLoadEditOfTheSameDate", Road::IncompleteLoad, kNew},
    {"KeptRAMDiskEditDatedLater", Road::KeptRAMDisk, kNew + 100},
    {"KeptRAMDiskEditDatedEarlier", Road::KeptRAMDisk, kOld},
    {"KeptRAMDiskEditOfTheSameDate", Road::KeptRAMDisk, kNew},
    {"BothSidesEditDatedLater", Road::ChangedOnBothSides, kNew + 1000},
    {"BothSidesEditDatedEarlier", Road::ChangedOnBothSides, kOld},
    {"BothSidesEditOfTheSameDate", Road::ChangedOnBothSides, kNew + 500},
};

INSTANTIATE_TEST_SUITE_P(Dates, DateTable, ::testing::ValuesIn(kDateCases),
                         [](const auto& info) { return std::string(info.param.name); });

// Both sides changed while the program was not running: the load onto the kept
// RAM disk keeps the RAM disk's version and puts the source's beside it.
TEST_F(DateTable, ALoadOntoAKeptRAMDiskKeepsBothVersionsOfAFileChangedOnBothSides) {
    WriteTree(source_, {{"a.txt", kSourceCopy}});
    WriteTree(ram_, {});
    RunPass(true);
    RunPass(false);
    const Node ramEdit = File("edited on the RAM disk", kOld);
    const Node sourceEdit = File("edited in the source folder", kNew + 100);
    WriteTree(ram_, {{"a.txt", ramEdit}});
    WriteTree(source_, {{"a.txt", sourceEdit}});

    RunPass(true, /*keepTarget=*/true);
    EXPECT_EQ(ReadTree(ram_).at("a.txt"), ramEdit);
    const auto copies = Named(ram_, "a (source copy ");
    ASSERT_EQ(copies.size(), 1u);
    EXPECT_EQ(Named(source_, "a (source copy "), copies);
    EXPECT_EQ(ReadTree(ram_).at(copies[0]), sourceEdit);

    RunPass(false);
    const Tree both = {{"a.txt", ramEdit}, {copies[0], sourceEdit}};
    ExpectTrees(both, both);
}

// An edit of a file with two names: replacing one name in the source folder
// moves the change time of the old file's other name, which is the pass's own
// doing and no edit of the user's, so no source copy is kept for it.
TEST_F(DateTable, AnEditOfAHardLinkedFileKeepsNoSourceCopyOfItsOtherName) {
    WriteTree(source_, {{"a.txt", kSourceCopy}});
    fs::create_hard_link(source_ + "/a.txt", source_ + "/b.txt");
    WriteTree(ram_, {});
    RunPass(true);
    ASSERT_TRUE(fs::equivalent(ram_ + "/a.txt", ram_ + "/b.txt"));
    RunPass(false);
    {
        std::ofstream edit(ram_ + "/a.txt", std::ios::trunc);  // in place: both names see it
        edit << "edited on the RAM disk";
    }
    for (int pass = 0; pass < 2; ++pass) RunPass(false);

    EXPECT_TRUE(Named(source_, "a (source copy ").empty() && Named(source_, "b (source copy ").empty());
    EXPECT_TRUE(Named(ram_, "a (source copy ").empty() && Named(ram_, "b (source copy ").empty());
    EXPECT_EQ(ReadTree(source_).at("b.txt").data, "edited on the RAM disk");
    EXPECT_TRUE(fs::equivalent(source_ + "/a.txt", source_ + "/b.txt"));
    EXPECT_EQ(a().sState, App::kSyncReady());
}

// Files that did not change on the RAM disk keep the date rules: after an
// incomplete load an older RAM-disk copy never replaces the source's.
TEST_F(EngineTest, AnUnchangedFileFollowsTheDateRules) {
    WriteTree(source_, {{"a", File("a", kOld)}, {"c", File("c")}});
    WriteTree(ram_, {});
    SyncFaults::Inject(source_ + "/c", EIO);
    RunPass(true);
    SyncFaults::Clear();
    WriteTree(source_, {{"a", File("newer in the source", kNew)}});
    RunPass(false);
    EXPECT_EQ(ReadTree(source_).at("a"), File("newer in the source", kNew));
    EXPECT_EQ(ReadTree(ram_).at("a"), File("a", kOld));
}

}  // namespace
}  // namespace tvmtest
