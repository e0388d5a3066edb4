#include "engine/CSync.h"

#include <sched.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <ctime>
#include <functional>
#include <optional>
#include <string_view>

#include "app/App.h"
#include "engine/CCleanRAMDisk.h"
#include "engine/SyncFaults.h"
#include "framework/FileSystem.h"
#include "framework/Log.h"
#include "framework/Strings.h"

namespace {

// Thrown once a failure has been counted; it ends the walk of the level.
struct SyncFailure {};

// Copies are written under fw::kCopyTemporaryPrefix beside their destination (by
// CopyFileTo, and by CopyFileSub for a link); what a crash left behind under it
// is removed by the next delete pass.
constexpr size_t kMaxNameBytes = 255;

bool IsLeftover(std::string_view name) { return name.starts_with(fw::kCopyTemporaryPrefix); }

// The desktop's trash folder of a volume, ".Trash-<uid>", at its root.
bool IsTrash(const std::string& name) {
    constexpr std::string_view prefix = ".Trash-";
    if (!name.starts_with(prefix) || name.size() == prefix.size()) return false;
    return name.find_first_not_of("0123456789", prefix.size()) == std::string::npos;
}

// Hidden names are the user's like any other; only the program's own folders and
// files and, at a root, the desktop's trash are left out, on either side.
bool Skipped(const std::string& name, bool atRoot) {
    if (name == "TMP" || name == "TavelmorinthSettings" || IsLeftover(name)) return true;
    return atRoot && (IsTrash(name) || name.starts_with(CSync::kMomentsName));
}

std::string Parent(const std::string& path) { return path.substr(0, path.rfind('/')); }

int Remove(const std::string& path) { return fw::RemoveEntry(path); }

// The change time of the record file, touched now: the file system's own clock.
// What changed before bears an earlier time, and what changes after it at least
// this one.
int64_t Probe(const std::string& record) { return fw::TouchedFileChangeTime(record); }

// The same for a folder of the user's, left as it is but for its change time.
int64_t ProbeFolder(const std::string& folder) { return fw::TouchedFolderChangeTime(folder); }

// Elsewhere file times come from a clock that moves in ticks of a few milliseconds.
void WaitForNextTick() {
    timespec first{}, now{};
    ::clock_gettime(CLOCK_REALTIME_COARSE, &first);
    for (int i = 0; i < 100000; ++i) {
        ::clock_gettime(CLOCK_REALTIME_COARSE, &now);
        if (now.tv_sec != first.tv_sec || now.tv_nsec != first.tv_nsec) return;
        ::sched_yield();
    }
}

// "<RAM-disk moment> <source moment>"; the source moment is 0 when unknown.
bool ReadMoments(const std::string& record, int64_t& ram, int64_t& end) {
    std::string text;
    if (!fw::ReadFileStart(record, 4096, text)) return false;
    long long r = 0, e = 0;
    const bool ok = std::sscanf(text.c_str(), "%lld %lld", &r, &e) == 2 && r > 0 && e >= 0;
    ram = r;
    end = e;
    return ok;
}

bool WriteMoments(const std::string& record, int64_t ram, int64_t end) {
    return fw::ReplaceSmallFile(record, std::to_string(ram) + " " + std::to_string(end) + "\n");
}

// "name (source copy 2026-12-11 021500).ext", within NAME_MAX.
std::string ConflictName(const std::string& name, int attempt) {
    const size_t dot = name.rfind('.');
    std::string stem = dot == std::string::npos || dot == 0 ? name : name.substr(0, dot);
    const std::string ext = dot == std::string::npos || dot == 0 ? "" : name.substr(dot);
    const std::time_t now = std::time(nullptr);
    std::tm local{};
    ::localtime_r(&now, &local);
    char when[64];
    std::strftime(when, sizeof when, "%Y-%m-%d %H%M%S", &local);
    std::string suffix = " (source copy ";
    suffix.append(when);
    if (attempt > 1) suffix.append(" ").append(std::to_string(attempt));
    suffix.append(")");
    size_t room = kMaxNameBytes - std::min(kMaxNameBytes, suffix.size() + ext.size());
    if (stem.size() > room) {
        while (room > 0 && (static_cast<unsigned char>(stem[room]) & 0xC0) == 0x80) --room;  // whole characters
        stem.resize(room);
    }
    return stem + suffix + ext;
}

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
        if (!opened_) return;
        if (const int error = fw::SetMode(folder_, mode_); error != 0 && error != ENOENT) {
            sync_.Count(folder_, "its permissions could not be given back: " + fw::ErrorText(error));
        }
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
        constexpr int kOwnerAll = 0700;
        int mode = 0;
        if (fw::FolderMode(folder_, mode) != 0) return false;
        if ((mode & kOwnerAll) == kOwnerAll) return false;
        if (fw::SetMode(folder_, mode | kOwnerAll) != 0) return false;
        mode_ = mode;
        opened_ = true;
        return true;
    }

