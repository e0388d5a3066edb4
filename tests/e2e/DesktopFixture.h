// The real program as a desktop runs it: an X display of the test's own, the
// guard it starts, and the lock they share. Guards the test left running are
// killed in the tear-down.
#pragma once
#include <sys/types.h>

#include <functional>
#include <string>
#include <vector>

#include "ProgramFixture.h"

namespace tvmtest {

// Running and not a zombie.
bool Alive(pid_t pid);

class DesktopTest : public ProgramTest {
protected:
    void SetUp() override;
    void TearDown() override;

    // An Xvfb of the test's own, e.g. ":3"; "" when there is no Xvfb.
    std::string StartDisplay();
    // The guards started for this test (by their executable and runtime folder).
    std::vector<pid_t> GuardPids() const;
    // The one guard, once it runs (at most 10 s); -1 when none or several.
    pid_t WaitForGuard();
    // StopWhen for a process that is not the test's child (the guard): false
    // when it ended or `seconds` passed; SIGCONT resumes it.
    static bool StopWhen(pid_t pid, const std::function<bool()>& reached, double seconds);
    using ProgramTest::StopWhen;
    // Neither a program nor a guard of this test holds the lock.
    bool LockFree() const;

    std::string run_;  // the XDG_RUNTIME_DIR of the programs
    Program* display_ = nullptr;
};

}  // namespace tvmtest
