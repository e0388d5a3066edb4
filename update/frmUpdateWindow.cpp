#include "update/frmUpdateWindow.h"

#include "app/App.h"
#include "framework/Dialogs.h"
#include "framework/Localization.h"
#include "update/UpdateTexts.h"
#include "update/mdlOrder.h"

std::string frmUpdateWindow::kcmdUpdate(const std::string& language) {
    return fw::GetLocalizedString("frmUpdateWindow.kcmdUpdate", "Download", language);
}

std::string frmUpdateWindow::kcmdUpdateHelpTag(const std::string& language) {
    return fw::GetLocalizedString("frmUpdateWindow.kcmdUpdateHelpTag", "Download actual version!", language);
}

std::string frmUpdateWindow::klblUpdateInfo(const std::string& language) {
    return fw::GetLocalizedString("frmUpdateWindow.klblUpdateInfo", tvm::klblUpdateInfoDefault, language);
}

// The server picks the page by number and template; VID tells it the version
// the user runs, so the page can say what changed since then.
std::string frmUpdateWindow::UpdateInfoURL() {
    return std::string(mdlOrder::kServer) + "/index.php?Seite_Nr=update&Seite_VorlageTpl=tavelmorinth&VID=" +
           app().VersionText();
}

std::string frmUpdateWindow::DownloadCounterURL() {
    return std::string(mdlOrder::kServer) + "/Download/download.php?id=31";
}

std::string frmUpdateWindow::DiskImageURL() {
    return std::string(mdlOrder::kServer) + "/Download/Tavelmorinth/MacOSX/Intel/Tavelmorinth.dmg";
}

void frmUpdateWindow::Layout() {
    fw::WindowLayout l;
    l.Width = 868;
    l.Height = 550;
    l.MinWidth = 64;
    l.MinHeight = 64;
    // Below the height: harmless, since the window cannot be resized and so
    // keeps exactly its size.
    l.MaxWidth = 868;
    l.MaxHeight = 538;
    l.WindowFrame = fw::Frame::Document;
    l.Title = "Update Tavelmorinth";
    l.CloseButton = true;
    l.MinimizeButton = true;
    l.MaximizeButton = false;
    l.Resizeable = false;
    l.Place = fw::Placement::MainScreen;
    l.Visible = true;
    l.MenuBarVisible = true;
    ApplyLayout(l);
}

void frmUpdateWindow::CreateControls() {
    const auto at = fw::ControlAt;

    fw::ControlLayout page = at(20, 7, 827, 473, 0);
    page.LockRight = page.LockBottom = true;
    page.HelpTag = "Hier finden Sie die Informationen zu dem aktuellen Update!";
    auto html = Add<fw::HTMLViewer>("htmlUpdateInfo", page);
    // The Edit items act on the page while this window is the active one.
    auto edit = [html](void (fw::HTMLViewer::*action)()) {
        return [html, action] {
            ((*html).*action)();
            return true;
        };
    };
    AddMenuHandler("EditClear", edit(&fw::HTMLViewer::Clear));
    AddMenuHandler("EditCopy", edit(&fw::HTMLViewer::Copy));
    AddMenuHandler("EditCut", edit(&fw::HTMLViewer::Cut));
    AddMenuHandler("EditPaste", edit(&fw::HTMLViewer::Paste));
    AddMenuHandler("EditSelectAll", edit(&fw::HTMLViewer::SelectAll));

    fw::ControlLayout notice = at(20, 480, 723, 69, 1);
    notice.FontName = "Geneva", notice.FontSize = 12;
    notice.Transparent = false;
    auto label = Add<fw::Label>("lblUpdateInfo", notice);
    label->SetMultiline(true);
    label->SetText(klblUpdateInfo());

    fw::ControlLayout button = at(755, 519, 92, 20, 2);
    button.FontName = "Geneva", button.FontSize = 12;
    button.HelpTag = kcmdUpdateHelpTag();
    auto update = Add<fw::PushButton>("cmdUpdate", button);
    update->SetCaption(kcmdUpdate());
    update->Action = [this] { cmdUpdate_Action(); };
}

void frmUpdateWindow::Event_Open() {
    cmdUpdate()->SetEnabled(true);
    htmlUpdateInfo()->LoadURL(UpdateInfoURL());
}

void frmUpdateWindow::cmdUpdate_Action() {
    // The counter's answer means nothing to us; the browser does the download.
    oHTTP_.Get(DownloadCounterURL(), 1);
    fw::ShowURL(DiskImageURL());
}

fw::Ref<class frmUpdateWindow> frmUpdateWindow() {
    return fw::ImplicitWindow<class frmUpdateWindow>("frmUpdateWindow");
}
