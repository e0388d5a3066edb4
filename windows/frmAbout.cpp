#include "windows/frmAbout.h"

#include "app/App.h"
#include "app/Pictures.h"
#include "framework/Date.h"
#include "framework/Dialogs.h"
#include "framework/Localization.h"
#include "framework/Strings.h"
#include "windows/MakerTexts.h"

std::string frmAbout::kSlogan(const std::string& language) {
    return fw::GetLocalizedString("frmAbout.kSlogan", tvm::kSloganDefault, language);
}

void frmAbout::Layout() {
    fw::WindowLayout l;
    l.Width = 511;
    l.Height = 386;
    l.WindowFrame = fw::Frame::PlainBox;
    l.CloseButton = l.MinimizeButton = l.MaximizeButton = false;
    l.Resizeable = false;
    l.Place = fw::Placement::MainScreen;
    l.Visible = true;
    ApplyLayout(l);
}

void frmAbout::CreateControls() {
    auto at = [](int left, int top, int width, int height) {
        fw::ControlLayout c = fw::ControlAt(left, top, width, height);
        c.LockLeft = c.LockTop = false;
        c.TabStop = false;
        return c;
    };
    auto logo = at(4, 318, 100, 52);
    logo.HelpTag = "Besuchen Sie unsere Webseite";
    auto canvas = Add<fw::Canvas>("canLogo", logo);
    canvas->SetBackdrop(BKLogopoweredbyLittle());
    canvas->MouseDown = [this](int x, int y) { return canLogo_MouseDown(x, y); };
    canvas->MouseMove = [this](int x, int y) { canLogo_MouseMove(x, y); };

    auto timer = AddTimer("tiClose");
    timer->SetMode(fw::Timer::ModeOff);
    timer->SetPeriod(8000);
    timer->SetEnabled(true);
    timer->Action = [this] { tiClose_Action(); };

    auto version = at(359, 212, 51, 27);
    version.FontName = "Geneva", version.FontSize = 13, version.Italic = true;
    Add<fw::Label>("lblVersion", version)->SetText("1.0.00");

    auto copyright = at(4, 366, 166, 20);
    copyright.FontName = "Genvea", copyright.FontSize = 11;
    Add<fw::Label>("lblCopyRight", copyright)->SetText(std::string(tvm::kCopyrightStart) + "2014");

    auto product = at(190, 206, 169, 32);
    product.FontName = "Geneva", product.FontSize = 24, product.Bold = product.Italic = true;
    Add<fw::Label>("lblProductName", product)->SetText("Tavelmorinth");

    auto slogan = at(190, 235, 203, 135);
    slogan.FontName = "Geneva", slogan.FontSize = 14, slogan.Italic = true;
    slogan.LockLeft = slogan.LockTop = true;
    slogan.Transparent = false;
    auto sloganLabel = Add<fw::Label>("lblSlogan", slogan);
    sloganLabel->SetMultiline(true);
    sloganLabel->SetText(kSlogan("de"));

    auto picture = at(191, -6, 323, 206);
    picture.LockLeft = picture.LockTop = true;
    Add<fw::Canvas>("canLogoRAMDisk", picture)->SetBackdrop(LogoRAMDisk());
}

void frmAbout::Event_Open() {
    App& a = app();
    lblSlogan()->SetText(kSlogan());
    lblVersion()->SetText(fw::CStr(a.MajorVersion) + "." + fw::CStr(a.MinorVersion) + "." +
                          fw::CStr(a.BugVersion));
    lblCopyRight()->SetText(tvm::kCopyrightStart + fw::Str(fw::Date().Year()));
    tiClose()->SetMode(fw::Timer::ModeSingle);
}

void frmAbout::tiClose_Action() {
    if (!bOnlyCloseOnClick) Close();
}

bool frmAbout::Event_MouseDown(int, int) {
    if (bOnlyCloseOnClick) Close();
    return false;
}

bool frmAbout::canLogo_MouseDown(int, int) {
    fw::ShowURL(tvm::kHomePage);
    return false;
}

void frmAbout::canLogo_MouseMove(int, int) { canLogo()->SetMouseCursor(Hand()); }

fw::Ref<class frmAbout> frmAbout() { return fw::ImplicitWindow<class frmAbout>("frmAbout"); }
