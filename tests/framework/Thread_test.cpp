#include <gtest/gtest.h>

#include <atomic>
#include <string>
#include <thread>
#include <vector>

#include "RuntimeSupport.h"
#include "framework/Baton.h"
#include "framework/Thread.h"
#include "framework/Timer.h"

using namespace fw;
using tvmtest::StartWorker;
using tvmtest::WaitForThreads;

namespace {

void Spin(int n) {
    for (int i = 0; i < n; ++i) asm volatile("" ::: "memory");
}

// Program code that notices when another thread is inside it at the same time.
struct CriticalSection {
    std::atomic<int> inside{0};
    std::atomic<int> violations{0};
    std::atomic<long> calls{0};
    // Read and written in two steps: an update is lost if two threads overlap.
    std::atomic<long> unprotected{0};

    void Enter() {
        if (inside.fetch_add(1) != 0) ++violations;
        const long before = unprotected.load(std::memory_order_relaxed);
        Spin(300);
        unprotected.store(before + 1, std::memory_order_relaxed);
        ++calls;
        inside.fetch_sub(1);
    }
};

}  // namespace

class BatonGuarantee : public tvmtest::MockClockTest {};

TEST_F(BatonGuarantee, NoTwoThreadsEverRunProgramCodeAtOnce) {
    CriticalSection cs;
    std::vector<Ref<Timer>> timers;
    for (int period : {1, 3}) {
        auto t = New<Timer>();
        t->Action = [&] { cs.Enter(); };
        t->SetPeriod(period);
        t->SetMode(Timer::ModeMultiple);
        timers.push_back(t);
    }
    const int base = Thread::LiveCount();
    std::atomic<int> finished{0};
    for (int w = 0; w < 4; ++w) {
        StartWorker([&, w] {
            for (int i = 0; i < 3000; ++i) {
                cs.Enter();
                if ((i + w) % 7 == 0) {
                    // A blocking call: others may run meanwhile, but not inside program code.
                    baton::Unlocked blocking;
                    Spin(500);
                }
                Thread::YieldToNext();
            }
            ++finished;
        });
    }
    for (int i = 0; Thread::LiveCount() > base; ++i) {
        clock.Advance(1);
        cs.Enter();
        if (i % 5 == 0) {
            baton::Unlocked blocking;
            Spin(500);
        }
        Thread::YieldToNext();
    }
    EXPECT_EQ(finished.load(), 4);
    EXPECT_EQ(cs.violations.load(), 0);
    EXPECT_EQ(cs.unprotected.load(), cs.calls.load());
    EXPECT_GT(cs.calls.load(), 4 * 3000);
}

TEST(Baton, YieldLetsAWaitingThreadRunBeforeTheYielderContinues) {
    std::vector<std::string> order;  // program data: only touched with the baton
    const int base = Thread::LiveCount();
    StartWorker([&] { order.push_back("worker"); });
    while (!baton::OthersWaiting()) std::this_thread::yield();
    order.push_back("main before yield");
    Thread::YieldToNext();
    order.push_back("main after yield");
    EXPECT_EQ(order, (std::vector<std::string>{"main before yield", "worker", "main after yield"}));
    WaitForThreads(base);
}

TEST(Baton, YieldingThreadsTakeTurnsInArrivalOrder) {
    std::string trace;
    const int base = Thread::LiveCount();
    for (char name : {'a', 'b'}) {
        StartWorker([&trace, name] {
            for (int i = 0; i < 20; ++i) {
                trace += name;
                Thread::YieldToNext();
            }
        });
    }
    WaitForThreads(base);
    ASSERT_EQ(trace.size(), 40u);
    // Until both run, the first one's yields find nobody waiting; from then on
    // each yield hands over to the other.
    const auto firstSwitch = trace.find_first_not_of(trace[0]);
    ASSERT_NE(firstSwitch, std::string::npos);
    const auto lastSwitch = trace.find_last_not_of(trace.back());
    for (size_t i = firstSwitch; i < lastSwitch; ++i) EXPECT_NE(trace[i], trace[i + 1]) << trace;
}

TEST(Baton, YieldWithNobodyWaitingReturnsAtOnce) {
    ASSERT_TRUE(baton::HeldByMe());
    for (int i = 0; i < 1000000; ++i) Thread::YieldToNext();
    EXPECT_TRUE(baton::HeldByMe());
}

namespace {
struct LifeProbe {
    std::atomic<bool> go{false};
    std::atomic<int> runs{0};
    std::atomic<bool> destroyed{false};
    bool destroyedWithBaton = false;
    bool wasRunningAtDestruction = true;
};

class SelfOwnedThread : public Thread {
public:
    explicit SelfOwnedThread(LifeProbe& p) : probe_(p) {}
    ~SelfOwnedThread() override {
        probe_.destroyedWithBaton = baton::HeldByMe();
        probe_.wasRunningAtDestruction = IsRunning();
        probe_.destroyed = true;
    }

protected:
    void Event_Run() override {
        ++probe_.runs;
        while (!probe_.go) {
            baton::Unlocked waiting;
            std::this_thread::yield();
        }
        // Uses its own members long after its creator let go of it.
        payload_.assign(1000, 'x');
    }

private:
    LifeProbe& probe_;
    std::string payload_;
};
}  // namespace

TEST(Thread, RunningThreadKeepsItselfAliveAndIsDestroyedWithTheBatonWhenDone) {
    LifeProbe probe;
    const int base = Thread::LiveCount();
    {
        auto t = New<SelfOwnedThread>(probe);
        t->Run();
        t->Run();  // still running: ignored
        EXPECT_TRUE(t->IsRunning());
        EXPECT_EQ(Thread::LiveCount(), base + 1);
    }
    ProcessEvents(20, [&] { return probe.destroyed.load(); });
    EXPECT_FALSE(probe.destroyed) << "dropped while it was running";
    probe.go = true;
    WaitForThreads(base);
    ProcessEvents(20000, [&] { return probe.destroyed.load(); });
    EXPECT_TRUE(probe.destroyed);
    EXPECT_TRUE(probe.destroyedWithBaton);
    EXPECT_FALSE(probe.wasRunningAtDestruction);
    EXPECT_EQ(probe.runs, 1);
}

TEST(Thread, CanRunAgainOnceItHasEnded) {
    int runs = 0;
    const int base = Thread::LiveCount();
    auto w = StartWorker([&] { ++runs; });
    WaitForThreads(base);
    EXPECT_FALSE(w->IsRunning());
    w->Run();
    WaitForThreads(base);
    EXPECT_EQ(runs, 2);
}

namespace {
class FailingThread : public Thread {
protected:
    void Event_Run() override { throw IOException(5, "disk gone"); }
};
}  // namespace

TEST(Thread, AnExceptionEndsOnlyItsOwnThreadAndIsReported) {
    tvmtest::ReportCapture capture;
    const int base = Thread::LiveCount();
    int otherSteps = 0;
    StartWorker([&] {
        for (int i = 0; i < 200; ++i) {
            ++otherSteps;
            Thread::YieldToNext();
        }
    });
    New<FailingThread>()->Run();
    WaitForThreads(base);
    EXPECT_EQ(otherSteps, 200);
    const auto reports = capture.Reports();
    ASSERT_EQ(reports.size(), 1u);
    EXPECT_EQ(reports[0].className, "IOException");
    EXPECT_EQ(reports[0].message, "disk gone");
    EXPECT_EQ(reports[0].where, "thread FailingThread");
}
