#include "WindowsFixture.h"
#include "framework/Strings.h"
#include "windows/MakerTexts.h"
#include "windows/frmAbout.h"
#include "windows/frmAboutBK.h"

namespace {

class AboutWindow : public WindowsFixture {
protected:
    // A click on the window's free area (below the picture, right of the logo).
    static void ClickFreeArea(fw::Window& w) { fw::testing::Click(w, 450, 370); }
};

TEST_F(AboutWindow, TheSplashIgnoresClicksAndClosesItselfOnceAfterEightSeconds) {
    auto w = frmAbout();
    ClickFreeArea(*w);
    EXPECT_TRUE(w->IsOpen());
    clock.Advance(7'999);
    EXPECT_TRUE(w->IsOpen());
    clock.Advance(1);
    EXPECT_FALSE(w->IsOpen());
    EXPECT_TRUE(fw::FindWindow("frmAbout") == nullptr);
}

// The start goes on at once after showing the splash; it must be on the screen
// by then, not only once the event loop runs again.
TEST_F(AboutWindow, TheSplashIsPaintedWithoutWaitingForTheEventLoop) {
    auto w = frmAbout();
    fw::testing::TakePaintCount(*w->lblSlogan());
    w->UpdateNow();
    EXPECT_GT(fw::testing::TakePaintCount(*w->lblSlogan()), 0);
}

TEST_F(AboutWindow, TheAboutBoxOutlivesItsTimerAndClosesOnTheFirstClick) {
    auto w = frmAbout();
    w->bOnlyCloseOnClick = true;
    w->Show();
    clock.Advance(20'000);
    EXPECT_TRUE(w->IsOpen());
    ClickFreeArea(*w);
    EXPECT_FALSE(w->IsOpen());
}

TEST_F(AboutWindow, ChoosingAboutWhileTheSplashIsUpKeepsTheSameWindowUntilClicked) {
    auto splash = frmAbout();
    clock.Advance(4'000);
    frmAbout()->bOnlyCloseOnClick = true;
    frmAbout()->Show();
    EXPECT_TRUE(frmAbout() == splash);
    clock.Advance(8'000);
    EXPECT_TRUE(splash->IsOpen());
    ClickFreeArea(*splash);
    EXPECT_FALSE(splash->IsOpen());
    EXPECT_FALSE(frmAbout()->bOnlyCloseOnClick) << "a window opened after a close starts as a splash";
}

TEST_F(AboutWindow, TheLogoOpensTheHomePageAndLeavesTheSplashOpen) {
    CaptureShowURL();
    auto w = frmAbout();
    fw::testing::ClickControl(*w->canLogo());
    EXPECT_EQ(ShownURLs(1), std::vector<std::string>{tvm::kHomePage});
    EXPECT_TRUE(w->IsOpen());
    EXPECT_EQ(w->canLogo()->HelpTag(), "Besuchen Sie unsere Webseite");
    EXPECT_TRUE(w->canLogo()->MouseCursor() == nullptr) << "the standard pointer";
}

TEST_F(AboutWindow, ShowsTheVersionAndACopyrightRunningToTheYearItOpenedIn) {
    clock.SetWall(1'939'248'000);  // mid-June 2031
    auto w = frmAbout();
    EXPECT_EQ(w->lblVersion()->Text(), "1.0.2");
    EXPECT_EQ(w->lblCopyRight()->Text(), std::string(tvm::kCopyrightStart) + "2031");
    EXPECT_EQ(w->lblProductName()->Text(), "Tavelmorinth");
    EXPECT_EQ(w->lblSlogan()->Text(), tvm::kSloganDefault);
    w->Close();

    app().SetVersionData(2, 10, 0, 0, 3, "", "", "");
    clock.SetWall(2'002'406'400);  // mid-June 2033
    w = frmAbout();
    EXPECT_EQ(w->lblVersion()->Text(), "2.10.0");
    EXPECT_EQ(w->lblCopyRight()->Text(), std::string(tvm::kCopyrightStart) + "2033");
}

TEST_F(AboutWindow, IsAPlainBoxWithBothPictures) {
    auto w = frmAbout();
    EXPECT_TRUE(fw::testing::IsFrameless(*w));
    EXPECT_EQ(fw::testing::FrameWidth(*w), 511);
    EXPECT_EQ(fw::testing::FrameHeight(*w), 386);
    EXPECT_TRUE(w->canLogo()->Backdrop() != nullptr);
    EXPECT_TRUE(w->canLogoRAMDisk()->Backdrop() != nullptr);
}

class MakerWindow : public WindowsFixture {
protected:
    static std::string Expected() {
        const std::string cr2 = "\r\r";
        return std::string(tvm::kAbout1Default) + cr2 + tvm::kAbout2Default + cr2 + tvm::kAbout3Default + cr2 +
               tvm::kAbout4Default + cr2 + tvm::kAbout5Default + cr2 + tvm::kAbout6Default;
    }
    static std::string MailLink() {
        return std::string("mailto:") + tvm::kMailbox +
               "?subject=Inquiry for ...&Body=Dear Ladies and Gentlemen,";
    }
};

TEST_F(MakerWindow, ShowsTheSixParagraphsOnceActive) {
    auto w = frmAboutBK();
    EXPECT_EQ(w->sText, Expected());
    ASSERT_TRUE(fw::testing::Activate(*w));
    EXPECT_EQ(w->txtAbout()->Text(), Expected());
    EXPECT_EQ(w->Title(), "About Brantolek");
    EXPECT_EQ(w->cmdHomepage()->Caption(), "More Infos");
    EXPECT_EQ(fw::testing::ShownText(*w->txtAbout()), fw::ReplaceAll(Expected(), "\r", "\n"));
}

TEST_F(MakerWindow, ReturnStartsAMailAndLeavesTheWindowOpen) {
    CaptureShowURL();
    auto w = frmAboutBK();
    ASSERT_TRUE(fw::testing::Activate(*w));
    fw::testing::PressKeys(*w, "Return");
    EXPECT_EQ(ShownURLs(1), std::vector<std::string>{MailLink()});
    EXPECT_TRUE(w->IsOpen());
}

TEST_F(MakerWindow, MoreInfosOpensTheHomePageAndCloses_OkAndEscapeOnlyClose) {
    CaptureShowURL();
    frmAboutBK()->cmdOk()->Push();
    EXPECT_TRUE(fw::FindWindow("frmAboutBK") == nullptr);

    auto w = frmAboutBK();
    ASSERT_TRUE(fw::testing::Activate(*w));
    fw::testing::PressKeys(*w, "Escape");
    EXPECT_FALSE(w->IsOpen());

    frmAboutBK()->cmdHomepage()->Push();
    EXPECT_TRUE(fw::FindWindow("frmAboutBK") == nullptr);
    EXPECT_EQ(ShownURLs(1), std::vector<std::string>{tvm::kHomePage}) << "only More Infos opened an address";
}

TEST_F(MakerWindow, ShowModalReturnsOnceTheWindowIsClosed) {
    fw::testing::WhenModalShown([] {
        EXPECT_TRUE(fw::testing::IsShownModal(*frmAboutBK()));
        frmAboutBK()->cmdOk()->Push();
    });
    frmAboutBK()->ShowModal();
    EXPECT_TRUE(fw::FindWindow("frmAboutBK") == nullptr);
}

TEST_F(MakerWindow, CanShrinkButNotGrowBeyondItsLayout) {
    auto w = frmAboutBK();
    const auto& l = w->AppliedLayout();
    EXPECT_TRUE(l.Resizeable);
    EXPECT_EQ(fw::testing::FrameWidth(*w), 300);
    EXPECT_EQ(fw::testing::FrameHeight(*w), 286);
    fw::testing::ResizeFrame(*w, 1000, 1000);
    EXPECT_EQ(fw::testing::FrameWidth(*w), 300);
    EXPECT_EQ(fw::testing::FrameHeight(*w), 286);
    fw::testing::ResizeFrame(*w, 10, 10);
    EXPECT_EQ(fw::testing::FrameWidth(*w), 64);
    EXPECT_EQ(fw::testing::FrameHeight(*w), 64);
    EXPECT_EQ(w->cmdOk()->Left(), 197) << "the controls keep their places and are cut off";
}

}  // namespace
