// The options window: RAM-disk size, write-back interval and source folder.
// Whenever it closes it hands what it shows to App as pending settings and
// arms the rebuild timer.
#pragma once
#include <string>

#include "framework/Controls.h"
#include "framework/Ref.h"
#include "framework/Window.h"

class frmOptions : public fw::Window {
public:
    fw::Ref<fw::GroupBox> fraSize() const { return ControlAs<fw::GroupBox>("fraSize"); }
    fw::Ref<fw::PopupMenu> cmbSize() const { return ControlAs<fw::PopupMenu>("cmbSize"); }
    fw::Ref<fw::Label> lblInfoSize() const { return ControlAs<fw::Label>("lblInfoSize"); }
    fw::Ref<fw::GroupBox> fraIntervall() const { return ControlAs<fw::GroupBox>("fraIntervall"); }
    fw::Ref<fw::PopupMenu> cmbInterval() const { return ControlAs<fw::PopupMenu>("cmbInterval"); }
    fw::Ref<fw::GroupBox> fraPath() const { return ControlAs<fw::GroupBox>("fraPath"); }
    fw::Ref<fw::PushButton> cmdPath() const { return ControlAs<fw::PushButton>("cmdPath"); }
    fw::Ref<fw::Label> lblPath() const { return ControlAs<fw::Label>("lblPath"); }

    void GetFormOptions();

    // The interval rows: their texts and the tokens they stand for.
    static constexpr int kIntervalRows = 17;
    static std::string IntervalRowText(int index);
    static std::string IntervalToken(int index);

protected:
    void Layout() override;
    void CreateControls() override;
    void Event_Open() override;
    void Event_Close() override;

private:
    bool cmbSize_MouseDown(int x, int y);
    bool cmbInterval_MouseDown(int x, int y);
    void ListChanged();
    void cmdPath_Action();
    void SetOptions();
    void DisplayOtherSize(double m);
};

fw::Ref<class frmOptions> frmOptions();
