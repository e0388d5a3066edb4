// The runtime on Qt: the QApplication, the one Qt timer that drives every
// fw::Timer, signals as quit requests, and the event loop entry points.
#include <fcntl.h>
#include <unistd.h>

#include <QCoreApplication>
#include <QSocketNotifier>
#include <QTimer>
#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <climits>
#include <memory>
#include <csignal>
#include <cstdlib>
#include <optional>
#include <thread>

#include "Application.h"
#include "Baton.h"
#include "Clock.h"
#include "EventLoop.h"
#include "Internal.h"
#include "PrivateFolder.h"
#include "Thread.h"
#include "Timer.h"
#include "TypeName.h"

namespace fw {
namespace {

std::thread::id gMainThread;
QObject* gContext = nullptr;  // main-thread object that posted work is run on
QTimer* gDispatch = nullptr;  // repeating; kept at the earliest due fw::Timer
QTimer* gSlice = nullptr;     // wakes ProcessEvents while it waits
int64_t gArmedDue = -1;       // when gDispatch fires next; main thread only
int64_t gArmedInterval = 0;   // and its interval
QTimer* gNested = nullptr;    // single shot, for timers due while an Action runs
int64_t gNestedDue = -1;
std::atomic<bool> gWakePosted{false};

std::atomic<int> gLoopDepth{0};  // running RunEventLoop calls; written on the main thread only
Application* gLoopApp = nullptr;
std::optional<int> gPendingExit;
std::atomic<int> gLastLoopCode{0};
// Never destroyed: it is read by an exit handler.
std::function<void()>* gBeforeEnd = nullptr;

int gSignalPipe[2] = {-1, -1};
constexpr int kQuitSignals[] = {SIGTERM, SIGINT, SIGHUP};

// With a mock clock installed only MockClock::Advance fires timers.
bool DrivenClock() { return dynamic_cast<MockClock*>(&CurrentClock()) != nullptr; }

int Delay(int64_t due) {
    return static_cast<int>(std::clamp<int64_t>(due - CurrentClock().MonotonicMs(), 0, INT_MAX));
}

void StartDispatch(int64_t due) {
    const int delay = Delay(due);
    gDispatch->start(delay);
    gArmedDue = due;
    gArmedInterval = delay;
}

// Between firings only an earlier due time needs a Qt timer moved: firing too
// early costs one look at the schedule, and the dispatch puts it right.
void ArmDispatch() {
    if (DrivenClock()) {
        gDispatch->stop();
        gNested->stop();
        gArmedDue = gNestedDue = -1;
        return;
    }
    const int64_t due = timers::NextDue();
    if (due < 0) return;
    if (timers::ActionsRunning() > 0) {
        // Qt fires no timer again inside its own slot, so while an Action may
        // wait in a nested loop the other timers are fired from here.
        if (gNested->isActive() && due >= gNestedDue) return;
        gNested->start(Delay(due));
        gNestedDue = due;
        return;
    }
    if (gDispatch->isActive() && due >= gArmedDue) return;
    StartDispatch(due);
}

void FireDueNow() {
    const int64_t now = CurrentClock().MonotonicMs();
    if (const int64_t due = timers::NextDue(); due >= 0 && due <= now) timers::FireDue(now);
}

void Dispatch() {
    // The Qt timer repeats: it comes again one interval after this firing. A
    // repeating fw::Timer due just then keeps it as it is, which saves moving
    // the Qt timer at every firing of a fast timer.
    gArmedDue += gArmedInterval;
    if (DrivenClock()) {
        ArmDispatch();
        return;
    }
    FireDueNow();
    const int64_t due = timers::NextDue();
    if (due < 0) {
        gDispatch->stop();
        gArmedDue = -1;
    } else if (due != gArmedDue || gArmedInterval == 0 || !gDispatch->isActive()) {
        StartDispatch(due);
    }
}

void DispatchNested() {
    gNestedDue = -1;
    if (!DrivenClock()) FireDueNow();
    ArmDispatch();
}

// Any thread: the earliest due time may have changed.
void OnWake() {
    if (internal::OnMainThread()) {
        ArmDispatch();
        return;
    }
    if (gWakePosted.exchange(true)) return;
    QMetaObject::invokeMethod(
        gContext,
        [] {
            gWakePosted = false;
            ArmDispatch();
        },
        Qt::QueuedConnection);
}

void OnQuitSignal(int) {
    const int saved = errno;
    const char byte = 1;
    if (write(gSignalPipe[1], &byte, 1) < 0) {
        // Pipe full: a quit request is pending already.
    }
    errno = saved;
}

void DrainSignals() {
    char buffer[64];
    bool any = false;
    while (read(gSignalPipe[0], buffer, sizeof buffer) > 0) any = true;
    if (!any) return;
    baton::Held held;
    if (Application* app = gLoopApp ? gLoopApp : CurrentApplication()) {
        app->Quit(0);
    } else {
        internal::EndLoop(0);
    }
}

// Signals become quit requests while the event loop runs; before and after,
// they keep their former handling.
class QuitSignals {
public:
    QuitSignals() {
        struct sigaction action {};
        action.sa_handler = OnQuitSignal;
        sigemptyset(&action.sa_mask);
        action.sa_flags = SA_RESTART;
        for (int i = 0; i < 3; ++i) sigaction(kQuitSignals[i], &action, &old_[i]);
    }
    ~QuitSignals() {
        for (int i = 0; i < 3; ++i) sigaction(kQuitSignals[i], &old_[i], nullptr);
    }
    QuitSignals(const QuitSignals&) = delete;
    QuitSignals& operator=(const QuitSignals&) = delete;

private:
    struct sigaction old_[3];
};

void EndWithoutTeardownWhenBusy() {
    const bool inLoop = gLoopDepth.load() > 0;
    if (!gBeforeEnd || (!inLoop && Thread::LiveCount() == 0)) return;
    {
        baton::Held held;
        Guarded("end without teardown", *gBeforeEnd);
    }
    ::_exit(inLoop ? 1 : gLastLoopCode.load());
}

bool EnvSet(const char* name) {
    const char* v = std::getenv(name);
    return v && *v;
}

}  // namespace

namespace internal {

bool OnMainThread() { return gMainThread == std::thread::id() || std::this_thread::get_id() == gMainThread; }

void PostToMain(std::function<void()> fn) {
    if (!gContext || OnMainThread()) {
        fn();
        return;
    }
    QMetaObject::invokeMethod(gContext, std::move(fn), Qt::QueuedConnection);
}

void EndLoop(int code) {
    if (gLoopDepth > 0) {
        QCoreApplication::exit(code);
    } else {
        gPendingExit = code;
    }
}

void RegisterEndHandlerAgain() {
    // Statics are made by the first passes; a few registrations cover them.
    static std::atomic<int> registrations{0};
    if (gBeforeEnd && registrations.fetch_add(1) < 64) std::atexit(&EndWithoutTeardownWhenBusy);
}

}  // namespace internal

void internal::StartRuntime(int& argc, char** argv, void (*makeApplication)(int& argc, char** argv)) {
    if (!gContext) {
        if (!EnvSet("QT_QPA_PLATFORM") && !EnvSet("DISPLAY") && !EnvSet("WAYLAND_DISPLAY"))
            setenv("QT_QPA_PLATFORM", "offscreen", 1);
        gMainThread = std::this_thread::get_id();
        // Qt looks into the runtime folder for a display server's socket as it
        // starts, and warns when there is no private one: it is lent the user's
        // own for that moment, and the programs we start see the environment as it was.
        const char* runtime = std::getenv("XDG_RUNTIME_DIR");
        const std::string given = runtime ? runtime : "";
        const std::string ours = UserRuntimeFolder("tavelmorinth", nullptr);
        const bool lent = !ours.empty() && ours != given;
        if (lent) setenv("XDG_RUNTIME_DIR", ours.c_str(), 1);
        // A write to a peer that is gone (a display server that died, a closed
        // pipe) fails with EPIPE instead of killing the program in the middle of
        // its end. A handler rather than SIG_IGN: programs started from here get
        // the default back.
        struct sigaction brokenPipe {};
        brokenPipe.sa_handler = [](int) {};
        sigemptyset(&brokenPipe.sa_mask);
        sigaction(SIGPIPE, &brokenPipe, nullptr);
        // Lives as long as the process.
        makeApplication(argc, argv);
        if (lent && runtime) setenv("XDG_RUNTIME_DIR", given.c_str(), 1);
        if (lent && !runtime) unsetenv("XDG_RUNTIME_DIR");
        gContext = new QObject;
        gDispatch = new QTimer(gContext);
        gDispatch->setTimerType(Qt::PreciseTimer);
        QObject::connect(gDispatch, &QTimer::timeout, gContext, &Dispatch);
        gNested = new QTimer(gContext);
        gNested->setSingleShot(true);
        gNested->setTimerType(Qt::PreciseTimer);
        QObject::connect(gNested, &QTimer::timeout, gContext, &DispatchNested);
        gSlice = new QTimer(gContext);
        gSlice->setSingleShot(true);
        gSlice->setTimerType(Qt::PreciseTimer);
        if (pipe2(gSignalPipe, O_CLOEXEC | O_NONBLOCK) == 0) {
            auto* notifier = new QSocketNotifier(gSignalPipe[0], QSocketNotifier::Read, gContext);
            QObject::connect(notifier, &QSocketNotifier::activated, gContext, &DrainSignals);
        }
        timers::SetWakeHook(&OnWake);
        ArmDispatch();
    }
    if (!baton::HeldByMe()) baton::Acquire();
}

int RunEventLoop(Application& app) {
    if (gPendingExit) {
        const int code = *gPendingExit;
        gPendingExit.reset();
        return code;
    }
    Application* outerApp = gLoopApp;
    gLoopApp = &app;
    ++gLoopDepth;
    // Should the loop end before it gets to Open, the event must not reach `app` later.
    auto running = std::make_shared<bool>(true);
    QMetaObject::invokeMethod(
        gContext,
        [&app, running] {
            if (!*running) return;
            baton::Held held;
            Guarded("application " + internal::ClassNameOf(typeid(app)) + " Event_Open", [&] { app.Event_Open(); });
            // Exit handlers run last registered first: registered again after
            // the start's own statics, it also runs before their destructors.
            if (gBeforeEnd) std::atexit(&EndWithoutTeardownWhenBusy);
        },
        Qt::QueuedConnection);
    int code;
    {
        QuitSignals quitSignals;
        baton::Unlocked unlocked;
        code = QCoreApplication::exec();
    }
    *running = false;
    gLastLoopCode = code;
    --gLoopDepth;
    gLoopApp = outerApp;
    return code;
}

void EndWithoutTeardownWhileBusy(std::function<void()> beforeEnd) {
    const bool first = !gBeforeEnd;
    if (first) gBeforeEnd = new std::function<void()>;
    *gBeforeEnd = std::move(beforeEnd);
    if (first) std::atexit(&EndWithoutTeardownWhenBusy);
}

void ProcessEvents(int ms, const std::function<bool()>& until) {
    using Steady = std::chrono::steady_clock;
    const auto deadline = Steady::now() + std::chrono::milliseconds(std::max(ms, 0));
    const bool qt = gContext && std::this_thread::get_id() == gMainThread;
    for (bool first = true;; first = false) {
        if (until && until()) return;
        const auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - Steady::now()).count();
        if (left <= 0 && !first) return;
        // `until` watches work that posts no event (other threads): look again soon.
        const int slice = static_cast<int>(std::min<int64_t>(std::max<int64_t>(left, 0), until ? 2 : INT_MAX));
        baton::Unlocked unlocked;
        if (!qt) {
            std::this_thread::sleep_for(std::chrono::milliseconds(slice));
        } else if (slice == 0) {
            QCoreApplication::processEvents(QEventLoop::AllEvents);
        } else {
            gSlice->start(slice);
            QCoreApplication::processEvents(QEventLoop::AllEvents | QEventLoop::WaitForMoreEvents);
        }
    }
}

}  // namespace fw
