// CPU cost of an idle program whose only work is a 1 ms repeating timer with a
// near-empty Action (the activity window's updater). Usage: bench_timer_idle [seconds]
#include <sys/resource.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>

#include "framework/Application.h"
#include "framework/Ref.h"
#include "framework/Timer.h"

namespace {
double CpuSeconds() {
    rusage u{};
    getrusage(RUSAGE_SELF, &u);
    return u.ru_utime.tv_sec + u.ru_stime.tv_sec + (u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1e6;
}
}  // namespace

int main(int argc, char** argv) {
    const int seconds = argc > 1 ? std::atoi(argv[1]) : 10;
    fw::InitRuntime(argc, argv);
    fw::Application app;
    long ticks = 0;
    auto tick = fw::New<fw::Timer>();
    tick->Action = [&] { ++ticks; };
    tick->SetPeriod(1);
    tick->SetMode(fw::Timer::ModeMultiple);
    auto stop = fw::New<fw::Timer>();
    stop->Action = [&] { app.Quit(0); };

    double cpuStart = 0;
    auto wallStart = std::chrono::steady_clock::now();
    // Measure from the moment the loop runs, not from Qt's start-up.
    auto begin = fw::New<fw::Timer>();
    begin->Action = [&] {
        cpuStart = CpuSeconds();
        wallStart = std::chrono::steady_clock::now();
        ticks = 0;
        stop->SetPeriod(seconds * 1000);
        stop->SetMode(fw::Timer::ModeSingle);
    };
    begin->SetPeriod(200);
    begin->SetMode(fw::Timer::ModeSingle);

    fw::RunEventLoop(app);
    const double wall = std::chrono::duration<double>(std::chrono::steady_clock::now() - wallStart).count();
    const double cpu = CpuSeconds() - cpuStart;
    std::printf("%.1f s: %ld firings (%.0f per second), CPU %.2f%% of a core\nbare_timer_cpu_percent: %.3f\n", wall,
                ticks, ticks / wall, 100.0 * cpu / wall, 100.0 * cpu / wall);
    return 0;
}
