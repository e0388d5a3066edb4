#include "engine/CTimerProgress.h"

#include <cmath>

#include "app/App.h"
#include "engine/CTavelmorinth.h"
#include "engine/TimerState.h"
#include "framework/Strings.h"
#include "windows/frmOptions.h"
#include "windows/frmState.h"

void CTimerProgress::Constructor() { oDate = fw::Date(); }

int64_t CTimerProgress::IntervalSeconds(const std::string& token) {
    double seconds;
    if (fw::InStr(token, "S") > 0) {
        seconds = fw::CDbl(fw::Replace(token, "S", "")) * 60 * 60;
    } else if (fw::InStr(token, "m") > 0) {
        seconds = fw::CDbl(fw::Replace(token, "m", "")) * 60;
    } else {
        seconds = fw::CDbl(token);
    }
    return static_cast<int64_t>(std::trunc(seconds));
}

void CTimerProgress::ShowSourceTooLarge() {
    App& a = app();
    if (a.oTimerCopy) a.oTimerCopy->SetEnabled(false);
    a.iProgress = 0;
    frmState()->prgState()->SetValue(0);  // opens a closed activity window again
    a.sState = App::kSizeToLarge();
    if (a.bActivityVisible) frmState()->lblStateRAMDisk()->SetText(a.sState);
    a.bShowOptions = false;
    a.bSleep = true;
    frmOptions()->Show();
}

void CTimerProgress::Event_Action() {
    App& a = app();
    if (a.bShowOptions) {
        ShowSourceTooLarge();
        return;
    }
    if (!a.bActivityVisible) return;
    if (a.bTransactionCopy) {
        auto w = frmState();
        w->prgState()->SetValue(a.iProgress);
        w->lblFolder()->SetText(App::kFolder() + ": " + a.sFolder);
        w->lblStateRAMDisk()->SetText(a.sState);
        bTimeSet = false;
        return;
    }
    if (a.bSleep) {
        frmState()->lblFolder()->SetText(App::kBreak());
        return;
    }
    const fw::Date now;
    auto w = frmState();
    if (!Armed(a.oTimerCopy) || (a.oTavelmorinth && a.oTavelmorinth->NotOurs())) {
        // No write-back is planned, or there is no RAM disk of ours to write
        // back: there is no moment to show.
        w->lblFolder()->SetText("");
        bTimeSet = false;
    } else if (!bTimeSet || now.TotalSeconds() >= oDate.TotalSeconds()) {
        oDate.SetTotalSeconds(now.TotalSeconds() + static_cast<double>(IntervalSeconds(a.sInterval)));
        w->lblFolder()->SetText(App::kNextSync() + " " + oDate.ShortDate() + " " + oDate.LongTime());
        bTimeSet = true;
    }
    w->prgState()->SetValue(a.iProgress);
    w->lblStateRAMDisk()->SetText(a.sState);
}
