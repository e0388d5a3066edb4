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
// PATH at every call) without waiting for it. Answers false when no xdg-open
// was found or it could not be started. A message box (kCannotOpen) tells the
// user of either, and of an xdg-open that ends with a failure later.
bool ShowURL(const std::string& url);

// The notice that a file or address (`target`) could not be opened; "" = the
// user's language.
std::string kCannotOpen(const std::string& target, const std::string& language = "");

// A message box with an OK button; returns when it is dismissed.
void MsgBox(const std::string& text);

}  // namespace fw
