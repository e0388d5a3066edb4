// The start on networks that do not answer: none may hold the first load of
// the RAM disk or the quit, as the version check runs beside the start.
#include <netinet/in.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <fstream>
#include <sstream>

#include "ProgramFixture.h"

namespace tvmtest {
namespace {

using Steady = std::chrono::steady_clock;

// A port on 127.0.0.1 that takes connections into its queue and never answers.
class SilentServer {
public:
    SilentServer() {
        fd_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
        sockaddr_in a{};
        a.sin_family = AF_INET;
        a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t len = sizeof a;
        if (::bind(fd_, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0 && ::listen(fd_, 16) == 0 &&
            ::getsockname(fd_, reinterpret_cast<sockaddr*>(&a), &len) == 0)
            port_ = ntohs(a.sin_port);
    }
    ~SilentServer() { ::close(fd_); }
    int Port() const { return port_; }
    // True once a client has connected (the connection is then dropped).
    bool Reached() const {
        const int c = ::accept4(fd_, nullptr, nullptr, SOCK_CLOEXEC);
        if (c >= 0) ::close(c);
        return c >= 0;
    }

private:
    int fd_ = -1;
    int port_ = 0;
};

struct NetworkCase {
    const char* name;
    const char* kind;  // refused | resolver | server
};

class SilentNetworkTest : public ProgramTest {
protected:
    // Programs started from now on get a name server that never answers, and
    // no proxy, so that they must ask it.
    void SilenceNameServer() {
        const char* asan = std::getenv("ASAN_OPTIONS");
        notes_ = home_ + "/../held-names.txt";
        // A sanitizer runtime wants to come first; the stand-in must.
        envOverrides_ = {"http_proxy", std::string("LD_PRELOAD=") + TVM_SILENT_RESOLVER,
                         "TVM_SILENT_RESOLVER_NOTES=" + notes_,
                         "ASAN_OPTIONS=" + std::string(asan ? asan : "") + ":verify_asan_link_order=0"};
    }
    // The names whose lookups the stand-in holds, a line each.
    std::string HeldNames() const {
        std::ifstream in(notes_);
        std::stringstream text;
        text << in.rdbuf();
        return text.str();
    }
    std::string notes_;
};

class SilentNetwork : public SilentNetworkTest, public ::testing::WithParamInterface<NetworkCase> {};

TEST_P(SilentNetwork, TheRAMDiskIsLoadedWithinASecondAndAHalfAndTheQuitEnds) {
    const std::string kind = GetParam().kind;
    SilentServer silent;
    if (kind == "refused") {
        envOverrides_ = {"http_proxy=http://127.0.0.1:1"};  // nothing listens there
    } else if (kind == "resolver") {
        SilenceNameServer();
    } else {
        ASSERT_GT(silent.Port(), 0);
        envOverrides_ = {"http_proxy=http://127.0.0.1:" + std::to_string(silent.Port())};
    }
    const Tree files = {{"notes.txt", File("first line\n")}, {"folder/data", File("data")}};
    WriteTree(source_, files);
    WriteSettings("256", "60", source_);

    const auto started = Steady::now();
    Program& program = Start();
    ASSERT_TRUE(WaitFor([&] { return Mounted(kRamDisk) && MissingOrChanged(files, Snapshot(kRamDisk)).empty(); }, 20))
        << ProgramLog();
    const double seconds = std::chrono::duration<double>(Steady::now() - started).count();
    EXPECT_LT(seconds, 1.5) << "the network held the start";
    if (kind == "resolver") {
        EXPECT_TRUE(WaitFor([&] { return HeldNames().find("www.brantolek.example") != std::string::npos; }, 5))
            << "the check never asked the name server";
    } else if (kind == "server") {
        EXPECT_TRUE(WaitFor([&] { return silent.Reached(); }, 5)) << "the check never asked";
    }

    ASSERT_TRUE(QuitAndWait(program, 15));
    EXPECT_FALSE(Mounted(kRamDisk));
}

INSTANTIATE_TEST_SUITE_P(Cases, SilentNetwork,
                         ::testing::Values(NetworkCase{"no_network", "refused"},
                                           NetworkCase{"a_name_server_that_never_answers", "resolver"},
                                           NetworkCase{"a_server_that_never_answers", "server"}),
                         [](const ::testing::TestParamInfo<NetworkCase>& info) { return std::string(info.param.name); });

// With no source folder there is nothing to write back: the quit goes through
// at once, and the check's lookup must not hold it.
TEST_F(SilentNetworkTest, AQuitWhileTheCheckWaitsForTheNameServerEndsAtOnce) {
    SilenceNameServer();
    WriteSettings("256", "60", home_ + "/no such folder");
    Program& program = Start();
    ASSERT_TRUE(WaitFor([&] { return !HeldNames().empty(); }, 10)) << ProgramLog();
    program.Signal(SIGTERM);
    const auto status = program.WaitExit(3);
    ASSERT_TRUE(status) << "the quit waits for the name server\n" << ProgramLog();
    EXPECT_TRUE(WIFEXITED(*status) && WEXITSTATUS(*status) == 0) << DescribeStatus(*status) << "\n" << ProgramLog();
}

}  // namespace
}  // namespace tvmtest
