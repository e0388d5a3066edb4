// The set-user-ID mount helper, installed as the package installs it (owned by root,
// mode 4755, beside the tools): every refusal leaves /volumes and the mounts as they
// were, and an ordinary user gets a sized RAM disk of their own through the tools.
#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/file.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <sys/statfs.h>
#include <sys/statvfs.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include <filesystem>
#include <fstream>
#include <memory>

#include "Mounts.h"
#include "ToolsFixture.h"

namespace tooltest {
namespace {

constexpr unsigned long kSectors256MB = 256 * 1953;

class HelperTest : public ToolsTest {
protected:
    void SetUp() override {
        ToolsTest::SetUp();
        if (IsSkipped()) return;
        const std::string folder = CopyTools(true);
        ASSERT_FALSE(folder.empty()) << "cannot install the helper with its privilege";
        struct statvfs fsInfo {};
        if (statvfs(folder.c_str(), &fsInfo) == 0 && (fsInfo.f_flag & ST_NOSUID))
            GTEST_SKIP() << "the scratch folder is on a nosuid mount: the helper cannot get its privilege there";
        UseToolsFolder(folder);
        user_ = std::make_unique<ScratchUser>();
        ASSERT_TRUE(user_->Made()) << "cannot make a scratch user";
        // As the setup leaves it where the helper is set up.
        ASSERT_EQ(chmod("/volumes", 0755), 0);
    }
    void TearDown() override {
        ToolsTest::TearDown();
        user_.reset();
    }

private:
    std::unique_ptr<ScratchUser> user_;
};

struct HelperCase {
    const char* name;
    As as;
    void (*setUp)();
    const char* arguments;
    int expected;
};

void PrintTo(const HelperCase& row, std::ostream* os) { *os << row.name; }

void Nothing() {}
void MountAsScratch() { ASSERT_EQ(RunShell("tavelmorinth-mount mount 256", As::Scratch).code, 0); }
void RootVolume() { ASSERT_EQ(RunShell(CreationCommand(8)).code, 0); }

const HelperCase kRefusals[] = {
    {"no verb", As::Nobody, Nothing, "", 2},
    {"an unknown verb", As::Nobody, Nothing, "umount", 2},
    {"mount without a size", As::Nobody, Nothing, "mount", 2},
    {"a size below 256 MB", As::Nobody, Nothing, "mount 255", 2},
    {"a size above 4096 MB", As::Nobody, Nothing, "mount 4097", 2},
    {"a size that is no number", As::Nobody, Nothing, "mount abc", 2},
    {"a size with a unit", As::Nobody, Nothing, "mount 256m", 2},
    {"a size with a leading zero", As::Nobody, Nothing, "mount 0256", 2},
    {"a negative size", As::Nobody, Nothing, "mount -256", 2},
    {"an empty size", As::Nobody, Nothing, "mount ''", 2},
    {"a path after the size", As::Nobody, Nothing, "mount 256 /tmp", 2},
    {"mount options after the size", As::Nobody, Nothing, "mount 256 -o exec,suid", 2},
    {"a path to unmount", As::Nobody, Nothing, "unmount /volumes/Tavelmorinth", 2},
    {"a folder with files at the mount point", As::Nobody,
     [] {
         ASSERT_EQ(mkdir(kVolume, 0755), 0);
         WriteFile(std::string(kVolume) + "/keep", "keep");
     },
     "mount 256", 1},
    {"a link at the mount point", As::Nobody, [] { ASSERT_EQ(symlink("/tmp", kVolume), 0); }, "mount 256", 1},
    {"an empty folder of the caller's at the mount point", As::Nobody,
     [] {
         ASSERT_EQ(mkdir(kVolume, 0755), 0);
         ASSERT_EQ(chown(kVolume, kNobody, kNobody), 0);
     },
     "mount 256", 1},
    {"a file at the mount point", As::Nobody, [] { WriteFile(kVolume, "keep"); }, "mount 256", 1},
    {"root's volume at the mount point", As::Nobody, RootVolume, "mount 256", 1},
    {"another user's RAM disk at the mount point", As::Nobody, MountAsScratch, "mount 256", 1},
    {"a volumes folder everyone may write in", As::Nobody, [] { ASSERT_EQ(chmod("/volumes", 01777), 0); },
     "mount 256", 1},
    {"a volumes folder of an ordinary user's", As::Nobody,
     [] { ASSERT_EQ(chown("/volumes", kNobody, kNobody), 0); }, "mount 256", 1},
    {"unmount where nothing is mounted", As::Nobody, Nothing, "unmount", 1},
    {"unmount of a mount it did not make, even for root", As::Root, RootVolume, "unmount", 1},
    {"unmount of a tmpfs mounted by hand", As::Nobody,
     [] {
         ASSERT_EQ(mkdir(kVolume, 0755), 0);
         ASSERT_EQ(mount("tvm-other", kVolume, "tmpfs", 0, "size=1m,uid=65534"), 0);
     },
     "unmount", 1},
    {"unmount of another user's RAM disk", As::Nobody, MountAsScratch, "unmount", 1},
};

class HelperRefusal : public HelperTest, public testing::WithParamInterface<HelperCase> {};

TEST_P(HelperRefusal, LeavesVolumesAndMountsAsTheyWere) {
    GetParam().setUp();
    ASSERT_FALSE(HasFatalFailure());
    const std::string volumes = Listing("/volumes");
    const auto mount = tools::MountAt(kVolume);
    struct stat before {};
    ASSERT_EQ(stat("/volumes", &before), 0);

    Outcome refused = RunShell(std::string("tavelmorinth-mount ") + GetParam().arguments, GetParam().as);
    EXPECT_EQ(refused.code, GetParam().expected) << refused.err;
    EXPECT_EQ(refused.out, "");
    EXPECT_NE(refused.err.find("tavelmorinth-mount: "), std::string::npos) << refused.err;
    EXPECT_EQ(Listing("/volumes"), volumes);
    auto after = tools::MountAt(kVolume);
    ASSERT_EQ(after.has_value(), mount.has_value());
    if (after) {
        EXPECT_EQ(after->source, mount->source);
    }
}

INSTANTIATE_TEST_SUITE_P(Helper, HelperRefusal, testing::ValuesIn(kRefusals), SentenceName());

TEST_F(HelperTest, WithoutItsPrivilegeItDoesNothing) {
    const std::string plain = ToolsFolder() + "/../tools-unprivileged";
    std::filesystem::create_directories(plain);
    std::filesystem::copy_file(ToolsFolder() + "/tavelmorinth-mount", plain + "/tavelmorinth-mount",
                               std::filesystem::copy_options::overwrite_existing);
    ASSERT_EQ(chmod((plain + "/tavelmorinth-mount").c_str(), 0755), 0);
    Outcome refused = RunShell(plain + "/tavelmorinth-mount mount 256", As::Nobody);
    EXPECT_EQ(refused.code, 1) << refused.err;
    EXPECT_NE(refused.err.find("privilege"), std::string::npos) << refused.err;
    EXPECT_EQ(Listing("/volumes"), "");
}

bool HasOption(const std::string& path, const std::string& option) {
    std::ifstream mounts("/proc/self/mounts");
    std::string device, where, type, options, rest;
    while (mounts >> device >> where >> type >> options && std::getline(mounts, rest)) {
        if (where == path && ("," + options + ",").find("," + option + ",") != std::string::npos) return true;
    }
    return false;
}

TEST_F(HelperTest, AnOrdinaryUserGetsASizedPrivateRAMDiskThatOnlyTheyCanEject) {
    const As user = As::Scratch;
    Outcome made = RunShell(CreationCommand(kSectors256MB), user);
    ASSERT_EQ(made.code, 0) << made.err;
    EXPECT_EQ(made.out + made.err, "");
    ASSERT_TRUE(IsMountedTmpfs(kVolume));
    struct stat st {};
    ASSERT_EQ(stat(kVolume, &st), 0);
    EXPECT_EQ(st.st_uid, UidOf(user));
    EXPECT_EQ(st.st_mode & 07777, 0700u);
    struct statfs fsInfo {};
    ASSERT_EQ(statfs(kVolume, &fsInfo), 0);
    EXPECT_EQ(static_cast<unsigned long>(fsInfo.f_blocks) * static_cast<unsigned long>(fsInfo.f_bsize), 256ul << 20);
    EXPECT_TRUE(HasOption(kVolume, "nosuid"));
    EXPECT_TRUE(HasOption(kVolume, "nodev"));
    EXPECT_EQ(RunShell(std::string("hdiutil probe ") + kVolume, user).code, 0);
    EXPECT_EQ(RunShell(std::string("hdiutil probe ") + kVolume, As::Nobody).code, 4);
    EXPECT_EQ(RunShell(std::string("hdiutil probe ") + kVolume).code, 4);

    // The size holds: 300 MB do not fit.
    EXPECT_NE(RunShell("head -c 300M /dev/zero > /volumes/Tavelmorinth/big", user).code, 0);
    ASSERT_EQ(RunShell("rm /volumes/Tavelmorinth/big && echo mine > /volumes/Tavelmorinth/data", user).code, 0);
    EXPECT_NE(RunShell("cat /volumes/Tavelmorinth/data", As::Nobody).code, 0) << "another user reads the RAM disk";

    // Nobody else ejects it, root's tools included.
    for (As other : {As::Nobody, As::Root}) {
        EXPECT_EQ(RunShell(DetachCommand(), other).code, 1);
        EXPECT_TRUE(IsMountedTmpfs(kVolume));
    }
    {
        Holder holder("exec 3<>/volumes/Tavelmorinth/data", user);
        ASSERT_TRUE(holder.Ready());
        Outcome busy = RunShell(DetachCommand(), user);
        EXPECT_EQ(busy.code, 16) << busy.err;
        EXPECT_TRUE(IsMountedTmpfs(kVolume));
    }
    Outcome detached = RunShell(DetachCommand(), user);
    EXPECT_EQ(detached.code, 0) << detached.err;
    EXPECT_FALSE(tools::MountAt(kVolume).has_value());
    EXPECT_EQ(Listing("/volumes"), "") << "the mount point or a record stays behind";
}

TEST_F(HelperTest, TheEmptyMountPointARestartLeftIsUsedAgain) {
    ASSERT_EQ(mkdir(kVolume, 0755), 0);
    EXPECT_EQ(RunShell(std::string("hdiutil probe ") + kVolume, As::Scratch).code, 3);
    Outcome made = RunShell(CreationCommand(kSectors256MB), As::Scratch);
    ASSERT_EQ(made.code, 0) << made.err;
    EXPECT_TRUE(IsMountedTmpfs(kVolume));
    EXPECT_EQ(RunShell(DetachCommand(), As::Scratch).code, 0);
    EXPECT_EQ(Listing("/volumes"), "");
}

// The real user id of process `pid` and its command name, from /proc.
bool IsHelperPastItsCallersReach(pid_t pid) {
    std::ifstream comm("/proc/" + std::to_string(pid) + "/comm");
    std::string name;
    std::getline(comm, name);
    std::ifstream status("/proc/" + std::to_string(pid) + "/status");
    for (std::string line; std::getline(status, line);) {
        if (line.rfind("Uid:", 0) == 0) return name.rfind("tavelmorinth-mo", 0) == 0 && std::stoul(line.substr(4)) == 0;
    }
    return false;
}

char ProcessState(pid_t pid) {
    std::ifstream stat("/proc/" + std::to_string(pid) + "/stat");
    std::string text((std::istreambuf_iterator<char>(stat)), {});
    auto paren = text.rfind(')');
    return paren == std::string::npos || paren + 2 >= text.size() ? '?' : text[paren + 2];
}

// errno of kill(pid, signal) sent by an ordinary user (0 when it went through).
int SignalAsNobody(pid_t pid, int signal) {
    pid_t child = fork();
    if (child == 0) {
        if (setresgid(kNobody, kNobody, kNobody) != 0 || setresuid(kNobody, kNobody, kNobody) != 0) _exit(100);
        _exit(kill(pid, signal) == 0 ? 0 : errno);
    }
    int status = 0;
    waitpid(child, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

// A caller who stops its helper must not hold up everyone else's: once the helper
// waits for or holds the lock, its caller may not stop, signal or kill it. The lock
// is held here by the test, so the helper is certain to be at the lock meanwhile.
TEST_F(HelperTest, ItsCallerCannotStopOrSignalItAtTheLock) {
    // The lock lives in /run: a private one keeps the machine's helpers out of this.
    ASSERT_EQ(mount("tvm-run", "/run", "tmpfs", MS_NOSUID | MS_NODEV, "size=1m,mode=0755"), 0);
    struct Unmount {
        ~Unmount() { umount2("/run", MNT_DETACH); }
    } unmount;
    const int lock = open("/run/tavelmorinth-mount.lock", O_RDWR | O_CREAT | O_CLOEXEC, 0600);
    ASSERT_GE(lock, 0);
    ASSERT_EQ(flock(lock, LOCK_EX), 0);

    const std::string helper = ToolsFolder() + "/tavelmorinth-mount";
    std::vector<std::string> args = {"/usr/bin/setpriv", "--reuid=65534", "--regid=65534", "--clear-groups", helper,
                                     "mount", "256"};
    std::vector<char*> argv;
    for (auto& a : args) argv.push_back(a.data());
    argv.push_back(nullptr);
    char* env[] = {nullptr};
    pid_t pid = -1;
    ASSERT_EQ(posix_spawn(&pid, argv[0], nullptr, nullptr, argv.data(), env), 0);
    bool reached = false;
    for (int i = 0; i < 1000 && !reached; ++i) {
        reached = IsHelperPastItsCallersReach(pid);
        if (!reached) usleep(10000);
    }
    EXPECT_TRUE(reached) << "the helper never took root's real user id";

    for (int signal : {SIGSTOP, SIGTSTP, SIGTERM, SIGKILL}) {
        SCOPED_TRACE(strsignal(signal));
        EXPECT_EQ(SignalAsNobody(pid, signal), EPERM);
    }
    EXPECT_NE(ProcessState(pid), 'T') << "the helper was stopped";

    close(lock);
    int status = 0;
    ASSERT_EQ(waitpid(pid, &status, 0), pid);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
    ASSERT_TRUE(IsMountedTmpfs(kVolume));
    struct stat st {};
    ASSERT_EQ(stat(kVolume, &st), 0);
    EXPECT_EQ(st.st_uid, kNobody);
    Outcome unmounted = RunShell("tavelmorinth-mount unmount", As::Nobody);
    EXPECT_EQ(unmounted.code, 0) << unmounted.err;
    EXPECT_FALSE(tools::MountAt(kVolume).has_value());
}

}  // namespace
}  // namespace tooltest
