#include "app/ShellPaths.h"

#include "framework/FolderItem.h"

bool ExistsAt(const std::string& shellPath) {
    auto item = fw::GetFolderItem(shellPath, 1);
    return item && item->Exists();
}

void SetPermissionsAt(const std::string& shellPath, int mode) {
    auto item = fw::GetFolderItem(shellPath, 1);
    if (item && item->Exists()) item->SetPermissions(mode);
}
