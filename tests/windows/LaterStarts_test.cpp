// What the running program does with the requests of later starts: windows
// wait for the start-up to be over, the options window stays shut while a quit
// is under way, and a window brought forward is seen, minimized or not.
#include <gtest/gtest.h>

#include "WindowsFixture.h"
#include "app/LaterStarts.h"
#include "engine/CAfterChangeOptions.h"
#include "windows/frmOptions.h"
#include "windows/frmState.h"

namespace {

class LaterStarts : public WindowsFixture {
protected:
    void TearDown() override {
        StopServingLaterStarts();
        app().oAfterChangeOptions = nullptr;
        WindowsFixture::TearDown();
    }
    // The workers exist once the start-up thread is through.
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

TEST_F(LaterStarts, ThePreferencesStayShutWhileAQuitIsUnderWay) {
    StartUpDone();
    app().sState = App::kWillClosed();
    AnswerLaterStart("preferences");
    AnswerLaterStart("show-activity");
    Run();
    EXPECT_FALSE(Open("frmOptions"));
    EXPECT_TRUE(Open("frmState"));
}

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
