#include "app/LaterStarts.h"

#include <cstdio>
#include <cstring>
#include <deque>

#include "app/App.h"
#include "engine/CCleanRAMDisk.h"
#include "engine/CShutdown.h"
#include "engine/CStartup.h"
#include "engine/TimerState.h"
#include "framework/SingleInstance.h"
#include "framework/Timer.h"
#include "framework/Window.h"
#include "windows/frmState.h"

namespace {

constexpr const char* kStem = "tavelmorinth";
constexpr const char* kShowActivity = "show-activity";
constexpr const char* kPreferences = "preferences";
constexpr const char* kQuit = "quit";

std::string gOwnRequest;
std::deque<std::string> gPending;
fw::Ref<fw::Timer> gRunner;
LaterStartExtra& Extra() {
    static LaterStartExtra extra;
    return extra;
}

std::string RequestOf(int argc, char** argv) {
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--preferences") == 0) return kPreferences;
        if (std::strcmp(argv[i], "--show-activity") == 0) return kShowActivity;
        if (std::strcmp(argv[i], "--quit") == 0) return kQuit;
    }
    return kShowActivity;
}

// Windows and options belong to a program whose settings are read and whose
// workers exist: before that, the options window would show and store nothing.
bool StartedUp() { return app().oAfterChangeOptions && !CStartup::Unfinished(); }

// The options window closing starts a rebuild: not while the program ejects for
// a quit or for another rebuild, nor while a quit waits for a pass.
bool QuitOrRebuildUnderWay() {
    const App& a = app();
    return a.bQuit || a.bShutdown || a.bQuitUnderWay || Armed(a.oShutdown) || Armed(a.oCleanRamDisk);
}

void Act(const std::string& request) {
    App& a = app();
    if (request == kQuit) {
        // The same gate as a signal or the quit item: last write-back and eject first.
        a.Quit(0);
    } else if (request == kShowActivity) {
        frmState()->Show();
    } else if (request == kPreferences) {
        if (!QuitOrRebuildUnderWay()) a._mnuOptions_Action();
    }
}

// A quit never waits for the start-up; the rest act in their order once it is over.
void RunPending() {
    const bool ready = StartedUp();
    std::deque<std::string> batch;
    batch.swap(gPending);
    std::deque<std::string> waiting;
    for (const std::string& request : batch) {
        if (request == kQuit || ready) {
            Act(request);
        } else {
            waiting.push_back(request);
        }
    }
    gPending.insert(gPending.begin(), waiting.begin(), waiting.end());
    if (gPending.empty() && gRunner) gRunner->SetEnabled(false);
}

void Queue(const std::string& request) {
    gPending.push_back(request);
    if (!gRunner) {
        gRunner = fw::New<fw::Timer>();
        gRunner->SetMode(fw::Timer::ModeMultiple);
        gRunner->SetPeriod(50);
        gRunner->Action = &RunPending;
    }
    gRunner->SetEnabled(true);
}

}  // namespace

std::optional<int> HandOverToRunningProgram(int argc, char** argv) {
    gOwnRequest = RequestOf(argc, argv);
    const fw::InstanceClaim claim = fw::ClaimInstance(kStem, gOwnRequest, gOwnRequest == kQuit);
    switch (claim.kind) {
        case fw::InstanceClaim::Kind::First:
            return std::nullopt;
        case fw::InstanceClaim::Kind::Handed:
        case fw::InstanceClaim::Kind::NoneRunning:
            return 0;
        case fw::InstanceClaim::Kind::Failed:
            break;
    }
    std::fprintf(stderr, "tavelmorinth: %s\n", claim.message.c_str());
    return 1;
}

void ServeLaterStarts() {
    std::string error;
    // Without the socket the program still runs; later starts then say that it does not answer.
    if (!fw::ServeInstanceRequests(&AnswerLaterStart, &error))
        std::fprintf(stderr, "tavelmorinth: later starts cannot reach this program: %s\n", error.c_str());
    // The start shows the activity window anyway; the options window it asked for opens once it can.
    if (gOwnRequest == kPreferences) Queue(kPreferences);
}

void StopServingLaterStarts() {
    fw::StopServingInstanceRequests();
    gPending.clear();
    if (gRunner) gRunner->SetEnabled(false);
    gRunner = nullptr;
}

std::string AnswerLaterStart(const std::string& request) {
    if (request == kQuit || request == kShowActivity || request == kPreferences) {
        // Acted on from a timer, after the answer has gone out.
        Queue(request);
        return "ok";
    }
    if (Extra())
        if (auto answer = Extra()(request)) return *answer;
    return "unknown request";
}

void SetLaterStartExtra(LaterStartExtra extra) { Extra() = std::move(extra); }
