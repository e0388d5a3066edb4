// Flushing a whole file system, named by any path on it; which object a path names.
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

}  // namespace fw
