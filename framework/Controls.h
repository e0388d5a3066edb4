// Controls that windows are built from. Each control keeps its own state and
// mirrors it to the screen; a write that changes nothing touches nothing, so a
// timer may write a control every millisecond without repainting it.
// Handlers run on the main thread with the baton held.
#pragma once
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "Picture.h"
#include "Ref.h"

namespace fw {

class Window;

// Positions are window content coordinates in pixels, also for controls that
// sit in a group box (InGroup names the box; tab indexes count within it).
struct ControlLayout {
    int Left = 0, Top = 0, Width = 80, Height = 20;
    int TabIndex = 0;
    std::string InGroup;
    bool LockLeft = true, LockTop = true, LockRight = false, LockBottom = false;
    // "System", "Geneva" (and the misspelt "Genvea") are the desktop's font;
    // size 0 is the desktop's size.
    std::string FontName = "System";
    double FontSize = 0;
    bool Bold = false, Italic = false, Underline = false;
    std::string HelpTag;
    bool Enabled = true, Visible = true;
    bool Transparent = true;
    bool TabStop = true;
};

// A layout at the given place, with the defaults above for everything else.
inline ControlLayout ControlAt(int left, int top, int width, int height, int tabIndex = 0) {
    ControlLayout c;
    c.Left = left, c.Top = top, c.Width = width, c.Height = height, c.TabIndex = tabIndex;
    return c;
}

class Control {
public:
    virtual ~Control();
    Control(const Control&) = delete;
    Control& operator=(const Control&) = delete;

    const std::string& Name() const { return name_; }
    const ControlLayout& Layout() const { return layout_; }
    int Left() const { return layout_.Left; }
    int Top() const { return layout_.Top; }
    int Width() const { return layout_.Width; }
    int Height() const { return layout_.Height; }
    bool Enabled() const { return enabled_; }
    void SetEnabled(bool enabled);
    bool Visible() const { return visible_; }
    void SetVisible(bool visible);
    const std::string& HelpTag() const { return helpTag_; }
    void SetHelpTag(const std::string& tag);
    // The window the control was made in; null once that window has closed.
    Window* Owner() const { return owner_; }

    struct Native;
    Native& native() const { return *native_; }

protected:
    Control();
    // Makes the on-screen widget inside the window's content area.
    virtual void MakeWidget(Window& window) = 0;
    // Once the widget has its place and font.
    virtual void Placed() {}

private:
    friend class Window;
    friend struct WindowEvents;
    std::string name_;
    ControlLayout layout_;
    bool enabled_ = true, visible_ = true;
    std::string helpTag_;
    Window* owner_ = nullptr;
    std::unique_ptr<Native> native_;
};

// The desktop's font is not the one a layout was drawn with: a text that does
// not fit its label is drawn up to a fifth smaller, and a single line that
// still does not fit loses its middle to an ellipsis.
class Label : public Control {
public:
    const std::string& Text() const { return text_; }
    void SetText(const std::string& text);
    bool Multiline() const { return multiline_; }
    void SetMultiline(bool multiline);

protected:
    void MakeWidget(Window& window) override;
    void Placed() override { Fit(); }

private:
    void Fit();
    std::string text_;
    bool multiline_ = false;
};

class ProgressBar : public Control {
public:
    int64_t Value() const { return value_; }
    void SetValue(int64_t value);
    int64_t Maximum() const { return maximum_; }
    void SetMaximum(int64_t maximum);

protected:
    void MakeWidget(Window& window) override;

private:
    int64_t value_ = 0, maximum_ = 100;
};

class GroupBox : public Control {
public:
    const std::string& Caption() const { return caption_; }
    void SetCaption(const std::string& caption);

protected:
    void MakeWidget(Window& window) override;

private:
    std::string caption_;
};

class PushButton : public Control {
public:
    const std::string& Caption() const { return caption_; }
    void SetCaption(const std::string& caption);
    // The default button is pressed by Return, a cancel button by Escape
    // (the first cancel button in creation order, when there are several).
    bool Default() const { return default_; }
    void SetDefault(bool isDefault);
    bool Cancel() const { return cancel_; }
    void SetCancel(bool isCancel);

    std::function<void()> Action;
    // Presses the button as the user would; nothing happens while it is disabled.
    void Push();

protected:
    void MakeWidget(Window& window) override;

private:
    std::string caption_;
    bool default_ = false, cancel_ = false;
};

class PopupMenu : public Control {
public:
    void AddRow(const std::string& text);
    void DeleteAllRows();
    int64_t ListCount() const { return static_cast<int64_t>(rows_.size()); }
    std::string List(int64_t index) const;  // "" outside the rows
    int64_t ListIndex() const { return listIndex_; }  // -1: no row selected
    void SetListIndex(int64_t index);                 // outside the rows: none
    std::string Text() const { return List(listIndex_); }

    // A mouse press on the list, before it opens; true keeps it closed.
    std::function<bool(int x, int y)> MouseDown;
    // The user chose a row, by mouse, keyboard or wheel (not SetListIndex).
    std::function<void()> Change;

protected:
    void MakeWidget(Window& window) override;

private:
    friend struct WindowEvents;
    std::vector<std::string> rows_;
    int64_t listIndex_ = -1;
};

class TextArea : public Control {
public:
    const std::string& Text() const { return text_; }
    void SetText(const std::string& text);
    bool ReadOnly() const { return readOnly_; }
    void SetReadOnly(bool readOnly);

protected:
    void MakeWidget(Window& window) override;

private:
    friend struct WindowEvents;
    std::string text_;
    bool readOnly_ = false;
};

class Canvas : public Control {
public:
    const Ref<Picture>& Backdrop() const { return backdrop_; }
    void SetBackdrop(const Ref<Picture>& picture);
    // The pointer shape over the canvas; Nil is the standard pointer.
    const Ref<MouseCursorShape>& MouseCursor() const { return cursor_; }
    void SetMouseCursor(const Ref<MouseCursorShape>& cursor);

    // With a MouseDown handler the canvas keeps its clicks; without one they go
    // on to the window's MouseDown.
    std::function<bool(int x, int y)> MouseDown;
    std::function<void(int x, int y)> MouseMove;

protected:
    void MakeWidget(Window& window) override;

private:
    Ref<Picture> backdrop_;
    Ref<MouseCursorShape> cursor_;
};

}  // namespace fw
