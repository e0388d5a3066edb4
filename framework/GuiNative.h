// Framework-private: the Qt side of windows, controls and menus.
#pragma once
#include <QAction>
#include <QFont>
#include <QMenu>
#include <QMenuBar>
#include <QPointer>
#include <QString>
#include <QWidget>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "Controls.h"
#include "Menu.h"
#include "Window.h"

class QEventLoop;

namespace fw {

namespace gui {
inline QString ToQt(const std::string& s) { return QString::fromStdString(s); }
inline std::string FromQt(const QString& s) { return s.toStdString(); }
// Line ends as the screen wants them: a carriage return (alone or before a
// line feed) becomes a line feed.
QString DisplayText(const std::string& s);
QFont LayoutFont(const ControlLayout& layout);
// Once per process: windows closing must not end the program.
void EnsureGuiSetup();
// Runs program code from a Qt callback: takes the baton, reports exceptions.
void Callback(const char* where, const std::function<void()>& fn);
}  // namespace gui

struct Control::Native {
    QPointer<QWidget> widget;
};

struct Window::Impl {
    std::string className;
    WindowLayout layout;
    bool constructed = false, closed = false, visible = false;
    std::string title;
    int left = 0, top = 0;
    QPointer<QWidget> frame;    // the top-level widget
    QPointer<QWidget> content;  // the layout's area, below the menu bar
    QPointer<QMenuBar> menuBar;
    Ref<fw::MenuBar> ownMenuBar;
    std::vector<Ref<Control>> controls;
    std::map<std::string, Ref<Timer>> timers;
    std::map<std::string, std::function<bool()>> menuHandlers;
    QEventLoop* modalLoop = nullptr;
};

struct MenuItem::Native {
    QAction* action = nullptr;
    QMenu* menu = nullptr;                 // once the item holds items
    std::vector<QPointer<QWidget>> hosts;  // a bar's: the menu bars and tray menus showing it
};

// Shows the menus of `bar` in `host` (a window's QMenuBar or a tray's QMenu).
void AttachMenuBar(MenuBar& bar, QWidget* host);

// The window a Qt top-level widget belongs to, or null.
Window* WindowOfWidget(const QWidget* widget);

}  // namespace fw
