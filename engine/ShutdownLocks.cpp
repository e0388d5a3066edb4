#include "engine/ShutdownLocks.h"

#include "app/App.h"
#include "app/ShellPaths.h"
#include "engine/CCleanRAMDisk.h"
#include "engine/CShutdown.h"
#include "engine/TimerState.h"
#include "framework/SessionEnd.h"

void HoldShutdownLocksFor(const std::string& targetPath) {
    const bool attached = ExistsAt(targetPath);
    bool lastWriteBack = false;
    if (auto* a = dynamic_cast<App*>(fw::CurrentApplication()))
        lastWriteBack = Armed(a->oCleanRamDisk) || Armed(a->oShutdown);
    fw::SessionEnd::HoldShutdown(attached, attached && lastWriteBack);
}
