// The guard on its own, started as the program starts it (its channel on stdin,
// a pidfd of the watched process, the lock) but watching a stand-in process:
// what it does with the RAM disk once that process has ended depends only on
// what it was told, and what it was told about an older RAM disk never reaches
// the current one.
#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <optional>
#include <filesystem>
#include <thread>

#include "TestPaths.h"
#include "ToolsFixture.h"
#include "engine/GuardChannel.h"

extern char** environ;

namespace tooltest {
namespace {

namespace fs = std::filesystem;

const std::string kGuard = std::string(TVM_HELPERS_DIR) + "/tavelmorinth-guard";
const std::string kSource = "/volumes/source";

int ModeOf(const std::string& path) {
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0 ? int(st.st_mode & 07777) : -1;
}

// A process for the guard to watch, and the guard itself.
class GuardRun {
public:
    // `pidfdInPlace` false puts a plain file where the pidfd belongs.
    explicit GuardRun(const std::string& log, bool pidfdInPlace = true) {
        watched_ = ::fork();
        if (watched_ == 0) {
            ::pause();
            ::_exit(0);
        }
        const int pidfd = pidfdInPlace ? int(::syscall(SYS_pidfd_open, watched_, 0)) : ::open("/dev/null", O_RDONLY);
        int pair[2];
        ::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, pair);
        const int lock = ::open((log + ".lock").c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_adddup2(&actions, pair[1], 0);
        posix_spawn_file_actions_addopen(&actions, 1, log.c_str(), O_WRONLY | O_CREAT | O_APPEND, 0644);
        posix_spawn_file_actions_adddup2(&actions, 1, 2);
        posix_spawn_file_actions_adddup2(&actions, pidfd, 3);
        posix_spawn_file_actions_adddup2(&actions, lock, 4);
        char* argv[] = {const_cast<char*>(kGuard.c_str()), nullptr};
        if (::posix_spawn(&guard_, kGuard.c_str(), &actions, nullptr, argv, environ) != 0) guard_ = -1;
        posix_spawn_file_actions_destroy(&actions);
        ::close(pair[1]);
        ::close(pidfd);
        ::close(lock);
        channel_ = pair[0];
    }

    ~GuardRun() {
        EndWatched();
        if (guard_ > 0 && !status_) {
            ::kill(guard_, SIGKILL);
            ::waitpid(guard_, nullptr, 0);
        }
        ::close(channel_);
    }

    void Send(const std::string& text) { ASSERT_EQ(::send(channel_, text.data(), text.size(), MSG_NOSIGNAL), ssize_t(text.size())); }

    void EndWatched() {
        if (watched_ <= 0) return;
        ::kill(watched_, SIGKILL);
        ::waitpid(watched_, nullptr, 0);
        watched_ = -1;
    }

    bool Running() {
        if (status_) return false;
        int status = 0;
        if (::waitpid(guard_, &status, WNOHANG) == guard_) status_ = status;
        return !status_;
    }

    // The guard's exit code, or -1 when it still runs after `seconds`.
    int WaitExit(double seconds) {
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::duration<double>(seconds);
        while (Running() && std::chrono::steady_clock::now() < deadline)
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        return status_ && WIFEXITED(*status_) ? WEXITSTATUS(*status_) : -1;
    }

private:
    pid_t watched_ = -1, guard_ = -1;
    int channel_ = -1;
    std::optional<int> status_;
};

struct Told {
    const char* name;
    // What the guard hears; "{token}" stands for the token on the RAM disk.
    std::vector<std::string> messages;
    int exitCode;
    bool ejected;
    // The source folder afterwards (Listing), when it was written back.
    std::string source;
};

class GuardFixture : public ToolsTest {
protected:
    void SetUp() override {
        ToolsTest::SetUp();
        if (IsSkipped() || HasFatalFailure()) return;
        if (!fs::exists(kGuard)) GTEST_SKIP() << "the guard is not built";
        ASSERT_EQ(RunShell(CreationCommand(20000)).code, 0);
        fs::create_directories(std::string(kVolume) + "/TMP");
        WriteFile(std::string(kVolume) + kGuardTokenFile, "current-token\n");
        fs::create_directories(kSource + "/TMP");
        WriteFile(kSource + "/kept", "kept");
        WriteFile(kSource + "/only in the source folder", "removed on the RAM disk");
        WriteFile(std::string(kVolume) + "/kept", "kept");
        WriteFile(std::string(kVolume) + "/made on the RAM disk", "new");
        // The same date on both sides: a file the write-back leaves alone.
        fs::last_write_time(std::string(kVolume) + "/kept", fs::last_write_time(kSource + "/kept"));
        log_ = std::string(std::getenv("TVM_SCRATCH")) + "/guard.log";
    }

