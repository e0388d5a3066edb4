#include "engine/CStartup.h"

#include "app/App.h"
#include "engine/CAfterChangeOptions.h"
#include "engine/CCleanRAMDisk.h"
#include "engine/CShutdown.h"
#include "engine/CTavelmorinth.h"
#include "engine/CTimerCopy.h"
#include "engine/CTimerProgress.h"

CStartup::CStartup() { ++s_iUnfinished; }

CStartup::~CStartup() {
    if (!m_bFinished) --s_iUnfinished;  // made but never run
}

void CStartup::Finished() noexcept {
    m_bFinished = true;
    --s_iUnfinished;
    if (s_iUnfinished > 0 || !s_bQuitAsked) return;
    s_bQuitAsked = false;
    try {
        // Handed to the main thread: the quit now takes the ordinary road.
        app().Quit(0);
    } catch (...) {
        // No application left to quit.
    }
}

void CStartup::Event_Run() {
    App& a = app();
    struct Done {
        CStartup& self;
        ~Done() { self.Finished(); }
    } done{*this};
    a.oCleanRamDisk = fw::New<CCleanRAMDisk>();
    a.oTimerCopy = fw::New<CTimerCopy>();
    a.oTimerCopy->SetMode(fw::Timer::ModeMultiple);
    a.oShutdown = fw::New<CShutdown>();
    auto progress = fw::New<CTimerProgress>();
    progress->Constructor();
    a.oTimerProgress = progress;
    a.oTimerProgress->SetMode(fw::Timer::ModeMultiple);
    a.oTimerProgress->SetPeriod(1);
    a.oTimerProgress->SetEnabled(true);
    a.oTimerCopy->SetPeriod(a.GetSecondsInterval() * 1000);
    a.oTimerCopy->SetEnabled(bEnableTimer);
    a.oAfterChangeOptions = fw::New<CAfterChangeOptions>();
    if (!a.sPath.empty()) {
        auto worker = fw::New<CTavelmorinth>();
        worker->Constructor();
        a.oTavelmorinth = worker;
    } else {
        a.sPath = a.sNewPath;
        a.sNewPath.clear();
    }
}
