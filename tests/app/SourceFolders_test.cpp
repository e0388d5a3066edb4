#include <filesystem>

#include "AppFixture.h"
#include "app/ShellPaths.h"
#include "app/SourceFolders.h"
#include "framework/FolderItem.h"

namespace {

namespace fs = std::filesystem;

// Paths are relative to the fixture's root ("@") or its home ("~"), else absolute.
struct FolderCase {
    const char* name;
    const char* path;
    bool refused;
};

class SourceFolders : public AppFixture, public ::testing::WithParamInterface<FolderCase> {
protected:
    std::string Expand(const std::string& path) const {
        if (path.rfind("~", 0) == 0) return home + path.substr(1);
        if (path.rfind("@", 0) == 0) return root + path.substr(1);
        return path;
    }
};

TEST_P(SourceFolders, AreRefusedWhereClosingThemWouldLockSomeoneOut) {
    const FolderCase& c = GetParam();
    fs::create_directories(home + "/Documents/Source");
    fs::create_directories(home + "/.ssh");
    fs::create_directory_symlink(home, root + "/link to home");
    fs::create_directory_symlink("/usr/share", home + "/link to system");
    const std::string plain = Expand(c.path);
    EXPECT_EQ(IsRefusedSourceFolder(fw::EscapeShellWord(plain)), c.refused) << plain;
}

INSTANTIATE_TEST_SUITE_P(
    Paths, SourceFolders,
    ::testing::Values(FolderCase{"TheHomeFolder", "~", true},
                      FolderCase{"TheHomeFolderWithATrailingSlash", "~/", true},
                      FolderCase{"TheHomeFolderSpelledRoundAbout", "~/Documents/..", true},
                      FolderCase{"ALinkToTheHomeFolder", "@/link to home", true},
                      FolderCase{"TheFolderAboveTheHomeFolder", "@", true},
                      FolderCase{"TheRootOfTheFileSystem", "/", true},
                      FolderCase{"TheFolderOfAllHomes", "/home", true},
                      FolderCase{"ASystemFolder", "/usr", true},
                      FolderCase{"AFolderInsideASystemFolder", "/usr/share/doc", true},
                      FolderCase{"ALinkIntoASystemFolder", "~/link to system", true},
                      FolderCase{"TheConfigurationFolder", "/etc", true},
                      FolderCase{"AVariableDataFolder", "/var/lib", true},
                      FolderCase{"TheTemporaryFolder", "/tmp", true},
                      FolderCase{"TheRAMDisk", "/volumes/Tavelmorinth", true},
                      FolderCase{"AFolderOnTheRAMDisk", "/volumes/Tavelmorinth/work", true},
                      FolderCase{"TheFolderOfVolumes", "/volumes", true},
                      FolderCase{"TheSettingsFolder", "~/.local/share/TavelmorinthSettings", true},
                      FolderCase{"AFolderInsideTheSettingsFolder", "~/.local/share/TavelmorinthSettings/x", true},
                      FolderCase{"TheDataFolderAboveTheSettings", "~/.local/share", true},
                      FolderCase{"TheKeysFolder", "~/.ssh", true},
                      FolderCase{"AUsersFolderOfMountedVolumes", "/media/someone", true},
                      FolderCase{"ALineBreakInTheName", "~/Documents/two\nlines", true},
                      FolderCase{"ACarriageReturnInTheName", "~/Documents/two\rlines", true},
                      FolderCase{"AFolderInTheDocuments", "~/Documents/Source", false},
                      FolderCase{"AMissingFolderInTheHome", "~/not yet made", false},
                      FolderCase{"AFolderBesideTheHome", "@/source", false},
                      FolderCase{"AFolderOnAMountedVolume", "/media/someone/STICK/work", false},
                      FolderCase{"AFolderOnAVolumeMountedForTheDesktop", "/run/media/someone/STICK", false},
                      FolderCase{"AFolderBesideTheRAMDisk", "/volumes/source", false},
                      FolderCase{"AFolderOfADataDisk", "/mnt/data/work", false}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(SourceFolderPaths, AnEmptyPathNamesNothingAndIsNotRefused) { EXPECT_FALSE(IsRefusedSourceFolder("")); }

class RefusedFolderPermissions : public AppFixture {};

TEST_F(RefusedFolderPermissions, ASettingsFileNamingTheHomeFolderNeverChangesItsPermissions) {
    fs::permissions(home, fs::perms(0750));
    // A copy there would be read as the settings of a source folder.
    WriteFile(home + "/TavelmorinthSettings/Settings.dat", "1.024\n10m\n" + root + "/elsewhere\n0040\n0010\n");
    WriteFile(settingsFile(), "512\n20\n" + home + "\n0040\n0010\n");
    App& a = app();
    a.GetOptions();
    EXPECT_EQ(Mode(home), 0750) << "the load opens no such folder";
    EXPECT_EQ(a.sPath, home) << "kept, so that the start can say why it is not used";
    EXPECT_EQ(a.sSize, "512") << "no settings copy is read from it";

    a.SaveOptions();
    EXPECT_FALSE(fs::exists(home + "/TavelmorinthSettings/Settings.dat.new"));
    EXPECT_EQ(ReadFile(home + "/TavelmorinthSettings/Settings.dat"), "1.024\n10m\n" + root + "/elsewhere\n0040\n0010\n")
        << "a save writes no copy into it";

    a.Event_Close();  // the quit closes the source folder
    EXPECT_EQ(Mode(home), 0750);
    SetPermissionsAt(fw::EscapeShellWord(home), kSourcePermissions);
    EXPECT_EQ(Mode(home), 0750) << "no road may change it";
}

}  // namespace
