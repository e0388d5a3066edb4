// Requests for looking at a running program from outside, in test builds only:
// "windows" lists the visible windows, "active" names the active one and
// "choose <item>" chooses a menu item once the start-up is over.
#include <cstring>
#include <deque>

#include "app/App.h"
#include "app/LaterStarts.h"
#include "app/MainMenuBar.h"
#include "engine/CStartup.h"
#include "framework/Menu.h"
#include "framework/Timer.h"
#include "framework/Window.h"

namespace {

constexpr const char* kChoose = "choose ";

// Never destroyed: a timer must not be torn down by the exit handlers.
std::deque<std::string>& gChosen = *new std::deque<std::string>();
fw::Ref<fw::Timer>& gChooser = *new fw::Ref<fw::Timer>();

std::string VisibleWindows() {
    std::string names;
    for (const auto& w : fw::OpenWindows())
        if (w->Visible()) names += (names.empty() ? "" : " ") + w->ClassName();
    return names;
}

// Menu items are chosen like the program's own requests: once its workers exist.
void ChooseWaiting() {
    App& a = app();
    if (!a.oAfterChangeOptions || CStartup::Unfinished()) return;
    while (!gChosen.empty()) {
        const std::string name = gChosen.front();
        gChosen.pop_front();
        if (auto item = a.MenuBar ? a.MenuBar->Lookup(name) : nullptr) item->Trigger();
    }
    gChooser->SetEnabled(false);
}

void Choose(const std::string& name) {
    gChosen.push_back(name);
    if (!gChooser) {
        gChooser = fw::New<fw::Timer>();
        gChooser->SetMode(fw::Timer::ModeMultiple);
        gChooser->SetPeriod(50);
        gChooser->Action = &ChooseWaiting;
    }
    gChooser->SetEnabled(true);
}

std::optional<std::string> Answer(const std::string& request) {
    if (request == "windows") return VisibleWindows();
    if (request == "active") {
        const auto w = fw::ActiveWindow();
        return w ? w->ClassName() : "";
    }
    if (request.rfind(kChoose, 0) == 0) {
        Choose(request.substr(std::strlen(kChoose)));
        return "ok";
    }
    return std::nullopt;
}

const bool gInstalled = (SetLaterStartExtra(&Answer), true);

}  // namespace
