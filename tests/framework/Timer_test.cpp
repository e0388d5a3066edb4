#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "RuntimeSupport.h"
#include "framework/Baton.h"
#include "framework/Timer.h"

using namespace fw;

namespace {

// A timer that notes the clock at every firing.
struct Probe {
    Ref<Timer> timer = New<Timer>();
    std::vector<int64_t> fired;
    explicit Probe(Clock& clock) {
        timer->Action = [this, &clock] { fired.push_back(clock.MonotonicMs()); };
    }
};

struct ArmingCase {
    const char* name;
    std::function<void(Timer&, MockClock&)> script;
    std::vector<int64_t> firings;
    int modeAfter;
};

void PrintTo(const ArmingCase& c, std::ostream* os) { *os << c.name; }

const ArmingCase kArmingCases[] = {
    {"a new timer is idle", [](Timer&, MockClock& c) { c.Advance(5000); }, {}, Timer::ModeOff},
    {"a single timer fires once one period after arming and falls back to off",
     [](Timer& t, MockClock& c) {
         t.SetPeriod(100);
         t.SetMode(Timer::ModeSingle);
         c.Advance(1000);
     },
     {100}, Timer::ModeOff},
    {"a repeating timer fires every period",
     [](Timer& t, MockClock& c) {
         t.SetPeriod(100);
         t.SetMode(Timer::ModeMultiple);
         c.Advance(350);
     },
     {100, 200, 300}, Timer::ModeMultiple},
    {"setting the period re-arms from that moment",
     [](Timer& t, MockClock& c) {
         t.SetMode(Timer::ModeMultiple);
         c.Advance(500);
         t.SetPeriod(300);
         c.Advance(700);
     },
     {800, 1100}, Timer::ModeMultiple},
    {"setting the same mode again starts the period anew",
     [](Timer& t, MockClock& c) {
         t.SetPeriod(500);
         t.SetMode(Timer::ModeMultiple);
         c.Advance(400);
         t.SetMode(Timer::ModeMultiple);
         c.Advance(1000);
     },
     {900, 1400}, Timer::ModeMultiple},
    {"disabling stops it and enabling re-arms from that moment",
     [](Timer& t, MockClock& c) {
         t.SetPeriod(100);
         t.SetMode(Timer::ModeMultiple);
         c.Advance(250);
         t.SetEnabled(false);
         c.Advance(500);
         t.SetEnabled(true);
         c.Advance(250);
     },
     {100, 200, 850, 950}, Timer::ModeMultiple},
    {"mode off stops it",
     [](Timer& t, MockClock& c) {
         t.SetPeriod(100);
         t.SetMode(Timer::ModeMultiple);
         c.Advance(150);
         t.SetMode(Timer::ModeOff);
         c.Advance(1000);
     },
     {100}, Timer::ModeOff},
    {"enabling or giving a period to a timer in mode off leaves it idle",
     [](Timer& t, MockClock& c) {
         t.SetEnabled(true);
         t.SetPeriod(10);
         c.Advance(100);
     },
     {}, Timer::ModeOff},
    {"a disabled timer given a mode waits until it is enabled",
     [](Timer& t, MockClock& c) {
         t.SetEnabled(false);
         t.SetPeriod(100);
         t.SetMode(Timer::ModeSingle);
         c.Advance(500);
         t.SetEnabled(true);
         c.Advance(500);
     },
     {600}, Timer::ModeOff},
    {"a single timer armed again before it fires fires once, one period after the last arming",
     [](Timer& t, MockClock& c) {
         t.SetPeriod(100);
         t.SetMode(Timer::ModeSingle);
         c.Advance(50);
         t.SetEnabled(true);
         c.Advance(500);
     },
     {150}, Timer::ModeOff},
    {"a period below one millisecond counts as one",
     [](Timer& t, MockClock& c) {
         t.SetPeriod(0);
         t.SetMode(Timer::ModeMultiple);
         c.Advance(5);
     },
     {1, 2, 3, 4, 5}, Timer::ModeMultiple},
};

class TimerArming : public tvmtest::MockClockTest, public testing::WithParamInterface<ArmingCase> {};

}  // namespace

