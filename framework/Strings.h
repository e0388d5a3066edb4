// Text helpers with the framework's semantics: 1-based positions, byte-wise and
// case-sensitive matching, numbers read with "." as the decimal point.
#pragma once
#include <cstdint>
#include <string>

namespace fw {

int64_t InStr(int64_t start, const std::string& s, const std::string& find);  // 0 when absent
inline int64_t InStr(const std::string& s, const std::string& find) { return InStr(1, s, find); }
std::string Mid(const std::string& s, int64_t start, int64_t length = -1);   // length < 0: the rest
std::string Replace(const std::string& s, const std::string& find, const std::string& with);  // first only
std::string ReplaceAll(const std::string& s, const std::string& find, const std::string& with);
std::string Trim(const std::string& s);  // blanks and tabs at both ends
double CDbl(const std::string& s);       // the number at the start ("10m" gives 10); 0 when none
std::string CStr(int64_t n);
std::string Str(double d);               // plain decimal, no exponent for whole numbers
std::string Chr(uint32_t codePoint);     // UTF-8
std::string Format(double n, const std::string& pattern);  // "0000": whole number, at least 4 digits

}  // namespace fw
