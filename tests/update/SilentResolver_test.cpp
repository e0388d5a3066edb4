// Against a name server that never answers: this binary carries the stand-in
// getaddrinfo of tests/support/SilentResolver.cpp, which holds every lookup of
// a host name for good. No proxy is set, so each request must look up the
// maker's host. A request that waited for its lookup would hang here for good.
#include <gtest/gtest.h>

#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>

#include "UpdateFixture.h"
#include "framework/HTTPSocket.h"
#include "framework/SpecialFolder.h"
#include "update/frmUpdateWindow.h"
#include "update/mdlOrder.h"

extern "C" int tvm_silent_resolver_held();

using namespace tvmtest;

namespace {

const std::string kVersionURL = "http://www.brantolek.example/Download/Tavelmorinth/Version.dat";

// A test held by a lookup would otherwise hang until the runner's time-out.
class Watchdog {
public:
    explicit Watchdog(int seconds)
        : thread_([this, seconds] {
              std::unique_lock lock(mutex_);
              if (!done_.wait_for(lock, std::chrono::seconds(seconds), [this] { return over_; })) {
                  std::fprintf(stderr, "still running after %d s: held by a name lookup\n", seconds);
                  std::_Exit(1);
              }
          }) {}
    ~Watchdog() {
        {
            std::lock_guard lock(mutex_);
            over_ = true;
        }
        done_.notify_one();
        thread_.join();
    }

private:
    std::mutex mutex_;
    std::condition_variable done_;
    bool over_ = false;
    std::thread thread_;
};

class SilentResolver : public UpdateFixture {
protected:
    void SetUp() override {
        watchdog = std::make_unique<Watchdog>(20);
        UpdateFixture::SetUp();
        unsetenv("http_proxy");
        unsetenv("HTTP_PROXY");
        settings = fw::SpecialFolder::ApplicationData()->NativePath() + "/TavelmorinthSettings";
        versionFile = settings + "/BKVersion.dat";
        std::filesystem::create_directories(settings);
    }
    // Waits (bounded) until the stand-in holds more than `before` lookups.
    static bool LookupHeld(int before) {
        for (int i = 0; i < 300 && tvm_silent_resolver_held() <= before; ++i)
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        return tvm_silent_resolver_held() > before;
    }
    void TearDown() override {
        UpdateFixture::TearDown();
        watchdog.reset();
    }
    std::unique_ptr<Watchdog> watchdog;
    std::string settings, versionFile;
};

TEST_F(SilentResolver, EachRequestGivesUpAfterOneSecondAndLeavesTheLookupBehind) {
    const std::string target = server.Dir() + "/v.dat";
    WriteFile(target, "1.0.3\n");
    struct Case {
        const char* name;
        std::function<bool(fw::HTTPSocket&)> get;
    };
    const Case cases[] = {
        {"the body as text", [](fw::HTTPSocket& http) { return !http.Get(kVersionURL, 1).empty(); }},
        {"the body into a file",
         [&](fw::HTTPSocket& http) { return http.Get(kVersionURL, fw::New<fw::FolderItem>(target), 1); }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        fw::HTTPSocket http;
        const int held = tvm_silent_resolver_held();
        bool ok = true;
        const double seconds = Timed([&] { ok = c.get(http); });
        EXPECT_FALSE(ok);
        EXPECT_EQ(http.LastErrorCode(), 28) << "a lookup without an answer is no progress";
        EXPECT_GE(seconds, 0.9);
        EXPECT_LE(seconds, 1.6) << "giving up must not wait for the lookup";
        EXPECT_GT(tvm_silent_resolver_held(), held) << "the request never reached the name server";
    }
    EXPECT_EQ(ReadFile(target), "");
}

TEST_F(SilentResolver, TheVersionCheckTakesTwoSecondsAndOffersNothing) {
    WriteFile(versionFile, "1.0.3\n");
    const double seconds = Timed([] { mdlOrder::GetVersionInfoFromBK(); });
    EXPECT_GE(seconds, 1.8) << "each request waits its second";
    EXPECT_LE(seconds, 3.0);
    EXPECT_EQ(ReadFile(versionFile), "");
    EXPECT_EQ(mdlOrder::GetVersionInfo(), "");
}

TEST_F(SilentResolver, TheStartsCheckReturnsAtOnceAndOpensNoWindow) {
    WriteFile(versionFile, "1.0.3\n");
    EXPECT_LT(Timed([] { app().CheckForUpdate(); }), 0.2) << "the start must not wait for the network";
    EXPECT_TRUE(CVersionCheckProbe::Pending());
    ASSERT_TRUE(WaitForVersionCheck());
    EXPECT_FALSE(fw::FindWindow("frmUpdateWindow"));
    EXPECT_EQ(ReadFile(versionFile), "");
}

TEST_F(SilentResolver, ClosingTheUpdateWindowDuringItsPageLoadReturnsAtOnce) {
    const int held = tvm_silent_resolver_held();
    auto w = frmUpdateWindow();
    ASSERT_TRUE(LookupHeld(held));
    ASSERT_TRUE(w->htmlUpdateInfo()->Loading());
    EXPECT_LT(Timed([&] {
                  fw::testing::CloseByUser(*w);
                  w = nullptr;
                  fw::testing::Pump();
              }),
              0.3);
    EXPECT_FALSE(fw::FindWindow("frmUpdateWindow"));
}

}  // namespace