private:
    CSync& sync_;
    Level* outer_;
    std::string folder_;
    bool made_;
    fw::Ref<fw::FolderItem> held_;
    int mode_ = 0;
    bool opened_ = false;
};

void CSync::Event_Run() { StartSync(); }

std::string CSync::TemporaryName(const std::string& name, const std::string& tag) {
    // A long name is stood for by its hash, so the temporary is never longer than
    // the final name when that one is long, and only a few bytes longer otherwise.
    const std::string prefix = std::string(fw::kCopyTemporaryPrefix) + tag;
    if (name.size() <= 16) return prefix + name;
    char hash[32];
    std::snprintf(hash, sizeof hash, "%016zx", std::hash<std::string>{}(name));
    return prefix + hash;
}

void CSync::StartSync() {
    App& a = app();
    m_iFailures = 0;
    m_bSourceFull = false;
    m_bDeleteAllowed = false;
    m_oKeptCopies.clear();
    m_oReplacedInSource.clear();
    fw::FolderItem::ForgetCopyMethods();
    m_dSizeMB = fw::CDbl(fw::Replace(a.sSize, ".", ""));
    m_sCheckMemory = App::kCheckMemory();
    m_sPassState = m_bSet ? App::kDataWillLoad() : App::kDataWillSaved();
    if (m_bSet) a.dMemUsed = 0;

    bool rootsFound = false;
    bool fits = true;
    try {
        rootsFound = SetBaseTargetFolder(m_bSet);
        if (rootsFound) fits = RunPasses();
    } catch (...) {
        Count(m_bSet ? m_sFolderSource : m_sFolderTarget, "the pass ended early");
    }
    EndSync(rootsFound, fits);
}

// The three walks over roots that were found; false when a load does not fit.
bool CSync::RunPasses() {
    App& a = app();
    CheckFolder(oBaseFolder, false, true);
    if (m_bSet && !Fits()) {
        a.bShowOptions = true;
        return false;
    }
    m_sRamRoot = m_bSet ? m_sTargetRoot : m_sBaseRoot;
    const std::string record = m_sRamRoot + "/" + kMomentsName;
    m_bMoments = ReadMoments(record, m_iRamMoment, m_iEndMoment);
    // What changes on the RAM disk from here on is seen by the next pass; what
    // changed before bears an earlier time.
    WaitForNextTick();
    const int64_t start = Probe(record);
    CheckFolder(oBaseFolder, false, false);
    // Deleting is safe only when the copy pass missed nothing and the target
    // holds nothing the base never had. A load never deletes: a RAM disk is
    // loaded right after it was made, so whatever it holds beyond the source
    // folder was saved there meanwhile (or left by a run that ended without its
    // eject) and would be lost. A write-back deletes in the source folder only
    // after a load that brought everything over.
    m_bDeleteAllowed = m_iFailures == 0 && !m_bSet && a.bLoadComplete;
    // The walk runs also when nothing may be deleted: it clears what an
    // interrupted copy left behind.
    CheckFolder(oTargetFolder, true, false);
    UpdateMoments(start);
    return true;
}

