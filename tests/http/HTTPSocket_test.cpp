#include "framework/HTTPSocket.h"

#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <iterator>
#include <thread>

#include "Standin.h"
#include "framework/Baton.h"

using namespace tvmtest;

namespace {

const std::string kHost = "http://www.brantolek.example";

int OpenDescriptors() {
    return static_cast<int>(std::distance(std::filesystem::directory_iterator("/proc/self/fd"), {}));
}

// Every request, whatever its end, must give back its socket and its file.
class HTTPSocketTest : public testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(server.Running()) << "the HTTP stand-in did not start";
        descriptors = OpenDescriptors();
    }
    void TearDown() override { EXPECT_EQ(OpenDescriptors(), descriptors) << "descriptors left open"; }
    fw::Ref<fw::FolderItem> Target(const std::string& name) {
        return fw::New<fw::FolderItem>(server.Dir() + "/" + name);
    }
    Standin server;
    fw::HTTPSocket http;
    int descriptors = 0;
};

struct TextCase {
    const char* name;
    std::vector<Route> routes;
    std::string path;
    std::string body;  // what Get answers
    int status;
    bool ok;
};

class HTTPSocketText : public HTTPSocketTest, public testing::WithParamInterface<TextCase> {};

TEST_P(HTTPSocketText, AnswersTheBodyOnlyWhenTheResourceArrived) {
    const TextCase& c = GetParam();
    server.SetRoutes(c.routes);
    EXPECT_EQ(http.Get(kHost + c.path, 1), c.body);
    EXPECT_EQ(http.HTTPStatusCode(), c.status);
    EXPECT_EQ(http.LastErrorCode() == 0, c.ok) << "curl code " << http.LastErrorCode();
}

const std::string kBinary("line 1\r\n\x00\xE9\x80\xFF", 12);

INSTANTIATE_TEST_SUITE_P(
    Cases, HTTPSocketText,
    testing::Values(
        TextCase{"a_plain_answer_gives_its_body", {Answer("/a", "hello\n1.0.3")}, "/a", "hello\n1.0.3", 200, true},
        TextCase{"every_byte_of_the_body_arrives_unchanged", {Answer("/bin", kBinary)}, "/bin", kBinary, 200, true},
        TextCase{"the_query_is_sent_and_picks_the_route",
                 {Answer("/c?id=30", "thirty"), Answer("/c", "plain")}, "/c?id=30", "thirty", 200, true},
        TextCase{"a_redirect_is_followed",
                 {Redirect("/old", kHost + "/new"), Answer("/new", "moved here")},
                 "/old", "moved here", 200, true},
        TextCase{"an_empty_body_is_a_success", {Answer("/empty")}, "/empty", "", 200, true},
        TextCase{"an_error_page_is_not_taken_for_the_resource", {}, "/missing", "", 404, false},
        TextCase{"a_server_error_page_is_not_taken_either", {Answer("/e", "oops", 500)}, "/e", "", 500, false},
        TextCase{"a_connection_closed_without_answer_fails", {Close("/x")}, "/x", "", 0, false},
        TextCase{"a_body_cut_short_fails", {Stall("/s", "1.0.")}, "/s", "", 200, false}),
    [](const testing::TestParamInfo<TextCase>& info) { return std::string(info.param.name); });

TEST_F(HTTPSocketTest, StoresTheBodyInTheFileReplacingLongerOldContent) {
    server.SetRoutes({Answer("/Version.dat", "1.0.1\r\n1.0.3")});
    WriteFile(Target("v.dat")->NativePath(), "an old and much longer content\n9.9.9\n");
    EXPECT_TRUE(http.Get(kHost + "/Version.dat", Target("v.dat"), 1));
    EXPECT_EQ(ReadFile(Target("v.dat")->NativePath()), "1.0.1\r\n1.0.3");
    EXPECT_EQ(http.LastErrorCode(), 0);
}

// The server looks at the target file when the request reaches it, then never
// answers: the file must already exist, empty, and stay empty.
TEST_F(HTTPSocketTest, FileIsEmptyWhenTheRequestStartsAndAServerThatNeverAnswersIsGivenUpAfterTheTimeout) {
    const std::string path = Target("v.dat")->NativePath();
    WriteFile(path, "1.0.1\n");
    server.SetRoutes({Probing(Silent("/Version.dat"), path)});
    bool ok = true;
    const double seconds = Timed([&] { ok = http.Get(kHost + "/Version.dat", Target("v.dat"), 1); });
    EXPECT_FALSE(ok);
    EXPECT_GE(seconds, 0.9);
    EXPECT_LE(seconds, 2.0);
    ASSERT_EQ(server.Requests().size(), 1u);
    EXPECT_EQ(server.Requests()[0].probe, 0) << "size of the file when the request arrived";
    EXPECT_EQ(ReadFile(path), "");
    EXPECT_EQ(http.LastErrorCode(), 28) << "a time-out, not some other failure";
}

