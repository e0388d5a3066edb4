// One program per user: a later start, two starts at once, a start after a
// crash, and the launcher's actions, each against the real program.
#include <signal.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>

#include "ProgramFixture.h"
#include "TestPaths.h"
#include "framework/SingleInstance.h"

namespace tvmtest {
namespace {

namespace fs = std::filesystem;
using Steady = std::chrono::steady_clock;

const std::string kDesktopFile = std::string(TVM_BINARY_DIR) + "/packaging/tavelmorinth.desktop";

// The Exec lines of the configured launcher, by action ("" for the main entry).
std::map<std::string, std::vector<std::string>> LauncherCommands() {
    std::map<std::string, std::vector<std::string>> out;
    std::ifstream in(kDesktopFile);
    std::string group;
    for (std::string line; std::getline(in, line);) {
        if (line.rfind("[", 0) == 0) group = line;
        if (line.rfind("Exec=", 0) != 0) continue;
        const std::string prefix = "[Desktop Action ";
        const bool isAction = group.rfind(prefix, 0) == 0;
        const std::string action = isAction ? group.substr(prefix.size(), group.size() - prefix.size() - 1) : "";
        std::istringstream words(line.substr(5));
        // The launcher's program, in the build that answers the tests' questions.
        for (std::string word; words >> word;)
            if (word.rfind("%", 0) != 0) out[action].push_back(word == TVM_EXECUTABLE ? TVM_INSPECTABLE_EXECUTABLE : word);
    }
    return out;
}

int MountsAt(const std::string& path) {
    std::ifstream in("/proc/self/mounts");
    int count = 0;
    std::string device, where, rest;
    while (in >> device >> where && std::getline(in, rest)) count += where == path ? 1 : 0;
    return count;
}

class LaterStart : public ProgramTest {
protected:
    LaterStart() { executable_ = TVM_INSPECTABLE_EXECUTABLE; }
    std::string RunFolder() const { return fs::path(home_).parent_path().string() + "/run"; }
    std::string Socket() const { return RunFolder() + "/tavelmorinth.socket"; }