// A write-back without failures saved every change made before it began; one
// with failures and a load onto a RAM disk that already had a record keep the
// older moment, so that nothing changed since then is taken as saved. The
// source folder is as the mirror left it at the end of every pass; that moment
// is taken on the source folder's own file system, whose clock stamps its files,
// from its root's change time.
void CSync::UpdateMoments(int64_t start) {
    const std::string record = m_sRamRoot + "/" + kMomentsName;
    // Everything this pass wrote bears an earlier time than what comes next.
    WaitForNextTick();
    const int64_t end = Probe(record);
    if (end == 0) return;
    const int64_t sourceEnd = ProbeFolder(m_bSet ? m_sBaseRoot : m_sTargetRoot);
    int64_t ram;
    if (m_bSet) {
        ram = m_bMoments ? m_iRamMoment : end;
    } else if (m_iFailures == 0 && start != 0) {
        ram = start;
    } else if (m_bMoments) {
        ram = m_iRamMoment;
    } else {
        return;
    }
    if (!WriteMoments(record, ram, sourceEnd)) fw::Log("The record of the last pass could not be written: " + record);
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
        a.sState = fw::Replace(text, "%1", fw::CStr(m_iFailures)) + " " +
                   (m_bSourceFull ? App::kSyncSourceFull() : App::kSyncSeeLog());
    } else if (!fits || (!m_bSet && !m_bDeleteAllowed)) {
        a.sState = App::kLoadIncomplete();
    } else if (m_bSet && m_bKeepTarget) {
        a.sState = App::kKeptAttached();
    } else {
        a.sState = App::kSyncReady();
    }
    // Only a write-back saves what the RAM disk holds; a load does not count.
    if (!m_bSet && a.oCleanRamDisk) a.oCleanRamDisk->bWriteBackEnded = true;
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
    const size_t n = m_sRedirectFrom.size();
    if (n != 0 && path.compare(0, n, m_sRedirectFrom) == 0 && (path.size() == n || path[n] == '/'))
        return m_sRedirectTo + path.substr(n);
    return fw::Replace(path, m_sBaseRoot, m_sTargetRoot);
}

std::string CSync::SwitchFileFromTargetToBase(const std::string& path) const {
    return fw::Replace(path, m_sTargetRoot, m_sBaseRoot);
}

void CSync::Count(const std::string& path, const std::string& reason) {
    ++m_iFailures;
    fw::Log(std::string(m_bSet ? "Load" : "Write-back") + ": not synchronized: " + path + ": " + reason);
}

void CSync::Fail(const std::string& path, const std::string& reason) {
    Count(path, reason);
    throw SyncFailure{};
}

void CSync::Fail(const std::string& path, int error) {
    if (!m_bSet && (error == ENOSPC || error == EDQUOT)) m_bSourceFull = true;
    Fail(path, fw::ErrorText(error));
}

bool CSync::CheckFolder(const fw::Ref<fw::FolderItem>& folder, bool bDelete, bool bCount) {
    App& a = app();
    const bool counting = bCount && m_bSet;
    const bool copyPass = !bDelete && !bCount;
    std::string folderPath;
    try {
        folderPath = folder->NativePath();
        const std::string folderName = folder->Name();
        const bool atRoot = folderPath == m_sBaseRoot || folderPath == m_sTargetRoot;
        // The folder of the target tree that this level writes into, and in the
        // delete pass the base folder whose listing says what stays.
        std::optional<Level> level;
        if (copyPass) level.emplace(*this, SwitchFileFromBaseToTarget(folderPath));
        if (bDelete && m_bDeleteAllowed) level.emplace(*this, folderPath);
        fw::Ref<fw::FolderItem> baseFolder;
        if (bDelete && m_bDeleteAllowed) baseFolder = fw::New<fw::FolderItem>(SwitchFileFromTargetToBase(folderPath));
        int64_t i = 1;
        for (;;) {
            // The folder is asked before every entry, but at most once per clock
            // tick: entries proposed by a listing are looked at afresh anyway.
            const int64_t count = folder->CountWithinTick();
            if (count == 0 && folder->LastErrorCode() != 0) Fail(folderPath, folder->LastErrorCode());
            if (count < i) break;
            a.iProgress = static_cast<int64_t>(static_cast<double>(i) / (static_cast<double>(count) / 100));
            a.sFolder = folderName;
            // A plain file that the count pass of a write-back or the delete pass
            // leaves as it is gets no item of its own: only a folder is walked
            // into, only a leftover or a file that the base folder lacks acted on.
            std::string_view listedName;
            if (!counting && !copyPass && folder->ListedFile(i, listedName) && !IsLeftover(listedName) &&
                (bCount || !m_bDeleteAllowed || baseFolder->HasEntry(listedName))) {
                a.sState = m_sPassState;
                SyncFaults::EntryDone();
                fw::Thread::YieldToNext();
                ++i;
                continue;
            }
            const fw::Ref<fw::FolderItem> entry = folder->TrueItem(i);
            if (counting) {
                a.sState = m_sCheckMemory;
                a.dMemUsed += static_cast<double>(entry->Length());
                if (!Fits()) break;
            } else {
                a.sState = m_sPassState;
            }
            bool removed = false;
            try {
                removed = WalkEntry(entry, bDelete, bCount, baseFolder, atRoot);
            } catch (const SyncFailure&) {
                // Counted and logged: the entry stays as it is, the walk goes on.
            } catch (...) {
                Count(entry ? entry->NativePath() : folderPath, "it vanished or could not be read");
            }
            SyncFaults::EntryDone();
            fw::Thread::YieldToNext();
            // A removed entry's place is taken by the next one: visit it too.
            if (!removed) ++i;
        }
    } catch (const SyncFailure&) {
    } catch (...) {
        Count(folderPath, "the folder vanished or could not be read");
    }
    return false;
}

