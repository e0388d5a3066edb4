#include "EngineFixture.h"

#include <sys/stat.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>

#include "TestPaths.h"
#include "engine/CCleanRAMDisk.h"
#include "engine/CStartup.h"
#include "engine/CSync.h"
#include "engine/CTavelmorinth.h"
#include "engine/SyncFaults.h"
#include "framework/Application.h"
#include "framework/Clock.h"
#include "framework/FolderItem.h"
#include "framework/Shell.h"
#include "framework/Strings.h"
#include "framework/Thread.h"

namespace tvmtest {

namespace {
bool Mounted(const std::string& path) {
    std::ifstream in("/proc/self/mounts");
    std::string device, where, rest;
    while (in >> device >> where && std::getline(in, rest)) {
        if (where == path) return true;
    }
    return false;
}
}  // namespace

bool MountedHere(const std::string& path) {
    struct stat here {}, parent {};
    return ::stat(path.c_str(), &here) == 0 && ::stat((path + "/..").c_str(), &parent) == 0 &&
           here.st_dev != parent.st_dev;
}

int Mode(const std::string& path) {
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0 ? int(st.st_mode & 07777) : -1;
}

Tree UserEntries(Tree tree) {
    std::erase_if(tree, [](const auto& entry) { return entry.first == "TMP" || entry.first.starts_with("TMP/"); });
    return tree;
}

void EngineTest::SetUp() {
    if (std::getenv("TVM_NO_RAMDISK")) GTEST_SKIP() << "needs root and a private mount namespace";
    app_ = std::make_unique<TestApp>();
    fw::RegisterApplication(app_.get());
    a().sSize = "4.096";
    a().sInterval = "60";
    a().oCleanRamDisk = fw::New<CCleanRAMDisk>();
    RemoveTree(source_);
    RemoveTree(ram_);
}

void EngineTest::TearDown() {
    if (!app_) return;
    WaitThreadsEnded();
    SyncFaults::Clear();
    fw::SetClock(nullptr);
    fw::RegisterApplication(nullptr);
    app_.reset();  // closes the lock files
    fw::SetToolsFolder(TVM_HELPERS_DIR);
    if (Mounted(ram_)) {
        fw::Shell shell;
        shell.Execute("hdiutil detach " + ram_);
    }
    RemoveTree(source_);
    RemoveTree(ram_);
}

std::string EngineTest::Shell(const std::string& path) { return fw::EscapeShellWord(path); }

void EngineTest::RunPass(bool load, bool keepTarget) {
    auto sync = fw::New<CSync>();
    sync->sFolderSource(Shell(source_));
    sync->sFolderTarget(Shell(ram_));
    sync->bSet(load);
    sync->bKeepTarget(keepTarget);
    a().bTransactionCopy = true;
    sync->Run();
    WaitIdle();
}

void EngineTest::WaitIdle() {
    fw::ProcessEvents(120000, [] { return !app().bTransactionCopy && fw::Thread::LiveCount() == 0; });
    ASSERT_FALSE(app().bTransactionCopy) << "the pass did not end";
}

void EngineTest::WaitThreadsEnded() {
    fw::ProcessEvents(120000, [] { return fw::Thread::LiveCount() == 0; });
}

std::string Incomplete(int failures, bool sourceFull) {
    return fw::Replace(failures == 1 ? App::kSyncIncompleteOne() : App::kSyncIncomplete(), "%1",
                       std::to_string(failures)) +
           " " + (sourceFull ? App::kSyncSourceFull() : App::kSyncSeeLog());
}

void EngineTest::ExpectTrees(const Tree& source, const Tree& ram) const {
    EXPECT_EQ(Difference(WithParents(source), ReadTree(source_)), "") << "in the source folder";
    EXPECT_EQ(Difference(WithParents(ram), ReadTree(ram_)), "") << "on the RAM disk";
}

void DrivenTest::SetUp() {
    EngineTest::SetUp();
    if (IsSkipped()) return;
    if (!std::filesystem::exists(std::string(TVM_HELPERS_DIR) + "/hdiutil"))
        GTEST_SKIP() << "the disk tools are not built";
    fw::SetClock(&clock_);
    a().oCleanRamDisk = nullptr;
}

void DrivenTest::Start(bool enableTimer) {
    auto startup = fw::New<CStartup>();
    startup->bEnableTimer = enableTimer;
    startup->Run();
    WaitIdle();
}

bool DrivenTest::Drive(const std::function<bool()>& done) {
    for (int step = 0; step < 6000; ++step) {
        if (done()) return true;
        clock_.Advance(100);
        WaitIdle();
    }
    return done();
}

void DrivenTest::Quit() { a().oTavelmorinth->CleanRAMDisk(); }

}  // namespace tvmtest
