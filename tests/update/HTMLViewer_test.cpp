#include "framework/HTMLViewer.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/inotify.h>
#include <unistd.h>

#include "UpdateFixture.h"

using namespace tvmtest;

namespace {

const std::string kPage = "http://www.brantolek.example/dir/page.html";

class PageWindow : public fw::Window {
public:
    fw::Ref<fw::HTMLViewer> view() const { return ControlAs<fw::HTMLViewer>("view"); }

protected:
    void Layout() override {
        fw::WindowLayout l;
        l.Width = 500, l.Height = 300, l.Title = "page";
        ApplyLayout(l);
    }
    void CreateControls() override {
        fw::ControlLayout c;
        c.Width = 500, c.Height = 300;
        Add<fw::HTMLViewer>("view", c);
    }
};

fw::Ref<PageWindow> OpenPageWindow() { return fw::ImplicitWindow<PageWindow>("PageWindow"); }

class Viewer : public UpdateFixture {
protected:
    // Serves `html` as the page, loads it and waits for it.
    fw::Ref<PageWindow> Loaded(const std::string& html) {
        server.SetRoutes({Answer("/dir/page.html", html)});
        auto w = OpenPageWindow();
        w->view()->LoadURL(kPage);
        EXPECT_TRUE(WaitLoaded(*w->view()));
        return w;
    }
};

struct ShownCase {
    const char* name;
    std::string body;
    std::string shown;
};

class ViewerShows : public Viewer, public testing::WithParamInterface<ShownCase> {};

TEST_P(ViewerShows, TheTextOfThePage) {
    auto w = Loaded(GetParam().body);
    EXPECT_EQ(fw::testing::ShownText(*w->view()), GetParam().shown);
    EXPECT_EQ(w->view()->URL(), kPage);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, ViewerShows,
    testing::Values(
        ShownCase{"utf8_without_a_declared_charset", "<html><body><p>Gr\xC3\xB6\xC3\x9F" "e</p></body></html>",
                  "Gr\xC3\xB6\xC3\x9F" "e"},
        ShownCase{"latin1_declared_in_a_meta_tag",
                  "<html><head><meta charset=\"iso-8859-1\"></head><body><p>Gr\xF6\xDF" "e</p></body></html>",
                  "Gr\xC3\xB6\xC3\x9F" "e"},
        ShownCase{"markup_is_rendered_not_shown", "<h1>Neu</h1><p>in <b>1.0.3</b></p>", "Neu\nin 1.0.3"},
        ShownCase{"scripts_and_styles_are_not_text",
                  "<html><head><style>p{color:red}</style><script>var x = 1;</script></head>"
                  "<body><p>Seite</p></body></html>",
                  "Seite"}),
    [](const testing::TestParamInfo<ShownCase>& info) { return std::string(info.param.name); });

struct FailureCase {
    const char* name;
    Route route;
};

class ViewerFails : public Viewer, public testing::WithParamInterface<FailureCase> {};

TEST_P(ViewerFails, WithThePlainNoticeInsteadOfAnyBody) {
    server.SetRoutes({GetParam().route});
    auto w = OpenPageWindow();
    w->view()->LoadURL(kPage);
    ASSERT_TRUE(WaitLoaded(*w->view()));
    EXPECT_EQ(fw::testing::ShownText(*w->view()), "The page could not be loaded.");
}

INSTANTIATE_TEST_SUITE_P(
    Cases, ViewerFails,
    testing::Values(FailureCase{"an_error_page", Answer("/dir/page.html", "<p>Not found here</p>", 404)},
                    FailureCase{"a_server_error", Answer("/dir/page.html", "<p>Oops</p>", 500)},
                    FailureCase{"a_connection_closed_without_an_answer", Close("/dir/page.html")}),
    [](const testing::TestParamInfo<FailureCase>& info) { return std::string(info.param.name); });

TEST_F(Viewer, AServerThatRefusesShowsTheNotice) {
    setenv("http_proxy", "http://127.0.0.1:1", 1);  // nothing listens there
    auto w = OpenPageWindow();
    w->view()->LoadURL(kPage);
    ASSERT_TRUE(WaitLoaded(*w->view()));
    EXPECT_EQ(fw::testing::ShownText(*w->view()), "The page could not be loaded.");
}

struct LinkCase {
    const char* name;
    std::string href;
    std::string opened;  // "" when the desktop gets nothing
};

class ViewerLinks : public Viewer, public testing::WithParamInterface<LinkCase> {};

TEST_P(ViewerLinks, GoToTheBrowserWhenTheyAreWebOrMailAddresses) {
    CaptureShowURL();
    auto w = Loaded("<p><a href=\"" + GetParam().href + "\">Target</a></p><p><a href=\"/last\">Last</a></p>" +
                    "<p id=\"end\">end</p>");
    ASSERT_TRUE(fw::testing::ClickText(*w->view(), "Target"));
    // Two openers started in a row may write in either order: the second
    // starts once the first has had its address.
    if (!GetParam().opened.empty()) ShownURLs(1);
    // A known link after it shows that the first one's turn has passed.
    ASSERT_TRUE(fw::testing::ClickText(*w->view(), "Last"));
    std::vector<std::string> expected;
    if (!GetParam().opened.empty()) expected.push_back(GetParam().opened);
    expected.push_back("http://www.brantolek.example/last");
    EXPECT_EQ(ShownURLs(expected.size()), expected);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, ViewerLinks,
    testing::Values(
        LinkCase{"relative_to_the_page", "other.html", "http://www.brantolek.example/dir/other.html"},
        LinkCase{"from_the_servers_root", "/Download/x.php?id=1", "http://www.brantolek.example/Download/x.php?id=1"},
        LinkCase{"another_secure_site", "https://elsewhere.example/a?b=1&amp;c=2", "https://elsewhere.example/a?b=1&c=2"},
        LinkCase{"a_mail_address", "mailto:info@brantolek.example", "mailto:info@brantolek.example"},
        LinkCase{"a_local_file_is_never_opened", "file:///etc/passwd", ""},
        LinkCase{"a_script_is_never_run", "javascript:alert(1)", ""},
        LinkCase{"an_anchor_in_the_page_only_scrolls", "#end", ""}),
    [](const testing::TestParamInfo<LinkCase>& info) { return std::string(info.param.name); });

TEST_F(Viewer, APageNeverMakesItReadLocalFiles) {
    const std::string dir = root + "/local";
    WriteFile(dir + "/picture.png", "not really a picture");
    WriteFile(dir + "/look.css", "p { color: red }");
    const int watch = inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
    ASSERT_GE(watch, 0);
    ASSERT_GE(inotify_add_watch(watch, dir.c_str(), IN_OPEN), 0);
    auto w = Loaded("<html><head><link rel=\"stylesheet\" href=\"file://" + dir + "/look.css\"></head><body>" +
                    "<img src=\"file://" + dir + "/picture.png\"><img src=\"" + dir + "/picture.png\">" +
                    "<p>text</p></body></html>");
    fw::testing::Pump();
    alignas(inotify_event) char events[4096];
    const ssize_t n = read(watch, events, sizeof events);
    std::string opened;
    for (ssize_t at = 0; at < n;) {
        const auto* e = reinterpret_cast<const inotify_event*>(events + at);
        opened += (e->len ? std::string(e->name) : std::string("(the folder)")) + " ";
        at += static_cast<ssize_t>(sizeof(inotify_event) + e->len);
    }
    EXPECT_EQ(opened, "") << "files of the page's were opened";
    close(watch);
    EXPECT_NE(fw::testing::ShownText(*w->view()).find("text"), std::string::npos);
}

TEST_F(Viewer, EditActionsCopyTheSelectionAndNeverChangeThePage) {
    auto w = Loaded("<p>Version 1.0.3</p>");
    fw::HTMLViewer& view = *w->view();
    fw::testing::SetClipboardText("before");
    view.Copy();
    EXPECT_EQ(fw::testing::ClipboardText(), "before") << "nothing selected, nothing copied";
    view.SelectAll();
    view.Copy();
    EXPECT_EQ(fw::testing::ClipboardText(), "Version 1.0.3");
    fw::testing::SetClipboardText("pasted");
    view.Cut();
    EXPECT_EQ(fw::testing::ClipboardText(), "Version 1.0.3") << "cut copies";
    fw::testing::SetClipboardText("pasted");
    view.Paste();
    view.Clear();
    EXPECT_EQ(fw::testing::ShownText(view), "Version 1.0.3");
    EXPECT_EQ(fw::testing::ClipboardText(), "pasted");
}

TEST_F(Viewer, LoadingDoesNotHoldUpTheProgramAndANewerLoadWins) {
    server.SetRoutes({Stall("/slow.html", "<p>never finished"), Answer("/dir/page.html", "<p>second</p>")});
    auto w = OpenPageWindow();
    fw::HTMLViewer& view = *w->view();
    const double seconds = Timed([&] { view.LoadURL("http://www.brantolek.example/slow.html"); });
    EXPECT_LT(seconds, 0.3);
    WaitForRequests(1);
    PumpFor(300);
    EXPECT_TRUE(view.Loading());
    EXPECT_EQ(fw::testing::ShownText(view), "");
    view.LoadURL(kPage);
    ASSERT_TRUE(WaitLoaded(view));
    EXPECT_EQ(fw::testing::ShownText(view), "second");
}

TEST_F(Viewer, ClosingTheWindowDuringALoadIsSafe) {
    server.SetRoutes({Stall("/dir/page.html", "<p>never finished")});
    {
        auto w = OpenPageWindow();
        w->view()->LoadURL(kPage);
        WaitForRequests(1);
        const double seconds = Timed([&] {
            fw::testing::CloseByUser(*w);
            w = nullptr;  // the last reference: the load is given up
            fw::testing::Pump();
        });
        EXPECT_LT(seconds, 0.5) << "closing does not wait for the page";
    }
    // A page that arrives after its window closed is dropped.
    server.SetRoutes({Drip("/dir/page.html", "<p>late</p>", 0.02)});
    auto w = OpenPageWindow();
    fw::Ref<fw::HTMLViewer> view = w->view();
    view->LoadURL(kPage);
    w->Close();
    w = nullptr;
    EXPECT_TRUE(WaitLoaded(*view));
    EXPECT_FALSE(fw::FindWindow("PageWindow"));
}

}  // namespace
