#include "FolderItem.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/time.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cmath>
#include <cstring>
#include <ctime>
#include <string_view>
#include <vector>

#include "LongPath.h"

namespace fw {

using internal::LongPath;

struct FolderItem::Status {
    bool exists = false;  // the entry itself (lstat)
    bool link = false;
    struct stat st {};    // what the item answers about: the target for a followed live link
};

// Names are kept in one buffer; entries point into it, sorted by name bytes.
// Entries removed through the listing leave a gap that moves with the removals,
// so a pass that deletes entry after entry moves each entry at most once.
struct FolderItem::Listing {
    struct Entry {
        uint32_t offset;
        uint32_t length;
        unsigned char kind;
    };
    dev_t dev = 0;
    ino_t ino = 0;
    timespec mtim{};
    timespec ctim{};
    bool racy = false;  // changed too recently for its timestamps to reveal the next change
    int fd = -1;        // the folder the entries were read from; -1: not kept
    timespec pathSeen{};  // when the path was last seen to name that folder
    timespec checked{};   // when the folder was last seen unchanged (coarse clock)
    std::string names;
    std::vector<Entry> entries;  // [gapBegin, gapEnd) holds no entry
    size_t gapBegin = 0, gapEnd = 0;

    Listing() = default;
    Listing(const Listing&) = delete;
    Listing& operator=(const Listing&) = delete;
    ~Listing();

