// Wrong command lines and places that are taken: the tools refuse and leave every
// existing file, folder, link and volume as it was.
#include <filesystem>
#include <sys/stat.h>
#include <unistd.h>

#include "Mounts.h"
#include "ToolsFixture.h"

namespace tooltest {
namespace {

// Each command line is wrong; it must end with the usage text and code 2, never 16.
TEST_F(ToolsTest, WrongCommandLinesShowTheUsageAndMakeNothing) {
    const std::string device = "`hdiutil attach -nomount ram://8`";
    const struct {
        const char* why;
        std::string command;
    } rows[] = {
        {"no verb", "hdiutil"},
        {"an unknown verb", "hdiutil mount ram://8"},
        {"attach without a URL", "hdiutil attach -nomount"},
        {"attach that would mount", "hdiutil attach ram://8"},
        {"an unknown option", "hdiutil attach -nomount -readonly ram://8"},
        {"two images", "hdiutil attach -nomount ram://8 ram://8"},
        {"zero sectors", "hdiutil attach -nomount ram://0"},
        {"no number", "hdiutil attach -nomount ram://"},
        {"a word for a number", "hdiutil attach -nomount ram://abc"},
        {"a negative number", "hdiutil attach -nomount ram://-8"},
        {"a signed number", "hdiutil attach -nomount ram://+8"},
        {"a number with a unit", "hdiutil attach -nomount ram://8m"},
        {"another scheme", "hdiutil attach -nomount file://8"},
        {"a number that overflows", "hdiutil attach -nomount ram://99999999999999999999999"},
        {"more sectors than the machine has memory", "hdiutil attach -nomount ram://1000000000000000"},
        {"detach without a path", "hdiutil detach"},
        {"detach with two paths", "hdiutil detach /volumes/A /volumes/B"},
        {"detach with an option", "hdiutil detach -force /volumes/Tavelmorinth"},
        {"no disk verb", "diskutil"},
        {"an unknown disk verb", "diskutil eject /volumes/Tavelmorinth"},
        {"erasevolume without a device", "diskutil erasevolume HFS+ Tavelmorinth"},
        {"another file system", "diskutil erasevolume APFS Tavelmorinth " + device},
        {"an empty name", "diskutil erasevolume HFS+ '' " + device},
        {"the name of the volumes folder's parent", "diskutil erasevolume HFS+ .. " + device},
        {"the name of the volumes folder itself", "diskutil erasevolume HFS+ . " + device},
        {"a name with a slash", "diskutil erasevolume HFS+ ../etc " + device},
        {"the name of the device records", "diskutil erasevolume HFS+ .ramdevices " + device},
        {"a name with a line break", "diskutil erasevolume HFS+ 'a\nb' " + device},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(std::string(row.why) + ": " + row.command);
        Outcome refused = RunShell(row.command);
        EXPECT_EQ(refused.code, 2) << refused.err;
        EXPECT_NE(refused.err.find("usage:"), std::string::npos) << refused.err;
        EXPECT_EQ(refused.out, "");
    }
    for (auto& entry : std::filesystem::directory_iterator("/volumes"))
        EXPECT_EQ(entry.path().filename(), ".ramdevices") << "something was made in /volumes";
    EXPECT_EQ(Listing("/dev/shm"), "");
}

struct TakenCase {
    const char* name;
    As as;
    void (*setUp)();
};

void Folder(const char* path) { ASSERT_EQ(mkdir(path, 0755), 0); }

const TakenCase kTaken[] = {
    {"a mounted volume", As::Root,
     [] {
         ASSERT_EQ(RunShell(CreationCommand(8)).code, 0);
         WriteFile(std::string(kVolume) + "/keep", "keep");
     }},
    {"a folder with a file", As::Root,
     [] {
         Folder(kVolume);
         WriteFile(std::string(kVolume) + "/keep", "keep");
     }},
    {"a file", As::Root, [] { WriteFile(kVolume, "keep"); }},
    {"a symbolic link to another folder", As::Root,
     [] {
         Folder("/volumes/Elsewhere");
         ASSERT_EQ(symlink("/volumes/Elsewhere", kVolume), 0);
     }},
    {"a dangling symbolic link made by someone else", As::Root,
     [] { ASSERT_EQ(symlink("/volumes/Elsewhere", kVolume), 0); }},
};

void PrintTo(const TakenCase& row, std::ostream* os) { *os << row.name; }


class TakenPlace : public ToolsTest, public testing::WithParamInterface<TakenCase> {};

TEST_P(TakenPlace, IsLeftAloneAndTheDeviceIsNotLeftReserved) {
    GetParam().setUp();
    ASSERT_FALSE(HasFatalFailure());
    // The first attach makes the records folder; that alone is no change.
    if (mkdir("/volumes/.ramdevices", 0) == 0) {
        ASSERT_EQ(chmod("/volumes/.ramdevices", 0700), 0);
    }
    const std::string volumes = Listing("/volumes"), shm = Listing("/dev/shm");
    const auto mount = tools::MountAt(kVolume);
    Outcome refused = RunShell(CreationCommand(8), GetParam().as);
    // 2 where the attach already refused, so that no device reached diskutil.
    EXPECT_TRUE(refused.code == 1 || refused.code == 2) << refused.code << " " << refused.err;
    EXPECT_NE(refused.err, "");
    EXPECT_EQ(Listing("/volumes"), volumes);
    EXPECT_EQ(WithoutRecords(Listing("/dev/shm")), WithoutRecords(shm));
    EXPECT_EQ(tools::MountAt(kVolume).has_value(), mount.has_value());
}

INSTANTIATE_TEST_SUITE_P(AtTheMountPoint, TakenPlace, testing::ValuesIn(kTaken), SentenceName());

// Whoever else may change root's device records could rename or take away root's
// own, and root's program could no longer eject its RAM disk.
TEST_F(ToolsTest, RootsRecordsFolderIsRefusedWhenSomebodyElseMayChangeIt) {
    const struct {
        const char* why;
        uid_t owner;
        mode_t mode;
    } rows[] = {
        {"made first by another user", kNobody, 0700},
        {"root's, writable by everyone", 0, 0777},
        {"root's, writable by everyone but sticky", 0, 01777},
        {"root's, open to the group", 0, 0770},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.why);
        ASSERT_EQ(mkdir("/volumes/.ramdevices", 0700), 0);
        ASSERT_EQ(chown("/volumes/.ramdevices", row.owner, row.owner), 0);
        ASSERT_EQ(chmod("/volumes/.ramdevices", row.mode), 0);
        Outcome refused = RunShell(CreationCommand(8));
        EXPECT_NE(refused.code, 0);
        EXPECT_NE(refused.err.find("/volumes/.ramdevices"), std::string::npos) << refused.err;
        EXPECT_FALSE(tools::MountAt(kVolume).has_value());
        EXPECT_EQ(Listing("/volumes/.ramdevices"), "");
        EXPECT_EQ(rmdir("/volumes/.ramdevices"), 0);
    }
}

TEST_F(ToolsTest, RootsRAMDiskCannotBeReadOrEnteredByAnotherUser) {
    ASSERT_EQ(RunShell(CreationCommand(8)).code, 0);
    WriteFile(std::string(kVolume) + "/notes.txt", "root's own");
    ASSERT_EQ(chmod((std::string(kVolume) + "/notes.txt").c_str(), 0644), 0);
    for (const char* command : {"cat /volumes/Tavelmorinth/notes.txt", "ls /volumes/Tavelmorinth",
                                "cd /volumes/Tavelmorinth"}) {
        SCOPED_TRACE(command);
        Outcome refused = RunShell(command, As::Nobody);
        EXPECT_NE(refused.code, 0);
        EXPECT_EQ(refused.out, "");
    }
}

}  // namespace
}  // namespace tooltest
