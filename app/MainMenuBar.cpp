#include "app/MainMenuBar.h"

#include <string>

#include "app/App.h"

namespace {

template <class T = fw::MenuItem>
fw::Ref<T> MakeItem(const std::string& name, const std::string& text, const std::string& shortcut,
                    bool visible) {
    auto item = fw::New<T>();
    item->SetName(name);
    item->AutoEnable = true;
    item->SetText(text);
    item->SetVisible(visible);
    if (text != "-") item->SetKeyboardShortcut(shortcut);
    return item;
}

fw::Ref<fw::MenuItem> ItemByName(const std::string& name) {
    fw::Ref<fw::MenuBar> bar = app().MenuBar;
    return bar->Lookup(name);
}

}  // namespace

void MainMenuBar::Constructor() {
    FileMenu();
    EditMenu();
    mnuHelp();
}

void MainMenuBar::FileMenu() {
    Append(MakeItem("FileMenu", "&Ablage", "", true));
    auto menu = Child("FileMenu");
    // The quit item's shortcut is set only when the localisation gives one.
    auto quit = MakeItem<fw::QuitMenuItem>("FileQuit", App::kFileQuit(), "", true);
    const std::string quitShortcut = App::kFileQuitShortcut();
    if (!quitShortcut.empty()) quit->SetKeyboardShortcut(quitShortcut);
    menu->Append(quit);
    menu->Append(MakeItem<fw::PrefsMenuItem>("mnuOptions", "Einstellungen", "", true));
    menu->Append(MakeItem("mnuState", "Aktivit\xC3\xA4t Anzeigen", "Cmd+A", true));
}

void MainMenuBar::EditMenu() {
    Append(MakeItem("EditMenu", "&Bearbeiten", "", false));
    auto menu = Child("EditMenu");
    menu->Append(MakeItem("EditUndo", "&R\xC3\xBC" "ckg\xC3\xA4ngig", "Cmd+Z", true));
    menu->Append(MakeItem("EditSeparator1", "-", "", true));
    menu->Append(MakeItem("EditCut", "&Ausschneiden", "Cmd+X", true));
    menu->Append(MakeItem("EditCopy", "&Kopieren", "Cmd+C", true));
    menu->Append(MakeItem("EditPaste", "&Einf\xC3\xBCgen", "Cmd+V", true));
    menu->Append(MakeItem("EditClear", App::kEditClear(), "", true));
    menu->Append(MakeItem("EditSeparator2", "-", "", true));
    menu->Append(MakeItem("EditSelectAll", "&Alles ausw\xC3\xA4hlen", "Cmd+A", true));
}

void MainMenuBar::mnuHelp() {
    Append(MakeItem("mnuHelp", "Hilfe", "", true));
    auto menu = Child("mnuHelp");
    menu->Append(MakeItem("mnuDocu", "Handbuch", "", true));
    menu->Append(MakeItem<fw::AppleMenuItem>("mnuAboutTavelmorinth", "\xC3\x9C" "ber Tavelmorinth", "", true));
    menu->Append(MakeItem<fw::AppleMenuItem>("mnuAboutBK", "\xC3\x9C" "ber Brantolek", "", true));
}

fw::Ref<class MainMenuBar> MainMenuBar() {
    // Kept for the life of the process, past the application object.
    static auto* bar = new fw::Ref<class MainMenuBar>();
    if (!*bar) {
        *bar = fw::New<class MainMenuBar>();
        (*bar)->Constructor();
    }
    return *bar;
}

fw::Ref<fw::MenuItem> FileMenu() { return ItemByName("FileMenu"); }
fw::Ref<fw::PrefsMenuItem> mnuOptions() { return ItemByName("mnuOptions").As<fw::PrefsMenuItem>(); }
fw::Ref<fw::MenuItem> mnuState() { return ItemByName("mnuState"); }
fw::Ref<fw::MenuItem> mnuHelp() { return ItemByName("mnuHelp"); }
fw::Ref<fw::MenuItem> mnuDocu() { return ItemByName("mnuDocu"); }
fw::Ref<fw::AppleMenuItem> mnuAboutTavelmorinth() {
    return ItemByName("mnuAboutTavelmorinth").As<fw::AppleMenuItem>();
}
fw::Ref<fw::AppleMenuItem> mnuAboutBK() { return ItemByName("mnuAboutBK").As<fw::AppleMenuItem>(); }
