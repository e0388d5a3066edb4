#include "app/frmFAQ.h"

#include "app/MainMenuBar.h"

void frmFAQ::Layout() {
    SetMenuBar(::MainMenuBar());
    fw::WindowLayout l;
    l.Width = 600;
    l.Height = 424;
    l.MinWidth = 64;
    l.MinHeight = 64;
    l.MaxWidth = 32000;
    l.MaxHeight = 32000;
    l.WindowFrame = fw::Frame::Document;
    l.Title = "Ohne Titel";
    l.CloseButton = true;
    l.Resizeable = true;
    l.MaximizeButton = true;
    l.MinimizeButton = true;
    l.Place = fw::Placement::Default;
    l.Visible = false;
    l.MenuBarVisible = true;
    ApplyLayout(l);
}

fw::Ref<class frmFAQ> frmFAQ() { return fw::ImplicitWindow<class frmFAQ>("frmFAQ"); }
