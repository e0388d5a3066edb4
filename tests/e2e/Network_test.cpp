// The start on networks that do not answer: none may hold the first load of
// the RAM disk or the quit, as the version check runs beside the start.
#include <netinet/in.h>
#include <sys/socket.h>
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

bool Maps(pid_t pid, const std::string& library) {
    std::ifstream maps("/proc/" + std::to_string(pid) + "/maps");
    std::stringstream text;
    text << maps.rdbuf();
    return text.str().find(library) != std::string::npos;
}

struct NetworkCase {
    const char* name;
    const char* kind;  // refused | resolver | server
};

class SilentNetwork : public ProgramTest, public ::testing::WithParamInterface<NetworkCase> {};

TEST_P(SilentNetwork, TheRAMDiskIsLoadedWithinASecondAndAHalfAndTheQuitEnds) {
    const std::string kind = GetParam().kind;
    SilentServer silent;
    if (kind == "refused") {
        envOverrides_ = {"http_proxy=http://127.0.0.1:1"};  // nothing listens there
    } else if (kind == "resolver") {
        const char* asan = std::getenv("ASAN_OPTIONS");
        // A sanitizer runtime wants to come first; the stand-in must.
        envOverrides_ = {"http_proxy", std::string("LD_PRELOAD=") + TVM_SILENT_RESOLVER,
                         "ASAN_OPTIONS=" + std::string(asan ? asan : "") + ":verify_asan_link_order=0"};
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
        EXPECT_TRUE(Maps(program.Pid(), "libtvm_silent_resolver")) << "the stand-in is not in use";
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

}  // namespace
}  // namespace tvmtest
