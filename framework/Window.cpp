#include "Window.h"

#include <QApplication>
#include <QCloseEvent>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QTimer>
#include <QWindow>
#include <algorithm>

#include "Application.h"
#include "Baton.h"
#include "Controls.h"
#include "Exceptions.h"
#include "GuiNative.h"
#include "Menu.h"
#include "Screen.h"

namespace fw {

// Open windows, in the order they were built. Never destroyed: windows still
// open at exit must not be torn down after the Qt application is gone.
static std::vector<Ref<Window>>& Registry() {
    static auto* windows = new std::vector<Ref<Window>>();
    return *windows;
}

struct WindowEvents {
    static void Activate(Window* w) {
        if (w && !w->impl().closed) gui::Callback("window Activate", [w] { w->Event_Activate(); });
    }
    static void MouseDown(Window* w, int x, int y) {
        if (w && !w->impl().closed) gui::Callback("window MouseDown", [w, x, y] { w->Event_MouseDown(x, y); });
    }
    static void UserClose(Window* w) {
        if (w) gui::Callback("window Close", [w] { w->Close(); });
    }
    // Return presses the default button, Escape the first cancel button.
    static bool Key(Window* w, bool cancel) {
        if (!w) return false;
        for (const auto& c : w->impl().controls) {
            auto button = c.As<PushButton>();
            if (!button || !button->Enabled() || !button->Visible()) continue;
            if (cancel ? button->Cancel() : button->Default()) {
                button->Push();
                return true;
            }
        }
        return false;
    }
    static void ApplyLocks(Window* w, int width, int height) {
        const WindowLayout& wl = w->impl().layout;
        const int dw = width - wl.Width, dh = height - wl.Height;
        for (const auto& c : w->impl().controls) {
            QWidget* widget = c->native().widget;
            if (!widget) continue;
            const ControlLayout& l = c->layout_;
            const int x = l.Left + (l.LockRight && !l.LockLeft ? dw : 0);
            const int y = l.Top + (l.LockBottom && !l.LockTop ? dh : 0);
            const int cw = l.Width + (l.LockLeft && l.LockRight ? dw : 0);
            const int ch = l.Height + (l.LockTop && l.LockBottom ? dh : 0);
            widget->setGeometry(x, y, std::max(cw, 0), std::max(ch, 0));
        }
    }
};

class ContentWidget : public QWidget {
public:
    ContentWidget(Window* owner, QWidget* parent) : QWidget(parent), owner_(owner) {}
    void Detach() { owner_ = nullptr; }

protected:
    void mousePressEvent(QMouseEvent* e) override {
        const QPoint p = e->position().toPoint();
        WindowEvents::MouseDown(owner_, p.x(), p.y());
    }
    void resizeEvent(QResizeEvent*) override {
        if (owner_) WindowEvents::ApplyLocks(owner_, width(), height());
    }

private:
    Window* owner_;
};

class FrameWidget : public QWidget {
public:
    explicit FrameWidget(Window* owner) : owner_(owner) {}
    Window* Owner() const { return owner_; }
    void Detach() { owner_ = nullptr; }
    QWidget* content = nullptr;
    QMenuBar* menuBar = nullptr;

