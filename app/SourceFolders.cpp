#include "app/SourceFolders.h"

#include <array>
#include <filesystem>
#include <system_error>
#include <vector>

#include "framework/FolderItem.h"
#include "framework/SpecialFolder.h"
#include "tools/DiskTools.h"

namespace {

namespace fs = std::filesystem;

// The system's own trees: nothing inside them is the user's to close.
constexpr std::array<const char*, 19> kSystemTrees{
    "/bin",        "/boot", "/dev",  "/efi", "/etc",  "/lib", "/lib32", "/lib64", "/libx32", "/lost+found",
    "/opt",        "/proc", "/run",  "/sbin", "/snap", "/srv", "/sys",   "/usr",  "/var"};
// Folders that hold other users' or other volumes' folders: refused themselves,
// what lies inside may be the user's.
constexpr std::array<const char*, 7> kSharedFolders{"/", "/home", "/root", "/tmp", "/mnt", "/media", "/volumes"};
// Below these lie one folder per user, and the user's mounted volumes inside.
constexpr std::array<const char*, 2> kMountParents{"/media", "/run/media"};
// Folders of a home that the desktop needs open; the key folders with all they hold.
constexpr std::array<const char*, 4> kHomeFolders{"/.config", "/.cache", "/.local", "/.local/share"};
constexpr std::array<const char*, 2> kHomeKeyFolders{"/.ssh", "/.gnupg"};

std::string WithoutTrailingSlashes(std::string path) {
    while (path.size() > 1 && path.back() == '/') path.pop_back();
    return path;
}

// `path` is `folder` or lies inside it.
bool Within(const std::string& path, const std::string& folder) {
    if (folder == "/") return !path.empty() && path[0] == '/';
    return path.compare(0, folder.size(), folder) == 0 && (path.size() == folder.size() || path[folder.size()] == '/');
}

bool StrictlyWithin(const std::string& path, const std::string& folder) {
    return path != folder && Within(path, folder);
}

// Levels below `folder`: "/media/u/stick" lies 2 below "/media".
size_t LevelsBelow(const std::string& path, const std::string& folder) {
    if (!StrictlyWithin(path, folder)) return 0;
    const std::string rest = path.substr(folder == "/" ? 0 : folder.size());
    size_t levels = 0;
    for (char c : rest) levels += c == '/';
    return levels;
}

std::string Lexical(const std::string& plain) {
    return WithoutTrailingSlashes(fs::path(plain).lexically_normal().string());
}

// The path with every link resolved, as far as it exists; "" when it cannot be resolved.
std::string Resolved(const std::string& plain) {
    std::error_code ec;
    const fs::path real = fs::weakly_canonical(fs::path(plain), ec);
    if (ec) return {};
    return WithoutTrailingSlashes(real.lexically_normal().string());
}

// A place and both of its spellings, as written and with links resolved.
struct Place {
    std::string lexical, resolved;
    bool Contains(const std::string& path, bool strictly) const {
        auto in = [&](const std::string& folder) {
            return !folder.empty() && (strictly ? StrictlyWithin(path, folder) : Within(path, folder));
        };
        return in(lexical) || in(resolved);
    }
    bool IsInside(const std::string& path) const {  // `path` is this place or above it
        return (!lexical.empty() && Within(lexical, path)) || (!resolved.empty() && Within(resolved, path));
    }
};

Place PlaceOf(const std::string& plain) { return {Lexical(plain), Resolved(plain)}; }

std::vector<Place> Homes() {
    std::vector<Place> homes;
    for (const auto& home : {fw::SpecialFolder::UserHome(), fw::SpecialFolder::AccountHome()}) {
        const std::string path = home ? home->NativePath() : "";
        if (!path.empty() && path[0] == '/') homes.push_back(PlaceOf(path));
    }
    return homes;
}

// A home deep enough that what lies inside is the user's even within a system
// tree (/var/home/name); a home of "/" or "/var" makes nothing the user's.
bool OwnsItsInside(const Place& home) {
    return LevelsBelow(home.lexical, "/") >= 2 || home.lexical == "/root";
}

bool Refused(const std::string& path, const std::vector<Place>& homes) {
    const std::string settings = fw::SpecialFolder::ApplicationData()->NativePath() + "/TavelmorinthSettings";
    // Closing them, or a folder above them, closes them too; inside the settings
    // folder and the RAM disk the program keeps its own files.
    for (const Place& place : {PlaceOf(settings), PlaceOf(tools::kRAMDiskPath)})
        if (place.IsInside(path) || place.Contains(path, false)) return true;
    for (const Place& home : homes) {
        if (home.IsInside(path)) return true;
        for (const char* folder : kHomeFolders)
            if (path == home.lexical + folder || (!home.resolved.empty() && path == home.resolved + folder))
                return true;
        for (const char* folder : kHomeKeyFolders)
            if (PlaceOf(home.lexical + folder).Contains(path, false)) return true;
    }
    for (const Place& home : homes)
        if (OwnsItsInside(home) && home.Contains(path, true)) return false;
    for (const char* folder : kSharedFolders)
        if (path == folder) return true;
    for (const char* parent : kMountParents) {
        if (LevelsBelow(path, parent) == 1) return true;
        if (LevelsBelow(path, parent) >= 2) return false;  // a mounted volume's folders
    }
    for (const char* tree : kSystemTrees)
        if (Within(path, tree)) return true;
    return false;
}

}  // namespace

bool IsRefusedSourceFolder(const std::string& shellPath) {
    if (shellPath.empty()) return false;
    if (shellPath.find_first_of("\r\n") != std::string::npos) return true;
    const std::string plain = fw::UnescapeShellWord(shellPath);
    if (plain.find_first_of("\r\n") != std::string::npos) return true;
    if (plain.empty() || plain[0] != '/') return false;  // names no folder at all
    const std::string resolved = Resolved(plain);
    if (resolved.empty()) return true;  // cannot tell where it leads
    const std::vector<Place> homes = Homes();
    return Refused(Lexical(plain), homes) || Refused(resolved, homes);
}
