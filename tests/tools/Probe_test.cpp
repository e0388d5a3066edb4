// "hdiutil probe": what stands at the RAM disk's path, as the user who asks sees it.
// It changes nothing; our own leftovers are then cleared by the creation command,
// and whatever is not ours is refused by it.
#include <sys/mount.h>
#include <sys/stat.h>
#include <unistd.h>

#include "Mounts.h"
#include "ToolsFixture.h"

namespace tooltest {
namespace {

constexpr int kLive = 0, kNothing = 3, kForeign = 4;
const std::string kProbe = std::string("hdiutil probe ") + kVolume;

void AsUser(As as, const std::string& commands) { ASSERT_EQ(RunShell(commands, as).code, 0) << commands; }

struct ProbeCase {
    const char* name;
    As as;
    void (*setUp)();
    int expected;
};

void PrintTo(const ProbeCase& row, std::ostream* os) { *os << row.name; }

void FolderWithAFile() {
    ASSERT_EQ(mkdir(kVolume, 0755), 0);
    WriteFile(std::string(kVolume) + "/keep", "keep");
}

const ProbeCase kCases[] = {
    {"nothing at all", As::Root, [] {}, kNothing},
    {"the empty mount point a restart left of root's volume", As::Root, [] { ASSERT_EQ(mkdir(kVolume, 0755), 0); },
     kNothing},
    {"a stale device record of a volume a restart took away", As::Root,
     [] {
         ASSERT_EQ(RunShell(CreationCommand(8)).code, 0);
         ASSERT_EQ(umount2(kVolume, MNT_DETACH), 0);
     },
     kNothing},
    {"an ordinary user's own dead link into shared memory, as earlier versions made", As::Nobody,
     [] { AsUser(As::Nobody, "ln -s /dev/shm/tavelmorinth-65534/Tavelmorinth /volumes/Tavelmorinth"); }, kForeign},
    {"root's live volume", As::Root, [] { ASSERT_EQ(RunShell(CreationCommand(8)).code, 0); }, kLive},
    {"root's live volume, for an ordinary user", As::Nobody, [] { ASSERT_EQ(RunShell(CreationCommand(8)).code, 0); },
     kForeign},
    {"another user's link to a folder of theirs", As::Root,
     [] {
         AsUser(As::Nobody, "mkdir /volumes/planted && echo theirs > /volumes/planted/a && "
                            "ln -s /volumes/planted /volumes/Tavelmorinth");
     },
     kForeign},
    {"another user's empty folder", As::Root,
     [] {
         ASSERT_EQ(mkdir(kVolume, 0755), 0);
         ASSERT_EQ(chown(kVolume, kNobody, kNobody), 0);
     },
     kForeign},
    {"a folder with files on the system disk", As::Root, FolderWithAFile, kForeign},
    {"a link we did not make", As::Root,
     [] {
         ASSERT_EQ(mkdir("/volumes/Elsewhere", 0755), 0);
         ASSERT_EQ(symlink("/volumes/Elsewhere", kVolume), 0);
     },
     kForeign},
    {"the user's own link that leads elsewhere", As::Nobody,
     [] { AsUser(As::Nobody, "ln -s /tmp /volumes/Tavelmorinth"); }, kForeign},
    {"a RAM file system mounted without our tools", As::Root,
     [] {
         ASSERT_EQ(mkdir(kVolume, 0755), 0);
         ASSERT_EQ(mount("tvram1", kVolume, "tmpfs", 0, "size=1m"), 0);
     },
     kForeign},
    {"a file", As::Root, [] { WriteFile(kVolume, "keep"); }, kForeign},
};

class Probe : public ToolsTest, public testing::WithParamInterface<ProbeCase> {};

TEST_P(Probe, TellsWhatIsThereChangesNothingAndTheCreationActsOnIt) {
    GetParam().setUp();
    ASSERT_FALSE(HasFatalFailure());
    const As as = GetParam().as;
    const std::string volumes = Listing("/volumes"), shm = Listing("/dev/shm");
    const auto mount = tools::MountAt(kVolume);

    Outcome probed = RunShell(kProbe, as);
    EXPECT_EQ(probed.code, GetParam().expected) << probed.err;
    EXPECT_EQ(probed.out, "");
    EXPECT_EQ(probed.err.empty(), probed.code != kForeign) << probed.err;
    EXPECT_EQ(Listing("/volumes"), volumes);
    EXPECT_EQ(Listing("/dev/shm"), shm);
    EXPECT_EQ(tools::MountAt(kVolume).has_value(), mount.has_value());

    if (probed.code == kNothing) {
        Outcome made = RunShell(CreationCommand(8), as);
        EXPECT_EQ(made.code, 0) << "a leftover was not cleared: " << made.err;
        EXPECT_EQ(RunShell(kProbe, as).code, kLive);
        EXPECT_EQ(RunShell(DetachCommand(), as).code, 0);
        EXPECT_EQ(RunShell(kProbe, as).code, kNothing);
    } else if (probed.code == kForeign) {
        Outcome refused = RunShell(CreationCommand(8), as);
        EXPECT_NE(refused.code, 0);
        Outcome detach = RunShell(DetachCommand(), as);
        EXPECT_EQ(detach.code, 1) << "a detach was not refused";
        EXPECT_EQ(WithoutRecords(Listing("/volumes")), WithoutRecords(volumes));
        EXPECT_EQ(WithoutRecords(Listing("/dev/shm")), WithoutRecords(shm));
        EXPECT_EQ(tools::MountAt(kVolume).has_value(), mount.has_value());
    }
}

INSTANTIATE_TEST_SUITE_P(AtTheMountPoint, Probe, testing::ValuesIn(kCases), SentenceName());

TEST_F(ToolsTest, ProbeWantsExactlyOneVolumePath) {
    for (const char* command : {"hdiutil probe", "hdiutil probe /volumes/A /volumes/B", "hdiutil probe -x",
                                "hdiutil probe /tmp", "hdiutil probe /volumes/.ramdevices"}) {
        SCOPED_TRACE(command);
        Outcome refused = RunShell(command);
        EXPECT_EQ(refused.code, 2) << refused.err;
    }
}

}  // namespace
}  // namespace tooltest
