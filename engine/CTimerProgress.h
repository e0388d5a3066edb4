// Placeholder until the activity-window updater lands with the windows.
#pragma once
#include "framework/Timer.h"

class CTimerProgress : public fw::Timer {
public:
    void Constructor();

protected:
    void Event_Action() override;
};
