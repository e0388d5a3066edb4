#include "Menu.h"

#include <QApplication>
#include <QIcon>
#include <QImage>
#include <QPixmap>
#include <QSignalBlocker>
#include <QSystemTrayIcon>

#include "Application.h"
#include "GuiNative.h"
#include "PictureImpl.h"

namespace fw {

namespace {

QKeySequence ToKeySequence(const std::string& shortcut) {
    QString text = gui::ToQt(shortcut);
    // The layouts write the command key; here it is Ctrl.
    text.replace(QStringLiteral("Cmd+"), QStringLiteral("Ctrl+"));
    text.replace(QStringLiteral("Option+"), QStringLiteral("Alt+"));
    return QKeySequence::fromString(text, QKeySequence::PortableText);
}

QAction::MenuRole ToQtRole(MenuItem::Role role) {
    switch (role) {
        case MenuItem::Role::Quit: return QAction::QuitRole;
        case MenuItem::Role::Preferences: return QAction::PreferencesRole;
        case MenuItem::Role::About: return QAction::AboutRole;
        case MenuItem::Role::Plain: break;
    }
    return QAction::NoRole;
}

void Choose(MenuItem& item) {
    if (auto w = ActiveWindow(); w && w->HandleMenu(item.Name())) return;
    Application* a = CurrentApplication();
    if (!a) return;
    if (a->HandleMenu(item.Name())) return;
    if (item.ItemRole() == MenuItem::Role::Quit) a->Quit();
}

}  // namespace

MenuItem::MenuItem() = default;

MenuItem::~MenuItem() {
    if (native_) {
        delete native_->menu;
        delete native_->action;
    }
}

MenuItem::Native& MenuItem::native() const {
    if (!native_) {
        gui::EnsureGuiSetup();
        native_ = std::make_unique<Native>();
        auto* action = new QAction();
        native_->action = action;
        action->setMenuRole(ToQtRole(ItemRole()));
        auto* self = const_cast<MenuItem*>(this);
        QObject::connect(action, &QAction::triggered, action, [self] {
            gui::Callback("menu item", [self] {
                auto keep = self->shared_from_this();
                Choose(*self);
                // The program's state, not Qt's toggle, decides the check mark.
                self->Refresh();
            });
        });
        self->Refresh();
        // A bar's menus go straight into the menu bars that show it.
        if (!dynamic_cast<const MenuBar*>(this)) for (const auto& child : children_) {
            if (!native_->menu) {
                native_->menu = new QMenu();
                action->setMenu(native_->menu);
            }
            native_->menu->addAction(child->native().action);
        }
    }
    return *native_;
}

void MenuItem::Refresh() {
    if (!native_) return;
    QAction* a = native_->action;
    QSignalBlocker block(a);
    a->setSeparator(text_ == "-");
    a->setText(gui::ToQt(text_));
    a->setCheckable(checked_);
    a->setChecked(checked_);
    a->setVisible(visible_);
    a->setEnabled(enabled_);
    a->setShortcut(ShownInMenus() && !shortcut_.empty() ? ToKeySequence(shortcut_) : QKeySequence());
}

void MenuItem::RefreshTree() {
    Refresh();
    for (const auto& child : children_) child->RefreshTree();
}

void MenuItem::SetText(const std::string& text) {
    if (text == text_) return;
    text_ = text;
    Refresh();
}

void MenuItem::SetChecked(bool checked) {
    if (checked == checked_) return;
    checked_ = checked;
    Refresh();
}

void MenuItem::SetVisible(bool visible) {
    if (visible == visible_) return;
    visible_ = visible;
    RefreshTree();  // a hidden menu's items give up their shortcuts
}

void MenuItem::SetEnabled(bool enabled) {
    if (enabled == enabled_) return;
    enabled_ = enabled;
    Refresh();
}

void MenuItem::SetKeyboardShortcut(const std::string& shortcut) {
    shortcut_ = shortcut;
    Refresh();
}

bool MenuItem::ShownInMenus() const {
    for (const MenuItem* m = this; m; m = m->parent_)
        if (!m->visible_) return false;
    return true;
}

void MenuItem::Append(const Ref<MenuItem>& item) {
    if (!item) return;
    item->parent_ = this;
    children_.push_back(item);
    item->RefreshTree();
    if (!native_) return;
    QAction* childAction = item->native().action;
    if (!native_->hosts.empty() || dynamic_cast<MenuBar*>(this)) {
        for (const auto& host : native_->hosts)
            if (host) host->addAction(childAction);
        return;
    }
    if (!native_->menu) {
        native_->menu = new QMenu();
        native_->action->setMenu(native_->menu);
    }
    native_->menu->addAction(childAction);
}

Ref<MenuItem> MenuItem::Item(int64_t index) const {
    if (index < 0 || index >= Count()) return nullptr;
    return children_[static_cast<size_t>(index)];
}

Ref<MenuItem> MenuItem::Child(const std::string& name) const {
    for (const auto& c : children_)
        if (c->Name() == name) return c;
    return nullptr;
}

Ref<MenuItem> MenuItem::Lookup(const std::string& name) const {
    for (const auto& c : children_) {
        if (c->Name() == name) return c;
        if (auto found = c->Lookup(name)) return found;
    }
    return nullptr;
}

void MenuItem::Trigger() {
    if (native().action->isEnabled()) native().action->trigger();
}

void AttachMenuBar(MenuBar& bar, QWidget* host) {
    MenuItem::Native& n = bar.native();
    n.hosts.emplace_back(host);
    for (int64_t i = 0; i < bar.Count(); ++i) host->addAction(bar.Item(i)->native().action);
}

bool ShowMenuBarInTray(const Ref<MenuBar>& bar, const Ref<Picture>& icon) {
    gui::EnsureGuiSetup();
    if (!bar || !qobject_cast<QApplication*>(QCoreApplication::instance()) ||
        !QSystemTrayIcon::isSystemTrayAvailable())
        return false;
    // Lives as long as the process.
    static auto* tray = new QSystemTrayIcon();
    static auto* menu = new QMenu();
    if (menu->actions().isEmpty()) AttachMenuBar(*bar, menu);
    if (icon && icon->impl()) tray->setIcon(QIcon(QPixmap::fromImage(icon->impl()->image)));
    tray->setContextMenu(menu);
    tray->show();
    return true;
}

}  // namespace fw
