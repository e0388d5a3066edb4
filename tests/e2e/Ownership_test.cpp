// The real program finds something at /volumes/Tavelmorinth when it starts: what
// an unclean end and a restart left of its own is cleared and a fresh RAM disk made;
// anything else is never loaded into, saved from, locked or ejected, and a quit
// still ends the program.
#include <sys/mount.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <thread>

#include "ProgramFixture.h"
#include "framework/Shell.h"

namespace tvmtest {
namespace {

namespace fs = std::filesystem;

constexpr uid_t kOtherUser = 65534;  // nobody

const Tree kMine = {{"notes.txt", File("mine\n")}, {"Projekt/entwurf.txt", File("draft")}};
const Tree kTheirs = {{"notes.txt", File("planted\n")}, {"theirs.txt", File("not yours")}};

struct Found {
    const char* name;
    void (*plant)();
    const char* foreignFolder;  // where the foreign files are, "" for a leftover
};

void PrintTo(const Found& row, std::ostream* os) { *os << row.name; }

void ChownTree(const std::string& root, uid_t uid) {
    ::lchown(root.c_str(), uid, uid);
    for (auto& entry : fs::recursive_directory_iterator(root)) ::lchown(entry.path().c_str(), uid, uid);
}

// What the tools make and a restart half takes away: the mount goes, its folder and
// device record stay on the system disk.
void VolumeARestartTookAway() {
    fw::Shell shell;
    shell.Execute("diskutil erasevolume HFS+ 'Tavelmorinth' `hdiutil attach -nomount ram://4096`");
    ASSERT_EQ(shell.ErrorCode(), 0) << shell.Result();
    ASSERT_EQ(::umount2(kRamDisk, MNT_DETACH), 0);
}

const Found kLeftovers[] = {
    {"the empty mount point", [] { ASSERT_EQ(::mkdir(kRamDisk, 0755), 0); }, ""},
    {"the empty mount point and a stale device record", VolumeARestartTookAway, ""},
    {"a stale device record alone",
     [] {
         VolumeARestartTookAway();
         ASSERT_EQ(::rmdir(kRamDisk), 0);
     },
     ""},
};

const Found kForeign[] = {
    {"another user's link to a folder of theirs",
     [] {
         WriteTree("/volumes/planted", kTheirs);
         ChownTree("/volumes/planted", kOtherUser);
         ASSERT_EQ(::symlink("/volumes/planted", kRamDisk), 0);
         ASSERT_EQ(::lchown(kRamDisk, kOtherUser, kOtherUser), 0);
     },
     "/volumes/planted"},
    {"a folder with files on the system disk", [] { WriteTree(kRamDisk, kTheirs); }, kRamDisk},
    {"a link we did not make",
     [] {
         WriteTree("/volumes/elsewhere", kTheirs);
         ASSERT_EQ(::symlink("/volumes/elsewhere", kRamDisk), 0);
     },
     "/volumes/elsewhere"},
};

class FoundAtStart : public ProgramTest, public ::testing::WithParamInterface<Found> {
protected:
    void TearDown() override {
        ProgramTest::TearDown();
        std::error_code ec;
        fs::remove("/volumes/Tavelmorinth", ec);
        for (const char* planted : {"/volumes/planted", "/volumes/elsewhere", "/volumes/Tavelmorinth"})
            fs::remove_all(planted, ec);
        fs::remove_all("/dev/shm/tavelmorinth-0", ec);
    }
};

class Leftover : public FoundAtStart {};

TEST_P(Leftover, IsClearedAndAFreshRAMDiskIsLoadedAndEjected) {
    GetParam().plant();
    ASSERT_FALSE(HasFatalFailure());
    WriteTree(source_, kMine);
    WriteSettings("256", "60", source_);
    Program& program = Start();
    ASSERT_TRUE(WaitLoaded(kMine)) << ProgramLog();
    EXPECT_EQ(UserEntries(Snapshot(kRamDisk)), WithParents(kMine));
    ASSERT_TRUE(QuitAndWait(program));
    EXPECT_FALSE(Mounted(kRamDisk));
    EXPECT_FALSE(fs::exists(fs::symlink_status(kRamDisk))) << "the mount point stays on the system disk";
    EXPECT_EQ(Difference(WithParents(kMine), UserEntries(Snapshot(source_))), "");
}

INSTANTIATE_TEST_SUITE_P(AfterARestart, Leftover, ::testing::ValuesIn(kLeftovers),
                         [](const auto& info) {
                             std::string name;
                             for (char c : std::string(info.param.name)) name += std::isalnum(c) ? c : '_';
                             return name;
                         });

class Foreign : public FoundAtStart {};

TEST_P(Foreign, IsNeitherLoadedNorSavedNorEjectedAndAQuitEndsTheProgram) {
    GetParam().plant();
    ASSERT_FALSE(HasFatalFailure());
    const std::string theirs = GetParam().foreignFolder;
    WriteTree(source_, kMine);
    // The shortest interval: a write-back would have come by the time we look.
    WriteSettings("256", "10", source_);
    const auto link = fs::is_symlink(kRamDisk) ? fs::read_symlink(kRamDisk) : fs::path();
    Program& program = Start();
    std::this_thread::sleep_for(std::chrono::seconds(12));
    EXPECT_TRUE(program.Running()) << ProgramLog();
    EXPECT_FALSE(Mounted(kRamDisk));
    EXPECT_EQ(ReadTree(theirs), WithParents(kTheirs)) << "something was loaded into it or deleted in it";
    EXPECT_EQ(ReadTree(source_), WithParents(kMine)) << "something was saved from it";

    ASSERT_TRUE(QuitAndWait(program));
    EXPECT_EQ(ReadTree(theirs), WithParents(kTheirs));
    EXPECT_EQ(UserEntries(ReadTree(source_)), WithParents(kMine)) << "something was saved from it";
    EXPECT_EQ(fs::is_symlink(kRamDisk) ? fs::read_symlink(kRamDisk) : fs::path(), link);
    EXPECT_TRUE(fs::exists(fs::symlink_status(kRamDisk)));
}

INSTANTIATE_TEST_SUITE_P(AtStart, Foreign, ::testing::ValuesIn(kForeign), [](const auto& info) {
    std::string name;
    for (char c : std::string(info.param.name)) name += std::isalnum(c) ? c : '_';
    return name;
});

}  // namespace
}  // namespace tvmtest
