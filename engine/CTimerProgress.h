// The progress timer: every millisecond it copies the progress and status the
// synchronisation threads publish in App into the activity window, shows the
// moment of the next write-back between synchronisations, and reacts once to a
// load that found the source folder too large for the RAM disk.
#pragma once
#include "framework/Date.h"
#include "framework/Timer.h"

class CTimerProgress : public fw::Timer {
public:
    // Starts the next-sync reckoning at the current moment.
    void Constructor();

    bool bTimeSet = false;  // oDate holds the next-sync moment of this idle period
    fw::Date oDate;

protected:
    void Event_Action() override;

private:
    void ShowSourceTooLarge();
    static int64_t IntervalSeconds(const std::string& token);
};
