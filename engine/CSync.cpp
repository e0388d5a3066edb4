#include "engine/CSync.h"

#include <sys/stat.h>

#include <cerrno>
#include <cstdio>
#include <functional>
#include <optional>

#include "app/App.h"
#include "engine/CCleanRAMDisk.h"
#include "engine/SyncFaults.h"
#include "framework/Shell.h"
#include "framework/Strings.h"

namespace {

// Thrown once a failure has been counted; it ends the walk of the level.
struct SyncFailure {};

// Copies are written under fw::kCopyTemporaryPrefix beside their destination (by
// CopyFileTo, and by CopyFileSub for a link); what a crash left behind under it
// is removed by the next delete pass.
constexpr size_t kMaxNameBytes = 255;

bool Skipped(const std::string& name) {
    return (!name.empty() && name[0] == '.') || name == "TMP" || name == "TavelmorinthSettings";
}

bool IsLeftover(const std::string& name) { return name.starts_with(fw::kCopyTemporaryPrefix); }

// True when one path is the other or lies inside it.
bool Nested(const std::string& a, const std::string& b) {
    const std::string& shorter = a.size() <= b.size() ? a : b;
    const std::string& longer = a.size() <= b.size() ? b : a;
    if (longer.compare(0, shorter.size(), shorter) != 0) return false;
    return longer.size() == shorter.size() || longer[shorter.size()] == '/' || shorter.back() == '/';
}

}  // namespace

// A folder of the target tree that the pass writes into at one level. One that
// its owner may not write to (a read-only folder of the user's) is opened to
// its owner for as long as the level runs and gets its mode back afterwards,
// so it receives its contents like any other.
class CSync::Level {
public:
    Level(CSync& sync, std::string targetFolder)
        : sync_(sync), outer_(sync.m_pLevel), folder_(std::move(targetFolder)), made_(sync.m_bMadeFolder) {
        sync_.m_pLevel = this;
        sync_.m_bMadeFolder = false;
    }
    ~Level() {
        sync_.m_pLevel = outer_;
        if (opened_ && ::chmod(folder_.c_str(), mode_) != 0 && errno != ENOENT) ++sync_.m_iFailures;
    }
    Level(const Level&) = delete;
    Level& operator=(const Level&) = delete;

    // The pass made the folder just now: nothing in it needs looking for.
    bool Made() const { return made_; }

    // The entry at `path` of the target tree: one of this folder's is looked up
    // in the folder held open rather than along the whole path.
    fw::Ref<fw::FolderItem> Counterpart(const std::string& path) {
        const size_t n = folder_.size();
        if (made_ || path.size() <= n + 1 || path.compare(0, n, folder_) != 0 || path[n] != '/' ||
            path.find('/', n + 1) != std::string::npos) {
            return fw::New<fw::FolderItem>(path, false);
        }
        if (!held_) held_ = fw::New<fw::FolderItem>(folder_);
        return held_->HeldChild(path.substr(n + 1));
    }

    // After a step in the folder failed with EACCES: true when the folder was
    // not open to its owner and is now, so the step is worth another try.
    bool OpenToOwner() {
        if (opened_) return false;
        struct stat st;
        if (::lstat(folder_.c_str(), &st) != 0 || !S_ISDIR(st.st_mode)) return false;
        if ((st.st_mode & S_IRWXU) == S_IRWXU) return false;
        if (::chmod(folder_.c_str(), (st.st_mode & 07777) | S_IRWXU) != 0) return false;
        mode_ = st.st_mode & 07777;
        opened_ = true;
        return true;
    }

private:
    CSync& sync_;
    Level* outer_;
    std::string folder_;
    bool made_;
    fw::Ref<fw::FolderItem> held_;
    mode_t mode_ = 0;
    bool opened_ = false;
};

void CSync::Event_Run() { StartSync(); }

std::string CSync::TemporaryName(const std::string& name) {
    const std::string prefix = std::string(fw::kCopyTemporaryPrefix) + "link-";
    if (prefix.size() + name.size() <= kMaxNameBytes) return prefix + name;
    char hash[32];
    std::snprintf(hash, sizeof hash, "%016zx", std::hash<std::string>{}(name));
    return prefix + hash;
}

