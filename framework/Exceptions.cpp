#include "Exceptions.h"

#include <cstdio>
#include <mutex>

#include "Internal.h"

namespace fw {
namespace internal {
void (*gShowUncaughtBox)(const std::string& text) = nullptr;
void (*gShowWarningBox)(const std::string& text) = nullptr;
void (*gSetWaitCursor)(bool wait) = nullptr;
}

namespace {
std::mutex gHookMutex;
UncaughtHook gHook;

void Report(const std::string& className, const std::string& message, const std::string& where) {
    UncaughtHook hook;
    {
        std::lock_guard lock(gHookMutex);
        hook = gHook;
    }
    if (hook) {
        hook(className, message, where);
        return;
    }
    const std::string text = "An exception of class " + className + " was not handled in " + where +
                             (message.empty() ? std::string(".") : ": " + message);
    std::fprintf(stderr, "Tavelmorinth: %s\n", text.c_str());
    if (internal::gShowUncaughtBox) internal::gShowUncaughtBox(text);
}
}  // namespace

void ReportUncaught(const std::exception& e, const std::string& where) {
    if (auto* re = dynamic_cast<const RuntimeException*>(&e)) {
        Report(re->ClassName(), re->Message(), where);
    } else {
        Report("std::exception", e.what(), where);
    }
}

void ReportUncaughtUnknown(const std::string& where) { Report("unknown exception", "", where); }

bool Guarded(const std::string& where, const std::function<void()>& fn) {
    try {
        fn();
        return true;
    } catch (const std::exception& e) {
        ReportUncaught(e, where);
    } catch (...) {
        ReportUncaughtUnknown(where);
    }
    return false;
}

void SetUncaughtHook(UncaughtHook hook) {
    std::lock_guard lock(gHookMutex);
    gHook = std::move(hook);
}

}  // namespace fw
