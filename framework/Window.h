// Windows with one live instance per class, built from a layout.
//
// A window class reaches its instance through an accessor named like the class
// (ImplicitWindow<T>("frmState")): it answers the open window of that class, or
// builds a new one from the layout (Layout, CreateControls), raises its Open
// event and shows it when the layout says visible. Closing a window raises its
// Close event and ends the instance; the next use of the accessor builds a
// fresh window. All events run on the main thread with the baton held.
#pragma once
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "Ref.h"
#include "Timer.h"

namespace fw {

class Control;
class MenuBar;
struct ControlLayout;

enum class Frame { Document = 0, MovableModal = 1, ModalDialog = 2, Floating = 3, PlainBox = 4 };
enum class Placement { Default = 0, MainScreen = 2 };

// Sizes are the content area's, without the menu bar a window may carry.
struct WindowLayout {
    int Width = 600, Height = 400;
    int MinWidth = 64, MinHeight = 64, MaxWidth = 32000, MaxHeight = 32000;
    Frame WindowFrame = Frame::Document;
    std::string Title;
    bool CloseButton = true, MinimizeButton = true, MaximizeButton = false;
    bool Resizeable = false;
    Placement Place = Placement::Default;
    bool Visible = true;
    bool MenuBarVisible = false;
};

class Window : public std::enable_shared_from_this<Window> {
public:
    Window();
    virtual ~Window();
    Window(const Window&) = delete;
    Window& operator=(const Window&) = delete;

    // Builds the window and registers it under `className`; see the file comment.
    void Construct(const std::string& className);
    const std::string& ClassName() const;

    void Show();       // returns at once; brings an open window forward
    void ShowModal();  // returns when the window has closed
    // Paints the shown window now rather than when the event loop next runs, so
    // that it is seen while a long call follows (a splash). Waits at most half a
    // second for the desktop to show it; handles no input meanwhile.
    void UpdateNow();
    void Close();      // raises Close, ends the instance; a second Close does nothing
    bool IsOpen() const;

    bool Visible() const;
    void SetVisible(bool visible);
    std::string Title() const;
    void SetTitle(const std::string& title);
    // Screen position of the window's top-left corner.
    int Top() const;
    void SetTop(int top);
    int Left() const;
    void SetLeft(int left);
    int Width() const;   // content area
    int Height() const;
    const WindowLayout& AppliedLayout() const;
    bool IsActive() const;

    // The menu bar shown at the top when the layout says so; the application's
    // menu bar unless the window has one of its own.
    void SetMenuBar(const Ref<fw::MenuBar>& bar);
    Ref<fw::MenuBar> MenuBar() const;

    // Controls, looked up by name; Nil when the window has none of that name.
    Ref<Control> ControlByName(const std::string& name) const;
    template <class T>
    Ref<T> ControlAs(const std::string& name) const {
        return ControlByName(name).template As<T>();
    }
    template <class T>
    Ref<T> Add(const std::string& name, const ControlLayout& layout) {
        auto control = New<T>();
        AddControl(control, name, layout);
        return control;
    }
    const std::vector<Ref<Control>>& Controls() const;

    // A timer owned by the window: it stops for good when the window closes.
    Ref<Timer> AddTimer(const std::string& name);
    Ref<Timer> TimerByName(const std::string& name) const;

    // Menu handlers the window answers while it is the active window; they come
    // before the application's handlers.
    void AddMenuHandler(const std::string& itemName, std::function<bool()> handler);
    bool HandleMenu(const std::string& itemName);

    struct Impl;
    Impl& impl() const { return *impl_; }

protected:
    virtual void Layout() {}  // applies the window's layout (ApplyLayout)
    virtual void CreateControls() {}
    virtual void Event_Open() {}
    virtual void Event_Close() {}
    virtual void Event_Activate() {}
    // A click on the window's free area (or a control that passes clicks on),
    // in content coordinates.
    virtual bool Event_MouseDown(int x, int y);

    void ApplyLayout(const WindowLayout& layout);

private:
    friend struct WindowEvents;
    void AddControl(const Ref<Control>& control, const std::string& name, const ControlLayout& layout);
    std::unique_ptr<Impl> impl_;
};

// The open window registered under `className`, or Nil.
Ref<Window> FindWindow(const std::string& className);
std::vector<Ref<Window>> OpenWindows();
// The open window that has the keyboard focus, or Nil.
Ref<Window> ActiveWindow();
// Closes every open window (their Close events run); the quit hook.
void CloseAllWindows();

template <class T>
Ref<T> ImplicitWindow(const std::string& className) {
    if (auto w = FindWindow(className)) {
        if (auto t = w.template As<T>()) return t;
    }
    auto w = New<T>();
    w->Construct(className);
    return w;
}

}  // namespace fw
