#include "SpecialFolder.h"

#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <string_view>
#include <vector>

namespace fw::SpecialFolder {

namespace {

std::string WithoutTrailingSlashes(std::string path) {
    while (path.size() > 1 && path.back() == '/') path.pop_back();
    return path;
}

// home + "/rest", without doubling the slash when home is "/".
std::string Under(const std::string& home, std::string_view rest) {
    return (home == "/" ? std::string() : home) + std::string(rest);
}

std::string AbsoluteEnv(const char* name) {
    const char* value = std::getenv(name);
    if (!value || value[0] != '/') return {};
    return WithoutTrailingSlashes(value);
}

std::string DatabaseHome() {
    std::vector<char> buffer(16384);
    passwd entry;
    passwd* found = nullptr;
    if (::getpwuid_r(::getuid(), &entry, buffer.data(), buffer.size(), &found) == 0 && found && found->pw_dir)
        return WithoutTrailingSlashes(found->pw_dir);
    return "/";
}

std::string Home() {
    std::string home = AbsoluteEnv("HOME");
    return home.empty() ? DatabaseHome() : home;
}

// The value of a line `XDG_DOCUMENTS_DIR="$HOME/Documents"`, or "" when the line
// is another one or names no usable folder.
std::string DocumentsLineValue(std::string_view line, const std::string& home) {
    while (!line.empty() && (line.front() == ' ' || line.front() == '\t')) line.remove_prefix(1);
    constexpr std::string_view key = "XDG_DOCUMENTS_DIR=";
    if (line.substr(0, key.size()) != key) return {};
    line.remove_prefix(key.size());
    if (line.size() < 2 || line.front() != '"') return {};
    const size_t close = line.find_last_of('"');
    if (close == 0) return {};
    const std::string_view quoted = line.substr(1, close - 1);
    // The file is written for a shell to source: inside the quotes a backslash
    // escapes the next character.
    std::string value;
    for (size_t i = 0; i < quoted.size(); ++i) {
        if (quoted[i] == '\\' && i + 1 < quoted.size()) ++i;
        value += quoted[i];
    }
    if (value == "$HOME" || value.rfind("$HOME/", 0) == 0) value = Under(home, value.substr(5));
    if (value.empty() || value[0] != '/') return {};
    return WithoutTrailingSlashes(value);
}

// Missing levels are made 0700, as the XDG rules ask of a data folder that a
// program is about to write into.
void MakeFolders(const std::string& path) {
    for (size_t slash = path.find('/', 1);; slash = path.find('/', slash + 1)) {
        const std::string level = path.substr(0, slash);
        struct stat st;
        if (::stat(level.c_str(), &st) != 0) ::mkdir(level.c_str(), 0700);
        if (slash == std::string::npos) return;
    }
}

}  // namespace

Ref<FolderItem> ApplicationData() {
    std::string data = AbsoluteEnv("XDG_DATA_HOME");
    if (data.empty()) data = Under(Home(), "/.local/share");
    // A fresh account may not have it yet; the program's settings folder goes
    // inside, and only that one level is made by the program itself.
    MakeFolders(data);
    return New<FolderItem>(data);
}

Ref<FolderItem> Documents() {
    const std::string home = Home();
    std::string config = AbsoluteEnv("XDG_CONFIG_HOME");
    if (config.empty()) config = Under(home, "/.config");
    std::ifstream dirs(config + "/user-dirs.dirs");
    std::string line, documents;
    while (std::getline(dirs, line)) {
        std::string value = DocumentsLineValue(line, home);
        if (!value.empty()) documents = std::move(value);  // the last assignment wins, as in a shell
    }
    if (documents.empty()) documents = Under(home, "/Documents");
    return New<FolderItem>(documents);
}

Ref<FolderItem> UserHome() { return New<FolderItem>(Home()); }

Ref<FolderItem> AccountHome() { return New<FolderItem>(DatabaseHome()); }

}  // namespace fw::SpecialFolder
