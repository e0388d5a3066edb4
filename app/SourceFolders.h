// Folders that may never become the source folder. The program opens its source
// folder to 764 while it runs and closes it to 0 when it ends, which would lock
// the user or the system out of any of these.
#pragma once
#include <string>

// True for a shell path naming (after links are resolved) the home folder, a
// folder above it, the settings folder or the RAM disk (or a folder above or
// inside them), a folder of the system, or any path with a line break or a
// carriage return. An empty path names nothing and is not refused.
bool IsRefusedSourceFolder(const std::string& shellPath);
