// The real program, started as a user starts it, on the test's own tmpfs: what
// it leaves on disk after a start, a write-back, a quit, a refused eject and a crash.
#include <signal.h>
#include <sys/stat.h>
#include <sys/statfs.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <iostream>
#include <linux/magic.h>

#include "ProgramFixture.h"

namespace tvmtest {
namespace {

namespace fs = std::filesystem;
using Steady = std::chrono::steady_clock;

double SecondsSince(Steady::time_point start) {
    return std::chrono::duration<double>(Steady::now() - start).count();
}

// What a user keeps in the source folder: nested folders, odd names, binary
// bytes, an empty file, a link; hidden entries stay where they are.
Tree UserFiles() {
    std::string binary;
    for (int c = 0; c < 256; ++c) binary += char(c);
    return {{"notes.txt", File("first line\nsecond line\n")},
            {"Projekt Ä/entwurf 1.txt", File("draft")},
            {"Projekt Ä/deep/deeper/data.bin", File(binary)},
            {"empty", File("")},
            {"link to notes", Link("notes.txt")}};
}

class ProgramRun : public ProgramTest {};

TEST_F(ProgramRun, FirstStartMakesTheSourceFolderAndTheRAMDiskAndAtQuitTheSettings) {
    Program& program = Start();
    ASSERT_TRUE(WaitFor([&] { return Mounted(kRamDisk) && fs::is_directory(source_); }, 20)) << ProgramLog();
    struct statfs vol {};
    ASSERT_EQ(::statfs(kRamDisk, &vol), 0);
    EXPECT_EQ(vol.f_type, TMPFS_MAGIC);
    // The default of 256 MB, in whole MiB.
    EXPECT_EQ(double(vol.f_blocks) * double(vol.f_bsize), 256.0 * 1048576);

    ASSERT_TRUE(QuitAndWait(program));
    EXPECT_FALSE(Mounted(kRamDisk));
    EXPECT_EQ(Mode(source_), 0);
    const std::vector<std::string> lines = SettingsLines();
    ASSERT_EQ(lines.size(), 5u);
    EXPECT_EQ(lines[0], "256");
    EXPECT_EQ(lines[1], "60");
    EXPECT_EQ(lines[2], source_);
}

TEST_F(ProgramRun, AStartLoadsTheSourceFolderOntoTheRAMDisk) {
    const Tree files = UserFiles();
    WriteTree(source_, With(files, {{".hidden", File("the user's too")}}));
    WriteSettings("256", "60", source_);
    Program& program = Start();
    ASSERT_TRUE(WaitLoaded(files)) << ProgramLog();
    ASSERT_TRUE(WaitFor([&] { return UserEntries(Snapshot(kRamDisk)) == WithParents(files); }, 5))
        << Difference(WithParents(files), UserEntries(Snapshot(kRamDisk)));
    EXPECT_TRUE(fs::exists(std::string(kRamDisk) + "/.hidden")) << "hidden names are loaded like any other";

    ASSERT_TRUE(QuitAndWait(program));
    const Tree source = Snapshot(source_);
    EXPECT_EQ(Difference(WithParents(files), UserEntries(source)), "");
    EXPECT_EQ(source.at(".hidden"), File("the user's too"));
}

TEST_F(ProgramRun, AChangeOnTheRAMDiskReachesTheSourceFolderAtTheInterval) {
    WriteTree(source_, {{"kept", File("kept")}, {"changed", File("old")}, {"removed", File("goes")}});
    WriteSettings("256", "10", source_);
    const auto started = Steady::now();
    Program& program = Start();
    ASSERT_TRUE(WaitLoaded({{"removed", File("goes")}})) << ProgramLog();
    const std::string ram = kRamDisk;
    WriteTree(ram, {{"changed", File("new", kNew)}, {"made/on the RAM disk", File("fresh", kNew)}});
    fs::remove(ram + "/removed");
    const Tree expected = WithParents(
        {{"kept", File("kept")}, {"changed", File("new", kNew)}, {"made/on the RAM disk", File("fresh", kNew)}});

    ASSERT_TRUE(WaitFor([&] { return UserEntries(Snapshot(source_)) == expected; }, 20))
        << Difference(expected, UserEntries(Snapshot(source_))) << ProgramLog();
    // Nothing is written back before the interval has passed once.
    EXPECT_GE(SecondsSince(started), 9.5);
    EXPECT_TRUE(program.Running()) << "a write-back is not a quit";
    EXPECT_TRUE(Mounted(kRamDisk));
    EXPECT_TRUE(QuitAndWait(program));
}

struct QuitSignal {
    const char* name;
    int signal;
};

class QuitSignals : public ProgramTest, public ::testing::WithParamInterface<QuitSignal> {};

TEST_P(QuitSignals, WriteBackDetachAndCloseTheSourceFolder) {
    WriteTree(source_, With(UserFiles(), {{"old folder/old file", File("old")}, {"old file", File("old")}}));
    WriteSettings("256", "60", source_);
    Program& program = Start();
    ASSERT_TRUE(WaitLoaded({{"old folder/old file", File("old")}})) << ProgramLog();
    const std::string ram = kRamDisk;
    WriteTree(ram, {{"notes.txt", File("rewritten", kNew)}, {"new folder/sub/new file", File("new", kNew)}});
    fs::remove_all(ram + "/old folder");
    fs::remove(ram + "/old file");
    const Tree expected =
        WithParents(With(UserFiles(), {{"notes.txt", File("rewritten", kNew)}, {"new folder/sub/new file", File("new", kNew)}}));

    program.Signal(GetParam().signal);
    const auto status = program.WaitExit(30);
    ASSERT_TRUE(status) << "still running 30 s after the quit request\n" << ProgramLog();
    ASSERT_TRUE(WIFEXITED(*status) && WEXITSTATUS(*status) == 0) << DescribeStatus(*status) << "\n" << ProgramLog();
    EXPECT_FALSE(Mounted(kRamDisk));
    EXPECT_EQ(Mode(source_), 0);
    const Tree source = Snapshot(source_);
    EXPECT_EQ(Difference(expected, UserEntries(source)), "");
    EXPECT_EQ(Leftovers(source), std::vector<std::string>{});
    EXPECT_EQ(SettingsLines().size(), 5u);
}

INSTANTIATE_TEST_SUITE_P(Requests, QuitSignals,
                         ::testing::Values(QuitSignal{"SIGTERM", SIGTERM}, QuitSignal{"SIGINT", SIGINT},
                                           QuitSignal{"SIGHUP", SIGHUP}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(ProgramRun, AQuitDuringALongWriteBackWaitsUntilEveryFileArrived) {
    const int count = 4000;
    const Tree bulk = ManyFiles("bulk", count, 16 * 1024);
    for (int attempt = 1; attempt <= kAttempts; ++attempt) {
        fs::remove_all(source_);
        WriteTree(source_, {{"seed", File("seed")}});
        WriteSettings("512", "10", source_);
        Program& program = Start();
        ASSERT_TRUE(WaitLoaded({{"seed", File("seed")}})) << ProgramLog();
        WriteTree(kRamDisk, bulk);

        // The periodic write-back begins after the interval; quit while it copies.
        ASSERT_TRUE(StopWhen(program, [&] { return CountEntries(source_ + "/bulk") > 0; }, 20)) << ProgramLog();
        program.Signal(SIGTERM);
        const bool during = CountEntries(source_ + "/bulk") < size_t(count);
        program.Continue();

        const auto status = program.WaitExit(60);
        ASSERT_TRUE(status) << "still running 60 s after SIGTERM\n" << ProgramLog();
        EXPECT_TRUE(WIFEXITED(*status) && WEXITSTATUS(*status) == 0) << DescribeStatus(*status);
        ExpectEjectedAndSaved(bulk);
        if (during) return;
        std::cerr << "attempt " << attempt << ": the write-back ended before the quit; again\n";
    }
    FAIL() << "the write-back always ended before the quit in " << kAttempts << " attempts";
}

TEST_F(ProgramRun, AVolumeInUseKeepsTheProgramRunningAndALaterQuitSucceeds) {
    WriteTree(source_, {{"held", File("held open")}});
    WriteSettings("256", "60", source_);
    Program& program = Start();
    const std::string ram = kRamDisk;
    ASSERT_TRUE(WaitLoaded({{"held", File("held open")}})) << ProgramLog();
    ASSERT_TRUE(WaitFor([&] { return Inode(ram + "/TMP/T.dat") != 0; }, 5));
    const ino_t lock = Inode(ram + "/TMP/T.dat");

    Program& holder = Spawn({"/bin/sh", "-c", "exec sleep 120 < \"$0\"", ram + "/held"});
    const std::string held = "/proc/" + std::to_string(holder.Pid()) + "/fd/0";
    ASSERT_TRUE(WaitFor([&] {
        std::error_code ec;
        return fs::read_symlink(held, ec) == ram + "/held";
    }, 5));

    program.Signal(SIGTERM);
    // A refused detach makes the lock files anew.
    ASSERT_TRUE(WaitFor([&] { return Inode(ram + "/TMP/T.dat") != lock; }, 15)) << ProgramLog();
    // The quit would follow one second after a detach.
    EXPECT_FALSE(WaitFor([&] { return !program.Running(); }, 2.5)) << program.Describe();
    EXPECT_TRUE(Mounted(kRamDisk));

    WriteTree(ram, {{"written after the refusal", File("later", kNew)}});
    holder.Kill();
    ASSERT_TRUE(QuitAndWait(program));
    EXPECT_FALSE(Mounted(kRamDisk));
    const Tree source = Snapshot(source_);
    EXPECT_EQ(MissingOrChanged({{"held", File("held open")}, {"written after the refusal", File("later")}}, source), "");
}

TEST_F(ProgramRun, AKillDuringAWriteBackAndAnotherStartLoseNoFile) {
    const int count = 4000;
    const Tree made = With(ManyFiles("bulk", count, 16 * 1024), {{"edited", File("after", kNew)}, {"deep/new", File("n", kNew)}});
    const Tree all = With(made, {{"untouched", File("untouched")}, {"deep/kept", File("kept")}});
    for (int attempt = 1; attempt <= kAttempts; ++attempt) {
        fs::remove_all(source_);
        WriteTree(source_, {{"untouched", File("untouched")}, {"edited", File("before")}, {"deep/kept", File("kept")}});
        WriteSettings("512", "60", source_);
        Program& first = Start();
        ASSERT_TRUE(WaitLoaded({{"deep/kept", File("kept")}})) << ProgramLog();
        WriteTree(kRamDisk, made);

        // The quit's write-back begins within a second; the crash comes while it copies.
        first.Signal(SIGTERM);
        ASSERT_TRUE(StopWhen(first, [&] { return CountEntries(source_ + "/bulk") > 0; }, 20)) << ProgramLog();
        if (CountEntries(source_ + "/bulk") == size_t(count)) {
            std::cerr << "attempt " << attempt << ": the write-back ended before the kill; again\n";
            first.Continue();
            const auto status = first.WaitExit(60);
            ASSERT_TRUE(status && WIFEXITED(*status) && WEXITSTATUS(*status) == 0) << ProgramLog();
            continue;
        }
        first.Kill();
        ASSERT_TRUE(Mounted(kRamDisk)) << "the crash left the RAM disk attached";

        // The next start finds the RAM disk attached and keeps what only it has.
        const std::string lockFile = std::string(kRamDisk) + "/TMP/T.dat";
        const ino_t oldLock = Inode(lockFile);
        Program& second = Start();
        ASSERT_TRUE(WaitFor([&] { return Inode(lockFile) != oldLock; }, 10)) << ProgramLog();
        EXPECT_EQ(MissingOrChanged(all, Snapshot(kRamDisk)), "") << "the load after the crash lost RAM-disk files";
        ASSERT_TRUE(QuitAndWait(second, 60));
        ExpectEjectedAndSaved(all);
        return;
    }
    FAIL() << "the write-back always ended before the kill in " << kAttempts << " attempts";
}

// The RAM disk is mounted and writable while the first load runs: a file saved
// onto it meanwhile must survive the load and reach the source folder.
TEST_F(ProgramRun, AFileSavedOnTheRAMDiskDuringTheFirstLoadIsKept) {
    const Tree bulk = ManyFiles("bulk", 3000, 16);
    const std::string ram = kRamDisk;
    for (int attempt = 1; attempt <= kAttempts; ++attempt) {
        fs::remove_all(source_);
        WriteTree(source_, bulk);
        WriteSettings("512", "60", source_);
        Program& program = Start();
        ASSERT_TRUE(StopWhen(program, [&] { return Mounted(kRamDisk) && fs::is_directory(ram + "/TMP"); }, 20))
            << ProgramLog();
        if (CountEntries(ram + "/bulk") == 3000) {
            std::cerr << "attempt " << attempt << ": the load ended before the file was saved; again\n";
            program.Continue();
            ASSERT_TRUE(QuitAndWait(program));
            continue;
        }
        WriteTree(ram, {{"saved during the load", File("the user's work", kNew)}});
        program.Continue();
        ASSERT_TRUE(WaitLoaded(bulk, 30)) << ProgramLog();
        EXPECT_TRUE(fs::exists(ram + "/saved during the load")) << "the load deleted it";
        ASSERT_TRUE(QuitAndWait(program));
        EXPECT_EQ(MissingOrChanged({{"saved during the load", File("the user's work")}}, Snapshot(source_)), "");
        return;
    }
    FAIL() << "the load always ended before the file was saved in " << kAttempts << " attempts";
}

}  // namespace
}  // namespace tvmtest
