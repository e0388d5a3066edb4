// The real program started with settings a user edited by hand or a folder it
// must never close: it neither spins nor locks anyone out, and it still quits.
#include <sys/statfs.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <thread>

#include "ProgramFixture.h"
#include "framework/FolderItem.h"

namespace tvmtest {
namespace {

namespace fs = std::filesystem;

// Processor seconds the process has used so far (user and system).
double CpuSeconds(pid_t pid) {
    std::ifstream in("/proc/" + std::to_string(pid) + "/stat");
    std::string stat((std::istreambuf_iterator<char>(in)), {});
    std::istringstream fields(stat.substr(stat.rfind(')') + 2));
    std::string field;
    long ticks = 0;
    for (int i = 3; i <= 15 && fields >> field; ++i)
        if (i >= 14) ticks += std::stol(field);
    return double(ticks) / double(::sysconf(_SC_CLK_TCK));
}

struct Tokens {
    const char* name;
    const char* size;
    const char* interval;
};

class HandEditedSettings : public ProgramTest, public ::testing::WithParamInterface<Tokens> {};

TEST_P(HandEditedSettings, ReadAsTheDefaultsAndNeverWriteBackBackToBack) {
    const Tokens& c = GetParam();
    WriteTree(source_, {{"kept", File("kept")}});
    WriteSettings(c.size, c.interval, source_);
    Program& program = Start();
    ASSERT_TRUE(WaitLoaded({{"kept", File("kept")}})) << ProgramLog();
    struct statfs vol {};
    ASSERT_EQ(::statfs(kRamDisk, &vol), 0);
    EXPECT_EQ(double(vol.f_blocks) * double(vol.f_bsize), 256.0 * 1048576);

    // A file dropped into the source folder stays until the next write-back, a
    // minute away; the program idles meanwhile.
    std::ofstream(source_ + "/dropped") << "dropped";
    const double before = CpuSeconds(program.Pid());
    std::this_thread::sleep_for(std::chrono::seconds(2));
    EXPECT_LT(CpuSeconds(program.Pid()) - before, 0.5) << "processor seconds in 2 s";
    EXPECT_TRUE(fs::exists(source_ + "/dropped"));
    ASSERT_TRUE(QuitAndWait(program));
}

INSTANTIATE_TEST_SUITE_P(Lines, HandEditedSettings,
                         ::testing::Values(Tokens{"InfiniteInterval", "256", "inf"},
                                           Tokens{"ZeroInterval", "256", "0"},
                                           Tokens{"NegativeInterval", "256", "-5"},
                                           Tokens{"LettersAsInterval", "256", "abc"},
                                           Tokens{"SizeNotOffered", "0010", "60"}),
                         [](const auto& info) { return std::string(info.param.name); });

struct Folder {
    const char* name;
    bool aboveTheHome;  // else the home folder itself
};

class ForbiddenSourceFolders : public ProgramTest, public ::testing::WithParamInterface<Folder> {};

TEST_P(ForbiddenSourceFolders, KeepTheirPermissionsAndTheProgramStillQuits) {
    const std::string folder = GetParam().aboveTheHome ? fs::path(home_).parent_path().string() : home_;
    fs::permissions(folder, fs::perms(0751));
    WriteSettings("256", "60", fw::EscapeShellWord(folder));
    Program& program = Start();
    std::this_thread::sleep_for(std::chrono::seconds(2));
    EXPECT_TRUE(program.Running()) << ProgramLog();
    EXPECT_EQ(Mode(folder), 0751);
    EXPECT_FALSE(Mounted(kRamDisk)) << "no RAM disk is loaded from such a folder";
    ASSERT_TRUE(QuitAndWait(program, 10));
    EXPECT_EQ(Mode(folder), 0751);
    EXPECT_EQ(SettingsLines().at(2), fw::EscapeShellWord(folder)) << "the settings are left for the user to change";
}

INSTANTIATE_TEST_SUITE_P(Folders, ForbiddenSourceFolders,
                         ::testing::Values(Folder{"TheHomeFolder", false}, Folder{"TheFolderAboveTheHome", true}),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace tvmtest
