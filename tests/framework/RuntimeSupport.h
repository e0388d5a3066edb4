// Helpers for the runtime tests: captured exception reports, a worker thread
// from a lambda, an installed mock clock, and a watchdog for event-loop tests.
#pragma once
#include <gtest/gtest.h>

#include <cctype>
#include <chrono>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "framework/Application.h"
#include "framework/Clock.h"
#include "framework/Exceptions.h"
#include "framework/Thread.h"

namespace tvmtest {

// A test name from a row's sentence: "a new timer is idle" -> a_new_timer_is_idle.
inline std::string SentenceName(const char* text) {
    std::string name;
    for (const char* p = text; *p; ++p) name += std::isalnum(static_cast<unsigned char>(*p)) ? *p : '_';
    return name;
}

struct Report {
    std::string className, message, where;
};

class ReportCapture {
public:
    ReportCapture() {
        fw::SetUncaughtHook([this](const std::string& c, const std::string& m, const std::string& w) {
            std::lock_guard lock(mutex_);
            reports_.push_back({c, m, w});
        });
    }
    ~ReportCapture() { fw::SetUncaughtHook(nullptr); }
    std::vector<Report> Reports() {
        std::lock_guard lock(mutex_);
        return reports_;
    }

private:
    std::mutex mutex_;
    std::vector<Report> reports_;
};

class Worker : public fw::Thread {
public:
    std::function<void()> body;

protected:
    void Event_Run() override { body(); }
};

inline fw::Ref<Worker> StartWorker(std::function<void()> body) {
    auto w = fw::New<Worker>();
    w->body = std::move(body);
    w->Run();
    return w;
}

// Lets other threads run until every framework thread started so far has ended.
inline void WaitForThreads(int baseline = 0) {
    fw::ProcessEvents(20000, [&] { return fw::Thread::LiveCount() <= baseline; });
    ASSERT_EQ(fw::Thread::LiveCount(), baseline) << "framework threads still running";
}

class MockClockTest : public testing::Test {
protected:
    void SetUp() override { fw::SetClock(&clock); }
    void TearDown() override { fw::SetClock(nullptr); }
    fw::MockClock clock;
};

// Asks the application to quit with -1 if an event-loop test has not ended in
// time, so a broken loop fails the test instead of hanging it.
class Watchdog {
public:
    explicit Watchdog(fw::Application& app, std::chrono::seconds limit = std::chrono::seconds(20))
        : thread_([this, &app, limit] {
              std::unique_lock lock(mutex_);
              if (!cv_.wait_for(lock, limit, [this] { return done_; })) app.Quit(-1);
          }) {}
    ~Watchdog() {
        {
            std::lock_guard lock(mutex_);
            done_ = true;
        }
        cv_.notify_all();
        thread_.join();
    }

private:
    std::mutex mutex_;
    std::condition_variable cv_;
    bool done_ = false;
    std::thread thread_;
};

}  // namespace tvmtest
