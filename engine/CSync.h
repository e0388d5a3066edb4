// The folder mirror: makes one tree equal to the other, once, on a thread of its
// own. A load (bSet true) makes the RAM disk equal to the source folder, a
// write-back (bSet false) the source folder equal to the RAM disk. Each run is a
// count pass, a copy pass and a delete pass; it reports only through App.
#pragma once
#include <cstdint>
#include <set>
#include <string>
#include <utility>

#include "framework/FolderItem.h"
#include "framework/Ref.h"
#include "framework/Thread.h"

class CSync : public fw::Thread {
public:
    bool bSet() const { return m_bSet; }
    void bSet(bool value) { m_bSet = value; }
    const std::string& sFolderSource() const { return m_sFolderSource; }
    void sFolderSource(const std::string& value) { m_sFolderSource = value; }
    const std::string& sFolderTarget() const { return m_sFolderTarget; }
    void sFolderTarget(const std::string& value) { m_sFolderTarget = value; }
    // A load onto a volume left attached by an earlier run: it deletes nothing,
    // so work that only the RAM disk holds survives until the next write-back.
    bool bKeepTarget() const { return m_bKeepTarget; }
    void bKeepTarget(bool value) { m_bKeepTarget = value; }

    void StartSync();
    virtual void WriteLog(const std::string&) {}

    bool SetBaseTargetFolder(bool direction);
    bool CheckFolder(const fw::Ref<fw::FolderItem>& folder, bool bDelete, bool bCount);
    std::string SwitchFileFromBaseToTarget(const std::string& path) const;
    std::string SwitchFileFromTargetToBase(const std::string& path) const;

    // Hidden name beside an entry under which its replacement is made before it
    // takes the entry's place; leftovers of an interrupted copy go in the delete
    // pass. `tag` tells the kinds of replacement apart.
    static std::string TemporaryName(const std::string& name, const std::string& tag = "link-");
    // The record of the last passes, a file of the program's own at the RAM
    // disk's root that the mirror never copies.
    static constexpr const char* kMomentsName = ".tavelmorinth-moments";

protected:
    void Event_Run() override;

private:
    // Each of these takes the entry itself (links not followed). A failure is
    // the entry's alone: Fail counts and logs it and leaves the entry, and the
    // walk goes on with the next one.
    class Level;
    enum class Copied { Nothing, MadeFolder, Done };
    bool RunPasses();
    bool WalkEntry(const fw::Ref<fw::FolderItem>& entry, bool bDelete, bool bCount,
                   const fw::Ref<fw::FolderItem>& baseFolder, bool atRoot);
    Copied CopyFile(const fw::Ref<fw::FolderItem>& entry);
    void CopyFileSub(const fw::Ref<fw::FolderItem>& entry, const fw::Ref<fw::FolderItem>& counterpart);
    // DeleteFile is given the base folder's counterpart of the entry's folder
    // (Nil when nothing may be deleted) and answers whether the entry is gone.
    bool DeleteFile(const fw::Ref<fw::FolderItem>& entry, const fw::Ref<fw::FolderItem>& baseFolder,
                    bool holdsSpecial);
    // A change of kind written back: the RAM disk's entry is made complete
    // beside the source folder's and only then takes its place.
    bool KindChangeAllowed(const fw::Ref<fw::FolderItem>& entry) const;
    void ReplaceByFolder(const fw::Ref<fw::FolderItem>& entry, const fw::Ref<fw::FolderItem>& counterpart);
    void ReplaceFolderByEntry(const fw::Ref<fw::FolderItem>& entry, const fw::Ref<fw::FolderItem>& counterpart);
    void PutInPlace(const std::string& built, const std::string& target);
    // Changed since the last pass that saw it (see kMomentsName).
    bool ChangedOnRAMDisk(const fw::Ref<fw::FolderItem>& ramEntry) const;
    bool ChangedInSource(const fw::Ref<fw::FolderItem>& sourceEntry) const;
    void KeepSourceCopy(const fw::Ref<fw::FolderItem>& sourceEntry, const fw::Ref<fw::FolderItem>& ramEntry);
    void UpdateMoments(int64_t start);
    bool OpenLevelToOwner();
    bool RemoveLeftover(const fw::Ref<fw::FolderItem>& entry);
    [[noreturn]] void Fail(const std::string& path, int error);
    [[noreturn]] void Fail(const std::string& path, const std::string& reason);
    void Count(const std::string& path, const std::string& reason);
    bool Fits() const;
    void EndSync(bool rootsFound, bool fits);

    bool m_bSet = false;
    std::string m_sFolderSource;
    std::string m_sFolderTarget;
    fw::Ref<fw::FolderItem> oBaseFolder;
    fw::Ref<fw::FolderItem> oTargetFolder;

    bool m_bKeepTarget = false;
    bool m_bDeleteAllowed = false;
    int64_t m_iFailures = 0;
    double m_dSizeMB = 0;
    std::string m_sBaseRoot, m_sTargetRoot;
    std::string m_sCheckMemory, m_sPassState;
    Level* m_pLevel = nullptr;  // the innermost level being walked
    bool m_bMadeFolder = false;  // the next level's target folder was made by this pass
    bool m_bSourceFull = false;  // a write into the source folder found its disk full
    int64_t m_iKeptSpecial = 0;  // FIFOs, sockets and devices left alone so far
    // While a folder is built beside its place: its base path and where it goes.
    std::string m_sRedirectFrom, m_sRedirectTo;
    // Change times in nanoseconds: RAM-disk entries changed at or after
    // m_iRamMoment and source entries changed at or after m_iEndMoment changed
    // since the last pass that saw them; nothing is known without a record.
    bool m_bMoments = false;
    int64_t m_iRamMoment = 0, m_iEndMoment = 0;
    std::string m_sRamRoot;
    std::set<std::string> m_oKeptCopies;  // source files whose copy this pass kept beside them
    // Source files (device, inode) this pass replaced a name of: their other names'
    // change times moved with it, which is no change of the user's.
    std::set<std::pair<uint64_t, uint64_t>> m_oReplacedInSource;
};
