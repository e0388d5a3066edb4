#include <functional>

#include "WindowsFixture.h"
#include "windows/frmState.h"

namespace {

class ActivityWindow : public WindowsFixture {
protected:
    std::vector<std::string> StoredSettings() const { return Lines(ReadFile(settingsFile())); }
};

TEST_F(ActivityWindow, OpensAtTheStoredPositionAndStoresItWithFourDigits) {
    auto w = frmState();
    EXPECT_TRUE(w->Visible());
    EXPECT_EQ(w->Title(), "Activity");
    EXPECT_EQ(w->Top(), 40);
    EXPECT_EQ(w->Left(), 10);
    EXPECT_TRUE(mnuState()->Checked());
    EXPECT_TRUE(app().bActivityVisible);

    w->Close();
    EXPECT_EQ(app().sStateTop, "0040");
    EXPECT_EQ(app().sStateLeft, "0010");
    const auto lines = StoredSettings();
    ASSERT_EQ(lines.size(), 5u);
    EXPECT_EQ(lines[3], "0040");
    EXPECT_EQ(lines[4], "0010");
    EXPECT_FALSE(mnuState()->Checked());
    EXPECT_FALSE(app().bActivityVisible);
}

TEST_F(ActivityWindow, APositionOfFiveDigitsIsStoredWhole) {
    auto w = frmState();
    w->SetTop(12345);
    w->SetLeft(321);
    w->Close();
    EXPECT_EQ(app().sStateTop, "12345");
    EXPECT_EQ(app().sStateLeft, "0321");
}

TEST_F(ActivityWindow, ClosingByTheCloseBoxOrTheMenuItemHasTheSameEffect) {
    const std::vector<std::pair<const char*, std::function<void()>>> ways{
        {"close box", [] { fw::testing::CloseByUser(*frmState()); }},
        {"menu item", [] {
             frmState()->SetVisible(false);
             frmState()->Close();
         }},
    };
    for (const auto& [way, close] : ways) {
        auto w = frmState();
        w->SetTop(77);
        close();
        EXPECT_FALSE(w->IsOpen()) << way;
        EXPECT_EQ(app().sStateTop, "0077") << way;
        EXPECT_EQ(StoredSettings().at(3), "0077") << way;
        EXPECT_FALSE(mnuState()->Checked()) << way;
        EXPECT_FALSE(app().bActivityVisible) << way;
    }
}

TEST_F(ActivityWindow, AFreshWindowAfterACloseStartsFromItsLayout) {
    auto first = frmState();
    first->prgState()->SetValue(80);
    first->lblFolder()->SetText("Folder: /x");
    first->Close();
    auto second = frmState();
    EXPECT_FALSE(second == first);
    EXPECT_EQ(second->prgState()->Value(), 0);
    EXPECT_EQ(second->lblFolder()->Text(), "");
    EXPECT_EQ(second->lblStateRAMDisk()->Text(), "");
    EXPECT_TRUE(mnuState()->Checked());
}

TEST_F(ActivityWindow, ReachingAControlOfAClosedWindowOpensItAgain) {
    frmState()->Close();
    frmState()->prgState()->SetValue(0);
    EXPECT_TRUE(frmState()->Visible());
    EXPECT_TRUE(app().bActivityVisible);
}

TEST_F(ActivityWindow, CarriesTheMenuBarWithTheEditMenuHidden) {
    auto w = frmState();
    EXPECT_EQ(fw::testing::MenuBarTitles(*w), (std::vector<std::string>{"&Ablage", "Hilfe"}));
    EXPECT_EQ(fw::testing::FrameHeight(*w), 116 + fw::testing::MenuBarHeight(*w))
        << "a window the user cannot resize keeps its layout height, though its maximum says 114";
    EXPECT_EQ(fw::testing::FrameWidth(*w), 470);
}

TEST_F(ActivityWindow, TheShowActivityShortcutWorksInTheWindow) {
    int chosen = 0;
    app().AddMenuHandler("mnuState", [&] {
        ++chosen;
        return true;
    });
    auto w = frmState();
    ASSERT_TRUE(fw::testing::Activate(*w));
    fw::testing::PressKeys(*w, "Cmd+A");
    EXPECT_EQ(chosen, 1);
}

}  // namespace

namespace {

TEST_F(ActivityWindow, ClosesWhenItsPositionCannotBeStoredAndSaysSo) {
    MakeTimers(true);
    auto w = frmState();
    clock.Advance(5);
    // Where the settings folder should be lies a file: every save fails.
    std::filesystem::remove_all(settingsDir());
    WriteFile(settingsDir(), "in the way");
    fw::testing::CloseByUser(*w);
    fw::testing::Pump();
    EXPECT_FALSE(w->IsOpen());
    EXPECT_FALSE(mnuState()->Checked());
    EXPECT_FALSE(app().bActivityVisible);
    EXPECT_EQ(app().sState, App::kSettingsNotSaved());

    for (int i = 0; i < 20; ++i) clock.Advance(1);  // the progress timer runs on
    fw::testing::Pump();
    EXPECT_FALSE(app().bActivityVisible) << "nothing opens the window again";
    EXPECT_FALSE(mnuState()->Checked());
    EXPECT_EQ(ReadFile(settingsDir()), "in the way");
}

}  // namespace
