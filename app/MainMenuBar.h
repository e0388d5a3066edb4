// The program's one menu bar: File, a hidden Edit menu, Help; and the global
// accessors of the items other code changes.
#pragma once
#include "framework/Menu.h"
#include "framework/Ref.h"

class MainMenuBar : public fw::MenuBar {
public:
    virtual void Constructor();
    virtual void FileMenu();
    virtual void EditMenu();
    virtual void mnuHelp();
};

// The single menu bar, built on the first call and kept for the process.
fw::Ref<class MainMenuBar> MainMenuBar();

// Items looked up by name in App.MenuBar.
fw::Ref<fw::MenuItem> FileMenu();
fw::Ref<fw::PrefsMenuItem> mnuOptions();
fw::Ref<fw::MenuItem> mnuState();
fw::Ref<fw::MenuItem> mnuHelp();
fw::Ref<fw::MenuItem> mnuDocu();
fw::Ref<fw::AppleMenuItem> mnuAboutTavelmorinth();
fw::Ref<fw::AppleMenuItem> mnuAboutBK();
