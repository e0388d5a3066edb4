#include "windows/frmState.h"

#include "app/App.h"
#include "app/MainMenuBar.h"
#include "framework/Strings.h"

namespace {
// Whatever the settings file holds becomes a position, but never an
// out-of-range conversion.
int Truncated(double v) {
    if (!(v > -1e9 && v < 1e9)) return v > 0 ? 1000000000 : (v < 0 ? -1000000000 : 0);
    return static_cast<int>(v);
}
}  // namespace

void frmState::Layout() {
    fw::WindowLayout l;
    l.Title = "Aktivit\xC3\xA4t";
    l.Width = 470;
    l.Height = 116;
    l.MinWidth = 64;
    l.MinHeight = 64;
    l.MaxWidth = 470;
    l.MaxHeight = 114;
    l.WindowFrame = fw::Frame::Floating;
    l.Place = fw::Placement::MainScreen;
    l.CloseButton = true;
    l.MinimizeButton = true;
    l.Resizeable = false;
    l.MaximizeButton = false;
    l.Visible = true;
    l.MenuBarVisible = true;
    ApplyLayout(l);
}

void frmState::CreateControls() {
    fw::ControlLayout c;
    c.LockLeft = c.LockTop = c.LockRight = true;
    c.FontSize = 12;

    c.Left = 10, c.Top = 24, c.Width = 450, c.Height = 20, c.TabIndex = 0;
    auto progress = Add<fw::ProgressBar>("prgState", c);
    progress->SetMaximum(100);
    progress->SetValue(0);

    c.Left = 10, c.Top = 0, c.Width = 450, c.Height = 20, c.TabIndex = 0;
    Add<fw::Label>("lblFolder", c);

    c.Left = 10, c.Top = 56, c.Width = 450, c.Height = 51, c.TabIndex = 1;
    Add<fw::Label>("lblStateRAMDisk", c)->SetMultiline(true);
}

void frmState::Event_Open() {
    App& a = app();
    SetTitle(App::kActivity());
    SetTop(Truncated(fw::CDbl(a.sStateTop)));
    SetLeft(Truncated(fw::CDbl(a.sStateLeft)));
    mnuState()->SetChecked(true);
    a.bActivityVisible = true;
}

void frmState::Event_Close() {
    App& a = app();
    a.sStateTop = fw::Format(Top(), "0000");
    a.sStateLeft = fw::Format(Left(), "0000");
    // A position that cannot be stored must not keep the window from closing.
    a.TrySaveOptions();
    mnuState()->SetChecked(false);
    a.bActivityVisible = false;
}

fw::Ref<class frmState> frmState() { return fw::ImplicitWindow<class frmState>("frmState"); }
