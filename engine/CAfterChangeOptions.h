// The rebuild after the options window: makes the chosen source path current,
// ejects the RAM disk (last write-back first), waits until the volume is gone,
// moves the worker to the chosen folder and builds and loads a new RAM disk.
// With no worker yet (the folder was missing at start) it makes the worker.
#pragma once
#include "framework/Timer.h"

class CAfterChangeOptions : public fw::Timer {
public:
    bool bCleanStarted = false;  // this rebuild's eject has been started

protected:
    void Event_Action() override;

private:
    void Rebuild();
    // After a failed save: the pending settings are dropped and the ones in use
    // stay, with their source folder.
    void DropPendingSettings();
    // ... and the current RAM disk goes on: write-back on, this rebuild ended.
    void KeepCurrentSettings();
    void StartPeriodicWriteBack();
};
