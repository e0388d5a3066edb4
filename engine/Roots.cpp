#include "engine/Roots.h"

#include <charconv>
#include <vector>

#include "framework/FileSystem.h"
#include "framework/FolderItem.h"

namespace {

std::string Native(const std::string& shellPath) { return fw::UnescapeShellWord(shellPath); }

std::optional<RootId> Ours(std::optional<RootId> id) {
    if (id && id->uid != ::geteuid()) return std::nullopt;
    return id;
}

std::string IdText(const std::optional<RootId>& id) {
    if (!id) return "-";
    return std::to_string(id->dev) + ":" + std::to_string(id->ino) + ":" + std::to_string(id->uid);
}

template <typename T>
bool ParseNumber(const std::string& text, T& value) {
    if (text.empty() || text.find_first_not_of("0123456789") != std::string::npos) return false;
    const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
    return ec == std::errc() && end == text.data() + text.size();
}

// "-" or "dev:ino:uid"; false for anything else.
bool ParseId(const std::string& text, std::optional<RootId>& id) {
    if (text == "-") {
        id.reset();
        return true;
    }
    const size_t first = text.find(':');
    const size_t second = first == std::string::npos ? first : text.find(':', first + 1);
    if (second == std::string::npos) return false;
    RootId parsed;
    if (!ParseNumber(text.substr(0, first), parsed.dev) ||
        !ParseNumber(text.substr(first + 1, second - first - 1), parsed.ino) ||
        !ParseNumber(text.substr(second + 1), parsed.uid))
        return false;
    id = parsed;
    return true;
}

}  // namespace

std::optional<RootId> RootIdAt(const std::string& posixPath, bool followLinks) {
    if (posixPath.empty()) return std::nullopt;
    const auto id = fw::IdentityAt(posixPath, followLinks);
    if (!id) return std::nullopt;
    return RootId{id->device, id->inode, id->owner};
}

RootsHeld RootsHeld::Take(const std::string& sourceShellPath, const std::string& volumeShellPath) {
    const std::string volume = Native(volumeShellPath);
    RootsHeld roots;
    roots.source = RootIdAt(Native(sourceShellPath), true);
    roots.volumeEntry = Ours(RootIdAt(volume, false));
    roots.volume = Ours(RootIdAt(volume, true));
    if (!roots.volumeEntry || !roots.volume) roots.volumeEntry = roots.volume = std::nullopt;
    return roots;
}

bool RootsHeld::VolumeStillHeld(const std::string& volumeShellPath) const {
    const std::string path = Native(volumeShellPath);
    return volumeEntry && volume && RootIdAt(path, false) == volumeEntry && RootIdAt(path, true) == volume;
}

bool RootsHeld::SourceMoved(const std::string& sourceShellPath) const {
    return source && RootIdAt(Native(sourceShellPath), true) != source;
}

RootsHeld::Verdict RootsHeld::Check(const std::string& sourceShellPath, const std::string& volumeShellPath) const {
    if (!VolumeStillHeld(volumeShellPath)) return Verdict::VolumeChanged;
    if (!source || RootIdAt(Native(sourceShellPath), true) != source) return Verdict::SourceChanged;
    return Verdict::Same;
}

std::string RootsHeld::Text() const { return IdText(source) + "," + IdText(volumeEntry) + "," + IdText(volume); }

std::optional<RootsHeld> RootsHeld::Parse(const std::string& text) {
    std::vector<std::string> parts;
    size_t start = 0;
    for (;;) {
        const size_t comma = text.find(',', start);
        parts.push_back(text.substr(start, comma == std::string::npos ? std::string::npos : comma - start));
        if (comma == std::string::npos) break;
        start = comma + 1;
    }
    RootsHeld roots;
    if (parts.size() != 3 || !ParseId(parts[0], roots.source) || !ParseId(parts[1], roots.volumeEntry) ||
        !ParseId(parts[2], roots.volume))
        return std::nullopt;
    return roots;
}
