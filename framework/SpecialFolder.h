// The user's folders, on the XDG conventions.
#pragma once
#include "FolderItem.h"

namespace fw::SpecialFolder {

// $XDG_DATA_HOME, else ~/.local/share; made (0700) when missing, so that a
// program folder can be created inside on a fresh account.
Ref<FolderItem> ApplicationData();
// XDG_DOCUMENTS_DIR from $XDG_CONFIG_HOME/user-dirs.dirs (default ~/.config), else
// ~/Documents. Nothing is created.
Ref<FolderItem> Documents();
// $HOME, else the account's home folder.
Ref<FolderItem> UserHome();
// The home folder the user database names for this account ("/" when none).
Ref<FolderItem> AccountHome();

}  // namespace fw::SpecialFolder
