#include "engine/CStartup.h"

#include "app/App.h"
#include "engine/CAfterChangeOptions.h"
#include "engine/CCleanRAMDisk.h"
#include "engine/CShutdown.h"
#include "engine/CTavelmorinth.h"
#include "engine/CTimerCopy.h"
#include "engine/CTimerProgress.h"

void CStartup::Event_Run() {
    App& a = app();
    s_bRunning = true;
    struct Done {
        ~Done() { s_bRunning = false; }
    } done;
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
