// Making the RAM disk with the command line the program runs, and ejecting it.
#include <filesystem>
#include <sys/stat.h>
#include <sys/vfs.h>
#include <unistd.h>

#include "ToolsFixture.h"

namespace tooltest {
namespace {

struct SizeCase {
    const char* name;
    unsigned long sectors;
    unsigned long mebibytes;
};

void PrintTo(const SizeCase& row, std::ostream* os) { *os << row.name; }

class MountedVolume : public ToolsTest, public testing::WithParamInterface<SizeCase> {};

TEST_P(MountedVolume, IsAnEmptyWritableTmpfsOfTheAskedSizeAndDetachRemovesIt) {
    const unsigned long sectors = GetParam().sectors;
    Outcome made = RunShell(CreationCommand(sectors));
    ASSERT_EQ(made.code, 0) << made.err;
    EXPECT_EQ(made.out, "");
    EXPECT_EQ(made.err, "");

    ASSERT_TRUE(IsMountedTmpfs(kVolume));
    struct statfs fsInfo {};
    ASSERT_EQ(statfs(kVolume, &fsInfo), 0);
    // The program asks for 1953 sectors a MB, and gets whole MiB, as through the helper.
    EXPECT_EQ(static_cast<unsigned long>(fsInfo.f_blocks) * static_cast<unsigned long>(fsInfo.f_bsize),
              GetParam().mebibytes << 20);
    struct stat st {};
    ASSERT_EQ(stat(kVolume, &st), 0);
    EXPECT_EQ(st.st_mode & 07777, 0700u) << "root's RAM disk is root's alone";
    EXPECT_EQ(st.st_uid, 0u);
    EXPECT_EQ(Listing(kVolume), "");
    WriteFile(std::string(kVolume) + "/probe", "data");
    EXPECT_EQ(ReadFile(std::string(kVolume) + "/probe"), "data");

    Outcome detached = RunShell(DetachCommand());
    EXPECT_EQ(detached.code, 0) << detached.err;
    EXPECT_EQ(detached.out + detached.err, "");
    EXPECT_NE(access(kVolume, F_OK), 0) << "the mount point folder stays behind";
    EXPECT_EQ(Listing("/volumes"), ".ramdevices/\n") << "a device record stays behind";
}

INSTANTIATE_TEST_SUITE_P(
    Sizes, MountedVolume,
    testing::Values(SizeCase{"the 256 MB the program asks for first", 499968, 256},
                    SizeCase{"a size that is no whole MB is rounded up to one", 1001, 1},
                    SizeCase{"the 4.096 MB the program asks for at most", 7999488, 4096}),
    SentenceName());

TEST_F(ToolsTest, AttachNamesAFreshDeviceThatOnlyItsOwnerCanEraseOnce) {
    // Each user numbers the devices in records of their own: the ordinary user's third
    // device is one that root never reserved.
    RunShell("hdiutil attach -nomount ram://8", As::Nobody);
    RunShell("hdiutil attach -nomount ram://8", As::Nobody);
    Outcome others = RunShell("hdiutil attach -nomount ram://8", As::Nobody);
    Outcome first = RunShell("hdiutil attach -nomount ram://8");
    Outcome second = RunShell("hdiutil attach -nomount ram://8");
    for (auto* attach : {&first, &second, &others}) {
        EXPECT_EQ(attach->code, 0) << attach->err;
        EXPECT_TRUE(IsDeviceLine(attach->out)) << attach->out;
        EXPECT_EQ(attach->err, "");
    }
    EXPECT_NE(first.out, second.out);
    EXPECT_NE(first.out, others.out);
    EXPECT_NE(second.out, others.out);
    auto device = [](const Outcome& attach) { return attach.out.substr(0, attach.out.size() - 1); };

    EXPECT_EQ(RunShell("diskutil erasevolume HFS+ Tavelmorinth /dev/tvram999").code, 1);
    EXPECT_EQ(RunShell("diskutil erasevolume HFS+ Tavelmorinth " + device(others)).code, 1)
        << "a device someone else reserved was taken";
    EXPECT_NE(access(kVolume, F_OK), 0);

    ASSERT_EQ(RunShell("diskutil erasevolume HFS+ Tavelmorinth " + device(first)).code, 0);
    Outcome again = RunShell("diskutil erasevolume HFS+ Other " + device(first));
    EXPECT_EQ(again.code, 1);
    EXPECT_NE(again.err.find("already holds"), std::string::npos) << again.err;
    EXPECT_NE(access("/volumes/Other", F_OK), 0);
    EXPECT_TRUE(IsMountedTmpfs(kVolume));
}

TEST_F(ToolsTest, AnEmptyFolderAlreadyThereBecomesTheMountPoint) {
    ASSERT_EQ(mkdir(kVolume, 0700), 0);
    ASSERT_EQ(RunShell(CreationCommand(8)).code, 0);
    EXPECT_TRUE(IsMountedTmpfs(kVolume));
    EXPECT_EQ(RunShell(DetachCommand()).code, 0);
    EXPECT_NE(access(kVolume, F_OK), 0);
}

// Nothing at /volumes/Tavelmorinth may lead anywhere but to a mount: no road makes
// a link, so no other user can put one there or swap it.
struct RefusedCase {
    const char* name;
    As as;
    int code;
    const char* says;
};

void PrintTo(const RefusedCase& row, std::ostream* os) { *os << row.name; }

class NoMountAllowed : public ToolsTest, public testing::WithParamInterface<RefusedCase> {};

TEST_P(NoMountAllowed, MakesNothingAtAllAndSaysWhy) {
    const RefusedCase& c = GetParam();
    Outcome made = RunShell(CreationCommand(499968), c.as);
    EXPECT_EQ(made.code, c.code) << made.err;
    EXPECT_NE(made.err.find(c.says), std::string::npos) << made.err;
    EXPECT_EQ(WithoutRecords(Listing("/volumes")), "");
    EXPECT_EQ(Listing("/dev/shm"), "");
    // The device reserved for the volume is freed again.
    EXPECT_EQ(RunShell("hdiutil attach -nomount ram://8", c.as).out, "/dev/tvram1\n");
}

INSTANTIATE_TEST_SUITE_P(
    WhenMountingIsNotAllowed, NoMountAllowed,
    testing::Values(RefusedCase{"an ordinary user without the mount helper is told how root sets it up", As::Nobody,
                                5, "scripts/setup --helper"},
                    RefusedCase{"root without the right to mount", As::RootWithoutMountRight, 1,
                                "cannot mount a RAM file system"}),
    SentenceName());

TEST_F(ToolsTest, ALinkAtThePathIsLeftAloneEvenWhenItIsTheCallersOwn) {
    ASSERT_EQ(symlink("/dev/shm/tavelmorinth-65534/Tavelmorinth", kVolume), 0);
    ASSERT_EQ(lchown(kVolume, kNobody, kNobody), 0);
    for (As as : {As::Nobody, As::Root}) {
        Outcome made = RunShell(CreationCommand(8), as);
        EXPECT_NE(made.code, 0) << made.err;
        EXPECT_EQ(RunShell("hdiutil probe /volumes/Tavelmorinth", as).code, 4);
        EXPECT_NE(RunShell(DetachCommand(), as).code, 0);
    }
    EXPECT_EQ(std::filesystem::read_symlink(kVolume), "/dev/shm/tavelmorinth-65534/Tavelmorinth");
}

}  // namespace
}  // namespace tooltest