    std::string Ask(const std::string& request) const {
        std::string reply;
        return fw::AskInstance(Socket(), request, 3000, &reply) ? reply : "(no answer)";
    }
    bool Shows(const std::string& window) const {
        std::istringstream names(Ask("windows"));
        for (std::string name; names >> name;)
            if (name == window) return true;
        return false;
    }
    // Ends within `seconds` with exit code 0, and how long it took.
    ::testing::AssertionResult EndsWithZero(Program& p, double seconds, double* took = nullptr) {
        const auto start = Steady::now();
        const auto status = p.WaitExit(seconds);
        if (took) *took = std::chrono::duration<double>(Steady::now() - start).count();
        if (!status)
            return ::testing::AssertionFailure() << "still running after " << seconds << " s\n" << ProgramLog();
        if (!WIFEXITED(*status) || WEXITSTATUS(*status) != 0)
            return ::testing::AssertionFailure() << DescribeStatus(*status) << "\n" << ProgramLog();
        return ::testing::AssertionSuccess();
    }
    // The program's activity window, once its start-up is over.
    bool Ready(double seconds = 20) {
        return WaitFor([&] { return Shows("frmState"); }, seconds);
    }
    // What the user closes from the menu.
    bool CloseActivityWindow() {
        return Ask("choose mnuState") == "ok" && WaitFor([&] { return !Shows("frmState"); }, 10);
    }
};

TEST_F(LaterStart, ASecondStartBringsTheFirstForwardAndEndsAndTheFirstThenQuitsNormally) {
    WriteTree(source_, {{"notes.txt", File("kept")}});
    WriteSettings("256", "60", source_);
    Program& first = Start();
    ASSERT_TRUE(WaitLoaded({{"notes.txt", File("kept")}})) << ProgramLog();
    ASSERT_TRUE(Ready()) << ProgramLog();
    ASSERT_TRUE(CloseActivityWindow()) << ProgramLog();

    // With a home of its own and a display it cannot reach: a start that read
    // settings would leave a settings folder there, and one that set up windows would fail.
    const std::string otherHome = fs::path(home_).parent_path().string() + "/second-home";
    fs::create_directories(otherHome);
    Program& second = Spawn({"/usr/bin/env", "HOME=" + otherHome, "QT_QPA_PLATFORM=xcb", TVM_EXECUTABLE});
    double took = 0;
    ASSERT_TRUE(EndsWithZero(second, 10, &took));
    EXPECT_LT(took, 3.0) << "a second start should end at once";
    EXPECT_EQ(CountEntries(otherHome), 0u) << "the second start made files";
    EXPECT_TRUE(WaitFor([&] { return Shows("frmState"); }, 5)) << "the activity window did not come back";
    EXPECT_TRUE(WaitFor([&] { return Ask("active") == "frmState"; }, 5)) << "it came back inactive";
    EXPECT_TRUE(first.Running());
    EXPECT_TRUE(Mounted(kRamDisk));

    // The first program still does its work, to the end.
    std::ofstream(std::string(kRamDisk) + "/after.txt") << "written after the second start";
    ASSERT_TRUE(QuitAndWait(first, 60));
    EXPECT_FALSE(Mounted(kRamDisk));
    EXPECT_EQ(MissingOrChanged({{"notes.txt", File("kept")}, {"after.txt", File("written after the second start")}},
                               Snapshot(source_)),
              "");
}

TEST_F(LaterStart, StartsAtTheSameMomentGiveOneProgram) {
    WriteTree(source_, {{"notes.txt", File("one")}});
    WriteSettings("256", "60", source_);
    std::vector<Program*> starts;
    for (int i = 0; i < 4; ++i) starts.push_back(&Start());
    // All but one hand over and end; the one left is the program.
    ASSERT_TRUE(WaitFor(
        [&] {
            int running = 0;
            for (Program* p : starts) running += p->Running() ? 1 : 0;
            return running <= 1;
        },
        20))
        << ProgramLog();
    Program* program = nullptr;
    for (Program* p : starts) {
        if (p->Running()) {
            program = p;
        } else {
            EXPECT_TRUE(EndsWithZero(*p, 1));
        }
    }
    ASSERT_NE(program, nullptr) << "no program kept running\n" << ProgramLog();
    ASSERT_TRUE(WaitLoaded({{"notes.txt", File("one")}})) << ProgramLog();
    ASSERT_TRUE(Ready()) << ProgramLog();
    EXPECT_EQ(MountsAt(kRamDisk), 1) << "one RAM disk";
    ASSERT_TRUE(QuitAndWait(*program, 60));
    EXPECT_FALSE(Mounted(kRamDisk));
}

TEST_F(LaterStart, ASocketLeftByACrashedRunIsReplaced) {
    WriteSettings("256", "60", source_);
    // A crashed run's leftovers: its lock file, free now, and its socket, which nobody serves.
    fs::create_directories(RunFolder());
    std::ofstream(RunFolder() + "/tavelmorinth.lock");
    const int fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    std::snprintf(address.sun_path, sizeof address.sun_path, "%s", Socket().c_str());
    ASSERT_EQ(::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
    ::close(fd);
    ASSERT_TRUE(fs::is_socket(Socket()));

    Program& program = Start();
    ASSERT_TRUE(Ready()) << ProgramLog();
    EXPECT_TRUE(program.Running());
    // Sticky, so that a clean-up of the runtime folder leaves both alone while the program runs.
    EXPECT_EQ(Mode(RunFolder() + "/tavelmorinth.lock"), 01600);
    EXPECT_EQ(Mode(Socket()), 01600);
    // And it answers later starts.
    ASSERT_TRUE(CloseActivityWindow()) << ProgramLog();
    Program& again = Start();
    ASSERT_TRUE(EndsWithZero(again, 10));
    EXPECT_TRUE(WaitFor([&] { return Shows("frmState"); }, 5));
    ASSERT_TRUE(QuitAndWait(program, 60));
}

TEST_F(LaterStart, TheLauncherActionsReachTheRunningProgram) {
    auto commands = LauncherCommands();
    ASSERT_EQ(commands.count("preferences") + commands.count("show-activity") + commands.count("quit"), 3u)
        << kDesktopFile;
    WriteTree(source_, {{"notes.txt", File("kept")}});
    WriteSettings("256", "60", source_);
    Program& program = Start();
    ASSERT_TRUE(WaitLoaded({{"notes.txt", File("kept")}})) << ProgramLog();
    ASSERT_TRUE(Ready()) << ProgramLog();

    ASSERT_TRUE(CloseActivityWindow()) << ProgramLog();
    ASSERT_TRUE(EndsWithZero(Spawn(commands["show-activity"]), 10));
    EXPECT_TRUE(WaitFor([&] { return Shows("frmState"); }, 5)) << "Show Activity did not show it";

    EXPECT_FALSE(Shows("frmOptions"));
    ASSERT_TRUE(EndsWithZero(Spawn(commands["preferences"]), 10));
    EXPECT_TRUE(WaitFor([&] { return Shows("frmOptions"); }, 5)) << "Preferences did not open the options window";
    EXPECT_TRUE(WaitFor([&] { return Ask("active") == "frmOptions"; }, 5));

    // Quit goes through the quit gate: the last write-back and the eject come first.
    std::ofstream(std::string(kRamDisk) + "/late.txt") << "saved just before the quit";
    ASSERT_TRUE(EndsWithZero(Spawn(commands["quit"]), 10));
    ASSERT_TRUE(EndsWithZero(program, 60));
    EXPECT_FALSE(Mounted(kRamDisk));
    EXPECT_EQ(MissingOrChanged({{"late.txt", File("saved just before the quit")}}, Snapshot(source_)), "");
}

TEST_F(LaterStart, WithoutARunningProgramQuitDoesNothingAndPreferencesStartsIt) {
    auto commands = LauncherCommands();
    WriteSettings("256", "60", source_);
    fs::create_directories(source_);

    double took = 0;
    ASSERT_TRUE(EndsWithZero(Spawn(commands["quit"]), 10, &took));
    EXPECT_LT(took, 3.0);
    EXPECT_FALSE(Mounted(kRamDisk));

    Program& program = Spawn(commands["preferences"]);
    ASSERT_TRUE(Ready()) << ProgramLog();
    EXPECT_TRUE(WaitFor([&] { return Shows("frmOptions"); }, 10)) << "the options window did not open";
    EXPECT_TRUE(program.Running());
    EXPECT_TRUE(WaitFor([&] { return Mounted(kRamDisk); }, 10));
    ASSERT_TRUE(EndsWithZero(Spawn(commands["quit"]), 10));
    ASSERT_TRUE(EndsWithZero(program, 60));
    EXPECT_FALSE(Mounted(kRamDisk));
}

TEST(Launcher, TheConfiguredDesktopFileIsValid) {
    ASSERT_TRUE(fs::exists(kDesktopFile));
    ASSERT_EQ(std::system("command -v desktop-file-validate >/dev/null"), 0)
        << "desktop-file-validate is missing (package desktop-file-utils, see scripts/setup)";
    const std::string command = "desktop-file-validate '" + kDesktopFile + "' 2>&1";
    FILE* pipe = ::popen(command.c_str(), "r");
    ASSERT_NE(pipe, nullptr);
    std::string output;
    char buffer[512];
    while (size_t n = std::fread(buffer, 1, sizeof buffer, pipe)) output.append(buffer, n);
    EXPECT_EQ(::pclose(pipe), 0) << output;
    EXPECT_EQ(output.find("error"), std::string::npos) << output;
}

}  // namespace
}  // namespace tvmtest
