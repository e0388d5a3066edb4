#include "WindowsFixture.h"
#include "app/Main.h"
#include "app/frmFAQ.h"
#include "framework/Menu.h"
#include "windows/frmState.h"

namespace {

using Role = fw::MenuItem::Role;

struct ItemRow {
    const char* menu;
    const char* name;
    Role role;
    const char* text;
    const char* shortcut;
    bool visible;
};

class MenuBar : public WindowsFixture {};

TEST_F(MenuBar, HoldsEveryItemInItsMenuAndOrder) {
    const ItemRow rows[] = {
        {"FileMenu", "FileQuit", Role::Quit, "Beenden", "Cmd+Q", true},
        {"FileMenu", "mnuOptions", Role::Preferences, "Einstellungen", "", true},
        {"FileMenu", "mnuState", Role::Plain, "Aktivit\xC3\xA4t Anzeigen", "Cmd+A", true},
        {"EditMenu", "EditUndo", Role::Plain, "&R\xC3\xBC" "ckg\xC3\xA4ngig", "Cmd+Z", true},
        {"EditMenu", "EditSeparator1", Role::Plain, "-", "", true},
        {"EditMenu", "EditCut", Role::Plain, "&Ausschneiden", "Cmd+X", true},
        {"EditMenu", "EditCopy", Role::Plain, "&Kopieren", "Cmd+C", true},
        {"EditMenu", "EditPaste", Role::Plain, "&Einf\xC3\xBCgen", "Cmd+V", true},
        {"EditMenu", "EditClear", Role::Plain, "&L\xC3\xB6schen", "", true},
        {"EditMenu", "EditSeparator2", Role::Plain, "-", "", true},
        {"EditMenu", "EditSelectAll", Role::Plain, "&Alles ausw\xC3\xA4hlen", "Cmd+A", true},
        {"mnuHelp", "mnuDocu", Role::Plain, "Handbuch", "", true},
        {"mnuHelp", "mnuAboutTavelmorinth", Role::About, "\xC3\x9C" "ber Tavelmorinth", "", true},
        {"mnuHelp", "mnuAboutBK", Role::About, "\xC3\x9C" "ber Brantolek", "", true},
    };
    auto bar = MainMenuBar();
    ASSERT_EQ(bar->Count(), 3);
    EXPECT_EQ(bar->Item(0)->Name(), "FileMenu");
    EXPECT_EQ(bar->Item(1)->Name(), "EditMenu");
    EXPECT_EQ(bar->Item(2)->Name(), "mnuHelp");
    EXPECT_FALSE(bar->Child("EditMenu")->Visible());
    std::map<std::string, int64_t> position;
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        auto menu = bar->Child(row.menu);
        ASSERT_TRUE(menu);
        auto item = menu->Item(position[row.menu]++);
        ASSERT_TRUE(item);
        EXPECT_EQ(item->Name(), row.name);
        EXPECT_EQ(item->ItemRole(), row.role);
        EXPECT_EQ(item->Text(), row.text);
        EXPECT_EQ(item->KeyboardShortcut(), row.shortcut);
        EXPECT_EQ(item->Visible(), row.visible);
        EXPECT_TRUE(item->AutoEnable);
        EXPECT_TRUE(bar->Lookup(row.name) == item) << "found by name anywhere in the tree";
    }
}

TEST_F(MenuBar, OnlyItemsOfShownMenusCarryTheirShortcuts) {
    EXPECT_EQ(fw::testing::ShortcutOf(*mnuState()), "Ctrl+A");
    EXPECT_EQ(fw::testing::ShortcutOf(*MainMenuBar()->Lookup("FileQuit")), "Ctrl+Q");
    EXPECT_EQ(fw::testing::ShortcutOf(*MainMenuBar()->Lookup("EditSelectAll")), "")
        << "the hidden Edit menu must not take Ctrl+A from the activity item";
    EXPECT_EQ(fw::testing::ShortcutOf(*MainMenuBar()->Lookup("EditCopy")), "");
}

TEST_F(MenuBar, TheItemAccessorsFindTheirItemsInTheApplicationsBar) {
    EXPECT_EQ(FileMenu()->Name(), "FileMenu");
    EXPECT_EQ(mnuOptions()->Name(), "mnuOptions");
    EXPECT_EQ(mnuState()->Name(), "mnuState");
    EXPECT_EQ(mnuHelp()->Name(), "mnuHelp");
    EXPECT_EQ(mnuDocu()->Name(), "mnuDocu");
    EXPECT_EQ(mnuAboutTavelmorinth()->Name(), "mnuAboutTavelmorinth");
    EXPECT_EQ(mnuAboutBK()->Name(), "mnuAboutBK");
}

TEST_F(MenuBar, ChoosingAnItemRunsTheActiveWindowsHandlerBeforeTheApplications) {
    std::vector<std::string> calls;
    app().AddMenuHandler("mnuOptions", [&] {
        calls.push_back("app");
        return true;
    });
    mnuOptions()->Trigger();
    EXPECT_EQ(calls, std::vector<std::string>{"app"});

    auto w = frmState();
    ASSERT_TRUE(fw::testing::Activate(*w));
    w->AddMenuHandler("mnuOptions", [&] {
        calls.push_back("window");
        return true;
    });
    mnuOptions()->Trigger();
    EXPECT_EQ(calls, (std::vector<std::string>{"app", "window"}));
}

TEST_F(MenuBar, TheCheckMarkIsTheProgramsNotAToggleOfTheMenu) {
    app().AddMenuHandler("mnuState", [] { return true; });
    mnuState()->Trigger();
    EXPECT_FALSE(mnuState()->Checked());
    EXPECT_EQ(fw::testing::ShortcutOf(*mnuState()), "Ctrl+A");
}

TEST_F(MenuBar, TheQuitItemQuitsAfterClosingEveryWindow) {
    auto w = frmState();
    ASSERT_TRUE(app().bActivityVisible);
    MainMenuBar()->Lookup("FileQuit")->Trigger();
    EXPECT_FALSE(w->IsOpen());
    EXPECT_FALSE(app().bActivityVisible) << "its Close event ran";
    EXPECT_TRUE(fw::OpenWindows().empty());
}

TEST_F(MenuBar, StartUpSharesOneMenuBarBetweenTheApplicationAndTheHiddenDefaultWindow) {
    _NewAppInstance();
    EXPECT_TRUE(app().MenuBar == MainMenuBar());
    _MakeDefaultView();
    auto faq = frmFAQ();
    EXPECT_TRUE(faq->IsOpen());
    EXPECT_FALSE(faq->Visible());
    EXPECT_TRUE(faq->MenuBar() == MainMenuBar());
    faq->Close();
    fw::RegisterApplication(application.get());
}

}  // namespace