TEST_P(TimerArming, FiresAtTheExpectedMoments) {
    Probe p(clock);
    EXPECT_EQ(p.timer->Mode(), Timer::ModeOff);
    EXPECT_EQ(p.timer->Period(), 1000);
    EXPECT_TRUE(p.timer->Enabled());
    GetParam().script(*p.timer, clock);
    EXPECT_EQ(p.fired, GetParam().firings);
    EXPECT_EQ(p.timer->Mode(), GetParam().modeAfter);
}

INSTANTIATE_TEST_SUITE_P(Rules, TimerArming, testing::ValuesIn(kArmingCases),
                         [](const auto& info) { return tvmtest::SentenceName(info.param.name); });

class TimerSchedule : public tvmtest::MockClockTest {};

TEST_F(TimerSchedule, AdvanceStepsThroughEveryDueMomentInOrder) {
    std::vector<std::pair<int64_t, std::string>> trace;
    auto make = [&](const std::string& name, int64_t period) {
        auto t = New<Timer>();
        t->Action = [&trace, name, this] { trace.emplace_back(clock.MonotonicMs(), name); };
        t->SetPeriod(period);
        t->SetMode(Timer::ModeMultiple);
        return t;
    };
    auto fast = make("1ms", 1);
    clock.Advance(50);
    EXPECT_EQ(trace.size(), 50u);
    for (size_t i = 0; i < trace.size(); ++i) EXPECT_EQ(trace[i].first, static_cast<int64_t>(i + 1));
    fast->SetEnabled(false);

    trace.clear();
    auto a = make("a", 3);
    auto b = make("b", 5);
    auto c = make("c", 4);
    // Due at the same moment: the one whose due time was set first fires first.
    auto d = make("d", 4);
    clock.Advance(12);
    const std::vector<std::pair<int64_t, std::string>> expected = {
        {53, "a"}, {54, "c"}, {54, "d"}, {55, "b"}, {56, "a"}, {58, "c"},
        {58, "d"}, {59, "a"}, {60, "b"}, {62, "c"}, {62, "d"}, {62, "a"}};
    EXPECT_EQ(trace, expected);
    EXPECT_EQ(clock.MonotonicMs(), 62);
}

TEST_F(TimerSchedule, NextDueIsTheEarliestArmedTimer) {
    EXPECT_EQ(timers::NextDue(), -1);
    Timer slow, quick;
    slow.SetPeriod(100);
    slow.SetMode(Timer::ModeMultiple);
    EXPECT_EQ(timers::NextDue(), 100);
    quick.SetPeriod(30);
    quick.SetMode(Timer::ModeSingle);
    EXPECT_EQ(timers::NextDue(), 30);
    clock.Advance(30);
    EXPECT_EQ(timers::NextDue(), 100);
    slow.SetEnabled(false);
    EXPECT_EQ(timers::NextDue(), -1);
}

TEST_F(TimerSchedule, ActionRunsOnTheMainThreadHoldingTheBaton) {
    const auto mainThread = std::this_thread::get_id();
    int fired = 0;
    bool held = false, onMain = false;
    Timer t;
    t.Action = [&] {
        ++fired;
        held = baton::HeldByMe();
        onMain = std::this_thread::get_id() == mainThread;
    };
    t.SetPeriod(10);
    t.SetMode(Timer::ModeSingle);
    {
        baton::Unlocked notHolding;  // the event loop calls in without the baton
        timers::FireDue(10);
    }
    EXPECT_EQ(fired, 1);
    EXPECT_TRUE(held);
    EXPECT_TRUE(onMain);
}

