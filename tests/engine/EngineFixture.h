// A fresh application object per test, a source folder and a RAM-disk folder on
// the test's own tmpfs, and helpers that run passes the way the program does.
#pragma once
#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <string>

#include "Tree.h"
#include "app/App.h"
#include "app/ProgramApp.h"
#include "framework/Clock.h"

namespace tvmtest {

// Whether `path` is the root of a mount of its own.
bool MountedHere(const std::string& path);
// The permission bits at `path`; -1 when there is nothing.
int Mode(const std::string& path);
// The tree without the lock file's folder.
Tree UserEntries(Tree tree);
// The status after a pass with `failures` failures: the count, then what to do.
std::string Incomplete(int failures, bool sourceFull = false);

// Which pass a table row runs.
enum Direction { kLoad, kWriteBack };

// The quit gate is the application's; here it only counts the requests and
// refuses them, so that the sequencers can be watched on their own. With
// realGate the application's own gate answers, and a quit it lets through is
// counted in closes instead of dropping the workers.
class TestApp : public ProgramApp {
public:
    bool Event_CancelClose() override {
        ++quitRequests;
        return realGate ? ProgramApp::Event_CancelClose() : true;
    }
    void Event_Close() override { ++closes; }
    int quitRequests = 0;
    bool realGate = false;
    int closes = 0;
};

class EngineTest : public ::testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;

    // One pass on a framework thread, started as the worker starts it.
    void RunPass(bool load, bool keepTarget = false);
    // Waits (real time, events processed) until no pass runs and no thread is left.
    static void WaitIdle();
    // Waits until every framework thread has ended.
    static void WaitThreadsEnded();

    void ExpectTrees(const Tree& source, const Tree& ram) const;

    static std::string Shell(const std::string& path);

    TestApp& a() { return *app_; }

    const std::string source_ = "/volumes/source";
    const std::string ram_ = "/volumes/Tavelmorinth";

private:
    std::unique_ptr<TestApp> app_;
};

// The program's own start, timers and quit with the real disk tools, on a clock
// that the test moves. Skipped where the disk tools are not built.
class DrivenTest : public EngineTest {
protected:
    void SetUp() override;

    // The start as the program runs it: the start-up thread makes the workers,
    // the RAM disk and its first load.
    void Start(bool enableTimer = true);
    // Moves the clock on in small steps, letting passes finish in between, until
    // `done` holds (or ten minutes of clock time have gone by).
    bool Drive(const std::function<bool()>& done);
    void Quit();  // what the quit gate does when no pass runs

    fw::MockClock clock_;
};

}  // namespace tvmtest
