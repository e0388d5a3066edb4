// The eject sequence: a last write-back, then, once no pass runs, the RAM-disk
// lock file is closed and the volume detached; after that the program quits or,
// before a rebuild, the sequence simply stops. Armed by CTavelmorinth.CleanRAMDisk.
#pragma once
#include <memory>

#include "engine/Roots.h"
#include "framework/FileSystem.h"
#include "framework/Timer.h"

class CCleanRAMDisk : public fw::Timer {
public:
    bool bWriteBackEnded = false;  // a write-back ended (failed ones too) since the sequence was armed

protected:
    void Event_Action() override;

private:
    void KeepVolume();
    void EndWithoutTheRoots(RootsHeld::Verdict verdict);
    bool FlushedToDisk();
    bool Detach();

    // Opened on the source folder when the last write-back is asked for, so that
    // the flush before the detach reports every write of that write-back that failed.
    std::unique_ptr<fw::FileSystemFlush> m_oFlush;
};
