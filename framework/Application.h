// The application object and the event loop.
#pragma once
#include <functional>
#include <map>
#include <string>

#include "FolderItem.h"
#include "Ref.h"

namespace fw {

class MenuBar;  // window machinery

enum class MouseCursor { Standard, Wait };

class Application {
public:
    Application();
    virtual ~Application();

    // Events, raised on the main thread with the baton held.
    virtual void Event_Open() {}
    virtual bool Event_CancelClose() { return false; }  // true refuses the quit
    virtual void Event_Close() {}

    // Asks Event_CancelClose; when it lets the quit through, closes every open
    // window (their Close events run), raises Event_Close and ends the event loop
    // with `exitCode` (a loop that has not started yet then returns at once).
    // An exception in Event_CancelClose is reported and refuses the quit. Called
    // on another thread, the quit is handed to the main thread and runs there.
    void Quit(int exitCode = 0);

    void SetVersionData(int major, int minor, int bug, int nonRelease, int stage,
                        const std::string& longVersion, const std::string& shortVersion,
                        const std::string& packageInfo);
    int MajorVersion = 0, MinorVersion = 0, BugVersion = 0, NonReleaseVersion = 0, StageCode = 0;
    std::string LongVersion, ShortVersion, PackageInfo;

    Ref<fw::MenuBar> MenuBar;
    void SetMouseCursor(MouseCursor c);
    Ref<FolderItem> ExecutableFile() const;

    // Menu handlers bound by item name; answering true means handled.
    void AddMenuHandler(const std::string& itemName, std::function<bool()> handler);
    bool HandleMenu(const std::string& itemName);

    // Hooks for the window machinery: close every window before Event_Close.
    std::function<void()> CloseAllWindows;

private:
    std::map<std::string, std::function<bool()>> menuHandlers_;
};

Application* CurrentApplication();
void RegisterApplication(Application* app);

// The program's bundle: <bundle>/Contents/MacOS/<executable>, with
// <bundle>/Contents/Resources and <bundle>/Contents/Helpers (tools) beside it.
std::string ResourcesFolder();
void SetResourcesFolder(const std::string& posixPath);  // "": back to the bundle's

// Runtime start (creates the Qt application; headless when there is no display
// or QT_QPA_PLATFORM says so). Call first in main.
void InitRuntime(int& argc, char** argv);
// Runs the event loop: raises Event_Open on `app` once the loop runs, returns the
// exit code given to Quit. While it runs, SIGTERM, SIGINT and SIGHUP become
// Quit(0) requests on the main thread. The baton is released while Qt waits and
// taken for every call into program code.
int RunEventLoop(Application& app);
// Processes pending events and due timers for up to `ms` milliseconds of real time
// (with the baton released while waiting, so other threads run), or until `until`
// answers true; `until` is asked with the baton held, first before any waiting.
// With a MockClock installed, real time fires no timer. On a thread other than
// the main one it only waits with the baton released.
void ProcessEvents(int ms, const std::function<bool()>& until = {});
// From this call on, an end of the process that comes while the event loop runs
// (Qt ends the process from inside it when the display goes away) or while a
// framework thread still runs skips the exit handlers, which would tear down
// objects that thread uses: `beforeEnd` runs with the baton, then the process
// ends with _exit (code 1 from inside the loop, else the loop's exit code).
// Objects made after this call and used by threads must outlive the process.
void EndWithoutTeardownWhileBusy(std::function<void()> beforeEnd);

}  // namespace fw