TEST_F(TimerSchedule, ActionsMayStopRearmOrDestroyTimers) {
    std::vector<int64_t> selfStopping, rearming;
    Timer stopper;
    stopper.Action = [&] {
        selfStopping.push_back(clock.MonotonicMs());
        if (selfStopping.size() == 3) stopper.SetEnabled(false);
    };
    stopper.SetPeriod(10);
    stopper.SetMode(Timer::ModeMultiple);

    Timer rearm;
    rearm.Action = [&] {
        rearming.push_back(clock.MonotonicMs());
        rearm.SetPeriod(rearm.Period() * 2);
    };
    rearm.SetPeriod(5);
    rearm.SetMode(Timer::ModeMultiple);

    // A timer whose Action drops the last reference to itself and to another armed timer.
    int doomedFirings = 0, victimFirings = 0;
    auto victim = New<Timer>();
    victim->Action = [&] { ++victimFirings; };
    victim->SetPeriod(8);
    victim->SetMode(Timer::ModeMultiple);
    auto doomed = New<Timer>();
    doomed->Action = [&] {
        ++doomedFirings;
        doomed = nullptr;
        victim = nullptr;
    };
    doomed->SetPeriod(7);
    doomed->SetMode(Timer::ModeMultiple);

    clock.Advance(100);
    EXPECT_EQ(selfStopping, (std::vector<int64_t>{10, 20, 30}));
    EXPECT_EQ(rearming, (std::vector<int64_t>{5, 15, 35, 75}));
    EXPECT_EQ(doomedFirings, 1);
    EXPECT_EQ(victimFirings, 0);
}

TEST_F(TimerSchedule, ADestroyedTimerNeverFires) {
    int fired = 0;
    {
        Timer t;
        t.Action = [&] { ++fired; };
        t.SetPeriod(10);
        t.SetMode(Timer::ModeMultiple);
        clock.Advance(10);
    }
    clock.Advance(1000);
    EXPECT_EQ(fired, 1);
    EXPECT_EQ(timers::NextDue(), -1);
}

namespace {
class FailingTimer : public Timer {
protected:
    void Event_Action() override { throw OutOfBoundsException("index 7"); }
};
}  // namespace

TEST_F(TimerSchedule, AnExceptionInAnActionIsReportedAndTimersKeepRunning) {
    tvmtest::ReportCapture capture;
    FailingTimer failing;
    failing.SetPeriod(10);
    failing.SetMode(Timer::ModeMultiple);
    Probe other(clock);
    other.timer->SetPeriod(10);
    other.timer->SetMode(Timer::ModeMultiple);
    clock.Advance(30);
    EXPECT_EQ(other.fired, (std::vector<int64_t>{10, 20, 30}));
    const auto reports = capture.Reports();
    ASSERT_EQ(reports.size(), 3u);
    for (const auto& r : reports) {
        EXPECT_EQ(r.className, "OutOfBoundsException");
        EXPECT_EQ(r.message, "index 7");
        EXPECT_EQ(r.where, "timer FailingTimer Action");
    }
}

TEST_F(TimerSchedule, AnActionThatRunsTheClockOnIsNotEnteredAgainMeanwhile) {
    // As when an Action waits in a nested event loop: other timers go on firing,
    // the waiting one does not fire inside itself, and afterwards skips what it missed.
    std::vector<int64_t> outer, inner;
    int depth = 0, maxDepth = 0;
    Timer waiting;
    waiting.Action = [&] {
        maxDepth = std::max(maxDepth, ++depth);
        outer.push_back(clock.MonotonicMs());
        if (outer.size() == 1) clock.Advance(25);
        --depth;
    };
    waiting.SetPeriod(10);
    waiting.SetMode(Timer::ModeMultiple);
    Probe other(clock);
    other.timer->SetPeriod(5);
    other.timer->SetMode(Timer::ModeMultiple);
    clock.Advance(50);
    EXPECT_EQ(maxDepth, 1);
    EXPECT_EQ(outer, (std::vector<int64_t>{10, 35, 45}));
    EXPECT_EQ(other.fired, (std::vector<int64_t>{5, 10, 15, 20, 25, 30, 35, 40, 45, 50}));
}

TEST_F(TimerSchedule, WorkerThreadsMayArmTimersThatThenFireOnTheMainThread) {
    const auto mainThread = std::this_thread::get_id();
    std::vector<std::thread::id> firedOn;
    auto t = New<Timer>();
    t->Action = [&] { firedOn.push_back(std::this_thread::get_id()); };
    const int base = Thread::LiveCount();
    tvmtest::StartWorker([t] {
        t->SetPeriod(20);
        t->SetMode(Timer::ModeMultiple);
    });
    tvmtest::WaitForThreads(base);
    clock.Advance(60);
    EXPECT_EQ(firedOn, std::vector<std::thread::id>(3, mainThread));
}
