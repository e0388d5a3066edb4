// Whether a timer will fire: a new timer is idle (mode off) though enabled.
#pragma once
#include "framework/Ref.h"
#include "framework/Timer.h"

template <class T>
bool Armed(const fw::Ref<T>& timer) {
    return timer && timer->Mode() != fw::Timer::ModeOff && timer->Enabled();
}
