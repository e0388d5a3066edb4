// The start-up thread: creates the long-lived worker objects, arms the progress
// and write-back timers and, when a source folder is set, makes the RAM-disk
// worker (which creates the RAM disk and starts its first load).
#pragma once
#include "framework/Thread.h"

class CStartup : public fw::Thread {
public:
    bool bEnableTimer = true;  // initial state of the write-back timer

protected:
    void Event_Run() override;
};
