#include <gtest/gtest.h>
#include <unistd.h>

#include <chrono>
#include <csignal>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include "RuntimeSupport.h"
#include "framework/Application.h"
#include "framework/Baton.h"
#include "framework/Internal.h"
#include "framework/Shell.h"
#include "framework/Timer.h"

using namespace fw;
using tvmtest::Watchdog;

namespace {

class TestApp : public Application {
public:
    std::vector<std::string> events;
    std::function<void(TestApp&)> onOpen;
    std::function<bool(int request)> cancel;  // answer of Event_CancelClose
    int requests = 0;
    bool allOnMainWithBaton = true;

    void Event_Open() override {
        Note("Open");
        if (onOpen) onOpen(*this);
    }
    bool Event_CancelClose() override {
        Note("CancelClose");
        ++requests;
        return cancel ? cancel(requests) : false;
    }
    void Event_Close() override { Note("Close"); }

private:
    void Note(const std::string& e) {
        events.push_back(e);
        if (std::this_thread::get_id() != mainThread_ || !baton::HeldByMe()) allOnMainWithBaton = false;
    }
    std::thread::id mainThread_ = std::this_thread::get_id();
};

using Events = std::vector<std::string>;

}  // namespace

TEST(EventLoop, QuitAsksTheGateThenClosesWindowsAndTheApplicationAndEndsWithItsCode) {
    TestApp app;
    app.CloseAllWindows = [&] { app.events.push_back("CloseAllWindows"); };
    app.onOpen = [](TestApp& a) { a.Quit(7); };
    Watchdog watchdog(app);
    EXPECT_EQ(RunEventLoop(app), 7);
    EXPECT_EQ(app.events, (Events{"Open", "CancelClose", "CloseAllWindows", "Close"}));
    EXPECT_TRUE(app.allOnMainWithBaton);
}

TEST(EventLoop, ARefusedOrFailingGateKeepsTheProgramRunning) {
    tvmtest::ReportCapture capture;
    TestApp app;
    app.cancel = [](int request) {
        if (request == 2) throw RuntimeException("gate broke");
        return request == 1;
    };
    app.onOpen = [](TestApp& a) {
        a.Quit(1);
        a.Quit(2);
        a.Quit(3);
    };
    Watchdog watchdog(app);
    EXPECT_EQ(RunEventLoop(app), 3);
    EXPECT_EQ(app.events, (Events{"Open", "CancelClose", "CancelClose", "CancelClose", "Close"}));
    const auto reports = capture.Reports();
    ASSERT_EQ(reports.size(), 1u);
    EXPECT_EQ(reports[0].where, "application TestApp Event_CancelClose");
    EXPECT_EQ(reports[0].message, "gate broke");
}

TEST(EventLoop, AQuitBeforeTheLoopRunsMakesItReturnAtOnce) {
    TestApp app;
    app.Quit(5);
    EXPECT_EQ(app.events, (Events{"CancelClose", "Close"}));
    EXPECT_EQ(RunEventLoop(app), 5);
    EXPECT_EQ(app.events.size(), 2u) << "no Open event for a loop that never ran";

    // That quit is used up: the next loop runs normally.
    app.onOpen = [](TestApp& a) { a.Quit(6); };
    Watchdog watchdog(app);
    EXPECT_EQ(RunEventLoop(app), 6);
}

TEST(EventLoop, TermIntAndHangUpSignalsAreQuitRequestsThroughTheGate) {
    struct sigaction before {};
    sigaction(SIGTERM, nullptr, &before);
    TestApp app;
    app.onOpen = [](TestApp&) { std::raise(SIGINT); };
    app.cancel = [](int request) {
        if (request == 1) std::raise(SIGTERM);
        if (request == 2) std::raise(SIGHUP);
        return request < 3;
    };
    Watchdog watchdog(app);
    EXPECT_EQ(RunEventLoop(app), 0);
    EXPECT_EQ(app.requests, 3);
    EXPECT_TRUE(app.allOnMainWithBaton);
    struct sigaction after {};
    sigaction(SIGTERM, nullptr, &after);
    EXPECT_EQ(after.sa_handler, before.sa_handler) << "the loop leaves signal handling as it found it";
}

