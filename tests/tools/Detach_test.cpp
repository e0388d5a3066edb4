// Ejecting: a volume in use is refused with 16 and left as it was; anything that is
// not a volume these tools made is refused with 1 and left alone.
#include <sys/mount.h>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

#include "Mounts.h"
#include "ToolsFixture.h"

namespace tooltest {
namespace {

struct BusyCase {
    std::string name;
    As as;
    std::string hold;  // shell commands that leave the process using the volume
};

std::vector<BusyCase> BusyCases() {
    const std::pair<const char*, As> who[] = {{"a mounted volume", As::Root}};
    const std::pair<const char*, const char*> holds[] = {
        {"a file held open", "exec 3<>/volumes/Tavelmorinth/data"},
        {"a working folder", "cd /volumes/Tavelmorinth/folder"},
        // Through the C library: Python's own mmap keeps a descriptor of its own open.
        {"a file mapped into memory after its descriptor was closed",
         "exec /usr/bin/python3 -c 'import ctypes, os, sys\n"
         "libc = ctypes.CDLL(None)\n"
         "libc.mmap.restype = ctypes.c_void_p\n"
         "libc.mmap.argtypes = [ctypes.c_void_p, ctypes.c_size_t, ctypes.c_int, ctypes.c_int, ctypes.c_int, "
         "ctypes.c_long]\n"
         "fd = os.open(\"/volumes/Tavelmorinth/data\", os.O_RDONLY)\n"
         "address = libc.mmap(None, 4096, 1, 1, fd, 0)\n"  // PROT_READ, MAP_SHARED
         "os.close(fd)\n"
         "assert address not in (None, 2 ** 64 - 1)\n"
         "print(\"ready\", flush=True)\n"
         "sys.stdin.read()'"},
    };
    std::vector<BusyCase> cases;
    for (auto& [volume, as] : who) {
        for (auto& [hold, command] : holds) cases.push_back({std::string(volume) + " with " + hold, as, command});
    }
    return cases;
}

void PrintTo(const BusyCase& row, std::ostream* os) { *os << row.name; }

class BusyVolume : public ToolsTest, public testing::WithParamInterface<BusyCase> {};

TEST_P(BusyVolume, IsRefusedWith16AndKeptIntactUntilNothingUsesIt) {
    const As as = GetParam().as;
    if (GetParam().hold.find("python3") != std::string::npos && access("/usr/bin/python3", X_OK) != 0)
        GTEST_SKIP() << "no /usr/bin/python3 to map a file";
    ASSERT_EQ(RunShell(CreationCommand(2048), as).code, 0);
    ASSERT_EQ(RunShell("cd /volumes/Tavelmorinth && echo precious > data && mkdir folder", as).code, 0);
    const std::string before = Listing(kVolume);
    {
        Holder holder(GetParam().hold, as);
        ASSERT_TRUE(holder.Ready());
        Outcome refused = RunShell(DetachCommand(), as);
        EXPECT_EQ(refused.code, 16) << refused.err;
        EXPECT_NE(refused.err.find("in use"), std::string::npos) << refused.err;
        EXPECT_EQ(refused.out, "");
        EXPECT_EQ(Listing(kVolume), before);
        if (as == As::Root) {
            EXPECT_TRUE(IsMountedTmpfs(kVolume));
        }
        EXPECT_EQ(RunShell("echo more >> /volumes/Tavelmorinth/data", as).code, 0) << "the volume is no longer usable";
    }
    Outcome detached = RunShell(DetachCommand(), as);
    EXPECT_EQ(detached.code, 0) << detached.err;
    EXPECT_NE(access(kVolume, F_OK), 0);
    EXPECT_EQ(Listing("/volumes"), UidOf(as) == 0 ? ".ramdevices/\n" : "");
}

INSTANTIATE_TEST_SUITE_P(Users, BusyVolume, testing::ValuesIn(BusyCases()), SentenceName());

struct RefusalCase {
    const char* name;
    void (*setUp)();
    const char* path;
};

void MakeFolderWithAFile(const char* folder) {
    ASSERT_EQ(mkdir(folder, 0755), 0);
    WriteFile(std::string(folder) + "/keep", "keep");
}

const RefusalCase kRefusals[] = {
    {"a path where nothing is", [] {}, kVolume},
    {"a plain folder", [] { MakeFolderWithAFile(kVolume); }, kVolume},
    {"a RAM file system mounted by someone else",
     [] {
         ASSERT_EQ(mkdir(kVolume, 0755), 0);
         ASSERT_EQ(mount("tvram1", kVolume, "tmpfs", 0, "size=1m"), 0);
         WriteFile(std::string(kVolume) + "/keep", "keep");
     },
     kVolume},
    {"a symbolic link made by someone else",
     [] {
         MakeFolderWithAFile("/volumes/Elsewhere");
         ASSERT_EQ(symlink("/volumes/Elsewhere", kVolume), 0);
     },
     kVolume},
    {"a link to a folder in shared memory, as earlier versions made",
     [] {
         ASSERT_EQ(mkdir("/dev/shm/tavelmorinth-0", 0700), 0);
         MakeFolderWithAFile("/dev/shm/tavelmorinth-0/Tavelmorinth");
         ASSERT_EQ(symlink("/dev/shm/tavelmorinth-0/Tavelmorinth", kVolume), 0);
     },
     kVolume},
    {"a path outside the volumes folder", [] { MakeFolderWithAFile("/volumes/Elsewhere"); },
     "/volumes/../volumes/Elsewhere"},
};

void PrintTo(const RefusalCase& row, std::ostream* os) { *os << row.name; }

class DetachRefusal : public ToolsTest, public testing::WithParamInterface<RefusalCase> {};

TEST_P(DetachRefusal, FailsWith1AndTouchesNothing) {
    GetParam().setUp();
    ASSERT_FALSE(HasFatalFailure());
    const std::string volumes = Listing("/volumes"), shm = Listing("/dev/shm");
    const bool mounted = tools::MountAt(kVolume).has_value();
    Outcome refused = RunShell(std::string("hdiutil detach ") + GetParam().path);
    EXPECT_EQ(refused.code, 1);
    EXPECT_NE(refused.err, "");
    EXPECT_EQ(refused.out, "");
    EXPECT_EQ(Listing("/volumes"), volumes);
    EXPECT_EQ(Listing("/dev/shm"), shm);
    EXPECT_EQ(tools::MountAt(kVolume).has_value(), mounted);
}

INSTANTIATE_TEST_SUITE_P(NotAVolume, DetachRefusal, testing::ValuesIn(kRefusals), SentenceName());

}  // namespace
}  // namespace tooltest
