// The RAM-disk worker: creates the volume, makes the "TMP" folders, holds the two
// lock files open and starts every synchronisation. Its own thread runs only for
// an instant per synchronisation: it claims App.bTransactionCopy and starts a CSync.
#pragma once
#include <string>

#include "engine/Roots.h"
#include "framework/Ref.h"
#include "framework/TextStream.h"
#include "framework/Thread.h"

class CTavelmorinth : public fw::Thread {
public:
    void CleanRAMDisk();
    void Constructor();
    void CopyFilesToRAM();
    void Create();
    void CreateLock();

    // Builds the command line that creates the volume for the size text
    // (sectors of 512 bytes, 1953 per MB).
    static std::string CreationCommand(const std::string& sizeText);

    // Create found no RAM disk of ours at sTargetpath and made none: no pass runs
    // and the entry there is never touched.
    bool NotOurs() const { return m_bNotOurs; }

    // The source folder and the RAM disk as Create found them before its load.
    const RootsHeld& Roots() const { return m_oRoots; }
    RootsHeld::Verdict CheckRoots() const { return m_oRoots.Check(sSourcePath, sTargetpath); }
    bool VolumeStillHeld() const { return m_oRoots.VolumeStillHeld(sTargetpath); }
    // The loaded source folder no longer at `sourceShellPath` (its disk unmounted, it replaced or renamed).
    bool SourceMovedFrom(const std::string& sourceShellPath) const {
        return sourceShellPath == sSourcePath && m_oRoots.SourceMoved(sSourcePath);
    }
    // The status for a pass or an eject that found a root changed.
    std::string RootsChangedText(RootsHeld::Verdict verdict) const;

    bool bSet = false;          // direction of the next pass: true load, false write-back
    fw::Ref<fw::TextOutputStream> oDat;        // lock file on the RAM disk
    fw::Ref<fw::TextOutputStream> oDatSource;  // lock file in the source folder
    std::string sSourcePath;
    std::string sTargetpath;

protected:
    void Event_Run() override;

private:
    // What "hdiutil probe" answers for sTargetpath: one of the tools' exit codes.
    int ProbeVolume() const;
    void RefusePass(RootsHeld::Verdict verdict);

    // Create asked for a load that has not started yet; a write-back request in
    // between must not turn it into a write-back of the empty RAM disk.
    bool m_bLoadPending = false;
    // The volume was found attached by Create: its next load keeps what only it has.
    bool m_bKeptAttached = false;
    bool m_bNotOurs = false;
    RootsHeld m_oRoots;
};
