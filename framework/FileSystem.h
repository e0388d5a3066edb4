// Flushing a whole file system, named by any path on it.
#pragma once
#include <functional>
#include <string>

namespace fw {

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
