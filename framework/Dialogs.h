// Modal dialogs and the hand-off of addresses to the desktop. The modal calls
// give up the baton while they wait and take it again for every callback.
#pragma once
#include <string>

#include "FolderItem.h"
#include "Ref.h"

namespace fw {

// Lets the user choose a folder; Nil when the chooser was cancelled. It opens at
// `startAt`, or at the nearest folder above it that exists.
Ref<FolderItem> SelectFolder(const Ref<FolderItem>& startAt = nullptr);

// Hands an http: or mailto: address to the desktop's `xdg-open` (looked up on
// PATH at every call), detached. Answers false when no xdg-open was found or it
// could not be started.
bool ShowURL(const std::string& url);

// A message box with an OK button; returns when it is dismissed.
void MsgBox(const std::string& text);

}  // namespace fw
