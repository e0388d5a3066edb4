// The real program whose roots stop being the ones it loaded: a source folder on
// a disk that is unmounted lazily while the program runs, and another user who
// renames a folder of theirs onto the RAM disk's path during the quit. Nothing
// reaches what stands there now, and the quit still ends.
#include <grp.h>
#include <signal.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>

#include "ProgramFixture.h"
#include "TestPaths.h"

namespace tvmtest {
namespace {

namespace fs = std::filesystem;

const Tree kMine = {{"notes.txt", File("mine\n")}, {"Projekt/entwurf.txt", File("draft")}};

bool LogHas(const std::string& log, const std::string& text) { return log.find(text) != std::string::npos; }

class SourceUnmounted : public ProgramTest {
protected:
    void TearDown() override {
        ProgramTest::TearDown();
        while (Mounted(source_)) ::umount2(source_.c_str(), MNT_DETACH);
    }
};

TEST_F(SourceUnmounted, NothingReachesTheFolderUnderneathAndTheQuitEndsWithoutEjecting) {
    fs::create_directories(source_);
    ASSERT_EQ(::mount("tvm-usb", source_.c_str(), "tmpfs", 0, "size=32m"), 0);
    WriteTree(source_, kMine);
    WriteSettings("256", "10", source_);
    Program& program = Start();
    ASSERT_TRUE(WaitLoaded(kMine)) << ProgramLog();

    ASSERT_EQ(::umount2(source_.c_str(), MNT_DETACH), 0);
    const Tree underneath = ReadTree(source_);
    struct stat before {};
    ASSERT_EQ(::stat(source_.c_str(), &before), 0);
    WriteTree(kRamDisk, {{"work.txt", File("edited on the RAM disk", kNew)}});
    fs::remove(std::string(kRamDisk) + "/notes.txt");
    // The next periodic write-back (every 10 s) finds the folder underneath.
    ASSERT_TRUE(WaitFor([&] { return LogHas(ProgramLog(), "is no longer the folder that was loaded"); }, 30))
        << ProgramLog();
    EXPECT_EQ(Difference(underneath, ReadTree(source_)), "") << "a write-back wrote into the folder underneath";

    const auto quitAsked = std::chrono::steady_clock::now();
    ASSERT_TRUE(QuitAndWait(program)) << ProgramLog();
    EXPECT_LT(std::chrono::steady_clock::now() - quitAsked, std::chrono::seconds(10)) << "the quit took long";
    EXPECT_TRUE(Mounted(kRamDisk)) << "the RAM disk was ejected before its work reached the loaded folder";
    EXPECT_EQ(ReadTree(kRamDisk)["work.txt"], File("edited on the RAM disk", kNew));
    // The guard sees the program end without its eject and follows the same rule.
    ASSERT_TRUE(WaitFor([&] { return LogHas(ProgramLog(), "tavelmorinth-guard: the source folder"); }, 30))
        << ProgramLog();
    EXPECT_TRUE(Mounted(kRamDisk));
    // Neither its settings copy nor its closing at the end go to the folder underneath.
    struct stat after {};
    ASSERT_EQ(::stat(source_.c_str(), &after), 0);
    EXPECT_EQ(after.st_mode & 07777, before.st_mode & 07777) << "the folder underneath was closed or opened";
    EXPECT_EQ(Difference(underneath, ReadTree(source_)), "") << "the quit or the guard wrote into the folder underneath";
}

// Two scratch users on a machine whose /volumes someone opened to everyone and
// where the mount helper is not set up: A runs the program, B renames a folder
// of theirs onto /volumes/Tavelmorinth in a loop.
class AnotherUser : public ProgramTest {
protected:
    void SetUp() override {
        ProgramTest::SetUp();
        if (IsSkipped() || HasFatalFailure()) return;
        for (int i = 0; i < 2; ++i) {
            names_[i] = "tvm-roots" + std::to_string(i) + "-" + std::to_string(::getpid());
            ScratchAccount account;
            ASSERT_TRUE(MakeScratchUser(names_[i], account));
            made_[i] = true;
            uid_[i] = account.uid;
            gid_[i] = account.gid;
        }
        root_ = fs::path(home_).parent_path().string();
        bundle_ = InstallBundle(root_, false);  // no helper with its privilege
        ASSERT_FALSE(bundle_.empty());
        ASSERT_EQ(::chmod("/volumes", 01777), 0);
        ASSERT_TRUE(OwnDevShm());
    }

