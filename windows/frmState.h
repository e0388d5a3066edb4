// The activity window: folder line, progress bar and status text, written only
// by the progress timer. Its Open and Close events keep the check mark of
// mnuState, App.bActivityVisible and the stored position in step.
#pragma once
#include "framework/Controls.h"
#include "framework/Ref.h"
#include "framework/Window.h"

class frmState : public fw::Window {
public:
    fw::Ref<fw::ProgressBar> prgState() const { return ControlAs<fw::ProgressBar>("prgState"); }
    fw::Ref<fw::Label> lblFolder() const { return ControlAs<fw::Label>("lblFolder"); }
    fw::Ref<fw::Label> lblStateRAMDisk() const { return ControlAs<fw::Label>("lblStateRAMDisk"); }

protected:
    void Layout() override;
    void CreateControls() override;
    void Event_Open() override;
    void Event_Close() override;
};

// The open activity window; opens a new one when none is open.
fw::Ref<class frmState> frmState();
