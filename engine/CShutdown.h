// Quit when idle: armed by the quit gate while a pass runs; once none runs it
// asks to quit again, this time with the eject sequence set to end in quitting.
#pragma once
#include "framework/Timer.h"

class CShutdown : public fw::Timer {
protected:
    void Event_Action() override;
};