bool CSync::WalkEntry(const fw::Ref<fw::FolderItem>& entry, bool bDelete, bool bCount,
                      const fw::Ref<fw::FolderItem>& baseFolder, bool atRoot) {
    App& a = app();
    const bool copyPass = !bDelete && !bCount;
    const std::string name = entry->Name();
    if (IsLeftover(name)) return bDelete && RemoveLeftover(entry);
    if (Skipped(name, atRoot)) return false;
    if (entry->Alias() || entry->Directory()) {
        // A folder or link is copied before its contents; a link is copied as
        // the link itself and never walked into. A folder made here gets its
        // mode and dates once its contents are in.
        const Copied copied = copyPass ? CopyFile(entry) : Copied::Nothing;
        a.iProgress = 0;
        a.sFolder.clear();
        bool holdsSpecial = false;
        if (!entry->Alias() && copied != Copied::Done) {
            const bool made = copied == Copied::MadeFolder;
            const int64_t kept = m_iKeptSpecial;
            m_bMadeFolder = made;
            CheckFolder(entry, bDelete, bCount);
            m_bMadeFolder = false;
            holdsSpecial = m_iKeptSpecial != kept;
            if (made) {
                const auto counterpart =
                    fw::New<fw::FolderItem>(SwitchFileFromBaseToTarget(entry->NativePath()), false);
                entry->CopyAttributesTo(counterpart);
                if (entry->LastErrorCode() != 0) Fail(counterpart->NativePath(), entry->LastErrorCode());
            }
        }
        return bDelete && DeleteFile(entry, baseFolder, holdsSpecial);
    }
    if (copyPass) {
        // FIFOs, sockets and device nodes are no data to save: left alone.
        if (entry->Special()) {
            ++m_iKeptSpecial;
            return false;
        }
        CopyFile(entry);
    }
    return bDelete && DeleteFile(entry, baseFolder, false);
}

bool CSync::ChangedOnRAMDisk(const fw::Ref<fw::FolderItem>& ramEntry) const {
    return m_bMoments && ramEntry->ChangeTimeNs() >= m_iRamMoment;
}

bool CSync::ChangedInSource(const fw::Ref<fw::FolderItem>& sourceEntry) const {
    if (!m_bMoments || m_iEndMoment == 0 || sourceEntry->ChangeTimeNs() < m_iEndMoment) return false;
    if (m_oReplacedInSource.empty()) return true;
    const auto id = fw::IdentityAt(sourceEntry->NativePath(), false);
    return !id || !m_oReplacedInSource.contains({id->device, id->inode});
}

