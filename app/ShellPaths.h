// Small questions and changes on entries named by their shell paths, shared by
// the settings, the quit gate and the engine.
#pragma once
#include <string>

// The source folder's permissions while the program uses it: decimal 500, as the
// program has always written it (octal 764). Given to SetPermissionsAt it only
// narrows: the owner gets rwx, group and others keep no more than they had and
// at most 764's.
inline constexpr int kSourcePermissions = 500;

// The path names an entry that is there.
bool ExistsAt(const std::string& shellPath);
// Sets the entry's permissions when it is there and may be a source folder
// (IsRefusedSourceFolder); otherwise does nothing.
void SetPermissionsAt(const std::string& shellPath, int mode);
