// Two scratch users on one machine: A runs the program, B tries to steer it. B
// can neither put anything at the RAM disk's path, nor block A's private folders,
// and a settings copy that arrives inside A's source folder cannot move it.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>

#include "ProgramFixture.h"
#include "TestPaths.h"

namespace tvmtest {
namespace {

namespace fs = std::filesystem;

class OtherUsers : public ProgramTest {
protected:
    void SetUp() override {
        ProgramTest::SetUp();
        if (IsSkipped() || HasFatalFailure()) return;
        if (!SetUserIdWorksIn(home_))
            GTEST_SKIP() << "the scratch folder is on a nosuid mount: the helper cannot get its privilege there";
        for (const char* role : {"a", "b"}) {
            ScratchAccount account;
            const std::string name = std::string("tvm-oth") + role + std::to_string(::getpid());
            ASSERT_TRUE(MakeScratchUser(name, account));
            accounts_.push_back(account);
        }
        root_ = fs::path(home_).parent_path().string();
        bundle_ = InstallBundle(root_, true);
        ASSERT_FALSE(bundle_.empty());
        ASSERT_EQ(::chmod("/volumes", 0755), 0);
        ASSERT_TRUE(OwnDevShm());
    }

    void TearDown() override {
        ProgramTest::TearDown();
        std::error_code ec;
        // /tmp is the machine's own: what B planted there goes again.
        for (const auto& planted : planted_) fs::remove_all(planted, ec);
        ::chmod("/volumes", 01777);
        for (const auto& account : accounts_) RemoveScratchUser(account.name);
    }

    const ScratchAccount& A() const { return accounts_[0]; }
    const ScratchAccount& B() const { return accounts_[1]; }
    std::string Helper() const { return bundle_ + "/Contents/Helpers/tavelmorinth-mount"; }

    std::vector<std::string> As(const ScratchAccount& who, const std::vector<std::string>& argv) const {
        std::vector<std::string> all = {"/usr/bin/setpriv", "--reuid=" + std::to_string(who.uid),
                                        "--regid=" + std::to_string(who.gid), "--clear-groups"};
        all.insert(all.end(), argv.begin(), argv.end());
        return all;
    }
    int RunAs(const ScratchAccount& who, const std::string& command) const {
        return RunCommand("setpriv --reuid=" + std::to_string(who.uid) + " --regid=" + std::to_string(who.gid) +
                          " --clear-groups sh -c '" + command + "'");
    }

    Program& StartAsA(const std::vector<std::string>& arguments = {}) {
        std::vector<std::string> argv = {bundle_ + "/Contents/MacOS/tavelmorinth"};
        argv.insert(argv.end(), arguments.begin(), arguments.end());
        return Spawn(As(A(), argv));
    }