    void TearDown() override {
        if (swapper_ > 0) {
            ::kill(swapper_, SIGKILL);
            ::waitpid(swapper_, nullptr, 0);
        }
        ProgramTest::TearDown();
        std::error_code ec;
        if (fs::is_directory(fs::symlink_status(kRamDisk)) && !Mounted(kRamDisk)) fs::remove_all(kRamDisk, ec);
        fs::remove_all(kPrepared, ec);
        fs::remove_all("/dev/shm/tavelmorinth-" + std::to_string(uid_[0]), ec);
        for (int i = 0; i < 2; ++i)
            if (made_[i]) RemoveScratchUser(names_[i]);
    }

    // B, from now on: renames the prepared folder onto the path until that works.
    void StartSwapping() {
        swapper_ = ::fork();
        if (swapper_ == 0) {
            if (::setgroups(0, nullptr) != 0 || ::setgid(gid_[1]) != 0 || ::setuid(uid_[1]) != 0) ::_exit(2);
            const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(60);
            while (std::chrono::steady_clock::now() < end)
                if (::rename(kPrepared, kRamDisk) == 0) ::_exit(0);
            ::_exit(1);
        }
    }
    // 0 when B's folder took the path.
    int SwapperExit() {
        int status = 0;
        if (swapper_ <= 0 || ::waitpid(swapper_, &status, WNOHANG) != swapper_) return -1;
        swapper_ = -1;
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }

    static constexpr const char* kPrepared = "/volumes/prepared";
    std::string names_[2], root_, bundle_;
    uid_t uid_[2] = {0, 0};
    gid_t gid_[2] = {0, 0};
    bool made_[2] = {false, false};
    pid_t swapper_ = -1;
};

TEST_F(AnotherUser, WhoRenamesAFolderOntoTheRAMDiskPathWhileAStartsAndQuitsGetsNothingAndTheQuitEnds) {
    struct statvfs fsInfo {};
    if (::statvfs(home_.c_str(), &fsInfo) == 0 && (fsInfo.f_flag & ST_NOEXEC)) GTEST_SKIP() << "noexec scratch";
    WriteTree(source_, kMine);
    WriteSettings("256", "60", source_);
    GiveHomeTo(uid_[0], gid_[0]);
    const Tree theirs = {{"notes.txt", File("B's text\n")}, {"theirs.txt", File("B's file")}, {"TMP/x", File("B")}};
    WriteTree(kPrepared, theirs);
    for (auto& e : fs::recursive_directory_iterator(kPrepared)) ::lchown(e.path().c_str(), uid_[1], gid_[1]);
    ::lchown(kPrepared, uid_[1], gid_[1]);

    // B's loop runs from before A's start, so whichever moment it wins, A's
    // program meets B's folder at the path: at the start, the passes or the quit.
    StartSwapping();
    Program& program = Spawn({"/usr/bin/setpriv", "--reuid=" + std::to_string(uid_[0]),
                              "--regid=" + std::to_string(gid_[0]), "--clear-groups",
                              bundle_ + "/Contents/MacOS/tavelmorinth"});
    ASSERT_TRUE(WaitFor([&] { return SwapperExit() == 0; }, 20)) << "B's folder never took the path";
    // Without the helper there is no RAM disk of A's; the program says why.
    WaitFor([&] { return LogHas(ProgramLog(), "mount helper"); }, 10);
    const auto before = std::chrono::steady_clock::now();
    ASSERT_TRUE(QuitAndWait(program)) << ProgramLog();
    EXPECT_LT(std::chrono::steady_clock::now() - before, std::chrono::seconds(15)) << "the quit took long";

    ::chmod(source_.c_str(), 0700);  // the quit closes it to everyone
    EXPECT_EQ(Difference(WithParents(kMine), UserEntries(Snapshot(source_))), "")
        << "A's source folder is not A's work\n"
        << ProgramLog();
    EXPECT_EQ(Difference(WithParents(theirs), ReadTree(kRamDisk)), "") << "A's program wrote into B's folder";
}

}  // namespace
}  // namespace tvmtest