    std::string log_;
};

class GuardAlone : public GuardFixture, public ::testing::WithParamInterface<Told> {};

std::string State(const std::string& token, bool loadComplete) {
    // "{roots}" stands for the roots as they are when it is sent.
    const std::string line = GuardState{token, loadComplete, kVolume, kSource, RootsHeld{}}.Line();
    return line.substr(0, line.rfind('\t') + 1) + "{roots}\n";
}

const std::string kBefore = "TMP/\nkept 4 'kept'\nonly in the source folder 23 'removed on the RAM disk'\n";

TEST_P(GuardAlone, ActsOnlyOnWhatItWasToldOfThisRAMDisk) {
    const Told& told = GetParam();
    const std::string ramBefore = Listing(kVolume);
    GuardRun run(log_);
    for (std::string message : told.messages) {
        if (auto at = message.find("{token}"); at != std::string::npos) message.replace(at, 7, "current-token");
        if (auto at = message.find("{roots}"); at != std::string::npos)
            message.replace(at, 7, RootsHeld::Take(kSource, kVolume).Text());
        run.Send(message);
    }
    // Nothing happens while the watched process lives.
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    ASSERT_TRUE(run.Running()) << ReadFile(log_);
    EXPECT_EQ(Listing(kSource), kBefore);

    run.EndWatched();
    EXPECT_EQ(run.WaitExit(30), told.exitCode) << ReadFile(log_);
    EXPECT_EQ(!IsMountedTmpfs(kVolume), told.ejected) << ReadFile(log_);
    if (told.ejected) {
        EXPECT_EQ(ModeOf(kSource), 0);
        fs::permissions(kSource, fs::perms::owner_all);
        EXPECT_EQ(Listing(kSource), told.source);
    } else {
        EXPECT_EQ(Listing(kVolume), ramBefore) << "the RAM disk was touched";
        EXPECT_EQ(Listing(kSource), kBefore) << "the source folder was touched";
    }
}

const std::string kCopied = "TMP/\nkept 4 'kept'\nmade on the RAM disk 3 'new'\nonly in the source folder 23 'removed on the RAM disk'\n";
const std::string kEqual = "TMP/\nkept 4 'kept'\nmade on the RAM disk 3 'new'\n";

INSTANTIATE_TEST_SUITE_P(
    States, GuardAlone,
    ::testing::Values(
        Told{"told nothing: nothing is done", {}, 0, false, ""},
        Told{"told of an older RAM disk: it is left attached", {State("older-token", true)}, 1, false, ""},
        Told{"a load that did not complete: copied, nothing deleted, ejected", {State("{token}", false)}, 0, true, kCopied},
        Told{"a complete load: the source folder made equal, ejected", {State("{token}", true)}, 0, true, kEqual},
        Told{"the latest state counts", {State("older-token", true), State("{token}", false)}, 0, true, kCopied},
        Told{"a line cut off is no state", {State("{token}", false), "state\tcurrent-token\t1\t/volumes/Tav"}, 0, true,
             kCopied},
        Told{"a line that is no state changes nothing", {"hello\n", State("older-token", true), "state\t\n"}, 1, false,
             ""}),
    SentenceName());

// What the guard was told no longer holds when the program has ended: it
// copies nothing either way, ejects nothing and closes no folder.
struct Change {
    const char* name;
    std::string target;            // the RAM-disk path the guard is told of
    void (*after)();               // done once the state was sent
};

class GuardAfterAChange : public GuardFixture, public ::testing::WithParamInterface<Change> {};

TEST_P(GuardAfterAChange, LeavesEverythingAsItIs) {
    const Change& change = GetParam();
    GuardRun run(log_);
    run.Send(GuardState{"current-token", true, change.target, kSource, RootsHeld::Take(kSource, kVolume)}.Line() +
             "\n");
    change.after();
    const std::string ramBefore = Listing(kVolume), sourceBefore = Listing(kSource);
    const int modeBefore = ModeOf(kSource);
    run.EndWatched();
    EXPECT_EQ(run.WaitExit(30), 1) << ReadFile(log_);
    EXPECT_TRUE(IsMountedTmpfs(kVolume)) << ReadFile(log_);
    EXPECT_EQ(Listing(kVolume), ramBefore) << "the RAM disk was touched";
    EXPECT_EQ(Listing(kSource), sourceBefore) << "the folder at the source path was touched";
    EXPECT_EQ(ModeOf(kSource), modeBefore);
    EXPECT_FALSE(fs::exists("/volumes/ran")) << "a shell read the path";
}

void Nothing() {}

// Another folder at the source path: what an unmounted disk or a rename leaves.
void ReplaceTheSourceFolder() {
    fs::rename(kSource, kSource + "-moved");
    fs::create_directories(kSource + "/TMP");
    WriteFile(kSource + "/underneath", "not the loaded folder");
}

INSTANTIATE_TEST_SUITE_P(
    Roots, GuardAfterAChange,
    ::testing::Values(Change{"the source folder was replaced", kVolume, &ReplaceTheSourceFolder},
                      Change{"a RAM disk path that our tools never use", "/volumes/Tavelmorinth/../Tavelmorinth", &Nothing},
                      Change{"a RAM disk path with shell syntax", "/volumes/Tavelmorinth;touch\\ /volumes/ran", &Nothing}),
    SentenceName());

TEST_F(ToolsTest, TheGuardStartsOnlyWithAPidfdToWatch) {
    if (!fs::exists(kGuard)) GTEST_SKIP() << "the guard is not built";
    ASSERT_EQ(RunShell(CreationCommand(20000)).code, 0);
    const std::string log = std::string(std::getenv("TVM_SCRATCH")) + "/guard-nopidfd.log";
    GuardRun run(log, false);
    EXPECT_EQ(run.WaitExit(10), 2) << ReadFile(log);
    EXPECT_TRUE(IsMountedTmpfs(kVolume));
}

TEST_F(ToolsTest, AGuardWhoseRAMDiskWasEjectedClosesTheSourceFolderAndEnds) {
    if (!fs::exists(kGuard)) GTEST_SKIP() << "the guard is not built";
    fs::create_directories(kSource);
    const std::string log = std::string(std::getenv("TVM_SCRATCH")) + "/guard-ejected.log";
    GuardRun run(log);
    run.Send(GuardState{"t", true, kVolume, kSource, RootsHeld::Take(kSource, kVolume)}.Line() + "\n");
    run.EndWatched();
    EXPECT_EQ(run.WaitExit(10), 0) << ReadFile(log);
    EXPECT_EQ(ModeOf(kSource), 0);
    EXPECT_EQ(ReadFile(log), "");
}

}  // namespace
}  // namespace tooltest
