#include "engine/CTimerCopy.h"

#include "app/App.h"
#include "engine/CTavelmorinth.h"

void CTimerCopy::Event_Action() {
    App& a = app();
    if (a.bTransactionCopy) return;
    // The worker is stored only once it has made the RAM disk.
    if (!a.oTavelmorinth) return;
    a.oTavelmorinth->bSet = false;
    a.oTavelmorinth->Run();
}
