// The hidden default window: it only carries the menu bar.
#pragma once
#include "framework/Ref.h"
#include "framework/Window.h"

class frmFAQ : public fw::Window {
protected:
    void Layout() override;
    void CreateControls() override {}
};

fw::Ref<class frmFAQ> frmFAQ();
