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
    const unsigned long page = static_cast<unsigned long>(sysconf(_SC_PAGESIZE));
    EXPECT_EQ(static_cast<unsigned long>(fsInfo.f_blocks) * static_cast<unsigned long>(fsInfo.f_bsize),
              (sectors * 512 + page - 1) / page * page);
    struct stat st {};
    ASSERT_EQ(stat(kVolume, &st), 0);
    EXPECT_EQ(st.st_mode & 07777, 0755u);
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
    testing::Values(SizeCase{"the 256 MB the program asks for first", 499968},
                    SizeCase{"a size that is no whole number of pages is rounded up to one", 1001},
                    SizeCase{"the 4.096 MB the program asks for at most", 7999488}),
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

struct FallbackCase {
    const char* name;
    As as;
};

void PrintTo(const FallbackCase& row, std::ostream* os) { *os << row.name; }

class FallbackVolume : public ToolsTest, public testing::WithParamInterface<FallbackCase> {};

TEST_P(FallbackVolume, LinksToAPrivateFolderInSharedMemorySaysSoAndDetachRemovesBoth) {
    const As as = GetParam().as;
    const std::string base = "/dev/shm/tavelmorinth-" + std::to_string(UidOf(as));
    const std::string folder = base + "/Tavelmorinth";
    Outcome made = RunShell(CreationCommand(499968), as);
    ASSERT_EQ(made.code, 0) << made.err;
    EXPECT_EQ(made.out, "");
    EXPECT_EQ(std::count(made.err.begin(), made.err.end(), '\n'), 1) << made.err;
    EXPECT_NE(made.err.find(folder), std::string::npos) << made.err;
    EXPECT_NE(made.err.find("no size limit"), std::string::npos) << made.err;

    EXPECT_EQ(std::filesystem::read_symlink(kVolume), folder);
    struct stat st {};
    ASSERT_EQ(stat(base.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, 0700u);
    EXPECT_EQ(st.st_uid, UidOf(as));
    ASSERT_EQ(stat(folder.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, 0755u);
    EXPECT_EQ(st.st_uid, UidOf(as));
    EXPECT_EQ(Listing(folder), "");

    // The user's own files, among them a folder the user may no longer enter.
    Outcome used = RunShell(
        "cd /volumes/Tavelmorinth && echo data > probe && mkdir -p locked/deep && echo x > locked/deep/f && "
        "chmod 0 locked && cat probe",
        as);
    EXPECT_EQ(used.out, "data\n") << used.err;

    Outcome detached = RunShell(DetachCommand(), as);
    EXPECT_EQ(detached.code, 0) << detached.err;
    EXPECT_EQ(detached.out + detached.err, "");
    // Root keeps its device records beside the volumes, an ordinary user in the private folder.
    const bool root = UidOf(as) == 0;
    EXPECT_EQ(Listing("/volumes"), root ? ".ramdevices/\n" : "");
    EXPECT_EQ(Listing(base), root ? "" : ".ramdevices/\n");
}

INSTANTIATE_TEST_SUITE_P(
    WhenMountingIsNotAllowed, FallbackVolume,
    testing::Values(FallbackCase{"for an ordinary user", As::Nobody},
                    FallbackCase{"for root without the right to mount", As::RootWithoutMountRight}),
    SentenceName());

TEST_F(ToolsTest, ALinkToAFallbackFolderThatARestartClearedIsReplaced) {
    ASSERT_EQ(symlink("/dev/shm/tavelmorinth-65534/Tavelmorinth", kVolume), 0);
    ASSERT_EQ(lchown(kVolume, kNobody, kNobody), 0);
    Outcome made = RunShell(CreationCommand(8), As::Nobody);
    EXPECT_EQ(made.code, 0) << made.err;
    EXPECT_EQ(RunShell("echo data > /volumes/Tavelmorinth/probe && cat /volumes/Tavelmorinth/probe", As::Nobody).out,
              "data\n");
}

}  // namespace
}  // namespace tooltest
