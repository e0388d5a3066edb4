// What the running program does with the requests of later starts: windows
// wait for the start-up to be over, the options window stays shut while a quit
// is under way, and a window brought forward is seen, minimized or not.
#include <gtest/gtest.h>

#include "WindowsFixture.h"
#include "app/LaterStarts.h"
#include <cctype>
#include <functional>

#include "engine/CAfterChangeOptions.h"
#include "engine/CCleanRAMDisk.h"
#include "engine/CShutdown.h"
#include "windows/frmOptions.h"
#include "windows/frmState.h"

namespace {

class LaterStarts : public WindowsFixture {
protected:
    void TearDown() override {
        StopServingLaterStarts();
        App& a = app();
        if (a.oShutdown) a.oShutdown->SetEnabled(false);
        if (a.oCleanRamDisk) a.oCleanRamDisk->SetEnabled(false);
        a.oShutdown = nullptr;
        a.oCleanRamDisk = nullptr;
        a.oAfterChangeOptions = nullptr;
        a.bQuitUnderWay = false;
        WindowsFixture::TearDown();
    }
    // The workers exist once the start-up thread is through (the one that matters here).
    void StartUpDone() { app().oAfterChangeOptions = fw::New<CAfterChangeOptions>(); }
    void Run() {
        clock.Advance(100);
        fw::testing::Pump();
    }
    static bool Open(const std::string& window) { return fw::FindWindow(window) != nullptr; }
};

TEST_F(LaterStarts, WindowsWaitUntilTheStartUpIsOver) {
    EXPECT_EQ(AnswerLaterStart("show-activity"), "ok");
    EXPECT_EQ(AnswerLaterStart("preferences"), "ok");
    Run();
    EXPECT_FALSE(Open("frmState"));
    EXPECT_FALSE(Open("frmOptions")) << "the options window opened before the settings were read";

    StartUpDone();
    Run();
    EXPECT_TRUE(Open("frmState"));
    EXPECT_TRUE(Open("frmOptions"));
    EXPECT_EQ(AnswerLaterStart("windows"), "frmState frmOptions");
}

struct UnderWayCase {
    const char* name;
    std::function<void(App&)> state;
};

void PrintTo(const UnderWayCase& c, std::ostream* os) { *os << c.name; }

const UnderWayCase kUnderWayCases[] = {
    {"a quit was asked for", [](App& a) { a.bQuitUnderWay = true; }},
    {"a quit waits for a pass to end",
     [](App& a) {
         a.oShutdown->SetMode(fw::Timer::ModeMultiple);
         a.oShutdown->SetPeriod(500);
         a.oShutdown->SetEnabled(true);
     }},
    {"the RAM disk is being ejected",
     [](App& a) {
         a.oCleanRamDisk->SetMode(fw::Timer::ModeMultiple);
         a.oCleanRamDisk->SetPeriod(1000);
         a.oCleanRamDisk->SetEnabled(true);
     }},
    {"the quit goes through", [](App& a) { a.bQuit = true; }},
};

class PreferencesUnderWay : public LaterStarts, public ::testing::WithParamInterface<UnderWayCase> {};

// Closing the options window would start a rebuild in the middle of it.
TEST_P(PreferencesUnderWay, TheOptionsWindowStaysShutButTheActivityWindowComes) {
    StartUpDone();
    App& a = app();
    a.oShutdown = fw::New<CShutdown>();
    a.oCleanRamDisk = fw::New<CCleanRAMDisk>();
    GetParam().state(a);
    AnswerLaterStart("preferences");
    AnswerLaterStart("show-activity");
    Run();
    EXPECT_FALSE(Open("frmOptions"));
    EXPECT_TRUE(Open("frmState"));
}

INSTANTIATE_TEST_SUITE_P(Cases, PreferencesUnderWay, ::testing::ValuesIn(kUnderWayCases),
                         [](const auto& info) {
                             std::string name;
                             for (const char* p = info.param.name; *p; ++p)
                                 name += std::isalnum(static_cast<unsigned char>(*p)) ? *p : '_';
                             return name;
                         });

TEST_F(LaterStarts, AMinimizedActivityWindowComesBack) {
    StartUpDone();
    frmState()->Show();
    fw::testing::Minimize(*frmState());
    ASSERT_TRUE(fw::testing::IsMinimized(*frmState()));
    AnswerLaterStart("show-activity");
    Run();
    EXPECT_FALSE(fw::testing::IsMinimized(*frmState()));
    EXPECT_TRUE(frmState()->Visible());
}

TEST_F(LaterStarts, AnUnknownRequestChangesNothing) {
    StartUpDone();
    EXPECT_EQ(AnswerLaterStart("format-disk"), "unknown request");
    EXPECT_EQ(AnswerLaterStart(""), "unknown request");
    Run();
    EXPECT_EQ(AnswerLaterStart("windows"), "");
}

}  // namespace
