// A file-system entry named by its path; it need not exist.
//
// Two kinds of item: a followed item (from GetFolderItem and Item(i)) answers
// Directory, Length and ModificationDate about what a symbolic link points to;
// a true item (from TrueItem(i)) answers about the link itself and is never
// walked into. Exists and Alias always look at the entry itself, so a dangling
// link exists and is an alias.
//
// Entries of a folder are addressed by position 1..Count in byte order of their
// names. The listing is cached and revalidated by the folder's own status, so
// Count reflects entries added or removed meanwhile without a directory read per
// call. Item(i) and TrueItem(i) address the entries as the latest Count saw
// them (the first use reads the listing), so a position keeps naming the same
// entry between a Count and the work on that entry.
//
// An item that has read its listing keeps the folder open (close-on-exec) to
// revalidate it without a path lookup, until the item (and every copy of it) is
// gone or Refresh is called; a volume with such an item on it cannot be detached.
// The path is looked up again at least every 20 ms and at the first Count after
// a change made through one of the listing's entries, so a listing does not stay
// with a folder that was moved away together with a folder above it.
//
// Status (kind, length, date, mode) is read on first use and kept until the item
// changes it or Refresh is called; an item made by Item(i) or TrueItem(i) knows
// its kind from the listing, and is looked up (and opened for copying) in the
// folder that listed it while that folder is held open and was seen at its path
// within those 20 ms: one step instead of a whole path, in the very folder whose
// listing proposed the name. A deletion through such an item updates the
// listing instead of making the next Count read the folder again.
#pragma once
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "Date.h"
#include "Ref.h"

namespace fw {

// CopyFileTo writes a copy under a hidden name with this prefix beside its
// destination before renaming it over; one found later is a crash's leftover.
inline constexpr std::string_view kCopyTemporaryPrefix = ".tvm-copy.";

// A test's seam: when set, every file copy calls it after the bytes moved and
// before the copy is checked against its source.
inline void (*copyCheckpointForTests)() = nullptr;

class FolderItem {
public:
    // path: absolute POSIX path (not a shell path). followLinks: see above.
    explicit FolderItem(std::string posixPath, bool followLinks = true)
        : path_(std::move(posixPath)), follow_(followLinks) {}

    bool Exists() const;
    bool Directory() const;
    bool Alias() const;  // the entry itself is a symbolic link
    std::string Name() const;
    std::string NativePath() const { return path_; }
    // One /bin/sh word that names exactly this entry (special characters escaped).
    std::string ShellPath() const;
    int64_t Length() const;              // bytes; 0 when missing
    Date ModificationDate() const;
    void SetModificationDate(const Date& d);
    int Permissions() const;             // POSIX mode bits
    void SetPermissions(int mode);       // a failure sets LastErrorCode
    Ref<FolderItem> Parent() const;
    Ref<FolderItem> Child(const std::string& name) const;  // followed item

    // Sets LastErrorCode when the entry is a folder that cannot be read.
    // 0 unless a folder (a true link: 0); a folder that cannot be read sets LastErrorCode.
    int64_t Count() const;
    // As Count, but a folder seen unchanged within the current tick of the
    // coarse real-time clock (a few milliseconds) is not asked again: a change
    // made by others in that tick shows from the next tick on, as if it had come
    // a moment later. For a walk that asks before every entry.
    int64_t CountWithinTick() const;
    Ref<FolderItem> Item(int64_t index) const;      // 1-based; Nil outside 1..Count
    Ref<FolderItem> TrueItem(int64_t index) const;  // 1-based; Nil outside 1..Count
    // A true item for the entry `name` of this folder, looked up in this folder
    // held open (opened at first use, links followed) as an entry of a listing
    // is, without reading the listing: one step instead of a whole path. The path
    // is looked up again when 20 ms have passed and after a change made through
    // such an item; a folder that cannot be held gives an item looked up by path.
    Ref<FolderItem> HeldChild(const std::string& name) const;
    // Whether the listing as last read names `name` (read now when there is none;
    // not revalidated): a name added or removed since may be answered as before,
    // so only "yes" saves a look at the entry itself.
    bool HasEntry(std::string_view name) const;
    // The name of the entry at `index` as the latest Count saw it, and whether
    // the listing says it is a plain file (no folder, link or other kind, and
    // not unknown): what a walk needs to pass over a file without making an
    // item for it. False outside 1..Count; the view lasts until the next Count.
    bool ListedFile(int64_t index, std::string_view& name) const;

