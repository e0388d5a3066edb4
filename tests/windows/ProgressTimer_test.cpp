#include "WindowsFixture.h"
#include "engine/CTimerProgress.h"
#include "framework/Date.h"
#include "windows/frmOptions.h"
#include "windows/frmState.h"

namespace {

class ProgressTimer : public WindowsFixture {
protected:
    void SetUp() override {
        WindowsFixture::SetUp();
        MakeTimers(true);
        frmState()->Show();
    }

    static std::string Folder() { return frmState()->lblFolder()->Text(); }
    static std::string Status() { return frmState()->lblStateRAMDisk()->Text(); }
    static int64_t Progress() { return frmState()->prgState()->Value(); }
    static std::string NextSyncAt(double seconds) {
        const fw::Date d = fw::Date::FromSeconds(seconds);
        return App::kNextSync() + " " + d.ShortDate() + " " + d.LongTime();
    }
    static double Now() { return fw::Date().TotalSeconds(); }
};

TEST_F(ProgressTimer, WhileTheActivityWindowIsClosedNothingIsWrittenAndNothingOpens) {
    frmState()->Close();
    ASSERT_FALSE(app().bActivityVisible);
    app().bTransactionCopy = true;
    app().sFolder = "/somewhere";
    clock.Advance(5);
    EXPECT_TRUE(fw::FindWindow("frmState") == nullptr);
}

TEST_F(ProgressTimer, DuringASynchronisationTheWindowFollowsTheWorker) {
    App& a = app();
    a.bTransactionCopy = true;
    a.sFolder = "/data/photos";
    a.iProgress = 42;
    a.sState = App::kDataWillSaved();
    clock.Advance(1);
    EXPECT_EQ(Folder(), "Folder: /data/photos");
    EXPECT_EQ(Progress(), 42);
    EXPECT_EQ(Status(), App::kDataWillSaved());
    EXPECT_EQ(fw::testing::ShownText(*frmState()->lblFolder()), "Folder: /data/photos");

    a.sFolder = "";
    a.iProgress = 43;
    clock.Advance(1);
    EXPECT_EQ(Folder(), "Folder: ") << "an empty folder still ends the line after the colon";
    EXPECT_EQ(Progress(), 43);
}

TEST_F(ProgressTimer, WhilePausedOnlyTheFolderLineIsWritten) {
    App& a = app();
    a.iProgress = 7;
    a.sState = "before the pause";
    clock.Advance(1);
    a.bSleep = true;
    a.iProgress = 99;
    a.sState = "during the pause";
    clock.Advance(1);
    EXPECT_EQ(Folder(), "break");
    EXPECT_EQ(Progress(), 7);
    EXPECT_EQ(Status(), "before the pause");
}

TEST_F(ProgressTimer, TheNextSyncMomentMovesOnByOneIntervalOnceReached) {
    app().sInterval = "10";
    clock.Advance(1);
    const double first = Now();
    const std::string shown = NextSyncAt(first + 10);
    EXPECT_EQ(Folder(), shown);
    clock.Advance(9'999);
    EXPECT_EQ(Folder(), shown) << "not reached yet";
    clock.Advance(1);
    EXPECT_DOUBLE_EQ(progress->oDate.TotalSeconds(), Now() + 10) << "reached: the firing that notices it plus 10 s";
    EXPECT_EQ(Folder(), NextSyncAt(Now() + 10));
}

TEST_F(ProgressTimer, ASynchronisationStartsTheReckoningAnew) {
    App& a = app();
    a.sInterval = "2m";
    clock.Advance(1);
    a.bTransactionCopy = true;
    clock.Advance(5'000);
    a.bTransactionCopy = false;
    clock.Advance(1);
    EXPECT_EQ(Folder(), NextSyncAt(Now() + 120));
}

TEST_F(ProgressTimer, EveryIntervalTokenCountsAsTheSettingsDo) {
    App& a = app();
    for (const char* token : {"10", "20", "30", "40", "50", "60", "2m", "5m", "10m", "20m", "30m", "40m", "50m",
                              "60m", "2S", "3S", "4S"}) {
        a.sInterval = token;
        progress->bTimeSet = false;
        clock.Advance(1);
        EXPECT_DOUBLE_EQ(progress->oDate.TotalSeconds(), Now() + static_cast<double>(a.GetSecondsInterval()))
            << "token " << token;
    }
}

TEST_F(ProgressTimer, AWindowReopenedWhileIdleKeepsItsFolderLineEmptyUntilTheMomentComes) {
    App& a = app();
    a.sInterval = "10";
    a.sState = "idle";
    clock.Advance(1);
    const double moment = progress->oDate.TotalSeconds();
    frmState()->Close();
    clock.Advance(3'000);
    frmState()->Show();
    clock.Advance(1);
    EXPECT_EQ(Folder(), "");
    EXPECT_EQ(Status(), "idle");
    while (Now() < moment) clock.Advance(1);
    EXPECT_EQ(Folder(), NextSyncAt(Now() + 10));
}

TEST_F(ProgressTimer, UnchangedValuesAreNotRepaintedEveryMillisecond) {
    App& a = app();
    a.sState = "idle";
    a.iProgress = 0;
    clock.Advance(2);
    fw::testing::Pump();
    auto w = frmState();
    fw::testing::TakePaintCount(*w->lblFolder());
    fw::testing::TakePaintCount(*w->lblStateRAMDisk());
    fw::testing::TakePaintCount(*w->prgState());
    clock.Advance(300);
    fw::testing::Pump();
    EXPECT_EQ(fw::testing::TakePaintCount(*w->lblFolder()), 0);
    EXPECT_EQ(fw::testing::TakePaintCount(*w->lblStateRAMDisk()), 0);
    EXPECT_EQ(fw::testing::TakePaintCount(*w->prgState()), 0);

    a.sState = "changed";
    clock.Advance(1);
    fw::testing::Pump();
    EXPECT_GT(fw::testing::TakePaintCount(*w->lblStateRAMDisk()), 0) << "a real change reaches the screen";
}

TEST_F(ProgressTimer, ATooLargeSourceIsHandledAlsoBeforeTheWorkerIsStored) {
    App& a = app();
    ASSERT_TRUE(a.oTavelmorinth == nullptr);
    a.bShowOptions = true;
    clock.Advance(3);
    EXPECT_FALSE(copy->Enabled());
    EXPECT_FALSE(a.bShowOptions);
    EXPECT_TRUE(a.bSleep);
    EXPECT_TRUE(fw::FindWindow("frmOptions") != nullptr);
}

TEST_F(ProgressTimer, WithTheWriteBackTimerOffTheNextSyncMomentIsStillShownAndMovesOn) {
    App& a = app();
    a.sInterval = "10";
    copy->SetEnabled(false);
    clock.Advance(1);
    EXPECT_EQ(Folder(), NextSyncAt(Now() + 10));
    const double moment = progress->oDate.TotalSeconds();
    while (Now() < moment) clock.Advance(1);
    EXPECT_EQ(Folder(), NextSyncAt(Now() + 10)) << "the moment moves on by one interval when reached";
    copy->SetEnabled(true);
    clock.Advance(1);
    EXPECT_EQ(Folder(), NextSyncAt(moment + 10));
}

}  // namespace
