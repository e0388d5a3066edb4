#include "Mounts.h"

#include <fstream>
#include <sstream>
#include <vector>

namespace tools {

namespace {

// mountinfo writes blanks, tabs, newlines and backslashes as "\ooo".
std::string Unescape(const std::string& field) {
    std::string out;
    for (size_t i = 0; i < field.size(); ++i) {
        if (field[i] == '\\' && i + 3 < field.size()) {
            const std::string digits = field.substr(i + 1, 3);
            if (digits.find_first_not_of("01234567") == std::string::npos) {
                out += static_cast<char>(std::stoi(digits, nullptr, 8));
                i += 3;
                continue;
            }
        }
        out += field[i];
    }
    return out;
}

}  // namespace

std::optional<MountEntry> MountAt(const std::string& path) {
    std::ifstream mountinfo("/proc/self/mountinfo");
    std::optional<MountEntry> found;
    std::string line;
    while (std::getline(mountinfo, line)) {
        // id parent major:minor root mount-point options [optional fields...] - type source super-options
        std::istringstream fields(line);
        std::vector<std::string> words;
        for (std::string word; fields >> word;) words.push_back(word);
        size_t separator = 6;
        while (separator < words.size() && words[separator] != "-") ++separator;
        if (words.size() < 5 || separator + 2 >= words.size()) continue;
        if (Unescape(words[4]) != path) continue;
        // Later lines are mounted on top of earlier ones.
        found = MountEntry{path, Unescape(words[separator + 1]), Unescape(words[separator + 2])};
    }
    return found;
}

}  // namespace tools
