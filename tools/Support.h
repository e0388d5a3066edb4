// Small POSIX helpers shared by the hdiutil and diskutil stand-ins.
#pragma once
#include <stdexcept>
#include <string>
#include <vector>
#include <sys/types.h>

#include "DiskTools.h"

namespace tools {

// A failure that ends the tool: its message goes to stderr, its code is the exit code.
struct ToolError : std::runtime_error {
    ToolError(const std::string& message, int exitCode = kExitFailure)
        : std::runtime_error(message), code(exitCode) {}
    int code;
};

struct UsageError : ToolError {
    explicit UsageError(const std::string& message) : ToolError(message, kExitUsage) {}
};

// Owns one file descriptor.
class Fd {
public:
    Fd() = default;
    explicit Fd(int fd) : fd_(fd) {}
    Fd(Fd&& other) noexcept : fd_(other.Release()) {}
    Fd& operator=(Fd&& other) noexcept;
    Fd(const Fd&) = delete;
    Fd& operator=(const Fd&) = delete;
    ~Fd() { Close(); }
    int Get() const { return fd_; }
    bool Valid() const { return fd_ >= 0; }
    int Release();
    void Close();

private:
    int fd_ = -1;
};

// Runs a tool's `run` on its arguments: a ToolError's message goes to stderr (with
// the usage text for a UsageError) and its code becomes the exit code.
int RunTool(const char* name, const char* usage, int argc, char** argv,
            int (*run)(const std::vector<std::string>& args));

// Messages go to stderr as "<program>: <message>".
void Say(const std::string& message);

// "what: <strerror(err)>"
std::string ErrnoText(const std::string& what, int err);

// A volume name is one path component: not empty, no "/", no control characters,
// and not hidden (names starting with "." are kept for our own bookkeeping).
bool IsVolumeName(const std::string& name);

std::string VolumePath(const std::string& name);

// Opens a folder below `dirFd` without following a symbolic link; -1 on failure (errno set).
int OpenFolderAt(int dirFd, const std::string& name);

bool FolderIsEmpty(int folderFd);

// Small text files below a folder fd; reading never follows a symbolic link and
// accepts only a regular file owned by `owner`.
bool ReadOwnedFile(int dirFd, const std::string& name, uid_t owner, std::string& content);
// Writes a temporary file and renames it over `name`.
void ReplaceFile(int dirFd, const std::string& name, const std::string& content);

std::string ReadLink(int dirFd, const std::string& name);

}  // namespace tools
