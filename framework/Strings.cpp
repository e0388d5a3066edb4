#include "Strings.h"

#include <charconv>
#include <cmath>
#include <cstdio>

namespace fw {

int64_t InStr(int64_t start, const std::string& s, const std::string& find) {
    if (start < 1) start = 1;
    if (static_cast<size_t>(start - 1) > s.size()) return 0;
    const size_t at = s.find(find, static_cast<size_t>(start - 1));
    return at == std::string::npos ? 0 : static_cast<int64_t>(at) + 1;
}

std::string Mid(const std::string& s, int64_t start, int64_t length) {
    if (start < 1) start = 1;
    const size_t from = static_cast<size_t>(start - 1);
    if (from >= s.size()) return {};
    if (length < 0) return s.substr(from);
    return s.substr(from, static_cast<size_t>(length));
}

std::string Replace(const std::string& s, const std::string& find, const std::string& with) {
    if (find.empty()) return s;
    const size_t at = s.find(find);
    if (at == std::string::npos) return s;
    std::string out = s;
    out.replace(at, find.size(), with);
    return out;
}

std::string ReplaceAll(const std::string& s, const std::string& find, const std::string& with) {
    if (find.empty()) return s;
    std::string out;
    size_t pos = 0;
    for (;;) {
        const size_t at = s.find(find, pos);
        if (at == std::string::npos) break;
        out.append(s, pos, at - pos);
        out += with;
        pos = at + find.size();
    }
    out.append(s, pos, std::string::npos);
    return out;
}

std::string Trim(const std::string& s) {
    const char* blanks = " \t";
    const size_t b = s.find_first_not_of(blanks);
    if (b == std::string::npos) return {};
    const size_t e = s.find_last_not_of(blanks);
    return s.substr(b, e - b + 1);
}

double CDbl(const std::string& s) {
    size_t i = 0;
    while (i < s.size() && (s[i] == ' ' || s[i] == '\t')) ++i;
    bool negative = false;
    if (i < s.size() && (s[i] == '+' || s[i] == '-')) {
        negative = s[i] == '-';
        ++i;
    }
    double value = 0;
    const char* first = s.data() + i;
    const char* last = s.data() + s.size();
    auto [ptr, ec] = std::from_chars(first, last, value, std::chars_format::general);
    if (ec != std::errc() || ptr == first) return 0;
    return negative ? -value : value;
}

std::string CStr(int64_t n) { return std::to_string(n); }

std::string Str(double d) {
    if (std::isfinite(d) && std::floor(d) == d && std::fabs(d) < 1e15) {
        return std::to_string(static_cast<int64_t>(d));
    }
    char buf[64];
    std::snprintf(buf, sizeof buf, "%.7g", d);
    return buf;
}

std::string Chr(uint32_t cp) {
    std::string out;
    if (cp < 0x80) {
        out += static_cast<char>(cp);
    } else if (cp < 0x800) {
        out += static_cast<char>(0xC0 | (cp >> 6));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    } else if (cp < 0x10000) {
        out += static_cast<char>(0xE0 | (cp >> 12));
        out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (cp >> 18));
        out += static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    }
    return out;
}

std::string Format(double n, const std::string& pattern) {
    size_t zeros = 0;
    for (char c : pattern) {
        if (c != '0') return Str(n);
        ++zeros;
    }
    const int64_t whole = static_cast<int64_t>(std::llround(n));
    std::string digits = std::to_string(whole < 0 ? -whole : whole);
    if (digits.size() < zeros) digits.insert(0, zeros - digits.size(), '0');
    return whole < 0 ? "-" + digits : digits;
}

}  // namespace fw
