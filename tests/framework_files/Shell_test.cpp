#include "framework/Shell.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <thread>
#include <vector>
#include <filesystem>

#include "Scratch.h"
#include "framework/Baton.h"
#include "framework/FolderItem.h"

using tvmtest::ReadFile;
using tvmtest::Scratch;
using tvmtest::WriteFile;

namespace {

fw::Shell RunShell(const std::string& command) {
    fw::Shell sh;
    sh.Execute(command);
    return sh;
}

void WriteScript(const std::string& path, const std::string& body) {
    WriteFile(path, "#!/bin/sh\n" + body);
    ::chmod(path.c_str(), 0755);
}

TEST(Shell, GivesTheExitStatusAndEverythingTheCommandWrote) {
    struct Row {
        const char* command;
        int code;
        const char* output;  // nullptr: not checked
    } rows[] = {
        {"exit 0", 0, ""},
        {"exit 3", 3, ""},
        {"false", 1, ""},
        {"kill -9 $$", 137, ""},
        {"no-such-command-anywhere", 127, nullptr},
        {"echo out; echo err >&2; echo out again", 0, "out\nerr\nout again\n"},
        {"echo `echo hi` $(echo there)", 0, "hi there\n"},
        {"cat; echo read nothing", 0, "read nothing\n"},  // stdin is empty, not the terminal
        {"printf 'no newline'", 0, "no newline"},
        {"yes | head -n 2", 0, "y\ny\n"},
    };
    for (const Row& r : rows) {
        const fw::Shell sh = RunShell(r.command);
        EXPECT_EQ(sh.ErrorCode(), r.code) << r.command << ": " << sh.Result();
        if (r.output) {
            EXPECT_EQ(sh.Result(), r.output) << r.command;
        }
    }
}

TEST(Shell, TheToolFolderComesFirstOnPath) {
    Scratch s;
    WriteScript(s / "hdiutil", "echo \"stand-in $*\"\n");
    WriteScript(s / "ls", "echo not the real ls\n");
    const std::string saved = fw::ToolsFolder();
    fw::SetToolsFolder(s.path());
    const fw::Shell tool = RunShell("hdiutil detach /volumes/x");
    const fw::Shell ls = RunShell("ls /");
    const fw::Shell path = RunShell("echo \"$PATH\"");
    fw::SetToolsFolder(saved);
    EXPECT_EQ(tool.Result(), "stand-in detach /volumes/x\n");
    EXPECT_EQ(ls.Result(), "not the real ls\n");
    EXPECT_EQ(path.Result(), s.path() + ":" + std::getenv("PATH") + "\n");
}

TEST(Shell, TheCommandInheritsNoDescriptorsBeyondTheStandardThree) {
    const int leaky = ::open("/dev/null", O_RDONLY);  // deliberately without O_CLOEXEC
    ASSERT_GE(leaky, 3);
    const fw::Shell sh = RunShell("ls /proc/$$/fd");  // the shell's own descriptors
    ::close(leaky);
    EXPECT_EQ(sh.Result(), "0\n1\n2\n");
}

TEST(Shell, OtherThreadsRunWhileTheCommandRuns) {
    Scratch s;
    const std::string flag = s / "flag";
    std::thread other([&] {
        fw::baton::Held held;
        WriteFile(flag, "");
    });
    while (!fw::baton::OthersWaiting()) std::this_thread::yield();
    // The command waits (at most 10 s) for the other thread's file.
    const fw::Shell sh = RunShell("i=0; while [ ! -e " + fw::EscapeShellWord(flag) +
                             " ] && [ $i -lt 1000 ]; do sleep 0.01; i=$((i+1)); done; [ -e " +
                             fw::EscapeShellWord(flag) + " ]");
    other.join();
    EXPECT_EQ(sh.ErrorCode(), 0);
}

TEST(Launch, OpensTheFileWithXdgOpenAndLeavesNoChildBehind) {
    Scratch s;
    ::mkdir((s / "bin").c_str(), 0755);
    WriteScript(s / "bin/xdg-open", "printf '%s' \"$1\" > " + fw::EscapeShellWord(s / "opened.tmp") + " && mv " +
                                        fw::EscapeShellWord(s / "opened.tmp") + " " +
                                        fw::EscapeShellWord(s / "opened") + "\n");
    const std::string file = s / "a file; with $odd `name`";
    WriteFile(file, "");
    const std::string savedPath = std::getenv("PATH");
    ::setenv("PATH", (s / "bin:" + savedPath).c_str(), 1);
    const bool launched = fw::FolderItem(file).Launch();
    ::setenv("PATH", (s / "empty-bin").c_str(), 1);
    const bool launchedWithoutOpener = fw::FolderItem(file).Launch();
    ::setenv("PATH", savedPath.c_str(), 1);

    EXPECT_TRUE(launched);
    EXPECT_FALSE(launchedWithoutOpener);
    for (int i = 0; i < 500 && !std::filesystem::exists(s / "opened"); ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    EXPECT_EQ(ReadFile(s / "opened"), file);
    // The opener is watched for its outcome and reaped once it has ended; only
    // looked at here (WNOWAIT), never reaped by the test.
    bool children = true;
    for (int i = 0; i < 500 && children; ++i) {
        siginfo_t info{};
        errno = 0;
        children = ::waitid(P_ALL, 0, &info, WEXITED | WNOHANG | WNOWAIT) == 0;
        if (children) std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    EXPECT_FALSE(children) << "a child is left behind";
    EXPECT_EQ(errno, ECHILD);
}

// A program started with an argument list gets every argument as it was given:
// nothing in them is read by a shell.
TEST(Shell, AProgramStartedWithArgumentsGetsThemVerbatim) {
    Scratch s;
    WriteScript(s.path() + "/show", "for a in \"$@\"; do printf '[%s]' \"$a\"; done; echo; exit 4\n");
    const std::string saved = fw::ToolsFolder();
    fw::SetToolsFolder(s.path());
    const std::string marker = s.path() + "/ran";
    struct Row {
        std::vector<std::string> argv;
        int code;
        std::string output;
    } rows[] = {
        {{"show", "probe", "/volumes/Tavelmorinth"}, 4, "[probe][/volumes/Tavelmorinth]\n"},
        {{"show", "/volumes/x;touch " + marker, "$(touch " + marker + ")", "`touch " + marker + "`"}, 4,
         "[/volumes/x;touch " + marker + "][$(touch " + marker + ")][`touch " + marker + "`]\n"},
        {{"show", "", "a b", "*"}, 4, "[][a b][*]\n"},
        {{s.path() + "/show", "by path"}, 4, "[by path]\n"},
        {{"no-such-program-anywhere"}, 127, ""},
        {{}, 127, ""},
    };
    for (const Row& r : rows) {
        fw::Shell sh;
        sh.ExecuteProgram(r.argv);
        EXPECT_EQ(sh.ErrorCode(), r.code) << sh.Result();
        if (r.code != 127) {
            EXPECT_EQ(sh.Result(), r.output);
        }
    }
    fw::SetToolsFolder(saved);
    EXPECT_FALSE(std::filesystem::exists(marker)) << "a shell read an argument";
}

}  // namespace
