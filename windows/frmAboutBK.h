// The window about the maker: six paragraphs and links to its home page and
// mailbox. Shown modal.
#pragma once
#include <string>

#include "framework/Controls.h"
#include "framework/Ref.h"
#include "framework/Window.h"

class frmAboutBK : public fw::Window {
public:
    std::string sText;

    static std::string kAboutBK(const std::string& language = "");
    static std::string kMoreInfos(const std::string& language = "");
    static std::string kAbout1(const std::string& language = "");
    static std::string kAbout2(const std::string& language = "");
    static std::string kAbout3(const std::string& language = "");
    static std::string kAbout4(const std::string& language = "");
    static std::string kAbout5(const std::string& language = "");
    static std::string kAbout6(const std::string& language = "");
    static std::string kInquiry(const std::string& language = "");
    static std::string kEmailHeader(const std::string& language = "");

    fw::Ref<fw::TextArea> txtAbout() const { return ControlAs<fw::TextArea>("txtAbout"); }
    fw::Ref<fw::PushButton> cmdOk() const { return ControlAs<fw::PushButton>("cmdOk"); }
    fw::Ref<fw::PushButton> cmdHomepage() const { return ControlAs<fw::PushButton>("cmdHomepage"); }
    fw::Ref<fw::PushButton> cmdEmail() const { return ControlAs<fw::PushButton>("cmdEmail"); }

protected:
    void Layout() override;
    void CreateControls() override;
    void Event_Open() override;
    void Event_Activate() override;

private:
    void cmdOk_Action();
    void cmdHomepage_Action();
    void cmdEmail_Action();
};

fw::Ref<class frmAboutBK> frmAboutBK();
