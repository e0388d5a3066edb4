// Menus: a menu bar holds menus, a menu holds items; every node is a MenuItem.
//
// Choosing an item runs, in this order, the first handler that answers true:
// the active window's handler for the item's name, then the application's
// (Application::HandleMenu). A QuitMenuItem without a window handler asks the
// application to quit. Shortcuts ("Cmd+A" is Ctrl+A here) work in every window
// that shows the menu bar, for items that are visible with all their menus.
#pragma once
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "Picture.h"
#include "Ref.h"

namespace fw {

class MenuItem : public std::enable_shared_from_this<MenuItem> {
public:
    enum class Role { Plain, Quit, Preferences, About };

    MenuItem();
    virtual ~MenuItem();
    MenuItem(const MenuItem&) = delete;
    MenuItem& operator=(const MenuItem&) = delete;

    const std::string& Name() const { return name_; }
    void SetName(const std::string& name) { name_ = name; }
    // "-" makes a separator; "&" marks the mnemonic.
    const std::string& Text() const { return text_; }
    void SetText(const std::string& text);
    bool Checked() const { return checked_; }
    void SetChecked(bool checked);
    bool Visible() const { return visible_; }
    void SetVisible(bool visible);
    bool Enabled() const { return enabled_; }
    void SetEnabled(bool enabled);
    bool AutoEnable = true;
    const std::string& KeyboardShortcut() const { return shortcut_; }
    void SetKeyboardShortcut(const std::string& shortcut);
    virtual Role ItemRole() const { return Role::Plain; }

    void Append(const Ref<MenuItem>& item);
    int64_t Count() const { return static_cast<int64_t>(children_.size()); }
    Ref<MenuItem> Item(int64_t index) const;  // 0-based; Nil outside
    Ref<MenuItem> Child(const std::string& name) const;  // a direct child
    // Anywhere below this node, depth first; Nil when absent.
    Ref<MenuItem> Lookup(const std::string& name) const;
    MenuItem* Parent() const { return parent_; }
    // Visible together with every menu above it.
    bool ShownInMenus() const;

    // Chooses the item as the user would (nothing happens while it is disabled).
    void Trigger();

    struct Native;
    Native& native() const;

private:
    void Refresh();
    void RefreshTree();
    std::string name_, text_, shortcut_;
    bool checked_ = false, visible_ = true, enabled_ = true;
    MenuItem* parent_ = nullptr;
    std::vector<Ref<MenuItem>> children_;
    mutable std::unique_ptr<Native> native_;
};

class QuitMenuItem : public MenuItem {
public:
    Role ItemRole() const override { return Role::Quit; }
};

class PrefsMenuItem : public MenuItem {
public:
    Role ItemRole() const override { return Role::Preferences; }
};

class AppleMenuItem : public MenuItem {
public:
    Role ItemRole() const override { return Role::About; }
};

class MenuBar : public MenuItem {};

// Puts the menus of `bar` into a tray icon, where the desktop has a tray, so
// they stay reachable while no window is open. Answers whether it could.
bool ShowMenuBarInTray(const Ref<MenuBar>& bar, const Ref<Picture>& icon);

}  // namespace fw