CSync::Copied CSync::CopyFile(const fw::Ref<fw::FolderItem>& entry) {
    const std::string path = entry->NativePath();
    if (const int fault = SyncFaults::For(path)) Fail(path, fault);
    const std::string target = SwitchFileFromBaseToTarget(path);
    const auto counterpart = m_pLevel ? m_pLevel->Counterpart(target) : fw::New<fw::FolderItem>(target, false);
    // In a folder made by this pass a copy is put into place only while the
    // place is free, so it need not be looked at first.
    if (m_pLevel && m_pLevel->Made()) counterpart->AssumeMissing();
    if (!counterpart->Exists()) {
        CopyFileSub(entry, counterpart);
        return entry->Directory() ? Copied::MadeFolder : Copied::Nothing;
    }
    if (counterpart->Special()) {
        // The source folder keeps its entry; a file of the RAM disk's could not
        // be saved, which the eject must wait for.
        if (m_bSet) {
            fw::Log("Not loaded: " + path + ": a FIFO, socket or device node has its name on the RAM disk");
            return Copied::Nothing;
        }
        Fail(target, "a FIFO, socket or device node has its name");
    }
    const bool counterpartIsFolder = counterpart->Directory();
    if (entry->Directory()) {
        if (counterpartIsFolder) return Copied::Nothing;
        if (!KindChangeAllowed(entry)) Fail(target, "a file or link has the name of a folder to be copied");
        ReplaceByFolder(entry, counterpart);
        return Copied::Done;
    }
    const bool bothFiles = !counterpartIsFolder && !entry->Alias() && !counterpart->Alias();
    bool replace;
    if (counterpartIsFolder) {
        replace = true;  // CopyFileSub decides whether the folder may go
    } else if (m_bSet) {
        // A file changed on a RAM disk that was kept is the user's work: a load
        // never replaces it, and a source copy changed too is kept beside it.
        if (ChangedOnRAMDisk(counterpart)) {
            if (bothFiles && ChangedInSource(entry) && (entry->ModificationDate() != counterpart->ModificationDate() ||
                                           entry->Length() != counterpart->Length())) {
                KeepSourceCopy(entry, counterpart);
            }
            replace = false;
        } else {
            replace = entry->ModificationDate() > counterpart->ModificationDate();
        }
    } else if (ChangedOnRAMDisk(entry)) {
        // Changed since the last pass: saved whatever its date says.
        replace = true;
        if (bothFiles && ChangedInSource(counterpart) && (entry->ModificationDate() != counterpart->ModificationDate() ||
                                             entry->Length() != counterpart->Length())) {
            KeepSourceCopy(counterpart, entry);
        }
    } else if (!app().bLoadComplete) {
        // After an incomplete load the source folder may hold newer files that
        // never reached the RAM disk: an older copy must not replace them.
        replace = entry->ModificationDate() > counterpart->ModificationDate();
    } else {
        replace = entry->ModificationDate() != counterpart->ModificationDate();
    }
    if (replace && !m_bSet && bothFiles) {
        if (const auto id = fw::IdentityAt(counterpart->NativePath(), false))
            m_oReplacedInSource.insert({id->device, id->inode});
    }
    if (replace) CopyFileSub(entry, counterpart);
    return Copied::Nothing;
}

// Both versions changed since the last pass: the source folder's is kept under a
// name of its own on both sides, so that no later pass removes it.
void CSync::KeepSourceCopy(const fw::Ref<fw::FolderItem>& sourceEntry, const fw::Ref<fw::FolderItem>& ramEntry) {
    // The copy may take a place before the file in the listing being walked, so
    // that the walk comes to the file again: once per pass is enough.
    if (!m_oKeptCopies.insert(sourceEntry->NativePath()).second) return;
    const std::string sourceFolder = Parent(sourceEntry->NativePath());
    const std::string ramFolder = Parent(ramEntry->NativePath());
    std::string name;
    for (int attempt = 1;; ++attempt) {
        name = ConflictName(sourceEntry->Name(), attempt);
        if (!fw::EntryExists(sourceFolder + "/" + name) && !fw::EntryExists(ramFolder + "/" + name)) break;
        if (attempt == 100) Fail(sourceEntry->NativePath(), "changed on both sides, and no free name for its copy");
    }
    for (const std::string& folder : {sourceFolder, ramFolder}) {
        const auto copy = fw::New<fw::FolderItem>(folder + "/" + name, false);
        sourceEntry->CopyFileTo(copy);
        if (sourceEntry->LastErrorCode() == EACCES && OpenLevelToOwner()) sourceEntry->CopyFileTo(copy);
        if (sourceEntry->LastErrorCode() != 0) Fail(copy->NativePath(), sourceEntry->LastErrorCode());
    }
    fw::Log("Changed in the source folder and on the RAM disk since the last pass: " + sourceEntry->NativePath() +
            "; the source folder's version is kept as \"" + name + "\" on both sides");
}