TEST(EventLoop, WorkerThreadsRunWhileTheLoopWaitsAndTheirQuitRunsOnTheMainThread) {
    TestApp app;
    int steps = 0;
    app.onOpen = [&steps](TestApp& a) {
        tvmtest::StartWorker([&a, &steps] {
            for (int i = 0; i < 100; ++i) {
                ++steps;
                Thread::YieldToNext();
            }
            a.Quit(4);
        });
    };
    Watchdog watchdog(app);
    EXPECT_EQ(RunEventLoop(app), 4);
    EXPECT_EQ(steps, 100);
    EXPECT_TRUE(app.allOnMainWithBaton);
    tvmtest::WaitForThreads();
}

TEST(EventLoop, AFailingOpenEventIsReportedAndTheLoopGoesOn) {
    tvmtest::ReportCapture capture;
    TestApp app;
    app.onOpen = [](TestApp&) {
        std::raise(SIGTERM);  // the way out, once the loop gets to it
        throw RuntimeException("boom");
    };
    Watchdog watchdog(app);
    EXPECT_EQ(RunEventLoop(app), 0);
    const auto reports = capture.Reports();
    ASSERT_EQ(reports.size(), 1u);
    EXPECT_EQ(reports[0].where, "application TestApp Event_Open");
}

TEST(EventLoop, RealTimeTimersFireFromTheLoopAlsoWhenAWorkerArmsThem) {
    TestApp app;
    int ticks = 0;
    auto ticker = New<Timer>();
    auto last = New<Timer>();
    last->Action = [&app] { app.Quit(9); };
    ticker->Action = [&] {
        if (++ticks < 20) return;
        ticker->SetEnabled(false);
        // Arming from another thread must wake the loop, which is waiting for nothing else.
        tvmtest::StartWorker([last] {
            last->SetPeriod(1);
            last->SetMode(Timer::ModeSingle);
        });
    };
    app.onOpen = [ticker](TestApp&) {
        ticker->SetPeriod(1);
        ticker->SetMode(Timer::ModeMultiple);
    };
    Watchdog watchdog(app);
    EXPECT_EQ(RunEventLoop(app), 9);
    EXPECT_EQ(ticks, 20);
    tvmtest::WaitForThreads();
}

TEST(EventLoop, TimersGoOnFiringWhileAnActionWaitsInANestedLoop) {
    // As when a timer's Action opens a modal window or waits for a thread.
    int ticks = 0;
    Timer ticker;
    ticker.Action = [&] { ++ticks; };
    ticker.SetPeriod(1);
    ticker.SetMode(Timer::ModeMultiple);
    int seenInside = -1, waiterRuns = 0;
    Timer waiter;
    waiter.Action = [&] {
        ++waiterRuns;
        const int before = ticks;
        ProcessEvents(5000, [&] { return ticks >= before + 5; });
        seenInside = ticks - before;
    };
    waiter.SetPeriod(20);
    waiter.SetMode(Timer::ModeMultiple);
    ProcessEvents(10000, [&] { return seenInside >= 0; });
    EXPECT_GE(seenInside, 5);
    EXPECT_EQ(waiterRuns, 1) << "an Action waiting in a nested loop was entered again";
    ticker.SetEnabled(false);
    waiter.SetEnabled(false);
}

class EventLoopWithMockClock : public tvmtest::MockClockTest {};

TEST_F(EventLoopWithMockClock, RealTimeFiresNoTimer) {
    int fired = 0;
    Timer t;
    t.Action = [&] { ++fired; };
    t.SetPeriod(1);
    t.SetMode(Timer::ModeMultiple);
    ProcessEvents(30);
    EXPECT_EQ(fired, 0);
    clock.Advance(3);
    EXPECT_EQ(fired, 3);
}

