#include "windows/frmOptions.h"

#include <array>

#include "app/App.h"
#include "app/SettingTexts.h"
#include "app/SourceFolders.h"
#include "engine/CAfterChangeOptions.h"
#include "framework/Dialogs.h"
#include "framework/FolderItem.h"
#include "framework/Strings.h"
#include "framework/Timer.h"

namespace {

struct SizeRow {
    const char* text;
    double threshold;  // offered while it exceeds the counted megabytes plus 60
};

// Every threshold lies below its size, so an offered size always passes the
// load's fit test; 2756 and 3756 break the pattern of the others on purpose.
constexpr std::array<SizeRow, 16> kSizeRows{{
    {"256 MB", 200},    {"512 MB", 456},    {"768 MB", 700},    {"1.024 MB", 956},
    {"1.280 MB", 1200}, {"1.536 MB", 1456}, {"1.792 MB", 1700}, {"2.048 MB", 1956},
    {"2.304 MB", 2200}, {"2.560 MB", 2456}, {"2.816 MB", 2756}, {"3.072 MB", 2956},
    {"3.328 MB", 3200}, {"3.584 MB", 3456}, {"3.840 MB", 3756}, {"4.096 MB", 3956},
}};

constexpr const auto& kTokens = kIntervalTokens;
static_assert(kIntervalTokens.size() == frmOptions::kIntervalRows);

void ArmRebuildTimer(fw::Timer& timer) {
    timer.SetMode(fw::Timer::ModeMultiple);
    timer.SetPeriod(500);
    timer.SetEnabled(true);
}

bool ArmRebuildIfMade() {
    App& a = app();
    if (!a.oAfterChangeOptions) return false;
    ArmRebuildTimer(*a.oAfterChangeOptions);
    return true;
}

// Waits for the start-up thread to make the rebuild timer when the window
// closes before it exists; the pending settings wait in App meanwhile.
fw::Ref<fw::Timer>& DeferredRebuild() {
    static auto* timer = new fw::Ref<fw::Timer>();
    return *timer;
}

void ArmRebuild() {
    if (ArmRebuildIfMade()) return;
    auto& waiter = DeferredRebuild();
    if (!waiter) {
        waiter = fw::Ref<fw::Timer>(std::make_shared<fw::Timer>());
        waiter->Action = [] {
            if (ArmRebuildIfMade()) DeferredRebuild()->SetMode(fw::Timer::ModeOff);
        };
    }
    ArmRebuildTimer(*waiter);
}

}  // namespace

std::string frmOptions::IntervalRowText(int index) {
    if (index < 0 || index >= kIntervalRows) return {};
    if (index <= 5) return std::string(kTokens[index]) + " " + App::kSeconds();
    if (index <= 13) return fw::Replace(kTokens[index], "m", "") + " min.";
    return fw::Replace(kTokens[index], "S", "") + " " + App::kHours();
}

std::string frmOptions::IntervalToken(int index) {
    return index >= 0 && index < kIntervalRows ? kTokens[index] : "";
}

void frmOptions::Layout() {
    fw::WindowLayout l;
    l.Width = 486;
    l.Height = 308;
    l.WindowFrame = fw::Frame::Document;
    l.Title = "Optionen";
    l.CloseButton = true;
    l.MinimizeButton = true;
    l.MaximizeButton = false;
    l.Resizeable = false;
    l.Place = fw::Placement::MainScreen;
    l.Visible = true;
    l.MenuBarVisible = true;
    ApplyLayout(l);
}

void frmOptions::CreateControls() {
    auto at = [](int left, int top, int width, int height, int tab, const char* group = "") {
        fw::ControlLayout c = fw::ControlAt(left, top, width, height, tab);
        c.InGroup = group;
        return c;
    };
    Add<fw::GroupBox>("fraSize", at(20, 14, 446, 78, 0))->SetCaption("#kSizeOfDrive");
    auto sizes = Add<fw::PopupMenu>("cmbSize", at(30, 52, 103, 20, 0, "fraSize"));
    sizes->MouseDown = [this](int x, int y) { return cmbSize_MouseDown(x, y); };
    sizes->Change = [this] { ListChanged(); };
    auto info = at(160, 42, 296, 50, 1, "fraSize");
    info.FontSize = 12;
    info.Transparent = false;
    Add<fw::Label>("lblInfoSize", info)->SetMultiline(true);
    Add<fw::GroupBox>("fraIntervall", at(20, 115, 446, 78, 1))
        ->SetCaption("Intervall zum Schreiben in den Quellordner");
    auto intervals = Add<fw::PopupMenu>("cmbInterval", at(31, 151, 103, 20, 0, "fraIntervall"));
    intervals->MouseDown = [this](int x, int y) { return cmbInterval_MouseDown(x, y); };
    intervals->Change = [this] { ListChanged(); };
    Add<fw::GroupBox>("fraPath", at(20, 210, 446, 78, 2))->SetCaption("#kPathToSourceFolder");
    auto button = Add<fw::PushButton>("cmdPath", at(373, 244, 80, 20, 1, "fraPath"));
    button->SetCaption("#kChange");
    button->SetCancel(true);
    button->Action = [this] { cmdPath_Action(); };
    auto path = at(40, 233, 313, 55, 2, "fraPath");
    path.Transparent = false;
    auto label = Add<fw::Label>("lblPath", path);
    label->SetMultiline(true);
    label->SetText("Ohne Titel");
}

