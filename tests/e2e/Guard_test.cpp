// The guard, from outside: whatever ends the real program while its RAM disk is
// attached (its display goes away, a session ends, a kill), the RAM disk is
// written back, ejected and the source folder closed; what cannot be written
// back stays attached for the next start; a start while the guard still works
// waits for it.
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <set>

#include "DesktopFixture.h"

namespace tvmtest {
namespace {

namespace fs = std::filesystem;
using Steady = std::chrono::steady_clock;

double SecondsSince(Steady::time_point start) { return std::chrono::duration<double>(Steady::now() - start).count(); }

std::set<int> OpenDescriptors(pid_t pid) {
    std::set<int> fds;
    std::error_code ec;
    for (fs::directory_iterator it("/proc/" + std::to_string(pid) + "/fd", ec), end; !ec && it != end; it.increment(ec))
        fds.insert(std::stoi(it->path().filename().string()));
    return fds;
}

Tree SourceFiles() {
    std::string binary;
    for (int c = 0; c < 256; ++c) binary += char(c);
    return {{"notes.txt", File("first line\n")},        {"Projekt Ä/entwurf 1.txt", File("draft")},
            {"Projekt Ä/deep/data.bin", File(binary)}, {"old folder/old file", File("old")},
            {"old file", File("old")},                 {"link to notes", Link("notes.txt")}};
}

// What a user does on the RAM disk and has not seen written back yet.
void UnsavedWork(const std::string& ram) {
    WriteTree(ram, {{"notes.txt", File("rewritten", kNew)},
                    {"saved a second ago/report.txt", File("unsaved work", kNew)},
                    {"Projekt Ä/deep/new.bin", File(std::string(100000, '\x7f'), kNew)}});
    fs::remove_all(ram + "/old folder");
    fs::remove(ram + "/old file");
}

using GuardTest = DesktopTest;

enum class End { DisplayKilled, SessionEnds, ProgramKilled, ProgramQuits };

struct Road {
    const char* name;
    End end;
    bool display;
    bool guardWritesBack;
};

class GuardRoads : public GuardTest, public ::testing::WithParamInterface<Road> {};

TEST_P(GuardRoads, TheRAMDiskIsWrittenBackEjectedAndTheSourceFolderClosed) {
    const Road road = GetParam();
    WriteTree(source_, With(SourceFiles(), {{".hidden", File("stays")}}));
    WriteSettings("256", "60", source_);
    if (road.display) {
        const std::string display = StartDisplay();
        if (display.empty()) GTEST_SKIP() << "no Xvfb";
        envOverrides_ = {"DISPLAY=" + display, "QT_QPA_PLATFORM=xcb"};
    }
    Program& program = Start();
    ASSERT_TRUE(WaitLoaded({{"old folder/old file", File("old")}})) << ProgramLog();
    const pid_t guard = WaitForGuard();
    ASSERT_GT(guard, 0) << "no guard runs\n" << ProgramLog();
    // Only its channel, the output, the program's pidfd and the lock: no display connection.
    EXPECT_EQ(OpenDescriptors(guard), (std::set<int>{0, 1, 2, 3, 4}));

    UnsavedWork(kRamDisk);
    const Tree held = UserEntries(Snapshot(kRamDisk));
    auto ended = Steady::now();
    switch (road.end) {
    case End::DisplayKilled:
        display_->Signal(SIGKILL);
        break;
    case End::SessionEnds:
        ::kill(-program.Pid(), SIGTERM);
        display_->Signal(SIGTERM);
        break;
    case End::ProgramKilled:
        // A signal to the guard alone while the program lives does not end it.
        ::kill(guard, SIGTERM);
        EXPECT_FALSE(WaitFor([&] { return !Alive(guard); }, 1.0)) << "SIGTERM ended the guard";
        ended = Steady::now();
        program.Signal(SIGKILL);
        break;
    case End::ProgramQuits:
        program.Signal(SIGTERM);
        break;
    }
    ASSERT_TRUE(program.WaitExit(60)) << "the program did not end\n" << ProgramLog();
    ASSERT_TRUE(WaitFor([&] { return !Mounted(kRamDisk); }, 60)) << "the RAM disk is still attached\n" << ProgramLog();
    const double seconds = SecondsSince(ended);
    ASSERT_TRUE(WaitFor([&] { return !Alive(guard) && LockFree(); }, 10)) << "the guard did not end\n" << ProgramLog();
    RecordProperty("seconds_to_eject", std::to_string(seconds));
    std::cout << road.name << ": ejected " << seconds << " s after the end began\n";

    const Tree source = Snapshot(source_);
    EXPECT_EQ(Difference(held, UserEntries(source)), "") << ProgramLog();
    EXPECT_EQ(source.at(".hidden"), File("stays"));
    EXPECT_EQ(Leftovers(source), std::vector<std::string>{});
    EXPECT_EQ(Mode(source_), 0);
    const bool wroteBack = ProgramLog().find("ended without its eject") != std::string::npos;
    EXPECT_EQ(wroteBack, road.guardWritesBack) << ProgramLog();
}

INSTANTIATE_TEST_SUITE_P(
    Ends, GuardRoads,
    ::testing::Values(Road{"DisplayKilled", End::DisplayKilled, true, true},
                      Road{"SessionEndsWithSIGTERMToProgramGroupAndDisplay", End::SessionEnds, true, true},
                      Road{"ProgramKilledAlone", End::ProgramKilled, false, true},
                      Road{"ProgramQuitsItself", End::ProgramQuits, false, false}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(GuardTest, AWriteBackThatCannotCompleteLeavesTheRAMDiskForTheNextStart) {
    WriteTree(source_, SourceFiles());
    WriteSettings("256", "60", source_);
    Program& first = Start();
    ASSERT_TRUE(WaitLoaded({{"old folder/old file", File("old")}})) << ProgramLog();
    const pid_t guard = WaitForGuard();
    ASSERT_GT(guard, 0) << ProgramLog();
    UnsavedWork(kRamDisk);
    const Tree held = UserEntries(Snapshot(kRamDisk));
    const std::string away = source_ + " away";
    fs::rename(source_, away);

    first.Signal(SIGKILL);
    ASSERT_TRUE(WaitFor([&] { return !Alive(guard) && LockFree(); }, 60)) << "the guard did not end\n" << ProgramLog();
    EXPECT_TRUE(Mounted(kRamDisk)) << ProgramLog();
    EXPECT_EQ(Difference(held, UserEntries(Snapshot(kRamDisk))), "");
    EXPECT_FALSE(fs::exists(source_)) << "the guard made a source folder of its own";

    // The folder is back: the next start keeps the RAM disk and its quit saves it
    // (what the user deleted on it comes back with that start's load).
    fs::rename(away, source_);
    Program& second = Start();
    ASSERT_TRUE(WaitFor([&] { return GuardPids().size() == 1; }, 20)) << ProgramLog();
    ASSERT_TRUE(QuitAndWait(second, 60));
    EXPECT_FALSE(Mounted(kRamDisk));
    EXPECT_EQ(MissingOrChanged(held, Snapshot(source_)), "");
}

TEST_F(GuardTest, AGuardThatWasKilledIsStartedAgainAndKnowsTheRAMDisk) {
    WriteTree(source_, SourceFiles());
    WriteSettings("256", "60", source_);
    Program& program = Start();
    ASSERT_TRUE(WaitLoaded({{"old folder/old file", File("old")}})) << ProgramLog();
    const pid_t first = WaitForGuard();
    ASSERT_GT(first, 0) << ProgramLog();
    ::kill(first, SIGKILL);
    ASSERT_TRUE(WaitFor([&] {
        const auto pids = GuardPids();  // one listing: a second one may differ from the first
        return pids.size() == 1 && pids[0] != first;
    }, 15))
        << "no guard again\n" << ProgramLog();

    UnsavedWork(kRamDisk);
    const Tree held = UserEntries(Snapshot(kRamDisk));
    program.Signal(SIGKILL);
    ASSERT_TRUE(WaitFor([&] { return !Mounted(kRamDisk) && LockFree(); }, 60)) << ProgramLog();
    EXPECT_EQ(Difference(held, UserEntries(Snapshot(source_))), "");
    EXPECT_EQ(Mode(source_), 0);
}

TEST_F(GuardTest, AStartWhileTheGuardWritesBackWaitsForIt) {
    const int count = 4000;
    const Tree all = With(ManyFiles("bulk", count, 16 * 1024), {{"seed", File("seed")}});
    for (int attempt = 1; attempt <= kAttempts; ++attempt) {
        fs::remove_all(source_);
        WriteTree(source_, {{"seed", File("seed")}});
        WriteSettings("512", "60", source_);
        Program& first = Start();
        ASSERT_TRUE(WaitLoaded({{"seed", File("seed")}})) << ProgramLog();
        const pid_t guard = WaitForGuard();
        ASSERT_GT(guard, 0) << ProgramLog();
        WriteTree(kRamDisk, all);

        // The second start comes while the guard, stopped there, is in the middle of its write-back.
        first.Signal(SIGKILL);
        const bool stopped = StopWhen(guard, [&] { return CountEntries(source_ + "/bulk") > 0; }, 20);
        if (!stopped || CountEntries(source_ + "/bulk") == size_t(count)) {
            std::cerr << "attempt " << attempt << ": the guard's write-back ended before the start; again\n";
            if (stopped) ::kill(guard, SIGCONT);
            ASSERT_TRUE(WaitFor([&] { return !Alive(guard) && !Mounted(kRamDisk) && LockFree(); }, 60))
                << "the guard neither wrote back nor could be stopped\n" << ProgramLog();
            continue;
        }
        // The second start touches the RAM disk (its lock file made anew) only
        // once the guard has ended.
        const std::string lock = std::string(kRamDisk) + "/TMP/T.dat";
        const ino_t firstLock = Inode(lock);
        ASSERT_NE(firstLock, 0u);
        Program& second = Start();
        ::kill(guard, SIGCONT);
        bool together = false;
        ASSERT_TRUE(WaitFor([&] {
            const bool guardAlive = Alive(guard);
            if (guardAlive && Mounted(kRamDisk) && Inode(lock) != firstLock) together = true;
            return !guardAlive;
        }, 60)) << ProgramLog();
        EXPECT_FALSE(together) << "the second start worked on the RAM disk while the guard wrote it back";

        ASSERT_TRUE(WaitLoaded(all, 60)) << ProgramLog();
        EXPECT_FALSE(Alive(guard));
        ASSERT_TRUE(QuitAndWait(second, 60));
        ExpectEjectedAndSaved(all);
        return;
    }
    FAIL() << "the guard's write-back always ended before the start in " << kAttempts << " attempts";
}

}  // namespace
}  // namespace tvmtest
