// The start-up thread: creates the long-lived worker objects, arms the progress
// and write-back timers and, when a source folder is set, makes the RAM-disk
// worker (which creates the RAM disk and starts its first load).
#pragma once
#include "framework/Thread.h"

class CStartup : public fw::Thread {
public:
    bool bEnableTimer = true;  // initial state of the write-back timer

    // True while a start-up thread makes the workers (the worker's constructor
    // may wait for the volume's creation meanwhile).
    static bool Running() { return s_bRunning; }

protected:
    void Event_Run() override;

private:
    inline static bool s_bRunning = false;
};
