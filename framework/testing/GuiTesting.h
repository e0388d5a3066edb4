// Drives windows in tests as a user would: clicks, keys, activation, the modal
// choosers, and reads back what the screen shows. Test builds only.
#pragma once
#include <functional>
#include <string>
#include <vector>

#include "framework/Controls.h"
#include "framework/Menu.h"
#include "framework/Window.h"

namespace fw::testing {

// Presses and releases the left button at a point of the window's content area,
// on whatever widget lies there.
void Click(Window& window, int x, int y);
void ClickControl(Control& control);
// Keys as a user types them ("Return", "Escape", "Cmd+A"), to the focused widget.
void PressKeys(Window& window, const std::string& keys);
// Keys typed while the control has the focus.
void PressKeysOn(Control& control, const std::string& keys);
// Turns the mouse wheel over the control by `notches` (negative: towards the user).
void TurnWheel(Control& control, int notches);
// Closes the window through its close box.
void CloseByUser(Window& window);
// Makes the window the active one; false when the platform refused.
bool Activate(Window& window);
// Handles pending events (also deferred deletions); no timers are advanced.
void Pump();
// Closes any open popup list.
void DismissPopups();

// The next folder chooser is answered with `posixPath`, or cancelled when empty;
// `openedAt`, when given, gets the folder the chooser showed first.
void AnswerNextFolderChooser(const std::string& posixPath, std::string* openedAt = nullptr);
// The next message box is dismissed; `text`, when given, gets what it said.
void AnswerNextMessageBox(std::string* text = nullptr);
// Runs `fn` (with the baton) once a modal window or dialog is up.
void WhenModalShown(std::function<void()> fn);

// What the screen shows.
std::string ShownText(const Control& control);
bool ShownEnabled(const Control& control);
std::string ClipboardText();
void SetClipboardText(const std::string& text);
// Clicks the middle of the first occurrence of `text` in a page view (a link,
// say); false when the view does not show it.
bool ClickText(Control& control, const std::string& text);
std::vector<std::string> MenuBarTitles(Window& window);  // visible menus, in order
std::string ShortcutOf(MenuItem& item);                  // "" when none is active
bool IsShownModal(Window& window);
bool IsFrameless(Window& window);
int FrameWidth(Window& window);
int FrameHeight(Window& window);
int MenuBarHeight(Window& window);
// Resizes the window as the user would by its edges (the limits apply).
void ResizeFrame(Window& window, int width, int height);
// The help tag (tooltip) the control shows.
std::string ShownHelpTag(const Control& control);
// Point size of the font the control draws with.
double ShownFontSize(const Control& control);
// Paint events the control received since the last call.
int TakePaintCount(Control& control);

// Minimizes the window as its title bar's button would; whether it is minimized.
void Minimize(Window& window);
bool IsMinimized(Window& window);
// Texts of the message boxes shown now, oldest first; and closing them all.
std::vector<std::string> ShownMessageBoxes();
void CloseMessageBoxes();

bool SaveScreenshot(Window& window, const std::string& pngPath);
// Renders a menu as it drops down.
bool SaveMenuScreenshot(MenuItem& menu, const std::string& pngPath);

}  // namespace fw::testing
