// Framework-private: a path that the kernel takes whatever its length.
#pragma once
#include <cstddef>
#include <string>

namespace fw::internal {

// A path of PATH_MAX bytes or more is refused by every call that takes one. Such
// a path is reached through folders on the way, held open for as long as this
// object lives, and named as "/proc/self/fd/<n>/<rest>"; a shorter one is passed
// on as it is, at no cost. Links on the way are followed, as the kernel would;
// where a folder on the way cannot be opened, the path stays as it is and the
// call fails with ENAMETOOLONG.
class LongPath {
public:
    explicit LongPath(const std::string& path) : LongPath(path.c_str(), path.size()) {}
    LongPath(const char* path, size_t size);
    ~LongPath();
    LongPath(const LongPath&) = delete;
    LongPath& operator=(const LongPath&) = delete;

    const char* c_str() const { return path_; }

private:
    const char* path_;
    std::string reached_;
    int fd_ = -1;
};

}  // namespace fw::internal