void CSync::StartSync() {
    App& a = app();
    m_iFailures = 0;
    m_bDeleteAllowed = false;
    fw::FolderItem::ForgetCopyMethods();
    m_dSizeMB = fw::CDbl(fw::Replace(a.sSize, ".", ""));
    m_sCheckMemory = App::kCheckMemory();
    m_sPassState = m_bSet ? App::kDataWillLoad() : App::kDataWillSaved();
    if (m_bSet) a.dMemUsed = 0;

    bool rootsFound = false;
    bool fits = true;
    try {
        rootsFound = SetBaseTargetFolder(m_bSet);
        if (rootsFound) {
            CheckFolder(oBaseFolder, false, true);
            if (m_bSet && !Fits()) {
                a.bShowOptions = true;
                fits = false;
            } else {
                CheckFolder(oBaseFolder, false, false);
                // Deleting is safe only when the copy pass missed nothing and the
                // target holds nothing the base never had. A load never deletes:
                // a RAM disk is loaded right after it was made, so whatever it
                // holds beyond the source folder was saved there meanwhile (or
                // left by a run that ended without its eject) and would be lost.
                // A write-back deletes in the source folder only after a load
                // that brought everything over.
                m_bDeleteAllowed = m_iFailures == 0 && !m_bSet && a.bLoadComplete;
                // The walk runs also when nothing may be deleted: it clears what an
                // interrupted copy left behind.
                CheckFolder(oTargetFolder, true, false);
            }
        }
    } catch (...) {
        ++m_iFailures;
    }
    EndSync(rootsFound, fits);
}

void CSync::EndSync(bool rootsFound, bool fits) {
    App& a = app();
    a.iProgress = 0;
    a.sFolder.clear();
    const bool clean = rootsFound && fits && m_iFailures == 0;
    a.iSyncFailures = m_iFailures;
    a.bLastSyncComplete = clean;
    if (m_bSet) a.bLoadComplete = clean;
    if (!rootsFound) {
        a.sState = App::kSyncNoRoot();
    } else if (m_iFailures > 0) {
        const std::string text = m_iFailures == 1 ? App::kSyncIncompleteOne() : App::kSyncIncomplete();
        a.sState = fw::Replace(text, "%1", fw::CStr(m_iFailures));
    } else if (!fits || (!m_bSet && !m_bDeleteAllowed)) {
        a.sState = App::kLoadIncomplete();
    } else if (m_bSet && m_bKeepTarget) {
        a.sState = App::kKeptAttached();
    } else {
        a.sState = App::kSyncReady();
    }
    // Only a write-back saves what the RAM disk holds; a load does not count.
    if (!m_bSet && a.oCleanRamDisk) a.oCleanRamDisk->bSaved = true;
    // A root that read its listing keeps its folder open; the volume must be
    // free to detach once the pass is over, however long this object lives.
    if (oBaseFolder) oBaseFolder->Refresh();
    if (oTargetFolder) oTargetFolder->Refresh();
    a.bTransactionCopy = false;  // last: whoever waits for the pass may act now
}

bool CSync::SetBaseTargetFolder(bool direction) {
    oBaseFolder = fw::GetFolderItem(direction ? m_sFolderSource : m_sFolderTarget, 1);
    oTargetFolder = fw::GetFolderItem(direction ? m_sFolderTarget : m_sFolderSource, 1);
    bool result = true;
    if (!oBaseFolder || !oBaseFolder->Exists() || !oBaseFolder->Directory()) result = false;
    if (!oTargetFolder || !oTargetFolder->Exists() || !oTargetFolder->Directory()) result = false;
    if (!result) return false;
    m_sBaseRoot = oBaseFolder->NativePath();
    m_sTargetRoot = oTargetFolder->NativePath();
    // A tree inside the other would be mirrored into itself and delete itself.
    return !Nested(m_sBaseRoot, m_sTargetRoot);
}

bool CSync::Fits() const { return app().dMemUsed / 1024 / 1024 + 60 < m_dSizeMB; }

std::string CSync::SwitchFileFromBaseToTarget(const std::string& path) const {
    return fw::Replace(path, m_sBaseRoot, m_sTargetRoot);
}

