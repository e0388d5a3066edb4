#include "windows/frmAboutBK.h"

#include "framework/Dialogs.h"
#include "framework/Localization.h"
#include "framework/Strings.h"
#include "windows/MakerTexts.h"

#define TVM_ABOUTBK_CONSTANT(name, text)                                            \
    std::string frmAboutBK::name(const std::string& language) {                     \
        return fw::GetLocalizedString("frmAboutBK." #name, text, language);         \
    }
TVM_ABOUTBK_CONSTANT(kAboutBK, "About Brantolek")
TVM_ABOUTBK_CONSTANT(kMoreInfos, "More Infos")
TVM_ABOUTBK_CONSTANT(kAbout1, tvm::kAbout1Default)
TVM_ABOUTBK_CONSTANT(kAbout2, tvm::kAbout2Default)
TVM_ABOUTBK_CONSTANT(kAbout3, tvm::kAbout3Default)
TVM_ABOUTBK_CONSTANT(kAbout4, tvm::kAbout4Default)
TVM_ABOUTBK_CONSTANT(kAbout5, tvm::kAbout5Default)
TVM_ABOUTBK_CONSTANT(kAbout6, tvm::kAbout6Default)
TVM_ABOUTBK_CONSTANT(kInquiry, "Inquiry for ...")
TVM_ABOUTBK_CONSTANT(kEmailHeader, "Dear Ladies and Gentlemen,")
#undef TVM_ABOUTBK_CONSTANT

void frmAboutBK::Layout() {
    fw::WindowLayout l;
    l.Width = 300;
    l.Height = 286;
    l.MinWidth = 64;
    l.MinHeight = 64;
    l.MaxWidth = 300;
    l.MaxHeight = 286;
    l.WindowFrame = fw::Frame::MovableModal;
    l.Title = "\xC3\x9C" "ber Brantolek";
    l.CloseButton = true;
    l.MinimizeButton = true;
    l.MaximizeButton = false;
    l.Resizeable = true;
    l.Place = fw::Placement::Default;
    l.Visible = true;
    ApplyLayout(l);
}

void frmAboutBK::CreateControls() {
    auto at = [](int left, int top, int width, int height, int tab) {
        fw::ControlLayout c = fw::ControlAt(left, top, width, height, tab);
        c.LockLeft = c.LockTop = false;  // a smaller window cuts them off
        c.FontName = "Geneva", c.FontSize = 12;
        return c;
    };
    Add<fw::TextArea>("txtAbout", at(8, 8, 284, 226, 0))->SetReadOnly(true);
    auto ok = Add<fw::PushButton>("cmdOk", at(197, 255, 91, 20, 3));
    ok->SetCaption("Ok");
    ok->SetCancel(true);
    ok->Action = [this] { cmdOk_Action(); };
    auto home = Add<fw::PushButton>("cmdHomepage", at(11, 255, 91, 20, 1));
    home->SetCaption("Mehr Infos");
    home->Action = [this] { cmdHomepage_Action(); };
    auto mail = Add<fw::PushButton>("cmdEmail", at(104, 255, 91, 20, 2));
    mail->SetCaption("E-Mail");
    mail->SetDefault(true);
    mail->SetCancel(true);
    mail->Action = [this] { cmdEmail_Action(); };
}

void frmAboutBK::Event_Open() {
    SetTitle(kAboutBK());
    cmdHomepage()->SetCaption(kMoreInfos());
    const std::string breaks = fw::Chr(13) + fw::Chr(13);
    sText = kAbout1() + breaks;
    sText += kAbout2();
    for (const std::string& paragraph : {kAbout3(), kAbout4(), kAbout5(), kAbout6()}) sText += breaks + paragraph;
}

void frmAboutBK::Event_Activate() {
    if (!sText.empty()) txtAbout()->SetText(sText);
}

void frmAboutBK::cmdOk_Action() { Close(); }

void frmAboutBK::cmdHomepage_Action() {
    fw::ShowURL(tvm::kHomePage);
    Close();
}

void frmAboutBK::cmdEmail_Action() {
    fw::ShowURL(std::string("mailto:") + tvm::kMailbox + "?subject=" + kInquiry() + "&Body=" + kEmailHeader());
}

fw::Ref<class frmAboutBK> frmAboutBK() { return fw::ImplicitWindow<class frmAboutBK>("frmAboutBK"); }