TEST(EventLoop, ProcessEventsLetsThreadsRunAndEndsWhenAskedOrAfterItsTime) {
    using Steady = std::chrono::steady_clock;
    bool done = false;
    tvmtest::StartWorker([&] {
        for (int i = 0; i < 50; ++i) Thread::YieldToNext();
        done = true;
    });
    auto start = Steady::now();
    ProcessEvents(60000, [&] { return done; });
    EXPECT_TRUE(done);
    EXPECT_LT(Steady::now() - start, std::chrono::seconds(30));
    tvmtest::WaitForThreads();

    start = Steady::now();
    ProcessEvents(30);
    EXPECT_GE(Steady::now() - start, std::chrono::milliseconds(30));
    EXPECT_TRUE(baton::HeldByMe());
}

// A write to a peer that is gone (a display server that died) fails, and the
// program goes on to end as it chooses; a program it starts gets the default
// action back.
TEST(EventLoop, AWriteToAPeerThatIsGoneFailsInsteadOfKillingTheProgram) {
    int ends[2];
    ASSERT_EQ(::pipe(ends), 0);
    ::close(ends[0]);
    errno = 0;
    EXPECT_EQ(::write(ends[1], "x", 1), -1);
    EXPECT_EQ(errno, EPIPE);
    ::close(ends[1]);

    Shell shell;
    shell.Execute("kill -PIPE $$; echo survived");
    EXPECT_EQ(shell.ErrorCode(), 128 + SIGPIPE) << shell.Result();
    EXPECT_EQ(shell.Result(), "");
}

TEST(EventLoop, AnUncaughtExceptionOfAWorkerShowsABoxWithoutBlockingAnyone) {
    ASSERT_NE(internal::gShowUncaughtBox, nullptr);
    bool done = false;
    tvmtest::StartWorker([&] {
        ReportUncaught(IOException(28, "No space left on device"), "thread CSync");
        done = true;
    });
    ProcessEvents(20000, [&] { return done; });
    ProcessEvents(20);
    EXPECT_TRUE(done);
    tvmtest::WaitForThreads();
}

TEST(Application, MenuHandlersAnswerByItemName) {
    Application app;
    EXPECT_FALSE(app.HandleMenu("mnuState"));
    int calls = 0;
    app.AddMenuHandler("mnuState", [&] { return ++calls > 0; });
    app.AddMenuHandler("mnuDocu", [] { return false; });
    EXPECT_TRUE(app.HandleMenu("mnuState"));
    EXPECT_FALSE(app.HandleMenu("mnuDocu"));
    EXPECT_FALSE(app.HandleMenu("mnuOther"));
    EXPECT_EQ(calls, 1);
    app.SetMouseCursor(MouseCursor::Wait);
    app.SetMouseCursor(MouseCursor::Wait);
    app.SetMouseCursor(MouseCursor::Standard);
}

TEST(Application, RegisteredApplicationIsForgottenWhenItGoes) {
    {
        Application app;
        RegisterApplication(&app);
        EXPECT_EQ(CurrentApplication(), &app);
    }
    EXPECT_EQ(CurrentApplication(), nullptr);
}

TEST(Application, ResourcesDefaultToTheFolderBesideTheExecutablesFolder) {
    Application app;
    const auto exe = app.ExecutableFile();
    ASSERT_FALSE(exe.IsNil());
    const std::filesystem::path path = exe->NativePath();
    EXPECT_EQ(path.filename(), "framework_tests");
    const std::string configured = ResourcesFolder();
    SetResourcesFolder("");
    EXPECT_EQ(ResourcesFolder(), (path.parent_path().parent_path() / "Resources").string());
    SetResourcesFolder(configured);
}

// The font library keeps a cache it never frees once a message box has drawn
// text; that is not ours to fix, so the leak checker is told to pass over it.
extern "C" const char* __lsan_default_suppressions() { return "leak:libfontconfig\n"; }
