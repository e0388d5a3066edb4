// The real program on the test's own tmpfs, in a sandbox (temp HOME, stand-in
// xdg-open first on PATH, local server), offscreen. Every program and helper a
// test starts is killed and reaped in the tear-down.
#pragma once
#include <gtest/gtest.h>
#include <sys/types.h>

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "TestPaths.h"

#include "../engine/Tree.h"
#include "Program.h"
#include "Sandbox.h"

namespace tvmtest {

// How often a test tries again when the program went past the point it needed
// before it could be stopped there.
constexpr int kAttempts = 5;

class ProgramTest : public ::testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;

    // Starts the program (another instance when one ran before and has ended).
    Program& Start();
    // Starts any command with the test's environment (a holder of files, say).
    Program& Spawn(const std::vector<std::string>& argv);
    // SIGTERM, then a bounded wait for the end; true when it exited with code 0.
    ::testing::AssertionResult QuitAndWait(Program& program, double seconds = 30);

    void WriteSettings(const std::string& size, const std::string& interval, const std::string& source) {
        box_->WriteSettings(size, interval, source);
    }
    std::vector<std::string> SettingsLines() const;

    // Polls (every 20 ms, at most `seconds`) until `done` holds.
    static bool WaitFor(const std::function<bool()>& done, double seconds);
    // Lets `program` run in short steps, each ended by stopping it, until
    // `reached` holds while it is stopped: true with the program left stopped
    // (Continue resumes it); false when it ended or `seconds` passed. A test
    // that needs the program in the middle of something stops it there, so
    // what it then looks at cannot change under it.
    static bool StopWhen(Program& program, const std::function<bool()>& reached, double seconds);
    // Until the RAM disk is mounted and holds everything `expected` lists.
    bool WaitLoaded(const Tree& expected, double seconds = 20);

    std::string ProgramLog() const;
    // The home folder and the runtime folder, with everything in them, given to a user.
    void GiveHomeTo(uid_t uid, gid_t gid) const;
    // After the end: the RAM disk is ejected and the source folder holds every
    // file of `expected` with its bytes and nothing an interrupted copy left.
    void ExpectEjectedAndSaved(const Tree& expected) const;

    std::string home_, source_, settings_;
    // "NAME=value" entries that replace the test environment's, "NAME" alone
    // drops it; for the programs started after they are set.
    std::vector<std::string> envOverrides_;
    // What Start runs: the shipped program, or its build that answers questions from tests.
    std::string executable_ = TVM_EXECUTABLE;

private:
    std::string log_;
    std::unique_ptr<Sandbox> box_;
    std::vector<std::unique_ptr<Program>> programs_;
};

bool Mounted(const std::string& path);
int Mode(const std::string& path);
// The tree without what the program keeps for itself (hidden entries, "TMP",
// the copy of the settings).
Tree UserEntries(const Tree& tree);
// "" when every file of `expected` is in `actual` with its bytes; else the misses.
std::string MissingOrChanged(const Tree& expected, const Tree& actual);
// ReadTree that copes with a pass renaming entries while it reads.
Tree Snapshot(const std::string& root);
// Entries directly inside a folder (0 when it is missing).
size_t CountEntries(const std::string& folder);
// `count` files of `bytes` each under `folder`, every one with bytes of its own.
Tree ManyFiles(const std::string& folder, int count, size_t bytes);
// The inode at `path`, 0 when nothing is there.
ino_t Inode(const std::string& path);
// Entries left by interrupted copies.
std::vector<std::string> Leftovers(const Tree& tree);

// Runs a shell command line; its exit code.
int RunCommand(const std::string& commandLine);

// A user made for one test: no home, no login shell, a group of its own.
struct ScratchAccount {
    std::string name;
    uid_t uid = 0;
    gid_t gid = 0;
};
// False when the user cannot be made.
bool MakeScratchUser(const std::string& name, ScratchAccount& account);
void RemoveScratchUser(const std::string& name);

// Whether a set-user-ID program under `folder` gets its privilege there.
bool SetUserIdWorksIn(const std::string& folder);
// The program's bundle copied under `root` as a package installs it, with the
// mount helper root's and set-user-ID when `privileged` (else a plain program),
// and every folder from `root` up searchable by others. Returns the bundle's path.
std::string InstallBundle(const std::string& root, bool privileged);
// A /dev/shm of the mount namespace's own, mounted the first time; false when
// it cannot be.
bool OwnDevShm();

}  // namespace tvmtest
