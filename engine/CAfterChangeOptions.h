// The rebuild after the options window: makes the chosen source path current,
// ejects the RAM disk (last write-back first), waits until the volume is gone,
// moves the worker to the chosen folder and builds and loads a new RAM disk.
// With no worker yet (the folder was missing at start) it makes the worker.
#pragma once
#include <cstdint>
#include <string>

#include "framework/Timer.h"

class CAfterChangeOptions : public fw::Timer {
public:
    bool bCleanStarted = false;  // this rebuild's eject has been started

    // This rebuild's eject was refused (the volume in use): the RAM disk goes on
    // as it is, and so do the settings it runs with, in the file too; the choice
    // made in the options window is dropped.
    void EjectRefused();

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

    // The settings the current RAM disk runs with, noted when this rebuild's eject starts.
    struct InUse {
        std::string sSize, sInterval, sPath;
    };
    InUse m_inUse;
    int64_t m_iGuardWaitSince = -1;  // clock time this rebuild began to wait for an earlier guard
};