void frmOptions::Event_Open() {
    SetTitle(App::kmnuPreferences());
    fraSize()->SetCaption(App::kSizeOfDrive());
    fraIntervall()->SetCaption(App::kInterval());
    for (int i = 0; i < kIntervalRows; ++i) cmbInterval()->AddRow(IntervalRowText(i));
    fraPath()->SetCaption(App::kPathToSourceFolder());
    cmdPath()->SetCaption(App::kChange());
    SetOptions();
}

void frmOptions::SetOptions() {
    App& a = app();
    a.GetOptions();
    const double m = a.dMemUsed / 1024 / 1024 + 60;
    if (kSizeRows[0].threshold > m) cmbSize()->AddRow(kSizeRows[0].text);
    if (kSizeRows[1].threshold > m) cmbSize()->AddRow(kSizeRows[1].text);
    DisplayOtherSize(m);

    auto sizes = cmbSize();
    for (int64_t i = 0; i < sizes->ListCount(); ++i) {
        if (fw::Replace(sizes->List(i), " MB", "") == a.sSize) {
            sizes->SetListIndex(i);
            break;
        }
    }
    for (int i = 0; i < kIntervalRows; ++i) {
        if (a.sInterval == kTokens[i]) {
            cmbInterval()->SetListIndex(i);
            break;
        }
    }
    lblPath()->SetText(a.sPath);
}

void frmOptions::DisplayOtherSize(double m) {
    for (size_t i = 2; i < kSizeRows.size(); ++i)
        if (kSizeRows[i].threshold > m) cmbSize()->AddRow(kSizeRows[i].text);
    if (!(kSizeRows.back().threshold > m)) {
        // No size fits: only another source folder can help.
        cmbSize()->SetEnabled(false);
        cmbInterval()->SetEnabled(false);
        lblInfoSize()->SetText(App::kInfoSize());
    }
}

void frmOptions::GetFormOptions() {
    App& a = app();
    // With no row selected (the size in use is not offered for this folder) the
    // size in use goes on; an empty one would be stored and read back as 256.
    const std::string size = fw::Trim(fw::Replace(cmbSize()->Text(), "MB", ""));
    a.sNewSize = size.empty() ? a.sSize : size;
    // SetOptions selected the interval in use, which reading the settings made one of the rows.
    a.sNewInterval = kTokens[static_cast<size_t>(cmbInterval()->ListIndex())];
    a.sNewPath = lblPath()->Text();
}

void frmOptions::Event_Close() {
    GetFormOptions();
    app().bSleep = false;
    ArmRebuild();
}

bool frmOptions::cmbSize_MouseDown(int, int) {
    cmdPath()->SetEnabled(false);
    return false;
}

bool frmOptions::cmbInterval_MouseDown(int, int) {
    cmdPath()->SetEnabled(false);
    return false;
}

// A row chosen without the mouse (keys, wheel) binds the opening as a press does.
void frmOptions::ListChanged() { cmdPath()->SetEnabled(false); }

void frmOptions::cmdPath_Action() {
    cmbSize()->SetEnabled(false);
    cmbInterval()->SetEnabled(false);
    auto folder = fw::SelectFolder(fw::GetFolderItem(lblPath()->Text(), 1));
    if (!folder) return;
    const std::string path = folder->ShellPath();
    if (IsRefusedSourceFolder(path)) {
        fw::MsgBox(App::kSourceRefused());
        return;
    }
    lblPath()->SetText(path);
}

fw::Ref<class frmOptions> frmOptions() { return fw::ImplicitWindow<class frmOptions>("frmOptions"); }
