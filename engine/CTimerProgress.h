// The progress timer: every millisecond it copies the progress and status the
// synchronisation threads publish in App into the activity window, shows the
// moment of the next write-back between synchronisations, and reacts once to a
// load that found the source folder too large for the RAM disk.
#pragma once
#include <memory>

#include "framework/Controls.h"
#include "framework/Date.h"
#include "framework/Timer.h"

class frmState;

class CTimerProgress : public fw::Timer {
public:
    // Starts the next-sync reckoning at the current moment.
    void Constructor();

    bool bTimeSet = false;  // oDate holds the next-sync moment of this idle period
    fw::Date oDate;

protected:
    void Event_Action() override;

private:
    // The open activity window's controls, looked up once per window rather
    // than by name at every firing; held weakly, so a closed window goes as before.
    struct View {
        fw::Ref<fw::ProgressBar> progress;
        fw::Ref<fw::Label> folder, state;
    };
    View OpenView();
    void ShowSourceTooLarge();
    std::weak_ptr<frmState> m_window;
    std::weak_ptr<fw::ProgressBar> m_progress;
    std::weak_ptr<fw::Label> m_folder, m_state;
    static int64_t IntervalSeconds(const std::string& token);
};
