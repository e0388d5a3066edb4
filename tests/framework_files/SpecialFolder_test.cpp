#include "framework/SpecialFolder.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cstdlib>
#include <optional>

#include "Scratch.h"

using tvmtest::Scratch;
using tvmtest::WriteFile;

namespace {

// HOME and the XDG variables pointed at a scratch folder, put back afterwards.
class SpecialFolders : public testing::Test {
protected:
    void SetUp() override {
        for (const char* name : {"HOME", "XDG_DATA_HOME", "XDG_CONFIG_HOME"}) {
            const char* v = std::getenv(name);
            saved_.push_back({name, v ? std::optional<std::string>(v) : std::nullopt});
        }
        home = s / "home";
        ::mkdir(home.c_str(), 0755);
        ::setenv("HOME", home.c_str(), 1);
        ::unsetenv("XDG_DATA_HOME");
        ::unsetenv("XDG_CONFIG_HOME");
    }
    void TearDown() override {
        for (auto& [name, value] : saved_) {
            if (value) ::setenv(name.c_str(), value->c_str(), 1);
            else ::unsetenv(name.c_str());
        }
    }
    void UserDirs(const std::string& configFolder, const std::string& text) {
        std::filesystem::create_directories(configFolder);
        WriteFile(configFolder + "/user-dirs.dirs", text);
    }

    Scratch s;
    std::string home;

private:
    std::vector<std::pair<std::string, std::optional<std::string>>> saved_;
};

TEST_F(SpecialFolders, ApplicationDataIsXdgDataHomeWhenAbsolute) {
    EXPECT_EQ(fw::SpecialFolder::ApplicationData()->NativePath(), home + "/.local/share");
    ::setenv("XDG_DATA_HOME", (s / "data/").c_str(), 1);
    EXPECT_EQ(fw::SpecialFolder::ApplicationData()->NativePath(), s / "data");
    ::setenv("XDG_DATA_HOME", "relative/data", 1);
    EXPECT_EQ(fw::SpecialFolder::ApplicationData()->NativePath(), home + "/.local/share");
    ::setenv("XDG_DATA_HOME", "", 1);
    EXPECT_EQ(fw::SpecialFolder::ApplicationData()->NativePath(), home + "/.local/share");
}

TEST_F(SpecialFolders, DocumentsComesFromTheUserDirsFile) {
    struct Row {
        const char* what;
        std::string file;  // empty: no file
        std::string expected;
    } rows[] = {
        {"no file", "", home + "/Documents"},
        {"under home", "XDG_DOCUMENTS_DIR=\"$HOME/Dokumente\"\n", home + "/Dokumente"},
        {"absolute", "XDG_DOCUMENTS_DIR=\"/srv/docs/\"\n", "/srv/docs"},
        {"among comments and other folders",
         "# written by a tool\nXDG_DESKTOP_DIR=\"$HOME/Desktop\"\n  XDG_DOCUMENTS_DIR=\"$HOME/My Docs\"\n"
         "XDG_MUSIC_DIR=\"$HOME/Music\"\n",
         home + "/My Docs"},
        {"with escapes", "XDG_DOCUMENTS_DIR=\"$HOME/a \\\"b\\\" \\$c\"\n", home + "/a \"b\" $c"},
        {"the last line wins", "XDG_DOCUMENTS_DIR=\"$HOME/one\"\nXDG_DOCUMENTS_DIR=\"$HOME/two\"\n", home + "/two"},
        {"relative (not allowed)", "XDG_DOCUMENTS_DIR=\"Documents2\"\n", home + "/Documents"},
        {"unquoted (not allowed)", "XDG_DOCUMENTS_DIR=$HOME/x\n", home + "/Documents"},
        {"a commented line", "#XDG_DOCUMENTS_DIR=\"$HOME/x\"\n", home + "/Documents"},
    };
    for (const Row& r : rows) {
        std::filesystem::remove_all(home + "/.config");
        if (!r.file.empty()) UserDirs(home + "/.config", r.file);
        EXPECT_EQ(fw::SpecialFolder::Documents()->NativePath(), r.expected) << r.what;
    }
}

TEST_F(SpecialFolders, DocumentsLooksInXdgConfigHome) {
    UserDirs(home + "/.config", "XDG_DOCUMENTS_DIR=\"$HOME/default-place\"\n");
    UserDirs(s / "cfg", "XDG_DOCUMENTS_DIR=\"$HOME/other-place\"\n");
    ::setenv("XDG_CONFIG_HOME", (s / "cfg").c_str(), 1);
    EXPECT_EQ(fw::SpecialFolder::Documents()->NativePath(), home + "/other-place");
}

// On a fresh account the data folder is missing; the program's settings folder
// could not be made inside it otherwise.
TEST_F(SpecialFolders, ApplicationDataIsMadeWhenMissingDocumentsIsNot) {
    fw::SpecialFolder::Documents();
    EXPECT_TRUE(std::filesystem::is_empty(home));
    const auto data = fw::SpecialFolder::ApplicationData();
    EXPECT_TRUE(data->Directory());
    EXPECT_EQ(data->Permissions(), 0700);
    EXPECT_EQ(std::filesystem::status(home + "/.local").permissions(), std::filesystem::perms::owner_all);
    EXPECT_FALSE(fw::GetFolderItem(data->ShellPath() + "/TavelmorinthSettings/", 1).IsNil());

    ::chmod(data->NativePath().c_str(), 0755);  // an existing folder is left as it is
    EXPECT_EQ(fw::SpecialFolder::ApplicationData()->Permissions(), 0755);
}

}  // namespace
