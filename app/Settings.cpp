// The settings file "Settings.dat" (five lines: size, interval, source path,
// activity window top and left) in the application-data folder, with a copy in
// the source folder that overrides it at load, all but the source folder itself.
#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstdio>

#include "app/App.h"
#include "app/SettingTexts.h"
#include "app/ShellPaths.h"
#include "app/SourceFolders.h"
#include "engine/CTavelmorinth.h"
#include "framework/Exceptions.h"
#include "framework/FolderItem.h"
#include "framework/Screen.h"
#include "framework/SpecialFolder.h"
#include "framework/Strings.h"
#include "framework/TextStream.h"

namespace {

const char* const kSettingsFolder = "/TavelmorinthSettings/";
const char* const kSettingsFile = "/TavelmorinthSettings/Settings.dat";

std::string ApplicationDataPath() { return fw::SpecialFolder::ApplicationData()->ShellPath(); }

// Reads the file in groups of five lines into the five settings fields, each field
// as soon as its line is read; lines beyond the end read empty.
void ReadFiveLineGroups(const fw::Ref<fw::FolderItem>& file, App& a) {
    auto in = fw::TextInputStream::Open(file);
    while (!in->EndOfFile()) {
        a.sSize = in->ReadLine();
        a.sInterval = in->ReadLine();
        a.sPath = in->ReadLine();
        a.sStateTop = in->ReadLine();
        a.sStateLeft = in->ReadLine();
    }
    in->Close();
}

// A hand-edited size larger than the largest one offered gets the largest one.
bool IsNumberAbove4096(const std::string& text) {
    std::string digits = fw::ReplaceAll(text, ".", "");
    if (digits.empty() || digits.find_first_not_of("0123456789") != std::string::npos) return false;
    digits.erase(0, std::min(digits.find_first_not_of('0'), digits.size()));
    return digits.size() > 4 || (digits.size() == 4 && digits > "4096");
}

std::string CleanSize(const std::string& s) { return fw::Trim(fw::Replace(s, " MB", "")); }

std::string CleanInterval(const std::string& s) {
    return fw::Trim(fw::Replace(fw::Replace(s, " sek.", ""), " sec.", ""));
}

// Replaces `target` with a file of `lines` without ever leaving it half-written:
// the new text goes to a hidden file beside it, is flushed to disk, and is then
// renamed over the old one. On failure the old file stays as it was.
void ReplaceTextFile(const fw::Ref<fw::FolderItem>& target, const std::string lines[5]) {
    // A line end inside a value would shift every later line when it is read back.
    for (int i = 0; i < 5; ++i)
        if (lines[i].find_first_of("\r\n") != std::string::npos)
            throw fw::IOException(EINVAL, "A settings value holds a line break: " + target->NativePath());
    auto folder = target->Parent();
    std::string tempName(1, '.');  // appended, not "." + name: gcc 12 warns falsely on that form here
    tempName += target->Name();
    tempName += ".new";
    auto temp = folder->Child(tempName);
    try {
        auto out = fw::TextOutputStream::Create(temp);
        for (int i = 0; i < 5; ++i) out->WriteLine(lines[i]);
        out->Close();
    } catch (...) {
        temp->Delete();
        throw;
    }
    temp->MoveFileTo(target);
    if (temp->LastErrorCode() != 0) {
        const int err = temp->LastErrorCode();
        temp->Delete();
        throw fw::IOException(err, "Could not replace " + target->NativePath());
    }
}

bool KeepsPosition(const std::string& text, int low, int high) {
    const double v = fw::CDbl(text);
    return v >= low && v <= high;
}

}  // namespace

void App::CreatePrefsFolder(bool applicationData, const std::string& base) {
    const std::string root = applicationData ? ApplicationDataPath() : base;
    // No source folder (its path is empty while a missing one is parked): the
    // settings copy must not land in the root of the file system.
    if (root.empty()) return;
    auto folder = fw::GetFolderItem(root + kSettingsFolder, 1);
    if (folder && !folder->Exists()) folder->CreateAsFolder();
}

