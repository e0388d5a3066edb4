// The folder mirror: makes one tree equal to the other, once, on a thread of its
// own. A load (bSet true) makes the RAM disk equal to the source folder, a
// write-back (bSet false) the source folder equal to the RAM disk. Each run is a
// count pass, a copy pass and a delete pass; it reports only through App.
#pragma once
#include <cstdint>
#include <string>

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

    // Hidden name beside a link under which its replacement is copied before it
    // is renamed over it; leftovers of an interrupted copy go in the delete pass.
    static std::string TemporaryName(const std::string& name);

protected:
    void Event_Run() override;

private:
    // Each of these takes the entry itself (links not followed); a failure is
    // counted and ends the walk of the level. DeleteFile answers whether the
    // entry is gone from its folder.
    // CopyFile answers whether it made a folder; DeleteFile is given the base
    // folder's counterpart of the entry's folder (Nil when nothing may be deleted).
    class Level;
    bool CopyFile(const fw::Ref<fw::FolderItem>& entry);
    void CopyFileSub(const fw::Ref<fw::FolderItem>& entry, const fw::Ref<fw::FolderItem>& counterpart);
    bool DeleteFile(const fw::Ref<fw::FolderItem>& entry, const fw::Ref<fw::FolderItem>& baseFolder);
    bool OpenLevelToOwner();
    bool RemoveLeftover(const fw::Ref<fw::FolderItem>& entry);
    [[noreturn]] void Fail();
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
};
