// Calls from the engine into parts that live elsewhere (windows). The program
// wires them at start-up; unset, they do nothing, so the engine runs headless.
#pragma once
#include <functional>

namespace EngineHooks {

// Shows the activity window (it is opened again when the user has closed it).
inline std::function<void()> ShowActivityWindow;

inline void Call(const std::function<void()>& hook) {
    if (hook) hook();
}

}  // namespace EngineHooks
