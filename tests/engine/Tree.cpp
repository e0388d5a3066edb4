#include "Tree.h"

#include <fcntl.h>
#include <sys/mount.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <sys/un.h>
#include <unistd.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <vector>

#include "engine/CSync.h"

namespace fs = std::filesystem;

namespace tvmtest {

void SetMtime(const std::string& path, int64_t seconds) {
    const timespec times[2] = {{seconds, 0}, {seconds, 0}};
    if (::utimensat(AT_FDCWD, path.c_str(), times, AT_SYMLINK_NOFOLLOW) != 0)
        throw std::runtime_error("cannot set the time of " + path);
}

namespace {
void MakeSpecial(const std::string& path, const std::string& what) {
    if (what == "fifo") {
        if (::mkfifo(path.c_str(), 0644) != 0) throw std::runtime_error("cannot make the FIFO " + path);
    } else if (what == "socket") {
        const int fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
        sockaddr_un address{};
        address.sun_family = AF_UNIX;
        if (path.size() >= sizeof address.sun_path) throw std::runtime_error("socket path too long: " + path);
        std::memcpy(address.sun_path, path.c_str(), path.size() + 1);
        const bool bound = fd >= 0 && ::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0;
        if (fd >= 0) ::close(fd);
        if (!bound) throw std::runtime_error("cannot make the socket " + path);
    } else {
        if (::mknod(path.c_str(), S_IFCHR | 0644, makedev(1, 3)) != 0)  // as /dev/null
            throw std::runtime_error("cannot make the device node " + path);
    }
}
}  // namespace

void WriteTree(const std::string& root, const Tree& tree) {
    fs::create_directories(root);
    for (const auto& [path, node] : tree) {
        const std::string full = root + "/" + path;
        fs::create_directories(fs::path(full).parent_path());
        switch (node.kind) {
            case Node::Kind::Folder:
                fs::create_directories(full);
                break;
            case Node::Kind::Link:
                fs::create_symlink(node.data, full);
                break;
            case Node::Kind::Special:
                MakeSpecial(full, node.data);
                break;
            case Node::Kind::File: {
                std::ofstream out(full, std::ios::binary | std::ios::trunc);
                out << node.data;
                out.close();
                if (!out) throw std::runtime_error("cannot write " + full);
                break;
            }
        }
    }
    // Times last: writing a file changes its folder, not the file's siblings.
    for (const auto& [path, node] : tree) {
        if (node.kind == Node::Kind::File) SetMtime(root + "/" + path, node.mtime);
    }
}

Tree ReadTree(const std::string& root) {
    Tree tree;
    if (!fs::exists(fs::symlink_status(root))) return tree;
    for (auto it = fs::recursive_directory_iterator(root); it != fs::recursive_directory_iterator(); ++it) {
        const std::string path = it->path().lexically_relative(root).string();
        const auto status = it->symlink_status();
        if (it.depth() == 0 && path.starts_with(CSync::kMomentsName)) continue;
        if (fs::is_fifo(status)) {
            tree[path] = Special("fifo");
        } else if (fs::is_socket(status)) {
            tree[path] = Special("socket");
        } else if (fs::is_character_file(status) || fs::is_block_file(status)) {
            tree[path] = Special("device");
        } else if (fs::is_symlink(status)) {
            tree[path] = Link(fs::read_symlink(it->path()).string());
        } else if (fs::is_directory(status)) {
            tree[path] = Folder();
        } else {
            std::ifstream in(it->path(), std::ios::binary);
            std::stringstream bytes;
            bytes << in.rdbuf();
            struct stat st {};
            ::lstat(it->path().c_str(), &st);
            tree[path] = File(bytes.str(), st.st_mtim.tv_sec);
        }
    }
    return tree;
}

Tree WithParents(Tree tree) {
    Tree parents;
    for (const auto& entry : tree) {
        for (size_t slash = entry.first.find('/'); slash != std::string::npos; slash = entry.first.find('/', slash + 1))
            parents[entry.first.substr(0, slash)] = Folder();
    }
    for (auto& [path, node] : parents) tree.emplace(path, node);
    return tree;
}

void PrintTo(const Node& node, std::ostream* os) {
    switch (node.kind) {
        case Node::Kind::Folder:
            *os << "folder";
            break;
        case Node::Kind::Link:
            *os << "link -> " << node.data;
            break;
        case Node::Kind::Special:
            *os << node.data;
            break;
        case Node::Kind::File: {
            std::string shown = node.data.size() > 40 ? node.data.substr(0, 40) + "..." : node.data;
            *os << "file \"" << shown << "\" (" << node.data.size() << " bytes, mtime " << node.mtime << ")";
            break;
        }
    }
}

std::string Difference(const Tree& expected, const Tree& actual) {
    std::ostringstream out;
    auto line = [&](char sign, const std::string& path, const Node& node) {
        out << sign << " " << path << ": ";
        PrintTo(node, &out);
        out << "\n";
    };
    for (const auto& [path, node] : expected) {
        auto it = actual.find(path);
        if (it == actual.end() || !(it->second == node)) line('-', path, node);
        if (it != actual.end() && !(it->second == node)) line('+', path, it->second);
    }
    for (const auto& [path, node] : actual) {
        if (!expected.count(path)) line('+', path, node);
    }
    return out.str();
}

namespace {
std::vector<std::string> MountsBelow(const std::string& path) {
    std::vector<std::string> mounts;
    std::ifstream in("/proc/self/mounts");
    std::string device, where, rest;
    while (in >> device >> where && std::getline(in, rest)) {
        if (where.compare(0, path.size(), path) == 0 && (where.size() == path.size() || where[path.size()] == '/'))
            mounts.push_back(where);
    }
    return mounts;
}
}  // namespace

void RemoveTree(const std::string& path) {
    auto mounts = MountsBelow(path);
    for (auto it = mounts.rbegin(); it != mounts.rend(); ++it) ::umount2(it->c_str(), MNT_DETACH);
    std::error_code ec;
    fs::remove_all(path, ec);
}

}  // namespace tvmtest
