// Where a volume lives when this process may not mount: a folder in /dev/shm (also
// memory, gone at reboot) that /volumes/NAME links to. It has no size limit of its own.
#pragma once
#include <string>
#include <vector>

#include "Support.h"

namespace tools {

// "/dev/shm/tavelmorinth-<uid>", private to the user.
std::string FallbackBasePath();
std::string FallbackFolderPath(const std::string& name);

// Throws ToolError when the folder is missing (without `create`) or not the user's own.
Fd OpenFallbackBase(bool create);

// Processes with a working folder, root, open file or mapped file at or below `path`,
// as "pid (command)". Processes this user may not inspect are not seen.
std::vector<std::string> ProcessesUsing(const std::string& path);

// Deletes the folder `name` below `parentFd` and all it holds; follows no symbolic link.
void RemoveTree(int parentFd, const std::string& name);

}  // namespace tools
