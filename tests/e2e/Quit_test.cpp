// The real program asked to quit again and again while it writes back, and
// quit after a load that did not fit a RAM disk left attached by an earlier run:
// the source folder ends up with every byte the RAM disk held.
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <iostream>

#include "ProgramFixture.h"

namespace tvmtest {
namespace {

namespace fs = std::filesystem;

class Quitting : public ProgramTest {
protected:
    // As a log-out or a shut-down sends it: to the program's whole process group.
    static void TerminateGroup(Program& program) { ::kill(-program.Pid(), SIGTERM); }
};

TEST_F(Quitting, FurtherRequestsDuringTheLastWriteBackWaitForItToTheLastByte) {
    const int count = 4000, late = 2000;
    for (int attempt = 1; attempt <= kAttempts; ++attempt) {
        fs::remove_all(source_);
        WriteTree(source_, {{"seed", File("seed")}});
        WriteSettings("512", "10", source_);
        Program& program = Start();
        ASSERT_TRUE(WaitLoaded({{"seed", File("seed")}})) << ProgramLog();
        WriteTree(kRamDisk, ManyFiles("bulk", count, 16 * 1024));
        // The program got through a folder within one step: let it quit, and try again.
        auto missed = [&](const char* what) {
            std::cerr << "attempt " << attempt << ": " << what << "; again\n";
            program.Continue();
            ASSERT_TRUE(QuitAndWait(program, 60));
        };

        // The first request comes during the periodic write-back, which it waits for.
        ASSERT_TRUE(StopWhen(program, [&] { return CountEntries(source_ + "/bulk") > 0; }, 20)) << ProgramLog();
        if (CountEntries(source_ + "/bulk") == size_t(count)) {
            missed("the write-back ended before the quit");
            if (HasFatalFailure()) return;
            continue;
        }
        TerminateGroup(program);
        // Made while that write-back is past this folder: only the last one copies it.
        WriteTree(kRamDisk, ManyFiles("a-late", late, 4 * 1024));
        const Tree held = UserEntries(Snapshot(kRamDisk));
        program.Continue();

        ASSERT_TRUE(StopWhen(program, [&] { return CountEntries(source_ + "/a-late") > 0; }, 30)) << ProgramLog();
        if (CountEntries(source_ + "/a-late") == size_t(late)) {
            missed("the last write-back ended before the requests");
            if (HasFatalFailure()) return;
            continue;
        }
        TerminateGroup(program);
        program.Continue();
        const auto first = std::chrono::steady_clock::now();
        ASSERT_TRUE(StopWhen(program, [&] { return std::chrono::steady_clock::now() - first > std::chrono::milliseconds(50); }, 5))
            << ProgramLog();
        if (CountEntries(source_ + "/a-late") == size_t(late)) {
            missed("the last write-back ended between the requests");
            if (HasFatalFailure()) return;
            continue;
        }
        TerminateGroup(program);
        program.Continue();

        const auto status = program.WaitExit(60);
        ASSERT_TRUE(status) << "still running 60 s after the requests\n" << ProgramLog();
        EXPECT_TRUE(WIFEXITED(*status) && WEXITSTATUS(*status) == 0) << DescribeStatus(*status);
        ExpectEjectedAndSaved(held);
        return;
    }
    FAIL() << "the program never was where the test needs it in " << kAttempts << " attempts";
}

TEST_F(Quitting, AVolumeLeftAttachedWhoseNextLoadDoesNotFitLosesNoFileAtTheQuit) {
    WriteTree(source_, {{"in both", File("from the source folder")}});
    WriteSettings("256", "60", source_);
    Program& first = Start();
    ASSERT_TRUE(WaitLoaded({{"in both", File("from the source folder")}})) << ProgramLog();
    Tree ramOnly;
    for (int i = 0; i < 27; ++i) ramOnly["work/file " + std::to_string(i)] = File("only on the RAM disk " + std::to_string(i), kNew);
    WriteTree(kRamDisk, ramOnly);
    first.Kill();
    ASSERT_TRUE(Mounted(kRamDisk));

    // The source folder no longer fits the RAM disk.
    {
        std::ofstream(source_ + "/big");
    }
    fs::resize_file(source_ + "/big", 300u * 1024 * 1024);  // sparse
    const std::string lockFile = std::string(kRamDisk) + "/TMP/T.dat";
    const ino_t oldLock = Inode(lockFile);
    Program& second = Start();
    ASSERT_TRUE(WaitFor([&] { return Inode(lockFile) != oldLock; }, 10)) << ProgramLog();
    // However early the quit comes, the load runs first and finds the folder too large.
    ASSERT_TRUE(QuitAndWait(second, 30));

    EXPECT_FALSE(Mounted(kRamDisk));
    EXPECT_EQ(fs::file_size(source_ + "/big"), 300u * 1024 * 1024);
    fs::remove(source_ + "/big");
    EXPECT_EQ(MissingOrChanged(With(ramOnly, {{"in both", File("from the source folder")}}), Snapshot(source_)), "");
}

}  // namespace
}  // namespace tvmtest
