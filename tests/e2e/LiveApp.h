// The whole application in this process, as the program runs it: its start-up
// road, real timers on the real clock, the event loop driven through
// ProcessEvents, the disk tools on the test's own tmpfs and the maker's server
// replaced by a local stand-in. HOME is a temp folder of the test's own.
#pragma once
#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <string>

#include "Sandbox.h"
#include "app/App.h"
#include "app/ProgramApp.h"

namespace tvmtest {

class LiveApp : public ProgramApp {
public:
    void Event_Close() override {
        closed = true;
        ProgramApp::Event_Close();
    }
    bool closed = false;
};

class LiveAppTest : public ::testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;

    // The settings a user left, then the start as the event loop begins it;
    // returns once the first load has ended.
    void Start(const std::string& size, const std::string& interval, const std::string& sourceFolder);
    // A quit request as the menu or a signal makes it.
    void Quit() { a().Quit(0); }
    // Runs the event loop until `done` holds, at most `seconds`.
    static bool RunUntil(const std::function<bool()>& done, double seconds);

    LiveApp& a() { return *app_; }
    std::string home_, documents_, settings_;

private:
    std::string savedHome_, savedPath_;
    std::unique_ptr<Sandbox> box_;
    std::unique_ptr<LiveApp> app_;
};

}  // namespace tvmtest
