#include "engine/CShutdown.h"

#include "app/App.h"

void CShutdown::Event_Action() {
    App& a = app();
    if (a.bTransactionCopy) return;
    const auto self = shared_from_this();  // Quit may release this timer
    a.bCleanRAMDiskWithShutdown = true;
    a.bShutdown = true;
    SetEnabled(false);
    a.Quit(0);
}