std::string CSync::SwitchFileFromTargetToBase(const std::string& path) const {
    return fw::Replace(path, m_sTargetRoot, m_sBaseRoot);
}

void CSync::Fail() {
    ++m_iFailures;
    throw SyncFailure{};
}

bool CSync::CheckFolder(const fw::Ref<fw::FolderItem>& folder, bool bDelete, bool bCount) {
    App& a = app();
    const bool counting = bCount && m_bSet;
    const bool copyPass = !bDelete && !bCount;
    try {
        const std::string folderName = folder->Name();
        // The folder of the target tree that this level writes into, and in the
        // delete pass the base folder whose listing says what stays.
        std::optional<Level> level;
        if (copyPass) level.emplace(*this, SwitchFileFromBaseToTarget(folder->NativePath()));
        if (bDelete && m_bDeleteAllowed) level.emplace(*this, folder->NativePath());
        fw::Ref<fw::FolderItem> baseFolder;
        if (bDelete && m_bDeleteAllowed)
            baseFolder = fw::New<fw::FolderItem>(SwitchFileFromTargetToBase(folder->NativePath()));
        int64_t i = 1;
        for (;;) {
            // The folder is asked before every entry, but at most once per clock
            // tick: entries proposed by a listing are looked at afresh anyway.
            const int64_t count = folder->CountWithinTick();
            if (count == 0 && folder->LastErrorCode() != 0) Fail();  // unreadable, not empty
            if (count < i) break;
            a.iProgress = static_cast<int64_t>(static_cast<double>(i) / (static_cast<double>(count) / 100));
            a.sFolder = folderName;
            const fw::Ref<fw::FolderItem> entry = folder->TrueItem(i);
            if (counting) {
                a.sState = m_sCheckMemory;
                a.dMemUsed += static_cast<double>(entry->Length());
                if (!Fits()) break;
            } else {
                a.sState = m_sPassState;
            }

            const std::string name = entry->Name();
            bool removed = false;
            if (bDelete && IsLeftover(name) && !entry->Directory()) {
                removed = RemoveLeftover(entry);
            } else if (!Skipped(name)) {
                if (entry->Alias() || entry->Directory()) {
                    // A folder or link is copied before its contents; a link is
                    // copied as the link itself and never walked into. A folder
                    // made here gets its mode and dates once its contents are in.
                    const bool made = copyPass && CopyFile(entry);
                    a.iProgress = 0;
                    a.sFolder.clear();
                    m_bMadeFolder = made;
                    if (!entry->Alias()) CheckFolder(entry, bDelete, bCount);
                    m_bMadeFolder = false;
                    if (made && !entry->Alias()) {
                        const auto counterpart =
                            fw::New<fw::FolderItem>(SwitchFileFromBaseToTarget(entry->NativePath()), false);
                        entry->CopyAttributesTo(counterpart);
                        if (entry->LastErrorCode() != 0) Fail();
                    }
                } else if (copyPass) {
                    CopyFile(entry);
                }
                if (bDelete) removed = DeleteFile(entry, baseFolder);
            }
            SyncFaults::EntryDone();
            fw::Thread::YieldToNext();
            // A removed entry's place is taken by the next one: visit it too.
            if (!removed) ++i;
        }
    } catch (const SyncFailure&) {
    } catch (...) {
        ++m_iFailures;  // the entry vanished or could not be read
    }
    return false;
}

bool CSync::CopyFile(const fw::Ref<fw::FolderItem>& entry) {
    const std::string path = entry->NativePath();
    if (SyncFaults::For(path) != 0) Fail();
    const std::string target = SwitchFileFromBaseToTarget(path);
    const auto counterpart = m_pLevel ? m_pLevel->Counterpart(target) : fw::New<fw::FolderItem>(target, false);
    // In a folder made by this pass a copy is put into place only while the
    // place is free, so it need not be looked at first.
    if (m_pLevel && m_pLevel->Made()) counterpart->AssumeMissing();
    if (!counterpart->Exists()) {
        CopyFileSub(entry, counterpart);
        return entry->Directory();
    }
    const bool counterpartIsFolder = counterpart->Directory();
    if (entry->Directory()) {
        if (!counterpartIsFolder) Fail();  // a file there: neither side is given up
        return false;
    }
    bool replace;
    if (counterpartIsFolder) {
        replace = true;  // CopyFileSub decides whether the folder may go
    } else if (m_bSet || !app().bLoadComplete) {
        // After an incomplete load the source folder may hold newer files that
        // never reached the RAM disk: an older copy must not replace them.
        replace = entry->ModificationDate() > counterpart->ModificationDate();
    } else {
        replace = entry->ModificationDate() != counterpart->ModificationDate();
    }
    if (replace) CopyFileSub(entry, counterpart);
    return false;
}

