// A whole session of an ordinary user with the mount helper set up as the package
// sets it up: the program, started as a scratch user, gets a tmpfs of the chosen size
// that belongs to that user alone, loads it, and at quit writes it back and ejects it.
#include <fcntl.h>
#include <grp.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <sys/statfs.h>
#include <unistd.h>

#include <filesystem>
#include <linux/magic.h>

#include "ProgramFixture.h"
#include "TestPaths.h"

namespace tvmtest {
namespace {

namespace fs = std::filesystem;

class OrdinaryUser : public ProgramTest {
protected:
    void SetUp() override {
        ProgramTest::SetUp();
        if (IsSkipped() || HasFatalFailure()) return;
        if (!SetUserIdWorksIn(home_))
            GTEST_SKIP() << "the scratch folder is on a nosuid mount: the helper cannot get its privilege there";
        name_ = "tvm-own-e2e" + std::to_string(::getpid());
        ScratchAccount account;
        ASSERT_TRUE(MakeScratchUser(name_, account));
        made_ = true;
        uid_ = account.uid;
        gid_ = account.gid;
        // The bundle as installed: the helper root's and set-user-ID beside the tools.
        root_ = fs::path(home_).parent_path().string();
        bundle_ = InstallBundle(root_, true);
        ASSERT_FALSE(bundle_.empty());
        ASSERT_EQ(::chmod("/volumes", 0755), 0);
        // The user's fallback folder and device records go to a /dev/shm of the namespace's own.
        ASSERT_TRUE(OwnDevShm());
    }

    void TearDown() override {
        ProgramTest::TearDown();
        ::chmod("/volumes", 01777);
        if (made_) RemoveScratchUser(name_);
    }

    Program& StartAsUser() {
        return Spawn({"/usr/bin/setpriv", "--reuid=" + std::to_string(uid_), "--regid=" + std::to_string(gid_),
                      "--clear-groups", bundle_ + "/Contents/MacOS/tavelmorinth"});
    }

