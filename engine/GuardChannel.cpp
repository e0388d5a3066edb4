#include "engine/GuardChannel.h"

#include <vector>

namespace {

// Tabs and line ends inside a field are written as escapes.
std::string Escape(const std::string& field) {
    std::string out;
    for (char c : field) {
        if (c == '\\') {
            out += "\\\\";
        } else if (c == '\t') {
            out += "\\t";
        } else if (c == '\n') {
            out += "\\n";
        } else {
            out += c;
        }
    }
    return out;
}

std::optional<std::string> Unescape(const std::string& field) {
    std::string out;
    for (size_t i = 0; i < field.size(); ++i) {
        if (field[i] != '\\') {
            out += field[i];
            continue;
        }
        if (++i == field.size()) return std::nullopt;
        if (field[i] == '\\') {
            out += '\\';
        } else if (field[i] == 't') {
            out += '\t';
        } else if (field[i] == 'n') {
            out += '\n';
        } else {
            return std::nullopt;
        }
    }
    return out;
}

}  // namespace

std::string GuardState::Line() const {
    return "state\t" + Escape(sToken) + "\t" + (bLoadComplete ? "1" : "0") + "\t" + Escape(sTargetpath) + "\t" +
           Escape(sSourcePath) + "\t" + roots.Text();
}

std::optional<GuardState> GuardState::Parse(const std::string& line) {
    std::vector<std::string> fields;
    size_t start = 0;
    for (;;) {
        const size_t tab = line.find('\t', start);
        fields.push_back(line.substr(start, tab == std::string::npos ? std::string::npos : tab - start));
        if (tab == std::string::npos) break;
        start = tab + 1;
    }
    if (fields.size() != 6 || fields[0] != "state" || (fields[2] != "0" && fields[2] != "1")) return std::nullopt;
    const auto token = Unescape(fields[1]), target = Unescape(fields[3]), source = Unescape(fields[4]);
    if (!token || token->empty() || !target || target->empty() || !source || source->empty()) return std::nullopt;
    const auto roots = RootsHeld::Parse(fields[5]);
    if (!roots) return std::nullopt;
    return GuardState{*token, fields[2] == "1", *target, *source, *roots};
}
