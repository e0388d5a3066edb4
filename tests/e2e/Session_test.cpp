// The end of a session, from outside. With a stand-in for logind on a bus of the
// test's own: the RAM disk holds a shut-down back ("delay") while it is
// attached, PrepareForShutdown is a quit request, the last write-back blocks a
// shut-down where that is allowed, and the locks are given back once the RAM
// disk is ejected. With a stand-in for the X11 session manager: its log-out
// request and its order to end both take the program's own quit road.
#include <signal.h>
#include <sys/wait.h>

#include <filesystem>
#include <fstream>
#include <iostream>

#include "DesktopFixture.h"
#include "framework/testing/LogindStandin.h"

namespace tvmtest {
namespace {

namespace fs = std::filesystem;
using Inhibition = fw::testing::LogindStandin::Inhibition;

std::vector<Inhibition> InMode(const std::vector<Inhibition>& all, const std::string& mode) {
    std::vector<Inhibition> out;
    for (const auto& i : all)
        if (i.mode == mode) out.push_back(i);
    return out;
}

bool AnyHeld(const std::vector<Inhibition>& all) {
    for (const auto& i : all)
        if (!i.released) return true;
    return false;
}

struct ShutdownRow {
    const char* name;
    bool blockAllowed;
};

class Shutdown : public DesktopTest, public ::testing::WithParamInterface<ShutdownRow> {
protected:
    void SetUp() override {
        DesktopTest::SetUp();
        if (IsSkipped() || HasFatalFailure()) return;
        const std::string socket = fs::path(home_).parent_path().string() + "/run/system_bus_socket";
        Spawn({"/bin/sh", "-c", "command -v dbus-daemon >/dev/null && exec dbus-daemon --session --nofork --address=\"$0\"",
               "unix:path=" + socket});
        if (!WaitFor([&] { return fs::exists(socket); }, 10)) GTEST_SKIP() << "no dbus-daemon";
        address_ = "unix:path=" + socket;
        logind_ = std::make_unique<fw::testing::LogindStandin>(address_);
        ASSERT_TRUE(logind_->Ready()) << "the stand-in for logind did not get its name";
        envOverrides_ = {"DBUS_SYSTEM_BUS_ADDRESS=" + address_};
    }

    void TearDown() override {
        DesktopTest::TearDown();  // the bus goes with the programs
        logind_.reset();
    }

