// The start-up thread: creates the long-lived worker objects, arms the progress
// and write-back timers and, when a source folder is set, makes the RAM-disk
// worker (which creates the RAM disk and starts its first load).
#pragma once
#include "framework/Thread.h"

class CStartup : public fw::Thread {
public:
    CStartup();
    ~CStartup() override;

    bool bEnableTimer = true;  // initial state of the write-back timer

    // True from the making of a start-up thread (before it runs, too) until it
    // has made the workers (the worker's constructor may wait for the volume's
    // creation meanwhile).
    static bool Unfinished() { return s_iUnfinished > 0; }
    // A quit that came meanwhile: asked again once the workers are made.
    static void QuitWhenDone() { s_bQuitAsked = true; }
    static bool QuitAsked() { return s_bQuitAsked; }

protected:
    void Event_Run() override;

private:
    void Finished() noexcept;

    bool m_bFinished = false;
    inline static int s_iUnfinished = 0;
    inline static bool s_bQuitAsked = false;
};
