// The program's application object: the shared values with the program's
// events, the start-up road and the quit gate (app/AppEvents.cpp).
#pragma once
#include "app/App.h"

class ProgramApp : public App {
public:
    void Event_Open() override;
    bool Event_CancelClose() override;
    void Event_Close() override;
};
