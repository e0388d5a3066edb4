// The eject sequence: a last write-back, then, once no pass runs, the RAM-disk
// lock file is closed and the volume detached; after that the program quits or,
// before a rebuild, the sequence simply stops. Armed by CTavelmorinth.CleanRAMDisk.
#pragma once
#include "framework/Timer.h"

class CCleanRAMDisk : public fw::Timer {
public:
    bool bSaved = false;  // the RAM disk was written back since the sequence was armed
    // Armed with a last write-back (not after a load that did not fit): the
    // volume is detached only when that write-back saved everything.
    bool bWithWriteBack = false;

protected:
    void Event_Action() override;

private:
    void KeepVolume();
    void Detach();
};
