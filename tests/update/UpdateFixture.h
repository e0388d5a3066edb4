// The windows fixture with the HTTP stand-in answering for the maker's server,
// and a bounded wait for page loads, which run on a thread of their own.
#pragma once
#include <chrono>
#include <thread>

#include "framework/HTMLViewer.h"
#include "framework/Application.h"
#include "http/Standin.h"
#include "update/CVersionCheck.h"
#include "windows/WindowsFixture.h"

// True from the start of a version check until its offer has run.
struct CVersionCheckProbe {
    static bool Pending() { return CVersionCheck::Current() && !CVersionCheck::Current()->bOffered; }
};

class UpdateFixture : public WindowsFixture {
protected:
    void SetUp() override {
        WindowsFixture::SetUp();
        ASSERT_TRUE(server.Running()) << "the HTTP stand-in did not start";
    }

    std::vector<std::string> Targets() const {
        std::vector<std::string> targets;
        for (const tvmtest::Request& r : server.Requests()) targets.push_back(r.target);
        return targets;
    }

    // Handles events until the view has its page (at most 5 s).
    static bool WaitLoaded(const fw::HTMLViewer& view) {
        for (int i = 0; i < 500 && view.Loading(); ++i) {
            fw::testing::Pump();
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
        fw::testing::Pump();
        return !view.Loading();
    }
    // Handles events for about `ms` milliseconds.
    static void PumpFor(int ms) {
        for (int i = 0; i < ms / 10; ++i) {
            fw::testing::Pump();
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
    }
    // Waits (bounded) until the stand-in has seen `count` requests.
    void WaitForRequests(size_t count) const {
        for (int i = 0; i < 500 && server.Requests().size() < count; ++i)
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }

    // Runs events and the mock clock until the start's version check has
    // handed over its answer (at most 5 s).
    bool WaitForVersionCheck() {
        for (int i = 0; i < 500 && CVersionCheckProbe::Pending(); ++i) {
            fw::ProcessEvents(10);
            clock.Advance(1);
        }
        return !CVersionCheckProbe::Pending();
    }

    tvmtest::Standin server;
};
