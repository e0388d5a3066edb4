// The real program and a stand-in for logind on a bus of the test's own: the
// RAM disk holds a shut-down back ("delay") while it is attached, the system's
// PrepareForShutdown is a quit request, the last write-back blocks a shut-down
// where that is allowed, and the locks are given back once the RAM disk is ejected.
#include <signal.h>
#include <sys/wait.h>

#include <filesystem>

#include "ProgramFixture.h"
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

class Shutdown : public ProgramTest, public ::testing::WithParamInterface<ShutdownRow> {
protected:
    void SetUp() override {
        ProgramTest::SetUp();
        if (IsSkipped() || HasFatalFailure()) return;
        const std::string socket = fs::path(home_).parent_path().string() + "/run/system_bus_socket";
        Spawn({"/bin/sh", "-c", "command -v dbus-daemon >/dev/null && exec dbus-daemon --session --nofork --address=\"$0\"",
               "unix:path=" + socket});
        if (!WaitFor([&] { return fs::exists(socket); }, 10)) GTEST_SKIP() << "no dbus-daemon";
        address_ = "unix:path=" + socket;
        logind_ = std::make_unique<fw::testing::LogindStandin>(address_);
        ASSERT_TRUE(logind_->Ready()) << "the stand-in for logind did not get its name";
        environment_ = {"DBUS_SYSTEM_BUS_ADDRESS=" + address_};
    }

    void TearDown() override {
        ProgramTest::TearDown();  // the bus goes with the programs
        logind_.reset();
    }

    std::string address_;
    std::unique_ptr<fw::testing::LogindStandin> logind_;
};

TEST_P(Shutdown, HeldWhileAttachedQuitsOnPrepareForShutdownAndLetsGoOnceEjected) {
    if (!GetParam().blockAllowed) logind_->Refuse("block");
    WriteTree(source_, {{"seed", File("seed")}});
    WriteSettings("512", "60", source_);
    Program& program = Start();
    ASSERT_TRUE(WaitLoaded({{"seed", File("seed")}})) << ProgramLog();

    ASSERT_TRUE(WaitFor([&] { return AnyHeld(InMode(logind_->Inhibitions(), "delay")); }, 10))
        << "no delay lock while the RAM disk is attached\n" << ProgramLog();
    const Inhibition delay = InMode(logind_->Inhibitions(), "delay").front();
    EXPECT_EQ(delay.what, "shutdown");
    EXPECT_EQ(delay.who, "Tavelmorinth");
    EXPECT_TRUE(InMode(logind_->Inhibitions(), "block").empty()) << "blocked before any last write-back";

    const Tree all = With(ManyFiles("bulk", 3000, 16 * 1024), {{"seed", File("seed")}});
    WriteTree(kRamDisk, all);
    logind_->SendPrepareForShutdown(true);

    if (GetParam().blockAllowed) {
        ASSERT_TRUE(WaitFor([&] { return AnyHeld(InMode(logind_->Inhibitions(), "block")); }, 20))
            << "no block lock during the last write-back\n" << ProgramLog();
        EXPECT_TRUE(Mounted(kRamDisk));
    }
    // The locks go once the RAM disk is ejected, while the program still ends its quit.
    bool runningAtRelease = false, mountedAtRelease = true;
    ASSERT_TRUE(WaitFor([&] {
        if (AnyHeld(logind_->Inhibitions())) return false;
        runningAtRelease = program.Running();
        mountedAtRelease = Mounted(kRamDisk);
        return true;
    }, 60)) << "a lock is still held\n" << ProgramLog();
    EXPECT_FALSE(mountedAtRelease) << "a lock was given back before the eject";
    EXPECT_TRUE(runningAtRelease) << "the locks were kept until the program ended";

    const auto status = program.WaitExit(30);
    ASSERT_TRUE(status) << "PrepareForShutdown did not end the program\n" << ProgramLog();
    EXPECT_TRUE(WIFEXITED(*status) && WEXITSTATUS(*status) == 0) << DescribeStatus(*status);
    EXPECT_FALSE(Mounted(kRamDisk));
    EXPECT_EQ(Mode(source_), 0);
    const Tree source = Snapshot(source_);
    EXPECT_EQ(MissingOrChanged(all, source), "");
    EXPECT_EQ(Leftovers(source), std::vector<std::string>{});
    EXPECT_EQ(InMode(logind_->Inhibitions(), "delay").size(), 1u) << "one delay lock for one RAM disk";
}

INSTANTIATE_TEST_SUITE_P(Polkit, Shutdown,
                         ::testing::Values(ShutdownRow{"BlockAllowed", true}, ShutdownRow{"BlockRefused", false}),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace tvmtest
