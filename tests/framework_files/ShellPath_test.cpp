#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <set>
#include <vector>

#include "Scratch.h"
#include "framework/FolderItem.h"
#include "framework/Shell.h"

using fw::FolderItem;
using fw::GetFolderItem;
using tvmtest::Scratch;
using tvmtest::WriteFile;

namespace {

struct HostileName {
    const char* description;
    std::string name;
    std::vector<std::string> decoys;  // siblings that a wrong reading would hit
};

std::ostream& operator<<(std::ostream& os, const HostileName& n) { return os << n.description; }

const HostileName kNames[] = {
    {"a blank", "two words", {"two", "words"}},
    {"only blanks", "   ", {}},
    {"a trailing blank", "x ", {}},
    {"a tab", "a\tb", {"a", "b"}},
    {"a newline", "a\nb", {"a", "b"}},
    {"a backslash before a newline", "a\\\nb", {"a", "b", "a\\"}},
    {"quote newline quote", "'\n'", {}},
    {"double quotes", "say \"hi\"", {"say", "hi"}},
    {"single quotes", "it's 'x'", {"its", "x"}},
    {"a backslash", "a\\b", {"ab"}},
    {"a dollar", "$HOME", {"home"}},
    {"a command substitution", "$(touch pwned)", {}},
    {"backquotes", "`touch pwned`", {}},
    {"a semicolon", "a;touch pwned", {"a"}},
    {"an ampersand", "a&touch pwned", {"a"}},
    {"a pipe", "a|touch pwned", {"a"}},
    {"a star", "*", {"a", "b"}},
    {"a question mark", "?", {"a", "b"}},
    {"brackets", "[ab]", {"a", "b"}},
    {"a tilde at the start", "~", {"root"}},
    {"a tilde and a name", "~root", {"root"}},
    {"a hash at the start", "#x", {"x"}},
    {"an exclamation mark", "!x", {"x"}},
    {"parentheses", "(x)", {"x"}},
    {"braces", "{a,b}", {"a", "b"}},
    {"less than", "<x", {"x"}},
    {"greater than", ">x", {"x"}},
    {"an equals sign", "a=b", {"a"}},
    {"a leading dash", "-rf", {"rf"}},
    {"letters beyond ASCII", "Gr\xC3\xBC\xC3\x9F" "e \xE6\x97\xA5\xE6\x9C\xAC", {}},
    {"a byte that is no UTF-8", "x\xFFy", {"xy"}},
    {"control characters", "a\x01\x7F" "b", {"ab"}},
    {"255 bytes", std::string(255, 'n'), {}},
};

class HostileShellPath : public testing::TestWithParam<HostileName> {
protected:
    // The name and its decoys in a fresh folder, with a file inside the name.
    void Build(const std::string& folder) {
        const std::string target = folder + "/" + GetParam().name;
        ASSERT_EQ(::mkdir(target.c_str(), 0755), 0);
        WriteFile(target + "/inside", "x");
        for (const std::string& d : GetParam().decoys) WriteFile(folder + "/" + d, "decoy");
        WriteFile(folder + "/other", "decoy");
    }
    static std::set<std::string> Entries(const std::string& folder) {
        std::set<std::string> names;
        for (auto& e : std::filesystem::directory_iterator(folder)) names.insert(e.path().filename());
        return names;
    }
    // Runs the command in `folder` (so a word misread as relative lands there too),
    // by /bin/sh itself or by another shell that /bin/sh starts.
    static fw::Shell Run(const std::string& shell, const std::string& folder, const std::string& command) {
        fw::Shell sh;
        const std::string inner = shell == "/bin/sh" ? command : shell + " -c " + fw::EscapeShellWord(command);
        sh.Execute("cd " + fw::EscapeShellWord(folder) + " && " + inner);
        return sh;
    }
    static std::vector<std::string> Shells() {
        std::vector<std::string> shells = {"/bin/sh"};
        if (::access("/bin/bash", X_OK) == 0) shells.push_back("/bin/bash");
        return shells;
    }
    Scratch s;
};

TEST_P(HostileShellPath, ListsExactlyThatEntry) {
    Build(s.path());
    const std::set<std::string> before = Entries(s.path());
    const std::string path = s / GetParam().name;
    const std::string word = FolderItem(path).ShellPath();
    for (const std::string& shell : Shells()) {
        const fw::Shell sh = Run(shell, s.path(), "ls -d " + word);
        EXPECT_EQ(sh.ErrorCode(), 0) << shell << ": " << sh.Result();
        EXPECT_EQ(sh.Result(), path + "\n") << shell;
        EXPECT_EQ(Entries(s.path()), before) << shell << " created something";
    }
}

TEST_P(HostileShellPath, RemovesExactlyThatEntry) {
    for (const std::string& shell : Shells()) {
        Scratch copy;
        Build(copy.path());
        std::set<std::string> expected = Entries(copy.path());
        expected.erase(GetParam().name);
        const fw::Shell sh = Run(shell, copy.path(), "rm -rf " + FolderItem(copy / GetParam().name).ShellPath());
        EXPECT_EQ(sh.ErrorCode(), 0) << shell << ": " << sh.Result();
        EXPECT_EQ(Entries(copy.path()), expected) << shell;
    }
}

TEST_P(HostileShellPath, ReadsBackAsTheSamePath) {
    const std::string path = s / GetParam().name;
    const fw::Ref<FolderItem> item = GetFolderItem(FolderItem(path).ShellPath(), 1);
    ASSERT_FALSE(item.IsNil());
    EXPECT_EQ(item->NativePath(), path);
    EXPECT_EQ(item->Name(), GetParam().name);
}

INSTANTIATE_TEST_SUITE_P(Names, HostileShellPath, testing::ValuesIn(kNames), [](const auto& info) {
    std::string n;
    for (char c : std::string(info.param.description)) n += std::isalnum(static_cast<unsigned char>(c)) ? c : '_';
    return n;
});

TEST(GetFolderItem, ResolvesWhatCanBeNamedAndNilOtherwise) {
    Scratch s;
    ::mkdir((s / "dir").c_str(), 0755);
    WriteFile(s / "file", "");
    struct Row {
        std::string text;
        int mode;
        const char* expected;  // nullptr: Nil
    } rows[] = {
        {"", 1, nullptr},
        {"", 0, nullptr},
        {"relative/path", 1, nullptr},
        {s / "missing/x", 1, nullptr},
        {s / "file/x", 1, nullptr},
        {s / "missing", 1, "missing"},  // need not exist
        {s / "dir/", 1, "dir"},
        {"/", 1, "/"},
        {"'" + s.path() + "/a b'", 1, "a b"},
        {"\"" + s.path() + "/a \\$b\"", 1, "a $b"},
        {s.path() + "/a\\ b", 1, "a b"},
        {s.path() + "/a\\ b", 0, "a\\ b"},  // a plain path is taken as it stands
    };
    for (const Row& r : rows) {
        const fw::Ref<FolderItem> item = GetFolderItem(r.text, r.mode);
        if (!r.expected) {
            EXPECT_TRUE(item.IsNil()) << r.text;
        } else {
            ASSERT_FALSE(item.IsNil()) << r.text;
            EXPECT_EQ(item->Name(), r.expected) << r.text;
        }
    }
    EXPECT_EQ(GetFolderItem(s.path() + "//dir//", 1)->NativePath(), s / "dir");
}

}  // namespace
