#include "update/frmUpdateWindow.h"

#include <gtest/gtest.h>

#include <functional>

#include "UpdateFixture.h"
#include "engine/CAfterChangeOptions.h"
#include "engine/CCleanRAMDisk.h"
#include "engine/CShutdown.h"
#include "update/UpdateTexts.h"

using namespace tvmtest;

namespace {

const std::string kInfo = "/index.php?Seite_Nr=update&Seite_VorlageTpl=tavelmorinth&VID=1.0.2";
const std::string kCounter = "/Download/download.php?id=31";
const std::string kImage = "http://www.brantolek.example/Download/Tavelmorinth/MacOSX/Intel/Tavelmorinth.dmg";

class UpdateWindow : public UpdateFixture {};

TEST_F(UpdateWindow, OpensCentredAtItsFixedSizeWithItsTexts) {
    server.SetRoutes({Answer("/index.php", "<p>What is new</p>")});
    auto w = frmUpdateWindow();
    EXPECT_TRUE(w->Visible());
    EXPECT_EQ(w->Title(), "Update Tavelmorinth");
    EXPECT_EQ(w->Width(), 868);
    EXPECT_EQ(w->Height(), 550);
    fw::testing::ResizeFrame(*w, 1000, 700);
    EXPECT_EQ(w->Width(), 868) << "not resizable";
    EXPECT_EQ(w->Height(), 550);
    EXPECT_EQ(fw::testing::ShownText(*w->lblUpdateInfo()), tvm::klblUpdateInfoDefault);
    EXPECT_EQ(fw::testing::ShownText(*w->cmdUpdate()), "Download");
    EXPECT_EQ(fw::testing::ShownHelpTag(*w->cmdUpdate()), "Download actual version!");
    EXPECT_EQ(fw::testing::ShownHelpTag(*w->htmlUpdateInfo()),
              "Hier finden Sie die Informationen zu dem aktuellen Update!");
    EXPECT_TRUE(fw::testing::ShownEnabled(*w->cmdUpdate()));
    ASSERT_TRUE(WaitLoaded(*w->htmlUpdateInfo()));
    EXPECT_EQ(Targets(), std::vector<std::string>{kInfo}) << "the three keys, in their order";
    EXPECT_EQ(fw::testing::ShownText(*w->htmlUpdateInfo()), "What is new");
}

TEST_F(UpdateWindow, TheGermanTextsComeFromTheTables) {
    EXPECT_EQ(frmUpdateWindow::kcmdUpdate("de"), "Herunterladen");
    EXPECT_EQ(frmUpdateWindow::kcmdUpdateHelpTag("de"), "Aktuelle Version herunterladen!");
    EXPECT_NE(frmUpdateWindow::klblUpdateInfo("de"), tvm::klblUpdateInfoDefault);
    EXPECT_EQ(fw::HTMLViewer::kPageNotLoaded("de"), "Die Seite konnte nicht geladen werden.");
}

TEST_F(UpdateWindow, EachPressCountsTheDownloadAndHandsTheImageToTheBrowser) {
    CaptureShowURL();
    server.SetRoutes({Answer("/index.php", "<p>page</p>"), Answer(kCounter, "counted")});
    auto w = frmUpdateWindow();
    ASSERT_TRUE(WaitLoaded(*w->htmlUpdateInfo()));
    fw::testing::ClickControl(*w->cmdUpdate());
    fw::testing::ClickControl(*w->cmdUpdate());
    EXPECT_EQ(Targets(), (std::vector<std::string>{kInfo, kCounter, kCounter}));
    EXPECT_EQ(ShownURLs(2), (std::vector<std::string>{kImage, kImage}));
    EXPECT_TRUE(w->IsOpen());
    EXPECT_TRUE(fw::testing::ShownEnabled(*w->cmdUpdate()));
}

TEST_F(UpdateWindow, ACounterThatNeverAnswersDelaysAPressByASecondAndTheImageStillOpens) {
    CaptureShowURL();
    server.SetRoutes({Answer("/index.php", "<p>page</p>"), Silent(kCounter)});
    auto w = frmUpdateWindow();
    ASSERT_TRUE(WaitLoaded(*w->htmlUpdateInfo()));
    const double seconds = Timed([&] { fw::testing::ClickControl(*w->cmdUpdate()); });
    EXPECT_GE(seconds, 0.9);
    EXPECT_LE(seconds, 2.0);
    EXPECT_EQ(ShownURLs(1), std::vector<std::string>{kImage});
}

TEST_F(UpdateWindow, AStalledPageLeavesTheWindowWorkingAndClosable) {
    CaptureShowURL();
    server.SetRoutes({Stall("/index.php", "<p>half a page"), Answer(kCounter, "counted")});
    fw::Ref<class frmUpdateWindow> w;
    EXPECT_LT(Timed([&] { w = frmUpdateWindow(); }), 0.5) << "opening does not wait for the page";
    WaitForRequests(1);
    PumpFor(200);
    ASSERT_TRUE(w->htmlUpdateInfo()->Loading());
    fw::testing::ClickControl(*w->cmdUpdate());
    EXPECT_EQ(ShownURLs(1), std::vector<std::string>{kImage}) << "the button works while the page loads";
    EXPECT_LT(Timed([&] {
                  fw::testing::CloseByUser(*w);
                  w = nullptr;
                  fw::testing::Pump();
              }),
              0.5);
    EXPECT_FALSE(fw::FindWindow("frmUpdateWindow"));
}

TEST_F(UpdateWindow, AnUnreachablePageShowsTheNoticeAndTheButtonStillWorks) {
    CaptureShowURL();
    setenv("http_proxy", "http://127.0.0.1:1", 1);  // no network: nothing listens there
    auto w = frmUpdateWindow();
    ASSERT_TRUE(WaitLoaded(*w->htmlUpdateInfo()));
    EXPECT_EQ(fw::testing::ShownText(*w->htmlUpdateInfo()), fw::HTMLViewer::kPageNotLoaded());
    fw::testing::ClickControl(*w->cmdUpdate());
    EXPECT_EQ(ShownURLs(1), std::vector<std::string>{kImage});
}

TEST_F(UpdateWindow, TheEditItemsActOnThePageWhileTheWindowIsActive) {
    server.SetRoutes({Answer("/index.php", "<p>Version 1.0.3</p>")});
    auto w = frmUpdateWindow();
    ASSERT_TRUE(WaitLoaded(*w->htmlUpdateInfo()));
    ASSERT_TRUE(fw::testing::Activate(*w));
    fw::testing::SetClipboardText("before");
    MainMenuBar()->Lookup("EditSelectAll")->Trigger();
    MainMenuBar()->Lookup("EditCopy")->Trigger();
    EXPECT_EQ(fw::testing::ClipboardText(), "Version 1.0.3");
    fw::testing::SetClipboardText("pasted");
    MainMenuBar()->Lookup("EditCut")->Trigger();
    EXPECT_EQ(fw::testing::ClipboardText(), "Version 1.0.3");
    MainMenuBar()->Lookup("EditPaste")->Trigger();
    MainMenuBar()->Lookup("EditClear")->Trigger();
    EXPECT_EQ(fw::testing::ShownText(*w->htmlUpdateInfo()), "Version 1.0.3");
}

// The start's version check, against the server's version file.
struct OfferCase {
    const char* name;
    Route version;
    bool opens;
};

class StartupOffer : public UpdateFixture, public testing::WithParamInterface<OfferCase> {};

TEST_P(StartupOffer, OpensTheUpdateWindowForAnyOtherVersionText) {
    std::filesystem::create_directories(settingsDir());
    server.SetRoutes({Answer("/Download/download.php?id=30"), GetParam().version, Answer("/index.php", "<p>new</p>")});
    app().CheckForUpdate();
    ASSERT_TRUE(WaitForVersionCheck());
    auto w = fw::FindWindow("frmUpdateWindow");
    EXPECT_EQ(bool(w), GetParam().opens);
    if (!w) return;
    EXPECT_TRUE(w->Visible()) << "shown modeless; the start goes on";
    EXPECT_FALSE(fw::testing::IsShownModal(*w));
    WaitForRequests(3);
    EXPECT_EQ(Targets().back(), kInfo);
}

// An offer that comes in while the program ends or rebuilds its RAM disk opens nothing.
struct BusyCase {
    const char* name;
    std::function<void(App&)> busy;
};

class OfferWhileBusy : public UpdateFixture, public testing::WithParamInterface<BusyCase> {};

TEST_P(OfferWhileBusy, IsDroppedWithoutAWindow) {
    std::filesystem::create_directories(settingsDir());
    server.SetRoutes({Answer("/Download/download.php?id=30"), Answer("/Download/Tavelmorinth/Version.dat", "9.9.9")});
    App& a = app();
    a.oShutdown = fw::New<CShutdown>();
    a.oCleanRamDisk = fw::New<CCleanRAMDisk>();
    a.oAfterChangeOptions = fw::New<CAfterChangeOptions>();
    GetParam().busy(a);
    a.CheckForUpdate();
    ASSERT_TRUE(WaitForVersionCheck());
    EXPECT_TRUE(fw::FindWindow("frmUpdateWindow") == nullptr);
}

void Arm(fw::Timer& t) {
    t.SetMode(fw::Timer::ModeMultiple);
    t.SetPeriod(3'600'000);
    t.SetEnabled(true);
}

INSTANTIATE_TEST_SUITE_P(
    Roads, OfferWhileBusy,
    testing::Values(BusyCase{"a_quit_waiting_for_a_pass", [](App& a) { Arm(*a.oShutdown); }},
                    BusyCase{"an_eject_under_way", [](App& a) { Arm(*a.oCleanRamDisk); }},
                    BusyCase{"a_rebuild_waiting_to_start", [](App& a) { Arm(*a.oAfterChangeOptions); }},
                    BusyCase{"a_rebuild_waiting_for_the_volume",
                             [](App& a) { a.oAfterChangeOptions->bCleanStarted = true; }},
                    BusyCase{"a_quit_let_through", [](App& a) { a.bQuit = true; }}),
    [](const testing::TestParamInfo<BusyCase>& info) { return std::string(info.param.name); });

INSTANTIATE_TEST_SUITE_P(
    Cases, StartupOffer,
    testing::Values(OfferCase{"the_running_version", Answer("/Download/Tavelmorinth/Version.dat", "1.0.2"), false},
                    OfferCase{"an_older_version", Answer("/Download/Tavelmorinth/Version.dat", "1.0.1"), true},
                    OfferCase{"a_newer_version", Answer("/Download/Tavelmorinth/Version.dat", "9.9.9"), true},
                    OfferCase{"the_last_line_counts", Answer("/Download/Tavelmorinth/Version.dat", "1.0.3\n1.0.2"), false},
                    OfferCase{"an_empty_file", Answer("/Download/Tavelmorinth/Version.dat", ""), false},
                    OfferCase{"no_file_on_the_server", Answer("/Download/Tavelmorinth/Version.dat", "gone", 404), false}),
    [](const testing::TestParamInfo<OfferCase>& info) { return std::string(info.param.name); });

}  // namespace