    std::string name_, root_, bundle_;
    uid_t uid_ = 0;
    gid_t gid_ = 0;
    bool made_ = false;
};

TEST_F(OrdinaryUser, GetsASizedRAMDiskOfTheirOwnThatIsLoadedSavedAndEjected) {
    const Tree files = {{"notes.txt", File("mine\n")}, {"Projekt/entwurf.txt", File("draft")}};
    WriteTree(source_, files);
    WriteSettings("512", "60", source_);
    GiveHomeTo(uid_, gid_);
    Program& program = StartAsUser();
    ASSERT_TRUE(WaitLoaded(files)) << ProgramLog();

    struct statfs vol {};
    ASSERT_EQ(::statfs(kRamDisk, &vol), 0);
    EXPECT_EQ(vol.f_type, TMPFS_MAGIC);
    EXPECT_EQ(uint64_t(vol.f_blocks) * uint64_t(vol.f_bsize), uint64_t(512) << 20);
    struct stat st {};
    ASSERT_EQ(::stat(kRamDisk, &st), 0);
    EXPECT_EQ(st.st_uid, uid_);
    EXPECT_EQ(st.st_mode & 07777, 0700u);
    ASSERT_EQ(::stat((std::string(kRamDisk) + "/TMP/T.dat").c_str(), &st), 0);
    EXPECT_EQ(st.st_uid, uid_) << "the lock file is not the user's";

    fs::path ram = kRamDisk;
    WriteTree(kRamDisk, {{"new.txt", File("written on the RAM disk", kNew)}});
    ::lchown((ram / "new.txt").c_str(), uid_, gid_);
    ASSERT_TRUE(QuitAndWait(program));
    EXPECT_FALSE(Mounted(kRamDisk));
    // Root's device records of earlier tests may share /volumes; the mount point itself must be gone.
    struct stat left {};
    EXPECT_NE(::lstat(kRamDisk, &left), 0) << "the mount point stays behind";
    EXPECT_EQ(Difference(WithParents(With(files, {{"new.txt", File("written on the RAM disk", kNew)}})),
                         UserEntries(Snapshot(source_))),
              "");
}

// An earlier version made the RAM disk a link into /dev/shm where the helper was
// missing; no tool makes one now, so such a link (a restart left it dead) is not
// taken for the RAM disk: nothing is loaded through it, and the quit still ends.
TEST_F(OrdinaryUser, ALinkIntoSharedMemoryAnEarlierVersionLeftIsLeftAloneAndTheQuitEnds) {
    const std::string helper = bundle_ + "/Contents/Helpers/tavelmorinth-mount";
    ASSERT_EQ(::chmod(helper.c_str(), 0755), 0);
    ASSERT_EQ(::chmod("/volumes", 01777), 0);
    const std::string fallback = "/dev/shm/tavelmorinth-" + std::to_string(uid_) + "/Tavelmorinth";
    ASSERT_EQ(::symlink(fallback.c_str(), kRamDisk), 0);
    ASSERT_EQ(::lchown(kRamDisk, uid_, gid_), 0);
    const Tree files = {{"notes.txt", File("mine\n")}};
    WriteTree(source_, files);
    WriteSettings("256", "60", source_);
    GiveHomeTo(uid_, gid_);
    Program& program = StartAsUser();
    // The program answers later starts once it is up; one started before would be the program itself.
    ASSERT_TRUE(WaitFor([&] { return fs::exists(root_ + "/run/tavelmorinth.socket"); }, 20)) << ProgramLog();
    Program& shown = Spawn({"/usr/bin/setpriv", "--reuid=" + std::to_string(uid_), "--regid=" + std::to_string(gid_),
                            "--clear-groups", bundle_ + "/Contents/MacOS/tavelmorinth", "--show-activity"});
    ASSERT_TRUE(shown.WaitExit(30)) << ProgramLog();
    ASSERT_TRUE(QuitAndWait(program));
    EXPECT_EQ(fs::read_symlink(kRamDisk), fallback);
    EXPECT_FALSE(fs::exists(fallback));
    ::unlink(kRamDisk);
    EXPECT_EQ(MissingOrChanged(files, Snapshot(source_)), "");
}

// A read-only folder arrives whole in both directions, and keeps its mode: its
// file reaches the RAM disk, a file put there meanwhile reaches the source folder,
// and the quit goes through.
TEST_F(OrdinaryUser, AReadOnlyFolderArrivesWholeBothWaysAndTheQuitGoesThrough) {
    const Tree files = {{"Archiv/alt.txt", File("old work")}, {"notes.txt", File("mine\n")}};
    WriteTree(source_, files);
    WriteSettings("256", "60", source_);
    GiveHomeTo(uid_, gid_);
    ASSERT_EQ(::chmod((source_ + "/Archiv").c_str(), 0555), 0);
    Program& program = StartAsUser();
    ASSERT_TRUE(WaitLoaded(files)) << ProgramLog();
    const std::string ramFolder = std::string(kRamDisk) + "/Archiv";
    struct stat st {};
    ASSERT_EQ(::stat(ramFolder.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, 0555u) << "the folder's mode on the RAM disk";

    // Saved there by the user's own tools, which may lift the mode for a moment.
    const std::string made = ramFolder + "/neu.txt";
    WriteTree(kRamDisk, {{"Archiv/neu.txt", File("new work", kNew)}});
    ASSERT_EQ(::lchown(made.c_str(), uid_, gid_), 0);
    ASSERT_TRUE(QuitAndWait(program)) << ProgramLog();
    EXPECT_FALSE(Mounted(kRamDisk));
    ASSERT_EQ(::chmod(source_.c_str(), 0755), 0);  // the quit closed it to everyone
    EXPECT_EQ(Difference(WithParents(With(files, {{"Archiv/neu.txt", File("new work", kNew)}})),
                         UserEntries(Snapshot(source_))),
              "");
    ASSERT_EQ(::stat((source_ + "/Archiv").c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, 0555u) << "the folder's mode in the source folder";
}

}  // namespace
}  // namespace tvmtest
