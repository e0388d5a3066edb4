// The update window: the maker's information page about the offered version,
// a fixed notice and a button that hands the new version's disk image to the
// web browser. Opened modeless at start-up when another version is offered.
#pragma once
#include <string>

#include "framework/Controls.h"
#include "framework/HTMLViewer.h"
#include "framework/HTTPSocket.h"
#include "framework/Ref.h"
#include "framework/Window.h"

class frmUpdateWindow : public fw::Window {
public:
    static std::string kcmdUpdate(const std::string& language = "");
    static std::string kcmdUpdateHelpTag(const std::string& language = "");
    static std::string klblUpdateInfo(const std::string& language = "");

    // The information page, the download counter and the disk image.
    static std::string UpdateInfoURL();
    static std::string DownloadCounterURL();
    static std::string DiskImageURL();

    fw::Ref<fw::HTMLViewer> htmlUpdateInfo() const { return ControlAs<fw::HTMLViewer>("htmlUpdateInfo"); }
    fw::Ref<fw::Label> lblUpdateInfo() const { return ControlAs<fw::Label>("lblUpdateInfo"); }
    fw::Ref<fw::PushButton> cmdUpdate() const { return ControlAs<fw::PushButton>("cmdUpdate"); }
    fw::HTTPSocket& oHTTP() { return oHTTP_; }

protected:
    void Layout() override;
    void CreateControls() override;
    void Event_Open() override;

private:
    void cmdUpdate_Action();
    fw::HTTPSocket oHTTP_;
};

// The open update window; opens a new one when none is open.
fw::Ref<class frmUpdateWindow> frmUpdateWindow();
