// Where the windows meet the sync engine's objects: the load that did not fit,
// and the rebuild timer the options window arms.
#include "WindowsFixture.h"
#include "engine/CAfterChangeOptions.h"
#include "engine/CTavelmorinth.h"
#include "engine/CTimerProgress.h"
#include "windows/frmOptions.h"
#include "windows/frmState.h"

namespace {

class WorkerLinks : public WindowsFixture {
protected:
    void SetUp() override {
        WindowsFixture::SetUp();
        MakeTimers(true);
    }
    void TearDown() override {
        if (app().oAfterChangeOptions) app().oAfterChangeOptions->SetEnabled(false);
        WindowsFixture::TearDown();
    }
};

TEST_F(WorkerLinks, ALoadThatDidNotFitStopsTheWriteBackAndAsksForOptions) {
    App& a = app();
    a.oTavelmorinth = fw::New<CTavelmorinth>();
    frmState()->Close();  // the window is closed when the signal comes
    a.iProgress = 55;
    a.bShowOptions = true;
    clock.Advance(1);

    EXPECT_FALSE(copy->Enabled());
    EXPECT_FALSE(a.bShowOptions);
    EXPECT_TRUE(a.bSleep);
    EXPECT_EQ(a.iProgress, 0);
    ASSERT_TRUE(fw::FindWindow("frmState") != nullptr) << "the activity window opened again";
    EXPECT_EQ(frmState()->lblStateRAMDisk()->Text(), App::kSizeToLarge());
    EXPECT_TRUE(fw::FindWindow("frmOptions") != nullptr);

    clock.Advance(1);
    EXPECT_EQ(frmState()->lblFolder()->Text(), "break");
    frmOptions()->Close();
    EXPECT_FALSE(a.bSleep) << "closing the options window ends the pause";
}

TEST_F(WorkerLinks, ClosingTheOptionsWindowArmsTheRebuild) {
    auto rebuild = fw::New<CAfterChangeOptions>();
    app().oAfterChangeOptions = rebuild;
    ASSERT_FALSE(rebuild->Mode() == fw::Timer::ModeMultiple);
    frmOptions()->Close();
    EXPECT_EQ(rebuild->Mode(), fw::Timer::ModeMultiple);
    EXPECT_EQ(rebuild->Period(), 500);
    EXPECT_TRUE(rebuild->Enabled());
}

TEST_F(WorkerLinks, ClosedBeforeTheStartUpMadeTheRebuildTimerTheSettingsWaitAndTheRebuildFollows) {
    WriteSettings("512", "5m", "0040", "0010");
    frmOptions()->Close();
    EXPECT_EQ(app().sNewSize, "512");
    EXPECT_EQ(app().sNewInterval, "5m");
    clock.Advance(2'000);  // the start-up thread is still busy

    auto rebuild = fw::New<CAfterChangeOptions>();
    app().oAfterChangeOptions = rebuild;
    EXPECT_FALSE(rebuild->Mode() == fw::Timer::ModeMultiple);
    clock.Advance(500);
    EXPECT_EQ(rebuild->Mode(), fw::Timer::ModeMultiple);
    EXPECT_EQ(rebuild->Period(), 500);
    EXPECT_TRUE(rebuild->Enabled());
    EXPECT_EQ(app().sNewSize, "512") << "the pending settings were kept";
}

}  // namespace
