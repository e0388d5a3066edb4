#include "app/ShellPaths.h"

#include "app/SourceFolders.h"
#include "framework/FolderItem.h"

bool ExistsAt(const std::string& shellPath) {
    auto item = fw::GetFolderItem(shellPath, 1);
    return item && item->Exists();
}

void SetPermissionsAt(const std::string& shellPath, int mode) {
    // Whatever road led here, such a folder keeps the permissions it has.
    if (IsRefusedSourceFolder(shellPath)) return;
    auto item = fw::GetFolderItem(shellPath, 1);
    if (!item || !item->Exists()) return;
    // A private folder stays private while the program runs.
    if (mode == kSourcePermissions) mode = 0700 | (item->Permissions() & kSourcePermissions & 077);
    item->SetPermissions(mode);
}
