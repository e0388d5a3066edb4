// The two roots a load read from and wrote to, held from the load on: the
// source folder and the RAM disk, each as the object it was (device and inode
// of its root, its owner). A pass or an eject first asks whether the paths
// still lead there: an unmounted disk shows the folder underneath at the same
// path, and a renamed or swapped folder another object, and neither may be
// written into or taken for the RAM disk's work.
#pragma once
#include <cstdint>
#include <optional>
#include <string>

struct RootId {
    uint64_t dev = 0;
    uint64_t ino = 0;
    uint32_t uid = 0;
    bool operator==(const RootId&) const = default;
};

struct RootsHeld {
    std::optional<RootId> source;        // the source folder, links followed
    std::optional<RootId> volumeEntry;   // the entry at the RAM-disk path itself (a mount's root or a link)
    std::optional<RootId> volume;        // the folder that entry leads to

    enum class Verdict {
        Same,
        VolumeChanged,  // the RAM-disk path no longer leads to the RAM disk that was loaded
        SourceChanged,  // the source path no longer leads to the folder that was loaded
    };

    // Both paths are shell paths, as the worker holds them. The RAM disk is
    // held only when its entry and its folder are this user's.
    static RootsHeld Take(const std::string& sourceShellPath, const std::string& volumeShellPath);
    // The RAM disk is asked first: what is not ours is never written either way.
    Verdict Check(const std::string& sourceShellPath, const std::string& volumeShellPath) const;
    // Whether a source folder is held and the path no longer leads to it.
    bool SourceMoved(const std::string& sourceShellPath) const;
    // Whether the RAM-disk path still leads to the held RAM disk (entry and folder).
    bool VolumeStillHeld(const std::string& volumeShellPath) const;

    // One word for the guard's channel; Parse refuses anything else.
    std::string Text() const;
    static std::optional<RootsHeld> Parse(const std::string& text);

    bool operator==(const RootsHeld&) const = default;
};

// The entry at `posixPath` as it is now; nullopt when there is none.
std::optional<RootId> RootIdAt(const std::string& posixPath, bool followLinks);