    std::string address_;
    std::unique_ptr<fw::testing::LogindStandin> logind_;
};

TEST_P(Shutdown, HeldWhileAttachedQuitsOnPrepareForShutdownAndLetsGoOnceEjected) {
    if (!GetParam().blockAllowed) logind_->Refuse("block");
    const Tree all = With(ManyFiles("bulk", 3000, 16 * 1024), {{"seed", File("seed")}});
    for (int attempt = 1; attempt <= kAttempts; ++attempt) {
        // The locks of this attempt's program.
        const size_t before = logind_->Inhibitions().size();
        auto mine = [&](const std::string& mode) {
            auto list = logind_->Inhibitions();
            list.erase(list.begin(), list.begin() + std::ptrdiff_t(before));
            return mode.empty() ? list : InMode(list, mode);
        };
        fs::remove_all(source_);
        WriteTree(source_, {{"seed", File("seed")}});
        WriteSettings("512", "60", source_);
        Program& program = Start();
        ASSERT_TRUE(WaitLoaded({{"seed", File("seed")}})) << ProgramLog();

        ASSERT_TRUE(WaitFor([&] { return AnyHeld(mine("delay")); }, 10))
            << "no delay lock while the RAM disk is attached\n" << ProgramLog();
        const Inhibition delay = mine("delay").front();
        EXPECT_EQ(delay.what, "shutdown");
        EXPECT_EQ(delay.who, "Tavelmorinth");
        EXPECT_TRUE(mine("block").empty()) << "blocked before any last write-back";

        WriteTree(kRamDisk, all);
        logind_->SendPrepareForShutdown(true);

        if (GetParam().blockAllowed) {
            // Stopped as soon as it has the block lock, in the middle of the last write-back.
            ASSERT_TRUE(StopWhen(program, [&] { return !mine("block").empty(); }, 20))
                << "no block lock during the last write-back\n" << ProgramLog();
            EXPECT_TRUE(AnyHeld(mine("block"))) << "the block lock was given back at once";
            EXPECT_TRUE(Mounted(kRamDisk));
            program.Continue();
        }
        // The locks go once the RAM disk is ejected, while the program still ends
        // its quit: stopped as soon as none is held, it has ejected and still runs.
        const bool releasedWhileRunning = StopWhen(program, [&] { return !AnyHeld(mine("")); }, 60);
        const bool mountedAtRelease = Mounted(kRamDisk);
        program.Continue();
        const auto status = program.WaitExit(30);
        ASSERT_TRUE(status) << (releasedWhileRunning ? "PrepareForShutdown did not end the program\n" : "a lock is still held\n")
                            << ProgramLog();
        EXPECT_TRUE(WIFEXITED(*status) && WEXITSTATUS(*status) == 0) << DescribeStatus(*status);
        EXPECT_FALSE(Mounted(kRamDisk));
        EXPECT_EQ(Mode(source_), 0);
        const Tree source = Snapshot(source_);
        EXPECT_EQ(MissingOrChanged(all, source), "");
        EXPECT_EQ(Leftovers(source), std::vector<std::string>{});
        EXPECT_EQ(mine("delay").size(), 1u) << "one delay lock for one RAM disk";
        if (releasedWhileRunning) {
            EXPECT_FALSE(mountedAtRelease) << "a lock was given back before the eject";
            return;
        }
        // Ended before a step saw the locks go: it may have kept them to its end.
        std::cerr << "attempt " << attempt << ": the program ended before the locks were seen released; again\n";
    }
    ADD_FAILURE() << "the locks were kept until the program ended, in " << kAttempts << " attempts";
}

INSTANTIATE_TEST_SUITE_P(Polkit, Shutdown,
                         ::testing::Values(ShutdownRow{"BlockAllowed", true}, ShutdownRow{"BlockRefused", false}),
                         [](const auto& info) { return std::string(info.param.name); });

struct SessionRequest {
    const char* name;
    int signal;  // to the session manager's stand-in
    const char* managerSays;
};

class LogOut : public DesktopTest, public ::testing::WithParamInterface<SessionRequest> {};

TEST_P(LogOut, TakesTheProgramsOwnQuitRoad) {
    if (std::string(TVM_SESSION_MANAGER_STANDIN).empty()) GTEST_SKIP() << "built without the session management libraries";
    const std::string display = StartDisplay();
    if (display.empty()) GTEST_SKIP() << "no Xvfb";
    const std::string addressFile = run_ + "/session-manager";
    Program& manager = Spawn({TVM_SESSION_MANAGER_STANDIN, addressFile});
    std::string address;
    ASSERT_TRUE(WaitFor([&] {
        std::ifstream in(addressFile);
        return std::getline(in, address) && !address.empty();
    }, 10)) << ProgramLog();
    envOverrides_ = {"DISPLAY=" + display, "QT_QPA_PLATFORM=xcb", "SESSION_MANAGER=" + address};

    WriteTree(source_, {{"seed", File("seed")}, {"old", File("old")}});
    WriteSettings("256", "60", source_);
    Program& program = Start();
    ASSERT_TRUE(WaitLoaded({{"seed", File("seed")}})) << ProgramLog();
    ASSERT_TRUE(WaitFor([&] { return ProgramLog().find("session-manager: registered") != std::string::npos; }, 10))
        << ProgramLog();
    WriteTree(kRamDisk, {{"saved before the log-out", File("work", kNew)}});
    fs::remove(std::string(kRamDisk) + "/old");
    const Tree held = UserEntries(Snapshot(kRamDisk));

    manager.Signal(GetParam().signal);
    const auto status = program.WaitExit(60);
    ASSERT_TRUE(status) << "the session's end did not end the program\n" << ProgramLog();
    EXPECT_TRUE(WIFEXITED(*status) && WEXITSTATUS(*status) == 0) << DescribeStatus(*status) << "\n" << ProgramLog();
    EXPECT_NE(ProgramLog().find(GetParam().managerSays), std::string::npos) << ProgramLog();
    EXPECT_EQ(ProgramLog().find("ended without its eject"), std::string::npos) << "the guard had to step in\n"
                                                                                 << ProgramLog();
    EXPECT_FALSE(Mounted(kRamDisk));
    EXPECT_EQ(Mode(source_), 0);
    EXPECT_EQ(Difference(held, UserEntries(Snapshot(source_))), "");
}

INSTANTIATE_TEST_SUITE_P(
    SessionManager, LogOut,
    ::testing::Values(SessionRequest{"SaveYourselfForALogOut", SIGUSR1, "session-manager: save-yourself-done"},
                      SessionRequest{"Die", SIGUSR2, "session-manager: die sent"}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace tvmtest