TEST_F(HTTPSocketTest, AServerThatStallsAfterSomeBytesIsGivenUpAboutOneTimeoutAfterTheLastByte) {
    const std::string path = Target("v.dat")->NativePath();
    server.SetRoutes({Stall("/Version.dat", "1.0.")});
    bool ok = true;
    const double seconds = Timed([&] { ok = http.Get(kHost + "/Version.dat", Target("v.dat"), 1); });
    EXPECT_FALSE(ok);
    EXPECT_GE(seconds, 0.9);
    EXPECT_LE(seconds, 2.0);
    EXPECT_EQ(ReadFile(path), "") << "a body cut short must not pass for a whole one";
}

// Slower in total than the time-out, but never a whole second without a byte.
TEST_F(HTTPSocketTest, ATransferThatKeepsProgressingIsNotCutOffByTheTimeout) {
    server.SetRoutes({Drip("/slow", "1.0.3\n", 0.3)});
    EXPECT_EQ(http.Get(kHost + "/slow", 1), "1.0.3\n");
    EXPECT_EQ(http.LastErrorCode(), 0);
}

TEST_F(HTTPSocketTest, ReleasesTheBatonWhileTheRequestRuns) {
    server.SetRoutes({Silent("/wait")});
    ASSERT_TRUE(fw::baton::HeldByMe());
    std::chrono::steady_clock::time_point otherRan;
    std::thread other([&] {
        fw::baton::Held held;
        otherRan = std::chrono::steady_clock::now();
    });
    http.Get(kHost + "/wait", 1);
    const auto returned = std::chrono::steady_clock::now();
    EXPECT_TRUE(fw::baton::HeldByMe());
    {
        fw::baton::Unlocked unlocked;  // lets the other thread finish even when Get kept the baton
        other.join();
    }
    EXPECT_LT(otherRan, returned) << "the other thread got the baton only after the request";
}

TEST_F(HTTPSocketTest, HonoursEitherSpellingOfTheProxyVariableAndNoProxy) {
    server.SetRoutes({Answer("/a", "via the proxy")});
    const std::string proxy = std::getenv("http_proxy");
    struct Case {
        const char* name;
        const char* variable;
        const char* noProxy;  // nullptr: unset
        bool viaProxy;
    };
    const Case cases[] = {
        {"lower-case variable", "http_proxy", nullptr, true},
        {"upper-case variable", "HTTP_PROXY", nullptr, true},
        {"lower-case variable, host excluded", "http_proxy", "www.brantolek.example", false},
        {"upper-case variable, host excluded", "HTTP_PROXY", ".example", false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        unsetenv("http_proxy");
        setenv(c.variable, proxy.c_str(), 1);
        if (c.noProxy) setenv("no_proxy", c.noProxy, 1);
        const size_t before = server.Requests().size();
        EXPECT_EQ(http.Get(kHost + "/a", 1), c.viaProxy ? "via the proxy" : "");
        EXPECT_EQ(server.Requests().size(), before + (c.viaProxy ? 1 : 0));
        unsetenv(c.variable);
        unsetenv("no_proxy");
    }
}

TEST_F(HTTPSocketTest, AFileThatCannotBeCreatedFailsWithoutAsking) {
    server.SetRoutes({Answer("/a", "x")});
    EXPECT_FALSE(http.Get(kHost + "/a", Target("no-such-folder/v.dat"), 1));
    EXPECT_NE(http.LastErrorCode(), 0);
    EXPECT_TRUE(server.Requests().empty());
}

// A port on 127.0.0.1 that nobody listens on.
int ClosedPort() {
    const int s = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t len = sizeof a;
    bind(s, reinterpret_cast<sockaddr*>(&a), sizeof a);
    getsockname(s, reinterpret_cast<sockaddr*>(&a), &len);
    close(s);
    return ntohs(a.sin_port);
}

TEST(HTTPSocketFailFast, AnUnknownHostOrARefusedConnectionFailsWellWithinTheTimeout) {
    unsetenv("http_proxy");
    unsetenv("HTTP_PROXY");
    const std::string refused = "http://127.0.0.1:" + std::to_string(ClosedPort());
    struct Case {
        const char* name;
        std::string url;
        std::string proxy;
    };
    const Case cases[] = {
        {"host that cannot be resolved", "http://www.brantolek.invalid/Version.dat", ""},
        {"refused port", refused + "/Version.dat", ""},
        {"refused proxy", "http://www.brantolek.example/Version.dat", refused},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        if (!c.proxy.empty()) setenv("http_proxy", c.proxy.c_str(), 1);
        fw::HTTPSocket http;
        std::string body = "unset";
        const double seconds = Timed([&] { body = http.Get(c.url, 5); });
        unsetenv("http_proxy");
        EXPECT_EQ(body, "");
        EXPECT_NE(http.LastErrorCode(), 0);
        EXPECT_LT(seconds, 1.0);
    }
}

}  // namespace
