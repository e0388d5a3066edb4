// The about window, also the start-up splash. As a splash (bOnlyCloseOnClick
// false) it closes itself once, 8 s after it opened, and ignores clicks; as the
// about box it stays until clicked.
#pragma once
#include <string>

#include "framework/Controls.h"
#include "framework/Ref.h"
#include "framework/Timer.h"
#include "framework/Window.h"

class frmAbout : public fw::Window {
public:
    bool bOnlyCloseOnClick = false;

    static std::string kSlogan(const std::string& language = "");

    fw::Ref<fw::Canvas> canLogo() const { return ControlAs<fw::Canvas>("canLogo"); }
    fw::Ref<fw::Timer> tiClose() const { return TimerByName("tiClose"); }
    fw::Ref<fw::Label> lblVersion() const { return ControlAs<fw::Label>("lblVersion"); }
    fw::Ref<fw::Label> lblCopyRight() const { return ControlAs<fw::Label>("lblCopyRight"); }
    fw::Ref<fw::Label> lblProductName() const { return ControlAs<fw::Label>("lblProductName"); }
    fw::Ref<fw::Label> lblSlogan() const { return ControlAs<fw::Label>("lblSlogan"); }
    fw::Ref<fw::Canvas> canLogoRAMDisk() const { return ControlAs<fw::Canvas>("canLogoRAMDisk"); }

protected:
    void Layout() override;
    void CreateControls() override;
    void Event_Open() override;
    bool Event_MouseDown(int x, int y) override;

private:
    bool canLogo_MouseDown(int x, int y);
    void canLogo_MouseMove(int x, int y);
    void tiClose_Action();
};

fw::Ref<class frmAbout> frmAbout();