// The counterpart is replaced only by a complete copy: CopyFileTo writes beside
// its destination and renames the copy over it, so a failed or interrupted copy
// leaves the old file as it was.
void CSync::CopyFileSub(const fw::Ref<fw::FolderItem>& entry, const fw::Ref<fw::FolderItem>& counterpart) {
    const std::string target = counterpart->NativePath();
    if (const int fault = SyncFaults::For(target)) Fail(target, fault);
    if (entry->Directory()) {
        entry->CopyFolderTo(counterpart);
        if (entry->LastErrorCode() == EACCES && OpenLevelToOwner()) entry->CopyFolderTo(counterpart);
        if (entry->LastErrorCode() != 0) Fail(target, entry->LastErrorCode());
        return;
    }
    if (counterpart->Exists() && counterpart->Directory()) {
        if (counterpart->Count() != 0) {
            // Never give up a folder's contents for a file, unless the RAM disk's
            // change of kind is to be written back.
            if (!KindChangeAllowed(entry)) Fail(target, "a folder with contents has the name of a file to be copied");
            ReplaceFolderByEntry(entry, counterpart);
            return;
        }
        counterpart->Delete();
        if (counterpart->LastErrorCode() == EACCES && OpenLevelToOwner()) counterpart->Delete();
        if (counterpart->LastErrorCode() != 0) Fail(target, counterpart->LastErrorCode());
    }
    if (!counterpart->Alias()) {
        entry->CopyFileTo(counterpart);
        if (entry->LastErrorCode() == EACCES && OpenLevelToOwner()) entry->CopyFileTo(counterpart);
        if (entry->LastErrorCode() != 0) Fail(target, entry->LastErrorCode());
        return;
    }
    // A copy onto a link to a folder would land inside that folder: copy beside
    // the link and rename over it, which replaces the link itself.
    const auto temp = fw::New<fw::FolderItem>(Parent(target) + "/" + TemporaryName(counterpart->Name()), false);
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
        Fail(target, error);
    }
}

// A write-back gives the source folder the RAM disk's kind of entry when the
// RAM disk is known to hold everything of the old one (a complete load) or the
// user changed the entry there since the last pass.
bool CSync::KindChangeAllowed(const fw::Ref<fw::FolderItem>& entry) const {
    return !m_bSet && (app().bLoadComplete || ChangedOnRAMDisk(entry));
}

void CSync::ReplaceByFolder(const fw::Ref<fw::FolderItem>& entry, const fw::Ref<fw::FolderItem>& counterpart) {
    const std::string target = counterpart->NativePath();
    if (!m_sRedirectFrom.empty()) Fail(target, "a change of kind inside another one");
    const std::string built = Parent(target) + "/" + TemporaryName(counterpart->Name(), "kind-");
    if (const int error = Remove(built)) Fail(built, error);
    const auto folder = fw::New<fw::FolderItem>(built, false);
    entry->CopyFolderTo(folder);
    if (entry->LastErrorCode() == EACCES && OpenLevelToOwner()) entry->CopyFolderTo(folder);
    if (entry->LastErrorCode() != 0) Fail(target, entry->LastErrorCode());
    const int64_t failures = m_iFailures;
    m_sRedirectFrom = entry->NativePath();
    m_sRedirectTo = built;
    m_bMadeFolder = true;
    CheckFolder(entry, false, false);
    m_bMadeFolder = false;
    entry->CopyAttributesTo(folder);
    m_sRedirectFrom.clear();
    m_sRedirectTo.clear();
    if (entry->LastErrorCode() != 0) Count(target, fw::ErrorText(entry->LastErrorCode()));
    if (m_iFailures != failures) {
        // The old entry stays whole until the new one is.
        Remove(built);
        Fail(target, "its folder from the RAM disk could not be made complete; the old entry is kept");
    }
    PutInPlace(built, target);
}

void CSync::ReplaceFolderByEntry(const fw::Ref<fw::FolderItem>& entry, const fw::Ref<fw::FolderItem>& counterpart) {
    const std::string target = counterpart->NativePath();
    const std::string built = Parent(target) + "/" + TemporaryName(counterpart->Name(), "kind-");
    if (const int error = Remove(built)) Fail(built, error);
    const auto copy = fw::New<fw::FolderItem>(built, false);
    entry->CopyFileTo(copy);
    if (entry->LastErrorCode() == EACCES && OpenLevelToOwner()) entry->CopyFileTo(copy);
    if (const int error = entry->LastErrorCode()) {
        Remove(built);
        Fail(target, error);
    }
    PutInPlace(built, target);
}