    int MenuBarHeight() const { return menuBar ? menuBar->sizeHint().height() : 0; }

protected:
    void closeEvent(QCloseEvent* e) override {
        e->accept();
        WindowEvents::UserClose(owner_);
    }
    bool event(QEvent* e) override {
        if (e->type() == QEvent::WindowActivate) WindowEvents::Activate(owner_);
        return QWidget::event(e);
    }
    void keyPressEvent(QKeyEvent* e) override {
        const int key = e->key();
        const bool handled =
            e->modifiers() == Qt::NoModifier || e->modifiers() == Qt::KeypadModifier
                ? ((key == Qt::Key_Return || key == Qt::Key_Enter) && WindowEvents::Key(owner_, false)) ||
                      (key == Qt::Key_Escape && WindowEvents::Key(owner_, true))
                : false;
        if (!handled) QWidget::keyPressEvent(e);
    }
    void resizeEvent(QResizeEvent*) override {
        const int mb = MenuBarHeight();
        if (menuBar) menuBar->setGeometry(0, 0, width(), mb);
        if (content) content->setGeometry(0, mb, width(), height() - mb);
    }

private:
    Window* owner_;
};

FrameWidget* FrameOf(const Window::Impl& d) { return static_cast<FrameWidget*>(d.frame.data()); }
ContentWidget* ContentOf(const Window::Impl& d) { return static_cast<ContentWidget*>(d.content.data()); }

Window* WindowOfWidget(const QWidget* widget) {
    if (!widget) return nullptr;
    auto* frame = dynamic_cast<const FrameWidget*>(widget->window());
    return frame ? frame->Owner() : nullptr;
}

Window::Window() : impl_(std::make_unique<Impl>()) {}

Window::~Window() {
    // A window dropped without Close (its construction failed): take its widgets along.
    if (FrameWidget* frame = FrameOf(*impl_)) {
        frame->Detach();
        frame->deleteLater();
    }
}

bool Window::Event_MouseDown(int, int) { return false; }

void Window::ApplyLayout(const WindowLayout& layout) {
    Impl& d = *impl_;
    d.layout = layout;
    d.title = layout.Title;
    if (d.frame) d.frame->setWindowTitle(gui::ToQt(d.title));
}

void Window::Construct(const std::string& className) {
    gui::EnsureGuiSetup();
    // A quit closes every open window first, so their Close events run.
    if (Application* a = CurrentApplication(); a && !a->CloseAllWindows) a->CloseAllWindows = CloseAllWindows;
    if (!qobject_cast<QApplication*>(QCoreApplication::instance()))
        throw RuntimeException("windows need the graphical runtime");
    Impl& d = *impl_;
    d.className = className;
    auto* frame = new FrameWidget(this);
    d.frame = frame;
    auto* content = new ContentWidget(this, frame);
    d.content = content;
    frame->content = content;

    Layout();
    const WindowLayout& l = d.layout;
    Qt::WindowFlags flags;
    switch (l.WindowFrame) {
        case Frame::Document: flags = Qt::Window; break;
        case Frame::Floating: flags = Qt::Tool; break;
        case Frame::MovableModal:
        case Frame::ModalDialog: flags = Qt::Dialog; break;
        case Frame::PlainBox: flags = Qt::Window | Qt::FramelessWindowHint; break;
    }
    if (l.WindowFrame != Frame::PlainBox) {
        flags |= Qt::CustomizeWindowHint | Qt::WindowTitleHint;
        if (l.CloseButton) flags |= Qt::WindowCloseButtonHint;
        if (l.MinimizeButton) flags |= Qt::WindowMinimizeButtonHint;
        if (l.MaximizeButton && l.Resizeable) flags |= Qt::WindowMaximizeButtonHint;
    }
    frame->setWindowFlags(flags);
    frame->setWindowTitle(gui::ToQt(d.title));

    if (l.MenuBarVisible) {
        Ref<fw::MenuBar> bar = MenuBar();
        if (bar) {
            auto* mb = new QMenuBar(frame);
            mb->setNativeMenuBar(false);
            frame->menuBar = mb;
            d.menuBar = mb;
            AttachMenuBar(*bar, mb);
        }
    }
    const int mbh = frame->MenuBarHeight();
    // A window the user cannot resize has exactly its layout size.
    if (l.Resizeable) {
        frame->setMinimumSize(l.MinWidth, l.MinHeight + mbh);
        frame->setMaximumSize(l.MaxWidth, l.MaxHeight + mbh);
        frame->resize(std::clamp(l.Width, l.MinWidth, l.MaxWidth),
                      std::clamp(l.Height, l.MinHeight, l.MaxHeight) + mbh);
    } else {
        frame->setFixedSize(l.Width, l.Height + mbh);
    }
    content->setGeometry(0, mbh, frame->width(), frame->height() - mbh);
    if (l.Place == Placement::MainScreen) {
        const ScreenArea s = MainScreen();
        SetLeft(s.Left + (s.Width - frame->width()) / 2);
        SetTop(s.Top + (s.Height - frame->height()) / 2);
    }

    CreateControls();
    // Tab order: window-level controls by tab index, each group's controls
    // right after their group box.
    std::vector<Control*> order;
    auto addLevel = [&](auto& self, const std::string& group) -> void {
        std::vector<Control*> level;
        for (const auto& c : d.controls)
            if (c->layout_.InGroup == group) level.push_back(c.get());
        std::stable_sort(level.begin(), level.end(),
                         [](Control* a, Control* b) { return a->layout_.TabIndex < b->layout_.TabIndex; });
        for (Control* c : level) {
            order.push_back(c);
            if (!c->name_.empty() && c->name_ != group) self(self, c->name_);
        }
    };
    addLevel(addLevel, "");
    QWidget* previous = nullptr;
    for (Control* c : order) {
        QWidget* w = c->native().widget;
        if (!w || !c->layout_.TabStop || w->focusPolicy() == Qt::NoFocus) continue;
        if (previous) QWidget::setTabOrder(previous, w);
        previous = w;
    }

    Registry().push_back(shared_from_this());
    d.constructed = true;
    Guarded("window Open", [this] { Event_Open(); });
    if (!d.closed && l.Visible) Show();
}

const std::string& Window::ClassName() const { return impl_->className; }

void Window::Show() {
    Impl& d = *impl_;
    if (d.closed || !d.frame) return;
    d.visible = true;
    // Brought forward means seen: a minimized window comes back too.
    if (d.frame->isMinimized()) d.frame->setWindowState(d.frame->windowState() & ~Qt::WindowMinimized);
    d.frame->show();
    if (QGuiApplication::platformName() != QLatin1String("offscreen")) d.frame->raise();  // it cannot there
    d.frame->activateWindow();
}

void Window::UpdateNow() {
    Impl& d = *impl_;
    if (d.closed || !d.frame || !d.frame->isVisible()) return;
    QPointer<QWidget> frame = d.frame;
    QWindow* handle = frame->windowHandle();
    QElapsedTimer waited;
    waited.start();
    // Quit requests (socket notifiers) and input wait for the event loop proper.
    const auto flags = QEventLoop::ExcludeUserInputEvents | QEventLoop::ExcludeSocketNotifiers;
    QTimer wake;  // ends each wait for events after a slice
    while (frame && handle && !handle->isExposed() && waited.elapsed() < 500) {
        wake.start(10);
        baton::Unlocked unlocked;
        QCoreApplication::processEvents(flags | QEventLoop::WaitForMoreEvents);
    }
    if (!frame) return;
    frame->repaint();
    baton::Unlocked unlocked;
    QCoreApplication::processEvents(flags);
}

void Window::ShowModal() {
    Impl& d = *impl_;
    if (d.closed || !d.frame) return;
    auto self = shared_from_this();
    if (d.frame->isVisible()) d.frame->hide();  // modality changes only while hidden
    d.frame->setWindowModality(Qt::ApplicationModal);
    Show();
    if (d.closed) return;
    QEventLoop loop;
    d.modalLoop = &loop;
    {
        baton::Unlocked unlocked;
        loop.exec();
    }
    d.modalLoop = nullptr;
}

void Window::Close() {
    Impl& d = *impl_;
    if (d.closed) return;
    d.closed = true;
    auto self = shared_from_this();
    Guarded("window Close", [this] { Event_Close(); });
    for (auto& [name, timer] : d.timers) {
        timer->SetMode(Timer::ModeOff);
        timer->SetEnabled(false);
        timer->Action = nullptr;
    }
    for (auto& c : d.controls) c->owner_ = nullptr;
    auto& reg = Registry();
    reg.erase(std::remove_if(reg.begin(), reg.end(), [this](const Ref<Window>& w) { return w.get() == this; }),
              reg.end());
    d.visible = false;
    if (d.modalLoop) d.modalLoop->quit();
    if (FrameWidget* frame = FrameOf(d)) {
        if (ContentWidget* content = ContentOf(d)) content->Detach();
        frame->Detach();
        frame->hide();
        frame->deleteLater();
    }
}

bool Window::IsOpen() const { return impl_->constructed && !impl_->closed; }

bool Window::Visible() const { return impl_->visible && !impl_->closed; }

void Window::SetVisible(bool visible) {
    Impl& d = *impl_;
    if (d.closed || !d.frame) return;
    d.visible = visible;
    if (visible) {
        d.frame->show();
    } else {
        d.frame->hide();
    }
}

std::string Window::Title() const { return impl_->title; }

void Window::SetTitle(const std::string& title) {
    impl_->title = title;
    if (impl_->frame) impl_->frame->setWindowTitle(gui::ToQt(title));
}

int Window::Top() const { return impl_->frame ? impl_->frame->y() : impl_->top; }

void Window::SetTop(int top) {
    impl_->top = top;
    if (impl_->frame) impl_->frame->move(impl_->frame->x(), top);
}

int Window::Left() const { return impl_->frame ? impl_->frame->x() : impl_->left; }

void Window::SetLeft(int left) {
    impl_->left = left;
    if (impl_->frame) impl_->frame->move(left, impl_->frame->y());
}

int Window::Width() const { return impl_->content ? impl_->content->width() : impl_->layout.Width; }

int Window::Height() const { return impl_->content ? impl_->content->height() : impl_->layout.Height; }

const WindowLayout& Window::AppliedLayout() const { return impl_->layout; }

bool Window::IsActive() const {
    return impl_->frame && !impl_->closed && QApplication::activeWindow() == impl_->frame;
}

void Window::SetMenuBar(const Ref<fw::MenuBar>& bar) { impl_->ownMenuBar = bar; }

Ref<fw::MenuBar> Window::MenuBar() const {
    if (impl_->ownMenuBar) return impl_->ownMenuBar;
    Application* a = CurrentApplication();
    return a ? a->MenuBar : nullptr;
}

void Window::AddControl(const Ref<Control>& control, const std::string& name, const ControlLayout& layout) {
    Impl& d = *impl_;
    control->name_ = name;
    control->layout_ = layout;
    control->enabled_ = layout.Enabled;
    control->visible_ = layout.Visible;
    control->helpTag_ = layout.HelpTag;
    control->owner_ = this;
    control->MakeWidget(*this);
    if (QWidget* w = control->native().widget) {
        w->setGeometry(layout.Left, layout.Top, layout.Width, layout.Height);
        w->setFont(gui::LayoutFont(layout));
        w->setEnabled(layout.Enabled);
        w->setVisible(layout.Visible);
        if (!layout.HelpTag.empty()) w->setToolTip(gui::ToQt(layout.HelpTag));
        if (!layout.TabStop) w->setFocusPolicy(Qt::NoFocus);
    }
    d.controls.push_back(control);
    control->Placed();
}

Ref<Control> Window::ControlByName(const std::string& name) const {
    for (const auto& c : impl_->controls)
        if (c->Name() == name) return c;
    return nullptr;
}

const std::vector<Ref<Control>>& Window::Controls() const { return impl_->controls; }

Ref<Timer> Window::AddTimer(const std::string& name) {
    auto timer = Ref<Timer>(std::make_shared<Timer>());
    impl_->timers[name] = timer;
    return timer;
}

Ref<Timer> Window::TimerByName(const std::string& name) const {
    auto it = impl_->timers.find(name);
    return it == impl_->timers.end() ? Ref<Timer>() : it->second;
}

void Window::AddMenuHandler(const std::string& itemName, std::function<bool()> handler) {
    impl_->menuHandlers[itemName] = std::move(handler);
}

bool Window::HandleMenu(const std::string& itemName) {
    auto it = impl_->menuHandlers.find(itemName);
    return it != impl_->menuHandlers.end() && it->second && it->second();
}

Ref<Window> FindWindow(const std::string& className) {
    for (const auto& w : Registry())
        if (w->ClassName() == className) return w;
    return nullptr;
}

std::vector<Ref<Window>> OpenWindows() { return Registry(); }

Ref<Window> ActiveWindow() {
    Window* active = WindowOfWidget(QApplication::activeWindow());
    for (const auto& w : Registry())
        if (w.get() == active) return w;
    return nullptr;
}

void CloseAllWindows() {
    for (auto& w : OpenWindows()) w->Close();
}

}  // namespace fw
