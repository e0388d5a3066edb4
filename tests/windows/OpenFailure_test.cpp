// An address or a file that the desktop cannot open is said in a message box,
// never dropped in silence: with no xdg-open on PATH, and with one that fails.
#include <filesystem>

#include "WindowsFixture.h"
#include "framework/Application.h"
#include "framework/Dialogs.h"
#include "framework/FolderItem.h"
#include "windows/MakerTexts.h"
#include "windows/frmAboutBK.h"

namespace {

struct OpenerCase {
    const char* name;
    int exitCode;  // of the stand-in xdg-open; -1: none on PATH
};

class OpenFailure : public WindowsFixture, public testing::WithParamInterface<OpenerCase> {
protected:
    void SetUp() override {
        WindowsFixture::SetUp();
        const std::string bin = root + "/opener";
        std::filesystem::create_directories(bin);
        opened = root + "/opened.txt";
        if (GetParam().exitCode >= 0) {
            WriteFile(bin + "/xdg-open", "#!/bin/sh\nprintf '%s\\n' \"$1\" >> '" + opened + "'\nexit " +
                                             std::to_string(GetParam().exitCode) + "\n");
            std::filesystem::permissions(bin + "/xdg-open", std::filesystem::perms::owner_all);
        }
        // Alone on PATH: the machine's own xdg-open must not answer.
        setenv("PATH", bin.c_str(), 1);
    }
    void TearDown() override {
        fw::testing::CloseMessageBoxes();
        WindowsFixture::TearDown();
    }
    bool Fails() const { return GetParam().exitCode != 0; }

    // What the user is told about `target`: waits (bounded) for the box when
    // one is due, else until the opener has had it and has ended.
    std::vector<std::string> Told(const std::string& target) {
        for (int i = 0; i < 500; ++i) {
            if (Fails() && !fw::testing::ShownMessageBoxes().empty()) break;
            if (!Fails() && ReadFile(opened).find(target) != std::string::npos) break;
            fw::ProcessEvents(10);
        }
        fw::ProcessEvents(200);  // a late box would show by now
        auto texts = fw::testing::ShownMessageBoxes();
        fw::testing::CloseMessageBoxes();
        return texts;
    }
    std::vector<std::string> Expected(const std::string& target) const {
        if (!Fails()) return {};
        return {fw::kCannotOpen(target)};
    }
    std::string opened;
};

TEST_P(OpenFailure, TheUserIsToldOfAnAddressOrAFileThatCouldNotBeOpened) {
    frmAboutBK()->cmdHomepage()->Push();
    EXPECT_EQ(Told(tvm::kHomePage), Expected(tvm::kHomePage)) << "the maker's home page";

    const std::string manual = root + "/Handbuch/Manual.pdf";
    WriteFile(manual, "%PDF-1.4\n");
    const bool launched = fw::FolderItem(manual).Launch();
    EXPECT_EQ(launched, GetParam().exitCode >= 0) << "started, whatever it did then";
    EXPECT_EQ(Told(manual), Expected(manual)) << "the manual";
}

INSTANTIATE_TEST_SUITE_P(Cases, OpenFailure,
                         testing::Values(OpenerCase{"no_xdg_open_on_the_path", -1},
                                         OpenerCase{"an_xdg_open_that_fails", 3},
                                         OpenerCase{"an_xdg_open_that_works", 0}),
                         [](const testing::TestParamInfo<OpenerCase>& info) { return std::string(info.param.name); });

TEST(CannotOpenText, NamesTheTargetInBothLanguages) {
    EXPECT_EQ(fw::kCannotOpen("/a b/Manual.pdf", "en").rfind("\u201C/a b/Manual.pdf\u201D could not be opened.", 0), 0u);
    EXPECT_EQ(fw::kCannotOpen("/a b/Manual.pdf", "de").rfind("\u201E/a b/Manual.pdf\u201C konnte nicht ge\u00F6ffnet", 0),
              0u);
}

}  // namespace
