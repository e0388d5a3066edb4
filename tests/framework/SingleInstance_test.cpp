// Where the lock and the socket of the one running program live: only in a
// folder that nobody but the user can make, write to or look into.
#include <gtest/gtest.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <string>

#include "RuntimeSupport.h"
#include "framework/PrivateFolder.h"
#include "framework/SingleInstance.h"

namespace {

namespace fs = std::filesystem;

int ModeOf(const std::string& path) {
    struct stat st {};
    return ::lstat(path.c_str(), &st) == 0 ? int(st.st_mode & 07777) : -1;
}

enum class Expect { Xdg, Fallback, Refused };

struct FolderCase {
    const char* name;
    // Prepares the scratch folder; answers the XDG_RUNTIME_DIR value (nullptr: unset).
    std::function<const char*(const std::string& root, std::string& xdg)> setup;
    Expect expect;
    int fallbackModeAfter;  // -1: not looked at
    bool needsRoot = false;
};

void PrintTo(const FolderCase& c, std::ostream* os) { *os << c.name; }

std::string Fallback(const std::string& root) { return root + "/home/.cache/tvm"; }

void MakeFolder(const std::string& path, fs::perms mode) {
    fs::create_directories(path);
    fs::permissions(path, mode);
}

const FolderCase kFolderCases[] = {
    {"the user's own runtime folder is used",
     [](const std::string& root, std::string& xdg) {
         xdg = root + "/run";
         MakeFolder(xdg, fs::perms::owner_all);
         return xdg.c_str();
     },
     Expect::Xdg, -1},
    {"without a runtime folder a private one is made in the fallback place",
     [](const std::string&, std::string&) -> const char* { return nullptr; }, Expect::Fallback, 0700},
    {"a relative runtime folder is not trusted",
     [](const std::string&, std::string&) -> const char* { return "run"; }, Expect::Fallback, 0700},
    {"a missing runtime folder falls back",
     [](const std::string& root, std::string& xdg) {
         xdg = root + "/gone";
         return xdg.c_str();
     },
     Expect::Fallback, 0700},
    {"a runtime folder others may write to falls back",
     [](const std::string& root, std::string& xdg) {
         xdg = root + "/shared";
         MakeFolder(xdg, fs::perms::all);
         return xdg.c_str();
     },
     Expect::Fallback, 0700},
    {"a runtime folder others may look into falls back",
     [](const std::string& root, std::string& xdg) {
         xdg = root + "/readable";
         MakeFolder(xdg, fs::perms::owner_all | fs::perms::group_read | fs::perms::group_exec |
                             fs::perms::others_read | fs::perms::others_exec);
         return xdg.c_str();
     },
     Expect::Fallback, 0700},
    {"a runtime folder that is a link falls back",
     [](const std::string& root, std::string& xdg) {
         MakeFolder(root + "/real-run", fs::perms::owner_all);
         xdg = root + "/run-link";
         fs::create_directory_symlink(root + "/real-run", xdg);
         return xdg.c_str();
     },
     Expect::Fallback, 0700},
    {"an own fallback folder open to others is closed to them",
     [](const std::string& root, std::string&) -> const char* {
         MakeFolder(Fallback(root), fs::perms::all);
         return nullptr;
     },
     Expect::Fallback, 0700},
    {"a link in the fallback place is refused, even to a folder of the user's",
     [](const std::string& root, std::string&) -> const char* {
         MakeFolder(root + "/elsewhere", fs::perms::owner_all);
         fs::create_directory_symlink(root + "/elsewhere", Fallback(root));
         return nullptr;
     },
     Expect::Refused, 0777},
    {"a file in the fallback place is refused",
     [](const std::string& root, std::string&) -> const char* {
         std::ofstream(Fallback(root)) << "x";
         fs::permissions(Fallback(root), fs::perms::owner_read | fs::perms::owner_write);
         return nullptr;
     },
     Expect::Refused, 0600},
    {"another user's folder in the fallback place is refused and left alone",
     [](const std::string& root, std::string&) -> const char* {
         MakeFolder(Fallback(root), fs::perms::all);
         if (::chown(Fallback(root).c_str(), 65534, 65534) != 0) ADD_FAILURE() << "chown";
         return nullptr;
     },
     Expect::Refused, 0777, true},
    {"a home others may write in is refused: they could make the place first",
     [](const std::string& root, std::string&) -> const char* {
         fs::permissions(root + "/home", fs::perms::all);
         return nullptr;
     },
     Expect::Refused, -1},
    {"a cache folder of another user's is refused",
     [](const std::string& root, std::string&) -> const char* {
         MakeFolder(root + "/home/.cache", fs::perms::owner_all);
         if (::chown((root + "/home/.cache").c_str(), 65534, 65534) != 0) ADD_FAILURE() << "chown";
         return nullptr;
     },
     Expect::Refused, -1, true},
};

class UserRuntimeFolder : public testing::TestWithParam<FolderCase> {};

TEST_P(UserRuntimeFolder, Rule) {
    const FolderCase& c = GetParam();
    if (c.needsRoot && ::geteuid() != 0) GTEST_SKIP() << "needs root to make another user's folder";
    const char* scratch = std::getenv("TVM_SCRATCH");
    std::string root = std::string(scratch && *scratch ? scratch : "/tmp") + "/instance.XXXXXX";
    ASSERT_NE(::mkdtemp(root.data()), nullptr);
    fs::create_directories(root + "/home/.cache");
    std::string xdg;
    const char* xdgValue = c.setup(root, xdg);

    std::string error;
    const std::string home = root + "/home";
    const std::string got = fw::UserRuntimeFolder(xdgValue, home.c_str(), "tvm", &error);
    switch (c.expect) {
        case Expect::Xdg:
            EXPECT_EQ(got, xdg);
            EXPECT_FALSE(fs::exists(Fallback(root)));
            break;
        case Expect::Fallback:
            EXPECT_EQ(got, Fallback(root)) << error;
            EXPECT_TRUE(fs::is_directory(fs::symlink_status(got)));
            break;
        case Expect::Refused:
            EXPECT_EQ(got, "");
            EXPECT_FALSE(error.empty());
            break;
    }
    if (c.fallbackModeAfter >= 0) {
        EXPECT_EQ(ModeOf(Fallback(root)), c.fallbackModeAfter) << std::oct;
    }
    if (fs::exists(root + "/elsewhere")) {
        EXPECT_EQ(ModeOf(root + "/elsewhere"), 0700);
    }
    std::error_code ec;
    fs::remove_all(root, ec);
}

INSTANTIATE_TEST_SUITE_P(Rules, UserRuntimeFolder, testing::ValuesIn(kFolderCases),
                         [](const auto& info) { return tvmtest::SentenceName(info.param.name); });

TEST(AskInstance, NobodyListeningIsToldApartFromAProgramThatDoesNotAnswer) {
    std::string reply, error;
    bool connected = true;
    EXPECT_FALSE(fw::AskInstance("/nonexistent/tvm.socket", "show-activity", 200, &reply, &connected, &error));
    EXPECT_FALSE(connected);
    EXPECT_FALSE(error.empty());

    // Bound and listening, but nobody reads: the kernel takes the connection.
    const char* scratch = std::getenv("TVM_SCRATCH");
    std::string root = std::string(scratch && *scratch ? scratch : "/tmp") + "/ask.XXXXXX";
    ASSERT_NE(::mkdtemp(root.data()), nullptr);
    const std::string path = root + "/tvm.socket";
    const int fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    std::snprintf(address.sun_path, sizeof address.sun_path, "%s", path.c_str());
    ASSERT_EQ(::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
    ASSERT_EQ(::listen(fd, 4), 0);
    EXPECT_FALSE(fw::AskInstance(path, "show-activity", 200, &reply, &connected, &error));
    EXPECT_TRUE(connected);
    ::close(fd);
    std::error_code ec;
    fs::remove_all(root, ec);
}

}  // namespace