    // These raise no exception; they set LastErrorCode (0 on success, else errno).
    void CreateAsFolder();
    void Delete();  // a file, a link or an empty folder
    // The entry and, of a folder, everything in it; links are removed, never
    // followed. Walks folder by folder through descriptors, so no path's length
    // or the tree's depth limits it; stops at the first entry that cannot go.
    void DeleteTree();
    // Copies to `destination` (a path; into it when it is an existing folder).
    // A file's bytes (its holes stay holes), mode, dates and extended attributes
    // (POSIX ACLs included) are copied; a link is copied as a link; a folder is
    // copied as an empty folder with its mode. Attributes the destination refuses
    // are dropped and logged. A file with several names whose first name was
    // copied since ForgetCopyMethods becomes another name of that copy. A file
    // that changed while it was read fails with EAGAIN and is not put in place.
    // The temporary name is short and made in the destination's folder held
    // open, so it fits wherever the destination does. A file or link
    // at the destination is replaced whole (written beside it, then renamed over),
    // so a failed copy leaves it untouched and no partial file behind.
    void CopyFileTo(const Ref<FolderItem>& destination);
    // As CopyFileTo, but a folder is made empty and private to its owner, to be
    // filled first and given its mode and dates by CopyAttributesTo afterwards:
    // a read-only folder could not be filled, and filling changes its date.
    void CopyFolderTo(const Ref<FolderItem>& destination);
    // Gives `destination` this entry's mode, extended attributes and access and
    // modification dates (of a link: its dates).
    void CopyAttributesTo(const Ref<FolderItem>& destination);
    // Takes it that nothing is at this path, without looking (for an entry of a
    // folder the caller has just made); CopyFileTo then puts a file there only
    // while the place is still free.
    void AssumeMissing();
    // The copy methods learned per pair of file systems are learned anew, and
    // the copies of files with several names are forgotten (at a pass's start).
    static void ForgetCopyMethods();
    // Renames this entry to `destination`'s path, replacing a file there.
    void MoveFileTo(const Ref<FolderItem>& destination);
    int LastErrorCode() const { return lastError_; }

    // Opens the file with the desktop's default application (xdg-open, not waited for).
    // False when no xdg-open is on PATH or it could not be started; a message
    // box says so then, and when xdg-open ends with a failure (as ShowURL).
    bool Launch(bool activate = true) const;

    // Drops cached status and listing (done by every operation that changes the
    // entry); the folder listing that made this item looks its path up at its next Count.
    void Refresh() const;

    // Directory listings read so far by all items (a test hook).
    static int64_t ListingReads();

private:
    struct Status;
    struct Listing;
    const Status& Stat() const;
    int ListedIn(const char*& name) const;
    // What the item knows without asking again (false when it does not know).
    bool KnownMissing() const;
    bool KnownRegularFile() const;
    // Revalidated (withinTick: see CountWithinTick); nullptr unless a folder.
    const Listing* CurrentListing(bool withinTick = false) const;
    Ref<FolderItem> Entry(int64_t index, bool followLinks) const;
    int Copy(const Ref<FolderItem>& destination, bool folderAttributes) const;  // 0 or errno
    friend Ref<FolderItem> GetFolderItem(const std::string& path, int mode);

    std::string path_;
    bool follow_;
    mutable unsigned char kindHint_ = 0;  // d_type from the parent's listing; 0: unknown
    mutable int lastError_ = 0;
    mutable std::shared_ptr<Status> status_;
    mutable std::shared_ptr<Listing> listing_;
    mutable std::weak_ptr<Listing> parentListing_;  // the listing that made this item
    // This folder held open for HeldChild: only its descriptor, never its entries.
    mutable std::shared_ptr<Listing> heldFolder_;

public:
    // A FIFO, socket or device node (the entry itself): no file, folder or link.
    bool Special() const;
    // The entry's status change time (ctime), nanoseconds since the epoch; 0 when missing.
    int64_t ChangeTimeNs() const;
};

// mode 1: `path` is a shell path (as ShellPath writes it); mode 0: a plain POSIX path.
// Nil when the text cannot name an entry (empty, relative, or its parent folder
// does not exist).
Ref<FolderItem> GetFolderItem(const std::string& path, int mode = 0);

// Reads a shell word back into a plain path (undoes ShellPath's escaping).
std::string UnescapeShellWord(const std::string& word);
std::string EscapeShellWord(const std::string& path);

}  // namespace fw