    std::vector<ScratchAccount> accounts_;
    std::vector<std::string> planted_;
    std::string root_, bundle_;
};

uid_t OwnerOf(const std::string& path) {
    struct stat st {};
    return ::lstat(path.c_str(), &st) == 0 ? st.st_uid : uid_t(-1);
}

// The places an earlier version used when there was no runtime folder, taken by B
// first: a folder of B's open to everyone, and a link to one.
TEST_F(OtherUsers, WhatAnotherUserMadeInTmpOrSharedMemoryDoesNotKeepTheProgramFromStartingOrQuitting) {
    const std::string a = std::to_string(A().uid);
    planted_ = {"/tmp/tavelmorinth-" + a, "/tmp/runtime-" + A().name, "/tmp/tvm-planted-" + a,
                "/dev/shm/tavelmorinth-" + a, "/dev/shm/tvm-" + a};
    ASSERT_EQ(RunAs(B(), "mkdir -m 777 /tmp/tavelmorinth-" + a + " /tmp/tvm-planted-" + a +
                             " && ln -s /tmp/tvm-planted-" + a + " /tmp/runtime-" + A().name +
                             " && mkdir -m 777 /dev/shm/tavelmorinth-" + a +
                             " && ln -s /tmp/tvm-planted-" + a + " /dev/shm/tvm-" + a),
              0);
    const Tree files = {{"notes.txt", File("mine\n")}};
    WriteTree(source_, files);
    WriteSettings("256", "60", source_);
    GiveHomeTo(A().uid, A().gid);
    envOverrides_ = {"XDG_RUNTIME_DIR"};
    Program& program = StartAsA();
    ASSERT_TRUE(WaitLoaded(files)) << ProgramLog();

    // A later start finds the running program and hands it the quit.
    Program& quit = StartAsA({"--quit"});
    const auto quitStatus = quit.WaitExit(30);
    ASSERT_TRUE(quitStatus) << ProgramLog();
    EXPECT_TRUE(WIFEXITED(*quitStatus) && WEXITSTATUS(*quitStatus) == 0) << DescribeStatus(*quitStatus) << ProgramLog();
    const auto status = program.WaitExit(30);
    ASSERT_TRUE(status) << "the quit did not reach the program\n" << ProgramLog();
    EXPECT_TRUE(WIFEXITED(*status) && WEXITSTATUS(*status) == 0) << DescribeStatus(*status) << ProgramLog();
    EXPECT_FALSE(Mounted(kRamDisk));
    EXPECT_EQ(Difference(WithParents(files), UserEntries(Snapshot(source_))), "");
    struct stat st {};
    ASSERT_EQ(::lstat((home_ + "/.cache/tavelmorinth").c_str(), &st), 0) << "no private folder under the home";
    EXPECT_EQ(st.st_uid, A().uid);
    EXPECT_EQ(st.st_mode & 07777, 0700u);
    // B's entries are B's as they were; nothing of A's went into them.
    for (const std::string& path : {"/tmp/tavelmorinth-" + a, "/dev/shm/tavelmorinth-" + a}) {
        EXPECT_EQ(OwnerOf(path), B().uid) << path;
        EXPECT_TRUE(fs::is_empty(path)) << path;
    }
    EXPECT_TRUE(fs::is_empty("/tmp/tvm-planted-" + a));
}

// The copy arrives inside the source folder (an archive, a shared or a synced
// folder) and names the Documents folder; the program stays with its source folder.
TEST_F(OtherUsers, ASettingsCopyNamingAnotherFolderDoesNotMoveTheSourceFolder) {
    const std::string documents = home_ + "/Documents";
    WriteTree(documents, {{"other/letter.txt", File("saved by another program")}});
    const Tree files = {{"notes.txt", File("mine\n")}};
    WriteTree(source_, files);
    WriteSettings("256", "60", source_);
    WriteTree(source_, {{"TavelmorinthSettings/Settings.dat", File("512\n10\n" + documents + "\n0040\n0010\n")}});
    GiveHomeTo(A().uid, A().gid);
    ASSERT_EQ(::chmod(documents.c_str(), 0700), 0);
    Program& program = StartAsA();
    ASSERT_TRUE(WaitLoaded(files)) << ProgramLog();
    EXPECT_FALSE(fs::exists(std::string(kRamDisk) + "/TavelmorinthSource")) << "the Documents folder was loaded";
    EXPECT_FALSE(fs::exists(std::string(kRamDisk) + "/other")) << "the Documents folder was loaded";
    EXPECT_EQ(Mode(documents), 0700) << "the folder the copy names was opened";
    ASSERT_TRUE(QuitAndWait(program));
    EXPECT_EQ(Mode(documents), 0700) << "the folder the copy names was closed";
    EXPECT_EQ(MissingOrChanged({{"other/letter.txt", File("saved by another program")}}, Snapshot(documents)), "");
    ASSERT_EQ(::chmod(source_.c_str(), 0700), 0);  // the quit closed it to everyone
    EXPECT_EQ(Difference(WithParents(files), UserEntries(Snapshot(source_))), "");
}

// scripts/setup with every package taken as installed: whatever /volumes was, it
// is root's 0755 afterwards, so B can put nothing at the RAM disk's path.
TEST_F(OtherUsers, NoRoadOfTheSetupLeavesVolumesOpenForAnotherUserToPlantTheRAMDisk) {
    const std::string stubs = root_ + "/stubs";
    fs::create_directories(stubs);
    std::ofstream(stubs + "/dpkg-query") << "#!/bin/sh\nprintf 'install ok installed'\n";
    fs::permissions(stubs + "/dpkg-query", fs::perms::owner_all);
    const std::string tree = root_ + "/tree";
    fs::create_directories(tree + "/Tavelmorinth/Contents/Helpers");
    fs::copy_file(Helper(), tree + "/Tavelmorinth/Contents/Helpers/tavelmorinth-mount");
    const std::string setup = "PATH=" + stubs + ":$PATH " + TVM_SOURCE_DIR + "/scripts/setup";
    const struct {
        const char* why;
        std::string command;
    } roads[] = {
        {"without the helper", setup},
        {"setting the helper up", setup + " --helper " + tree},
        {"with no helper built", setup + " --helper " + root_ + "/nowhere"},
    };
    for (const auto& road : roads) {
        SCOPED_TRACE(road.why);
        ASSERT_EQ(::chmod("/volumes", 01777), 0);
        RunCommand(road.command + " >/dev/null 2>&1");
        struct stat st {};
        ASSERT_EQ(::stat("/volumes", &st), 0);
        EXPECT_EQ(st.st_uid, 0u);
        EXPECT_EQ(st.st_mode & 07777, 0755u);
        EXPECT_NE(RunAs(B(), "mkdir /volumes/Tavelmorinth"), 0);
        EXPECT_NE(RunAs(B(), "ln -s /tmp /volumes/Tavelmorinth"), 0);
        EXPECT_FALSE(fs::exists(fs::symlink_status(kRamDisk)));
    }
}

// Without the helper an ordinary user gets no RAM disk at all: nothing is made at
// its path, nothing of the source folder changes, and the quit ends the program.
TEST_F(OtherUsers, WithoutTheHelperNothingIsMadeAtTheRAMDisksPathAndTheQuitEnds) {
    ASSERT_EQ(::chmod(Helper().c_str(), 0755), 0);
    const Tree files = {{"notes.txt", File("mine\n")}};
    WriteTree(source_, files);
    WriteSettings("256", "60", source_);
    GiveHomeTo(A().uid, A().gid);
    Program& program = StartAsA();
    // The program answers later starts once it is up; one started before would be the program itself.
    ASSERT_TRUE(WaitFor([&] { return fs::exists(root_ + "/run/tavelmorinth.socket"); }, 20)) << ProgramLog();
    Program& shown = StartAsA({"--show-activity"});
    ASSERT_TRUE(shown.WaitExit(30)) << ProgramLog();
    ASSERT_TRUE(QuitAndWait(program));
    EXPECT_FALSE(fs::exists(fs::symlink_status(kRamDisk)));
    EXPECT_FALSE(fs::exists("/dev/shm/tavelmorinth-" + std::to_string(A().uid)));
    EXPECT_EQ(MissingOrChanged(files, Snapshot(source_)), "");
}

}  // namespace
}  // namespace tvmtest
