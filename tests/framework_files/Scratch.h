// A scratch folder for one test, removed with everything in it afterwards.
#pragma once
#include <sys/stat.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

namespace tvmtest {

class Scratch {
public:
    Scratch() {
        const char* base = std::getenv("TVM_SCRATCH");
        std::string pattern = std::string(base ? base : "/tmp") + "/files.XXXXXX";
        if (!::mkdtemp(pattern.data())) std::abort();
        path_ = pattern;
    }
    ~Scratch() {
        std::error_code ec;
        for (auto& e : std::filesystem::recursive_directory_iterator(path_, ec))
            if (!e.is_symlink()) ::chmod(e.path().c_str(), 0700);
        std::filesystem::remove_all(path_, ec);
    }
    Scratch(const Scratch&) = delete;
    Scratch& operator=(const Scratch&) = delete;

    const std::string& path() const { return path_; }
    std::string operator/(const std::string& name) const { return path_ + "/" + name; }

private:
    std::string path_;
};

// The entry itself (links not followed); all zero when there is nothing.
inline struct stat LStat(const std::string& path) {
    struct stat st {};
    ::lstat(path.c_str(), &st);
    return st;
}

inline void WriteFile(const std::string& path, const std::string& bytes) {
    std::ofstream(path, std::ios::binary) << bytes;
}

inline std::string ReadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

}  // namespace tvmtest
