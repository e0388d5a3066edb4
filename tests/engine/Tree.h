// A folder tree as a value: relative path -> kind, bytes (or link target) and
// modification time. Tests build one on disk, run a pass and compare both sides.
#pragma once
#include <cstdint>
#include <map>
#include <ostream>
#include <string>

namespace tvmtest {

constexpr int64_t kOld = 1'600'000'000;  // modification times used by the tables
constexpr int64_t kNew = 1'700'000'000;

struct Node {
    enum class Kind { File, Folder, Link, Special };
    Kind kind = Kind::File;
    std::string data;   // a file's bytes, a link's target, or "fifo", "socket", "device"
    int64_t mtime = 0;  // whole seconds; files only
    bool operator==(const Node&) const = default;
};

inline Node File(std::string data, int64_t mtime = kOld) { return {Node::Kind::File, std::move(data), mtime}; }
inline Node Folder() { return {Node::Kind::Folder, {}, 0}; }
inline Node Link(std::string target) { return {Node::Kind::Link, std::move(target), 0}; }
inline Node Special(std::string what) { return {Node::Kind::Special, std::move(what), 0}; }

using Tree = std::map<std::string, Node>;

// Makes `root` (and any missing parents) and writes the tree into it; folders
// named only through their entries are made too.
void WriteTree(const std::string& root, const Tree& tree);
// Everything below `root`, hidden entries included, but for the mirror's record
// of its passes at the root; links are not followed.
Tree ReadTree(const std::string& root);
// The tree with the entries of `more` added or replaced.
inline Tree With(Tree tree, const Tree& more) {
    for (const auto& [path, node] : more) tree[path] = node;
    return tree;
}

// The tree with every folder that its paths imply.
Tree WithParents(Tree tree);
// Lines "- path ..." (only in expected) and "+ path ..." (only in actual); empty when equal.
std::string Difference(const Tree& expected, const Tree& actual);

void PrintTo(const Node& node, std::ostream* os);

// Sets a file's modification time (whole seconds), links not followed.
void SetMtime(const std::string& path, int64_t seconds);
// Removes a tree, unmounting what is mounted inside it first.
void RemoveTree(const std::string& path);

}  // namespace tvmtest