void App::GetOptions() {
    auto main = fw::GetFolderItem(ApplicationDataPath() + kSettingsFile, 1);
    if (!main || !main->Exists()) {
        bFirstStart = true;
        SetDefaults();
        return;
    }
    ReadFiveLineGroups(main, *this);

    // A folder that may not be the source folder counts as missing: no
    // permissions, no copy from it.
    const bool usable = !sPath.empty() && !IsRefusedSourceFolder(sPath);
    // The program leaves the source folder closed (permissions 0) when it ends.
    if (usable) SetPermissionsAt(sPath, kSourcePermissions);

    auto copy = usable ? fw::GetFolderItem(sPath + kSettingsFile, 1) : nullptr;
    if (copy && copy->Exists()) {
        // The copy travels with the folder (an archive, a shared or a synced
        // folder): it may bring back the size, the interval and the window's
        // place, never send the program to another folder.
        const std::string source = sPath;
        ReadFiveLineGroups(copy, *this);
        sPath = source;
    }
    SetDefaults();
}

void App::SetDefaults() {
    // Only what the options window offers is used; anything else (a hand-edited
    // line, a lost one) takes the default, so that no size or interval is made
    // of a text the program never wrote.
    if (!IsSizeText(sSize)) sSize = IsNumberAbove4096(sSize) ? "4096" : "256";
    if (!IsIntervalToken(sInterval)) sInterval = "60";
    if (sPath.empty()) sPath = fw::SpecialFolder::Documents()->ShellPath() + "/TavelmorinthSource";
    // A stored position is kept while the window's corner lies on the main screen
    // with room for its title bar; otherwise the default brings the window back.
    const fw::ScreenArea screen = fw::MainScreen();
    if (sStateTop.empty() || !KeepsPosition(sStateTop, screen.Top, screen.Top + screen.Height - 40)) sStateTop = "40";
    if (sStateLeft.empty() || !KeepsPosition(sStateLeft, 0, screen.Width - 40)) sStateLeft = "10";
}

int64_t App::GetSecondsInterval() {
    // A text that is no token would give no interval, or one of no seconds at all.
    if (!IsIntervalToken(sInterval)) return 60;
    double seconds;
    if (fw::InStr(1, sInterval, "m") > 0) {
        seconds = fw::CDbl(sInterval) * 60.0;
    } else if (fw::InStr(1, sInterval, "S") > 0) {
        seconds = fw::CDbl(sInterval) * 60.0 * 60.0;
    } else {
        seconds = fw::CDbl(sInterval);
    }
    return static_cast<int64_t>(seconds);
}

void App::SaveOptions() {
    const std::string sourcePath = sPath;
    CreatePrefsFolder(true, "");

    const bool anyPending = !sNewSize.empty() || !sNewInterval.empty() || !sNewPath.empty();
    auto main = fw::GetFolderItem(ApplicationDataPath() + kSettingsFile, 1);
    if (!main) throw fw::NilObjectException();
    const std::string mainLines[5] = {
        CleanSize(anyPending ? sNewSize : sSize),
        CleanInterval(anyPending ? sNewInterval : sInterval),
        anyPending ? sNewPath : sPath,
        sStateTop,
        sStateLeft,
    };
    ReplaceTextFile(main, mainLines);

    // A folder that may not be the source folder gets no settings copy, as a missing one.
    // Nor does what stands at its path in place of the loaded folder.
    const bool usable = !sourcePath.empty() && !IsRefusedSourceFolder(sourcePath) &&
                        !(oTavelmorinth && oTavelmorinth->SourceMovedFrom(sourcePath));
    if (usable) CreatePrefsFolder(false, sourcePath);
    auto copy = usable ? fw::GetFolderItem(sourcePath + kSettingsFile, 1) : nullptr;
    if (copy) {
        const bool sizeOrIntervalPending = !sNewSize.empty() || !sNewInterval.empty();
        const std::string copyLines[5] = {
            CleanSize(sizeOrIntervalPending ? sNewSize : sSize),
            CleanInterval(sizeOrIntervalPending ? sNewInterval : sInterval),
            sourcePath,
            sStateTop,
            sStateLeft,
        };
        ReplaceTextFile(copy, copyLines);
    }

    if (!sNewSize.empty() && !sNewInterval.empty() && !sNewPath.empty()) {
        sSize = sNewSize;
        sInterval = sNewInterval;
        sPath = sNewPath;
        sNewSize.clear();
        sNewInterval.clear();
        sNewPath.clear();
    }
}

bool App::TrySaveOptions() {
    try {
        SaveOptions();
        return true;
    } catch (const fw::RuntimeException&) {
        sState = kSettingsNotSaved();
        return false;
    }
}
