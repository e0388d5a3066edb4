// The user's folders, on the XDG conventions.
#pragma once
#include "FolderItem.h"

namespace fw::SpecialFolder {

// $XDG_DATA_HOME, else ~/.local/share
Ref<FolderItem> ApplicationData();
// XDG_DOCUMENTS_DIR from $XDG_CONFIG_HOME/user-dirs.dirs (default ~/.config), else ~/Documents
Ref<FolderItem> Documents();

}  // namespace fw::SpecialFolder
