#include "engine/CTimerProgress.h"

#include <cmath>

#include "app/App.h"
#include "engine/CTavelmorinth.h"
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

CTimerProgress::View CTimerProgress::OpenView() {
    if (const auto w = m_window.lock(); w && w->IsOpen()) {
        View v{m_progress.lock(), m_folder.lock(), m_state.lock()};
        if (v.progress && v.folder && v.state) return v;
    }
    const auto w = frmState();
    View v{w->prgState(), w->lblFolder(), w->lblStateRAMDisk()};
    m_window = w.shared();
    m_progress = v.progress.shared();
    m_folder = v.folder.shared();
    m_state = v.state.shared();
    return v;
}

void CTimerProgress::Event_Action() {
    App& a = app();
    if (a.bShowOptions) {
        ShowSourceTooLarge();
        return;
    }
    if (!a.bActivityVisible) return;
    if (a.bTransactionCopy) {
        const View w = OpenView();
        w.progress->SetValue(a.iProgress);
        w.folder->SetText(App::kFolder() + ": " + a.sFolder);
        w.state->SetText(a.sState);
        bTimeSet = false;
        return;
    }
    if (a.bSleep) {
        OpenView().folder->SetText(App::kBreak());
        return;
    }
    const fw::Date now;
    const View w = OpenView();
    if (a.oTavelmorinth && a.oTavelmorinth->NotOurs()) {
        // No RAM disk of ours to write back: there is no moment to show. A
        // write-back timer that is off (a quit, a rebuild, a missing folder)
        // still leaves the moment shown.
        w.folder->SetText("");
        bTimeSet = false;
    } else if (!bTimeSet || now.TotalSeconds() >= oDate.TotalSeconds()) {
        oDate.SetTotalSeconds(now.TotalSeconds() + static_cast<double>(IntervalSeconds(a.sInterval)));
        w.folder->SetText(App::kNextSync() + " " + oDate.ShortDate() + " " + oDate.LongTime());
        bTimeSet = true;
    }
    w.progress->SetValue(a.iProgress);
    w.state->SetText(a.sState);
}