    std::string_view Name(const Entry& e) const { return {names.data() + e.offset, e.length}; }
    size_t Size() const { return entries.size() - (gapEnd - gapBegin); }
    const Entry& At(size_t position) const {
        return entries[position < gapBegin ? position : position + gapEnd - gapBegin];
    }
    // The position of `name`, or Size() when it is not listed.
    size_t Find(std::string_view name) const {
        size_t low = 0, high = Size();
        while (low < high) {
            const size_t mid = low + (high - low) / 2;
            if (Name(At(mid)) < name) {
                low = mid + 1;
            } else {
                high = mid;
            }
        }
        return low < Size() && Name(At(low)) == name ? low : Size();
    }
    void Erase(size_t position) {
        while (gapBegin > position) entries[--gapEnd] = entries[--gapBegin];
        while (gapBegin < position) entries[gapBegin++] = entries[gapEnd++];
        ++gapEnd;
    }
    void SetKey(const struct stat& st) {
        dev = st.st_dev;
        ino = st.st_ino;
        mtim = st.st_mtim;
        ctim = st.st_ctim;
    }
    bool Matches(const struct stat& st) const { return !racy && KeyMatches(st); }
    bool KeyMatches(const struct stat& st) const {
        return st.st_nlink != 0 && st.st_dev == dev && st.st_ino == ino &&
               st.st_mtim.tv_sec == mtim.tv_sec && st.st_mtim.tv_nsec == mtim.tv_nsec &&
               st.st_ctim.tv_sec == ctim.tv_sec && st.st_ctim.tv_nsec == ctim.tv_nsec;
    }
};

namespace {

std::atomic<int64_t> gListingReads{0};

// Listings beyond this many keep no descriptor and look the path up at every
// revalidation, so a deep walk cannot run the process out of descriptors.
constexpr int kMaxKeptFolders = 128;
std::atomic<int> gKeptFolders{0};

// A kept folder answers for itself, not for its path: a folder higher up renamed
// or replaced leaves it unchanged. Looking the path up again this often bounds
// how long a listing can name entries that are no longer under its path.
constexpr int64_t kPathRecheckNs = 20'000'000;

int64_t NanosecondsBetween(const timespec& from, const timespec& to) {
    return (int64_t(to.tv_sec) - from.tv_sec) * 1'000'000'000 + (to.tv_nsec - from.tv_nsec);
}

// A change to a folder made within its file system's timestamp granularity of
// the last one leaves mtime and ctime as they were. A listing read while the
// folder's timestamps are that fresh can't be revalidated by them; it is read
// again until they are old enough. Whole-second stamps suggest a coarse file
// system, so they get a longer window.
bool TooRecent(const timespec& stamp, const timespec& now) {
    const int64_t windowNs = stamp.tv_nsec == 0 ? 2'000'000'000 : 20'000'000;
    return NanosecondsBetween(stamp, now) < windowNs;
}

std::string JoinPath(const std::string& folder, std::string_view name) {
    std::string out;
    out.reserve(folder.size() + 1 + name.size());
    out += folder;
    if (out.empty() || out.back() != '/') out += '/';
    out += name;
    return out;
}

// One slash between components, none at the end ("/" stays "/").
std::string NormalizedPath(const std::string& path) {
    std::string out;
    out.reserve(path.size());
    for (char c : path) {
        if (c == '/' && !out.empty() && out.back() == '/') continue;
        out += c;
    }
    while (out.size() > 1 && out.back() == '/') out.pop_back();
    return out;
}

// The path without trailing slashes ("/" stays "/").
std::string_view Trimmed(const std::string& path) {
    std::string_view p(path);
    while (p.size() > 1 && p.back() == '/') p.remove_suffix(1);
    return p;
}

}  // namespace

FolderItem::Listing::~Listing() {
    if (fd < 0) return;
    ::close(fd);
    gKeptFolders.fetch_sub(1, std::memory_order_relaxed);
}

int64_t FolderItem::ListingReads() { return gListingReads.load(std::memory_order_relaxed); }

// The folder that listed this item, when it is held open and its path was seen
// to name it within kPathRecheckNs; -1 otherwise. Looking a name up in it costs
// one step instead of a whole path, and answers about the folder whose listing
// proposed the name even when a folder above is renamed meanwhile.
int FolderItem::ListedIn(const char*& name) const {
    const auto parent = parentListing_.lock();
    if (!parent || parent->fd < 0) return -1;
    timespec now;
    ::clock_gettime(CLOCK_REALTIME_COARSE, &now);
    if (NanosecondsBetween(parent->pathSeen, now) >= kPathRecheckNs) return -1;
    const size_t slash = path_.rfind('/');
    if (slash == std::string::npos) return -1;
    name = path_.c_str() + slash + 1;
    return parent->fd;
}

const FolderItem::Status& FolderItem::Stat() const {
    if (status_) return *status_;
    auto s = std::make_shared<Status>();
    const char* name = nullptr;
    const int folder = ListedIn(name);
    const bool found = folder >= 0 ? ::fstatat(folder, name, &s->st, AT_SYMLINK_NOFOLLOW) == 0
                                   : ::lstat(LongPath(path_).c_str(), &s->st) == 0;
    if (found) {
        s->exists = true;
        s->link = S_ISLNK(s->st.st_mode);
        struct stat target;
        if (s->link && follow_ && ::stat(LongPath(path_).c_str(), &target) == 0) s->st = target;
    }
    status_ = std::move(s);
    return *status_;
}

void FolderItem::Refresh() const {
    status_.reset();
    listing_.reset();
    heldFolder_.reset();
    kindHint_ = DT_UNKNOWN;
    // A change made here by path may have missed the folder that the parent's
    // listing holds open (when its path names another folder by now).
    if (const auto parent = parentListing_.lock()) {
        parent->pathSeen = {};
        parent->checked = {};
    }
    parentListing_.reset();
}

bool FolderItem::Exists() const { return Stat().exists; }

bool FolderItem::KnownMissing() const { return status_ && !status_->exists; }

void FolderItem::AssumeMissing() { status_ = std::make_shared<Status>(); }

bool FolderItem::KnownRegularFile() const {
    if (!status_) return kindHint_ == DT_REG;
    return status_->exists && !status_->link && S_ISREG(status_->st.st_mode);
}

bool FolderItem::Alias() const {
    if (kindHint_ != DT_UNKNOWN && !status_) return kindHint_ == DT_LNK;
    return Stat().link;
}

bool FolderItem::Directory() const {
    if (kindHint_ != DT_UNKNOWN && !status_ && (kindHint_ != DT_LNK || !follow_)) return kindHint_ == DT_DIR;
    const Status& s = Stat();
    return s.exists && S_ISDIR(s.st.st_mode);
}

std::string FolderItem::Name() const {
    const std::string_view p = Trimmed(path_);
    if (p == "/") return "/";
    const size_t slash = p.rfind('/');
    return std::string(slash == std::string_view::npos ? p : p.substr(slash + 1));
}

std::string FolderItem::ShellPath() const { return EscapeShellWord(path_); }

int64_t FolderItem::Length() const {
    const Status& s = Stat();
    return s.exists ? int64_t(s.st.st_size) : 0;
}

Date FolderItem::ModificationDate() const {
    const Status& s = Stat();
    if (!s.exists) return Date::FromSeconds(0);
    return Date::FromSeconds(double(s.st.st_mtim.tv_sec) + double(s.st.st_mtim.tv_nsec) / 1e9);
}

void FolderItem::SetModificationDate(const Date& d) {
    const double seconds = d.TotalSeconds();
    double whole = std::floor(seconds);
    long nsec = std::lround((seconds - whole) * 1e9);
    if (nsec >= 1'000'000'000) {
        whole += 1;
        nsec -= 1'000'000'000;
    }
    const timespec times[2] = {{0, UTIME_OMIT}, {time_t(whole), nsec}};
    const LongPath at(path_);
    lastError_ = ::utimensat(AT_FDCWD, at.c_str(), times, follow_ ? 0 : AT_SYMLINK_NOFOLLOW) == 0 ? 0 : errno;
    Refresh();
}

int FolderItem::Permissions() const {
    const Status& s = Stat();
    return s.exists ? int(s.st.st_mode & 07777) : 0;
}

void FolderItem::SetPermissions(int mode) {
    lastError_ = ::chmod(LongPath(path_).c_str(), mode_t(mode) & 07777) == 0 ? 0 : errno;
    Refresh();
}

Ref<FolderItem> FolderItem::Parent() const {
    const std::string_view p = Trimmed(path_);
    if (p.empty() || p == "/") return nullptr;
    const size_t slash = p.rfind('/');
    if (slash == std::string_view::npos) return nullptr;
    return New<FolderItem>(slash == 0 ? std::string("/") : std::string(p.substr(0, slash)));
}

Ref<FolderItem> FolderItem::Child(const std::string& name) const { return New<FolderItem>(JoinPath(path_, name)); }

// Why a kept descriptor cannot make the mirror act on the wrong entry: the
// listing only proposes names. Every entry is addressed by name under this
// item's path, and everything that decides a copy or a deletion (the entry's
// own status, the counterpart's existence, the copy and the removal) looks that
// path up afresh. A stale listing can propose a name that is no longer there
// (the operation on it finds nothing) or miss one for a moment, never redirect
// an operation to another entry. The folder renamed, removed or replaced at its
// path changes its own ctime or link count and is read again from the path. A
// folder higher up renamed is noticed at the next path lookup: within
// kPathRecheckNs, or at once after a change through one of the listing's entries,
// so a walk that revisits a position after a removal never spins on a name that
// is gone from the path.
const FolderItem::Listing* FolderItem::CurrentListing(bool withinTick) const {
    timespec now;
    ::clock_gettime(CLOCK_REALTIME_COARSE, &now);
    struct stat st;
    if (listing_ && !listing_->racy) {
        if (withinTick && listing_->checked.tv_sec == now.tv_sec && listing_->checked.tv_nsec == now.tv_nsec)
            return listing_.get();
        if (listing_->fd >= 0 && NanosecondsBetween(listing_->pathSeen, now) < kPathRecheckNs &&
            ::fstat(listing_->fd, &st) == 0 && listing_->Matches(st)) {
            listing_->checked = now;
            return listing_.get();
        }
        const LongPath at(path_);
        if ((follow_ ? ::stat(at.c_str(), &st) : ::lstat(at.c_str(), &st)) != 0 || !S_ISDIR(st.st_mode)) {
            listing_.reset();
            return nullptr;
        }
        if (listing_->Matches(st)) {
            listing_->pathSeen = now;
            listing_->checked = now;
            return listing_.get();
        }
    }

    // O_DIRECTORY fails on anything but a folder without opening it (a pipe
    // would block), O_NOFOLLOW on a link when the item is the link itself.
    const int fd = ::open(LongPath(path_).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC | (follow_ ? 0 : O_NOFOLLOW));
    listing_.reset();  // closes the folder it kept
    if (fd < 0) {
        // A folder that is there but cannot be read must not pass for an empty one.
        const int err = errno;
        if (err != ENOENT && err != ENOTDIR && err != ELOOP) lastError_ = err;
        return nullptr;
    }
    auto l = std::make_shared<Listing>();
    if (gKeptFolders.fetch_add(1, std::memory_order_relaxed) < kMaxKeptFolders) {
        l->fd = fd;
    } else {
        gKeptFolders.fetch_sub(1, std::memory_order_relaxed);
    }
    // The entries are read through a second descriptor: closedir closes it.
    const int readFd = l->fd >= 0 ? ::fcntl(fd, F_DUPFD_CLOEXEC, 0) : fd;
    DIR* dir = readFd >= 0 ? ::fdopendir(readFd) : nullptr;
    if (!dir) {
        lastError_ = errno;
        if (readFd >= 0) ::close(readFd);
        return nullptr;  // a kept descriptor goes with l
    }
    gListingReads.fetch_add(1, std::memory_order_relaxed);
    // The key comes from the open folder before its entries are read, so a change
    // made while reading shows as a different key next time.
    if (::fstat(fd, &st) == 0) {
        l->SetKey(st);
        l->racy = TooRecent(st.st_ctim, now) || TooRecent(st.st_mtim, now);
    } else {
        l->racy = true;
    }
    l->pathSeen = now;
    while (const dirent* e = ::readdir(dir)) {
        const char* n = e->d_name;
        if (n[0] == '.' && (n[1] == 0 || (n[1] == '.' && n[2] == 0))) continue;
        const size_t len = std::strlen(n);
        l->entries.push_back({uint32_t(l->names.size()), uint32_t(len), e->d_type});
        l->names.append(n, len);
    }
    ::closedir(dir);
    // A folder filled in byte order (as a load fills the RAM disk) mostly lists
    // in that order or its reverse: no sort needed then.
    const auto byName = [&](const Listing::Entry& a, const Listing::Entry& b) { return l->Name(a) < l->Name(b); };
    const auto reversed = [&](const Listing::Entry& a, const Listing::Entry& b) { return byName(b, a); };
    if (std::is_sorted(l->entries.begin(), l->entries.end(), reversed)) {
        std::reverse(l->entries.begin(), l->entries.end());
    } else if (!std::is_sorted(l->entries.begin(), l->entries.end(), byName)) {
        std::sort(l->entries.begin(), l->entries.end(), byName);
    }
    listing_ = std::move(l);
    return listing_.get();
}

int64_t FolderItem::Count() const {
    lastError_ = 0;
    const Listing* l = CurrentListing();
    return l ? int64_t(l->Size()) : 0;
}

int64_t FolderItem::CountWithinTick() const {
    lastError_ = 0;
    const Listing* l = CurrentListing(true);
    return l ? int64_t(l->Size()) : 0;
}

Ref<FolderItem> FolderItem::Entry(int64_t index, bool followLinks) const {
    const Listing* l = listing_ ? listing_.get() : CurrentListing();
    if (!l || index < 1 || index > int64_t(l->Size())) return nullptr;
    const Listing::Entry& e = l->At(size_t(index - 1));
    auto item = std::make_shared<FolderItem>(JoinPath(path_, l->Name(e)), followLinks);
    item->kindHint_ = e.kind;
    item->parentListing_ = listing_;
    return Ref<FolderItem>(std::move(item));
}

Ref<FolderItem> FolderItem::HeldChild(const std::string& name) const {
    auto item = std::make_shared<FolderItem>(JoinPath(path_, name), false);
    timespec now;
    ::clock_gettime(CLOCK_REALTIME_COARSE, &now);
    struct stat st;
    if (heldFolder_ && NanosecondsBetween(heldFolder_->pathSeen, now) >= kPathRecheckNs) {
        // Still the folder that the path names? Otherwise the path's is held anew.
        struct stat held;
        const LongPath at(path_);
        if ((follow_ ? ::stat(at.c_str(), &st) : ::lstat(at.c_str(), &st)) == 0 &&
            ::fstat(heldFolder_->fd, &held) == 0 && st.st_dev == held.st_dev && st.st_ino == held.st_ino) {
            heldFolder_->pathSeen = now;
        } else {
            heldFolder_.reset();
        }
    }
    if (!heldFolder_) {
        // A folder that cannot be held (fd -1) is not tried again until the recheck.
        heldFolder_ = std::make_shared<Listing>();
        heldFolder_->pathSeen = now;
        if (gKeptFolders.fetch_add(1, std::memory_order_relaxed) < kMaxKeptFolders)
            heldFolder_->fd =
                ::open(LongPath(path_).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC | (follow_ ? 0 : O_NOFOLLOW));
        if (heldFolder_->fd < 0) gKeptFolders.fetch_sub(1, std::memory_order_relaxed);
    }
    item->parentListing_ = heldFolder_;
    return Ref<FolderItem>(std::move(item));
}

Ref<FolderItem> FolderItem::Item(int64_t index) const { return Entry(index, true); }

Ref<FolderItem> FolderItem::TrueItem(int64_t index) const { return Entry(index, false); }

Ref<FolderItem> GetFolderItem(const std::string& path, int mode) {
    std::string plain = NormalizedPath(mode == 1 ? UnescapeShellWord(path) : path);
    if (plain.empty() || plain[0] != '/') return nullptr;
    // An entry that is there proves its folder; its status is kept, as the
    // caller's next question is mostly whether it exists and how old it is.
    struct stat st;
    if (::lstat(LongPath(plain).c_str(), &st) == 0) {
        auto item = std::make_shared<FolderItem>(std::move(plain));
        if (!S_ISLNK(st.st_mode)) {
            auto status = std::make_shared<FolderItem::Status>();
            status->exists = true;
            status->st = st;
            item->status_ = std::move(status);
        }
        return Ref<FolderItem>(std::move(item));
    }
    if (plain != "/") {
        const size_t slash = plain.rfind('/');
        const std::string parent = slash == 0 ? std::string("/") : plain.substr(0, slash);
        if (::stat(LongPath(parent).c_str(), &st) != 0 || !S_ISDIR(st.st_mode)) return nullptr;
    }
    return New<FolderItem>(std::move(plain));
}

void FolderItem::CreateAsFolder() {
    lastError_ = ::mkdir(LongPath(path_).c_str(), 0777) == 0 ? 0 : errno;
    Refresh();
}

void FolderItem::Delete() {
    // The listing that proposed this entry is kept up to date rather than read
    // again, so a folder emptied entry by entry is read once, not once per entry;
    // only a listing that still matched its folder right before is updated. (A
    // change by somebody else within the same timestamp tick as this one, or
    // one that a listing read in such a tick missed, stays unseen by it: as if
    // it came after the walk of this folder.)
    const auto parent = parentListing_.lock();
    struct stat folder;
    const bool current = parent && parent->fd >= 0 && ::fstat(parent->fd, &folder) == 0 && parent->KeyMatches(folder);
    int err;
    const LongPath at(path_);
    if (kindHint_ == DT_DIR && !status_) {
        err = ::rmdir(at.c_str()) == 0 ? 0 : errno;
        if (err == ENOTDIR) err = ::unlink(at.c_str()) == 0 ? 0 : errno;  // replaced by a file meanwhile
    } else {
        err = ::unlink(at.c_str()) == 0 ? 0 : errno;
        if (err == EISDIR || err == EPERM) {
            struct stat st;
            if (::lstat(at.c_str(), &st) == 0 && S_ISDIR(st.st_mode)) err = ::rmdir(at.c_str()) == 0 ? 0 : errno;
        }
    }
    lastError_ = err;
    if (err == 0 && current) {
        const size_t slash = path_.rfind('/');
        const size_t at = parent->Find(std::string_view(path_).substr(slash + 1));
        if (at < parent->Size() && ::fstat(parent->fd, &folder) == 0) {
            parent->Erase(at);
            parent->SetKey(folder);
            parent->racy = false;
        }
    }
    Refresh();
}

namespace {

// 0 or errno. Empties the folder open as `fd` (closed here), holding one folder
// open at a time: the way back up reopens ".." and checks that it is the folder
// it came from, so a folder moved meanwhile stops the walk rather than letting
// it remove elsewhere.
int EmptyFolderTree(int fd) {
    struct Above {
        dev_t dev;
        ino_t ino;
        std::string name;  // of the folder below, in this one
    };
    std::vector<Above> above;
    for (;;) {
        // Removes what it can here, up to the first folder that holds something.
        std::string sub;
        int err = 0;
        const int readFd = ::fcntl(fd, F_DUPFD_CLOEXEC, 0);
        DIR* dir = readFd >= 0 ? ::fdopendir(readFd) : nullptr;
        if (!dir) {
            err = errno;
            if (readFd >= 0) ::close(readFd);
            ::close(fd);
            return err;
        }
        while (const dirent* e = ::readdir(dir)) {
            const char* n = e->d_name;
            if (n[0] == '.' && (n[1] == 0 || (n[1] == '.' && n[2] == 0))) continue;
            const int flags = e->d_type == DT_DIR ? AT_REMOVEDIR : 0;
            if (::unlinkat(fd, n, flags) == 0 || errno == ENOENT) continue;
            if (flags == 0 && errno != EISDIR && errno != EPERM) {
                err = errno;
                break;
            }
            sub = n;
            break;
        }
        ::closedir(dir);
        struct stat st;
        if (!err && !sub.empty() && ::fstat(fd, &st) != 0) err = errno;
        if (err) {
            ::close(fd);
            return err;
        }
        if (!sub.empty()) {
            const int child = ::openat(fd, sub.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
            err = child < 0 ? errno : 0;
            ::close(fd);
            if (err) return err;
            above.push_back({st.st_dev, st.st_ino, std::move(sub)});
            fd = child;
            continue;
        }
        if (above.empty()) {
            ::close(fd);
            return 0;
        }
        const int up = ::openat(fd, "..", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        ::close(fd);
        if (up < 0) return errno;
        if (::fstat(up, &st) != 0 || st.st_dev != above.back().dev || st.st_ino != above.back().ino) err = ESTALE;
        if (!err && ::unlinkat(up, above.back().name.c_str(), AT_REMOVEDIR) != 0 && errno != ENOENT) err = errno;
        if (err) {
            ::close(up);
            return err;
        }
        above.pop_back();
        fd = up;
    }
}

}  // namespace

void FolderItem::DeleteTree() {
    const std::string_view p = Trimmed(path_);
    const size_t slash = p.rfind('/');
    int err = 0;
    if (slash == std::string_view::npos || slash + 1 >= p.size()) {
        err = EINVAL;
    } else {
        const std::string folder(slash == 0 ? std::string_view("/") : p.substr(0, slash));
        const std::string name(p.substr(slash + 1));
        const int parent = ::open(LongPath(folder).c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC);
        if (parent < 0) {
            err = errno;
        } else {
            if (::unlinkat(parent, name.c_str(), 0) != 0) {
                err = errno;
                if (err == EISDIR || err == EPERM) {
                    const int fd = ::openat(parent, name.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
                    err = fd < 0 ? (errno == ENOTDIR ? EPERM : errno) : EmptyFolderTree(fd);
                    if (!err && ::unlinkat(parent, name.c_str(), AT_REMOVEDIR) != 0) err = errno;
                }
            }
            ::close(parent);
        }
    }
    lastError_ = err;
    Refresh();
}

bool FolderItem::HasEntry(std::string_view name) const {
    const Listing* l = listing_ ? listing_.get() : CurrentListing();
    return l && l->Find(name) < l->Size();
}

bool FolderItem::ListedFile(int64_t index, std::string_view& name) const {
    const Listing* l = listing_.get();
    if (!l || index < 1 || index > int64_t(l->Size())) return false;
    const Listing::Entry& e = l->At(size_t(index - 1));
    name = l->Name(e);
    return e.kind == DT_REG;
}

void FolderItem::MoveFileTo(const Ref<FolderItem>& destination) {
    const std::string to = destination->NativePath();
    lastError_ = ::rename(LongPath(path_).c_str(), LongPath(to).c_str()) == 0 ? 0 : errno;
    Refresh();
    destination->Refresh();
}

bool FolderItem::Special() const {
    // As for Alias and Directory, the listing's word on the kind is taken.
    if (kindHint_ != DT_UNKNOWN && !status_) return kindHint_ != DT_REG && kindHint_ != DT_DIR && kindHint_ != DT_LNK;
    const Status& s = Stat();
    if (!s.exists || s.link) return false;
    return !S_ISREG(s.st.st_mode) && !S_ISDIR(s.st.st_mode);
}

int64_t FolderItem::ChangeTimeNs() const {
    const Status& s = Stat();
    return s.exists ? int64_t(s.st.st_ctim.tv_sec) * 1'000'000'000 + s.st.st_ctim.tv_nsec : 0;
}

}  // namespace fw
