#include "Application.h"

#include <filesystem>
#include <mutex>

#include "Baton.h"
#include "EventLoop.h"
#include "Internal.h"
#include "TypeName.h"

namespace fw {
namespace {
std::mutex gResourcesMutex;
std::string gResources;
Application* gApp = nullptr;

std::string ExecutablePath() {
    std::error_code ec;
    const auto path = std::filesystem::read_symlink("/proc/self/exe", ec);
    return ec ? std::string() : path.string();
}
}  // namespace

Application::Application() {}

Application::~Application() {
    if (gApp == this) gApp = nullptr;
}

void Application::Quit(int exitCode) {
    // The quit events belong to the main thread.
    if (!internal::OnMainThread()) {
        internal::PostToMain([this, exitCode] { Quit(exitCode); });
        return;
    }
    baton::Held held;
    const std::string where = "application " + internal::ClassNameOf(typeid(*this));
    // A gate that fails must not let the quit through: it may be guarding unsaved data.
    bool refused = true;
    Guarded(where + " Event_CancelClose", [&] { refused = Event_CancelClose(); });
    if (refused) return;
    if (CloseAllWindows) Guarded(where + " CloseAllWindows", CloseAllWindows);
    Guarded(where + " Event_Close", [&] { Event_Close(); });
    internal::EndLoop(exitCode);
}

void Application::SetVersionData(int major, int minor, int bug, int nonRelease, int stage,
                                 const std::string& longVersion, const std::string& shortVersion,
                                 const std::string& packageInfo) {
    MajorVersion = major;
    MinorVersion = minor;
    BugVersion = bug;
    NonReleaseVersion = nonRelease;
    StageCode = stage;
    LongVersion = longVersion;
    ShortVersion = shortVersion;
    PackageInfo = packageInfo;
}

void Application::SetMouseCursor(MouseCursor c) {
    internal::PostToMain([c] {
        if (internal::gSetWaitCursor) internal::gSetWaitCursor(c == MouseCursor::Wait);
    });
}

Ref<FolderItem> Application::ExecutableFile() const {
    const std::string path = ExecutablePath();
    if (path.empty()) return nullptr;
    return New<FolderItem>(path);
}

void Application::AddMenuHandler(const std::string& itemName, std::function<bool()> handler) {
    menuHandlers_[itemName] = std::move(handler);
}

bool Application::HandleMenu(const std::string& itemName) {
    auto it = menuHandlers_.find(itemName);
    return it != menuHandlers_.end() && it->second && it->second();
}

Application* CurrentApplication() { return gApp; }
void RegisterApplication(Application* app) { gApp = app; }

std::string ResourcesFolder() {
    {
        std::lock_guard lock(gResourcesMutex);
        if (!gResources.empty()) return gResources;
    }
    const std::filesystem::path exe = ExecutablePath();
    return (exe.parent_path().parent_path() / "Resources").string();
}

// An empty path goes back to the bundle's own Resources folder.
void SetResourcesFolder(const std::string& posixPath) {
    std::lock_guard lock(gResourcesMutex);
    gResources = posixPath;
}

}  // namespace fw
