// The whole application in this process: a rebuild after the options window
// closes, a rebuild towards a folder that is gone, and a quit refused while the
// volume is in use, on a real RAM disk and the real event loop.
#include <fcntl.h>
#include <sys/statfs.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>

#include "LiveApp.h"
#include "ProgramFixture.h"
#include "engine/CAfterChangeOptions.h"
#include "engine/CCleanRAMDisk.h"
#include "engine/CTavelmorinth.h"
#include "engine/TimerState.h"
#include "framework/Exceptions.h"
#include "framework/FolderItem.h"
#include "framework/testing/GuiTesting.h"
#include "windows/frmOptions.h"
#include "windows/frmState.h"

namespace tvmtest {
namespace {

namespace fs = std::filesystem;

double VolumeBytes() {
    struct statfs vol {};
    return ::statfs(kRamDisk, &vol) == 0 ? double(vol.f_blocks) * double(vol.f_bsize) : 0;
}

class Rebuild : public LiveAppTest {
protected:
    // Chooses size and interval in the lists and a folder through the folder
    // chooser, as a user does, then closes the window by its close box.
    void ChangeOptions(const std::string& sizeRow, const std::string& intervalToken, const std::string& folder) {
        a()._mnuOptions_Action();
        auto w = frmOptions();
        auto sizes = w->cmbSize();
        for (int64_t i = 0; i < sizes->ListCount(); ++i)
            if (sizes->List(i) == sizeRow) sizes->SetListIndex(i);
        ASSERT_EQ(sizes->Text(), sizeRow);
        for (int i = 0; i < frmOptions::kIntervalRows; ++i)
            if (frmOptions::IntervalToken(i) == intervalToken) w->cmbInterval()->SetListIndex(i);
        fw::testing::AnswerNextFolderChooser(folder);
        fw::testing::ClickControl(*w->cmdPath());
        ASSERT_EQ(w->lblPath()->Text(), fw::EscapeShellWord(folder));
        if (before_close_) before_close_();
        fw::testing::CloseByUser(*w);
        fw::testing::Pump();
    }
    std::function<void()> before_close_;
};

TEST_F(Rebuild, AnotherSizeIntervalAndFolderMakeANewRAMDiskFromTheNewFolder) {
    const std::string oldFolder = documents_ + "/Old", newFolder = documents_ + "/New folder";
    WriteTree(oldFolder, {{"old", File("old")}});
    WriteTree(newFolder, {{"new/inside", File("new")}});
    Start("256", "60", oldFolder);
    EXPECT_EQ(VolumeBytes(), 256.0 * 1048576);
    WriteTree(kRamDisk, {{"last work", File("saved into the old folder", kNew)}});

    ChangeOptions("1.024 MB", "10m", newFolder);
    ASSERT_TRUE(RunUntil([&] { return !Armed(a().oAfterChangeOptions) && a().bLoadComplete && !a().bTransactionCopy; }, 30))
        << "status: " << a().sState;

    EXPECT_EQ(Snapshot(oldFolder)["last work"], File("saved into the old folder", kNew));
    EXPECT_EQ(Mode(oldFolder), 0);
    EXPECT_EQ(Mode(newFolder), 0744) << "group and others keep no more than they had (0755)";
    ASSERT_TRUE(Mounted(kRamDisk));
    EXPECT_EQ(VolumeBytes(), 1024.0 * 1048576);
    EXPECT_EQ(Difference(WithParents({{"new/inside", File("new")}}), UserEntries(Snapshot(kRamDisk))), "");
    EXPECT_EQ(a().oTimerCopy->Period(), 600000);
    EXPECT_TRUE(Armed(a().oTimerCopy));
    EXPECT_EQ(a().oTavelmorinth->sSourcePath, fw::EscapeShellWord(newFolder));
    const Tree settings = Snapshot(fs::path(settings_).parent_path());
    EXPECT_EQ(settings.at("Settings.dat").data, "1.024\n10m\n" + fw::EscapeShellWord(newFolder) + "\n0040\n0010\n");

    // The quit now writes back into the new folder and closes it.
    WriteTree(kRamDisk, {{"after the rebuild", File("new work", kNew)}});
    Quit();
    ASSERT_TRUE(RunUntil([&] { return a().closed; }, 20)) << "status: " << a().sState;
    EXPECT_FALSE(Mounted(kRamDisk));
    EXPECT_EQ(Snapshot(newFolder)["after the rebuild"], File("new work", kNew));
    EXPECT_FALSE(fs::exists(oldFolder + "/after the rebuild"));
    EXPECT_EQ(Mode(newFolder), 0);
}

TEST_F(Rebuild, AChosenFolderThatIsGoneKeepsTheRAMDiskAndALaterQuitStillWritesBack) {
    const std::string oldFolder = documents_ + "/Old", gone = documents_ + "/Gone";
    WriteTree(oldFolder, {{"old", File("old")}});
    fs::create_directories(gone);
    Start("256", "60", oldFolder);
    before_close_ = [&] { fs::remove(gone); };  // removed after it was chosen
    ChangeOptions("512 MB", "20", gone);
    ASSERT_TRUE(RunUntil([&] { return !Armed(a().oAfterChangeOptions); }, 10));

    EXPECT_EQ(a().sState,
              "Attention, the Folder does not exist. Please activate this and restart \"Tavelmorinth\" or change the "
              "source folder in the options.");
    ASSERT_TRUE(Mounted(kRamDisk));
    EXPECT_EQ(VolumeBytes(), 256.0 * 1048576) << "no new RAM disk is made";
    EXPECT_TRUE(Armed(a().oTimerCopy)) << "the RAM disk that stays is still saved";
    EXPECT_EQ(Snapshot(kRamDisk)["old"], File("old"));

    WriteTree(kRamDisk, {{"work", File("kept", kNew)}});
    Quit();
    ASSERT_TRUE(RunUntil([&] { return a().closed; }, 20)) << "status: " << a().sState;
    EXPECT_FALSE(Mounted(kRamDisk));
    EXPECT_EQ(Snapshot(oldFolder)["work"], File("kept", kNew)) << "the write-back goes where the RAM disk came from";
    EXPECT_FALSE(fs::exists(gone));
}

TEST_F(Rebuild, AQuitWhileTheVolumeIsInUseShowsWhyAndALaterQuitEnds) {
    const std::string folder = documents_ + "/Source";
    WriteTree(folder, {{"held", File("held")}});
    Start("256", "60", folder);
    const int fd = ::open((std::string(kRamDisk) + "/held").c_str(), O_RDONLY | O_CLOEXEC);
    ASSERT_GE(fd, 0);

    Quit();
    const std::string inUse = "Tavelmorinth is in use and can not be ejected.";
    const bool refused = RunUntil([&] { return a().sState == inUse; }, 15);
    // One more firing of the progress timer puts it on the screen.
    RunUntil([&] { return frmState()->lblStateRAMDisk()->Text() == inUse; }, 1);
    ::close(fd);
    ASSERT_TRUE(refused) << "status: " << a().sState;
    EXPECT_EQ(frmState()->lblStateRAMDisk()->Text(), inUse);
    EXPECT_FALSE(a().closed);
    EXPECT_TRUE(Mounted(kRamDisk));
    EXPECT_TRUE(Armed(a().oTimerCopy)) << "the periodic write-back goes on";
    EXPECT_FALSE(Armed(a().oCleanRamDisk));
    EXPECT_EQ(Mode(folder), 0744);

    Quit();
    ASSERT_TRUE(RunUntil([&] { return a().closed; }, 20)) << "status: " << a().sState;
    EXPECT_FALSE(Mounted(kRamDisk));
    EXPECT_EQ(Mode(folder), 0);
}


TEST_F(Rebuild, SettingsThatCannotBeSavedAreSaidOnceAndTheRAMDiskGoesOn) {
    const std::string oldFolder = documents_ + "/Old", newFolder = documents_ + "/New";
    WriteTree(oldFolder, {{"old", File("old")}});
    WriteTree(newFolder, {{"new", File("new")}});
    fs::permissions(newFolder, fs::perms(0750));
    Start("256", "60", oldFolder);
    const std::string settingsFolder = fs::path(settings_).parent_path().string();
    before_close_ = [&] {
        // Where the settings folder should be lies a file: no save can succeed.
        fs::remove_all(settingsFolder);
        std::ofstream(settingsFolder) << "in the way";
    };
    int errorBoxes = 0;
    fw::SetUncaughtHook([&](const std::string&, const std::string&, const std::string&) { ++errorBoxes; });
    ChangeOptions("1.024 MB", "10m", newFolder);
    ASSERT_TRUE(RunUntil([&] { return !Armed(a().oAfterChangeOptions); }, 10)) << "status: " << a().sState;
    RunUntil([] { return false; }, 1.5);  // the rebuild timer would have fired three more times
    fw::SetUncaughtHook(nullptr);
    EXPECT_EQ(errorBoxes, 0) << "the status says it, no error box";

    EXPECT_EQ(a().sState, App::kSettingsNotSaved());
    RunUntil([&] { return frmState()->lblStateRAMDisk()->Text() == App::kSettingsNotSaved(); }, 1);
    EXPECT_EQ(frmState()->lblStateRAMDisk()->Text(), App::kSettingsNotSaved());
    ASSERT_TRUE(Mounted(kRamDisk));
    EXPECT_EQ(VolumeBytes(), 256.0 * 1048576) << "the RAM disk in use stays";
    EXPECT_EQ(Mode(oldFolder), 0744);
    EXPECT_EQ(Mode(newFolder), 0750);
    EXPECT_TRUE(Armed(a().oTimerCopy));

    WriteTree(kRamDisk, {{"work", File("kept", kNew)}});
    Quit();
    ASSERT_TRUE(RunUntil([&] { return a().closed; }, 20)) << "status: " << a().sState;
    EXPECT_FALSE(Mounted(kRamDisk));
    EXPECT_EQ(Snapshot(oldFolder)["work"], File("kept", kNew));
    EXPECT_EQ(Mode(oldFolder), 0);
    EXPECT_EQ(Mode(newFolder), 0750);
    fs::remove(settingsFolder);
}

TEST_F(Rebuild, AQuitDuringTheEjectEndsTheProgramOnceTheVolumeIsGone) {
    const std::string oldFolder = documents_ + "/Old", newFolder = documents_ + "/New";
    WriteTree(oldFolder, {{"old", File("old")}});
    WriteTree(newFolder, {{"new", File("new")}});
    Start("256", "60", oldFolder);
    WriteTree(kRamDisk, {{"last work", File("saved by the eject", kNew)}});
    ChangeOptions("512 MB", "60", newFolder);
    ASSERT_TRUE(RunUntil([&] { return a().oAfterChangeOptions->bCleanStarted; }, 10));

    Quit();
    ASSERT_TRUE(RunUntil([&] { return a().closed; }, 20)) << "the quit was dropped; status: " << a().sState;
    EXPECT_FALSE(Mounted(kRamDisk)) << "no new RAM disk is made after the quit";
    EXPECT_EQ(Snapshot(oldFolder)["last work"], File("saved by the eject", kNew));
    EXPECT_FALSE(fs::exists(newFolder + "/last work"));
    EXPECT_EQ(Mode(oldFolder), 0);
    EXPECT_EQ(Mode(newFolder), 0);
}

}  // namespace
}  // namespace tvmtest
