// The program at rest: application object, menu bar, activity window and the
// 1 ms progress timer, no synchronisation and no RAM disk. Measures the CPU the
// process uses over `seconds` (default 10) after a one-second warm-up and
// prints "idle_cpu_percent: X" (percent of one core).
#include <sys/resource.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <memory>

#include "app/App.h"
#include "app/MainMenuBar.h"
#include "app/frmFAQ.h"
#include "engine/CTimerProgress.h"
#include "framework/Application.h"
#include "framework/Timer.h"
#include "windows/frmState.h"

namespace {

class IdleApp : public App {
public:
    void Event_Open() override {
        GetOptions();
        sState = kSyncReady();
        frmState()->Show();
        progress = std::make_shared<CTimerProgress>();
        progress->Constructor();
        progress->SetMode(fw::Timer::ModeMultiple);
        progress->SetPeriod(1);
        progress->SetEnabled(true);
        oTimerProgress = progress;
    }
    bool Event_CancelClose() override { return false; }
    void Event_Close() override {}
    std::shared_ptr<CTimerProgress> progress;
};

double CpuSeconds() {
    rusage u{};
    getrusage(RUSAGE_SELF, &u);
    return u.ru_utime.tv_sec + u.ru_stime.tv_sec + (u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1e6;
}

}  // namespace

int main(int argc, char** argv) {
    const int seconds = argc > 1 ? std::atoi(argv[1]) : 10;
    fw::InitRuntime(argc, argv);
    auto application = std::make_unique<IdleApp>();
    application->MenuBar = MainMenuBar();
    fw::RegisterApplication(application.get());
    frmFAQ();

    double cpuStart = 0;
    auto wallStart = std::chrono::steady_clock::now();
    auto begin = std::make_shared<fw::Timer>();
    begin->Action = [&] {
        cpuStart = CpuSeconds();
        wallStart = std::chrono::steady_clock::now();
    };
    begin->SetPeriod(1000);
    begin->SetMode(fw::Timer::ModeSingle);
    auto end = std::make_shared<fw::Timer>();
    end->Action = [&] {
        const double cpu = CpuSeconds() - cpuStart;
        const double wall = std::chrono::duration<double>(std::chrono::steady_clock::now() - wallStart).count();
        std::printf("cpu_seconds: %.3f\nwall_seconds: %.3f\nidle_cpu_percent: %.2f\n", cpu, wall,
                    100.0 * cpu / wall);
        std::fflush(stdout);
        application->Quit(0);
    };
    end->SetPeriod(1000 + 1000 * seconds);
    end->SetMode(fw::Timer::ModeSingle);
    const int code = fw::RunEventLoop(*application);
    fw::RegisterApplication(nullptr);
    return code;
}
