// The periodic write-back: at every firing it asks the RAM-disk worker for a
// write-back unless a pass runs (that firing is dropped, not queued).
#pragma once
#include "framework/Timer.h"

class CTimerCopy : public fw::Timer {
protected:
    void Event_Action() override;
};
