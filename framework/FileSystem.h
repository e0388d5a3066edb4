// Flushing a whole file system, named by any path on it; which object a path
// names; and small steps on single entries by path, each answering 0 or an errno.
#pragma once
#include <cstdint>
#include <functional>
#include <optional>
#include <string>

namespace fw {

// The object a path names, told apart from any other: its device and inode,
// and its owner.
struct FileIdentity {
    uint64_t device = 0;
    uint64_t inode = 0;
    uint32_t owner = 0;
};

// The object at `posixPath`, through links or the link itself; nothing when it
// cannot be looked at.
std::optional<FileIdentity> IdentityAt(const std::string& posixPath, bool followLinks);

struct FlushResult {
    int errorNumber = 0;  // errno of the failed step; 0 when everything reached the disk
    std::string message;  // what failed, for a person; empty on success
    bool Succeeded() const { return errorNumber == 0; }
};

// Opened on a path before writing there; Flush then writes out everything the
// file system holding that path still keeps in memory (syncfs) and reports any
// write to it that failed since the opening, also one the system made on its own.
class FileSystemFlush {
public:
    explicit FileSystemFlush(const std::string& posixPath);
    ~FileSystemFlush();
    FileSystemFlush(const FileSystemFlush&) = delete;
    FileSystemFlush& operator=(const FileSystemFlush&) = delete;

    FlushResult Flush();

private:
    std::string path_;
    int fd_ = -1;
    int openError_ = 0;
};

// Test seam: asked with the path at every flush; a non-zero answer is reported
// as that errno instead of flushing. Empty: flushes go ahead.
void SetFlushHook(std::function<int(const std::string&)> hook);

// Whether anything (a dangling link too) has this name; an entry that cannot be
// looked at counts as missing.
bool EntryExists(const std::string& posixPath);
// Removes a file, link or folder with everything in it (links never followed);
// a missing entry is no failure.
int RemoveEntry(const std::string& posixPath);
int RenameEntry(const std::string& from, const std::string& to);
// Swaps the two entries atomically; EINVAL, ENOSYS or EOPNOTSUPP where the file
// system cannot.
int ExchangeEntries(const std::string& a, const std::string& b);
// The mode bits of a folder (the entry itself); ENOTDIR for anything else.
int FolderMode(const std::string& posixPath, int& mode);
int SetMode(const std::string& posixPath, int mode);

// The file system's own clock, read off an entry: the entry's change time
// (nanoseconds) after touching it twice, so that it is later than any given
// before. A file (made empty when missing) gets its dates set to now; a folder
// keeps its dates. 0 when that fails or the entry is of the other kind.
int64_t TouchedFileChangeTime(const std::string& posixPath);
int64_t TouchedFolderChangeTime(const std::string& posixPath);

// The first `maxBytes` of a file (all of a smaller one); false when it cannot be read.
bool ReadFileStart(const std::string& posixPath, size_t maxBytes, std::string& text);
// Replaced whole: written beside it under ".new" and renamed over it.
bool ReplaceSmallFile(const std::string& posixPath, const std::string& text);

}  // namespace fw
