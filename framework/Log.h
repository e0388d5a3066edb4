// The program's log: one line per event on standard error, prefixed with the
// name of the running program ("tavelmorinth: ", "tavelmorinth-guard: "). A line
// is written with one call, so lines of several threads never mix.
#pragma once
#include <string>

namespace fw {

void Log(const std::string& line);

// What a failure code of the framework's file layer means, in words (an errno
// value: the system's own text).
std::string ErrorText(int code);

}  // namespace fw
