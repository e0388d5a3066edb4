// The end of the real program while a write-back runs: the program stopped in
// the middle of the pass, its display killed, the program continued. It must end
// without an abort or a sanitizer report, every time, and the guard writes the
// RAM disk back whole.
#include <signal.h>
#include <sys/wait.h>

#include <filesystem>
#include <fstream>

#include "DesktopFixture.h"

namespace tvmtest {
namespace {

namespace fs = std::filesystem;

constexpr int kRuns = 20;
constexpr int kBulkFiles = 1000;

// Every thread of the process has stopped.
bool AllThreadsStopped(pid_t pid) {
    std::error_code ec;
    bool any = false;
    for (fs::directory_iterator it("/proc/" + std::to_string(pid) + "/task", ec), end; !ec && it != end;
         it.increment(ec)) {
        std::ifstream stat(it->path() / "stat");
        const std::string all((std::istreambuf_iterator<char>(stat)), {});
        const size_t close = all.rfind(')');
        if (close == std::string::npos || close + 2 >= all.size()) continue;
        const char state = all[close + 2];
        if (state != 'T' && state != 't') return false;
        any = true;
    }
    return any;
}

// Files that have reached their own names in `folder` (copies under way aside).
int Arrived(const std::string& folder) {
    int n = 0;
    std::error_code ec;
    for (fs::directory_iterator it(folder, ec), end; !ec && it != end; it.increment(ec))
        if (!it->path().filename().string().starts_with(".tvm-copy.")) ++n;
    return n;
}

class EndMidPassTest : public DesktopTest {
protected:
    // Stops the program and looks while it is stopped; goes on until it is
    // stopped with the write-back into `folder` begun and not done. False when
    // the pass ended before that could be seen (the program then runs on).
    bool StopMidPass(Program& program, const std::string& folder, int total) {
        bool mid = false;
        const bool decided = WaitFor([&] {
            program.Signal(SIGSTOP);
            if (!WaitFor([&] { return AllThreadsStopped(program.Pid()); }, 5)) return false;
            const int n = Arrived(folder);
            if (n > 0 && n < total) return mid = true;
            program.Signal(SIGCONT);
            return n >= total;
        }, 60);
        return decided && mid;
    }
};

TEST_F(EndMidPassTest, DisplayLossDuringAWriteBackEndsCleanlyAndTheGuardSavesTheWork) {
    WriteTree(source_, {{"seed", File("seed")}});
    WriteSettings("512", "60", source_);
    const std::string bulk = source_ + "/bulk";
    int ended = 0;
    for (int attempt = 0; ended < kRuns && attempt < kRuns + 5; ++attempt) {
        SCOPED_TRACE("attempt " + std::to_string(attempt) + ", " + std::to_string(ended) + " ended mid-pass so far");
        fs::remove(run_ + "/display");
        const std::string display = StartDisplay();
        if (display.empty()) GTEST_SKIP() << "no Xvfb";
        Program& screen = *display_;
        envOverrides_ = {"DISPLAY=" + display, "QT_QPA_PLATFORM=xcb"};

        Program& program = Start();
        ASSERT_TRUE(WaitLoaded({{"seed", File("seed")}})) << ProgramLog();
        const pid_t guard = WaitForGuard();
        ASSERT_GT(guard, 0) << "no guard runs\n" << ProgramLog();
        WriteTree(kRamDisk, ManyFiles("bulk", kBulkFiles, 16 * 1024));
        const Tree held = UserEntries(Snapshot(kRamDisk));

        // The quit's last write-back is the pass that the end comes in.
        program.Signal(SIGTERM);
        if (!StopMidPass(program, bulk, kBulkFiles)) {
            // The pass ended before it was seen running: this start does not count.
            ASSERT_TRUE(program.WaitExit(60)) << ProgramLog();
            screen.Kill();
            ASSERT_TRUE(WaitFor([&] { return !Alive(guard) && LockFree(); }, 30)) << ProgramLog();
            fs::remove_all(bulk);
            continue;
        }
        screen.Kill();
        program.Signal(SIGCONT);

        const auto status = program.WaitExit(60);
        ASSERT_TRUE(status) << "the program did not end\n" << ProgramLog();
        EXPECT_TRUE(WIFEXITED(*status)) << DescribeStatus(*status) << "\n" << ProgramLog();
        ASSERT_TRUE(WaitFor([&] { return !Mounted(kRamDisk); }, 60)) << "still attached\n" << ProgramLog();
        ASSERT_TRUE(WaitFor([&] { return !Alive(guard) && LockFree(); }, 30)) << "the guard did not end\n"
                                                                              << ProgramLog();
        const std::string log = ProgramLog();
        EXPECT_EQ(log.find("Sanitizer"), std::string::npos) << log;
        EXPECT_EQ(log.find("runtime error"), std::string::npos) << log;
        EXPECT_EQ(log.find("malloc"), std::string::npos) << log;
        const Tree source = Snapshot(source_);
        EXPECT_EQ(Difference(held, UserEntries(source)), "");
        EXPECT_EQ(Leftovers(source), std::vector<std::string>{});
        EXPECT_EQ(Mode(source_), 0);
        if (HasFailure()) return;
        ++ended;
        // The next start loads only the seed again.
        fs::remove_all(bulk);
    }
    EXPECT_EQ(ended, kRuns);
}

}  // namespace
}  // namespace tvmtest