// The counterpart is replaced only by a complete copy: CopyFileTo writes beside
// its destination and renames the copy over it, so a failed or interrupted copy
// leaves the old file as it was.
void CSync::CopyFileSub(const fw::Ref<fw::FolderItem>& entry, const fw::Ref<fw::FolderItem>& counterpart) {
    const std::string target = counterpart->NativePath();
    if (SyncFaults::For(target) != 0) Fail();
    if (entry->Directory()) {
        entry->CopyFolderTo(counterpart);
        if (entry->LastErrorCode() == EACCES && OpenLevelToOwner()) entry->CopyFolderTo(counterpart);
        if (entry->LastErrorCode() != 0) Fail();
        return;
    }
    if (counterpart->Exists() && counterpart->Directory()) {
        if (counterpart->Count() != 0) Fail();  // never give up a folder's contents for a file
        counterpart->Delete();
        if (counterpart->LastErrorCode() == EACCES && OpenLevelToOwner()) counterpart->Delete();
        if (counterpart->LastErrorCode() != 0) Fail();
    }
    if (!counterpart->Alias()) {
        entry->CopyFileTo(counterpart);
        if (entry->LastErrorCode() == EACCES && OpenLevelToOwner()) entry->CopyFileTo(counterpart);
        if (entry->LastErrorCode() != 0) Fail();
        return;
    }
    // A copy onto a link to a folder would land inside that folder: copy beside
    // the link and rename over it, which replaces the link itself.
    const auto temp = fw::New<fw::FolderItem>(
        target.substr(0, target.rfind('/') + 1) + TemporaryName(counterpart->Name()), false);
    entry->CopyFileTo(temp);
    if (entry->LastErrorCode() == EACCES && OpenLevelToOwner()) entry->CopyFileTo(temp);
    int error = entry->LastErrorCode();
    if (error == 0) {
        temp->MoveFileTo(counterpart);
        error = temp->LastErrorCode();
    }
    if (error != 0) {
        temp->Refresh();
        if (temp->Exists()) temp->Delete();
        Fail();
    }
}

bool CSync::DeleteFile(const fw::Ref<fw::FolderItem>& entry, const fw::Ref<fw::FolderItem>& baseFolder) {
    if (!m_bDeleteAllowed) return false;
    const std::string path = entry->NativePath();
    // The base folder's listing can only say too late that an entry is gone,
    // which keeps a file one pass longer; a name it lacks is looked up afresh.
    if (baseFolder && baseFolder->HasEntry(entry->Name())) return false;
    if (fw::FolderItem(SwitchFileFromTargetToBase(path), false).Exists()) return false;
    // "rm -rf" is given nothing that does not lie inside the target tree.
    if (path.size() <= m_sTargetRoot.size() + 1 || path.compare(0, m_sTargetRoot.size(), m_sTargetRoot) != 0 ||
        path[m_sTargetRoot.size()] != '/') {
        Fail();
    }
    if (SyncFaults::For(path) != 0) Fail();
    entry->Delete();
    if (entry->LastErrorCode() == EACCES && OpenLevelToOwner()) entry->Delete();
    if (entry->LastErrorCode() == 0) return true;
    // What Delete could not remove (a folder that still holds skipped entries).
    fw::Shell shell;
    shell.Execute("rm -rf " + entry->ShellPath());
    entry->Refresh();
    if (shell.ErrorCode() != 0 || entry->Exists()) Fail();
    return true;
}

bool CSync::OpenLevelToOwner() { return m_pLevel && m_pLevel->OpenToOwner(); }

bool CSync::RemoveLeftover(const fw::Ref<fw::FolderItem>& entry) {
    entry->Delete();
    if (entry->LastErrorCode() != 0) Fail();
    return true;
}