// Swaps the complete new entry with the old one, then removes the old one: the
// name always holds one of them whole.
void CSync::PutInPlace(const std::string& built, const std::string& target) {
    int error = fw::ExchangeEntries(built, target);
    if (error == EINVAL || error == ENOSYS || error == EOPNOTSUPP) {
        // Without an exchange: the old entry steps aside for a moment.
        const std::string aside = Parent(target) + "/" + TemporaryName(target.substr(target.rfind('/') + 1), "old-");
        error = fw::RenameEntry(target, aside);
        if (error == 0 && (error = fw::RenameEntry(built, target)) != 0) fw::RenameEntry(aside, target);
        if (error == 0) error = fw::RenameEntry(aside, built);
    }
    if (error != 0) {
        Remove(built);
        Fail(target, error);
    }
    if (!app().bLoadComplete) {
        // After an incomplete load the old entry may hold what never reached the
        // RAM disk: it stays beside the new one, and a later load brings it over.
        const std::string name = target.substr(target.rfind('/') + 1);
        for (int attempt = 1; attempt <= 100; ++attempt) {
            const std::string kept = Parent(target) + "/" + ConflictName(name, attempt);
            if (fw::EntryExists(kept)) continue;
            if (fw::RenameEntry(built, kept) != 0) break;
            fw::Log("Changed its kind on the RAM disk: " + target + "; the source folder's old entry is kept as \"" +
                    kept.substr(kept.rfind('/') + 1) + "\"");
            return;
        }
        Fail(built, "the old entry could not be kept beside the new one");  // a leftover: removed by a later pass
    }
    if (const int removeError = Remove(built)) Fail(built, removeError);  // a leftover for the next delete pass
}

bool CSync::DeleteFile(const fw::Ref<fw::FolderItem>& entry, const fw::Ref<fw::FolderItem>& baseFolder,
                       bool holdsSpecial) {
    if (!m_bDeleteAllowed) return false;
    const std::string path = entry->NativePath();
    // The base folder's listing can only say too late that an entry is gone,
    // which keeps a file one pass longer; a name it lacks is looked up afresh.
    if (baseFolder && baseFolder->HasEntry(entry->Name())) return false;
    if (fw::FolderItem(SwitchFileFromTargetToBase(path), false).Exists()) return false;
    // FIFOs, sockets and device nodes are never deleted, nor the folders that hold them.
    if (entry->Special()) {
        ++m_iKeptSpecial;
        return false;
    }
    if (holdsSpecial) {
        fw::Log("Kept " + path + ": it holds a FIFO, socket or device node");
        return false;
    }
    // Nothing that does not lie inside the target tree is deleted.
    if (path.size() <= m_sTargetRoot.size() + 1 || path.compare(0, m_sTargetRoot.size(), m_sTargetRoot) != 0 ||
        path[m_sTargetRoot.size()] != '/') {
        Fail(path, "it lies outside the folder being synchronized");
    }
    if (const int fault = SyncFaults::For(path)) Fail(path, fault);
    entry->Delete();
    if (entry->LastErrorCode() == EACCES && OpenLevelToOwner()) entry->Delete();
    if (entry->LastErrorCode() == 0) return true;
    // What Delete could not remove (a folder that still holds skipped entries).
    entry->DeleteTree();
    // Gone already (moved away meanwhile) is as good as deleted.
    if ((entry->LastErrorCode() == 0 || entry->LastErrorCode() == ENOENT) && !entry->Exists()) return true;
    if (entry->LastErrorCode() != 0) Fail(path, entry->LastErrorCode());
    Fail(path, "it could not be deleted");
}

bool CSync::OpenLevelToOwner() { return m_pLevel && m_pLevel->OpenToOwner(); }

bool CSync::RemoveLeftover(const fw::Ref<fw::FolderItem>& entry) {
    const std::string path = entry->NativePath();
    if (entry->Directory()) {
        // A folder left by an interrupted change of kind.
        if (const int error = Remove(path)) Fail(path, error);
        return false;
    }
    entry->Delete();
    if (entry->LastErrorCode() != 0) Fail(path, entry->LastErrorCode());
    return true;
}
